// Truecolor conversion, one 2x2 square at a time: four luma codes from each pixel's own
// colour, one U and one V code from the square's sums. All shifts of signed values round
// towards minus infinity.
#include "encoder/codec/truecolor.h"

#include <algorithm>
#include <cstdlib>

namespace quil {

namespace {

constexpr int red(uint32_t p) {
    return int((p >> 16) & 0xFF);
}
constexpr int green(uint32_t p) {
    return int((p >> 8) & 0xFF);
}
constexpr int blue(uint32_t p) {
    return int(p & 0xFF);
}

} // namespace

uint8_t truecolorLuma(int variant, int r, int g, int b) {
    if (variant == 24) {
        int y = 16 + ((7454 * r + 14634 * g + 2842 * b) >> 16);
        if (y % 15 == 0) {
            ++y;
        }
        return uint8_t(y);
    }
    int y = 17 + ((9836 * r + 19310 * g + 3750 * b) >> 16);
    if ((y - 16) % 15 == 0) {
        ++y;
    }
    return uint8_t(y);
}

// t = 786432 a / (262144 + |a|) truncated towards zero. Integer division gives the same value
// as the division in double precision: a non-integral quotient lies at least
// 1 / (262144 + |a|) from an integer, far more than a double's rounding error at this size.
int chromaLevel25(int32_t a) {
    const int64_t t = (int64_t{786432} * a) / (int64_t{262144} + std::abs(int64_t{a}));
    return std::clamp(int((t + 490620) >> 16), 0, 14);
}

TruecolorSquare truecolorSquare(int variant, uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br) {
    TruecolorSquare s{};
    const uint32_t px[4] = {tl, tr, bl, br};
    int sr = 0, sg = 0, sb = 0;
    for (int k = 0; k < 4; ++k) {
        const int r = red(px[k]), g = green(px[k]), b = blue(px[k]);
        s.luma[k] = truecolorLuma(variant, r, g, b);
        sr += r;
        sg += g;
        sb += b;
    }
    if (variant == 24) {
        s.u = uint8_t(std::clamp((482 * sb - 319 * sg - 163 * sr + 491520) >> 16, 0, 14));
        const int level = std::clamp((482 * sr - 404 * sg - 78 * sb + 491520) >> 16, 0, 14);
        s.v = uint8_t(15 * level);
    } else {
        s.u = uint8_t(1 + chromaLevel25(481 * sb - 318 * sg - 163 * sr));
        s.v = uint8_t(16 + 15 * chromaLevel25(481 * sr - 403 * sg - 78 * sb));
    }
    return s;
}

void convertPictureToTruecolor(int variant, const uint32_t* topRow, ptrdiff_t pitch, int width,
                               int screenHeight, uint8_t* picture) {
    const size_t w = size_t(width);
    const size_t half = w / 2;
    for (int j = 0; j < screenHeight / 2; ++j) {
        const uint32_t* row0 = topRow + ptrdiff_t(2 * j) * pitch;
        const uint32_t* row1 = row0 + pitch;
        uint8_t* luma0 = picture + size_t(2 * j) * w;
        uint8_t* luma1 = luma0 + w;
        uint8_t* chroma = picture + size_t(screenHeight + j) * w;
        for (size_t i = 0; i < half; ++i) {
            const TruecolorSquare s = truecolorSquare(variant, row0[2 * i], row0[2 * i + 1],
                                                      row1[2 * i], row1[2 * i + 1]);
            luma0[2 * i] = s.luma[0];
            luma0[2 * i + 1] = s.luma[1];
            luma1[2 * i] = s.luma[2];
            luma1[2 * i + 1] = s.luma[3];
            chroma[i] = s.u;
            chroma[half + i] = s.v;
        }
    }
}

} // namespace quil
