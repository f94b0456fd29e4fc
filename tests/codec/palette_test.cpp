// Colour counting, octree palette and colour lookup.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "encoder/codec/colorcount.h"
#include "encoder/codec/colorlookup.h"

using namespace quil;

namespace {

ColorTable paletteOf(const std::vector<std::vector<uint32_t>>& frames, bool fine) {
    ColorAnalysis a;
    a.startAnalysis(fine);
    for (size_t n = 0; n < frames.size(); ++n) {
        a.countPicture(frames[n].data(), frames[n].size(), int(n));
    }
    a.finishAnalysis(int(frames.size()));
    ColorTable t{};
    t.fill(0x123456);
    a.buildPalette(t);
    return t;
}

} // namespace

TEST(Palette, FewKeysBecomeTheirOwnEntriesWithoutReduction) {
    struct Case {
        bool fine;
        uint32_t colour;   // input pixel
        uint32_t expected; // its palette entry
    };
    // Fine grid: component c>>3 becomes (c>>3 << 3) + 4; coarse: (c>>4 << 4) + 12.
    const Case cases[] = {
        {true, makeColor(0, 0, 0), makeColor(4, 4, 4)},
        {true, makeColor(255, 9, 130), makeColor(252, 12, 132)},
        {true, makeColor(17, 200, 255), makeColor(20, 204, 252)},
        {false, makeColor(0, 0, 0), makeColor(12, 12, 12)},
        {false, makeColor(255, 9, 130), makeColor(252, 12, 140)},
        {false, makeColor(17, 200, 255), makeColor(28, 204, 252)},
    };
    for (const bool fine : {true, false}) {
        std::vector<uint32_t> picture;
        std::vector<uint32_t> expected;
        for (const Case& c : cases) {
            if (c.fine == fine) {
                picture.push_back(c.colour);
                expected.push_back(c.expected);
            }
        }
        const ColorTable t = paletteOf({picture}, fine);
        // The newest leaf heads its depth list, so the highest key gets index 1.
        std::vector<uint32_t> sorted = expected;
        std::sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) {
            return colorKey(a, fine) > colorKey(b, fine);
        });
        for (size_t i = 0; i < sorted.size(); ++i) {
            EXPECT_EQ(t[i + 1], sorted[i]) << "fine " << fine << " index " << i + 1;
        }
        for (size_t i = sorted.size() + 1; i <= 254; ++i) {
            ASSERT_EQ(t[i], 0u) << i;
        }
    }
}

TEST(Palette, StaticPixelsCountOnceChangingPixelsEveryFrame) {
    const uint32_t red = makeColor(200, 0, 0), blue = makeColor(0, 0, 200);
    const uint32_t green = makeColor(0, 200, 0);
    // Pixel 0 and 1 are static; pixel 2 alternates between green and blue.
    std::vector<std::vector<uint32_t>> frames;
    for (int n = 0; n < 5; ++n) {
        frames.push_back({red, red, n % 2 ? blue : green});
    }
    ColorAnalysis a;
    a.startAnalysis(true);
    for (size_t n = 0; n < frames.size(); ++n) {
        a.countPicture(frames[n].data(), 3, int(n));
    }
    a.finishAnalysis(5);
    EXPECT_EQ(a.counts()[size_t(colorKey(red, true))], 2);
    EXPECT_EQ(a.counts()[size_t(colorKey(green, true))], 3);
    EXPECT_EQ(a.counts()[size_t(colorKey(blue, true))], 2);

    // A picture that never changes gives the palette of a one-frame movie.
    std::vector<uint32_t> picture;
    for (int i = 0; i < 600; ++i) {
        picture.push_back(makeColor(i % 256, (i * 7) % 256, (i * 13) % 256));
    }
    EXPECT_EQ(paletteOf(std::vector<std::vector<uint32_t>>(7, picture), true),
              paletteOf({picture}, true));
}

TEST(Palette, ManyColoursReduceTo254EntriesFavouringHeavyOnes) {
    std::vector<uint32_t> picture;
    for (int i = 0; i < 4096; ++i) {
        picture.push_back(makeColor((i & 15) * 16, ((i >> 4) & 15) * 16, (i >> 8) * 16));
    }
    // One colour far heavier than every other keeps an entry of its own.
    picture.insert(picture.end(), 5000, makeColor(96, 160, 32));
    ColorAnalysis a;
    a.startAnalysis(true);
    a.countPicture(picture.data(), picture.size(), 0);
    a.finishAnalysis(1);
    ColorTable t{};
    const int made = a.buildPalette(t);
    // The last fold may take away up to seven leaves at once.
    EXPECT_LE(made, 254);
    EXPECT_GE(made, 247);
    std::set<uint32_t> distinct(t.begin() + 1, t.begin() + 1 + made);
    EXPECT_EQ(distinct.size(), size_t(made));
    for (int i = 1; i <= made; ++i) {
        EXPECT_EQ(colorRed(t[size_t(i)]) & 7, 4);
        EXPECT_EQ(colorGreen(t[size_t(i)]) & 7, 4);
        EXPECT_EQ(colorBlue(t[size_t(i)]) & 7, 4);
    }
    EXPECT_TRUE(distinct.count(makeColor(100, 164, 36))) << "heavy colour lost";
}

TEST(ColorLookupTable, TiesGoToTheLowerIndexAndEnds0And255AreNeverChosen) {
    ColorTable t{};
    t[0] = makeColor(255, 255, 255);
    t[255] = makeColor(128, 128, 128);
    for (int i = 1; i <= 254; ++i) {
        t[size_t(i)] = makeColor(0, 0, 0); // repeated black, as in the grayscale table
    }
    t[10] = makeColor(252, 252, 252);
    t[20] = makeColor(252, 252, 252);
    t[30] = makeColor(100, 0, 0);
    t[31] = makeColor(110, 0, 0);
    for (const bool fine : {true, false}) {
        ColorLookup l;
        l.build(t, fine);
        EXPECT_EQ(l.codeForColor(makeColor(0, 0, 0)), 1);
        EXPECT_EQ(l.codeForColor(makeColor(255, 255, 255)), 10);
        EXPECT_NE(l.codeForColor(makeColor(128, 128, 128)), 255);
        EXPECT_EQ(l.distance(10, 20), 0);
        EXPECT_EQ(l.distance(0, 1), 65025);
        EXPECT_EQ(l.distance(30, 31), l.distance(31, 30));
    }
    // Fine cell of red 104..111 has centre 108: red 100 is 8 away, 110 is 2 away.
    // Coarse cell 96..111 has centre 104: red 100 and 110 are 4 and 6 away.
    ColorLookup fine, coarse;
    fine.build(t, true);
    coarse.build(t, false);
    EXPECT_EQ(fine.codeForColor(makeColor(105, 0, 0)), 31);
    EXPECT_EQ(coarse.codeForColor(makeColor(105, 0, 0)), 30);
    // An exact tie: the fine cell's centre 108 lies 4 from both 104 and 112.
    t[30] = makeColor(104, 0, 0);
    t[31] = makeColor(112, 0, 0);
    fine.build(t, true);
    EXPECT_EQ(fine.codeForColor(makeColor(105, 0, 0)), 30);
    t[30] = makeColor(112, 0, 0);
    t[31] = makeColor(104, 0, 0);
    fine.build(t, true);
    EXPECT_EQ(fine.codeForColor(makeColor(105, 0, 0)), 30);
}
