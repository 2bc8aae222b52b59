// CParamDisplay: shows a value as text over an optional background.
#pragma once

#include "vstgui/ccontrol.h"
#include "vstgui/cfont.h"

#include <functional>

namespace VSTGUI {

class CParamDisplay : public CControl {
public:
    enum Style {
        kShadowText = 1 << 0,
        k3DIn = 1 << 1,
        k3DOut = 1 << 2,
        kNoTextStyle = 1 << 3,
        kNoDrawStyle = 1 << 4,
        kRoundRectStyle = 1 << 5,
        kNoFrame = 1 << 6,
    };
    // Turns a value into the text shown; false falls back to "%.2f".
    using ValueToStringFunction =
        std::function<bool(float value, char utf8String[256], CParamDisplay*)>;

    explicit CParamDisplay(const CRect& size, CBitmap* background = nullptr, int32_t style = 0);
    CParamDisplay(const CParamDisplay& other);
    ~CParamDisplay() override;
    CView* newCopy() const override { return new CParamDisplay(*this); }

    void draw(CDrawContext* context) override;

    virtual void setFont(CFontRef font);
    CFontRef getFont() const { return font; }
    virtual void setFontColor(const CColor& color) { fontColor = color; }
    const CColor& getFontColor() const { return fontColor; }
    virtual void setBackColor(const CColor& color) { backColor = color; }
    const CColor& getBackColor() const { return backColor; }
    virtual void setFrameColor(const CColor& color) { frameColor = color; }
    const CColor& getFrameColor() const { return frameColor; }
    virtual void setShadowColor(const CColor& color) { shadowColor = color; }
    const CColor& getShadowColor() const { return shadowColor; }
    virtual void setHoriAlign(CHoriTxtAlign align) { horiAlign = align; }
    CHoriTxtAlign getHoriAlign() const { return horiAlign; }
    virtual void setTextInset(const CPoint& p) { textInset = p; }
    const CPoint& getTextInset() const { return textInset; }
    virtual void setStyle(int32_t newStyle) { style = newStyle; }
    int32_t getStyle() const { return style; }
    virtual void setAntialias(bool state) { antialias = state; }
    bool getAntialias() const { return antialias; }
    void setValueToStringFunction(const ValueToStringFunction& f) { valueToString = f; }

protected:
    // The background colour or bitmap and the frame of the chosen style.
    virtual void drawBack(CDrawContext* context, CBitmap* newBack = nullptr);
    virtual void drawPlatformText(CDrawContext* context, UTF8StringPtr string);
    virtual void drawPlatformText(CDrawContext* context, UTF8StringPtr string, const CRect& rect);

    ValueToStringFunction valueToString;
    CFontRef font = nullptr;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kBlackCColor;
    CColor frameColor = kBlackCColor;
    CColor shadowColor = kRedCColor;
    CHoriTxtAlign horiAlign = kCenterText;
    CPoint textInset;
    int32_t style;
    bool antialias = true;
};

} // namespace VSTGUI
