// The editor object: construction, opening and closing the window, bitmaps,
// sizes and the switch preferences.

#include "editor/ueditor.h"

#include "controls/toptionmenu.h"
#include "core/aplugin.h"
#include "core/immortal.h"
#include "core/section_tags.h"
#include "editor/artwork.h"
#include "platform/dialogs.h"
#include "platform/prefs.h"

#include <cmath>

using namespace VSTGUI;

static_assert(kBitmapCount == ondix::artwork::kBitmapCount);

namespace {

// Pixels come from the artwork painter, rendered once per process and size.
class ArtworkProvider : public IBitmapProvider {
public:
    cairo_surface_t* loadBitmap(const CResourceDescription& desc) override {
        if (desc.type != CResourceDescription::kIntegerType) return nullptr;
        return ondix::artwork::cachedBitmap(desc.id);
    }
};

// Once per process, by whichever instance comes first, however many threads
// create instances at the same moment. A provider installed before (a test's)
// is kept.
void installArtwork() {
    static const bool installed = [] {
        // Never destroyed: the layer keeps pointing at it.
        static Immortal<ArtworkProvider> provider;
        if (!getBitmapProvider()) setBitmapProvider(&provider.object);
        return true;
    }();
    (void)installed;
}

// Where each sub-page container sits on the design screen, and the bitmap
// that gives its size.
struct SubPagePlace {
    int x, y, bitmap;
};
constexpr std::array<SubPagePlace, uEditor::kSubPageCount> kSubPagePlaces = {{
    {582, 266, 10020}, // envelope page 1
    {855, 348, 10022}, // envelope page 2
    {24, 454, 10024},  // free LFO page
    {24, 547, 10025},  // free envelope page
    {849, 541, 10026}, // effects page
}};

int bitmapSlot(int designId) {
    const auto& ids = ondix::artwork::designIds();
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == designId) return static_cast<int>(i);
    return -1;
}

} // namespace

uEditor::uEditor(AudioEffect* effect) : AEffGUIEditor(effect) {
    if (effect) effect->setEditor(this);
    installArtwork();

    screenCode = SCREEN_MAIN_ARP;
    mainPage = 1;
    clearControlTable();
    drop.source.fill(true);
    clearPageRequests();
    lastArpSteps = -1;
    xyTags = section_tags::XY_SECTION_TAGS;
    xyTagCount = static_cast<int>(xyTags.size());
    lastKeyTick = lastPresetStepTick = lastIdleTick = getTicks();

    prefs.keyboard = getRegValue(REG_KEYBOARD_STR, true);
    prefs.dragAndDrop = getRegValue(REG_DRAG_AND_DROP_STR, true);
    prefs.toolTips = getRegValue(REG_TOOL_TIP_STR, true);
    prefs.animation = getRegValue(REG_DIAL_ANIMATION_STR, true);
    prefs.decaySustain = getDecaySustainPref();
    prefs.envelopeShowKnobs = getRegValue(REG_ENV_STR, false);
    prefs.drawOsc = getRegValue(REG_DRAW_OSC_STR, true);
    prefs.oscOut = getRegValue(REG_OSC_OUT_STR, false);

    // The last size switched on wins; none means 100 %. Read only here: a
    // size chosen later applies to instances made afterwards.
    sizeIndex = 0;
    for (int k = 0; k < 4; ++k)
        if (getRegValue(REG_SCREEN_SIZE[k], false)) sizeIndex = k;
    scale = SCALE[sizeIndex];

    rect.top = 0;
    rect.left = 0;
    rect.right = static_cast<VstInt16>(getScaled(DESIGN_WIDTH));
    rect.bottom = static_cast<VstInt16>(getScaled(DESIGN_HEIGHT));
}

uEditor::~uEditor() {
    // The plug-in closes its editor before it goes; a window still open here
    // is taken down without touching the plug-in.
    if (frame) closeWindow(nullptr);
}

APlugin* uEditor::plugin() const {
    return static_cast<APlugin*>(effect);
}

// ------------------------------------------------------------------ sizes

int uEditor::getScaled(float v, int o1, int o2, int o3) const {
    if (sizeIndex < 1 || sizeIndex > 3) return static_cast<int>(v);
    const int offsets[4] = {0, o1, o2, o3};
    return static_cast<int>(v * SCALE[sizeIndex]) + offsets[sizeIndex];
}

int uEditor::getScaledBitmap(int id) const {
    return sizeIndex >= 0 && sizeIndex <= 3 ? id + 1000 * sizeIndex : id;
}

void uEditor::setScreenSize(int index) {
    if (index < 0 || index > 3) return;
    {
        const PrefsSaveGroup oneSave;
        for (const char* key : REG_SCREEN_SIZE) saveStringToPrefs(key, "N");
        saveStringToPrefs(REG_SCREEN_SIZE[index], "Y");
    }
    static const char* const percent[4] = {"100%", "125%", "150%", "200%"};
    messageBox(std::string("When you next open Ondix, it'll open in ") + percent[index] +
                   " Screen Mode",
               2);
}

// ------------------------------------------------------------------ preferences

bool uEditor::getDecaySustainPref() {
    return getRegValue(REG_DECAY_SUSTAIN_STR, false);
}

bool uEditor::getRegValue(const std::string& key, bool def) {
    std::string value;
    loadStringFromPrefs(key, value, 127);
    return def ? value != "N" : value == "Y";
}

void uEditor::setRegValue(const std::string& key, bool on) {
    saveStringToPrefs(key, on ? "Y" : "N");
}

// ------------------------------------------------------------------ bitmaps

void uEditor::createBitmaps() {
    const auto& ids = ondix::artwork::designIds();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        removeBitmap(bitmaps[i]);
        bitmaps[i] = new CBitmap(CResourceDescription(getScaledBitmap(ids[i])));
    }
}

