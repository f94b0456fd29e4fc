// Colour analysis of a palette movie: the first pass counts every prepared picture's colour
// keys, remembers per pixel whether its key ever changed, and at the end gives pixels that
// never changed the weight of a single frame (a static background should not crowd out the
// colours of what moves). The counted keys then fill the octree, which is reduced to the
// movie's 254 palette entries.
//
// Typical use by the engine:
//   ColorAnalysis a;  a.startAnalysis(grid);
//   for each frame n: a.countPicture(pixels, count, n);
//   a.finishAnalysis(F);  a.buildPalette(table);  ...  a.release();
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/codec/colormode.h"
#include "encoder/codec/octree.h"

namespace quil {

// Colour key of a 0x00RRGGBB pixel: its grid cell, 15 bits on the fine grid, 12 on the coarse.
constexpr int colorKey(uint32_t pixel, ColorGrid grid) {
    return gridCell(grid, int((pixel >> 16) & 255), int((pixel >> 8) & 255), int(pixel & 255));
}

class ColorAnalysis {
public:
    // Clears the colour counts, the pixel history and the octree.
    void startAnalysis(ColorGrid grid);
    // Counts one picture of `count` 0x00RRGGBB pixels (the same pixel order every frame).
    // Frame 0 stores the keys in the pixel history; later frames mark changed pixels.
    void countPicture(const uint32_t* pixels, size_t count, int frameIndex);
    // Gives every static pixel one count instead of F and fills the octree with the
    // non-zero counters in key order.
    void finishAnalysis(int frameCount);
    // Reduces the octree to at most 254 leaves and writes entries 1..254 of the table
    // (entries past the last leaf black). Entry 0 is left to the caller. Returns the number
    // of palette entries made.
    int buildPalette(MovieColorTable& table);
    // Frees the per-job state.
    void release();

    const std::vector<int32_t>& counts() const { return m_counts; }

private:
    ColorGrid m_grid = ColorGrid::Fine;
    std::vector<int32_t> m_counts;
    std::vector<int16_t> m_history;
    ColorOctree m_tree;
};

} // namespace quil
