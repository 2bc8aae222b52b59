// The editor object: sizes, preferences, opening and closing the window
// headless, its bitmaps and sub-page containers, and values pushed from the
// audio thread.

#include "core/aplugin.h"
#include "editor/artwork.h"
#include "editor/ueditor.h"
#include "platform/dialog_service.h"
#include "platform/prefs.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <sys/resource.h>

using namespace VSTGUI;

namespace {

struct EditorFixture : ::testing::Test {
    TempPrefs prefs;
    ManualClock clock;
    FakeHost host;
    std::unique_ptr<APlugin> plugin;

    void make() { plugin = std::make_unique<APlugin>(FakeHost::callback); }
    uEditor& ui() { return *plugin->getUEditor(); }
    ERect rect() {
        ERect* r = nullptr;
        EXPECT_TRUE(ui().getRect(&r));
        return r ? *r : ERect{};
    }
    VstIntPtr dispatch(VstInt32 opcode, void* ptr = nullptr) {
        AEffect* e = plugin->getAeffect();
        return e->dispatcher(e, opcode, 0, 0, ptr, 0.0f);
    }
};

constexpr int kSubPageX[5] = {582, 855, 24, 24, 849};
constexpr int kSubPageY[5] = {266, 348, 454, 547, 541};
constexpr int kSubPageBitmap[5] = {10020, 10022, 10024, 10025, 10026};

} // namespace

// ------------------------------------------------------------------ sizes

TEST_F(EditorFixture, SizeComesFromTheLastSwitchedOnPreference) {
    make();
    EXPECT_EQ(ui().getSizeIndex(), 0);
    EXPECT_EQ(rect().right, 1132);
    EXPECT_EQ(rect().bottom, 779);

    saveStringToPrefs("Big150", "Y");
    make();
    EXPECT_EQ(rect().right, 1698);
    EXPECT_EQ(rect().bottom, 1168);

    saveStringToPrefs("Big125", "Y");
    saveStringToPrefs("Big200", "Y");
    make();
    EXPECT_EQ(ui().getSizeIndex(), 3);
    EXPECT_EQ(rect().right, 2264);
    EXPECT_EQ(rect().bottom, 1558);

    // Only "Y" switches a size on.
    saveStringToPrefs("Big125", "N");
    saveStringToPrefs("Big150", "N");
    saveStringToPrefs("Big200", "Yes");
    make();
    EXPECT_EQ(ui().getSizeIndex(), 0);
    saveStringToPrefs("Big125", "y");
    make();
    EXPECT_EQ(ui().getSizeIndex(), 0);
    saveStringToPrefs("Big125", "Y");
    make();
    EXPECT_EQ(rect().right, 1415);
    EXPECT_EQ(rect().bottom, 973);
}

TEST_F(EditorFixture, ScalingAddsOffsetsOnlyAboveTheDesignSize) {
    make();
    EXPECT_EQ(ui().getScaled(24, 5, 5, 5), 24);
    EXPECT_EQ(ui().getScaled(24.9f, 1, 2, 3), 24);
    EXPECT_EQ(ui().getScaledBitmap(10040), 10040);
    saveStringToPrefs("Big150", "Y");
    make();
    EXPECT_EQ(ui().getScaled(24, 0, 0, 0), 36);
    EXPECT_EQ(ui().getScaled(24, 1, 2, 3), 38);
    EXPECT_EQ(ui().getScaled(3, 0, 0, 0), 4); // 4.5 truncated
    EXPECT_EQ(ui().getScaledBitmap(10040), 12040);
}

TEST_F(EditorFixture, SwitchPreferencesReadWithTheirDefaults) {
    EXPECT_TRUE(uEditor::getRegValue("Keyboard", true));
    EXPECT_FALSE(uEditor::getRegValue("DecaySustain", false));
    saveStringToPrefs("Keyboard", "Yes");
    saveStringToPrefs("DecaySustain", "y");
    EXPECT_TRUE(uEditor::getRegValue("Keyboard", true));       // only "N" turns it off
    EXPECT_FALSE(uEditor::getRegValue("DecaySustain", false)); // only "Y" turns it on
    uEditor::setRegOff("Keyboard");
    uEditor::setRegOn("DecaySustain");
    EXPECT_FALSE(uEditor::getRegValue("Keyboard", true));
    EXPECT_TRUE(uEditor::getRegValue("DecaySustain", false));
    std::string stored;
    loadStringFromPrefs("DecaySustain", stored, 127);
    EXPECT_EQ(stored, "Y");
}