void uEditor::removeBitmaps() {
    for (CBitmap*& b : bitmaps) removeBitmap(b);
}

void uEditor::removeBitmap(CBitmap*& bitmap) {
    if (!bitmap) return;
    bitmap->forget();
    bitmap = nullptr;
}

CBitmap* uEditor::getBitmap(int designId) const {
    const int slot = bitmapSlot(designId);
    return slot < 0 ? nullptr : bitmaps[static_cast<std::size_t>(slot)];
}

// ------------------------------------------------------------------ control table

void uEditor::clearControlTable() {
    table.control.fill(nullptr);
    table.kind.fill(0);
    table.tooltipEnabled.fill(false);
    table.tagToControl.fill(-1);
    table.tagKind.fill(0);
    table.count = 0;
}

void uEditor::clearPageRequests() {
    requests = PageRequests{};
}

// ------------------------------------------------------------------ open and close

bool uEditor::open(void* parent) {
    APlugin* p = plugin();
    if (!p) return false;
    if (frame) close(); // a second open without a close starts afresh

    finishedOpening.store(false, std::memory_order_release);
    p->core.editorOpening.set();
    p->core.editorOpened.clear();

    rebuildingMain = false;
    clearPageRequests();
    bankManagerRequest.fill(0);
    shownUniBitmap = false;
    shownDrawOsc = false;
    xyPoint = -1;

    AEffGUIEditor::open(parent);
    createBitmaps();

    screenCode = SCREEN_MAIN_ARP;
    mainPage = 1;
    lastIdleTick = lastKeyTick = lastPresetStepTick = getTicks();
    p->core.popupOpen.clear();
    shownEditChanged = !p->getEditChanged();

    // The frame has the size of the main background; without artwork it
    // still has the editor's size.
    CRect size(0, 0, rect.right, rect.bottom);
    if (CBitmap* bg = getBitmap(10000); bg && bg->isLoaded())
        size = CRect(0, 0, bg->getWidth(), bg->getHeight());
    frame = new CFrame(size, this);
    frame->setBackground(getBitmap(mainPage == 1 ? 10000 : 10001));
    if (!frame->open(parent)) {
        frame->close(); // releases the frame
        frame = nullptr;
        removeBitmaps();
        AEffGUIEditor::close();
        p->core.editorOpening.clear();
        return false;
    }
    frame->registerKeyboardHook(this);
    setKnobMode(kLinearMode);
    // Tooltips in the size of the controls' text at this editor size.
    const CFontRef tooltipFont = FONT_SIZES[static_cast<std::size_t>(sizeIndex)];
    frame->getTooltipSupport().setFont(tooltipFont->getSize(), tooltipFont->getStyle());
    frame->enableTooltips(prefs.toolTips);

    for (int i = 0; i < kSubPageCount; ++i) {
        const SubPagePlace& place = kSubPagePlaces[static_cast<std::size_t>(i)];
        CBitmap* bg = getBitmap(place.bitmap);
        const CPoint origin(getScaled(place.x), getScaled(place.y));
        const CPoint extent(bg ? bg->getWidth() : 0, bg ? bg->getHeight() : 0);
        subPages[i] = new CViewContainer(CRect(origin, extent));
        subPages[i]->setOffscreenDrawing(false);
    }

    table.count = 0;
    createMainScreenControls();
    createManagerScreenControls();
    drop.tag = -1;
    drop.value = 0.0f;
    drop.released = false;
    createBackScreen();
    showEnvScreens();
    showFreeLFOScreen();
    showFreeEnvScreen();
    showFXScreen();

    showBackScreen(true);

    for (int t = 0; t < tag::Count; ++t) {
        pendingFlag[t].store(false, std::memory_order_relaxed);
        applied[t] = p->getCurrentValue(t);
    }
    anyPending.store(false, std::memory_order_relaxed);
    xyDirtyRequest.store(false, std::memory_order_relaxed);

    p->core.editorOpening.clear();
    p->core.editorOpened.set();
    inResume = false;
    windowOpen.store(true, std::memory_order_release);
    finishedOpening.store(true, std::memory_order_release);

    updatePresetMenu();
    resume();
    return true;
}

void uEditor::close() {
    if (APlugin* p = plugin()) closeWindow(p);
}

void uEditor::closeWindow(APlugin* p) {
    finishedOpening.store(false, std::memory_order_release);
    windowOpen.store(false, std::memory_order_release);
    if (p) {
        p->core.editorOpening.clear();
        p->core.editorOpened.clear();
    }
    if (frame) frame->unregisterKeyboardHook(this);

    table.count = 0;
    removeBitmaps();

    // Each container leaves the frame before its last reference goes, so
    // the frame never holds a freed view.
    for (CViewContainer*& page : subPages) {
        if (!page) continue;
        page->removeAll(false);
        if (frame && frame->isChild(page)) frame->removeView(page, false);
        page->forget();
        page = nullptr;
    }
    if (frame) {
        frame->removeAll(false);
        frame->close(); // drops the frame's own reference
        frame = nullptr;
    }
    removeControls();
    clearControlTable();

    // Pointers into the closed window must not survive into the next one.
    editControl = nullptr;
    drop.tag = -1;
    drop.released = false;
    AEffGUIEditor::close();
}

bool uEditor::isOpen() {
    return windowOpen.load(std::memory_order_acquire);
}

void uEditor::updatePresetMenu() {
    APlugin* p = plugin();
    TOptionMenu* menu = controls.header.presetMenu;
    if (!getEditorFinishedOpening() || !p || !menu) return;
    char name[64] = {};
    p->getProgramName(name);
    menu->setString(name);
    menu->setDirty(true);
}
