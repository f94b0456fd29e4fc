// What reaches the coder: rotation on a tall screen, brightness, and the byte budget.
#include "enginetestkit.h"
#include "fakesources.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void Encode(RecordingEngine& e, TempMovie& movie) {
    FILE* out = movie.openForWriting();
    ASSERT_NE(out, nullptr);
    e.EncodeVideoMovie(out, "Test", e.nScreenWidth, e.nScreenHeight, e.nColorDepth,
                       e.fFlipImageVertically, e.fFlipImageHorizontally, e.fRotateImageSideways,
                       float(e.rBrightness), float(e.rContrast), e.nFrameStart, e.nFrameEnd);
    std::fclose(out);
}

// Code at (x, y) of the picture held in a preview buffer (320-byte rows, bottom row first).
uint8_t At(const std::vector<uint8_t>& preview, int rows, int x, int y) {
    return preview[size_t(rows - 1 - y) * 320 + size_t(x)];
}

TEST(EncodeVideoMovie, RotationOnATallScreenPutsTheTopLeftTopRight) {
    // A 48x48 source whose top-left quadrant is white fills the 384 x 216 working screen
    // (cropped top and bottom); turned a quarter clockwise onto the 216 x 384 screen, the
    // white part lies along the top of the right-hand half.
    for (const int depth : {16, 24}) {
        SCOPED_TRACE(depth);
        TestVideo video({10, 1, 3, 48, 48},
                        [](int, int x, int y) { return x < 24 && y < 24 ? 0x00FFFFFFu : 0u; });
        RecordingEngine e;
        e.fUseGrayscale = depth == 16;
        e.nColorDepth = depth;
        e.nScreenWidth = 216;
        e.nScreenHeight = 384;
        e.fRotateImageSideways = true;
        e.SetSources(&video.source, nullptr);
        std::vector<uint8_t> preview(320 * 720);
        e.SetPreviewBuffers(preview.data(), nullptr);
        TempMovie movie;
        Encode(e, movie);
        ASSERT_EQ(e.count(kProgressComplete), 1);
        const int rows = depth == 16 ? 384 : 576;
        const int dark = At(preview, rows, 20, 300);
        EXPECT_GT(At(preview, rows, 190, 90), dark + 10);
        EXPECT_EQ(At(preview, rows, 20, 90), dark);
        EXPECT_EQ(At(preview, rows, 190, 300), dark);
    }
}

TEST(EncodeVideoMovie, BrightnessLiftsBlackToMidGray) {
    for (const double brightness : {0.0, 1.0}) {
        SCOPED_TRACE(brightness);
        TestVideo video({10, 1, 3, 32, 32}, [](int, int, int) { return 0u; });
        RecordingEngine e;
        e.nColorDepth = 25;
        e.nScreenWidth = e.nScreenHeight = 160;
        e.rBrightness = brightness;
        e.SetSources(&video.source, nullptr);
        std::vector<uint8_t> preview(320 * 720);
        e.SetPreviewBuffers(preview.data(), nullptr);
        TempMovie movie;
        Encode(e, movie);
        ASSERT_EQ(e.count(kProgressComplete), 1);
        // Luma code 17 is black; lightness 128 is code 17 + 64.
        EXPECT_EQ(At(preview, 240, 80, 80), brightness == 0.0 ? 17 : 81);
    }
}

TEST(EncodeVideoMovie, CeilingZeroGivesTheFirstDeltaFramesNoBudget) {
    // Noise leaves nothing to keep: with a budget, frames 1 to 3 are refined towards it;
    // with the ceiling at 0 their budget is 0 and every block keeps its first coding, while
    // frame 4 on codes against the coder's largest goal.
    auto noise = [](int frame, int x, int y) {
        uint32_t h = uint32_t(frame * 7919 + x * 104729 + y * 1299709);
        h ^= h >> 13;
        h *= 0x5bd1e995u;
        h ^= h >> 15;
        return h & 0x00FFFFFFu;
    };
    std::vector<uint32_t> sizes[2];
    for (const int ceiling : {8000, 0}) {
        TestVideo video({10, 1, 6, 160, 160}, noise);
        RecordingEngine e;
        e.nColorDepth = 16;
        e.nScreenWidth = e.nScreenHeight = 160;
        e.nBytesCeiling = ceiling;
        e.SetSources(&video.source, nullptr);
        TempMovie movie;
        Encode(e, movie);
        ASSERT_EQ(e.count(kProgressComplete), 1);
        quil::MovieDbReader reader;
        ASSERT_EQ(reader.open(movie.path()), quil::MovieDbError::Ok);
        for (int i = 0; i < 5; ++i) {
            sizes[ceiling == 0].push_back(reader.size(i + 1));
        }
    }
    // 400 blocks of at most two bytes each, the 24-byte header.
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_LE(sizes[1][size_t(i)], 24u + 800u);
        EXPECT_GT(sizes[0][size_t(i)], 3000u);
    }
    EXPECT_GT(sizes[1][4], 20000u);
    EXPECT_LT(sizes[0][4], 8100u);
}

} // namespace
