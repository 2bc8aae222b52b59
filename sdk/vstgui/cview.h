// CView: the base of everything on screen.
//
// A view's size is in its parent's coordinates, and so are the points its
// mouse handlers receive. setDirty(true) is a plain atomic flag store, safe
// from any thread: the frame finds dirty views at its idle pass on the GUI
// thread and redraws each of them once.
#pragma once

#include "vstgui/vstguibase.h"

#include "vst2/vst2.h"

#include <atomic>
#include <map>
#include <vector>

namespace VSTGUI {

class CDrawContext;
class CFrame;
class CViewContainer;

// What the frame knows of the editor that owns it.
class VSTGUIEditorInterface {
public:
    virtual ~VSTGUIEditorInterface() = default;
    virtual CFrame* getFrame() const { return frame; }
    // A control starts and ends a gesture on a parameter.
    virtual void beginEdit(int32_t /*index*/) {}
    virtual void endEdit(int32_t /*index*/) {}
    // How knobs follow the mouse (CKnobMode); process-wide.
    virtual int32_t getKnobMode() const;
    virtual void doIdleStuff() {}

protected:
    CFrame* frame = nullptr;
};

// Sees every key before the focused view; an answer other than -1 consumes
// the key.
class IKeyboardHook {
public:
    virtual ~IKeyboardHook() = default;
    virtual int32_t onKeyDown(const VstKeyCode& code, CFrame* frame) = 0;
    virtual int32_t onKeyUp(const VstKeyCode& code, CFrame* frame) = 0;
};

class CView : public CBaseObject {
public:
    explicit CView(const CRect& size);
    CView(const CView& other);
    ~CView() override;

    // A new view of the same class and state, or nullptr when the class
    // does not copy.
    virtual CView* newCopy() const { return nullptr; }

    // Drawing: draw() paints the whole view; drawRect() is what containers
    // call with the part to update and by default calls draw().
    virtual void draw(CDrawContext* context);
    virtual void drawRect(CDrawContext* context, const CRect& updateRect);

    virtual CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseUp(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseCancel();
    // The vertical wheel; distance in notches, positive away from the user.
    virtual bool onWheel(const CPoint& where, const float& distance, const CButtonState& buttons);
    // Any axis; the default passes the vertical axis to the form above.
    virtual bool onWheel(const CPoint& where, const CMouseWheelAxis& axis, const float& distance,
                         const CButtonState& buttons);
    // -1 when the key is not handled.
    virtual int32_t onKeyDown(VstKeyCode& keyCode);
    virtual int32_t onKeyUp(VstKeyCode& keyCode);

    // Marks the view for redrawing at the frame's next idle pass.
    virtual void setDirty(bool state = true) { dirty.store(state, std::memory_order_relaxed); }
    virtual bool isDirty() const { return dirty.load(std::memory_order_relaxed); }
    // Same as setDirty(true): redrawn at the next idle pass.
    virtual void invalid() { setDirty(true); }
    // Redraws the view now when it is on an open frame (GUI thread only).
    void invalidNow();

    virtual void setViewSize(const CRect& rect, bool invalidate = true);
    const CRect& getViewSize() const { return size; }
    CRect getViewSize(CRect& rect) const { return rect = size; }
    CCoord getWidth() const { return size.getWidth(); }
    CCoord getHeight() const { return size.getHeight(); }
    virtual void setMouseableArea(const CRect& rect) { mouseableArea = rect; }
    const CRect& getMouseableArea() const { return mouseableArea; }
    // Hit test in the parent's coordinates: visible, and the point inside the
    // mouseable area.
    virtual bool hitTest(const CPoint& where, const CButtonState& buttons = CButtonState(-1));

    virtual void setMouseEnabled(bool state = true) { mouseEnabled = state; }
    bool getMouseEnabled() const { return mouseEnabled; }
    virtual void setVisible(bool state);
    bool isVisible() const { return visible; }
    virtual void setTransparency(bool state) { transparent = state; }
    bool getTransparency() const { return transparent; }

    // Called by containers when the view is added or removed.
    virtual bool attached(CView* parent);
    virtual bool removed(CView* parent);
    bool isAttached() const { return parentView != nullptr; }
    CViewContainer* getParentView() const { return parentView; }
    CFrame* getFrame() const;
    virtual VSTGUIEditorInterface* getEditor() const;

    // Conversions between the view's coordinates (its parent's system) and
    // the frame's.
    CPoint& localToFrame(CPoint& point) const;
    CPoint& frameToLocal(CPoint& point) const;
    // The view's rect in frame coordinates.
    CRect getFrameRect() const;

    bool setAttribute(CViewAttributeID id, uint32_t inSize, const void* inData);
    bool getAttributeSize(CViewAttributeID id, uint32_t& outSize) const;
    bool getAttribute(CViewAttributeID id, uint32_t inSize, void* outData, uint32_t& outSize) const;
    bool removeAttribute(CViewAttributeID id);
    void setTooltipText(UTF8StringPtr text);
    UTF8String getTooltipText() const;

    // How many times the frame drew this view (for tests and diagnostics).
    uint32_t getDrawCount() const { return drawCount; }
    void countDraw() { ++drawCount; }

protected:
    CRect size;
    CRect mouseableArea;

private:
    friend class CViewContainer;
    std::atomic<bool> dirty{false};
    bool mouseEnabled = true;
    bool visible = true;
    bool transparent = false;
    CViewContainer* parentView = nullptr;
    std::map<CViewAttributeID, std::vector<uint8_t>> attributes;
    uint32_t drawCount = 0;
};

} // namespace VSTGUI
