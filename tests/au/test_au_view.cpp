// The AudioUnit's Cocoa view hosting the plug-in's editor, headless: the
// Cocoa UI property, the panel, the editor's open, idle and close as the
// view's run-loop timer and teardown drive them.
#include "au/au_component.h"
#include "au/au_plugin.h"
#include "au/au_view.h"
#include "au/fake_effect.h"
#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "platform/prefs.h"
#include "support/temp_prefs.h"
#include "vstgui/platform/platform_window.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using ondix::au::CocoaView;
using ondix::au::CocoaViewFactory;
using ondix::auhost::AUTestHost;

extern "C" const AUCocoaViewFactoryInterface* ONDX_QVTZ_CocoaViewFactory();

namespace {

// The editor calls the plug-in gets, counted across units.
struct EditorCalls {
    int open = 0;
    int close = 0;
    int idle = 0;
};
EditorCalls calls;

class CountingPlugin : public APlugin {
public:
    using APlugin::APlugin;
    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override {
        calls.open += opcode == effEditOpen;
        calls.close += opcode == effEditClose;
        calls.idle += opcode == effEditIdle;
        return APlugin::dispatcher(opcode, index, value, ptr, opt);
    }
};

AudioEffect* makeCounting(audioMasterCallback master) {
    return new CountingPlugin(master);
}
AUBase* makeCountingUnit(AudioComponentInstance instance) {
    return new AUPLUGIN(instance, makeCounting);
}
OSStatus countingEntry(ComponentParameters* params, void* storage) {
    return AUComponentEntry(makeCountingUnit, params, storage);
}
AudioComponentPlugInInterface* countingFactory(const AudioComponentDescription*) {
    return AUComponentFactory(makeCountingUnit);
}

NSRunLoop& runLoop() {
    return NSRunLoop::currentRunLoop();
}

class AUView : public ::testing::Test {
protected:
    void SetUp() override {
        NSViewSetHeadless(true);
        calls = {};
        liveAtStart = CFLiveObjectCount();
        // The editor's clock is the run loop's simulated time.
        VSTGUI::Testing::setClock(
            [] { return static_cast<uint32_t>(std::llround(runLoop().now() * 1000.0)); });
    }
    void TearDown() override {
        host.close();
        VSTGUI::Testing::resetClock();
        NSViewSetHeadless(false);
        EXPECT_EQ(CFLiveObjectCount(), liveAtStart) << "a CoreFoundation object was not released";
    }
    void open() {
        ASSERT_EQ(host.open(), noErr);
        ASSERT_EQ(host.setMaxFrames(512), noErr);
        ASSERT_EQ(host.initialize(), noErr);
    }
    AUPLUGIN& unit() { return *static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage())); }
    APlugin& p() { return *static_cast<APlugin*>(unit().Effect()); }
    uEditor& ui() { return *p().getUEditor(); }
    std::unique_ptr<CocoaView> newView() {
        return CocoaViewFactory().uiViewForAudioUnit(host.instance(), {400.0, 300.0});
    }

    TempPrefs prefs;
    AUTestHost host{{countingEntry, countingFactory}};
    long liveAtStart = 0;
};

// Width and height of a PNG file, from its header.
std::pair<uint32_t, uint32_t> pngSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[24] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    auto word = [&](int at) {
        return (uint32_t(head[at]) << 24) | (uint32_t(head[at + 1]) << 16) |
               (uint32_t(head[at + 2]) << 8) | uint32_t(head[at + 3]);
    };
    return {word(16), word(20)};
}

} // namespace

TEST_F(AUView, CocoaUINamesTheBundleAndTheFactoryOnlyWhenTheBundleIsThere) {
    open();
    const struct {
        const char* what;
        const char* path;
        OSStatus status;
    } rows[] = {{"registered", "/opt/plugins/ondix-au.so", noErr},
                {"not registered", nullptr, fnfErr}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        CFBundleRegister(ondix::au::kComponentBundleIdentifier, r.path);
        AudioUnitCocoaViewInfo info{};
        ASSERT_EQ(host.get(kAudioUnitProperty_CocoaUI, info), r.status);
        if (r.status != noErr) continue;
        char path[256] = {};
        ASSERT_TRUE(CFURLGetFileSystemRepresentation(info.mCocoaAUViewBundleLocation, true,
                                                     reinterpret_cast<uint8_t*>(path), 256));
        EXPECT_STREQ(path, r.path);
        char name[64] = {};
        ASSERT_TRUE(
            CFStringGetCString(info.mCocoaAUViewClass[0], name, 64, kCFStringEncodingASCII));
        EXPECT_STREQ(name, "ONDX_QVTZ_CocoaViewFactory");
        CFRelease(info.mCocoaAUViewBundleLocation);
        CFRelease(info.mCocoaAUViewClass[0]);
    }
    const AUCocoaViewFactoryInterface* factory = ONDX_QVTZ_CocoaViewFactory();
    EXPECT_EQ(factory->interfaceVersion(), 0u);
    EXPECT_STREQ(factory->description(), " AU_Cocoa_UI");
}

