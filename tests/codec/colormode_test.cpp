// Colour mode properties, colour distance, grids and the fixed colour tables.
#include "encoder/codec/colormode.h"

#include <gtest/gtest.h>

namespace {

using namespace quil;

struct ModeCase {
    int depth;
    bool gray;
    int code, bits, rows240;
    ColorGrid grid;
    int variant;
};

TEST(ColorMode, PropertiesFromDepthAndGrayscale) {
    const ModeCase cases[] = {
        {11, false, 0, 8, 240, ColorGrid::Coarse, 0}, // "Std Color Palette"
        {12, false, 0, 8, 240, ColorGrid::Coarse, 0},
        {13, false, 3, 8, 240, ColorGrid::Coarse, 0},
        {15, false, 3, 8, 240, ColorGrid::Coarse, 0},
        {16, false, 3, 8, 240, ColorGrid::Fine, 0}, // "Ext Color Palette"
        {23, false, 3, 8, 240, ColorGrid::Fine, 0},
        {24, false, 4, 16, 360, ColorGrid::Fine, 24}, // "Truecolor"
        {25, false, 5, 16, 360, ColorGrid::Fine, 25}, // "Truecolor Plus"
        {32, false, 5, 16, 360, ColorGrid::Fine, 25},
        {16, true, 1, 8, 240, ColorGrid::Fine, 0}, // "Grayscale"
        {11, true, 1, 8, 240, ColorGrid::Coarse, 0},
        // Grayscale keeps its 8-bit layout beside a truecolor depth, so header and
        // pictures agree.
        {25, true, 1, 8, 240, ColorGrid::Fine, 0},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.depth << " gray " << c.gray);
        const ColorModeProperties p = colorModeProperties(c.depth, c.gray);
        EXPECT_EQ(p.colorModeCode, c.code);
        EXPECT_EQ(p.bitsPerPixel, c.bits);
        EXPECT_EQ(p.pictureRows(240), c.rows240);
        EXPECT_EQ(p.grid, c.grid);
        EXPECT_EQ(p.truecolorVariant, c.variant);
        EXPECT_EQ(p.truecolor(), c.variant != 0);
        EXPECT_EQ(p.grayscale, c.gray);
    }
    EXPECT_EQ(colorModeProperties(24, false).pictureRows(160), 240);
    EXPECT_EQ(colorModeProperties(25, false).pictureRows(384), 576);
}

TEST(ColorDistance, WeightsRoundingAndRange) {
    EXPECT_EQ(colorDistance(0, 0, 0, 255, 255, 255), 65025);
    EXPECT_EQ(colorDistance(255, 255, 255, 0, 0, 0), 65025);
    EXPECT_EQ(colorDistance(10, 20, 30, 10, 20, 30), 0);
    EXPECT_EQ(colorDistance(1, 0, 0, 0, 0, 0), 0); // (77 + 128) >> 8
    EXPECT_EQ(colorDistance(2, 0, 0, 0, 0, 0), 1); // (308 + 128) >> 8
    EXPECT_EQ(colorDistance(0, 2, 0, 0, 0, 0), 2); // (600 + 128) >> 8
    EXPECT_EQ(colorDistance(0, 0, 3, 0, 0, 0), 1); // (261 + 128) >> 8
    EXPECT_EQ(colorDistance(255, 0, 0, 0, 0, 0), 19558);
    EXPECT_EQ(colorDistance(0, 255, 0, 0, 0, 0), 38101);
    EXPECT_EQ(colorDistance(0, 0, 255, 0, 0, 0), 7366);
    EXPECT_EQ(colorDistance(rgb(3, 200, 17), rgb(90, 4, 250)),
              colorDistance(rgb(90, 4, 250), rgb(3, 200, 17)));
}

TEST(ColorGrid, CellsAndCentres) {
    EXPECT_EQ(gridCell(ColorGrid::Fine, 255, 0, 0), 31 * 1024);
    EXPECT_EQ(gridCell(ColorGrid::Fine, 0, 255, 7), 31 * 32);
    EXPECT_EQ(gridCell(ColorGrid::Fine, 8, 16, 255), 1024 + 64 + 31);
    EXPECT_EQ(gridCell(ColorGrid::Coarse, 255, 0, 17), 15 * 256 + 1);
    EXPECT_EQ(gridCell(ColorGrid::Coarse, 16, 255, 15), 256 + 15 * 16);
    EXPECT_EQ(gridCellCentre(ColorGrid::Fine, 0), rgb(4, 4, 4));
    EXPECT_EQ(gridCellCentre(ColorGrid::Fine, 32767), rgb(252, 252, 252));
    EXPECT_EQ(gridCellCentre(ColorGrid::Fine, 1024 + 64 + 31), rgb(12, 20, 252));
    EXPECT_EQ(gridCellCentre(ColorGrid::Coarse, 15 * 256 + 1), rgb(248, 8, 24));
    EXPECT_EQ(colorKeyWidth(ColorGrid::Fine), 15);
    EXPECT_EQ(colorKeyWidth(ColorGrid::Coarse), 12);
    for (ColorGrid grid : {ColorGrid::Fine, ColorGrid::Coarse}) {
        for (int cell = 0; cell < gridCellCount(grid); cell += 37) {
            const ColorEntry c = gridCellCentre(grid, cell);
            EXPECT_EQ(gridCell(grid, c.red, c.green, c.blue), cell);
        }
    }
}

