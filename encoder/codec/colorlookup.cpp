// Builds the colour lookup by exhaustive search over entries 1..254 (once per movie) and the
// symmetric distance table.
#include "encoder/codec/colorlookup.h"

namespace quil {

void ColorLookup::build(const ColorTable& table, bool fineGrid) {
    m_fine = fineGrid;
    m_colors = table;
    const int levels = fineGrid ? 32 : 16;
    const int step = fineGrid ? 8 : 16;
    const int half = step / 2;
    m_lookup.assign(size_t(levels) * levels * levels, 1);
    size_t cell = 0;
    for (int r = 0; r < levels; ++r) {
        for (int g = 0; g < levels; ++g) {
            for (int b = 0; b < levels; ++b) {
                const uint32_t centre = makeColor(r * step + half, g * step + half, b * step + half);
                int best = 1;
                int32_t bestDistance = lookupColorDistance(centre, table[1]);
                for (int i = 2; i <= 254 && bestDistance > 0; ++i) {
                    const int32_t d = lookupColorDistance(centre, table[size_t(i)]);
                    if (d < bestDistance) {
                        bestDistance = d;
                        best = i;
                    }
                }
                m_lookup[cell++] = uint8_t(best);
            }
        }
    }
    for (int i = 0; i < 256; ++i) {
        for (int j = 0; j < 256; ++j) {
            m_distance[size_t(i) * 256 + size_t(j)] =
                lookupColorDistance(table[size_t(i)], table[size_t(j)]);
        }
    }
}

} // namespace quil
