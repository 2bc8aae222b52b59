// The sample reader: WAV and AIFF parsing, the conversion tables and the
// interpolated read. See sample.h for the formats.

#include "waves/sample.h"

#include "core/numeric.h"
#include "platform/file_io.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <string>

float sampleConvert[65536];
float wave8BitConvert[256];
float au8BitConvert[256];

void fillSampleConvertTables() {
    static std::once_flag filled;
    std::call_once(filled, [] {
        for (int i = 0; i < 65536; ++i)
            sampleConvert[i] =
                static_cast<float>(static_cast<int16_t>(static_cast<uint16_t>(i))) / 32768.0f;
        for (int b = 0; b < 256; ++b) {
            wave8BitConvert[b] = static_cast<float>(b - 128) / 128.0f;
            au8BitConvert[b] =
                static_cast<float>(static_cast<int8_t>(static_cast<uint8_t>(b))) / 128.0f;
        }
    });
}

namespace {

// Anything this short cannot hold a header and one frame.
constexpr std::size_t kMinFileBytes = 35;
constexpr uint32_t kMinWavRate = 4700;
constexpr uint32_t kMaxWavRate = 190000;

// The rates the AIFF loader knows, by the first four bytes of the 80-bit
// extended value (sign and exponent, then the top of the mantissa).
struct AiffRate {
    uint8_t bytes[4];
    float rate;
};
constexpr AiffRate kAiffRates[] = {
    {{0x40, 0x0C, 0xAC, 0x44}, 11025.0f}, {{0x40, 0x0D, 0xAC, 0x44}, 22050.0f},
    {{0x40, 0x0E, 0xAC, 0x44}, 44100.0f}, {{0x40, 0x0E, 0xBB, 0x80}, 48000.0f},
    {{0x40, 0x0F, 0xAC, 0x44}, 88200.0f}, {{0x40, 0x0F, 0xBB, 0x80}, 96000.0f},
};
constexpr float kDefaultAiffRate = 44100.0f;

// A read position in a file's bytes. Every read either takes all it asks
// for or fails; a failed read may leave the position anywhere.
class ByteCursor {
public:
    ByteCursor(const uint8_t* bytes, std::size_t size) : bytes(bytes), size(size) {}