TEST(FixedColorTable, GrayRamps) {
    const MovieColorTable fine = grayRamp(ColorGrid::Fine);
    const int fineLevels[] = {0,   8,   16,  24,  33,  41,  49,  57,  66,  74,  82,
                              90,  99,  107, 115, 123, 132, 140, 148, 156, 165, 173,
                              181, 189, 198, 206, 214, 222, 231, 239, 247, 255};
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(fine[size_t(1 + i)], rgb(fineLevels[i], fineLevels[i], fineLevels[i])) << i;
    }
    const MovieColorTable coarse = grayRamp(ColorGrid::Coarse);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(coarse[size_t(1 + i)], rgb(17 * i, 17 * i, 17 * i)) << i;
    }
    for (size_t i = 33; i < 256; ++i) {
        EXPECT_EQ(fine[i], rgb(0, 0, 0)) << i;
    }
    for (size_t i = 17; i < 256; ++i) {
        EXPECT_EQ(coarse[i], rgb(0, 0, 0)) << i;
    }
    EXPECT_EQ(fine[0], rgb(255, 255, 255));
    EXPECT_EQ(coarse[0], rgb(255, 255, 255));
    EXPECT_EQ(fixedColorTable(colorModeProperties(16, true)), fine);
    EXPECT_EQ(fixedColorTable(colorModeProperties(11, true)), coarse);
}

struct CodeTableCase {
    int variant;
    int entry;
    ColorEntry color;
};

TEST(FixedColorTable, TruecolorEntries) {
    const CodeTableCase cases[] = {
        {24, 0, rgb(255, 255, 255)}, {24, 1, rgb(16, 0, 0)},      {24, 14, rgb(224, 0, 0)},
        {24, 15, rgb(0, 0, 18)},     {24, 16, rgb(0, 0, 0)},      {24, 17, rgb(0, 1, 0)},
        {24, 105, rgb(0, 0, 127)},   {24, 113, rgb(0, 138, 0)},   {24, 194, rgb(0, 255, 0)},
        {24, 210, rgb(0, 0, 255)},   {24, 195, rgb(0, 0, 236)},   {24, 196, rgb(0, 0, 0)},
        {24, 255, rgb(0, 0, 0)},     {25, 0, rgb(255, 255, 255)}, {25, 1, rgb(16, 0, 0)},
        {25, 15, rgb(240, 0, 0)},    {25, 16, rgb(0, 0, 16)},     {25, 17, rgb(0, 0, 0)},
        {25, 18, rgb(0, 2, 0)},      {25, 121, rgb(0, 0, 128)},   {25, 144, rgb(0, 255, 0)},
        {25, 145, rgb(0, 0, 0)},     {25, 226, rgb(0, 0, 240)},   {25, 227, rgb(10, 0, 10)},
        {25, 255, rgb(10, 0, 10)},
    };
    for (const CodeTableCase& c : cases) {
        EXPECT_EQ(truecolorCodeTable(c.variant)[size_t(c.entry)], c.color)
            << "variant " << c.variant << " entry " << c.entry;
    }
}

// Each code value stands for one quantity: luma codes carry only green, U codes only red,
// V codes only blue.
TEST(FixedColorTable, TruecolorCodesCarryOneComponent) {
    for (int variant : {24, 25}) {
        const MovieColorTable t = truecolorCodeTable(variant);
        const int lumaLow = variant == 24 ? 16 : 17, lumaHigh = variant == 24 ? 113 : 144;
        for (int i = 1; i < 256; ++i) {
            SCOPED_TRACE(testing::Message() << "variant " << variant << " entry " << i);
            const ColorEntry& e = t[size_t(i)];
            const bool vCode = variant == 24 ? (i % 15 == 0 && i <= 210)
                                             : (i >= 16 && (i - 16) % 15 == 0 && i <= 226);
            const bool uCode = variant == 24 ? i <= 14 : i <= 15;
            const bool luma = i >= lumaLow && i <= lumaHigh && !vCode;
            if (vCode) {
                EXPECT_TRUE(e.red == 0 && e.green == 0);
            } else if (uCode) {
                EXPECT_TRUE(e.green == 0 && e.blue == 0 && e.red > 0);
            } else if (luma) {
                EXPECT_TRUE(e.red == 0 && e.blue == 0);
            }
        }
    }
}

} // namespace
