// The colour octree that turns the counted colours of a movie into at most 254 palette
// entries. Every node sits in the list of its depth (newest at the head); reduction always
// folds the lightest parent of the deepest list, and the palette is written by walking the
// depth lists top down. Nodes live in one pool and refer to each other by index, so the
// tree is freed in one go and never leaks on a stopped job.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/codec/colormode.h"

namespace quil {

class ColorOctree {
public:
    static constexpr int kMaxLeaves = 254;
    static constexpr int kDepths = 8;

    ColorOctree();

    // Adds colour (r, g, b) with weight w; see the file note for the node rules.
    void insert(int r, int g, int b, uint32_t w);
    // Folds nodes until at most 254 leaves remain (or nothing is left to fold).
    void reduce();
    // Writes one entry per leaf from index 1, in depth-list order, as (mean & 248) + 4 per
    // channel; the entries after the last leaf up to 254 become black. Returns the number of
    // leaves written.
    int writePalette(MovieColorTable& table);

    int leafCount() const { return m_leafCount; }
    void clear();

private:
    static constexpr int32_t kNone = -1;
    struct Node {
        int32_t prev = kNone;
        int32_t next = kNone;
        int32_t parent = kNone;
        std::array<int32_t, 8> children{kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone};
        uint32_t weight = 0;
        uint64_t redSum = 0;
        uint64_t greenSum = 0;
        uint64_t blueSum = 0;
        uint8_t mask = 0;
        uint8_t depth = 0;
        uint8_t paletteIndex = 0;
        bool leaf = false;
    };

    int32_t newNode(int32_t parent, uint8_t mask, uint8_t depth);
    void unlink(int32_t n);

    std::vector<Node> m_nodes;
    std::vector<int32_t> m_free;
    std::array<int32_t, kDepths> m_heads{};
    int m_leafDepthLimit = 4;
    int m_leafCount = 0;
};

} // namespace quil
