// The truecolor display tables: the entries that pin each variant's construction down, and
// the entries no valid code reaches.
#include "moviedb/display_tables.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

using namespace quil;

struct Telling {
    int variant;
    int row; // U code + V code
    int luma;
    int r5, g6, b5;
};

TEST(DisplayTable, TellingEntries) {
    const Telling cases[] = {
        {24, 112, 16, 0, 0, 0},     {24, 112, 40, 7, 15, 7},    {24, 112, 64, 15, 31, 15},
        {24, 112, 100, 27, 55, 27}, {24, 112, 112, 31, 63, 31}, {24, 14, 30, 0, 20, 30},
        {24, 14, 50, 0, 33, 31},    {24, 14, 70, 0, 46, 31},    {24, 210, 30, 25, 0, 0},
        {24, 210, 50, 31, 11, 0},   {24, 210, 70, 31, 24, 0},   {25, 129, 17, 0, 0, 0},
        {25, 129, 40, 5, 11, 5},    {25, 129, 80, 15, 31, 15},  {25, 129, 120, 25, 51, 25},
        {25, 129, 144, 31, 63, 31}, {25, 17, 30, 0, 32, 0},     {25, 17, 50, 0, 42, 0},
        {25, 17, 70, 0, 52, 0},     {25, 241, 30, 20, 0, 25},   {25, 241, 50, 25, 0, 30},
        {25, 241, 70, 30, 0, 31},
    };
    for (const Telling& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "variant " << c.variant << " row " << c.row << " luma " << c.luma);
        const uint16_t e = displayTable(c.variant)[size_t(c.row) * 128 + size_t(c.luma)];
        EXPECT_EQ(e >> 11, c.r5);
        EXPECT_EQ((e >> 5) & 63, c.g6);
        EXPECT_EQ(e & 31, c.b5);
    }
    // The same entries through the code-level lookup: U 14 with V level 0, U 1 with V 16.
    EXPECT_EQ(displayColor(24, 30, 14, 0), displayTable(24)[14 * 128 + 30]);
    EXPECT_EQ(displayColor(25, 30, 1, 16), displayTable(25)[17 * 128 + 30]);
}

TEST(DisplayTable, UnreachableEntriesAreZero) {
    const DisplayTable& t24 = displayTable(24);
    const DisplayTable& t25 = displayTable(25);
    for (size_t row = 0; row < 250; ++row) {
        for (size_t luma = 0; luma < 128; ++luma) {
            const size_t i = row * 128 + luma;
            const bool reach24 = row <= 224 && luma >= 16 && luma <= 125;
            if (!reach24) {
                ASSERT_EQ(t24[i], 0) << row << " " << luma;
            }
            // Variant 25's luma codes reach up to 144, into the next row's first columns.
            const bool reach25 =
                (row >= 17 && row <= 241 && luma >= 17) || (row >= 18 && row <= 242 && luma <= 16);
            if (!reach25) {
                ASSERT_EQ(t25[i], 0) << row << " " << luma;
            }
        }
    }
    EXPECT_NE(t25[241 * 128 + 144], 0);
    EXPECT_EQ(displayColor(25, 200, 200, 200), 0); // past the table
}

// Without colour, every luma code shows a gray that never gets darker as the code grows.
TEST(DisplayTable, NeutralRowIsAGrayRamp) {
    for (int variant : {24, 25}) {
        const int row = variant == 24 ? 112 : 129, low = variant == 24 ? 16 : 17;
        const int high = variant == 24 ? 113 : 144;
        int last = -1;
        for (int y = low; y <= high; ++y) {
            const uint16_t e = displayTable(variant)[size_t(row) * 128 + size_t(y)];
            const int r = e >> 11, g = (e >> 5) & 63, b = e & 31;
            EXPECT_EQ(r, b) << variant << " " << y;
            EXPECT_LE(std::abs(g - 2 * r), 1) << variant << " " << y;
            EXPECT_GE(g, last) << variant << " " << y;
            last = g;
        }
    }
}

// A 4x4 picture shown as 32-bit pixels: each square takes its own U and V, fields sit in the
// top bits of their bytes, and the pixels' top bytes are left alone.
TEST(DisplayConversion, PictureToRgb32) {
    const std::vector<uint8_t> picture = {
        16, 112, 30,  50,  //
        40, 64,  70,  30,  //
        30, 50,  100, 100, //
        70, 30,  100, 100, //
        7,  14,  105, 0,   // top squares: gray, then U 14 with V level 0
        0,  7,   210, 105, // bottom squares: U 0 with V level 14, then gray
    };
    std::vector<uint32_t> out(16, 0xAB000000u);
    convertTruecolorToRgb32(picture.data(), 4, 4, 24, out.data(), 4);
    const auto c = [](int r5, int g6, int b5) {
        return 0xAB000000u | uint32_t(r5 << 19) | uint32_t(g6 << 10) | uint32_t(b5 << 3);
    };
    const std::vector<uint32_t> expected = {
        c(0, 0, 0),   c(31, 63, 31), c(0, 20, 30),  c(0, 33, 31),  //
        c(7, 15, 7),  c(15, 31, 15), c(0, 46, 31),  c(0, 20, 30),  //
        c(25, 0, 0),  c(31, 11, 0),  c(27, 55, 27), c(27, 55, 27), //
        c(31, 24, 0), c(25, 0, 0),   c(27, 55, 27), c(27, 55, 27), //
    };
    EXPECT_EQ(out, expected);
}

} // namespace
