// The free LFO and free envelope menus: titles and destination lists, the
// selected one against the other, both, clipboard and undo, and assigning
// the selected one to the first free matrix slot.

#include "core/vocabulary.h"
#include "section_menu_fixture.h"

#include <functional>
#include <tuple>
#include <vector>

namespace {

constexpr int kLfo = 2;
constexpr int kEnv = 1;

const std::vector<int> kLfo1 = {63, 64, 251, 252};
const std::vector<int> kLfo2 = {65, 66, 253, 254};
const std::vector<int> kEnv1 = {51, 52, 53, 54, 55, 56};
const std::vector<int> kEnv2 = {57, 58, 59, 60, 61, 62};

std::vector<int> join(const std::vector<int>& a, const std::vector<int>& b) {
    std::vector<int> out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

struct FreeModMenu : SectionMenuTest {
    void menu(int kind, int index, std::vector<std::string> path) {
        next(std::move(path));
        ui().showFreeMod(kind, index);
    }
    // Slots 0..used-1 get a destination; the rest none.
    void useSlots(int used) {
        for (int s = 0; s < tag::ModSlotCount; ++s)
            p().setModSlotVar(s, false, 0.25f, s < used ? 1 : 0, s < used ? 10 + s : 0);
    }
};

} // namespace

TEST_F(FreeModMenu, TitlesAndDestinationListsFollowTheSelection) {
    menu(kLfo, 0, {});
    const std::vector<std::string> lfo = lastTitles();
    ASSERT_EQ(lfo.size(), 27u);
    EXPECT_EQ(lfo[0], "Free LFO 1 Command Menu");
    EXPECT_FALSE(lastLines()[0].enabled);
    EXPECT_EQ(std::vector<std::string>(lfo.begin() + 2, lfo.begin() + 11),
              (std::vector<std::string>{"Reset Selected LFO", "Reset Both LFOs",
                                        "Set Selected LFO to Original Settings",
                                        "Set Both LFOs to Original Settings", "Copy LFO to Other",
                                        "Swap LFOs", "Copy LFOs", "Paste LFOs", "Undo"}));
    EXPECT_EQ(lfo[12], "Set Free LFO 1 To Destination");
    EXPECT_FALSE(lastLines()[12].enabled);
    EXPECT_EQ(lfo[14], "None");
    for (int g = 0; g < 12; ++g) {
        EXPECT_EQ(lfo[15 + static_cast<size_t>(g)], DEST_SUB_STR[static_cast<size_t>(g)]);
        EXPECT_TRUE(lastLines()[15 + static_cast<size_t>(g)].hasSubmenu);
    }
    // The twelve groups list destinations 1..221 once each, in order.
    std::vector<std::string> listed;
    for (const auto& sub : popups.history().back().submenus)
        for (const auto& line : sub) listed.push_back(line.title);
    ASSERT_EQ(listed.size(), 221u);
    for (int d = 1; d <= 221; ++d) EXPECT_EQ(listed[static_cast<size_t>(d - 1)], DEST_STR[d]);

    menu(kEnv, 1, {});
    EXPECT_EQ(lastTitles()[0], "Free Envelope 2 Command Menu");
    EXPECT_FALSE(lastLines()[0].enabled);
    EXPECT_EQ(lastTitles()[2], "Reset Selected Envelope");
    EXPECT_EQ(lastTitles()[10], "Undo");
    EXPECT_EQ(lastTitles()[12], "Set Free Envelope 2 To Destination");
    EXPECT_FALSE(p().core.popupOpen);
}

TEST_F(FreeModMenu, CopyToOtherAndSwapWorkFromEitherSide) {
    scramble(join(kLfo1, kLfo2));
    const std::vector<float> lfo1 = values(kLfo1);
    const std::vector<float> lfo2 = values(kLfo2);
    menu(kLfo, 1, {"Copy LFO to Other"});
    EXPECT_EQ(values(kLfo1), lfo2);
    EXPECT_EQ(values(kLfo2), lfo2);
    menu(kLfo, 1, {"Undo"});
    EXPECT_EQ(values(kLfo1), lfo1);

    scramble(join(kEnv1, kEnv2));
    const std::vector<float> env1 = values(kEnv1);
    const std::vector<float> env2 = values(kEnv2);
    host.clearLog();
    menu(kEnv, 0, {"Swap Envelopes"});
    EXPECT_EQ(values(kEnv1), env2);
    EXPECT_EQ(values(kEnv2), env1);
    EXPECT_EQ(automated(), 0u);
    // Undo restores every tag, fade and sync included.
    menu(kEnv, 0, {"Undo"});
    EXPECT_EQ(values(kEnv1), env1);
    EXPECT_EQ(values(kEnv2), env2);

    menu(kEnv, 1, {"Copy Envelope to Other"});
    EXPECT_EQ(values(kEnv1), env2);
}

TEST_F(FreeModMenu, ResetsAndOriginalsTouchTheSelectedOneOrBoth) {
    const std::vector<int> lfos = join(kLfo1, kLfo2);
    scramble(lfos, 0.3f);
    p().setParameter(tag::TakeOver, 1.0f);
    const std::vector<float> loaded1 = values(kLfo1);
    const std::vector<float> loaded2 = values(kLfo2);

    scramble(lfos, 0.6f);
    const std::vector<float> changed2 = values(kLfo2);
    host.clearLog();
    menu(kLfo, 0, {"Set Selected LFO to Original Settings"});
    EXPECT_EQ(values(kLfo1), loaded1);
    EXPECT_EQ(values(kLfo2), changed2);
    EXPECT_EQ(automated(), 4u);
    menu(kLfo, 0, {"Set Both LFOs to Original Settings"});
    EXPECT_EQ(values(kLfo2), loaded2);

    menu(kLfo, 1, {"Reset Selected LFO"});
    for (int t : kLfo2) EXPECT_FLOAT_EQ(p().getParameter(t), p().getDefaultValue(t));
    EXPECT_EQ(values(kLfo1), loaded1);
    menu(kLfo, 1, {"Undo"});
    EXPECT_EQ(values(kLfo2), loaded2);

    const std::vector<int> envs = join(kEnv1, kEnv2);
    scramble(envs);
    const std::vector<float> envBefore = values(envs);
    menu(kEnv, 1, {"Reset Both Envelopes"});
    for (int t : envs) EXPECT_FLOAT_EQ(p().getParameter(t), p().getDefaultValue(t));
    menu(kEnv, 1, {"Undo"});
    EXPECT_EQ(values(envs), envBefore);

    // Dismissing takes a new snapshot: Undo then keeps the defaults.
    menu(kEnv, 0, {"Reset Both Envelopes"});
    menu(kEnv, 0, {});
    menu(kEnv, 0, {"Undo"});
    for (int t : envs) EXPECT_FLOAT_EQ(p().getParameter(t), p().getDefaultValue(t));
}

// A snapshot taken elsewhere after the menu's own (the envelope menu, an
// envelope screen's edit) holds no fade or sync values: Undo then leaves them
// as they are rather than bringing back the older ones.
TEST_F(FreeModMenu, UndoAfterANewerEnvelopeSnapshotKeepsFadeAndSync) {
    // fade 1, sync 1 (a switch), fade 2, sync 2: old and new values
    const std::vector<std::tuple<int, float, float>> fadeSync = {
        {54, 0.3f, 0.8f}, {56, 0.0f, 1.0f}, {60, 0.3f, 0.8f}, {62, 0.0f, 1.0f}};
    const std::vector<std::function<void()>> newerSnapshots = {[this] {
                                                                   next({});
                                                                   ui().showEnvMenu(0);
                                                               },
                                                               [this] { ui().setEnvUndo(); }};
    for (const auto& takeSnapshot : newerSnapshots) {
        for (const auto& [t, old, now] : fadeSync) p().setParameter(t, old);
        menu(kEnv, 0, {}); // the menu's snapshot, fade and sync included
        for (const auto& [t, old, now] : fadeSync) p().setParameter(t, now);
        takeSnapshot();
        menu(kEnv, 0, {"Undo"});
        for (const auto& [t, old, now] : fadeSync)
            EXPECT_FLOAT_EQ(p().getParameter(t), now) << "tag " << t;
    }
}

TEST_F(FreeModMenu, ClipboardsPasteOnlyWhatWasCopied) {
    const std::vector<int> envs = join(kEnv1, kEnv2);
    const std::vector<int> lfos = join(kLfo1, kLfo2);
    scramble(envs);
    scramble(lfos);
    const std::vector<float> envBefore = values(envs);
    const std::vector<float> lfoBefore = values(lfos);
    menu(kEnv, 0, {"Paste Envelopes"});
    menu(kLfo, 0, {"Paste LFOs"});
    EXPECT_EQ(values(envs), envBefore);
    EXPECT_EQ(values(lfos), lfoBefore);

    // Copying the LFOs fills no envelope clipboard.
    menu(kLfo, 0, {"Copy LFOs"});
    menu(kEnv, 1, {"Paste Envelopes"});
    EXPECT_EQ(values(envs), envBefore);

    menu(kEnv, 1, {"Copy Envelopes"});
    scramble(envs, 0.5f);
    scramble(lfos, 0.5f);
    host.clearLog();
    menu(kEnv, 0, {"Paste Envelopes"}); // the other menu pastes both all the same
    menu(kLfo, 1, {"Paste LFOs"});
    EXPECT_EQ(values(envs), envBefore);
    EXPECT_EQ(values(lfos), lfoBefore);
    EXPECT_EQ(automated(), 0u);
}

TEST_F(FreeModMenu, DestinationGoesToTheFirstFreeSlot) {
    const int cutoff = 74; // "Filter Frequency", first of the filter group
    ASSERT_STREQ(DEST_STR[cutoff], "Filter Frequency");
    const struct {
        int kind, index, source;
    } cases[] = {{kLfo, 0, 49}, {kLfo, 1, 51}, {kEnv, 0, 43}, {kEnv, 1, 45}};
    for (const auto& c : cases) {
        useSlots(5);
        const std::vector<float> lfos = values(join(kLfo1, kLfo2));
        menu(c.kind, c.index, {DEST_SUB_STR[3], DEST_STR[cutoff]});
        EXPECT_EQ(p().getModSlotDest(5), cutoff) << c.source;
        EXPECT_EQ(p().getModSlotSrc(5), c.source);
        EXPECT_FLOAT_EQ(p().getModSlotAmt(5), 1.0f);
        EXPECT_FALSE(p().getModSlotBypass(5));
        EXPECT_EQ(p().getModSlotDest(6), 0);
        EXPECT_EQ(p().getModSlotDest(4), 14); // the used slots keep theirs
        EXPECT_EQ(values(join(kLfo1, kLfo2)), lfos);
    }

    // A full matrix takes nothing; "None" assigns nothing.
    const std::vector<int> matrix = {279, 280, 281, 282, 283, 284, 285, 286, 287,
                                     288, 289, 290, 267, 278, 67,  78,  255, 266};
    useSlots(12);
    const std::vector<float> full = values(matrix);
    menu(kLfo, 0, {DEST_SUB_STR[3], DEST_STR[cutoff]});
    menu(kEnv, 1, {DEST_SUB_STR[11], DEST_STR[221]});
    EXPECT_EQ(values(matrix), full);
    useSlots(0);
    menu(kLfo, 0, {"None"});
    for (int s = 0; s < tag::ModSlotCount; ++s) EXPECT_EQ(p().getModSlotDest(s), 0);
}
