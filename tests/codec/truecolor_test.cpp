// Truecolor conversion of 2x2 squares and pictures, and its agreement with the display
// tables the player shows the codes through.
#include "encoder/codec/truecolor.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "moviedb/display_tables.h"

namespace {

using namespace quil;

constexpr uint32_t px(int r, int g, int b) {
    return (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

struct SquareCase {
    const char* name;
    int variant;
    uint32_t color;
    int luma, u, v;
};

TEST(TruecolorSquare, UniformSquares) {
    const SquareCase cases[] = {
        {"black", 24, px(0, 0, 0), 16, 7, 105},       {"white", 24, px(255, 255, 255), 113, 7, 105},
        {"gray", 24, px(128, 128, 128), 64, 7, 105},  {"blue", 24, px(0, 0, 255), 27, 14, 90},
        {"yellow", 24, px(255, 255, 0), 101, 0, 120}, {"red", 24, px(255, 0, 0), 46, 4, 210},
        {"black", 25, px(0, 0, 0), 17, 8, 121},       {"white", 25, px(255, 255, 255), 144, 8, 121},
        {"gray", 25, px(128, 128, 128), 81, 8, 121},  {"blue", 25, px(0, 0, 255), 32, 15, 76},
        {"yellow", 25, px(255, 255, 0), 130, 1, 166}, {"red", 25, px(255, 0, 0), 55, 3, 226},
    };
    for (const SquareCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.variant);
        const TruecolorSquare s = truecolorSquare(c.variant, c.color, c.color, c.color, c.color);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(s.luma[k], c.luma);
        }
        EXPECT_EQ(s.u, c.u);
        EXPECT_EQ(s.v, c.v);
    }
}

// Luma values that land on a V code value move one up: 30 -> 31 and 45 -> 46 in variant
// 24, 31 -> 32 in variant 25; no gray or primary ever yields a V code value.
TEST(TruecolorSquare, LumaSkipsChromaValues) {
    EXPECT_EQ(truecolorLuma(24, 37, 37, 37), 31);
    EXPECT_EQ(truecolorLuma(24, 77, 77, 77), 46);
    EXPECT_EQ(truecolorLuma(24, 36, 36, 36), 29);
    EXPECT_EQ(truecolorLuma(25, 28, 28, 28), 32);
    EXPECT_EQ(truecolorLuma(25, 26, 26, 26), 30);
    for (int level = 0; level < 256; ++level) {
        for (const uint32_t c : {px(level, level, level), px(level, 0, 0), px(0, level, 0),
                                 px(0, 0, level), px(level, 255 - level, level / 2)}) {
            const int r = int(c >> 16), g = int((c >> 8) & 255), b = int(c & 255);
            const int y24 = truecolorLuma(24, r, g, b);
            const int y25 = truecolorLuma(25, r, g, b);
            EXPECT_TRUE(y24 >= 16 && y24 <= 113 && y24 % 15 != 0) << y24;
            EXPECT_TRUE(y25 >= 17 && y25 <= 144 && (y25 - 1) % 15 != 0) << y25;
        }
    }
}

// The curve in integer arithmetic against the same curve in double precision, over every
// value a square can produce.
TEST(TruecolorSquare, ChromaCurveMatchesFloatingPoint) {
    for (int32_t a = -490620; a <= 490620; ++a) {
        const double t = 786432.0 * a / (262144.0 + std::abs(double(a)));
        const int64_t ti = int64_t(t);
        int level = int((ti + 490620) >> 16);
        level = level < 0 ? 0 : (level > 14 ? 14 : level);
        ASSERT_EQ(chromaLevel25(a), level) << a;
    }
    EXPECT_EQ(chromaLevel25(0), 7);
    EXPECT_EQ(chromaLevel25(-490620), 0);
    EXPECT_EQ(chromaLevel25(490620), 14);
}

TEST(TruecolorPicture, LayoutOfLumaAndChromaRows) {
    // 4 x 4 screen pixels, stored bottom-up as a VBitmap would hold them.
    const uint32_t top[4][4] = {
        {px(0, 0, 0), px(0, 0, 0), px(255, 0, 0), px(255, 0, 0)},
        {px(0, 0, 0), px(0, 0, 0), px(255, 0, 0), px(255, 0, 0)},
        {px(0, 0, 255), px(0, 0, 255), px(255, 255, 255), px(255, 255, 255)},
        {px(0, 0, 255), px(0, 0, 255), px(255, 255, 255), px(255, 255, 0)},
    };
    std::vector<uint32_t> bottomUp(16);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            bottomUp[size_t((3 - y) * 4 + x)] = top[y][x];
        }
    }
    std::vector<uint8_t> picture(4 * 6, 0xEE);
    convertPictureToTruecolor(24, bottomUp.data() + 12, -4, 4, 4, picture.data());
    const std::vector<uint8_t> expected = {
        16, 16, 46,  46,  //
        16, 16, 46,  46,  //
        27, 27, 113, 113, //
        27, 27, 113, 101, //
        7,  4,  105, 210, // U of the two top squares, then their V codes
        14, 5,  90,  105, // the bottom-right square is mostly white
    };
    EXPECT_EQ(picture, expected);
}

// Colours converted to codes and shown through the display table come back close to where
// they started; a sign or layout slip in either table moves them far away.
TEST(TruecolorPicture, DisplayTableShowsConvertedColours) {
    const uint32_t colors[] = {px(200, 40, 40),  px(40, 160, 60),   px(50, 60, 190),
                               px(180, 180, 60), px(128, 128, 128), px(90, 40, 140)};
    for (int variant : {24, 25}) {
        for (const uint32_t c : colors) {
            SCOPED_TRACE(testing::Message()
                         << "variant " << variant << " colour " << std::hex << c);
            const TruecolorSquare s = truecolorSquare(variant, c, c, c, c);
            const uint32_t shown = rgb32From565(displayColor(variant, s.luma[0], s.u, s.v));
            EXPECT_NEAR(int(shown >> 16), int(c >> 16), 40);
            EXPECT_NEAR(int((shown >> 8) & 255), int((c >> 8) & 255), 40);
            EXPECT_NEAR(int(shown & 255), int(c & 255), 40);
        }
    }
}

} // namespace
