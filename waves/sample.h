// The sample reader: one WAV or AIFF file read completely into memory, and
// interpolated stereo values at fractional frame positions.
//
// The bytes are kept as the file stores them (interleaved left, right for
// stereo) and decoded on every read by the format code:
//
//   code  file  bits  channels  value
//    0/1  WAV    8    1/2       unsigned byte b: (b - 128) / 128
//    2/3  WAV   16    1/2       little-endian signed 16-bit s: s / 32768
//    4/5  WAV   24    1/2       the upper 16 bits (bytes 2 and 3) as s / 32768
//    6/7  WAV   32    1/2       little-endian IEEE single, unscaled
//    8/9  AIFF   8    1/2       signed byte b: b / 128
//  10/11  AIFF  16    1/2       big-endian signed 16-bit s: s / 32768
//  12/13  AIFF  24    1/2       the upper 16 bits (bytes 1 and 2) as s / 32768
//
// A mono value is used for both sides. The loaders look for chunk
// identifiers byte by byte (wherever the four bytes appear in a row) rather
// than walking the chunk list, and check every size against the bytes the
// file really holds, so a truncated or hostile file is refused: the buffer
// of a load is never larger than the file plus 4096 spare bytes.
//
// A failed load leaves the previous sample (buffer, length, loop points,
// format, loaded flag) in place; only sampleRate may already hold the rate
// read from the refused file. Nothing is reported to the user here. A file
// is read whole (at most kMaxFileBytes, a regular file only) and then parsed
// in memory.
//
// Threads: main thread only (sample import). Reading allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The global conversion tables of the 8- and 16-bit formats, filled once per
// process by fillSampleConvertTables() (the reader and the plug-in's
// construction both make sure they are filled).
//   sampleConvert[hi * 256 + lo]  the 16-bit pattern as signed, / 32768
//   wave8BitConvert[b]            unsigned byte: (b - 128) / 128
//   au8BitConvert[b]              signed byte: int8(b) / 128
extern float sampleConvert[65536];
extern float wave8BitConvert[256];
extern float au8BitConvert[256];
void fillSampleConvertTables();

class TSample {
public:
    // Format codes.
    enum Format : int32_t {
        kWav8Mono = 0,
        kWav8Stereo = 1,
        kWav16Mono = 2,
        kWav16Stereo = 3,
        kWav24Mono = 4,
        kWav24Stereo = 5,
        kWavFloatMono = 6,
        kWavFloatStereo = 7,
        kAiff8Mono = 8,
        kAiff8Stereo = 9,
        kAiff16Mono = 10,
        kAiff16Stereo = 11,
        kAiff24Mono = 12,
        kAiff24Stereo = 13,
    };
    // Spare bytes behind the sample bytes of every load.
    static constexpr int kSpareBytes = 4096;
    // Bytes of the name buffer, terminator included.
    static constexpr int kNameSize = 256;

    TSample();

    // The path to load next. A path longer than 255 bytes is refused: the
    // name is emptied (so the next load fails to open) and false returned.
    bool setName(const char* path);
    // Largest sample file read (a regular file only, platform/file_io.h).
    static constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;

    // Loads the named file as WAV (AIFF); true on success.
    bool loadWav();
    bool loadAiff();
    // Loads a whole file's bytes, already in memory, as WAV (AIFF): the same
    // checks and results as the file loaders, without file access.
    bool parseWav(const uint8_t* bytes, std::size_t size);
    bool parseAiff(const uint8_t* bytes, std::size_t size);
    // length - 1: the last frame index.
    int getLen() const { return length - 1; }
    // Linearly interpolated left and right values at frame position pos,
    // plus offset; both 0 while no sample can be read (never loaded, or a
    // load is running). Positions outside the sample read its first frame
    // or frame length - 2; the last frame is never read.
    void getSample(float pos, float& left, float& right) const;

    std::unique_ptr<uint8_t[]> data; // sample bytes of the last successful load
    char name[kNameSize];
    uint8_t loaded = 0;
    uint8_t ready = 0;
    float sampleRate = 44100.0f;
    float offset = 1e-15f;
    int32_t length = 100;
    int32_t loopStart = 0;
    int32_t loopEnd = 0;
    int32_t format = kWav8Mono;

private:
    bool loadWith(bool (TSample::*parse)(const uint8_t*, std::size_t));
    // Decoded left and right values of frame i (0 <= i < length).
    void frame(int i, float& left, float& right) const;
    // Copies size bytes into a new buffer and takes it as the sample; false
    // (nothing changed) when the memory is not there.
    bool takeData(const uint8_t* bytes, uint64_t size, int32_t frames, int32_t code);
};
