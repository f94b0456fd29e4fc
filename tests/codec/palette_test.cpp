// Colour counting, octree palette and colour lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "encoder/codec/colorcount.h"
#include "encoder/codec/colorlookup.h"

using namespace quil;

namespace {

constexpr uint32_t px(int r, int g, int b) {
    return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}
constexpr ColorEntry entryOf(uint32_t pixel) {
    return rgb(int(pixel >> 16) & 255, int(pixel >> 8) & 255, int(pixel) & 255);
}

MovieColorTable paletteOf(const std::vector<std::vector<uint32_t>>& frames, ColorGrid grid) {
    ColorAnalysis a;
    a.startAnalysis(grid);
    for (size_t n = 0; n < frames.size(); ++n) {
        a.countPicture(frames[n].data(), frames[n].size(), int(n));
    }
    a.finishAnalysis(int(frames.size()));
    MovieColorTable t{};
    t.fill(rgb(1, 2, 3));
    a.buildPalette(t);
    return t;
}

} // namespace

TEST(Palette, FewKeysBecomeTheirOwnEntriesWithoutReduction) {
    struct Case {
        bool fine;
        uint32_t colour;     // input pixel
        ColorEntry expected; // its palette entry
    };
    // Fine grid: component c>>3 becomes (c>>3 << 3) + 4; coarse: (c>>4 << 4) + 12.
    const Case cases[] = {
        {true, px(0, 0, 0), rgb(4, 4, 4)},
        {true, px(255, 9, 130), rgb(252, 12, 132)},
        {true, px(17, 200, 255), rgb(20, 204, 252)},
        {false, px(0, 0, 0), rgb(12, 12, 12)},
        {false, px(255, 9, 130), rgb(252, 12, 140)},
        {false, px(17, 200, 255), rgb(28, 204, 252)},
    };
    for (const bool fine : {true, false}) {
        std::vector<uint32_t> picture;
        std::vector<ColorEntry> expected;
        for (const Case& c : cases) {
            if (c.fine == fine) {
                picture.push_back(c.colour);
                expected.push_back(c.expected);
            }
        }
        const ColorGrid grid = fine ? ColorGrid::Fine : ColorGrid::Coarse;
        const MovieColorTable t = paletteOf({picture}, grid);
        // The newest leaf heads its depth list, so the highest key gets index 1.
        std::vector<ColorEntry> sorted = expected;
        auto key = [&](const ColorEntry& e) { return gridCell(grid, e.red, e.green, e.blue); };
        std::sort(sorted.begin(), sorted.end(),
                  [&](const ColorEntry& a, const ColorEntry& b) { return key(a) > key(b); });
        for (size_t i = 0; i < sorted.size(); ++i) {
            EXPECT_EQ(t[i + 1], sorted[i]) << "fine " << fine << " index " << i + 1;
        }
        for (size_t i = sorted.size() + 1; i <= 254; ++i) {
            ASSERT_EQ(t[i], ColorEntry{}) << i;
        }
    }
}

TEST(Palette, StaticPixelsCountOnceChangingPixelsEveryFrame) {
    const uint32_t red = px(200, 0, 0), blue = px(0, 0, 200);
    const uint32_t green = px(0, 200, 0);
    // Pixel 0 and 1 are static; pixel 2 alternates between green and blue.
    std::vector<std::vector<uint32_t>> frames;
    for (int n = 0; n < 5; ++n) {
        frames.push_back({red, red, n % 2 ? blue : green});
    }
    ColorAnalysis a;
    a.startAnalysis(ColorGrid::Fine);
    for (size_t n = 0; n < frames.size(); ++n) {
        a.countPicture(frames[n].data(), 3, int(n));
    }
    a.finishAnalysis(5);
    EXPECT_EQ(a.counts()[size_t(colorKey(red, ColorGrid::Fine))], 2);
    EXPECT_EQ(a.counts()[size_t(colorKey(green, ColorGrid::Fine))], 3);
    EXPECT_EQ(a.counts()[size_t(colorKey(blue, ColorGrid::Fine))], 2);

    // A picture that never changes gives the palette of a one-frame movie.
    std::vector<uint32_t> picture;
    for (int i = 0; i < 600; ++i) {
        picture.push_back(px(i % 256, (i * 7) % 256, (i * 13) % 256));
    }
    EXPECT_EQ(paletteOf(std::vector<std::vector<uint32_t>>(7, picture), ColorGrid::Fine),
              paletteOf({picture}, ColorGrid::Fine));
}

