// Constant tables of MPEG audio layers I to III (ISO/IEC 11172-3, 13818-3).
// Rows and columns are named at each declaration; the values live in mpegaudio_tables.cpp.
#pragma once

#include <array>
#include <cstdint>

namespace quil::mpeg {

// Bit rates in kbit/s: [lsf][layer - 1][bitrate index]; index 0 (free format) and 15 are 0.
extern const std::array<std::array<std::array<uint16_t, 16>, 3>, 2> kBitrateKbps;
// Sampling rates in Hz: [lsf][sampling-rate index]; index 3 is reserved (0).
extern const std::array<std::array<uint32_t, 4>, 2> kSampleRate;

// Synthesis window of ISO/IEC 11172-3 (Table B.3), 512 taps, in units of 2^-16: every
// entry of the published table is such a multiple, so integers hold it exactly.
extern const std::array<int32_t, 512> kSynthesisWindow;

// One Layer III Huffman table for pairs: codes[x * ylen + y] with lengths lens[x * ylen + y].
struct HuffPairSource {
    const uint16_t* codes;
    const uint8_t* lens;
    uint8_t ylen; // 0 for an unused table
    uint8_t linbits;
};
extern const std::array<HuffPairSource, 32> kHuffPairs;
// The two count1 tables (quadruples v w x y packed as v<<3|w<<2|x<<1|y): [table][value].
extern const std::array<std::array<uint8_t, 16>, 2> kHuffQuadCodes;
extern const std::array<std::array<uint8_t, 16>, 2> kHuffQuadLens;

// Layer III scalefactor band boundaries: [lsf * 3 + sampling-rate index].
extern const std::array<std::array<uint16_t, 23>, 6> kSfbLong;
extern const std::array<std::array<uint16_t, 14>, 6> kSfbShort;
// Pre-emphasis added to long-block scalefactors when preflag is set, per band.
extern const std::array<uint8_t, 22> kPretab;
// MPEG-1 scalefactor bit counts by scalefac_compress: [0] slen1, [1] slen2.
extern const std::array<std::array<uint8_t, 16>, 2> kSlen;
// Lower-sampling-rate scalefactor counts per slen group: [table][block kind: long, short,
// mixed][group].
extern const std::array<std::array<std::array<uint8_t, 4>, 3>, 6> kLsfSfbCount;

// Layer II allocation: one row per subband of a table, nbal bits and the quantisation
// class for each allocation index (0 means not allocated).
struct AllocRow {
    uint8_t nbal;
    std::array<uint8_t, 16> quant; // index into kQuantClass; 0xff = no allocation
};
struct AllocTable {
    uint8_t sblimit;
    const AllocRow* rows; // sblimit rows
};
// [0] 27 subbands, [1] 30 subbands, [2] 8 subbands, [3] 12 subbands, [4] lower sampling rates.
extern const std::array<AllocTable, 5> kAllocTables;

// Layer II quantisation classes: steps, bits per code word, grouped (3 samples in one word).
struct QuantClass {
    uint32_t steps;
    uint8_t bits;
    bool grouped;
};
extern const std::array<QuantClass, 17> kQuantClass;

} // namespace quil::mpeg
