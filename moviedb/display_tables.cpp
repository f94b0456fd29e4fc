// Builds the two display conversion tables by solving, for every luma and chroma level, the
// 3x3 linear system that the encoder's colour conversion defines, in double precision.
//
// Variant 24 uses the plain construction: chroma levels centred on 7, each component clipped
// to 0..255 and truncated before it is cut to 5-6-5.
//
// Variant 25 maps each chroma level back through the inverse of the encoder's chroma curve
// and then scales the chroma by kChromaGain25. The curve flattens strong colours, so the
// level's nominal point lies nearer to the centre than the colours that land in it; a gain of
// 1.04 (any value from about 1.03 to 1.05 works) restores the saturated rows without moving
// a component by more than two 5-6-5 steps. Components are then clipped and truncated as in
// variant 24.
#include "moviedb/display_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quil {

namespace {

constexpr double kChromaGain25 = 1.04;

struct Solver {
    // Rows of the system; the solution is found once by inverting the matrix.
    double inv[3][3];

    explicit Solver(const double m[3][3]) {
        const double a = m[0][0], b = m[0][1], c = m[0][2];
        const double d = m[1][0], e = m[1][1], f = m[1][2];
        const double g = m[2][0], h = m[2][1], i = m[2][2];
        const double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
        inv[0][0] = (e * i - f * h) / det;
        inv[0][1] = (c * h - b * i) / det;
        inv[0][2] = (b * f - c * e) / det;
        inv[1][0] = (f * g - d * i) / det;
        inv[1][1] = (a * i - c * g) / det;
        inv[1][2] = (c * d - a * f) / det;
        inv[2][0] = (d * h - e * g) / det;
        inv[2][1] = (b * g - a * h) / det;
        inv[2][2] = (a * e - b * d) / det;
    }

    uint16_t color565(double y, double u, double v) const {
        int out[3];
        for (int k = 0; k < 3; ++k) {
            const double x = inv[k][0] * y + inv[k][1] * u + inv[k][2] * v;
            out[k] = int(std::clamp(x, 0.0, 255.0));
        }
        return uint16_t(((out[0] >> 3) << 11) | ((out[1] >> 2) << 5) | (out[2] >> 3));
    }
};

DisplayTable buildTable24() {
    DisplayTable table{};
    const double m[3][3] = {{7454, 14634, 2842}, {-163, -319, 482}, {482, -404, -78}};
    const Solver solver(m);
    for (int v = 0; v <= 14; ++v) {
        for (int u = 0; u <= 14; ++u) {
            for (int y = 16; y <= 125; ++y) {
                table[size_t(u + 15 * v) * 128 + size_t(y)] =
                    solver.color565(65536.0 * (y - 16), 16384.0 * (u - 7), 16384.0 * (v - 7));
            }
        }
    }
    return table;
}

// The chroma value that the encoder's curve maps onto level l, per pixel.
double chromaOfLevel25(int l) {
    const double t = double(l - 7) * 65536.0;
    return 262144.0 * t / (786432.0 - std::abs(t)) / 4.0;
}

DisplayTable buildTable25() {
    DisplayTable table{};
    const double m[3][3] = {{9836, 19310, 3750}, {-163, -318, 481}, {481, -403, -78}};
    const Solver solver(m);
    for (int lv = 0; lv <= 14; ++lv) {
        for (int lu = 0; lu <= 14; ++lu) {
            const size_t row = size_t((1 + lu) + (16 + 15 * lv));
            const double u = kChromaGain25 * chromaOfLevel25(lu);
            const double v = kChromaGain25 * chromaOfLevel25(lv);
            for (int y = 17; y <= 144; ++y) {
                table[row * 128 + size_t(y)] = solver.color565(65536.0 * (y - 17), u, v);
            }
        }
    }
    return table;
}

} // namespace

const DisplayTable& displayTable(int variant) {
    static const DisplayTable table24 = buildTable24();
    static const DisplayTable table25 = buildTable25();
    return variant == 24 ? table24 : table25;
}

void convertTruecolorToRgb32(const uint8_t* picture, int width, int screenHeight, int variant,
                             uint32_t* out, ptrdiff_t pitch) {
    const DisplayTable& table = displayTable(variant);
    const size_t w = size_t(width), half = w / 2;
    for (int j = 0; j < screenHeight / 2; ++j) {
        const uint8_t* luma0 = picture + size_t(2 * j) * w;
        const uint8_t* luma1 = luma0 + w;
        const uint8_t* chroma = picture + size_t(screenHeight + j) * w;
        uint32_t* row0 = out + ptrdiff_t(2 * j) * pitch;
        uint32_t* row1 = row0 + pitch;
        for (size_t i = 0; i < half; ++i) {
            const size_t row = (size_t(chroma[i]) + size_t(chroma[half + i])) * 128;
            const auto put = [&](uint32_t* px, uint8_t y) {
                const size_t index = row + y;
                const uint16_t c = index < table.size() ? table[index] : 0;
                *px = (*px & 0xFF000000u) | rgb32From565(c);
            };
            put(row0 + 2 * i, luma0[2 * i]);
            put(row0 + 2 * i + 1, luma0[2 * i + 1]);
            put(row1 + 2 * i, luma1[2 * i]);
            put(row1 + 2 * i + 1, luma1[2 * i + 1]);
        }
    }
}

} // namespace quil
