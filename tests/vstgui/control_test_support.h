// Shared pieces of the control tests: a headless frame with an editor that
// records edit gestures, a listener that records what controls report, and
// film strips whose frames can be told apart by their colour.
#pragma once

#include "vstgui/testing.h"
#include "vstgui/vstgui.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ControlTest {

using namespace VSTGUI;

// Edit gestures as the editor sees them: +tag at a begin, -tag at an end.
class RecordingEditor : public VSTGUIEditorInterface {
public:
    void beginEdit(int32_t index) override { gestures.push_back(index); }
    void endEdit(int32_t index) override { gestures.push_back(-index); }
    int32_t getKnobMode() const override { return knobMode; }
    void setFrame(CFrame* f) { frame = f; }

    std::vector<int32_t> gestures;
    int32_t knobMode = kLinearMode;
};

class RecordingListener : public IControlListener {
public:
    void valueChanged(CControl* control) override {
        values.push_back(control->getValue());
        controls.push_back(control);
    }
    void controlBeginEdit(CControl*) override { events.push_back("begin"); }
    void controlEndEdit(CControl*) override { events.push_back("end"); }
    void controlTagWillChange(CControl* c) override {
        events.push_back("will " + std::to_string(c->getTag()));
    }
    void controlTagDidChange(CControl* c) override {
        events.push_back("did " + std::to_string(c->getTag()));
    }

    std::vector<float> values;
    std::vector<CControl*> controls;
    std::vector<std::string> events;
};

// The colour that fills frame k of a diagnostic strip: red holds k.
inline CColor stripColour(int k) {
    return CColor(static_cast<uint8_t>(k), 0x40, 0x80, 255);
}

// Answers "strip<frames>x<width>x<height>" with a vertical strip of that
// many frames of width x height pixels, frame k filled with stripColour(k).
class StripProvider : public IBitmapProvider {
public:
    cairo_surface_t* loadBitmap(const CResourceDescription& desc) override {
        int frames = 0, width = 0, height = 0;
        if (std::sscanf(desc.resourceName().c_str(), "strip%dx%dx%d", &frames, &width, &height) !=
            3)
            return nullptr;
        cairo_surface_t* surface =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height * frames);
        cairo_t* cr = cairo_create(surface);
        for (int k = 0; k < frames; ++k) {
            const CColor c = stripColour(k);
            cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, 1.0);
            cairo_rectangle(cr, 0, k * height, width, height);
            cairo_fill(cr);
        }
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        return surface;
    }
};

inline CBitmap* makeStrip(int frames, int width, int height) {
    const std::string name = "strip" + std::to_string(frames) + "x" + std::to_string(width) + "x" +
                             std::to_string(height);
    return new CBitmap(CResourceDescription(name.c_str()));
}

// Pixels inside r that show text drawn in pure yellow over a darker
// background (antialiased edges included when they are mostly yellow).
inline int yellowishPixels(CFrame* frame, const CRect& r) {
    int n = 0;
    for (int y = static_cast<int>(r.top); y < r.bottom; ++y) {
        for (int x = static_cast<int>(r.left); x < r.right; ++x) {
            const CColor c = Testing::pixelAt(frame, x, y);
            if (c.red > 127 && c.green > 127 && c.blue < 64) ++n;
        }
    }
    return n;
}

// A headless frame of 300 x 200 pixels with a recording editor and the
// strip provider installed; everything is taken down again afterwards.
class HeadlessFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        Testing::setBitmapProviderOverride(&strips);
        frame = new CFrame(CRect(0, 0, 300, 200), &editor);
        editor.setFrame(frame);
        ASSERT_TRUE(frame->open(nullptr));
        ASSERT_TRUE(frame->isHeadless());
    }
    void TearDown() override {
        if (frame) frame->close();
        editor.setFrame(nullptr);
        Testing::setPopupProviderOverride(nullptr);
        Testing::setBitmapProviderOverride(nullptr);
    }

    // The strip frame shown at a point of the frame's image, from its red.
    int shownFrame(int x, int y) {
        frame->idle();
        const CColor c = Testing::pixelAt(frame, x, y);
        EXPECT_EQ(c.green, 0x40);
        EXPECT_EQ(c.blue, 0x80);
        return c.red;
    }

    StripProvider strips;
    RecordingEditor editor;
    CFrame* frame = nullptr;
};

} // namespace ControlTest
