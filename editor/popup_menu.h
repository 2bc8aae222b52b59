// One popup menu of the editor, from building it to the refresh after it.
//
//   EditorPopup menu(*this);              // nothing happens without a window
//   if (!menu.valid()) return;
//   menu.add("-GOscillator Menu");        // a greyed heading
//   menu.add("Copy");
//   COptionMenu* waves = menu.addSubmenu("Wave A");
//   menu.add("Sine", waves);
//   menu.show();                          // modal: returns after the choice
//   if (menu.rootChoice() == "Copy") ...
//   if (menu.itemChoice() == "Sine") ...  // the entry chosen in any menu
//   // the destructor takes the menu down and refreshes the editor
//
// The menu is a 16 x 16 square centred on the mouse (popup style, draws
// nothing itself), added to the frame only while it is up. The plug-in's
// popup flag is set while the menu is built, shown and handled and cleared
// by the editor's refresh at the end, so the audio thread does not rebuild
// the frame meanwhile. Titles: "-" is a separator, "-G..." a greyed line.
#pragma once

#include "vstgui/coptionmenu.h"

#include <string>

class uEditor;

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
    // A new submenu on the same square, hung under title in parent; the
    // entry owns it.
    VSTGUI::COptionMenu* addSubmenu(const std::string& title,
                                    VSTGUI::COptionMenu* parent = nullptr);

    // Shows the menu at the mouse and waits for a choice or a dismissal.
    void show();
    bool chosen() const { return choiceMenu != nullptr; }
    // The root's current entry title (empty when nothing in the root was
    // chosen): for root commands.
    const std::string& rootChoice() const { return rootTitle; }
    // The title of the entry chosen in whatever menu it was in, and that
    // menu and index (nullptr / -1 when dismissed).
    const std::string& itemChoice() const { return itemTitle; }
    VSTGUI::COptionMenu* choiceSubmenu() const { return choiceMenu; }
    int choiceIndex() const { return choiceIndexInMenu; }

private:
    uEditor& editor;
    VSTGUI::COptionMenu* menu = nullptr;
    VSTGUI::CRect square;
    std::string rootTitle;
    std::string itemTitle;
    VSTGUI::COptionMenu* choiceMenu = nullptr;
    int choiceIndexInMenu = -1;
};