    // Reads on from the current position until the four bytes of id have
    // come in a row; true with the position just behind them.
    bool scanFor(const char (&id)[5]) {
        uint32_t window = 0;
        const uint32_t wanted = static_cast<uint32_t>(static_cast<uint8_t>(id[0])) << 24 |
                                static_cast<uint32_t>(static_cast<uint8_t>(id[1])) << 16 |
                                static_cast<uint32_t>(static_cast<uint8_t>(id[2])) << 8 |
                                static_cast<uint32_t>(static_cast<uint8_t>(id[3]));
        int seen = 0;
        while (pos < size) {
            window = window << 8 | bytes[pos++];
            if (++seen >= 4 && window == wanted) return true;
        }
        return false;
    }
    bool scanFromStart(const char (&id)[5]) {
        pos = 0;
        return scanFor(id);
    }
    bool read(uint8_t* out, std::size_t n) {
        if (n > left()) return false;
        if (n > 0) std::memcpy(out, bytes + pos, n);
        pos += n;
        return true;
    }
    bool readLE(int n, uint32_t& value) {
        uint8_t b[4] = {};
        if (!read(b, static_cast<std::size_t>(n))) return false;
        value = 0;
        for (int i = n - 1; i >= 0; --i) value = value << 8 | b[i];
        return true;
    }
    bool readBE(int n, uint32_t& value) {
        uint8_t b[4] = {};
        if (!read(b, static_cast<std::size_t>(n))) return false;
        value = 0;
        for (int i = 0; i < n; ++i) value = value << 8 | b[i];
        return true;
    }
    // Bytes behind the current position.
    std::size_t left() const { return size - pos; }
    const uint8_t* here() const { return bytes + pos; }

private:
    const uint8_t* bytes;
    std::size_t size;
    std::size_t pos = 0;
};

float rateFromExtended(const uint8_t (&bytes)[4]) {
    for (const AiffRate& r : kAiffRates)
        if (std::memcmp(r.bytes, bytes, 4) == 0) return r.rate;
    return kDefaultAiffRate;
}

int bytesPerSample(int32_t format) {
    switch (format) {
    case TSample::kWav8Mono:
    case TSample::kWav8Stereo:
    case TSample::kAiff8Mono:
    case TSample::kAiff8Stereo:
        return 1;
    case TSample::kWav16Mono:
    case TSample::kWav16Stereo:
    case TSample::kAiff16Mono:
    case TSample::kAiff16Stereo:
        return 2;
    case TSample::kWav24Mono:
    case TSample::kWav24Stereo:
    case TSample::kAiff24Mono:
    case TSample::kAiff24Stereo:
        return 3;
    default:
        return 4;
    }
}

// One value at p in the given format.
float decode(int32_t format, const uint8_t* p) {
    switch (format) {
    case TSample::kWav8Mono:
    case TSample::kWav8Stereo:
        return wave8BitConvert[p[0]];
    case TSample::kWav16Mono:
    case TSample::kWav16Stereo:
        return sampleConvert[p[1] * 256 + p[0]];
    case TSample::kWav24Mono:
    case TSample::kWav24Stereo:
        return sampleConvert[p[2] * 256 + p[1]];
    case TSample::kWavFloatMono:
    case TSample::kWavFloatStereo: {
        const uint32_t bits = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        return std::bit_cast<float>(bits);
    }
    case TSample::kAiff8Mono:
    case TSample::kAiff8Stereo:
        return au8BitConvert[p[0]];
    case TSample::kAiff16Mono:
    case TSample::kAiff16Stereo:
    case TSample::kAiff24Mono:
    case TSample::kAiff24Stereo:
        return sampleConvert[p[0] * 256 + p[1]];
    default:
        return 0.0f;
    }
}

} // namespace

TSample::TSample() {
    fillSampleConvertTables();
    std::memset(name, 0, sizeof name);
    std::memcpy(name, "Nil", 4);
}

bool TSample::setName(const char* path) {
    std::memset(name, 0, sizeof name);
    if (!path) return false;
    const std::size_t n = std::strlen(path);
    if (n >= sizeof name) return false;
    std::memcpy(name, path, n);
    return true;
}

bool TSample::takeData(const uint8_t* bytes, uint64_t size, int32_t frames, int32_t code) {
    if (size > std::numeric_limits<std::size_t>::max() - kSpareBytes) return false;
    const std::size_t n = static_cast<std::size_t>(size);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[n + kSpareBytes]);
    if (!buffer) return false;
    if (n > 0) std::memcpy(buffer.get(), bytes, n);
    std::memset(buffer.get() + n, 0, kSpareBytes);
    data = std::move(buffer);
    length = frames;
    loopStart = 0;
    loopEnd = frames - 1;
    format = code;
    loaded = 1;
    return true;
}

