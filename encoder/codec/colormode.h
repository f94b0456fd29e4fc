// Colour modes and the colour arithmetic every part of the coder shares.
//
// A mode is chosen by nColorDepth and fUseGrayscale. colorModeProperties() gives what the
// movie header and the coder need: colour mode code, bits-per-pixel field, picture rows,
// colour grid and truecolor variant. A movie colour table has 256 entries of blue, green,
// red and a zero byte; entry 0 is always white.
//
// API:
//   ColorModeProperties colorModeProperties(int32_t nColorDepth, bool fUseGrayscale);
//   int colorDistance(r1, g1, b1, r2, g2, b2) / colorDistance(ColorEntry, ColorEntry);
//   int gridCell(ColorGrid, r, g, b); ColorEntry gridCellCentre(ColorGrid, cell);
//   MovieColorTable grayRamp(ColorGrid); MovieColorTable truecolorCodeTable(variant);
//   MovieColorTable fixedColorTable(const ColorModeProperties&); // gray or truecolor modes
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quil {

enum class ColorGrid : uint8_t {
    Coarse, // 16 levels per channel, 12-bit colour keys
    Fine,   // 32 levels per channel, 15-bit colour keys
};

struct ColorEntry {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;

    friend constexpr bool operator==(const ColorEntry&, const ColorEntry&) = default;
};

constexpr ColorEntry rgb(int r, int g, int b) {
    return ColorEntry{uint8_t(b), uint8_t(g), uint8_t(r), 0};
}

using MovieColorTable = std::array<ColorEntry, 256>;

inline constexpr int kColorModeStdPalette = 0;
inline constexpr int kColorModeGrayscale = 1;
inline constexpr int kColorModeAudioOnly = 2;
inline constexpr int kColorModeExtPalette = 3;
inline constexpr int kColorModeTruecolor = 4;
inline constexpr int kColorModeTruecolorPlus = 5;

struct ColorModeProperties {
    int colorModeCode = 0; // header byte: 0, 1, 3, 4 or 5
    int bitsPerPixel = 8;  // header field: 8, or 16 with the truecolor layout
    ColorGrid grid = ColorGrid::Fine;
    bool grayscale = false;
    int truecolorVariant = 0; // 0 for the 8-bit modes, else 24 or 25

    constexpr bool truecolor() const { return truecolorVariant != 0; }
    // Rows of a stored picture: the screen height, or luma plus chroma rows (1.5 times).
    constexpr int pictureRows(int screenHeight) const {
        return truecolor() ? screenHeight + screenHeight / 2 : screenHeight;
    }
};

// Grayscale takes precedence over the depth for every property, not only the mode code: a
// grayscale movie is always stored as 8-bit gray ramp codes, so its header and its pictures
// agree whatever depth was stored beside the flag.
constexpr ColorModeProperties colorModeProperties(int32_t nColorDepth, bool fUseGrayscale) {
    ColorModeProperties p;
    p.grid = nColorDepth > 15 ? ColorGrid::Fine : ColorGrid::Coarse;
    if (fUseGrayscale) {
        p.colorModeCode = kColorModeGrayscale;
        p.grayscale = true;
        return p;
    }
    if (nColorDepth >= 24) {
        p.truecolorVariant = nColorDepth >= 25 ? 25 : 24;
        p.colorModeCode = nColorDepth >= 25 ? kColorModeTruecolorPlus : kColorModeTruecolor;
        p.bitsPerPixel = 16;
    } else {
        p.colorModeCode = nColorDepth <= 12 ? kColorModeStdPalette : kColorModeExtPalette;
    }
    return p;
}

// (77 dR^2 + 150 dG^2 + 29 dB^2 + 128) >> 8, from 0 to 65,025.
constexpr int colorDistance(int r1, int g1, int b1, int r2, int g2, int b2) {
    const int dr = r1 - r2, dg = g1 - g2, db = b1 - b2;
    return (77 * dr * dr + 150 * dg * dg + 29 * db * db + 128) >> 8;
}
constexpr int colorDistance(const ColorEntry& a, const ColorEntry& b) {
    return colorDistance(a.red, a.green, a.blue, b.red, b.green, b.blue);
}

constexpr int gridLevels(ColorGrid grid) {
    return grid == ColorGrid::Fine ? 32 : 16;
}
constexpr int gridCellCount(ColorGrid grid) {
    return grid == ColorGrid::Fine ? 32768 : 4096;
}
constexpr int colorKeyWidth(ColorGrid grid) {
    return grid == ColorGrid::Fine ? 15 : 12;
}

// Cell of a colour (components 0..255): red in the top bits, blue in the low ones.
constexpr int gridCell(ColorGrid grid, int r, int g, int b) {
    if (grid == ColorGrid::Fine) {
        return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
    }
    return ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4);
}

// The centre colour of a cell: (8r + 4, ...) on the fine grid, (16r + 8, ...) on the coarse.
constexpr ColorEntry gridCellCentre(ColorGrid grid, int cell) {
    if (grid == ColorGrid::Fine) {
        return rgb(((cell >> 10) & 31) * 8 + 4, ((cell >> 5) & 31) * 8 + 4, (cell & 31) * 8 + 4);
    }
    return rgb(((cell >> 8) & 15) * 16 + 8, ((cell >> 4) & 15) * 16 + 8, (cell & 15) * 16 + 8);
}

// Gray ramp: entries 1..32 hold i * 8 + i / 4 on the fine grid, 1..16 hold i * 17 on the
// coarse grid; the rest are black and entry 0 is white.
MovieColorTable grayRamp(ColorGrid grid);

// Fixed code table of truecolor variant 24 or 25: luma codes carry green, U codes red and
// V codes blue; entry 0 is white.
MovieColorTable truecolorCodeTable(int variant);

// The fixed table of the grayscale and truecolor modes (palette modes have none: all black
// but entry 0).
MovieColorTable fixedColorTable(const ColorModeProperties& mode);

} // namespace quil
