#include "controls/toptionmenu.h"

#include "controls/control_access.h"
#include "core/aplugin.h"
#include "core/vocabulary.h"
#include "editor/gui_tables.h"
#include "editor/ueditor.h"

#include <cstring>

using namespace VSTGUI;
using namespace ControlAccess;

namespace {

constexpr int kDefaultArrowSize = 10;
constexpr int kPrevArrowBitmap = 10070;
constexpr int kNextArrowBitmap = 10071;

// The user-wave commands of the wave-preset menu; without them in the
// plug-in the zones and the wheel leave the wave alone.
template <class P> void clearUserWave(P& p, int w) {
    if constexpr (requires { p.clearWave(w); }) p.clearWave(w);
}
template <class P> void stepUserWave(P& p, int w, int delta) {
    if constexpr (requires { p.setWavePresetDelta(w, delta); }) p.setWavePresetDelta(w, delta);
}

// The short name of the effective value for the tags that show one; nullptr
// for every other tag.
const char* effectiveText(APlugin& p, int t) {
    switch (t) {
    case 243:
        return vocabAt(PLAY_MODE_SHORT_STR, p.getPlayMode());
    case 244:
        return vocabAt(PORT_MODE_SHORT_STR, p.getPortMode());
    case 249:
        return vocabAt(OSC_MODE_SHORT_STR, p.getOscMode());
    case 252:
    case 254:
        return vocabAt(LFO_WAVE_SHORT_STR, p.getSteppedValue(t));
    case 291:
        return vocabAt(ARP_MODE_SHORT_STR, p.getArpMode());
    case 294:
        return vocabAt(ARP_RATCHET_SHORT_MODE_STR, p.getArpRatchetMode());
    case 298:
        return vocabAt(ARP_MAGIC_MODE_SHORT_STR, p.getArpMagicMode());
    case 446:
        return vocabAt(XY_LOOP_MODE_SHORT_STR, p.getXYLoopMode());
    case 448:
        return vocabAt(XY_SYNC_TO_MODE_SHORT_STR, p.getXYSyncedToPeriod());
    case 450:
        return vocabAt(XY_TIME_QUANT_SHORT_STR, p.getXYTimeQuant());
    case 452:
    case 453:
    case 454:
    case 455:
        return vocabAt(DEST_VERY_SHORT_STR, p.getXYToFreeDest(t));
    default:
        return nullptr;
    }
}

CCoord bitmapWidth(const CBitmap* b) {
    return b ? b->getWidth() : kDefaultArrowSize;
}
CCoord bitmapHeight(const CBitmap* b) {
    return b ? b->getHeight() : kDefaultArrowSize;
}

} // namespace

TOptionMenu::TOptionMenu(const CRect& rect, IControlListener* listener, int32_t tag,
                         CBitmap* background, CBitmap* backgroundWhenClicked, int32_t style,
                         int size, bool centred, bool deltaArrows)
    : COptionMenu(rect, listener, tag, background, backgroundWhenClicked, style),
      deltaZones(deltaArrows), sizeIndex(clampSizeIndex(size)) {
    indicatorInset = MENU_INDICATOR_INSET[sizeIndex];
    deltaZoneWidth = MENU_DELTA_BUTTON_WIDTH[sizeIndex];
    presetArrowOff = MENU_PRESET_ARROW_OFF[sizeIndex];
    folderArrowOff = MENU_FOLDER_ARROW_OFF[sizeIndex];
    textAlign = centred ? kCenterText : kLeftText;
    setHoriAlign(textAlign);
    setFont(FONT_SIZES[sizeIndex]);
}

TOptionMenu::~TOptionMenu() = default;

// ------------------------------------------------------------------ setters

void TOptionMenu::setString(const std::string& newText) {
    const std::string stored = newText.empty() ? std::string(" ") : newText;
    if (stored == text) return;
    text = stored;
    setDirty(true);
}

void TOptionMenu::setString(const char* newText) {
    setString(std::string(newText ? newText : ""));
}

void TOptionMenu::setPresetMenu() {
    presetMenu = true;
    folderMenu = false;
    deltaZones = false;
}

void TOptionMenu::setFolderMenu() {
    folderMenu = true;
    presetMenu = false;
    deltaZones = false;
}

void TOptionMenu::setWavePresetMenu() {
    wavePresetMenu = true;
}

void TOptionMenu::reverseDelta() {
    reverse = true;
}

void TOptionMenu::setDeltaOff(int minusX, int plusX) {
    minusLabelX = minusX;
    plusLabelX = plusX;
}

void TOptionMenu::setBypassed(bool state) {
    if (state == bypassed) return;
    bypassed = state;
    setDirty(true);
}

void TOptionMenu::setIndicator(bool on, int phase) {
    if (on == indicatorOn && phase == indicatorPhase) return;
    const bool onChanged = on != indicatorOn;
    const bool phaseChanged = phase != indicatorPhase;
    indicatorOn = on;
    indicatorPhase = phase;
    if (onChanged || (on && phaseChanged)) setDirty(true);
}

// ------------------------------------------------------------------ drawing

std::string TOptionMenu::shownText() {
    std::string shown = text;
    if (shown.empty() && getNbEntries() > 0 && getCurrentIndex(false) >= 0) {
        char title[256] = {};
        getCurrent(title, false);
        shown = title;
    }
    return shown;
}

