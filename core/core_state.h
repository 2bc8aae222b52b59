// State of the plug-in core: parameter value copies, the program store, the
// request flags shared with the audio thread and the editor, and what the
// plug-in learned about its host.
#pragma once

#include "core/atomic_value.h"
#include "core/preset_store.h"
#include "core/program.h"
#include "core/tags.h"
#include "platform/file_worker.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <vector>

// Every value of a tag exists in several copies.
struct ParamValues {
    std::array<float, tag::Count> origValue{}; // as loaded or taken over; tracked only above -0.5
    std::array<float, tag::Count> editValue{}; // last written through setParameter
    std::array<float, tag::Count> lastEditValue{}; // at the last tracked edit
    std::array<float, tag::Count> currentValue{};  // what the engine and the editor read, 0..1
    std::array<float, tag::Count> lockedValue{};   // held copy of a locked section's tags
};

// One folder of the preset browser: a name and up to 256 preset names.
struct TPresetFolder {
    static constexpr std::size_t kMaxFolders = 256; // folders recorded of a list
    static constexpr std::size_t kMaxPresets = 256; // names recorded per folder
    std::string name;
    std::vector<std::string> presets;
};

// The hosts whose product or vendor strings change the plug-in's behaviour.
struct HostFlags {
    bool hostIsReaper = false; // product "REAPER": state as chunks
    bool hostIsNKS = false;    // product "KOMPLETE..." or "MASCHINE...": chunks, NKS properties
    bool hostIsOwn = false;    // our own offline host: chunks
    bool hostIsProp = false;   // vendor "PROP...": chunks, preset chunks too
    bool exchangesChunks() const { return hostIsReaper || hostIsNKS || hostIsOwn || hostIsProp; }
};

// Folders the plug-in reads and writes its files in, from the preferences.
struct FolderPaths {
    std::string ecsDir;            // controller map files
    std::string xyPresetDir;       // XY pad presets
    std::string arpPresetDir;      // arpeggiator presets
    std::string modPresetDir;      // modulation-matrix presets
    std::string envelopePresetDir; // envelope presets
    std::string presetDir;         // user presets
    std::string wavePresetDir;     // user-wave files
    std::string sampleDir;         // sample import
    std::string helpPath;          // the manual
    std::string tuningDir;         // tuning files
};

// The jobs of the plug-in's file worker.
namespace filejob {
constexpr std::uint32_t RestoredTuning = 1u << 0;     // the file a restored state names
constexpr std::uint32_t TuningTags = 1u << 1;         // the tuning switch or name was written
constexpr std::uint32_t LearnedControllers = 1u << 2; // store controllers learned since
} // namespace filejob

// What a preset application is for. A state the host restores (a chunk, or
// tag 997 after the values one by one) comes back exactly as it was saved; a
// preset the user chooses from the list starts clean: values within 0..1,
// the arpeggiator's latch and key entry and the XY recording off.
enum PresetLoad : int { kPresetNone = 0, kPresetRestore = 1, kPresetChosen = 2 };

