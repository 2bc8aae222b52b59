// One popup menu of the editor, from building it to the refresh after it.
//
//   EditorPopup menu(*this);              // nothing happens without a window
//   if (!menu.valid()) return;
//   enum class Cmd { None, Copy, Wave };
//   constexpr MenuEntry<Cmd> kEntries[] = {{"-GOscillator Menu", Cmd::None}, // a greyed heading
//                                          {"Copy", Cmd::Copy}};
//   menu.addTable(kEntries);
//   COptionMenu* waves = menu.addSubmenu("Wave A");
//   menu.add("Sine", Cmd::Wave, 0, waves); // a list entry: command and argument
//   menu.show();                           // modal: returns after the choice
//   switch (menu.command<Cmd>()) {         // Cmd::None when dismissed
//   case Cmd::Copy: ...
//   case Cmd::Wave: setWave(menu.argument()); ...
//   }
//   // the destructor takes the menu down and refreshes the editor
//
// A command travels with its entry, not with its label: the dispatch never
// looks at titles, so a label can be reworded without losing its command.
// Every command enum starts with None (0): entries added with it, or
// without a command, are plain lines that give None.
//
// The menu is a 16 x 16 square centred on the mouse (popup style, draws
// nothing itself), added to the frame only while it is up. The plug-in's
// popup flag is set while the menu is built, shown and handled and cleared
// by the editor's refresh at the end, so the audio thread does not rebuild
// the frame meanwhile. Titles: "-" is a separator, "-G..." a greyed line.
#pragma once

#include "core/tags.h"
#include "vstgui/coptionmenu.h"

#include <array>
#include <string>
#include <type_traits>

class uEditor;

// A menu entry's tag carries its command and argument; plain entries keep
// the tag -1 (command 0, None). Also used by the editor's option-menu
// controls whose entries give commands.
namespace menu_tag {
inline constexpr int kMaxArgument = 0xFFFF;
int make(int command, int argument = 0);
int command(int tag);
int argument(int tag);
// Attaches command (and argument) to item; nothing for command 0 or for a
// separator or greyed line.
template <class Command>
requires std::is_enum_v<Command>
void attach(VSTGUI::CMenuItem* item, Command command, int argument = 0) {
    if (item && static_cast<int>(command) > 0 && !item->isSeparator() && item->isEnabled())
        item->setTag(make(static_cast<int>(command), argument));
}
} // namespace menu_tag

// One entry of a menu's table: the label as shown and the command it gives.
template <class Command> struct MenuEntry {
    const char* label;
    Command command;
};

// An entry that shows a switch's state and flips it: `on` is shown while
// the switch is on (and gives the command that turns it off), `off` while it
// is off.
template <class Command> struct MenuSwitch {
    MenuEntry<Command> on;
    MenuEntry<Command> off;
    const MenuEntry<Command>& shown(bool state) const { return state ? on : off; }
};

class APlugin;

// Tells the host, once an editor command is done, when the command changed
// values without telling it one by one (a paste, a reset, an undo, a section
// preset, random values): the values the host reads are compared with those
// before the command, and any difference asks for the host's display update
// (served by the editor's idle pass).
class HostValuesWatch {
public:
    explicit HostValuesWatch(APlugin* plugin);
    ~HostValuesWatch();
    HostValuesWatch(const HostValuesWatch&) = delete;
    HostValuesWatch& operator=(const HostValuesWatch&) = delete;

private:
    APlugin* plugin;
    std::array<float, tag::Count> before{};
};

class EditorPopup {
public:
    explicit EditorPopup(uEditor& editor, int halfSize = 8);
    ~EditorPopup();
    EditorPopup(const EditorPopup&) = delete;
    EditorPopup& operator=(const EditorPopup&) = delete;

    bool valid() const { return menu != nullptr; }
    VSTGUI::COptionMenu* root() const { return menu; }

    // Adds an entry at the end of a menu (the root when none is given).
    void add(const std::string& title, VSTGUI::COptionMenu* parent = nullptr);
    // Adds an entry that gives command (and, for the entries of a list such
    // as the sources, argument: 0..menu_tag::kMaxArgument) when chosen.
    template <class Command>
    requires std::is_enum_v<Command>
    void add(const std::string& title, Command command, VSTGUI::COptionMenu* parent = nullptr) {
        menu_tag::attach(addItem(title, parent), command);
    }
    template <class Command>
    requires std::is_enum_v<Command>
    void add(const std::string& title, Command command, int argument,
             VSTGUI::COptionMenu* parent = nullptr) {
        menu_tag::attach(addItem(title, parent), command, argument);
    }
    template <class Command>
    void add(const MenuEntry<Command>& entry, VSTGUI::COptionMenu* parent = nullptr) {
        add(entry.label, entry.command, parent);
    }
    // Adds every entry of a table of MenuEntry, in order.
    template <class Table>
    void addTable(const Table& table, VSTGUI::COptionMenu* parent = nullptr) {
        for (const auto& entry : table) add(entry, parent);
    }
    // A new submenu on the same square, hung under title in parent; the
    // entry owns it.
    VSTGUI::COptionMenu* addSubmenu(const std::string& title,
                                    VSTGUI::COptionMenu* parent = nullptr);

    // Shows the menu at the mouse and waits for a choice or a dismissal.
    void show();
    bool chosen() const { return choiceMenu != nullptr; }
    // The command of the chosen entry (None when dismissed or when the
    // entry has none) and its argument (0 unless added with one).
    template <class Command> Command command() const {
        static_assert(std::is_enum_v<Command>);
        return static_cast<Command>(chosenCommand);
    }
    int argument() const { return chosenArgument; }

    // The root's current entry title (empty when nothing in the root was
    // chosen): for root commands.
    const std::string& rootChoice() const { return rootTitle; }
    // The title of the entry chosen in whatever menu it was in, and that
    // menu and index (nullptr / -1 when dismissed).
    const std::string& itemChoice() const { return itemTitle; }
    VSTGUI::COptionMenu* choiceSubmenu() const { return choiceMenu; }
    int choiceIndex() const { return choiceIndexInMenu; }

private:
    VSTGUI::CMenuItem* addItem(const std::string& title, VSTGUI::COptionMenu* parent);

    uEditor& editor;
    // Outlives the refresh at the end: the values as the command left them.
    HostValuesWatch watch;
    VSTGUI::COptionMenu* menu = nullptr;
    VSTGUI::CRect square;
    std::string rootTitle;
    std::string itemTitle;
    VSTGUI::COptionMenu* choiceMenu = nullptr;
    int choiceIndexInMenu = -1;
    int chosenCommand = 0;
    int chosenArgument = 0;
};
