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
//   void convertTruecolorToRgb32(picture, width, screenHeight, variant, out, pitch);
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

// A 5-6-5 colour as 0x00RRGGBB, each field in the top bits of its byte and zeros below, as
// the player shows it.
constexpr uint32_t rgb32From565(uint16_t c) {
    const uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return (r << 19) | (g << 10) | (b << 3);
}

// Shows a truecolor picture (width x (screenHeight + screenHeight / 2) codes) as 32-bit
// pixels: out receives screenHeight rows of width pixels, pitch pixels apart, top row first.
// Each pixel's low three bytes (blue, green, red) are written; its top byte is kept.
// width and screenHeight must be even.
void convertTruecolorToRgb32(const uint8_t* picture, int width, int screenHeight, int variant,
                             uint32_t* out, ptrdiff_t pitch);

} // namespace quil
