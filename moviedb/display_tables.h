// Display conversion of truecolor pictures: the colour of a pixel from its luma code and its
// square's U and V codes, as RGB 5-6-5 (red in the top 5 bits, green in the middle 6, blue in
// the low 5), one table per truecolor variant (24 "Truecolor", 25 "Truecolor Plus").
//
// Tables hold kDisplayTableSize entries indexed by (U code + V code) * 128 + luma code; the
// values are native 16-bit numbers (a handheld keeps them big-endian). Entries that no valid
// code reaches are 0. Rows 0..224 (variant 24) and 17..241 (variant 25) are filled; a
// variant-25 luma code above 127 reaches into the first columns of the next row, which no
// valid luma code of that row uses.
//
// API:
//   const DisplayTable& displayTable(int variant);     // 24, or 25 (any other value: 25)
//   uint16_t displayColor(int variant, int luma, int u, int v); // 0 for an index past the table
// The tables are built once, on first use, and are safe to share between threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quil {

inline constexpr size_t kDisplayTableSize = 32000; // 250 rows of 128

using DisplayTable = std::array<uint16_t, kDisplayTableSize>;

const DisplayTable& displayTable(int variant);

inline uint16_t displayColor(const DisplayTable& table, int luma, int u, int v) {
    const size_t index = size_t(u + v) * 128 + size_t(luma);
    return index < table.size() ? table[index] : 0;
}

inline uint16_t displayColor(int variant, int luma, int u, int v) {
    return displayColor(displayTable(variant), luma, u, v);
}

// Splits a 5-6-5 value into 8-bit components by repeating the top bits into the low ones.
struct Rgb888 {
    uint8_t r, g, b;
};
constexpr Rgb888 expand565(uint16_t c) {
    const int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return {uint8_t((r << 3) | (r >> 2)), uint8_t((g << 2) | (g >> 4)), uint8_t((b << 3) | (b >> 2))};
}

} // namespace quil
