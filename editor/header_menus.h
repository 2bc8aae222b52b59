// The commands of the header's ECS menu (the preset menu keeps its own table
// in editor/menu_preset.cpp). The main screen builds the entries from this
// table and attaches each command to its entry; valueChanged dispatches on
// the command of the chosen entry.
#pragma once

#include "editor/popup_menu.h"

enum class HeaderCommand { None, LoadECS, SaveECS, ClearAllMidi };

inline constexpr MenuEntry<HeaderCommand> ECS_MENU[] = {
    {"Load ECS", HeaderCommand::LoadECS},
    {"Save ECS", HeaderCommand::SaveECS},
    {"Clear All MIDI", HeaderCommand::ClearAllMidi},
};
