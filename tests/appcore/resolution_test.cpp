// The resolution and quality dialog's decisions, driven without a display.
#include "encoder/app/core/resolutionlogic.h"

#include "../engine/fakesources.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace {
// The engine opens only files that exist.
std::string existingFile() {
    const auto path = std::filesystem::temp_directory_path() / "quil_dialog_clip.avi";
    std::ofstream(path) << "x";
    return path.string();
}

struct ResolutionFixture : ::testing::Test {
    OrbanwickMovieEncoder engine;
    InfoOnlyVideoSource video;
    MainWindowFields fields;

    ResolutionFixture() {
        video.info = {10, 1, 100, 64, 48};
        engine.SetSourceLists({&video}, {});
        fields.source_file = existingFile();
        fields.encodemode = kEncodeVideoOnly;
    }
    void screen(int w, int h) {
        engine.nScreenWidth = w;
        engine.nScreenHeight = h;
    }
};
} // namespace

TEST_F(ResolutionFixture, TrackBarRangeFollowsScreenWidth) {
    struct Case {
        int w, h, target, max, position;
    };
    for (const Case c : {Case{160, 160, 4000, 30, 30}, Case{320, 240, 4000, 65, 40},
                         Case{216, 384, 6549, 65, 65}, Case{320, 320, 100, 65, 5}}) {
        screen(c.w, c.h);
        engine.nBytesTarget = c.target;
        ResolutionLogic logic(engine, fields);
        EXPECT_EQ(logic.trackMinimum(), 5);
        EXPECT_EQ(logic.trackMaximum(), c.max) << c.w;
        EXPECT_EQ(logic.trackPosition(), c.position) << c.w;
    }
    screen(160, 160);
    ResolutionLogic logic(engine, fields);
    logic.chooseScreenSize(1);
    EXPECT_EQ(logic.trackMaximum(), 65);
    EXPECT_EQ(engine.nScreenWidth, 320); // written at once
    logic.setTrackPosition(65);
    logic.chooseScreenSize(0);
    EXPECT_EQ(logic.trackMaximum(), 30);
    EXPECT_EQ(logic.trackPosition(), 30);
}

TEST_F(ResolutionFixture, OkWritesRateFromTrackBarWithCeilingCappedAt9000) {
    struct Case {
        int d, target, ceiling, floor;
    };
    for (const Case c : {Case{5, 500, 1000, 250}, Case{44, 4400, 8800, 2200},
                         Case{45, 4500, 9000, 2250}, Case{65, 6500, 9000, 3250}}) {
        screen(320, 240);
        engine.fUseFastEncoding = true;
        ResolutionLogic logic(engine, fields);
        logic.setTrackPosition(c.d);
        EXPECT_EQ(logic.accept(), 1);
        EXPECT_EQ(engine.nBytesTarget, c.target);
        EXPECT_EQ(engine.nBytesCeiling, c.ceiling);
        EXPECT_EQ(engine.nBytesFloor, c.floor);
        EXPECT_FALSE(engine.fUseFastEncoding);
        EXPECT_FALSE(video.IsOpen()) << "OK closes the sources";
    }
}

TEST_F(ResolutionFixture, QualityWordsOfTheTargetLine) {
    struct Case {
        int w, h, d;
        const char* line;
    };
    for (const Case c : {Case{160, 160, 5, "Target 500 bytes per frame - very low quality"},
                         Case{160, 160, 30, "Target 3000 bytes per frame - maximum quality"},
                         Case{320, 240, 65, "Target 6500 bytes per frame - maximum quality"},
                         Case{320, 240, 16, "Target 1600 bytes per frame - low quality"},
                         Case{320, 240, 39, "Target 3900 bytes per frame - very high quality"}}) {
        screen(c.w, c.h);
        ResolutionLogic logic(engine, fields);
        logic.setTrackPosition(c.d);
        EXPECT_EQ(logic.targetLine(), c.line);
    }
    EXPECT_EQ(QualityIndex(30, 160, 160), 6);
    EXPECT_EQ(QualityIndex(65, 320, 240), 7);
    EXPECT_STREQ(QualityWord(9), "WARNING - excessively high data rate");
}