// A request that the audio thread apply the program record, with its kind;
// a later request replaces an earlier one that has not been taken yet. The
// release and acquire order makes the record written before the request
// visible to the application that takes it.
//
// A thread that rewrites the record for a request (a restored state, a
// chosen preset) makes the request when it begins: from then on the engine
// waits (its MIDI events too: APlugin::processMidi), and a request of the
// other kind still waiting is replaced before any value of the new record is
// written. No application takes the request until every rewrite has ended,
// so none runs on a record half written, nor on one meant for the other kind.
class PresetRequest {
public:
    PresetRequest() = default;
    PresetRequest(const PresetRequest&) = delete;
    PresetRequest& operator=(const PresetRequest&) = delete;
    // Sequentially consistent: a block that begins after a rewrite began
    // sees the request at its first frame (APlugin::RecordRewrite).
    bool get() const { return state.load(std::memory_order_seq_cst) != kPresetNone; }
    operator bool() const { return get(); }
    // A thread is rewriting the record for the request (sequentially
    // consistent, as get()).
    bool rewriting() const { return state.load(std::memory_order_seq_cst) >= kRewrite; }
    void set(PresetLoad load = kPresetRestore) { replaceKind(load, 0, std::memory_order_release); }
    void clear() { replaceKind(kPresetNone, 0, std::memory_order_relaxed); }
    // A rewrite of the record for a request of this kind begins, and ends.
    void beginRewrite(PresetLoad load) { replaceKind(load, kRewrite, std::memory_order_seq_cst); }
    void endRewrite() { state.fetch_sub(kRewrite, std::memory_order_release); }
    // The pending request, now taken (kPresetNone when there was none, or
    // while the record is being rewritten for it).
    PresetLoad take() {
        int seen = state.load(std::memory_order_relaxed);
        while (seen != kPresetNone && seen < kRewrite)
            if (state.compare_exchange_weak(seen, kPresetNone, std::memory_order_acquire,
                                            std::memory_order_relaxed))
                return static_cast<PresetLoad>(seen);
        return kPresetNone;
    }

private:
    static constexpr int kKindMask = 3;
    static constexpr int kRewrite = 4;
    void replaceKind(PresetLoad load, int rewrites, std::memory_order order) {
        int seen = state.load(std::memory_order_relaxed);
        while (!state.compare_exchange_weak(seen, ((seen & ~kKindMask) + rewrites) | load, order,
                                            std::memory_order_relaxed)) {
        }
    }
    std::atomic<int> state{kPresetNone}; // the kind, plus kRewrite per rewrite in progress
};

struct CoreState {
    ParamValues values;
    std::array<ProgramRecord, 1> programStore{}; // indexed by the current program, always 0
    std::array<std::atomic<int>, 3> lockState{}; // 1 Play, 2 Arp: 0 unlocked, 1 locked
    // Counts the writes of values the engine reads (current, locked and stored
    // values, lock states): the render loop's rare tick skips its work while
    // the count stands. Bumped after the values are stored.
    std::atomic<uint32_t> valueChanges{0};
    void valuesChanged() { valueChanges.fetch_add(1, std::memory_order_release); }

    HostFlags host;

    Flag editChanged;            // the loaded preset has been edited
    PresetRequest presetPending; // the stored program waits to be applied
    Flag settingPreset;          // the audio thread is applying it
    Flag screenUpdatePending;    // the editor screen must be rebuilt at the next slow tick
    Flag popupOpen;              // an editor popup menu or input box is up
    Flag editorOpening;          // uEditor::open is running
    Flag editorOpened;           // the editor has finished opening
    Flag previewPlay;            // the oscillators play the wave-shaper preview
    // Many values changed without the host being told one by one (a preset
    // applied, an editor command): the main thread tells it. Set with
    // release after the values are written, taken with acquire.
    std::atomic<bool> hostDisplayDue{false};
    // The play mode or the Arp switch was written since the audio thread's
    // last mode check (agreePlayModeAfterWrites).
    std::atomic<bool> playModeWritten{false};
    std::atomic<bool> arpSwitchWritten{false};
    // The play mode step the arpeggiator was chosen from, however it was
    // chosen (the switch, the play mode, a preset): turning the switch off
    // goes back to it. Never the arpeggiator itself.
    std::atomic<int> savedPlayMode{0};

    std::atomic<int> presetIndex{0}; // current entry of the preset list (both threads set it)
    // The plug-in's own thread for file work that other threads post.
    FileWorker worker;
    // Counted up as a block starts and as it ends, so odd while one is
    // rendered: a rewrite of the program record lets the block in flight
    // finish (APlugin::RecordRewrite).
    std::atomic<uint32_t> renderPasses{0};
    FolderPaths folders;

    std::vector<PresetEntry> presetEntries;   // the preset list (main thread)
    std::set<std::string> refusedPresetsTold; // paths whose refusal was shown (main thread)
    std::vector<TPresetFolder> presetFolders; // the list's folders, in list order
};
