// The sample reader and sample import: WAV and AIFF files of every format
// written byte by byte into a temporary folder and read back, damaged and
// hostile files refused without harm, and files squeezed into a user wave
// through the scripted file dialog.

#include "platform/dialog_service.h"
#include "platform/prefs.h"
#include "support/plugin_harness.h"
#include "support/property_seeds.h"
#include "support/temp_prefs.h"
#include "waves/sample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// ------------------------------------------------------------------ file builders

void putLE(Bytes& b, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putBE(Bytes& b, uint32_t v, int n) {
    for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void putId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

// A frame: left and right value in -1..1 (right ignored for mono files).
struct Frame {
    double left, right;
};
using Signal = std::vector<Frame>;

int32_t quantize(double v, double scale, int32_t lo, int32_t hi) {
    return std::clamp(static_cast<int32_t>(std::lround(v * scale)), lo, hi);
}

// One value as the format stores it, little-endian (WAV) or big-endian (AIFF).
void putValue(Bytes& b, double v, int bits, bool wav) {
    auto put = wav ? putLE : putBE;
    switch (bits) {
    case 8:
        if (wav)
            b.push_back(static_cast<uint8_t>(quantize(v, 128.0, -128, 127) + 128));
        else
            b.push_back(static_cast<uint8_t>(static_cast<int8_t>(quantize(v, 128.0, -128, 127))));
        break;
    case 16:
        put(b, static_cast<uint32_t>(quantize(v, 32768.0, -32768, 32767)), 2);
        break;
    case 24:
        put(b, static_cast<uint32_t>(quantize(v, 8388608.0, -8388608, 8388607)), 3);
        break;
    default:
        put(b, std::bit_cast<uint32_t>(static_cast<float>(v)), 4);
        break;
    }
}

// What the reader gives for a value written by putValue.
double decoded(double v, int bits) {
    switch (bits) {
    case 8:
        return quantize(v, 128.0, -128, 127) / 128.0;
    case 16:
        return quantize(v, 32768.0, -32768, 32767) / 32768.0;
    case 24: // the upper 16 bits only
        return std::floor(quantize(v, 8388608.0, -8388608, 8388607) / 256.0) / 32768.0;
    default:
        return static_cast<float>(v);
    }
}

Bytes sampleBytes(const Signal& s, int channels, int bits, bool wav) {
    Bytes b;
    for (const Frame& f : s) {
        putValue(b, f.left, bits, wav);
        if (channels == 2) putValue(b, f.right, bits, wav);
    }
    return b;
}

struct WavHeader {
    uint32_t channels = 1, rate = 44100, bits = 16, formatTag = 1;
    bool extraChunk = false; // a "LIST" chunk between "fmt " and "data"
};

Bytes wavFile(const Signal& s, const WavHeader& h) {
    const Bytes data = sampleBytes(s, static_cast<int>(h.channels), static_cast<int>(h.bits), true);
    Bytes b;
    putId(b, "RIFF");
    putLE(b, static_cast<uint32_t>(36 + data.size() + (h.extraChunk ? 12 : 0)), 4);
    putId(b, "WAVE");
    putId(b, "fmt ");
    putLE(b, 16, 4);
    putLE(b, h.formatTag, 2);
    putLE(b, h.channels, 2);
    putLE(b, h.rate, 4);
    putLE(b, h.rate * h.channels * h.bits / 8, 4);
    putLE(b, h.channels * h.bits / 8, 2);
    putLE(b, h.bits, 2);
    if (h.extraChunk) {
        putId(b, "LIST");
        putLE(b, 4, 4);
        putId(b, "INFO");
    }
    putId(b, "data");
    putLE(b, static_cast<uint32_t>(data.size()), 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// The 80-bit extended value of a whole positive rate.
void putExtended(Bytes& b, uint32_t rate) {
    int e = 0;
    while ((rate >> (e + 1)) != 0) ++e;
    putBE(b, static_cast<uint32_t>(16383 + e), 2);
    const uint64_t mantissa = static_cast<uint64_t>(rate) << (63 - e);
    putBE(b, static_cast<uint32_t>(mantissa >> 32), 4);
    putBE(b, static_cast<uint32_t>(mantissa), 4);
}

struct AiffHeader {
    uint32_t channels = 1, rate = 44100, bits = 16;
    uint32_t frames = 0xFFFFFFFF; // the signal's length unless set
};

Bytes aiffFile(const Signal& s, const AiffHeader& h) {
    const Bytes data =
        sampleBytes(s, static_cast<int>(h.channels), static_cast<int>(h.bits), false);
    Bytes b;
    putId(b, "FORM");
    putBE(b, static_cast<uint32_t>(4 + 26 + 16 + data.size()), 4);
    putId(b, "AIFF");
    putId(b, "COMM");
    putBE(b, 18, 4);
    putBE(b, h.channels, 2);
    putBE(b, h.frames == 0xFFFFFFFF ? static_cast<uint32_t>(s.size()) : h.frames, 4);
    putBE(b, h.bits, 2);
    putExtended(b, h.rate);
    putId(b, "SSND");
    putBE(b, static_cast<uint32_t>(8 + data.size()), 4);
    putBE(b, 0, 4);
    putBE(b, 0, 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// cycles of a sine over n frames; the right channel is a cosine at -0.4.
Signal sine(int n, double cycles, double amplitude = 0.8) {
    Signal s;
    for (int i = 0; i < n; ++i) {
        const double x = kTwoPi * cycles * i / n;
        s.push_back({amplitude * std::sin(x), -0.4 * std::cos(x)});
    }
    return s;
}

void writeBytes(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// The value the reader should give at pos from the decoded frames.
Frame expectedAt(const Signal& s, int bits, int channels, float pos) {
    const int last = std::max(static_cast<int>(s.size()) - 2, 0);
    const int i0 = std::clamp(static_cast<int>(pos), 0, last);
    const int i1 = std::clamp(static_cast<int>(pos + 1.0f), 0, last);
    const double t = i0 == i1 ? 0.0 : std::min<double>(pos, last) - i0;
    auto side = [&](int i, bool right) {
        return decoded(right && channels == 2 ? s[i].right : s[i].left, bits);
    };
    return {side(i0, false) + (side(i1, false) - side(i0, false)) * t,
            side(i0, true) + (side(i1, true) - side(i0, true)) * t};
}

struct Reader : ::testing::Test {
    std::string path(const std::string& file) const { return folder.path() + "/" + file; }
    bool loadWav(const std::string& file) {
        sample.setName(path(file).c_str());
        return sample.loadWav();
    }
    bool loadAiff(const std::string& file) {
        sample.setName(path(file).c_str());
        return sample.loadAiff();
    }
    Frame read(float pos) const {
        float l = 99.0f, r = 99.0f;
        sample.getSample(pos, l, r);
        return {l, r};
    }
    // Every field a refused load must leave alone, and a read.
    struct Snapshot {
        int32_t length, loopStart, loopEnd, format;
        uint8_t loaded;
        const uint8_t* data;
        float value;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot snapshot() const {
        return {sample.length,
                sample.loopStart,
                sample.loopEnd,
                sample.format,
                sample.loaded,
                sample.data.get(),
                static_cast<float>(read(1.5f).left)};
    }

    TempPrefs folder;
    TSample sample;
};

} // namespace

// ------------------------------------------------------------------ the reader

TEST_F(Reader, StartsEmptyAndSilent) {
    EXPECT_STREQ(sample.name, "Nil");
    EXPECT_EQ(sample.loaded, 0);
    EXPECT_EQ(sample.ready, 0);
    EXPECT_EQ(sample.sampleRate, 44100.0f);
    EXPECT_EQ(sample.offset, 1e-15f);
    EXPECT_EQ(sample.length, 100);
    EXPECT_EQ(sample.getLen(), 99);
    EXPECT_EQ(sample.loopStart, 0);
    EXPECT_EQ(sample.loopEnd, 0);
    EXPECT_EQ(sample.format, 0);
    EXPECT_EQ(sample.data, nullptr);
    const Frame f = read(10.0f);
    EXPECT_EQ(f.left, 0.0f);
    EXPECT_EQ(f.right, 0.0f);

    // A first load that fails ends the load but leaves nothing to read.
    EXPECT_FALSE(loadWav("missing.wav"));
    EXPECT_EQ(sample.ready, 1);
    EXPECT_EQ(read(3.0f).left, 0.0f);
    EXPECT_EQ(read(3.0f).right, 0.0f);
}

TEST_F(Reader, ConversionTablesHoldTheFormatsScaling) {
    EXPECT_EQ(sampleConvert[0x8000], -1.0f);
    EXPECT_EQ(sampleConvert[0x7FFF], 32767.0f / 32768.0f);
    EXPECT_EQ(sampleConvert[0x0000], 0.0f);
    EXPECT_EQ(sampleConvert[0xFFFF], -1.0f / 32768.0f);
    EXPECT_EQ(wave8BitConvert[128], 0.0f);
    EXPECT_EQ(wave8BitConvert[0], -1.0f);
    EXPECT_EQ(wave8BitConvert[255], 127.0f / 128.0f);
    EXPECT_EQ(au8BitConvert[0], 0.0f);
    EXPECT_EQ(au8BitConvert[0x80], -1.0f);
    EXPECT_EQ(au8BitConvert[0x7F], 127.0f / 128.0f);
}

TEST_F(Reader, EveryWavFormatLoadsAndInterpolates) {
    constexpr int n = 301;
    const Signal s = sine(n, 3.0);
    for (int bits : {8, 16, 24, 32}) {
        for (int channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels");
            const std::string file = "w" + std::to_string(bits) + std::to_string(channels) + ".wav";
            WavHeader h;
            h.bits = static_cast<uint32_t>(bits);
            h.channels = static_cast<uint32_t>(channels);
            h.rate = 22050;
            h.extraChunk = bits == 16;
            writeBytes(path(file), wavFile(s, h));
            ASSERT_TRUE(loadWav(file));
            EXPECT_EQ(sample.loaded, 1);
            EXPECT_EQ(sample.ready, 1);
            EXPECT_EQ(sample.length, n);
            EXPECT_EQ(sample.getLen(), n - 1);
            EXPECT_EQ(sample.loopStart, 0);
            EXPECT_EQ(sample.loopEnd, n - 1);
            EXPECT_EQ(sample.format, (bits / 8 - 1) * 2 + channels - 1);
            EXPECT_EQ(sample.sampleRate, 22050.0f);
            for (float pos :
                 {0.0f, 1.0f, 7.25f, 50.5f, 123.9f, 298.0f, 298.7f, 299.0f, 300.0f, 1e9f, -3.5f}) {
                const Frame want = expectedAt(s, bits, channels, pos);
                const Frame got = read(pos);
                EXPECT_NEAR(got.left, want.left, 1e-6) << pos;
                EXPECT_NEAR(got.right, want.right, 1e-6) << pos;
            }
            // The decoded values follow the written sine within the format's step.
            const double step = bits == 8 ? 1.0 / 128 : (bits == 32 ? 1e-7 : 1.0 / 32768);
            for (int i = 0; i < n - 1; i += 17) {
                EXPECT_NEAR(read(static_cast<float>(i)).left, s[i].left, step) << i;
                EXPECT_NEAR(read(static_cast<float>(i)).right,
                            channels == 2 ? s[i].right : s[i].left, step)
                    << i;
            }
        }
    }
}

TEST_F(Reader, EveryAiffFormatLoadsAndInterpolates) {
    constexpr int n = 257;
    const Signal s = sine(n, 2.0, 0.9);
    for (int bits : {8, 16, 24}) {
        for (int channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels");
            const std::string file = "a" + std::to_string(bits) + std::to_string(channels) + ".aif";
            AiffHeader h;
            h.bits = static_cast<uint32_t>(bits);
            h.channels = static_cast<uint32_t>(channels);
            h.rate = 48000;
            writeBytes(path(file), aiffFile(s, h));
            ASSERT_TRUE(loadAiff(file));
            EXPECT_EQ(sample.length, n);
            EXPECT_EQ(sample.loopEnd, n - 1);
            EXPECT_EQ(sample.format, 8 + (bits / 8 - 1) * 2 + channels - 1);
            EXPECT_EQ(sample.sampleRate, 48000.0f);
            for (float pos : {0.0f, 3.5f, 100.25f, 254.75f, 255.0f, 256.0f, -1.0f}) {
                const Frame want = expectedAt(s, bits, channels, pos);
                const Frame got = read(pos);
                EXPECT_NEAR(got.left, want.left, 1e-6) << pos;
                EXPECT_NEAR(got.right, want.right, 1e-6) << pos;
            }
        }
    }
}

TEST_F(Reader, AiffRatesComeFromTheKnownTableOnly) {
    const Signal s = sine(64, 1.0);
    const std::pair<uint32_t, float> rates[] = {
        {11025, 11025.0f}, {22050, 22050.0f}, {44100, 44100.0f}, {48000, 48000.0f},
        {88200, 88200.0f}, {96000, 96000.0f}, {32000, 44100.0f}, {8000, 44100.0f}};
    for (const auto& [rate, want] : rates) {
        AiffHeader h;
        h.rate = rate;
        writeBytes(path("r.aiff"), aiffFile(s, h));
        sample.sampleRate = 1.0f;
        ASSERT_TRUE(loadAiff("r.aiff")) << rate;
        EXPECT_EQ(sample.sampleRate, want) << rate;
    }
}

TEST_F(Reader, ValuesDecodeExactly) {
    // 16-bit WAV: 0x8000, 0x7FFF, 0; then 8-bit WAV 128; 24-bit WAV uses
    // its upper two bytes; 32-bit WAV is float whatever the tag says.
    auto wavWith = [&](uint32_t bits, const Bytes& data, uint32_t tag = 1) {
        Bytes b;
        putId(b, "RIFF");
        putLE(b, 36 + static_cast<uint32_t>(data.size()), 4);
        putId(b, "WAVE");
        putId(b, "fmt ");
        putLE(b, 16, 4);
        putLE(b, tag, 2);
        putLE(b, 1, 2);
        putLE(b, 44100, 4);
        putLE(b, 44100 * bits / 8, 4);
        putLE(b, bits / 8, 2);
        putLE(b, bits, 2);
        putId(b, "data");
        putLE(b, static_cast<uint32_t>(data.size()), 4);
        b.insert(b.end(), data.begin(), data.end());
        writeBytes(path("x.wav"), b);
        return loadWav("x.wav");
    };
    ASSERT_TRUE(wavWith(16, {0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00}));
    EXPECT_EQ(read(0.0f).left, -1.0f);
    EXPECT_EQ(read(1.0f).left, 32767.0f / 32768.0f);
    EXPECT_EQ(read(0.5f).right, (-1.0f + 32767.0f / 32768.0f) / 2.0f);

    ASSERT_TRUE(wavWith(8, {128, 0, 255}));
    EXPECT_NEAR(read(0.0f).left, 0.0f, 1e-12); // 128 is silence (plus the tiny offset)
    EXPECT_EQ(read(1.0f).left, -1.0f);

    ASSERT_TRUE(wavWith(24, {0xFF, 0x34, 0x80, 0x00, 0xFF, 0x7F, 0, 0, 0}));
    EXPECT_EQ(read(0.0f).left, static_cast<float>(static_cast<int16_t>(0x8034)) / 32768.0f);
    EXPECT_EQ(read(1.0f).left, 32767.0f / 32768.0f);

    Bytes floats;
    putLE(floats, std::bit_cast<uint32_t>(1.5f), 4);
    putLE(floats, std::bit_cast<uint32_t>(-0.3f), 4);
    putLE(floats, 0, 4);
    for (uint32_t tag : {1u, 3u}) {
        ASSERT_TRUE(wavWith(32, floats, tag));
        EXPECT_EQ(sample.format, TSample::kWavFloatMono);
        EXPECT_EQ(read(0.0f).left, 1.5f);
        EXPECT_EQ(read(1.0f).left, -0.3f);
    }
}

TEST_F(Reader, TinySamplesNeverReadTheirLastFrame) {
    // One frame: read at every position.
    const Signal one = {{0.5, -0.25}};
    WavHeader h;
    h.channels = 2;
    writeBytes(path("one.wav"), wavFile(one, h));
    ASSERT_TRUE(loadWav("one.wav"));
    EXPECT_EQ(sample.length, 1);
    EXPECT_EQ(sample.getLen(), 0);
    for (float pos : {0.0f, 0.5f, 1.0f, 100.0f, -2.0f, std::numeric_limits<float>::infinity(),
                      -std::numeric_limits<float>::infinity(), std::nanf("")}) {
        EXPECT_FLOAT_EQ(read(pos).left, 0.5f) << pos;
        EXPECT_FLOAT_EQ(read(pos).right, -0.25f) << pos;
    }

    // Three frames a, b, c: c is never read.
    const Signal three = {{0.25, 0}, {0.5, 0}, {-1.0, 0}};
    writeBytes(path("three.wav"), wavFile(three, WavHeader{}));
    ASSERT_TRUE(loadWav("three.wav"));
    EXPECT_FLOAT_EQ(read(0.5f).left, 0.375f);
    EXPECT_FLOAT_EQ(read(1.0f).left, 0.5f);
    EXPECT_FLOAT_EQ(read(1.5f).left, 0.5f);
    EXPECT_FLOAT_EQ(read(2.0f).left, 0.5f);
    EXPECT_FLOAT_EQ(read(1.5f).right, 0.5f); // mono: both sides
}

TEST_F(Reader, BadHeadersAreRefusedAndKeepThePreviousSample) {
    const Signal s = sine(100, 1.0);
    writeBytes(path("good.wav"), wavFile(s, WavHeader{}));
    ASSERT_TRUE(loadWav("good.wav"));
    const Snapshot before = snapshot();

    auto refusedWav = [&](const Bytes& bytes, const char* what) {
        writeBytes(path("bad.wav"), bytes);
        EXPECT_FALSE(loadWav("bad.wav")) << what;
        EXPECT_EQ(sample.ready, 1) << what;
        EXPECT_EQ(snapshot(), before) << what;
    };
    WavHeader h;
    h.channels = 3;
    refusedWav(wavFile(s, h), "3 channels");
    h = {};
    h.bits = 12;
    refusedWav(wavFile(s, h), "12 bits");
    h = {};
    h.rate = 192000;
    refusedWav(wavFile(s, h), "192000 Hz");
    EXPECT_EQ(sample.sampleRate, 192000.0f); // taken before the check
    h.rate = 4699;
    refusedWav(wavFile(s, h), "4699 Hz");
    h.rate = 190000;
    writeBytes(path("edge.wav"), wavFile(s, h));
    EXPECT_TRUE(loadWav("edge.wav")); // the top of the range is accepted
    ASSERT_TRUE(loadWav("good.wav"));
    const Snapshot good = snapshot();
    EXPECT_EQ(good.length, before.length);

    auto refused = [&](const Bytes& bytes, const char* what) {
        writeBytes(path("bad.wav"), bytes);
        EXPECT_FALSE(loadWav("bad.wav")) << what;
        EXPECT_EQ(snapshot(), good) << what;
    };
    Bytes b = wavFile(s, WavHeader{});
    Bytes longer = b;
    longer[40] += 1; // the data size one byte beyond the file
    refused(longer, "data larger than the file");
    Bytes huge = b;
    huge[40] = huge[41] = huge[42] = huge[43] = 0xFF;
    refused(huge, "data size 4 GB");
    Bytes noData = b;
    noData[36] = 'D';
    refused(noData, "no data chunk");
    Bytes noFmt = b;
    noFmt[12] = 'F';
    refused(noFmt, "no fmt chunk");
    Bytes emptyData = b;
    emptyData[40] = 1; // less than one 16-bit frame
    emptyData[41] = emptyData[42] = emptyData[43] = 0;
    refused(emptyData, "data smaller than a frame");
    refused(Bytes(b.begin(), b.begin() + 34), "34 bytes");
    refused(Bytes(), "empty file");
    EXPECT_FALSE(loadWav("no such file.wav"));
    EXPECT_EQ(snapshot(), good);
    EXPECT_FALSE(sample.setName(std::string(300, 'x').c_str()));
    EXPECT_FALSE(sample.loadWav());
    EXPECT_TRUE(sample.setName(std::string(255, 'x').c_str()));
    EXPECT_EQ(std::string(sample.name).size(), 255u);

    // AIFF: bad channel count, bits, frame count, missing chunks.
    AiffHeader a;
    a.channels = 3;
    writeBytes(path("bad.aif"), aiffFile(s, a));
    EXPECT_FALSE(loadAiff("bad.aif"));
    a = {};
    a.bits = 32;
    writeBytes(path("bad.aif"), aiffFile(s, a));
    EXPECT_FALSE(loadAiff("bad.aif"));
    a = {};
    a.frames = 0;
    writeBytes(path("bad.aif"), aiffFile(s, a));
    EXPECT_FALSE(loadAiff("bad.aif"));
    a.frames = 101;
    writeBytes(path("bad.aif"), aiffFile(s, a));
    EXPECT_FALSE(loadAiff("bad.aif")) << "frames beyond the file";
    a.frames = 0xFFFFFFFE;
    writeBytes(path("bad.aif"), aiffFile(s, a));
    EXPECT_FALSE(loadAiff("bad.aif")) << "4 G frames";
    Bytes aiff = aiffFile(s, AiffHeader{});
    aiff[8] = 'a';
    writeBytes(path("bad.aif"), aiff);
    EXPECT_FALSE(loadAiff("bad.aif")) << "no AIFF form";
    aiff = aiffFile(s, AiffHeader{});
    aiff[38] = 's';
    writeBytes(path("bad.aif"), aiff);
    EXPECT_FALSE(loadAiff("bad.aif")) << "no SSND chunk";
    // A WAV file is no AIFF file.
    EXPECT_FALSE(loadAiff("good.wav"));
    EXPECT_EQ(snapshot(), good);
}

TEST_F(Reader, TruncatedAndGarbageFilesAreRefusedSafely) {
    const Signal s = sine(40, 1.0);
    WavHeader wh;
    wh.channels = 2;
    wh.bits = 24;
    AiffHeader ah;
    ah.channels = 2;
    ah.bits = 24;
    const Bytes wav = wavFile(s, wh);
    const Bytes aiff = aiffFile(s, ah);
    // Every prefix of a good file: only the whole file loads.
    for (std::size_t n = 0; n < wav.size(); ++n) {
        writeBytes(path("cut.wav"), Bytes(wav.begin(), wav.begin() + static_cast<long>(n)));
        ASSERT_FALSE(loadWav("cut.wav")) << n;
    }
    for (std::size_t n = 0; n < aiff.size(); ++n) {
        writeBytes(path("cut.aif"), Bytes(aiff.begin(), aiff.begin() + static_cast<long>(n)));
        ASSERT_FALSE(loadAiff("cut.aif")) << n;
    }
    writeBytes(path("cut.wav"), wav);
    EXPECT_TRUE(loadWav("cut.wav"));
    writeBytes(path("cut.aif"), aiff);
    EXPECT_TRUE(loadAiff("cut.aif"));

    // Random bytes, some with the identifiers planted at random places and
    // random sizes: whatever loads must read within its buffer.
    for (const std::uint32_t seed : propertySeeds({1234u})) {
        SCOPED_TRACE(seedTrace(seed));
        std::mt19937 rng(seed);
        for (int round = 0; round < 300; ++round) {
            Bytes junk(35 + rng() % 400);
            for (uint8_t& v : junk) v = static_cast<uint8_t>(rng());
            if (round % 2) {
                for (const char* id : {"fmt ", "data", "AIFF", "COMM", "SSND"}) {
                    const std::size_t at = rng() % (junk.size() - 4);
                    std::copy(id, id + 4, junk.begin() + static_cast<long>(at));
                }
            }
            writeBytes(path("junk"), junk);
            const bool wavLoaded = loadWav("junk");
            if (wavLoaded) {
                EXPECT_GE(sample.length, 1);
                EXPECT_LE(sample.length, static_cast<int>(junk.size()));
            }
            const bool aiffLoaded = loadAiff("junk");
            if (aiffLoaded) {
                EXPECT_GE(sample.length, 1);
                EXPECT_LE(sample.length, static_cast<int>(junk.size()));
            }
            for (float pos : {0.0f, 0.5f, static_cast<float>(sample.getLen()), 1e6f}) {
                const Frame f = read(pos);
                (void)f;
            }
        }
        // A folder is no sample.
        sample.setName(folder.path().c_str());
        EXPECT_FALSE(sample.loadWav());
        EXPECT_FALSE(sample.loadAiff());
    }
}

// ------------------------------------------------------------------ import into a user wave

namespace {

struct SampleImport : ::testing::Test {
    APlugin& p() { return h.p(); }
    const WaveTable& table(int w) { return p().waves.userWaveTable[w]; }
    std::vector<float> partialParams(int w) {
        std::vector<float> v;
        for (int j = 0; j < kUserWavePartials; ++j)
            v.push_back(p().getParameter(tag::partial(w, j)));
        return v;
    }
    std::string path(const std::string& file) const { return folder.path() + "/" + file; }
    std::string prefSampleDir() {
        std::string v;
        loadStringFromPrefs("SampleDir", v, 256);
        return v;
    }
    // Imports file into wave w through the dialog.
    void import(int w, const std::string& file) {
        dialogs.pushFile(path(file));
        p().loadSample(w);
    }
    int strongestPartial(int w) {
        int best = 0;
        for (int j = 1; j < kUserWavePartials; ++j)
            if (p().getWaveTablePartialsAmp(w, j) > p().getWaveTablePartialsAmp(w, best)) best = j;
        return best;
    }
    // Everything an import that changes nothing must leave as it was.
    struct State {
        std::vector<float> params0, params1;
        WaveTable table0, table1;
        std::string sampleDir;
        bool operator==(const State&) const = default;
    };
    State state() {
        return {partialParams(0), partialParams(1), table(0), table(1), p().core.folders.sampleDir};
    }

    TempPrefs folder;
    ScriptedDialogService dialogs;
    ScopedDialogService installed{dialogs};
    PluginHarness h{0x5EED, false};
};

} // namespace

TEST_F(SampleImport, ThreeCyclesBecomeTheThirdPartial) {
    constexpr int n = 3000;
    WavHeader wh;
    wh.channels = 2;
    Signal s = sine(n, 3.0, 0.7);
    for (Frame& f : s) f.right = f.left; // the same on both sides
    writeBytes(path("three.wav"), wavFile(s, wh));
    p().core.folders.sampleDir = "/start/here/";
    p().waves.rebuildRequested.store(false);
    import(1, "three.wav");

    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    const FileDialogRequest& r = dialogs.fileRequests[0];
    EXPECT_EQ(r.mode, FileDialogRequest::Mode::open);
    EXPECT_EQ(r.title, "Select Sample");
    EXPECT_EQ(r.initialFolder, "/start/here/");
    std::vector<std::string> extensions;
    for (const FileDialogFilter& f : r.filters) extensions.push_back(f.extension);
    EXPECT_EQ(extensions, (std::vector<std::string>{"wav", "aif", "aiff"}));
    EXPECT_TRUE(dialogs.alertRequests.empty());

    EXPECT_EQ(strongestPartial(1), 2);
    EXPECT_NEAR(p().getWaveTablePartialsAmp(1, 2), 0.7f, 0.01f);
    for (int j = 0; j < kUserWavePartials; ++j) {
        if (j == 2) continue;
        EXPECT_LT(p().getWaveTablePartialsAmp(1, j), 0.03f) << j;
    }
    // The squeezed cycle itself, from frame 0 to 2047/2048 of the last one.
    for (int i = 0; i < kWaveSize; i += 31) {
        const double pos = static_cast<double>(i) / kWaveSize * (n - 1);
        EXPECT_NEAR(table(1)[i], 0.7 * std::sin(kTwoPi * 3.0 * pos / n), 2e-3) << i;
    }
    // The partials arrive packed in the parameters; wave 0 is untouched.
    const WaveWorkspace& work = p().mainWaveWorkspace();
    for (int j = 0; j < kUserWavePartials; ++j)
        EXPECT_EQ(p().getParameter(tag::partial(1, j)),
                  APlugin::packPartial(work.tempPartials[j].amplitude, work.tempPartials[j].phase));
    EXPECT_EQ(strongestPartial(0), 0);
    EXPECT_TRUE(p().waves.rebuildRequested.load());
    EXPECT_EQ(p().core.folders.sampleDir, folder.path() + "/");
    EXPECT_EQ(prefSampleDir(), folder.path() + "/");
    EXPECT_EQ(p().engine.sampleReader.length, n);
}

TEST_F(SampleImport, CancelMissingFilesAndBadWavesChangeNothing) {
    const State before = state();
    const std::string startPref = prefSampleDir();
    p().waves.rebuildRequested.store(false);

    dialogs.pushFileCancel();
    p().loadSample(0);
    EXPECT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(state(), before);
    EXPECT_EQ(prefSampleDir(), startPref);
    EXPECT_FALSE(p().waves.rebuildRequested.load());

    import(0, "does-not-exist.wav");
    EXPECT_EQ(state(), before);
    EXPECT_EQ(prefSampleDir(), startPref);

    // Out of range: no dialog at all.
    p().loadSample(2);
    p().loadSample(-1);
    EXPECT_EQ(dialogs.fileRequests.size(), 2u);

    // A file that opens but does not load: only the folder preference moves.
    writeBytes(path("garbage.wav"), Bytes(500, 0x55));
    import(0, "garbage.wav");
    EXPECT_EQ(state(), before);
    EXPECT_EQ(prefSampleDir(), folder.path() + "/");
    EXPECT_FALSE(p().waves.rebuildRequested.load());
    EXPECT_TRUE(dialogs.alertRequests.empty()); // refused silently
}

TEST_F(SampleImport, TheExtensionPicksTheLoader) {
    const Signal s = sine(500, 2.0, 0.6);
    const Bytes wav = wavFile(s, WavHeader{});
    const Bytes aiff = aiffFile(s, AiffHeader{});
    writeBytes(path("mixed.WaV"), wav);
    writeBytes(path("upper.aiff"), aiff);
    writeBytes(path("plain.aif"), aiff);
    writeBytes(path("wav-as.wave"), wav);
    writeBytes(path("aiff-as.wav"), aiff);

    for (const char* file : {"mixed.WaV", "upper.aiff", "plain.aif"}) {
        p().clearWave(0);
        import(0, file);
        EXPECT_EQ(strongestPartial(0), 1) << file;
        EXPECT_NEAR(p().getWaveTablePartialsAmp(0, 1), 0.6f, 0.01f) << file;
    }
    p().clearWave(0);
    const State before = state();
    import(0, "wav-as.wave"); // read as AIFF and refused
    EXPECT_EQ(state(), before);
    import(0, "aiff-as.wav"); // read as WAV and refused
    EXPECT_EQ(state(), before);
}

TEST_F(SampleImport, OppositeChannelsCancelAndLongFilesAreDecimated) {
    // Right = -left: the mix is silent.
    WavHeader stereo;
    stereo.channels = 2;
    Signal s = sine(800, 5.0, 0.9);
    for (Frame& f : s) f.right = -f.left;
    writeBytes(path("opposite.wav"), wavFile(s, stereo));
    import(1, "opposite.wav");
    ASSERT_EQ(p().engine.sampleReader.length, 800);
    for (float v : table(1)) ASSERT_NEAR(v, 0.0f, 1e-4f);
    for (int j = 0; j < kUserWavePartials; ++j)
        EXPECT_LT(p().getWaveTablePartialsAmp(1, j), 2e-3f) << j;

    // Alternating +-0.5 over 4097 frames: every point lands on an even
    // frame, so plain decimation without filtering keeps 0.5 everywhere.
    Signal alternating;
    for (int i = 0; i < 4097; ++i) alternating.push_back({i % 2 ? -0.5 : 0.5, 0.0});
    writeBytes(path("alt.wav"), wavFile(alternating, WavHeader{}));
    import(1, "alt.wav");
    for (int i = 0; i < kWaveSize; ++i) ASSERT_NEAR(table(1)[i], 0.5f, 1e-4f) << i;

    // A float file beyond full scale or holding NaN never reaches the
    // oscillators as such.
    WavHeader f32;
    f32.bits = 32;
    Signal loud = sine(600, 1.0, 3.0);
    loud[100].left = std::nan("");
    writeBytes(path("loud.wav"), wavFile(loud, f32));
    import(1, "loud.wav");
    for (float v : table(1)) {
        ASSERT_FALSE(std::isnan(v));
        ASSERT_LE(std::fabs(v), 1.0f);
    }
    EXPECT_EQ(strongestPartial(1), 0);
}

TEST_F(SampleImport, ImportWhileTheAudioThreadRenders) {
    writeBytes(path("three.wav"), wavFile(sine(2048 * 3 + 1, 9.0, 0.5), WavHeader{}));
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        while (!stop.load()) h.render(256);
    });
    for (int k = 0; k < 4; ++k) import(k % 2, "three.wav");
    stop.store(true);
    audio.join();
    EXPECT_EQ(strongestPartial(0), 8);
    EXPECT_EQ(strongestPartial(1), 8);
    h.render(8192); // the staged rebuild finishes
    EXPECT_TRUE(h.allFinite);
}