TEST_F(ResolutionFixture, ListSelectionsFromTheParameters) {
    struct Case {
        int w, h, depth;
        bool gray;
        int interval, screenIndex, colorIndex, seekIndex;
    };
    for (const Case c : {Case{216, 384, 16, true, 0, 3, 0, 0}, Case{320, 320, 25, false, 4, 2, 4, 0},
                         Case{320, 240, 24, false, 5, 1, 3, 1}, Case{176, 220, 16, false, 29, 0, 2, 3},
                         Case{160, 160, 11, false, 60, 0, 1, 5}, Case{160, 160, 8, false, 45, 0, 1, 4}}) {
        screen(c.w, c.h);
        engine.nColorDepth = c.depth;
        engine.fUseGrayscale = c.gray;
        engine.nKeyFrameInterval = c.interval;
        ResolutionLogic logic(engine, fields);
        EXPECT_EQ(logic.screenIndex(), c.screenIndex) << c.h;
        EXPECT_EQ(logic.colorIndex(), c.colorIndex) << c.depth;
        EXPECT_EQ(logic.seekIndex(), c.seekIndex) << c.interval;
    }
    // An unknown size stays until OK, which writes the selected item's size.
    screen(176, 220);
    ResolutionLogic logic(engine, fields);
    EXPECT_EQ(engine.nScreenWidth, 176);
    logic.accept();
    EXPECT_EQ(engine.nScreenWidth, 160);
    EXPECT_EQ(engine.nScreenHeight, 160);
}

TEST(ResolutionEstimate, SeekFramesAndSize) {
    EXPECT_EQ(EstimatedSeekFrames(9000, 15.0, 60, true), 11);
    EXPECT_EQ(EstimatedSeekFrames(9000, 15.0, 0, true), 1);
    EXPECT_EQ(EstimatedSeekFrames(9000, 15.0, 60, false), 9000);
    // A short interval is held to one seek point per 60th of the movie.
    EXPECT_EQ(EstimatedSeekFrames(6000, 15.0, 5, true), 61);
    // Full frames: 160 bytes a row at 160 wide, a quarter of the pixels otherwise.
    EXPECT_EQ(EstimatedFileSize(10, 2, 20, 160, 160, 0), 8 * 2000 + 2 * (25600 + 768));
    EXPECT_EQ(EstimatedFileSize(10, 2, 20, 320, 240, 3), 8 * 2000 + 2 * (19200 + 768) + 3 * 32768);
}

TEST_F(ResolutionFixture, InformationLinesOfTheOpenSource) {
    screen(160, 160);
    engine.nBytesTarget = 3000;
    engine.nMaxFrameRate = 10;
    engine.nKeyFrameInterval = 0;
    engine.fUncompressedVideo = false;
    ResolutionLogic logic(engine, fields);
    EXPECT_TRUE(logic.manual());
    // The engine's range gives 99 frames: 98 at 3000 bytes and one full frame of
    // 160 x 160 + 768.
    EXPECT_EQ(logic.estimateLine(),
              "Estimated file size: 313K  (99 frames at 10 fps, Duration: 0:09 )");
    EXPECT_EQ(logic.automaticText(), "&Automatic. (Current source is 10 fps)");
    EXPECT_EQ(logic.rateLine(), "Rate:  10 fps ");

    logic.setCompress(false); // every frame full
    EXPECT_EQ(logic.estimateLine(),
              "Estimated file size: 2550K  (99 frames at 10 fps, Duration: 0:09 )");
    EXPECT_FALSE(logic.trackEnabled());

    logic.setRateText("5");
    EXPECT_EQ(logic.rateLine(), "Rate:  5 fps ");
    logic.setRateText("five"); // not a number: automatic rate for the estimate
    EXPECT_EQ(logic.rateLine(), "Rate:  10 fps ");
}