TEST_F(EditorFixture, ASettingsFileThatCannotBeReadIsToldOnceWhenTheEditorOpens) {
    // A folder where the file should be: unreadable to every user, root too.
    std::filesystem::create_directory(prefsOwnFilePath());
    make();
    ScriptedDialogService dialogs;
    ScopedDialogService scoped(dialogs);
    for (int opening = 0; opening < 2; ++opening) {
        ASSERT_EQ(dispatch(effEditOpen), 1);
        for (int pass = 0; pass < 3; ++pass) {
            clock.advance(40);
            dispatch(effEditIdle);
        }
        dispatch(effEditClose);
    }
    ASSERT_EQ(dialogs.alertRequests.size(), 1u);
    EXPECT_NE(dialogs.alertRequests[0].header.find(prefsOwnFilePath()), std::string::npos);
    EXPECT_NE(dialogs.alertRequests[0].header.find("cannot be read"), std::string::npos);
}

// A save that cannot write the file, made on another thread, is told at the
// editor's next pass: once for each reason, and again after a save stored.
TEST_F(EditorFixture, ASaveThatFailsIsToldInTheEditorOnceForEachReason) {
    make();
    const std::string own = prefsOwnFilePath();
    rlimit unlimited{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const rlimit small{64, unlimited.rlim_max};
    ::signal(SIGXFSZ, SIG_IGN); // as a host that wants to hear of a file too large does
    using Act = std::function<void()>;
    const std::vector<std::tuple<const char*, Act, Act>> ways = {
        {"File too large", [&] { ::setrlimit(RLIMIT_FSIZE, &small); },
         [&] { ::setrlimit(RLIMIT_FSIZE, &unlimited); }},
        {"No such file or directory", // a link into a folder that is gone
         [&] {
             std::filesystem::rename(own, own + ".kept");
             std::filesystem::create_symlink("gone/settings.prefs", own);
         },
         [&] { std::filesystem::rename(own + ".kept", own); }},
    };
    ScriptedDialogService dialogs;
    ScopedDialogService scoped(dialogs);
    ASSERT_EQ(dispatch(effEditOpen), 1);
    for (int round = 0; round < 2; ++round)
        for (const auto& [reason, breakIt, mendIt] : ways) {
            SCOPED_TRACE(reason);
            dialogs.alertRequests.clear();
            breakIt();
            for (int save = 0; save < 3; ++save)
                std::thread([save] { saveIntToPrefs("Tried", save); }).join();
            mendIt();
            for (int pass = 0; pass < 3; ++pass) {
                clock.advance(40);
                dispatch(effEditIdle);
            }
            ASSERT_EQ(dialogs.alertRequests.size(), 1u);
            const std::string& told = dialogs.alertRequests[0].header;
            for (const std::string& part :
                 {std::string("cannot be saved"), std::string(reason), own})
                EXPECT_NE(told.find(part), std::string::npos) << told;
            EXPECT_TRUE(saveIntToPrefsChecked("Tried", 3));
        }
    dispatch(effEditClose);
    ::signal(SIGXFSZ, SIG_DFL);
}

TEST_F(EditorFixture, ChoosingASizeTellsTheUserAndKeepsTheOpenWindow) {
    make();
    ScriptedDialogService dialogs;
    ScopedDialogService scoped(dialogs);
    ASSERT_EQ(dispatch(effEditOpen), 1);
    ui().setScreenSize(2);
    ASSERT_EQ(dialogs.alertRequests.size(), 1u);
    EXPECT_EQ(dialogs.alertRequests[0].header,
              "When you next open Ondix, it'll open in 150% Screen Mode");
    EXPECT_TRUE(dialogs.alertRequests[0].alternateButton.empty());
    int on = 0;
    for (const char* key : REG_SCREEN_SIZE) on += getRegisterIsOn(key, false) ? 1 : 0;
    EXPECT_EQ(on, 1);
    EXPECT_TRUE(getRegisterIsOn("Big150", false));
    EXPECT_EQ(rect().right, 1132); // this instance keeps its size
    EXPECT_EQ(ui().frameForTests()->getViewSize().getWidth(), 1132);
    dispatch(effEditClose);

    make(); // the next instance opens at 150 %
    EXPECT_EQ(rect().right, 1698);
}

// ------------------------------------------------------------------ opening and closing

TEST_F(EditorFixture, HeadlessOpenBuildsTheWindowOnTheBackScreen) {
    saveStringToPrefs("Big125", "Y");
    make();
    ASSERT_EQ(dispatch(effEditOpen), 1);
    EXPECT_TRUE(ui().isOpen());
    EXPECT_TRUE(ui().getEditorFinishedOpening());
    EXPECT_TRUE(plugin->core.editorOpened);
    EXPECT_FALSE(plugin->core.editorOpening);
    EXPECT_EQ(ui().getScreenCode(), SCREEN_BACK);

    CFrame* frame = ui().frameForTests();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isHeadless());
    EXPECT_EQ(frame->getViewSize(), CRect(0, 0, 1415, 973));
    EXPECT_EQ(frame->getBackground(), ui().getBitmap(10003));

    // The 47 bitmaps, at 125 %.
    for (int id : ondix::artwork::designIds()) {
        CBitmap* b = ui().getBitmap(id);
        ASSERT_NE(b, nullptr) << id;
        EXPECT_EQ(b->getResourceDescription().id, id + 1000) << id;
        const auto size = ondix::artwork::bitmapSize(id, 1);
        EXPECT_EQ(b->getWidth(), size.width) << id;
        EXPECT_EQ(b->getHeight(), size.height) << id;
    }

    // The five containers at their scaled design positions, sized by
    // their bitmaps.
    for (int i = 0; i < uEditor::kSubPageCount; ++i) {
        CViewContainer* page = ui().getSubPage(static_cast<uEditor::SubPage>(i));
        ASSERT_NE(page, nullptr);
        const auto size = ondix::artwork::bitmapSize(kSubPageBitmap[i], 1);
        const CRect expected(static_cast<int>(kSubPageX[i] * 1.25f),
                             static_cast<int>(kSubPageY[i] * 1.25f),
                             static_cast<int>(kSubPageX[i] * 1.25f) + size.width,
                             static_cast<int>(kSubPageY[i] * 1.25f) + size.height);
        EXPECT_EQ(page->getViewSize(), expected) << i;
    }

    // The first idle pass paints the back screen's artwork.
    clock.advance(40);
    dispatch(effEditIdle);
    cairo_surface_t* back = ui().getBitmap(10003)->getSurface();
    for (auto [x, y] : {std::pair{10, 10}, std::pair{700, 400}, std::pair{1400, 960}})
        EXPECT_EQ(Testing::pixelAt(frame, x, y), Testing::pixelAt(back, x, y)) << x << "," << y;
    dispatch(effEditClose);
}

