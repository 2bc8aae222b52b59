// WAV and AIFF samples as the sample import reads them, over memory. Every
// input is parsed as WAV and then as AIFF by one reader:
//  - a refused parse leaves the previous sample (buffer, length, loop points,
//    format) in place;
//  - a taken sample holds no more bytes than the input, has its loop over
//    all of it, and every read (also at hostile positions) stays inside the
//    buffer; the integer formats read inside -1..1;
//  - the import's squeeze into one cycle of a user wave gives a finite table
//    and partial parameters inside 0..1, whatever the file holds (a float
//    file may hold NaN).

#include "waves/sample.h"
#include "core/aplugin.h"
#include "fuzz_support.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

namespace {

int bytesPerFrame(int32_t format) {
    static constexpr int kBytes[14] = {1, 2, 2, 4, 3, 6, 4, 8, 1, 2, 2, 4, 3, 6};
    return kBytes[format];
}

bool isFloatFormat(int32_t format) {
    return format == TSample::kWavFloatMono || format == TSample::kWavFloatStereo;
}

void checkTaken(const TSample& s, std::size_t size, bool wav) {
    if (!s.loaded || !s.ready || !s.data) fuzz::fail("a taken sample is not readable");
    if (wav ? (s.format < TSample::kWav8Mono || s.format > TSample::kWavFloatStereo)
            : (s.format < TSample::kAiff8Mono || s.format > TSample::kAiff24Stereo))
        fuzz::fail("a taken sample of another file type's format");
    if (s.length < 1) fuzz::fail("a taken sample without frames");
    if (static_cast<uint64_t>(s.length) * static_cast<uint64_t>(bytesPerFrame(s.format)) > size)
        fuzz::fail("a taken sample longer than its file");
    if (s.loopStart != 0 || s.loopEnd != s.length - 1)
        fuzz::fail("a taken sample's loop is not the whole sample");

    // Every frame of a short sample, a spread of a long one, and hostile positions.
    const bool bounded = !isFloatFormat(s.format);
    auto read = [&](float pos) {
        float left, right;
        s.getSample(pos, left, right);
        if (bounded && !(std::fabs(left) <= 1.0f + s.offset && std::fabs(right) <= 1.0f + s.offset))
            fuzz::fail("an integer sample read outside -1..1");
    };
    const int step = s.length <= 4096 ? 1 : s.length / 4096;
    for (int i = 0; i < s.length; i += step) {
        read(static_cast<float>(i));
        read(static_cast<float>(i) + 0.5f);
    }
    for (float pos :
         {-1.0f, -1e30f, static_cast<float>(s.length), static_cast<float>(s.length) + 0.5f, 1e30f,
          std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()})
        read(pos);
}

// The import's squeeze of the whole sample into one cycle and its analysis.
void checkImport(const TSample& s) {
    static auto work = std::make_unique<WaveWorkspace>();
    const float last = static_cast<float>(s.getLen());
    for (int i = 0; i < kWaveSize; ++i) {
        float left, right;
        s.getSample(static_cast<float>(i) / static_cast<float>(kWaveSize) * last, left, right);
        work->tempWaveTable[i] = (left + right) * 0.5f;
    }
    APlugin::analyseTempWaveTable(*work, kUserWavePartials);
    for (float x : work->tempWaveTable)
        if (!std::isfinite(x)) fuzz::fail("the imported wave's table is not finite");
    for (int k = 0; k < kUserWavePartials; ++k) {
        const float v =
            APlugin::packPartial(work->tempPartials[k].amplitude, work->tempPartials[k].phase);
        if (!(v >= 0.0f && v <= 1.0f)) fuzz::fail("an imported partial parameter outside 0..1");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TSample sample;
    for (const bool wav : {true, false}) {
        const uint8_t* before = sample.data.get();
        const int32_t length = sample.length, format = sample.format;
        const int32_t loopStart = sample.loopStart, loopEnd = sample.loopEnd;
        const uint8_t loaded = sample.loaded;
        const bool taken = wav ? sample.parseWav(data, size) : sample.parseAiff(data, size);
        if (!sample.ready) fuzz::fail("a parse left the sample not ready");
        if (!taken) {
            if (sample.data.get() != before || sample.length != length || sample.format != format ||
                sample.loopStart != loopStart || sample.loopEnd != loopEnd ||
                sample.loaded != loaded)
                fuzz::fail("a refused parse changed the previous sample");
            continue;
        }
        checkTaken(sample, size, wav);
        checkImport(sample);
    }
    return 0;
}