TEST_F(ResolutionFixture, WithoutASourceOnlyTheTargetLineIsComputed) {
    video.openResult = kVideoFileMissing;
    ResolutionLogic logic(engine, fields);
    logic.setTrackPosition(24);
    EXPECT_EQ(logic.targetLine(), "Target 2400 bytes per frame - medium quality");
    EXPECT_EQ(logic.estimateLine(), "");
    EXPECT_EQ(logic.automaticText(), "&Automatic");
    EXPECT_EQ(logic.rateLine(), "");
    EXPECT_EQ(logic.accept(), 1);
}

TEST_F(ResolutionFixture, ManualRateIsKeptWhenTheFieldIsNotANumber) {
    struct Case {
        bool manual;
        const char* text;
        int32_t expected;
    };
    for (const Case c : {Case{true, "24", 24}, Case{true, " 7 ", 7}, Case{true, "abc", 15},
                         Case{true, "", 15}, Case{true, "-3", 15}, Case{false, "24", 0}}) {
        engine.nMaxFrameRate = 15;
        ResolutionLogic logic(engine, fields);
        logic.setManual(c.manual);
        logic.setRateText(c.text);
        logic.accept();
        EXPECT_EQ(engine.nMaxFrameRate, c.expected) << c.text;
    }
}

TEST_F(ResolutionFixture, PreviewsAreClearedOnlyWhenSizeOrModeChanged) {
    std::vector<uint8_t> a(OrbanwickMovieEncoder::kFrameBufferBytes), b(a.size());
    auto run = [&](auto change) {
        std::fill(a.begin(), a.end(), 7);
        std::fill(b.begin(), b.end(), 7);
        screen(320, 240);
        engine.nColorDepth = 16;
        engine.fUseGrayscale = false;
        ResolutionLogic logic(engine, fields, {a.data(), b.data()});
        change(logic);
        logic.accept();
        return std::count(a.begin(), a.end(), 0) == long(a.size()) &&
               std::count(b.begin(), b.end(), 0) == long(b.size());
    };
    EXPECT_FALSE(run([](ResolutionLogic& l) { l.setTrackPosition(40); }));
    EXPECT_TRUE(run([](ResolutionLogic& l) { l.chooseScreenSize(2); }));
    EXPECT_TRUE(run([](ResolutionLogic& l) { l.chooseColorMode(3); }));
    // Grayscale and the extended palette share the code 16.
    EXPECT_FALSE(run([](ResolutionLogic& l) { l.chooseColorMode(0); }));
}

TEST_F(ResolutionFixture, ImmediateWritesSurviveCancel) {
    screen(320, 240);
    engine.nBytesTarget = 4000;
    engine.fUncompressedVideo = true;
    engine.nKeyFrameInterval = 0;
    ResolutionLogic logic(engine, fields);
    logic.chooseSeekPoints(2);
    logic.choosePreset(1); // "1. Lo-res 10fps Grayscale"
    EXPECT_EQ(logic.trackMaximum(), 30);
    EXPECT_EQ(logic.trackPosition(), 18);
    EXPECT_EQ(logic.colorIndex(), 0);
    EXPECT_TRUE(logic.compress());
    logic.setTrackPosition(25);
    logic.chooseColorMode(4);
    EXPECT_EQ(logic.reject(), 0);
    EXPECT_EQ(engine.nScreenWidth, 160);
    EXPECT_EQ(engine.nMaxFrameRate, 10);
    EXPECT_EQ(engine.nBytesTarget, 1800); // the track bar is written only by OK
    EXPECT_TRUE(engine.fUseGrayscale);
    EXPECT_EQ(engine.nKeyFrameInterval, 10);
    EXPECT_FALSE(video.IsOpen());
}
