// Plug-in entry, construction and destruction of APlugin, host detection.

#include "core/aplugin.h"

#include "editor/ueditor.h"
#include "platform/prefs.h"

#include <cstring>
#include <ctime>
#include <new>

namespace {

constexpr VstInt32 kUniqueId = vstFourCC('O', 'N', 'D', 'P');
constexpr int kNumPrograms = 1;
constexpr int kNumParams = tag::Count;

// Product string of our own offline host (tools/host), upper-cased.
constexpr const char* kOwnHostProduct = "ONDIX-HOST";

// Set when construction ran out of memory in a way that did not throw.
// Nothing sets it today; the entry still honours it.
bool oome = false;

// Upper-cases ASCII letters only, whatever the locale.
void upperCaseAscii(char* text) {
    for (; *text; ++text)
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
}

} // namespace

AEffect* ondixPluginEntry(audioMasterCallback audioMaster) noexcept {
    if (!audioMaster) return nullptr;
    if (audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    AudioEffect* effect = nullptr;
    try {
        effect = createEffectInstance(audioMaster);
    } catch (...) {
        return nullptr; // the host gets no effect rather than an exception
    }
    if (!effect) return nullptr;
    if (oome) {
        delete effect;
        return nullptr;
    }
    return effect->getAeffect();
}

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
    return new APlugin(audioMaster);
}

APlugin::APlugin(audioMasterCallback audioMaster)
    : AudioEffectX(audioMaster, kNumPrograms, kNumParams), params(ParamTable::get()) {
    // The members are built by now: preset folders, sample reader, delays
    // (at 44.1 kHz), reverb, zeroed program store, no host time yet.

    isSynth(true);
    core.editorOpening.clear();
    core.editorOpened.clear();
    suspend();
    new uEditor(this); // registers itself as this effect's editor
    engine.random.setSeed(static_cast<uint32_t>(std::clock()));
    engine.midiEventQueue.pending = 0;
    setNumInputs(2);
    setNumOutputs(2);
    canProcessReplacing(true);
    detectHostAndChunks();
    setUniqueID(kUniqueId);
    engine.midiEventQueue.reset();
    core.editChanged.clear();
    initVariables();
    loadFirstPreset();
    updateEditorScreen();
    fillSampleConvertTables();
    setProgram(0);
    // From here on the file work that other threads post has a thread.
    core.worker.start([this](std::uint32_t jobs) { serveFileJobs(jobs); });
}

// Members go in reverse order; the base deletes the editor last.
APlugin::~APlugin() {
    // The editor reads the plug-in while its window goes away.
    if (editor && editor->isOpen()) editor->close();
    // The file work posted so far is done (a tuning read that a file system
    // does not answer within the worker's stop limit ends alone), and a
    // controller learned since the last store (with no editor open, say) is
    // stored.
    core.worker.stop();
    flushLearnedControllers();
    // Settings that waited for another process's lock get a last try.
    finishPrefsSaves();
}

// File worker: the jobs other threads posted.
void APlugin::serveFileJobs(std::uint32_t jobs) {
    if (jobs & (filejob::RestoredTuning | filejob::TuningTags))
        readTuning((jobs & filejob::RestoredTuning) != 0);
    if (jobs & filejob::LearnedControllers) flushLearnedControllers();
}

HostFlags APlugin::detectHost(const char* productIn, const char* vendorIn) {
    char product[256] = {};
    char vendor[256] = {};
    if (productIn) std::strncpy(product, productIn, sizeof product - 1);
    if (vendorIn) std::strncpy(vendor, vendorIn, sizeof vendor - 1);
    upperCaseAscii(product);
    upperCaseAscii(vendor);

    HostFlags flags;
    flags.hostIsNKS =
        std::strncmp(product, "KOMPLETE", 8) == 0 || std::strncmp(product, "MASCHINE", 8) == 0;
    // KORE hosts save their state as REAPER does: one bank chunk.
    flags.hostIsReaper =
        std::strcmp(product, "REAPER") == 0 || std::strncmp(product, "KORE", 4) == 0;
    flags.hostIsOwn = std::strcmp(product, kOwnHostProduct) == 0;
    flags.hostIsProp = std::strncmp(vendor, "PROP", 4) == 0;
    return flags;
}

void APlugin::detectHostAndChunks() {
    // Hosts may write up to 256 bytes; the last one is forced to NUL.
    char product[256] = {};
    char vendor[256] = {};
    getHostProductString(product);
    getHostVendorString(vendor);
    product[255] = '\0';
    vendor[255] = '\0';
    core.host = detectHost(product, vendor);
    programsAreChunks(core.host.exchangesChunks());
}

uEditor* APlugin::getUEditor() const {
    return static_cast<uEditor*>(editor);
}

bool APlugin::editorIsShowing() const {
    uEditor* ui = getUEditor();
    return ui && core.editorOpened && !core.editorOpening && ui->isOpen();
}
