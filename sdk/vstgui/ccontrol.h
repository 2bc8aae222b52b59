// CControl: a view with a value, a tag and a listener.
#pragma once

#include "vstgui/cview.h"

namespace VSTGUI {

class CBitmap;
class CControl;

// Receives a control's changes. The editor implements it.
class IControlListener {
public:
    virtual ~IControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    // A click with modifiers is offered here first; non-zero consumes it.
    virtual int32_t controlModifierClicked(CControl* /*control*/, CButtonState /*buttons*/) {
        return 0;
    }
    virtual void controlBeginEdit(CControl* /*control*/) {}
    virtual void controlEndEdit(CControl* /*control*/) {}
    virtual void controlTagWillChange(CControl* /*control*/) {}
    virtual void controlTagDidChange(CControl* /*control*/) {}
};

class CControl : public CView {
public:
    CControl(const CRect& size, IControlListener* listener = nullptr, int32_t tag = 0,
             CBitmap* background = nullptr);
    CControl(const CControl& other);
    ~CControl() override;

    virtual void setValue(float value);
    virtual float getValue() const { return value; }
    virtual void setValueNormalized(float normalized);
    virtual float getValueNormalized() const;
    virtual void setMin(float v) { vmin = v; }
    virtual float getMin() const { return vmin; }
    virtual void setMax(float v) { vmax = v; }
    virtual float getMax() const { return vmax; }
    float getRange() const { return vmax - vmin; }
    virtual void setOldValue(float v) { oldValue = v; }
    virtual float getOldValue() const { return oldValue; }
    virtual void setDefaultValue(float v) { defaultValue = v; }
    virtual float getDefaultValue() const { return defaultValue; }
    virtual void setWheelInc(float v) { wheelInc = v; }
    virtual float getWheelInc() const { return wheelInc; }
    // Keeps the value within min..max.
    virtual void bounceValue();

    // Dirty also while the value differs from the old value, the one last
    // drawn: drawing and setDirty(false) make the current value the old
    // value. setDirty(true) only raises the view's flag and stays safe from
    // any thread.
    bool isDirty() const override;
    void setDirty(bool state = true) override;
    void drawRect(CDrawContext* context, const CRect& updateRect) override;

    virtual void setTag(int32_t newTag);
    virtual int32_t getTag() const { return tag; }
    virtual void setListener(IControlListener* l) { listener = l; }
    IControlListener* getListener() const { return listener; }

    // Tells the listener (and through the frame the editor) that a gesture
    // starts or ends; nested calls are counted.
    virtual void beginEdit();
    virtual void endEdit();
    bool isEditing() const { return editing > 0; }
    // Tells the listener of a new value.
    virtual void valueChanged();

    // The bitmap the control draws; the control holds a reference.
    virtual void setBackground(CBitmap* bitmap);
    CBitmap* getBackground() const { return background; }

protected:
    float value = 0.0f;
    float vmin = 0.0f;
    float vmax = 1.0f;
    float oldValue = 1.0f;
    float defaultValue = 0.5f;
    float wheelInc = 0.1f;
    int32_t tag;
    IControlListener* listener;
    CBitmap* background = nullptr;
    int32_t editing = 0;
};

} // namespace VSTGUI
