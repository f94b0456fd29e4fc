// The two lookup tables every colour mode builds from its movie colour table: the colour
// lookup (grid cell -> nearest pixel code among entries 1..254) and the distance table
// (colour distance between any two pixel codes). After they are built, converting a pixel
// or a mean colour costs one load, and every error the frame coder measures is a sum of
// distance-table loads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quil {

// 256 movie colour table entries, each 0x00RRGGBB (in memory: blue, green, red, 0).
using ColorTable = std::array<uint32_t, 256>;

constexpr int colorRed(uint32_t c) { return int((c >> 16) & 0xFF); }
constexpr int colorGreen(uint32_t c) { return int((c >> 8) & 0xFF); }
constexpr int colorBlue(uint32_t c) { return int(c & 0xFF); }
constexpr uint32_t makeColor(int r, int g, int b) {
    return (uint32_t(r & 0xFF) << 16) | (uint32_t(g & 0xFF) << 8) | uint32_t(b & 0xFF);
}

// (77 dR^2 + 150 dG^2 + 29 dB^2 + 128) >> 8, 0..65025.
constexpr int32_t lookupColorDistance(uint32_t a, uint32_t b) {
    const int dr = colorRed(a) - colorRed(b);
    const int dg = colorGreen(a) - colorGreen(b);
    const int db = colorBlue(a) - colorBlue(b);
    return (77 * dr * dr + 150 * dg * dg + 29 * db * db + 128) >> 8;
}

class ColorLookup {
public:
    // Builds both tables. fineGrid selects the 32-level grid (15-bit keys), otherwise the
    // 16-level grid (12-bit keys). Entries 0 and 255 of the table are never chosen by the
    // colour lookup; on equal distances the lower index wins.
    void build(const ColorTable& table, bool fineGrid);

    bool fineGrid() const { return m_fine; }
    const ColorTable& colors() const { return m_colors; }

    // Pixel code of grid cell (r, g, b), each a grid level (0..31 fine, 0..15 coarse).
    uint8_t codeForCell(int r, int g, int b) const {
        return m_fine ? m_lookup[size_t((r << 10) | (g << 5) | b)]
                      : m_lookup[size_t((r << 8) | (g << 4) | b)];
    }
    // Pixel code of an RGB colour (its grid cell's entry).
    uint8_t codeForColor(uint32_t rgb) const {
        return m_fine ? codeForCell(colorRed(rgb) >> 3, colorGreen(rgb) >> 3, colorBlue(rgb) >> 3)
                      : codeForCell(colorRed(rgb) >> 4, colorGreen(rgb) >> 4, colorBlue(rgb) >> 4);
    }
    const std::vector<uint8_t>& lookup() const { return m_lookup; }

    int32_t distance(uint8_t a, uint8_t b) const { return m_distance[(size_t(a) << 8) | b]; }
    // Row a of the distance table: distanceRow(a)[b] == distance(a, b).
    const int32_t* distanceRow(uint8_t a) const { return &m_distance[size_t(a) << 8]; }

private:
    bool m_fine = true;
    ColorTable m_colors{};
    std::vector<uint8_t> m_lookup;
    std::vector<int32_t> m_distance = std::vector<int32_t>(65536, 0);
};

} // namespace quil
