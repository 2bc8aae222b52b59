// The commands of the main screen's header menus: the preset menu's own
// entries (below the preset groups) and the ECS menu. The main screen builds
// the entries from these tables and attaches each command to its entry;
// valueChanged dispatches on the command of the chosen entry.
#pragma once

#include "editor/popup_menu.h"

enum class HeaderCommand {
    None,
    ClearPreset,
    SetScreenSize, // argument: the size
    LoadECS,
    SaveECS,
    ClearAllMidi
};

// After the preset groups and a separator, before the screen sizes.
inline constexpr MenuEntry<HeaderCommand> CLEAR_PRESET_ENTRY = {"Clear Preset",
                                                                HeaderCommand::ClearPreset};

inline constexpr MenuEntry<HeaderCommand> ECS_MENU[] = {
    {"Load ECS", HeaderCommand::LoadECS},
    {"Save ECS", HeaderCommand::SaveECS},
    {"Clear All MIDI", HeaderCommand::ClearAllMidi},
};
