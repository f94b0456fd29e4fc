// IMA ADPCM as stored in the audio records of a movie: the shared step and index tables,
// the per-sample coder and decoder, and the record layout (65536 four-bit codes in 32768
// bytes, high nibble first, then a 4-byte trailer holding the coder state after the last
// sample). Every odd-numbered sample of a record is coded with its sign inverted; the
// decoder undoes that with a bitwise complement. The coder state runs on from one record
// into the next, so a decoder that plays records in order keeps its state between them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quil {

inline constexpr int kAdpcmStepCount = 89;
inline constexpr size_t kAdpcmRecordCodeBytes = 32768;
inline constexpr size_t kAdpcmRecordSamples = 2 * kAdpcmRecordCodeBytes;
inline constexpr size_t kAdpcmTrailerBytes = 4;
inline constexpr size_t kAdpcmRecordBytes = kAdpcmRecordCodeBytes + kAdpcmTrailerBytes;

// step for each step index, 7 ... 32767
extern const std::array<int16_t, kAdpcmStepCount> kAdpcmStepTable;
// step index adjustment for each code; the sign bit (8) does not change it
extern const std::array<int8_t, 16> kAdpcmIndexAdjust;

// Predictor and step index (0..88). A conversion and a playback both start from {0, 0}.
struct AdpcmState {
    int16_t predictor = 0;
    uint8_t index = 0;
    bool operator==(const AdpcmState&) const = default;
};

// Codes one sample and advances the state; returns the 4-bit code.
uint8_t AdpcmEncodeSample(AdpcmState& state, int16_t sample);
// Decodes one 4-bit code (upper bits ignored) and advances the state; returns the predictor.
int16_t AdpcmDecodeCode(AdpcmState& state, uint8_t code);

// Codes count samples into (count + 1) / 2 bytes, the even-numbered sample in the high
// nibble; an odd count leaves a zero low nibble in the last byte.
void AdpcmEncodeBlock(const int16_t* samples, size_t count, uint8_t* out, AdpcmState& state);

// Decodes samples first .. first + count - 1 of a record's code bytes into out, with the
// odd-numbered samples complemented back. Samples past the code bytes are not decoded:
// returns the number of samples written (count clipped to 2 * codes.size() - first).
size_t AdpcmDecodeSamples(std::span<const uint8_t> codes, size_t first, size_t count,
                          AdpcmState& state, int16_t* out);

// Number of samples an audio record of recordSize bytes holds (the trailer is not decoded).
constexpr size_t AdpcmRecordCapacity(size_t recordSize) {
    return 2 * (recordSize < kAdpcmRecordCodeBytes ? recordSize : kAdpcmRecordCodeBytes);
}

// 0x00, step index, predictor high byte, predictor low byte.
std::array<uint8_t, kAdpcmTrailerBytes> AdpcmMakeTrailer(const AdpcmState& state);
// Reads the trailer of a full ADPCM record; false when the record is too short or the
// stored step index is out of range.
bool AdpcmParseTrailer(std::span<const uint8_t> record, AdpcmState& state);

} // namespace quil