TEST_F(EditorFixture, ReopeningBuildsAFreshWindowAndLeavesNothingBehind) {
    make();
    const int64_t before = Testing::liveObjects();
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(dispatch(effEditOpen), 1);
        CFrame* frame = ui().frameForTests();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(ui().getScreenCode(), SCREEN_BACK);
        EXPECT_GT(Testing::liveObjects(), before);
        dispatch(effEditClose);
        EXPECT_EQ(Testing::liveObjects(), before) << "round " << round;
        EXPECT_FALSE(ui().isOpen());
        EXPECT_EQ(ui().frameForTests(), nullptr);
        EXPECT_EQ(ui().getBitmap(10000), nullptr);
        for (int i = 0; i < uEditor::kSubPageCount; ++i)
            EXPECT_EQ(ui().getSubPage(static_cast<uEditor::SubPage>(i)), nullptr);
        EXPECT_FALSE(plugin->core.editorOpened);
    }
    dispatch(effEditClose); // a second close does no harm

    // Opening twice without closing starts afresh.
    ASSERT_EQ(dispatch(effEditOpen), 1);
    ASSERT_EQ(dispatch(effEditOpen), 1);
    dispatch(effEditClose);
    EXPECT_EQ(Testing::liveObjects(), before);
}

TEST_F(EditorFixture, MainScreenHoldsTheSubPagesAndCloseDetachesThem) {
    make();
    const int64_t before = Testing::liveObjects();
    ASSERT_EQ(dispatch(effEditOpen), 1);
    ui().showMainScreen();
    CFrame* frame = ui().frameForTests();
    EXPECT_EQ(ui().getScreenCode(), SCREEN_MAIN_ARP);
    EXPECT_EQ(frame->getBackground(), ui().getBitmap(10000));
    for (int i = 0; i < uEditor::kSubPageCount; ++i)
        EXPECT_TRUE(frame->isChild(ui().getSubPage(static_cast<uEditor::SubPage>(i))));
    clock.advance(40);
    dispatch(effEditIdle);

    // Back and forth: the containers are moved, never released.
    ui().showBackScreen(false);
    for (int i = 0; i < uEditor::kSubPageCount; ++i)
        EXPECT_FALSE(frame->isChild(ui().getSubPage(static_cast<uEditor::SubPage>(i))));
    ui().showMainScreen();
    for (int i = 0; i < uEditor::kSubPageCount; ++i)
        EXPECT_TRUE(frame->isChild(ui().getSubPage(static_cast<uEditor::SubPage>(i))));

    dispatch(effEditClose); // with the containers still in the frame
    EXPECT_EQ(Testing::liveObjects(), before);
}