// The named file's bytes through one of the parsers; a file that cannot be
// read leaves the sample as it was, ready.
bool TSample::loadWith(bool (TSample::*parse)(const uint8_t*, std::size_t)) {
    std::string bytes;
    std::string error;
    if (!readRegularFile(name, kMaxFileBytes, bytes, error)) {
        ready = 1;
        return false;
    }
    return (this->*parse)(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool TSample::loadWav() {
    return loadWith(&TSample::parseWav);
}

bool TSample::loadAiff() {
    return loadWith(&TSample::parseAiff);
}

bool TSample::parseWav(const uint8_t* bytes, std::size_t size) {
    ready = 0;
    const bool ok = [&] {
        if (size < kMinFileBytes) return false;
        ByteCursor f(bytes, size);

        if (!f.scanFor("fmt ")) return false;
        uint32_t chunkSize, tag, channels, rate, byteRate, align, bits;
        if (!f.readLE(4, chunkSize) || !f.readLE(2, tag) || !f.readLE(2, channels)) return false;
        if (channels != 1 && channels != 2) return false;
        if (!f.readLE(4, rate)) return false;
        sampleRate = static_cast<float>(rate);
        if (rate < kMinWavRate || rate > kMaxWavRate) return false;
        if (!f.readLE(4, byteRate) || !f.readLE(2, align) || !f.readLE(2, bits)) return false;
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;

        if (!f.scanFromStart("data")) return false;
        uint32_t dataSize;
        if (!f.readLE(4, dataSize)) return false;
        const uint32_t frameBytes = bits / 8 * channels;
        if (dataSize > f.left() || dataSize < frameBytes) return false;
        const uint32_t frames = dataSize / frameBytes;
        if (frames > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return false;
        const int32_t code = static_cast<int32_t>((bits / 8 - 1) * 2 + (channels - 1));
        return takeData(f.here(), dataSize, static_cast<int32_t>(frames), code);
    }();
    ready = 1;
    return ok;
}

bool TSample::parseAiff(const uint8_t* bytes, std::size_t size) {
    ready = 0;
    const bool ok = [&] {
        if (size < kMinFileBytes) return false;
        ByteCursor f(bytes, size);

        uint8_t form[8];
        if (!f.read(form, sizeof form)) return false;
        if (!f.scanFor("AIFF") || !f.scanFor("COMM")) return false;
        uint32_t chunkSize, channels, frames, bits;
        if (!f.readBE(4, chunkSize) || !f.readBE(2, channels)) return false;
        if (channels != 1 && channels != 2) return false;
        if (!f.readBE(4, frames) || !f.readBE(2, bits)) return false;
        if (bits != 8 && bits != 16 && bits != 24) return false;
        uint8_t rateBytes[4];
        if (!f.read(rateBytes, sizeof rateBytes)) return false;
        sampleRate = rateFromExtended(rateBytes);

        if (!f.scanFromStart("SSND")) return false;
        uint32_t ssndSize, offsetField, blockSize;
        if (!f.readBE(4, ssndSize) || !f.readBE(4, offsetField) || !f.readBE(4, blockSize))
            return false;
        const uint64_t dataSize = static_cast<uint64_t>(frames) * (bits / 8) * channels;
        if (dataSize > f.left() || frames < 1) return false;
        if (frames > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) return false;
        const int32_t code = static_cast<int32_t>(kAiff8Mono + (bits / 8 - 1) * 2 + (channels - 1));
        return takeData(f.here(), dataSize, static_cast<int32_t>(frames), code);
    }();
    ready = 1;
    return ok;
}

void TSample::frame(int i, float& left, float& right) const {
    const int bytes = bytesPerSample(format);
    const bool stereo = (format & 1) != 0;
    const uint8_t* p = data.get() + static_cast<std::size_t>(i) * bytes * (stereo ? 2 : 1);
    left = decode(format, p);
    right = stereo ? decode(format, p + bytes) : left;
}

void TSample::getSample(float pos, float& left, float& right) const {
    if (!ready || !data || length < 1) {
        left = right = 0.0f;
        return;
    }
    if (std::isnan(pos)) pos = 0.0f;
    // Both neighbours stop at length - 2 (at 0 for a one-frame sample).
    const int last = std::max(length - 2, 0);
    auto index = [last](float x) { return truncTo(x, 0, last); };
    const int i0 = index(pos);
    const int i1 = index(pos + 1.0f);
    const float t =
        i0 == i1 ? 0.0f : std::min(pos, static_cast<float>(length - 2)) - static_cast<float>(i0);
    float a0, b0, a1, b1;
    frame(i0, a0, b0);
    frame(i1, a1, b1);
    left = a0 + (a1 - a0) * t + offset;
    right = b0 + (b1 - b0) * t + offset;
}
