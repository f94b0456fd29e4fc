// The fixed movie colour tables of the grayscale and truecolor modes.
#include "encoder/codec/colormode.h"

namespace quil {

namespace {
constexpr ColorEntry kWhite = rgb(255, 255, 255);
}

MovieColorTable grayRamp(ColorGrid grid) {
    MovieColorTable table{};
    if (grid == ColorGrid::Fine) {
        for (int i = 0; i < 32; ++i) {
            const int level = i * 8 + i / 4;
            table[size_t(1 + i)] = rgb(level, level, level);
        }
    } else {
        for (int i = 0; i < 16; ++i) {
            table[size_t(1 + i)] = rgb(i * 17, i * 17, i * 17);
        }
    }
    table[0] = kWhite;
    return table;
}

MovieColorTable truecolorCodeTable(int variant) {
    MovieColorTable table{};
    if (variant == 24) {
        for (int i = 16; i <= 194; ++i) {
            if (i % 15 != 0) {
                table[size_t(i)].green = uint8_t((i - 16) * 255 / 178);
            }
        }
        for (int i = 0; i <= 14; ++i) {
            table[size_t(i)].red = uint8_t(16 * i);
        }
        for (int i = 0; i <= 210; i += 15) {
            table[size_t(i)].blue = uint8_t(i * 255 / 210);
        }
    } else {
        for (int i = 17; i <= 144; ++i) {
            if ((i - 1) % 15 != 0) {
                table[size_t(i)].green = uint8_t((i - 17) * 255 / 127);
            }
        }
        for (int i = 1; i <= 15; ++i) {
            table[size_t(i)].red = uint8_t(i * 240 / 15);
        }
        for (int i = 16; i <= 226; i += 15) {
            table[size_t(i)].blue = uint8_t(i * 240 / 226);
        }
        for (int i = 227; i <= 255; ++i) {
            table[size_t(i)].red = 10;
            table[size_t(i)].blue = 10;
        }
    }
    table[0] = kWhite;
    return table;
}

MovieColorTable fixedColorTable(const ColorModeProperties& mode) {
    if (mode.truecolor()) {
        return truecolorCodeTable(mode.truecolorVariant);
    }
    if (mode.grayscale) {
        return grayRamp(mode.grid);
    }
    MovieColorTable table{};
    table[0] = kWhite;
    return table;
}

} // namespace quil
