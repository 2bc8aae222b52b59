// The whole editor driven at random while the audio thread renders: clicks
// with every modifier, drags, the wheel, keys, idle passes and popup menus
// answered at random. Nothing may crash or leak, every parameter must stay
// a finite value in 0..1 and the audio must stay finite.

#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "platform/dialog_service.h"
#include "platform/prefs.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

using namespace VSTGUI;

namespace {

// Thread-safe: answers from constants only, as both threads call it.
VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Picks a random entry that can be chosen, sometimes inside a submenu, or
// dismisses the menu.
class RandomPopups : public IPopupProvider {
public:
    explicit RandomPopups(std::mt19937& rng) : rng(rng) {}
    Result popup(COptionMenu* root, CFrame*, const CPoint&) override {
        ++shown;
        COptionMenu* menu = root;
        for (int depth = 0; depth < 3 && menu; ++depth) {
            const int n = menu->getNbEntries();
            if (n == 0 || pick(8) == 0) return {};
            const int index = pick(n);
            CMenuItem* item = menu->getEntry(index);
            if (!item || item->isSeparator() || !item->isEnabled()) return {};
            if (item->getSubmenu()) {
                menu = item->getSubmenu();
                continue;
            }
            return {menu, index};
        }
        return {};
    }
    int shown = 0;

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    std::mt19937& rng;
};

} // namespace

namespace {

void fuzzEditor(int sizeIndex, int events) {
    TempPrefs prefs;
    if (sizeIndex > 0) saveStringToPrefs(REG_SCREEN_SIZE[sizeIndex], "Y");
    ManualClock clock;
    ScriptedDialogService dialogs; // every file dialog and text box is cancelled
    ScopedDialogService scopedDialogs(dialogs);
    // ONDIX_FUZZ_SEED replays another sequence when looking for trouble.
    const char* seedText = std::getenv("ONDIX_FUZZ_SEED");
    std::mt19937 rng(seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                              : 20261207u);
    RandomPopups popups(rng);
    Testing::setPopupProviderOverride(&popups);

    auto plugin = std::make_unique<APlugin>(quietHost);
    AEffect* effect = plugin->getAeffect();
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    const int64_t liveBefore = Testing::liveObjects();
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, nullptr, 0.0f), 1);
    uEditor& ui = *plugin->getUEditor();
    CFrame* frame = ui.frameForTests();
    ui.showMainScreen();

    std::atomic<bool> stop{false};
    std::atomic<bool> audioFinite{true};
    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        float* outputs[2] = {left.data(), right.data()};
        VstMidiEvent notes[2]{};
        for (int i = 0; i < 2; ++i) {
            notes[i].type = kVstMidiType;
            notes[i].byteSize = sizeof(VstMidiEvent);
            notes[i].midiData[0] = static_cast<char>(0x90);
            notes[i].midiData[1] = static_cast<char>(55 + 7 * i);
            notes[i].midiData[2] = 100;
        }
        struct {
            VstInt32 numEvents = 2;
            VstIntPtr reserved = 0;
            VstEvent* events[2];
        } list;
        list.events[0] = reinterpret_cast<VstEvent*>(&notes[0]);
        list.events[1] = reinterpret_cast<VstEvent*>(&notes[1]);
        effect->dispatcher(effect, effProcessEvents, 0, 0, &list, 0.0f);
        while (!stop.load(std::memory_order_relaxed)) {
            effect->processReplacing(effect, nullptr, outputs, 256);
            for (int i = 0; i < 256; ++i)
                if (!std::isfinite(left[i]) || !std::isfinite(right[i])) audioFinite = false;
        }
    });

    const CRect size = frame->getViewSize();
    auto anyPoint = [&] {
        return CPoint(std::uniform_int_distribution<int>(0, int(size.getWidth()) - 1)(rng),
                      std::uniform_int_distribution<int>(0, int(size.getHeight()) - 1)(rng));
    };
    static constexpr int32_t kModifiers[] = {0,      kShift,          kControl,          kAlt,
                                             kApple, kControl | kAlt, kShift | kControl, 0};
    for (int event = 0; event < events; ++event) {
        frame = ui.frameForTests();
        ASSERT_NE(frame, nullptr);
        const CPoint where = anyPoint();
        const int32_t modifiers = kModifiers[std::uniform_int_distribution<int>(0, 7)(rng)];
        switch (std::uniform_int_distribution<int>(0, 9)(rng)) {
        case 0: // right click: menus
            Testing::click(frame, where, kRButton | modifiers);
            break;
        case 1:
        case 2: { // drag
            Testing::mouseDown(frame, where, kLButton | modifiers);
            CPoint to = where;
            for (int step = 0; step < 4; ++step) {
                to.offset(std::uniform_int_distribution<int>(-40, 40)(rng),
                          std::uniform_int_distribution<int>(-40, 40)(rng));
                Testing::mouseMove(frame, to, kLButton | modifiers);
            }
            Testing::mouseUp(frame, to, kLButton | modifiers);
            break;
        }
        case 3:
            Testing::wheel(frame, where,
                           std::uniform_int_distribution<int>(0, 1)(rng) ? 1.0f : -1.0f, modifiers);
            break;
        case 4: {
            VstKeyCode key{0,
                           static_cast<unsigned char>(
                               std::uniform_int_distribution<int>(VKEY_LEFT, VKEY_PAGEDOWN)(rng)),
                           0};
            Testing::keyDown(frame, key);
            break;
        }
        case 5: // the host automates a parameter from another place
            plugin->setParameterAutomated(std::uniform_int_distribution<int>(1, 996)(rng),
                                          std::uniform_real_distribution<float>(0, 1)(rng));
            break;
        default: // a plain click, then an idle pass
            Testing::click(frame, where, kLButton | modifiers);
            clock.advance(41);
            effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
            break;
        }
    }
    stop = true;
    audio.join();
    Testing::setPopupProviderOverride(nullptr);

    EXPECT_TRUE(audioFinite);
    EXPECT_GT(popups.shown, 20);
    for (int t = 0; t < tag::Count; ++t) {
        const float v = plugin->getParameter(t);
        EXPECT_TRUE(std::isfinite(v) && v >= 0.0f && v <= 1.0f) << "tag " << t << " = " << v;
    }
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(Testing::liveObjects(), liveBefore);
    effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
}

} // namespace

TEST(EditorFuzz, RandomUseWhileTheAudioThreadRenders) {
    fuzzEditor(0, 1500);
}

TEST(EditorFuzz, RandomUseAt150Percent) {
    fuzzEditor(2, 600);
}
