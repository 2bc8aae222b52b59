// Shared pieces of the control tests: a plug-in with its editor opened
// headless, the editor's frame to put controls on, film strips whose frames
// can be told apart by colour, and a listener that records what controls
// report before passing it on to the editor.
#pragma once

#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "platform/prefs.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"
#include "vstgui/vstgui.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace ControlsTest {

using namespace VSTGUI;

// Frame k of a pointer strip fills the left half with red k (green 0x40);
// frame k of a modulation strip fills the whole frame with red k (green
// 0xC0). Switch bitmaps have two frames, red 0 and red 1 (green 0x40).
// Names: "ptr<frames>x<width>x<height>", "mod<frames>x<width>x<height>".
class StripProvider : public IBitmapProvider {
public:
    static constexpr uint8_t kPointerGreen = 0x40;
    static constexpr uint8_t kModGreen = 0xC0;

    cairo_surface_t* loadBitmap(const CResourceDescription& desc) override {
        int frames = 0, width = 0, height = 0;
        const std::string name = desc.resourceName();
        bool pointer = true;
        if (std::sscanf(name.c_str(), "ptr%dx%dx%d", &frames, &width, &height) != 3) {
            if (std::sscanf(name.c_str(), "mod%dx%dx%d", &frames, &width, &height) != 3)
                return nullptr;
            pointer = false;
        }
        cairo_surface_t* surface =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height * frames);
        cairo_t* cr = cairo_create(surface);
        for (int k = 0; k < frames; ++k) {
            cairo_set_source_rgba(cr, k / 255.0, (pointer ? kPointerGreen : kModGreen) / 255.0,
                                  0x80 / 255.0, 1.0);
            cairo_rectangle(cr, 0, k * height, pointer ? width / 2 : width, height);
            cairo_fill(cr);
        }
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        return surface;
    }
};

inline CBitmap* makeStrip(const char* kind, int frames, int width, int height) {
    const std::string name = std::string(kind) + std::to_string(frames) + "x" +
                             std::to_string(width) + "x" + std::to_string(height);
    return new CBitmap(CResourceDescription(name.c_str()));
}

// Records what a control reports and passes it on to the editor, as the
// editor itself would receive it.
class ForwardingListener : public IControlListener {
public:
    explicit ForwardingListener(uEditor* editor = nullptr) : editor(editor) {}
    void valueChanged(CControl* control) override {
        values.push_back(control->getValue());
        if (editor) editor->valueChanged(control);
    }
    int32_t controlModifierClicked(CControl*, CButtonState buttons) override {
        offered.push_back(buttons);
        return consume;
    }

    uEditor* editor;
    std::vector<float> values;
    std::vector<int32_t> offered;
    int32_t consume = 0;
};

inline bool isWhite(const CColor& c) {
    return c.red > 200 && c.green > 200 && c.blue > 200;
}
inline bool isLightBlue(const CColor& c) {
    return c.red < 120 && c.green > 150 && c.blue > 150;
}

class ControlsFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Testing::setBitmapProviderOverride(&strips);
        start();
    }
    void TearDown() override {
        stop();
        Testing::setPopupProviderOverride(nullptr);
        Testing::setBitmapProviderOverride(nullptr);
    }

    void start() {
        plugin = std::make_unique<APlugin>(FakeHost::callback);
        ASSERT_TRUE(plugin->getUEditor()->open(nullptr));
        listener.editor = &ui();
        // A plain black frame, so that what the controls draw can be compared
        // wherever they stand.
        frame()->setBackground(nullptr);
        frame()->setBackgroundColor(kBlackCColor);
        frame()->idle();
    }
    void stop() {
        for (CView* view : added) {
            if (frame() && frame()->isChild(view))
                frame()->removeView(view, true);
            else
                view->forget();
        }
        added.clear();
        if (plugin) plugin->getUEditor()->close();
        listener.editor = nullptr;
        plugin.reset();
    }
    // A new plug-in whose editor has not opened its window.
    void startClosed() {
        stop();
        plugin = std::make_unique<APlugin>(FakeHost::callback);
        listener.editor = &ui();
    }
    // Starts again with a preference switch set (read when the editor is made).
    void restartWith(const char* key, const char* value) {
        stop();
        saveStringToPrefs(key, value);
        start();
    }

    uEditor& ui() { return *plugin->getUEditor(); }
    CFrame* frame() { return plugin ? ui().frameForTests() : nullptr; }

    // Puts a control on the editor's frame with its parameter's default and
    // value, as the editor's factories enter it.
    template <class T> T* add(T* control) {
        const int t = control->getTag();
        if (uEditor::isValidTag(t)) {
            control->setDefaultValue(plugin->getDefaultValue(t));
            control->setValue(plugin->getParameter(t));
        }
        frame()->addView(control);
        added.push_back(control);
        return control;
    }

    // Mouse input at frame coordinates. Each press comes a second after the
    // last, so that two presses are never taken for a double click.
    void down(CPoint where, CButtonState buttons = kLButton) {
        clock.advance(1000);
        Testing::mouseDown(frame(), where, buttons);
    }
    void move(CPoint where, CButtonState buttons = kLButton) {
        Testing::mouseMove(frame(), where, buttons);
    }
    void up(CPoint where, CButtonState buttons = kLButton) {
        Testing::mouseUp(frame(), where, buttons);
    }
    void click(CPoint where, CButtonState buttons = kLButton) {
        down(where, buttons);
        up(where, buttons);
    }
    void wheel(CPoint where, float distance, CButtonState buttons = 0) {
        Testing::wheel(frame(), where, distance, buttons);
    }
    void redraw() { frame()->idle(); }
    // Blocks of the audio thread, after which what it publishes for the
    // editor is up to date; settle() renders until the start-up preset and
    // wave tables lie behind.
    void render(int frames) {
        std::vector<float> l(frames), r(frames), il(frames), ir(frames);
        float* in[2] = {il.data(), ir.data()};
        float* out[2] = {l.data(), r.data()};
        plugin->processReplacing(in, out, frames);
    }
    void settle() {
        for (int guard = 0; guard < 256; ++guard) {
            render(256);
            if (!plugin->waves.rebuildRequested.load() && !plugin->tableRebuildRunning()) break;
        }
    }
    CColor pixel(int x, int y) { return Testing::pixelAt(frame(), x, y); }
    // Pixels of rect r that satisfy a test.
    template <class Test> int countPixels(const CRect& r, Test test) {
        int n = 0;
        for (int y = static_cast<int>(r.top); y < r.bottom; ++y)
            for (int x = static_cast<int>(r.left); x < r.right; ++x)
                if (test(pixel(x, y))) ++n;
        return n;
    }
    // Whether rect a of the image looks the same as the rect of its size at b.
    bool sameImage(const CRect& a, const CPoint& b) {
        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (!(pixel(static_cast<int>(a.left) + x, static_cast<int>(a.top) + y) ==
                      pixel(static_cast<int>(b.x) + x, static_cast<int>(b.y) + y)))
                    return false;
        return true;
    }
    size_t hostCalls(VstInt32 opcode) const { return host.count(opcode); }

    TempPrefs prefs;
    ManualClock clock;
    FakeHost host;
    StripProvider strips;
    std::unique_ptr<APlugin> plugin;
    ForwardingListener listener;
    std::vector<CView*> added;
};

} // namespace ControlsTest
