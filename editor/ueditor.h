// uEditor: Ondix's editor.
//
// One object per plug-in instance, created closed by the plug-in's
// constructor and kept for the plug-in's whole life; the host opens and
// closes the window any number of times. Between open() and close() the
// editor owns the frame, the five sub-page containers, the 47 bitmaps of the
// chosen size and every control; the tag map, the per-section stores, the
// preference switches and the size survive a close.
//
// Threads: everything runs on the host's GUI thread except setParameter,
// updateFrame and updateXY, which the plug-in may call from the audio
// thread. They only store values and flags in atomics; idle() applies them.
#pragma once

#include "core/tags.h"
#include "editor/editor_controls.h"
#include "editor/gui_tables.h"
#include "vstgui/vstgui.h"

#include <array>
#include <atomic>
#include <span>
#include <string>

class APlugin;

class uEditor : public VSTGUI::AEffGUIEditor,
                public VSTGUI::IControlListener,
                public VSTGUI::IKeyboardHook {
public:
    explicit uEditor(AudioEffect* effect);
    // Closes a window that is still open.
    ~uEditor() override;

    // ---------------------------------------------------------------- window
    // Builds the window inside the host's window (nullptr: headless, for
    // tests and tools). false without a plug-in object or when the window
    // cannot be made; nothing is left built then.
    bool open(void* parent) override;
    void close() override;
    // True between the end of open() and close(); safe from any thread.
    bool isOpen() override;
    void idle() override;

    // ---------------------------------------------------------------- plug-in side
    void setParameter(int tag, float value);
    void resume();
    void updateFrame();
    void updateXY();
    void setEditTag(int tag);
    bool getEditorFinishedOpening() const {
        return finishedOpening.load(std::memory_order_acquire);
    }

    // ---------------------------------------------------------------- controls
    void valueChanged(VSTGUI::CControl* control) override;
    int32_t onKeyDown(const VstKeyCode& code, VSTGUI::CFrame* frame) override;
    int32_t onKeyUp(const VstKeyCode& code, VSTGUI::CFrame* frame) override;
    using VSTGUI::AEffGUIEditor::onKeyDown;
    using VSTGUI::AEffGUIEditor::onKeyUp;
    // Nothing calls this form of the wheel.
    bool onWheel(const VSTGUI::CPoint&, const float&, const VSTGUI::CButtonState&) { return false; }
    using VSTGUI::AEffGUIEditor::onWheel;

    // ---------------------------------------------------------------- menus
    // Context and section menus: each pops up at the mouse, acts on the
    // choice and returns when it is done (GUI thread).
    void showMIDIMenu(VSTGUI::CControl* control, bool slider);
    void showControlMenu();
    void showOscMenu();
    void showFilterMenu();
    void showFreeMod(int kind, int index);
    void showEnvMenu(int envelope);
    void showWaveMenu(int wave);
    void showArpMenu(int row, int step, bool rowMenu);
    void showModMenu(int slot);
    void showXYMenu();

    // The envelope and arpeggiator sections' undo snapshots, which their
    // screens take before each edit, and the value a snapshot holds for a
    // tag (false while there is none).
    void setEnvUndo();
    void setArpUndo();
    bool getEnvUndo(int tag, float& value) const;
    bool getArpUndo(int tag, float& value) const;
    // Write the envelope snapshot back (plain set) and the arpeggiator
    // snapshot back (automated: the host is told); nothing while there is
    // none. The snapshot stays, so either can be repeated.
    void doEnvUndo();
    void doArpUndo();

    // The matrix's and the XY pad's own undo snapshots, which their screens
    // take before each edit, and the XY path point the pad is working on
    // (-1 none) for the XY menu and the hover text.
    void setModUndo();
    void setXYPoint(int point);
    int getXYPoint() const { return xyPoint; }
    void setXYUndo();
    // Every XY section tag back to the loaded preset's value.
    void setXYToOrig();
    // The value a snapshot holds for a tag; false while there is none.
    bool getModUndo(int tag, float& value) const;
    bool getXYUndo(int tag, float& value) const;
    // The matrix snapshot written back (the host is told) and the XY one
    // (plain writes); both stay, so undo can be repeated.
    void doModUndo();
    void doXYUndo();
    // The pad's position (0..1) or path point i (-1..1), through the plug-in.
    void setXY(float x, float y);
    void setXY(int i, float x, float y);
    // The oscilloscope picture on the pad on or off, kept as a preference.
    void setDrawOsc(bool on);
    void toggleDrawOsc();

    // ---------------------------------------------------------------- gestures
    // A knob or slider starts (and ends) dragging its parameter towards a
    // modulation target.
    void setDropTag(int tag);
    void releasedDropDial() { drop.released = true; }
    // The drop targets under the mouse while a gesture is armed: the
    // modulation matrix screen and the XY destination menus (idle pass).
    void dropMod();
    void setXYDrop(int destTag, int amountTag);
    bool getDragAndDrop() const { return prefs.dragAndDrop; }
    bool getDropSource(int tag) const { return isValidTag(tag) && drop.source[tag]; }
    bool getAnimation() const { return prefs.animation; }
    // Steps the current preset (throttled; the flag has no effect).
    void changeProgramDelta(int delta, bool unused);
    // Presets per column of the preset menu.
    static int getPresetsInColumns() { return 32; }
    // Folder browsing and typed preset search have no use in this program.
    void changeFoundProgramDelta(int) {}
    void changeFolderDelta(int, bool) {}
    void _setupKeyInput() {}
    void _exitKeyInput() {}
    int getSelectedWave() const { return selectedWave; }
    // One level of undo for both user waves (tags 715..992): the snapshot
    // and its return.
    void setWaveUndo();
    void doWaveUndo();
    // Both user waves back to the loaded preset (tags 715..992), rebuilt.
    void setWaveToOrig();
    // The wheel over a radio button steps its group by delta (-1, 0, +1).
    void changeRadioDelta(int group, int delta);

    // ---------------------------------------------------------------- sizes
    int getSizeIndex() const { return sizeIndex; }
    float getScale() const { return scale; }
    // A design coordinate in pixels at this size, with a per-size offset.
    int getScaled(float v, int o1 = 0, int o2 = 0, int o3 = 0) const;
    int getScaled(int v, int o1 = 0, int o2 = 0, int o3 = 0) const {
        return getScaled(static_cast<float>(v), o1, o2, o3);
    }
    // The resource id of a design bitmap at this size.
    int getScaledBitmap(int id) const;
    // Stores the size for the next plug-in instance and tells the user.
    void setScreenSize(int index);
    static bool isValidTag(int tag) { return tag::isValid(tag); }

    // ---------------------------------------------------------------- preferences
    static bool getRegValue(const std::string& key, bool def);
    static void setRegValue(const std::string& key, bool on);
    static void setRegOn(const std::string& key) { setRegValue(key, true); }
    static void setRegOff(const std::string& key) { setRegValue(key, false); }
    // The envelope screens' decay-sustain mode as stored; off until the user
    // turns it on. Every switch, menu and screen reads it here.
    static bool getDecaySustainPref();

    // ---------------------------------------------------------------- bitmaps
    void createBitmaps();
    void removeBitmaps();
    static void removeBitmap(VSTGUI::CBitmap*& bitmap);
    // The bitmap of a design id (10000..10080) while the window is open.
    VSTGUI::CBitmap* getBitmap(int designId) const;

    // ---------------------------------------------------------------- screens
    void showMainScreen();
    void showMainScreenControls();
    void showBackScreen(bool unused);
    void showEnvScreens();
    void showFreeLFOScreen();
    void showFreeEnvScreen();
    void showFXScreen();
    void createMainScreenControls();
    void createBackScreen();
    void removeControls();
    template <class T> static void removeControl(T*& control) {
        if (control) control->forget();
        control = nullptr;
    }
    void updatePresetMenu();
    void updateFolderMenu() {}
    // The preset manager has no screen in this program.
    void createManagerScreenControls() {}
    void showManagerScreen() {}
    void updateMangerScreen() {}
    void updateBankManager() { bankManagerRequest[0] = 1; }
    int getManagerScreen() const { return managerScreen; }

    enum SubPage { kEnvPage1, kEnvPage2, kFreeLFOPage, kFreeEnvPage, kFXPage, kSubPageCount };
    VSTGUI::CViewContainer* getSubPage(SubPage page) const { return subPages[page]; }
    int getScreenCode() const { return screenCode; }
    int getMainPage() const { return mainPage; }

    // ---------------------------------------------------------------- control table
    // What a control is to the rest of the editor. Plain controls (buttons,
    // click areas, radio buttons, readouts) have no tooltip; menus are
    // refreshed through resumeMenu/resumeSubMenu, never by value; knobs,
    // switches and sliders take their parameter's value.
    enum ControlKind {
        kPlainKind = 0,
        kKnobKind = 1,
        kMenuKind = 2,
        kOnOffKind = 3,
        kSliderKind = 4
    };
    using Offsets = editor_controls::Offsets;
    // Enters a control in the table (with its parameter's default and value)
    // while the window is being built; a later control of the same tag takes
    // over the tag. Nothing without a plug-in object or frame, or when full.
    void addControl(VSTGUI::CControl* control, int kind);
    // The control bound to a tag and its kind (nullptr / -1 when none).
    VSTGUI::CControl* getTagControl(int tag) const;
    int getTagKind(int tag) const;
    int getControlCount() const { return table.count; }
    VSTGUI::CControl* getTableControl(int slot) const;
    int getTableKind(int slot) const;
    bool getTooltipEnabled(int slot) const;

    // Factories: design coordinates in, a control of the current size out,
    // entered in the table. A missing bitmap leaves out as it was.
    void createOnOff(TOnOff*& out, int tag, int x, int y, VSTGUI::CBitmap* bitmap,
                     const Offsets& off = {});
    void createOnOff(TOnOff*& out, int tag, int x, int y, const Offsets& off = {});
    void createKickButton(VSTGUI::CKickButton*& out, int x, int y, int tag, VSTGUI::CBitmap* bitmap,
                          const Offsets& off = {});
    void createKickButton(VSTGUI::CKickButton*& out, int x, int y, VSTGUI::CBitmap* bitmap,
                          const Offsets& off = {});
    void createKickButton(VSTGUI::CKickButton*& out, int x, int y, const Offsets& off = {});
    // An invisible click area; the design height is twice the clickable one.
    void createKickButtonArea(VSTGUI::CKickButton*& out, int x, int y, int width, int height,
                              const Offsets& off = {});
    void createRadio(TRadioButton*& out, int x, int y, int group, int index,
                     VSTGUI::CBitmap* bitmap, const Offsets& off = {});
    void createRadio(TRadioButton*& out, int x, int y, int group, int index,
                     const Offsets& off = {});
    // type 0..3 picks the pointer and modulation film strips.
    void createKnob(TKnob*& out, int tag, int x, int y, int type, const Offsets& off = {});
    void createReadout(TReadout*& out, int x, int y, int width, int height, const std::string& text,
                       bool centred, const Offsets& off = {});
    void createMenu(TOptionMenu*& out, int tag, int x, int y, int width, int height, int count,
                    const char* const* entries, bool centred, bool deltaArrows,
                    const Offsets& off = {});
    // As many entries as the tag has steps (at most the table's length).
    void createMenu(TOptionMenu*& out, int tag, int x, int y, int width, int height,
                    std::span<const char* const> entries, bool centred, bool deltaArrows,
                    const Offsets& off = {});
    // Sized by its background bitmap.
    void createMenu(TOptionMenu*& out, int tag, int x, int y, VSTGUI::CBitmap* bitmap, int count,
                    const char* const* entries, bool centred, bool deltaArrows,
                    const Offsets& off = {});
    // The oscillator wave menu: menus[0] lists 16 waves, the five group
    // submenus menus[1..5] and the two user waves.
    void createOscMenu(std::array<TOptionMenu*, 6>& menus, int tag, int x, int y, int width,
                       const Offsets& off = {});
    // XY destination menu index (X1, Y1, X2, Y2) with its twelve group submenus.
    void createDestMenu(int index, int tag, int x, int y, int width, int height,
                        const Offsets& off = {});

    // Menus and stepped parameters.
    void setMenuValue(VSTGUI::CControl* menu);
    void setMenuValue(int tag, int step);
    void resumeMenu(TOptionMenu* menu);
    void resumeSubMenu(TOptionMenu* menu, int tag, std::span<const char* const> table);
    // The modulated value of a knob's parameter, for its ring.
    void setModValue(TKnob* knob);

    // Where the graphic screens go at the current size (the envelope screens
    // inside their pages, the others in the frame).
    enum class GraphicScreen { Arp, Mod, XY, Wave, FilterEnvelope, AmpEnvelope };
    VSTGUI::CRect getScreenRect(GraphicScreen screen) const;

    // The controls addressed by identity (null while closed).
    const editor_controls::All& getControls() const { return controls; }
    int getSelectedFreeEnv() const { return selectedFreeEnv; }
    int getSelectedFreeLFO() const { return selectedFreeLFO; }
    int getWaveDrawMode() const { return waveDrawMode; }
    int getPartialView() const { return partialView; }
    bool getEnvelopeShowKnobs() const { return prefs.envelopeShowKnobs; }

    // The editor's own page refresh requests, raised by setParameter, resume
    // and the controls and carried out by the next idle pass.
    struct PageRequests {
        bool redrawEnvScreen1 = false;
        bool redrawEnvScreen2 = false;
        bool rebuildFreeLFOPage = false;
        bool rebuildEnvPages = false;
        bool rebuildFreeEnvPage = false;
        bool redrawModScreen = false;
        bool rebuildFXPage = false;
        bool refreshXYMode = false;
        bool refreshXYMenus = false;
        bool redrawXY = false;
        bool redrawXYNext = false;
        bool redrawArp = false;
        bool refreshWave = false;
    };

    // ---------------------------------------------------------------- test access
    // The value last applied to a tag at idle (what its control shows).
    float shownValue(int tag) const { return tag::isValid(tag) ? applied[tag] : 0.0f; }
    bool isRebuildRequested() const { return rebuildRequested.load(std::memory_order_relaxed); }
    const PageRequests& getPageRequests() const { return requests; }
    VSTGUI::CControl* getEditControl() const { return editControl; }
    VSTGUI::CFrame* frameForTests() const { return frame; }
    // Runs the editor's own idle work now, ignoring the 40 ms rate limit.
    void idleNow();

private:
    APlugin* plugin() const;
    // Takes the window down; touches the plug-in's flags only when given.
    void closeWindow(APlugin* p);
    void applyPendingValues();
    void applyParameter(int tag, float value);
    // The option menu that shows a stepped parameter (nullptr for none).
    TOptionMenu* menuForTag(int tag) const;
    void resumeMenus();
    // valueChanged for the controls that are not plain parameters; false
    // when the control is none of them.
    bool specialValueChanged(VSTGUI::CControl* control);
    bool headerValueChanged(VSTGUI::CControl* control);
    bool mainValueChanged(VSTGUI::CControl* control);
    bool lowerPageValueChanged(VSTGUI::CControl* control);
    bool backValueChanged(VSTGUI::CControl* control);
    void openHelp();
    // The preset menu (editor/menu_preset.cpp).
    void fillPresetMenu();
    void presetMenuChanged(VSTGUI::CControl* control);
    void askA4Tuning();

    // The idle pass, in its order.
    VSTGUI::CView* viewUnderMouse(VSTGUI::CPoint& where) const;
    // A gesture holds the mouse: some view captured the press and waits
    // for its moves and release.
    bool mouseHeld() const;
    void serveDropTargets(VSTGUI::CView* view);
    // The shared start of a drop (drag-and-drop modulation).
    bool takeDrop(int& dest);
    void refreshMainScreen();
    void refreshLocksAndRings();
    void refreshPages();
    void refreshArpPage();
    void refreshWavePage();
    void refreshXY();
    void showTooltip(VSTGUI::CView* view);
    void showHoverTexts(VSTGUI::CView* view);
    void showScreenHovers(VSTGUI::CView* view, const VSTGUI::CPoint& where);
    // The name and value the hover table gives a control; false when it
    // has no row.
    bool hoverRow(const VSTGUI::CView* view, std::string& name, std::string& value);
    // Writes name and value to the two readouts when they differ from what
    // they show.
    void showHover(const std::string& name, const std::string& value);
    void showParameterHover(int tag);
    void clearPageRequests();
    void clearControlTable();
    // The radio-group follow-ups of a new state.
    void setRadioGroup(int group, int state);
    // The geometry rule: a design coordinate with its per-size offset.
    int scaledX(int x, const Offsets& off) const;
    int scaledY(int y, const Offsets& off) const;
    // Builds a menu's group submenu (tag 9999, no listener).
    TOptionMenu* makeSubMenu(const VSTGUI::CRect& rect, int style, bool centred,
                             const char* const* entries, int first, int last);
    void pumpWindowEvents();
    // Moves the preset by delta unless a step is too soon or a preset is
    // still being applied.
    void stepPreset(int delta);

    // Switch preferences read when the editor object is made.
    struct Switches {
        bool keyboard = true;
        bool dragAndDrop = true;
        bool toolTips = true;
        bool animation = true;
        bool decaySustain = false;
        bool envelopeShowKnobs = false;
        bool drawOsc = true;
        bool oscOut = false;
    };

    // The controls of the open window in creation order, and the map from
    // parameter tag to slot (-1: no control). The table does not own them.
    struct ControlTable {
        std::array<VSTGUI::CControl*, tag::Count> control{};
        std::array<int, tag::Count> kind{};
        std::array<bool, tag::Count> tooltipEnabled{};
        std::array<int, tag::Count> tagToControl{};
        std::array<int, tag::Count> tagKind{};
        int count = 0;
    };

    // One level of undo and a clipboard per section, indexed by tag.
    struct TagStore {
        std::array<float, tag::Count> value{};
        bool valid = false;
    };
    struct WaveStore {
        std::array<float, 278> value{}; // tags 715..992
        bool valid = false;
    };
    enum Section {
        kOscSection,
        kFilterSection,
        kEnvSection,
        kFreeModSection,
        kArpSection,
        kModSection,
        kXYSection,
        kSectionCount
    };
    struct SectionStores {
        std::array<TagStore, kSectionCount> undo;
        std::array<TagStore, kSectionCount> clipboard;
        WaveStore waveUndo;
        WaveStore waveClipboard;
        std::array<float, 8> stepClipboard{}; // one arpeggiator step column
        bool stepClipboardValid = false;
        std::array<float, 4> slotClipboard{}; // one matrix slot
        bool slotClipboardValid = false;
    };

    // The drag-and-drop gesture from a knob to a modulation target.
    struct DropState {
        int tag = -1;
        float value = 0.0f;
        bool released = false;
        std::array<bool, tag::Count> source{};
    };

    // ---- state that lives as long as the object
    std::atomic<bool> rebuildRequested{false};
    bool rebuildingMain = false;
    VSTGUI::CControl* editControl = nullptr;
    bool shownEditChanged = false;
    bool inResume = false;
    std::atomic<bool> finishedOpening{false};
    uint32_t lastKeyTick = 0;
    uint32_t lastPresetStepTick = 0;
    uint32_t lastIdleTick = 0;
    int screenCode = SCREEN_MAIN_ARP;
    int mainPage = 1;
    int sizeIndex = 0;
    float scale = 1.0f;
    ControlTable table;
    std::string hoverText;
    DropState drop;
    bool shownUniBitmap = false;
    PageRequests requests;
    Switches prefs;
    int selectedFreeEnv = 0;
    int selectedFreeLFO = 0;
    SectionStores stores;
    // The free envelope menu's marks in the envelope section's stores: its
    // undo holds the fade and sync tags too, its clipboard was filled.
    struct FreeEnvMarks {
        bool fadeSyncUndo = false;
        bool copied = false;
    } freeEnvMarks;
    bool shownDrawOsc = false;
    int xyTagCount = 0;
    std::array<int, 282> xyTags{};
    int lastArpSteps = -1;
    int selectedWave = 0;
    int waveDrawMode = 0;
    int partialView = 0;
    bool shownPreviewWave = false;
    editor_controls::All controls;
    std::array<float, 23> shaperValue1{};
    std::array<float, 23> shaperValue2{};
    std::array<uint8_t, 2> bankManagerRequest{};
    int managerScreen = 0;
    int xyPoint = -1;
    int xyGrouping = 0;
    // The envelopes (0..3) whose values the envelope menu last copied.
    std::array<bool, 4> envelopeCopied{};

    // ---- values pushed by the plug-in (any thread), applied at idle
    std::array<std::atomic<float>, tag::Count> pendingValue{};
    std::array<std::atomic<bool>, tag::Count> pendingFlag{};
    std::atomic<bool> anyPending{false};
    std::atomic<bool> xyDirtyRequest{false};
    std::atomic<bool> windowOpen{false};
    std::array<float, tag::Count> applied{};

    // ---- what exists only while the window is open
    std::array<VSTGUI::CBitmap*, kBitmapCount> bitmaps{};
    std::array<VSTGUI::CViewContainer*, kSubPageCount> subPages{};
};
