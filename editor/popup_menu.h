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

#include "vstgui/coptionmenu.h"

#include <string>
#include <type_traits>

class uEditor;

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
    // as the sources, argument: 0..kMaxArgument) when chosen.
    template <class Command>
    requires std::is_enum_v<Command>
    void add(const std::string& title, Command command, VSTGUI::COptionMenu* parent = nullptr) {
        addCommand(title, static_cast<int>(command), 0, parent);
    }
    template <class Command>
    requires std::is_enum_v<Command>
    void add(const std::string& title, Command command, int argument,
             VSTGUI::COptionMenu* parent = nullptr) {
        addCommand(title, static_cast<int>(command), argument, parent);
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
    template <class Command>
    requires std::is_enum_v<Command> Command command()
    const { return static_cast<Command>(chosenCommand); }
    int argument() const { return chosenArgument; }

    // The largest argument an entry can carry.
    static constexpr int kMaxArgument = 0xFFFF;
    // The command and argument an entry's tag carries (-1: none), for tests
    // that read the entries of a menu as shown.
    static int commandOfTag(int tag);
    static int argumentOfTag(int tag);

    // The root's current entry title (empty when nothing in the root was
    // chosen): for root commands.
    const std::string& rootChoice() const { return rootTitle; }
    // The title of the entry chosen in whatever menu it was in, and that
    // menu and index (nullptr / -1 when dismissed).
    const std::string& itemChoice() const { return itemTitle; }
    VSTGUI::COptionMenu* choiceSubmenu() const { return choiceMenu; }
    int choiceIndex() const { return choiceIndexInMenu; }

private:
    void addCommand(const std::string& title, int command, int argument,
                    VSTGUI::COptionMenu* parent);

    uEditor& editor;
    VSTGUI::COptionMenu* menu = nullptr;
    VSTGUI::CRect square;
    std::string rootTitle;
    std::string itemTitle;
    VSTGUI::COptionMenu* choiceMenu = nullptr;
    int choiceIndexInMenu = -1;
    int chosenCommand = 0;
    int chosenArgument = 0;
};