TEST_F(AUView, AViewSizesItsPanelFromTheEditorAndOpensTheEditorInIt) {
    const struct {
        const char* size;
        double width, height;
    } rows[] = {{nullptr, 1132.0, 779.0}, {"Big150", 1698.0, 1168.0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.size ? r.size : "Big100");
        if (r.size) saveStringToPrefs(r.size, "Y");
        open();
        Float64 size[2] = {};
        UInt32 bytes = sizeof size;
        ASSERT_EQ(host.getProperty(ondix::au::kEditorSizeProperty, kAudioUnitScope_Global, 0, size,
                                   &bytes),
                  noErr);
        EXPECT_EQ(size[0], r.width);
        EXPECT_EQ(size[1], r.height);
        bytes = 8;
        EXPECT_EQ(host.getProperty(ondix::au::kEditorSizeProperty, kAudioUnitScope_Global, 0, size,
                                   &bytes),
                  kAudioUnitErr_InvalidPropertyValue);

        auto view = newView();
        const NSPanel* panel = view->windowController()->window();
        EXPECT_EQ(panel->contentRect.origin.x, 0.0);
        EXPECT_EQ(panel->contentRect.origin.y, 0.0);
        EXPECT_EQ(panel->contentRect.size.width, r.width);
        EXPECT_EQ(panel->contentRect.size.height, r.height);
        EXPECT_EQ(panel->styleMask, 19u);
        EXPECT_EQ(panel->backing, NSBackingStoreBuffered);
        EXPECT_EQ(panel->title, "Ondix");
        EXPECT_EQ(panel->contentView, view->view());
        EXPECT_EQ(calls.open, 1);
        EXPECT_EQ(unit().EditorView(), view->parentValue());
        EXPECT_TRUE(VSTGUI::Platform::isOffscreenParent(view->parentValue()));
        ASSERT_NE(ui().frameForTests(), nullptr);
        EXPECT_TRUE(ui().frameForTests()->isHeadless());
        view.reset();
        EXPECT_EQ(calls.close, 1);
        host.close();
        calls = {};
        if (r.size) saveStringToPrefs(r.size, "N");
    }
    // An effect without an editor has no size to give.
    AUTestHost fake{fakeUnitEntries()};
    ASSERT_EQ(fake.open(), noErr);
    Float64 size[2] = {};
    UInt32 bytes = sizeof size;
    EXPECT_EQ(
        fake.getProperty(ondix::au::kEditorSizeProperty, kAudioUnitScope_Global, 0, size, &bytes),
        -1);
}

TEST_F(AUView, TheTimerIdlesTheEditorFiftyTimesASecondUntilTheViewGoes) {
    open();
    auto view = newView();
    ASSERT_NE(view->timer(), nullptr);
    EXPECT_EQ(view->timer()->timeInterval(), static_cast<double>(0.02f));
    // Half-ticks: a value set before each shows whether the tick that
    // followed ran one of the editor's own passes.
    int passes = 0;
    for (int step = 0; step < 100; ++step) {
        const float value = 0.2f + 0.005f * static_cast<float>(step);
        p().setParameter(tag::FilterFreq, value);
        const int idleBefore = calls.idle;
        runLoop().advance(0.01);
        if (calls.idle != idleBefore) passes += ui().shownValue(tag::FilterFreq) == value;
    }
    EXPECT_EQ(calls.idle, 50);
    EXPECT_LE(passes, 25);
    EXPECT_GE(passes, 24);

    // The hosted editor draws at the VST editor's size.
    ERect* rect = nullptr;
    AEffect* e = p().getAeffect();
    ASSERT_EQ(e->dispatcher(e, effEditGetRect, 0, 0, &rect, 0.0f), 1);
    const std::filesystem::path dir(ONDIX_TEST_OUTPUT_DIR);
    std::filesystem::create_directories(dir);
    const std::string png = (dir / "au-hosted-editor.png").string();
    ASSERT_TRUE(VSTGUI::Testing::writePng(ui().frameForTests(), png));
    EXPECT_EQ(pngSize(png), std::make_pair(uint32_t(rect->right - rect->left),
                                           uint32_t(rect->bottom - rect->top)));

    view.reset();
    EXPECT_EQ(calls.close, 1);
    EXPECT_EQ(unit().EditorView(), nullptr);
    runLoop().advance(1.0);
    EXPECT_EQ(calls.idle, 50);
    EXPECT_EQ(runLoop().timerCount(), 0u);
}