void TOptionMenu::draw(CDrawContext* context) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || !editor->getEditorFinishedOpening()) return;
    if (tag == NO_DRAW_MENU_TAG) {
        setDirty(false);
        return;
    }

    const CRect& r = getViewSize();
    const int height = static_cast<int>(r.getHeight());
    CBitmap* prevArrow = editor->getBitmap(kPrevArrowBitmap);
    CBitmap* nextArrow = editor->getBitmap(kNextArrowBitmap);
    const CCoord w = bitmapWidth(prevArrow);
    const CCoord a = bitmapHeight(nextArrow);
    const int y0 = static_cast<int>((height - a / 2) / 2);
    const int arrowHeight = static_cast<int>(a / 2);

    if (presetMenu || folderMenu) {
        CRect prevRect, nextRect;
        if (presetMenu) {
            const CCoord top = r.top + y0 + presetArrowOff;
            prevRect = CRect(r.right - 2 * w, top, r.right, top + arrowHeight);
            nextRect = CRect(r.right - w, top, r.right, top + arrowHeight);
        } else {
            const CCoord top = r.top + y0 + folderArrowOff;
            prevRect = CRect(r.left, top, r.left + w, top + arrowHeight);
            nextRect = CRect(r.left + w, top, r.left + 2 * w, top + arrowHeight);
        }
        if (prevArrow) prevArrow->draw(context, prevRect, CPoint(0, 0), 1.0f);
        if (nextArrow) nextArrow->draw(context, nextRect, CPoint(0, 0), 1.0f);
    }

    context->setFont(getFont());
    context->setFontColor(LIGHT_BLUE_COLOR);

    if (deltaZones) {
        const CRect minusRect(r.left + minusLabelX + 2, r.top + 1,
                              r.left + minusLabelX + 2 + deltaZoneWidth, r.top + height - 3);
        const CRect plusRect(r.right - deltaZoneWidth - 2 + plusLabelX, r.top,
                             r.right - 2 + plusLabelX, r.bottom);
        context->drawString("-", minusRect, kLeftText, true);
        context->drawString("+", plusRect, kRightText, true);
    }

    std::string shown = shownText();
    if (const char* effective = effectiveText(*plugin, tag)) shown = effective;
    if (bypassed) shown = "------";

    const int f = getFont() ? static_cast<int>(getFont()->getSize()) : 0;
    const int y =
        static_cast<int>(r.top) + height % 2 - 1 + (sizeIndex == 0 ? 1 : 0) + (height - f) / 2;
    CRect textRect(r.left, y, r.left + r.getWidth(), y + f);
    if (folderMenu && nextArrow)
        textRect.left = r.left + static_cast<int>(2.25 * nextArrow->getWidth());
    context->drawString(shown.c_str(), textRect, textAlign, true);

    if (indicatorOn && (indicatorPhase & 1) == 0) {
        const int i = indicatorInset;
        context->setFillColor(LIGHT_BLUE_COLOR);
        context->drawRect(CRect(r.left + i, r.top + i, r.left + height - i, r.top + height - i),
                          kDrawFilled);
    }
    setDirty(false);
}

// ------------------------------------------------------------------ mouse and wheel

void TOptionMenu::stepWavePreset(int direction) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!plugin) return;
    const int wave = editor->getSelectedWave();
    if (text == "None") {
        if (direction > 0) plugin->loadWavePreset(wave, 0);
    } else if (text == "Sine" && direction < 0) {
        clearUserWave(*plugin, wave);
    } else {
        stepUserWave(*plugin, wave, direction);
    }
}

CMouseEventResult TOptionMenu::onMouseDown(CPoint& where, const CButtonState& buttons) {
    constexpr CMouseEventResult done = kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (!getMouseEnabled()) return done;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || bypassed) return done;

    const CRect& r = getViewSize();
    const CCoord x = where.x - r.left;
    const int direction = x > r.getWidth() - deltaZoneWidth ? 1 : (x < deltaZoneWidth ? -1 : 0);

    if (wavePresetMenu && direction != 0) {
        stepWavePreset(direction);
        return done;
    }
    if (deltaZones && direction != 0) {
        const int step = reverse ? -direction : direction;
        if (!anyOf(buttons, kShift))
            plugin->changeDelta(tag, step, false, 1.0f);
        else if (step < 0)
            plugin->setSteppedValue(tag, 0);
        else
            plugin->setSteppedValueMax(tag);
        return done;
    }
    const CCoord arrowWidth = bitmapWidth(editor->getBitmap(kNextArrowBitmap));
    if (presetMenu && where.x > r.right - 2 * arrowWidth) {
        editor->changeProgramDelta(where.x > r.right - arrowWidth ? 1 : -1, false);
        return done;
    }
    if (folderMenu && where.x < r.left + 2 * arrowWidth) return done;

    if (anyOf(buttons, kControl)) {
        plugin->setToDefault(tag);
        return done;
    }
    if (anyOf(buttons, kShift | kAlt | kApple) && listener &&
        listener->controlModifierClicked(this, buttons) != 0)
        return done;
    if (anyOf(buttons, kLButton | kRButton | kApple)) popup();
    return done;
}

bool TOptionMenu::onWheel(const CPoint& /*where*/, const float& distance,
                          const CButtonState& buttons) {
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin) return false;
    const int d = -wheelStep(distance);
    if (presetMenu) editor->changeProgramDelta(d, false);
    if (wavePresetMenu) {
        const int wave = editor->getSelectedWave();
        if (text == "None" && d == 1) {
            plugin->loadWavePreset(wave, 0);
            return true;
        }
        if (text == "Sine" && d == -1) {
            clearUserWave(*plugin, wave);
            return true;
        }
        stepUserWave(*plugin, wave, d);
    }
    if (!presetMenu && !folderMenu) plugin->changeDelta(tag, d, anyOf(buttons, kShift), 1.0f);
    return true;
}
