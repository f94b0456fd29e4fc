// Builds the colour lookup by exhaustive search over entries 1..254 (once per movie) and the
// symmetric distance table.
#include "encoder/codec/colorlookup.h"

namespace quil {

void ColorLookup::build(const MovieColorTable& table, ColorGrid grid) {
    m_grid = grid;
    m_colors = table;
    const int cells = gridCellCount(grid);
    m_lookup.assign(size_t(cells), 1);
    // Cell numbers run red outermost, blue innermost.
    for (int cell = 0; cell < cells; ++cell) {
        const ColorEntry centre = gridCellCentre(grid, cell);
        int best = 1;
        int bestDistance = colorDistance(centre, table[1]);
        for (int i = 2; i <= 254 && bestDistance > 0; ++i) {
            const int d = colorDistance(centre, table[size_t(i)]);
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        m_lookup[size_t(cell)] = uint8_t(best);
    }
    for (size_t i = 0; i < 256; ++i) {
        for (size_t j = 0; j < 256; ++j) {
            m_distance[i * 256 + j] = colorDistance(table[i], table[j]);
        }
    }
}

} // namespace quil