TEST_F(EditorFixture, DestroyingThePluginWithTheWindowOpenClosesIt) {
    make();
    const int64_t before = Testing::liveObjects();
    ASSERT_EQ(dispatch(effEditOpen), 1);
    plugin.reset();
    EXPECT_EQ(Testing::liveObjects(), before);
}

TEST_F(EditorFixture, CloseForgetsTheEditedControlAndTheDragSource) {
    make();
    ASSERT_EQ(dispatch(effEditOpen), 1);
    ui().setEditTag(-1);
    EXPECT_EQ(ui().getEditControl(), nullptr);
    ui().setEditTag(0); // no control has it: unchanged
    EXPECT_EQ(ui().getEditControl(), nullptr);
    ui().setEditTag(5); // the amplifier envelope's decay knob
    EXPECT_NE(ui().getEditControl(), nullptr);
    dispatch(effEditClose);
    EXPECT_EQ(ui().getEditControl(), nullptr);
}

// ------------------------------------------------------------------ values from the plug-in

TEST_F(EditorFixture, ValuesFromTheAudioThreadWaitForTheIdlePass) {
    make();
    plugin->setParameter(tag::FilterFreq, 0.25f);
    ASSERT_EQ(dispatch(effEditOpen), 1);
    EXPECT_FLOAT_EQ(ui().shownValue(tag::FilterFreq), 0.25f);

    std::thread audio([&] {
        for (int i = 1; i <= 1000; ++i) plugin->setParameter(tag::FilterFreq, i / 1000.0f);
        plugin->updateEditorScreen();
        ui().updateXY();
    });
    audio.join();
    EXPECT_FLOAT_EQ(ui().shownValue(tag::FilterFreq), 0.25f); // recorded only
    EXPECT_TRUE(ui().isRebuildRequested());

    dispatch(effEditIdle); // rate-limited: less than 40 ms since opening
    EXPECT_FLOAT_EQ(ui().shownValue(tag::FilterFreq), 0.25f);
    clock.advance(40);
    dispatch(effEditIdle);
    EXPECT_FLOAT_EQ(ui().shownValue(tag::FilterFreq), 1.0f); // the last value wins
    EXPECT_FALSE(ui().isRebuildRequested());
    EXPECT_EQ(ui().getScreenCode(), SCREEN_BACK); // a rebuild of the back screen is dropped

    dispatch(effEditClose);
    plugin->setParameter(tag::FilterFreq, 0.5f); // closed: not recorded
    ui().setParameter(tag::FilterFreq, 0.5f);
    ASSERT_EQ(dispatch(effEditOpen), 1);
    EXPECT_FLOAT_EQ(ui().shownValue(tag::FilterFreq), 0.5f); // read when opening
    dispatch(effEditClose);
}
