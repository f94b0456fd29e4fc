// Presets and the completion summary's number formats.
#include "encoder/app/core/choices.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

TEST(Completion, SizesTimesRatesAndQuality) {
    struct Case {
        int32_t bytes, frames;
        double rate;
        int mode;
        const char *size, *time, *fps;
    };
    const Case cases[] = {
        {2157000, 643, 10.0, 0, "2106K", "1:04.30", "10.00 fps"},
        {511, 95, 10.0, 2, "0K", "09.50 sec.", "10.00 fps"},
        {512, 150, 15.0, 0, "1K", "10.00 sec.", "15.00 fps"},
        {1024, 600, 10.0, 3, "1K", "1:00.00", "--"},
    };
    for (const Case& c : cases) {
        CompletionRecord r;
        std::strcpy(r.dbname, "Clip");
        r.fileSize = c.bytes;
        r.frameCount = c.frames;
        r.frameRate = c.rate;
        r.meanQuality = 0.87654;
        const CompletionTexts t = FormatCompletion(r, c.mode);
        EXPECT_EQ(t.name, "Clip");
        EXPECT_EQ(t.size, c.size);
        EXPECT_EQ(t.time, c.time);
        EXPECT_EQ(t.rate, c.fps);
        EXPECT_EQ(t.quality, c.mode == 3 ? "--" : "87.65%");
    }
}

TEST(Presets, WriteSizeRateModeAndTargetOnly) {
    EncodingParameters p;
    p.nKeyFrameInterval = 20;
    p.nBytesCeiling = 7000;
    p.fUncompressedVideo = true;
    ApplySamplePreset(p, 0);
    EXPECT_EQ(p.nScreenWidth, 160);
    EXPECT_EQ(p.nScreenHeight, 160);
    EXPECT_EQ(p.nMaxFrameRate, 10);
    EXPECT_TRUE(p.fUseGrayscale);
    EXPECT_EQ(p.nBytesTarget, 1800);
    EXPECT_FALSE(p.fUncompressedVideo);
    EXPECT_EQ(p.nKeyFrameInterval, 20);
    EXPECT_EQ(p.nBytesCeiling, 7000);
    EXPECT_EQ(ColorModeIndex(p), 0u);
    ApplySamplePreset(p, 8);
    EXPECT_EQ(ColorModeIndex(p), 4u);
    p.nColorDepth = 7;
    EXPECT_FALSE(ColorModeIndex(p).has_value());
}

} // namespace
