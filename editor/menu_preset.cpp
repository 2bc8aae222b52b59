// The preset menu of the header: the preset list in eight groups of 32, then
// the preset commands (PRESET_COMMAND_STR, in its order) that load, save,
// rename and delete presets and manage the user's preset folders, go back to
// the loaded or edited values and set the screen size.

#include "controls/toptionmenu.h"
#include "core/aplugin.h"
#include "core/preset_store.h"
#include "core/vocabulary.h"
#include "editor/editor_controls.h"
#include "editor/popup_menu.h"
#include "editor/ueditor.h"

#include <array>
#include <string>

using namespace VSTGUI;

namespace {

constexpr int32_t kPresetSubMenuStyle = 0x118;
constexpr int kPresetGroups = PRESET_MENU_GROUPS;
constexpr int kPresetsPerGroup = PRESET_GROUP_SIZE;

enum class PresetCommand {
    None, // a separator
    SaveInFavorites,
    Save,
    SaveAs,
    SaveInFolder,
    Rename,
    CreateNew,
    Delete,
    Load,
    Default,
    Clear,
    CopyFolder,
    RenameFolder,
    CreateFolder,
    DeleteFolder,
    Refresh,
    RevertOriginal,
    RevertEdited,
    ScreenSize, // argument: the size
};

using PresetMenuEntry = MenuEntry<PresetCommand>;

// The commands as the menu lists them, after the groups and a separator.
const std::array<PresetMenuEntry, 24> PRESET_MENU_COMMANDS = {{
    {PRESET_COMMAND_STR[0], PresetCommand::SaveInFavorites},
    {PRESET_COMMAND_STR[1], PresetCommand::Save},
    {PRESET_COMMAND_STR[2], PresetCommand::SaveAs},
    {PRESET_COMMAND_STR[3], PresetCommand::SaveInFolder},
    {PRESET_COMMAND_STR[4], PresetCommand::Rename},
    {PRESET_COMMAND_STR[5], PresetCommand::CreateNew},
    {PRESET_COMMAND_STR[6], PresetCommand::Delete},
    {PRESET_COMMAND_STR[7], PresetCommand::Load},
    {PRESET_COMMAND_STR[8], PresetCommand::Default},
    {PRESET_COMMAND_STR[9], PresetCommand::Clear},
    {PRESET_COMMAND_STR[10], PresetCommand::None},
    {PRESET_COMMAND_STR[11], PresetCommand::CopyFolder},
    {PRESET_COMMAND_STR[12], PresetCommand::RenameFolder},
    {PRESET_COMMAND_STR[13], PresetCommand::CreateFolder},
    {PRESET_COMMAND_STR[14], PresetCommand::DeleteFolder},
    {PRESET_COMMAND_STR[15], PresetCommand::Refresh},
    {PRESET_COMMAND_STR[16], PresetCommand::None},
    {PRESET_COMMAND_STR[17], PresetCommand::RevertOriginal},
    {PRESET_COMMAND_STR[18], PresetCommand::RevertEdited},
    {PRESET_COMMAND_STR[19], PresetCommand::None},
    {PRESET_COMMAND_STR[20], PresetCommand::ScreenSize},
    {PRESET_COMMAND_STR[21], PresetCommand::ScreenSize},
    {PRESET_COMMAND_STR[22], PresetCommand::ScreenSize},
    {PRESET_COMMAND_STR[23], PresetCommand::ScreenSize},
}};

constexpr int kFirstScreenSizeEntry = 20;

} // namespace

// The groups hold the list as it is now; the commands follow them.
void uEditor::fillPresetMenu() {
    APlugin* p = plugin();
    TOptionMenu* menu = controls.header.presetMenu;
    if (!p || !menu) return;
    menu->removeAllEntry();
    for (int g = 0; g < kPresetGroups; ++g) {
        auto* group = new TOptionMenu(menu->getViewSize(), this, NO_PARAM_TAG, nullptr, nullptr,
                                      kPresetSubMenuStyle, sizeIndex, true, false);
        const int first = g * kPresetsPerGroup;
        for (int n = first; n < first + kPresetsPerGroup && n < p->presetCount; ++n)
            group->addEntry(p->presetNames[static_cast<std::size_t>(n)].data());
        menu->addEntry(group, PRESET_SUB_HEADER_STR[g]);
        group->forget(); // the entry keeps it
    }
    menu->addEntry("-");
    for (std::size_t i = 0; i < PRESET_MENU_COMMANDS.size(); ++i) {
        const PresetMenuEntry& entry = PRESET_MENU_COMMANDS[i];
        const int size = static_cast<int>(i) - kFirstScreenSizeEntry; // screen sizes only
        menu_tag::attach(menu->addEntry(entry.label), entry.command, size > 0 ? size : 0);
    }
    updatePresetMenu();
}

// A preset chosen in a group, or a command. Commands that change the list
// fill the menu again; every choice ends with a full refresh.
void uEditor::presetMenuChanged(CControl* control) {
    APlugin& p = *plugin();
    // Commands that write values at once (a clear, a new name) reach the
    // host's display; a chosen preset does once the audio thread applied it.
    const HostValuesWatch watch(&p);
    TOptionMenu* menu = controls.header.presetMenu;
    auto* root = dynamic_cast<COptionMenu*>(control);
    CMenuItem* item = root ? root->getCurrent() : nullptr;
    if (!menu || !item) return;

    if (COptionMenu* group = item->getSubmenu()) {
        const int g = root->getCurrentIndex(false);
        const int i = group->getCurrentIndex(false);
        if (g >= 0 && g < kPresetGroups && i >= 0) p.choosePreset(g * kPresetsPerGroup + i);
        resume();
        return;
    }

    const int entryTag = item->getTag();
    switch (static_cast<PresetCommand>(menu_tag::command(entryTag))) {
    case PresetCommand::None:
        return;
    case PresetCommand::SaveInFavorites:
        p.savePresetInFavorites();
        break;
    case PresetCommand::Save:
        p.savePreset();
        break;
    case PresetCommand::SaveAs:
        p.savePresetAs();
        break;
    case PresetCommand::SaveInFolder:
        p.savePresetInFolder();
        break;
    case PresetCommand::Rename:
        p.renamePreset();
        break;
    case PresetCommand::CreateNew:
        p.createNewPreset();
        break;
    case PresetCommand::Delete:
        p.deletePreset();
        break;
    case PresetCommand::Load:
        p.loadPresetFile();
        break;
    case PresetCommand::Default:
        p.choosePreset(0);
        break;
    case PresetCommand::Clear:
        p.clearProgram();
        break;
    case PresetCommand::CopyFolder:
        p.copyPresetFolder();
        break;
    case PresetCommand::RenameFolder:
        p.renamePresetFolder();
        break;
    case PresetCommand::CreateFolder:
        p.createPresetFolder();
        break;
    case PresetCommand::DeleteFolder:
        p.deletePresetFolder();
        break;
    case PresetCommand::Refresh:
        p.refreshPresetList();
        break;
    case PresetCommand::RevertOriginal:
        p.origProgram();
        break;
    case PresetCommand::RevertEdited:
        p.editProgram();
        break;
    case PresetCommand::ScreenSize:
        setScreenSize(menu_tag::argument(entryTag));
        return;
    }
    fillPresetMenu();
    resume();
}
