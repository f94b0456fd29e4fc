// Record 0 of a movie database: a 44-byte fixed part (geometry, colour mode, audio format,
// rate, key frame interval, flags, string offsets, frame count, first audio record, frame
// period) followed by the string area: title, NUL, author, NUL, and the empty third string's
// NUL. The fourth-string offset equals the record's length. A password scrambles the fixed
// part only; its marker at offset 0 is non-zero while it is scrambled.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quil {

inline constexpr int kMovieHeaderFixedSize = 44;

enum MovieFlag : uint16_t {
    kMovieFlagLoop = 1,        // loop on playback
    kMovieFlagHasAudio = 2,    // the movie has audio records
    kMovieFlagPeriodValid = 4, // the frame period at offset 40 is valid
    kMovieFlagHold = 8,        // hold the last frame and wait for a tap
};

// Colour mode codes at offset 11.
enum ColorModeCode : uint8_t {
    kColorModeStdPalette = 0,
    kColorModeGrayscale = 1,
    kColorModeAudioOnly = 2,
    kColorModeExtPalette = 3,
    kColorModeTruecolor = 4,
    kColorModeTruecolorPlus = 5,
};

// Audio format codes at offset 10.
enum AudioFormatCode : uint8_t {
    kAudioFormatStandard = 0, // 8-bit, 10000 samples/s
    kAudioFormatAdpcm = 1,    // 4-bit IMA ADPCM, 10000 samples/s
    kAudioFormatHifi = 2,     // 8-bit, 20000 samples/s
};

enum class MovieHeaderError {
    Ok = 0,
    TooShort,      // fewer than 44 bytes
    BadStringArea, // a string offset outside the record, or a string without its NUL
};

struct MovieHeader {
    uint16_t scrambleMarker = 0;
    uint16_t fixedLength = kMovieHeaderFixedSize;
    uint16_t width = 0;
    uint16_t rows = 0;
    uint16_t bitsPerPixel = 0;
    uint8_t audioFormat = kAudioFormatStandard;
    uint8_t colorMode = kColorModeStdPalette;
    uint16_t msPerFrame = 0;
    uint16_t framesPerSecond = 0;
    uint16_t keyFrameInterval = 0; // frames; 0 = only the first frame is a key frame
    uint16_t flags = 0;
    // Offsets of the strings from the start of the record. encode() derives them from the
    // strings; decode() reports what the record holds.
    uint32_t titleOffset = kMovieHeaderFixedSize;
    uint32_t authorOffset = 0;
    uint32_t thirdOffset = 0;
    uint32_t fourthOffset = 0;
    uint16_t frameCount = 0; // audio-only movies: playing time in tenths of a second
    uint16_t firstAudioRecord = 0;
    uint32_t framePeriod = 0; // frame duration in 1/10 ms as 16.16 fixed point
    std::string title;
    std::string author;

    // Milliseconds per frame, rounded frames per second and the frame period for an output
    // rate (positive), each rounded half up; sets the period-valid flag.
    void setFrameRate(double rate);
    // The rate a player derives: 655360000 / period when the period is valid and non-zero,
    // else the whole frames per second.
    double frameRate() const;
    bool hasAudio() const { return (flags & kMovieFlagHasAudio) != 0; }
    bool isScrambled() const { return scrambleMarker != 0; }

    // The header of an audio-only movie: no picture, colour mode 2, the fixed rate of 10,
    // playing time in tenths of a second in the frame-count field.
    static MovieHeader audioOnly(uint8_t audioFormat, bool hasAudio, uint16_t tenths);

    // The whole record; strings are cut at an embedded NUL.
    std::vector<uint8_t> encode() const;
    // Fills out from a record. With TooShort nothing is filled; with BadStringArea the fixed
    // fields are filled and the strings left empty.
    [[nodiscard]] static MovieHeaderError decode(std::span<const uint8_t> record, MovieHeader& out);
};

} // namespace quil
