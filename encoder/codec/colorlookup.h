// The two lookup tables every colour mode builds from its movie colour table: the colour
// lookup (grid cell -> nearest pixel code among entries 1..254) and the distance table
// (colour distance between any two pixel codes). After they are built, converting a pixel
// or a mean colour costs one load, and every error the frame coder measures is a sum of
// distance-table loads.
//
// API:
//   ColorLookup l; l.build(table, grid);
//   l.codeForCell(r, g, b)    // grid levels
//   l.codeForColor(0x00RRGGBB)
//   l.distance(a, b), l.distanceRow(a)[b]
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/codec/colormode.h"

namespace quil {

class ColorLookup {
public:
    // Builds both tables. Entries 0 and 255 of the table are never chosen by the colour
    // lookup; on equal distances the lower index wins.
    void build(const MovieColorTable& table, ColorGrid grid);

    ColorGrid grid() const { return m_grid; }
    bool fineGrid() const { return m_grid == ColorGrid::Fine; }
    const MovieColorTable& colors() const { return m_colors; }

    // Pixel code of grid cell (r, g, b), each a grid level (0..31 fine, 0..15 coarse).
    uint8_t codeForCell(int r, int g, int b) const {
        return fineGrid() ? m_lookup[size_t((r << 10) | (g << 5) | b)]
                          : m_lookup[size_t((r << 8) | (g << 4) | b)];
    }
    // Pixel code of a 0x00RRGGBB colour: its grid cell's entry.
    uint8_t codeForColor(uint32_t rgb) const {
        return m_lookup[size_t(gridCell(m_grid, int((rgb >> 16) & 255), int((rgb >> 8) & 255),
                                        int(rgb & 255)))];
    }
    // One pixel code per grid cell, gridCellCount(grid()) entries.
    const std::vector<uint8_t>& lookup() const { return m_lookup; }

    int32_t distance(uint8_t a, uint8_t b) const { return m_distance[(size_t(a) << 8) | b]; }
    // Row a of the distance table: distanceRow(a)[b] == distance(a, b).
    const int32_t* distanceRow(uint8_t a) const { return &m_distance[size_t(a) << 8]; }

private:
    ColorGrid m_grid = ColorGrid::Fine;
    MovieColorTable m_colors{};
    std::vector<uint8_t> m_lookup;
    std::vector<int32_t> m_distance = std::vector<int32_t>(65536, 0);
};

} // namespace quil