TEST(Palette, ManyColoursReduceTo254EntriesFavouringHeavyOnes) {
    std::vector<uint32_t> picture;
    for (int i = 0; i < 4096; ++i) {
        picture.push_back(px((i & 15) * 16, ((i >> 4) & 15) * 16, (i >> 8) * 16));
    }
    // One colour far heavier than every other keeps an entry of its own.
    picture.insert(picture.end(), 5000, px(96, 160, 32));
    ColorAnalysis a;
    a.startAnalysis(ColorGrid::Fine);
    a.countPicture(picture.data(), picture.size(), 0);
    a.finishAnalysis(1);
    MovieColorTable t{};
    const int made = a.buildPalette(t);
    // The last fold may take away up to seven leaves at once.
    EXPECT_LE(made, 254);
    EXPECT_GE(made, 247);
    std::set<uint32_t> distinct;
    for (int i = 1; i <= made; ++i) {
        distinct.insert(px(t[size_t(i)].red, t[size_t(i)].green, t[size_t(i)].blue));
    }
    EXPECT_EQ(distinct.size(), size_t(made));
    for (int i = 1; i <= made; ++i) {
        EXPECT_EQ(t[size_t(i)].red & 7, 4);
        EXPECT_EQ(t[size_t(i)].green & 7, 4);
        EXPECT_EQ(t[size_t(i)].blue & 7, 4);
    }
    EXPECT_TRUE(distinct.count(px(100, 164, 36))) << "heavy colour lost";
}

TEST(ColorLookupTable, TiesGoToTheLowerIndexAndEnds0And255AreNeverChosen) {
    MovieColorTable t{};
    t[0] = rgb(255, 255, 255);
    t[255] = rgb(128, 128, 128);
    for (int i = 1; i <= 254; ++i) {
        t[size_t(i)] = rgb(0, 0, 0); // repeated black, as in the grayscale table
    }
    t[10] = rgb(252, 252, 252);
    t[20] = rgb(252, 252, 252);
    t[30] = rgb(100, 0, 0);
    t[31] = rgb(110, 0, 0);
    for (const bool fine : {true, false}) {
        ColorLookup l;
        l.build(t, fine ? ColorGrid::Fine : ColorGrid::Coarse);
        EXPECT_EQ(l.codeForColor(px(0, 0, 0)), 1);
        EXPECT_EQ(l.codeForColor(px(255, 255, 255)), 10);
        EXPECT_NE(l.codeForColor(px(128, 128, 128)), 255);
        EXPECT_EQ(l.distance(10, 20), 0);
        EXPECT_EQ(l.distance(0, 1), 65025);
        EXPECT_EQ(l.distance(30, 31), l.distance(31, 30));
    }
    // Fine cell of red 104..111 has centre 108: red 100 is 8 away, 110 is 2 away.
    // Coarse cell 96..111 has centre 104: red 100 and 110 are 4 and 6 away.
    ColorLookup fine, coarse;
    fine.build(t, ColorGrid::Fine);
    coarse.build(t, ColorGrid::Coarse);
    EXPECT_EQ(fine.codeForColor(px(105, 0, 0)), 31);
    EXPECT_EQ(coarse.codeForColor(px(105, 0, 0)), 30);
    // An exact tie: the fine cell's centre 108 lies 4 from both 104 and 112.
    t[30] = rgb(104, 0, 0);
    t[31] = rgb(112, 0, 0);
    fine.build(t, ColorGrid::Fine);
    EXPECT_EQ(fine.codeForColor(px(105, 0, 0)), 30);
    t[30] = rgb(112, 0, 0);
    t[31] = rgb(104, 0, 0);
    fine.build(t, ColorGrid::Fine);
    EXPECT_EQ(fine.codeForColor(px(105, 0, 0)), 30);
}
