// Colour counting with the pixel history and the static-pixel discount.
#include "encoder/codec/colorcount.h"

namespace quil {

void ColorAnalysis::startAnalysis(ColorGrid grid) {
    m_grid = grid;
    m_counts.assign(32768, 0);
    m_history.clear();
    m_tree.clear();
}

void ColorAnalysis::countPicture(const uint32_t* pixels, size_t count, int frameIndex) {
    if (m_counts.empty()) {
        m_counts.assign(32768, 0);
    }
    if (frameIndex == 0 || m_history.size() != count) {
        // A picture of another size than the first cannot be compared pixel by pixel;
        // its pixels start a fresh history.
        m_history.resize(count);
        for (size_t i = 0; i < count; ++i) {
            const int key = colorKey(pixels[i], m_grid);
            ++m_counts[size_t(key)];
            m_history[i] = int16_t(key);
        }
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const int key = colorKey(pixels[i], m_grid);
        ++m_counts[size_t(key)];
        if (m_history[i] != key) {
            m_history[i] = -1;
        }
    }
}

void ColorAnalysis::finishAnalysis(int frameCount) {
    if (m_counts.empty()) {
        m_counts.assign(32768, 0);
    }
    for (const int16_t key : m_history) {
        if (key >= 0) {
            m_counts[size_t(key)] += 1 - frameCount;
        }
    }
    const int keys = gridCellCount(m_grid);
    for (int key = 0; key < keys; ++key) {
        const int32_t count = m_counts[size_t(key)];
        // A counter can only fall below 1 when F exceeds the frames actually counted; such
        // a key carries no weight.
        if (count <= 0) {
            continue;
        }
        int r, g, b;
        if (m_grid == ColorGrid::Fine) {
            const int cr = key >> 10, cg = (key >> 5) & 31, cb = key & 31;
            r = (cr << 3) | (cr >> 2);
            g = (cg << 3) | (cg >> 2);
            b = (cb << 3) | (cb >> 2);
        } else {
            r = ((key >> 8) << 4) | 8;
            g = (((key >> 4) & 15) << 4) | 8;
            b = ((key & 15) << 4) | 8;
        }
        m_tree.insert(r, g, b, uint32_t(count));
    }
}

int ColorAnalysis::buildPalette(MovieColorTable& table) {
    m_tree.reduce();
    return m_tree.writePalette(table);
}

void ColorAnalysis::release() {
    m_counts = {};
    m_history = {};
    m_tree.clear();
}

} // namespace quil