TEST_F(AUView, ANewViewTakesTheEditorOverAndTheUnitClosesItLast) {
    open();
    auto first = newView();
    auto second = newView();
    EXPECT_EQ(calls.open, 2);
    EXPECT_EQ(calls.close, 1); // the first view's editor, before the second opened
    EXPECT_EQ(unit().EditorView(), second->parentValue());
    first.reset(); // no longer the editor's view: closes nothing
    EXPECT_EQ(calls.close, 1);
    EXPECT_NE(ui().frameForTests(), nullptr);

    // The host closes the unit while the view still shows the editor.
    host.close();
    EXPECT_EQ(calls.close, 2);
    second.reset(); // its unit is gone: nothing to call
    EXPECT_EQ(calls.close, 2);
    runLoop().advance(0.1);
    EXPECT_EQ(runLoop().timerCount(), 0u);
}

// A preset stepped in the hosted editor reaches the unit once the audio
// thread has applied it: the editor's idle pass tells the host, the unit's
// parameter copies and its preset name follow, and a state saved from the
// unit brings the stepped preset back in a fresh one.
TEST_F(AUView, APresetSteppedInTheEditorComesBackFromTheSavedState) {
    open();
    auto view = newView();
    runLoop().advance(1.0); // past the editor's stepping interval
    ASSERT_GE(p().presetCount, 2);
    const std::string stepped = p().presetNames[1].data();
    ASSERT_NE(stepped, p().presetNames[0].data());
    ui().changeProgramDelta(+1, false);
    ASSERT_EQ(p().core.presetIndex, 1);
    for (int guard = 0; guard < 64 && p().getIsSettingPreset(); ++guard)
        ASSERT_EQ(host.render(512), noErr);
    ASSERT_FALSE(p().getIsSettingPreset());
    runLoop().advance(0.1); // the view's timer idles the editor

    auto presentName = [](AUTestHost& h) {
        AUPreset present{};
        EXPECT_EQ(h.get(kAudioUnitProperty_PresentPreset, present), noErr);
        char name[256] = {};
        if (present.presetName) {
            CFStringGetCString(present.presetName, name, sizeof name, kCFStringEncodingUTF8);
            CFRelease(present.presetName);
        }
        return std::string(name);
    };
    std::vector<float> saved(1024);
    int stale = 0;
    for (UInt32 i = 0; i < 1024; ++i) {
        saved[i] = p().getParameter(static_cast<VstInt32>(i));
        float copy = -1.0f;
        ASSERT_EQ(host.getParameter(i, copy), noErr);
        stale += copy != saved[i];
    }
    EXPECT_EQ(stale, 0);
    EXPECT_EQ(presentName(host), stepped);

    CFPropertyListRef state = nullptr;
    ASSERT_EQ(host.get(kAudioUnitProperty_ClassInfo, state), noErr);
    view.reset();

    AUTestHost fresh{{countingEntry, countingFactory}};
    ASSERT_EQ(fresh.open(), noErr);
    ASSERT_EQ(fresh.setMaxFrames(512), noErr);
    ASSERT_EQ(fresh.initialize(), noErr);
    ASSERT_EQ(fresh.set(kAudioUnitProperty_ClassInfo, state), noErr);
    CFRelease(state);
    auto& restored = *static_cast<APlugin*>(
        static_cast<AUPLUGIN*>(static_cast<AUBase*>(fresh.storage()))->Effect());
    for (int guard = 0; guard < 64 && restored.getIsSettingPreset(); ++guard)
        ASSERT_EQ(fresh.render(512), noErr);
    char name[64] = {};
    restored.getProgramName(name);
    EXPECT_EQ(std::string(name), stepped);
    EXPECT_EQ(presentName(fresh), stepped);
    int differ = 0;
    for (UInt32 i = 0; i < 1024; ++i) {
        float copy = -1.0f;
        ASSERT_EQ(fresh.getParameter(i, copy), noErr);
        differ += copy != saved[i] || restored.getParameter(static_cast<VstInt32>(i)) != saved[i];
    }
    EXPECT_EQ(differ, 0);
}
