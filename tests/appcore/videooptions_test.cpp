// The "Video Options" decisions: range fields, the live preview's placement and the rules
// for what OK and Cancel keep.
#include "encoder/app/core/videooptionslogic.h"

#include "../engine/fakesources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {
constexpr uint32_t kFace = 0x00c0c0c0;

// Every source pixel is distinct: column in the red/green bytes, row in blue, frame on top.
uint32_t sourcePixel(int frame, int x, int yFromTop) {
    return (uint32_t(frame & 0x0f) << 20) | (uint32_t(x) << 8) | uint32_t(yFromTop);
}

// Opens again after a close, as the real sources do.
struct ReopeningSource : PaintedVideoSource {
    int Open(const char*) override {
        open = true;
        return kVideoOk;
    }
};

std::string existingFile() {
    const auto path = std::filesystem::temp_directory_path() / "quil_dialog_clip.avi";
    std::ofstream(path) << "x";
    return path.string();
}

struct VideoOptionsFixture : ::testing::Test {
    OrbanwickMovieEncoder engine;
    ReopeningSource video;
    MainWindowFields fields;

    VideoOptionsFixture() {
        video.info = {25, 1, 300, 80, 60};
        video.paint = sourcePixel;
        engine.SetSourceLists({&video}, {});
        fields.source_file = existingFile();
        fields.encodemode = kEncodeVideoOnly;
        engine.nFrameStart = 0;
        engine.nFrameEnd = 0;
    }
};
} // namespace

TEST_F(VideoOptionsFixture, RangeShowsWholeSourceAndOkStoresToTheEnd) {
    VideoOptionsLogic logic(engine, fields, kFace);
    ASSERT_TRUE(logic.sourceShown());
    EXPECT_EQ(logic.firstText(), "0");
    EXPECT_EQ(logic.lastText(), "299");
    EXPECT_EQ(logic.positionLast(), 299);
    EXPECT_EQ(logic.microsecondsPerFrame(), 40000);
    EXPECT_EQ(logic.accept(), 1);
    EXPECT_EQ(engine.nFrameEnd, 0);
    EXPECT_FALSE(video.IsOpen());

    struct Case {
        const char* first;
        const char* last;
        int32_t start, end;
    };
    for (const Case c : {Case{"10", "200", 10, 200}, Case{" 12x", "400", 12, 0},
                         Case{"abc", "", 10, 200}, Case{"-5", "298", -5, 298}}) {
        engine.nFrameStart = 10;
        engine.nFrameEnd = 200;
        VideoOptionsLogic l(engine, fields, kFace);
        l.setFirstText(c.first);
        l.setLastText(c.last);
        l.accept();
        EXPECT_EQ(engine.nFrameStart, c.start) << c.first;
        EXPECT_EQ(engine.nFrameEnd, c.end) << c.last;
    }
}

TEST_F(VideoOptionsFixture, RangeButtonsAndPositionCommands) {
    engine.nFrameStart = 5;
    engine.nFrameEnd = 50;
    VideoOptionsLogic logic(engine, fields, kFace);
    EXPECT_EQ(logic.firstText(), "5");
    EXPECT_EQ(logic.lastText(), "50");
    logic.setLastText("120");
    EXPECT_TRUE(logic.goLast());
    EXPECT_EQ(logic.position(), 120);
    EXPECT_EQ(video.fetched.back(), 120);
    logic.setToFirst();
    EXPECT_EQ(logic.firstText(), "120");
    logic.positionNotice(6);
    EXPECT_EQ(logic.position(), 121);
    logic.positionNotice(5);
    logic.positionNotice(5);
    EXPECT_EQ(logic.position(), 119);
    logic.positionNotice(7);
    EXPECT_EQ(logic.position(), 299);
    logic.positionNotice(6); // the bar stops at its end
    EXPECT_EQ(logic.position(), 299);
    logic.setToLast();
    EXPECT_EQ(logic.lastText(), "299");
    logic.positionNotice(4);
    EXPECT_EQ(logic.position(), 0);
    logic.setFirstText("x");
    EXPECT_FALSE(logic.goFirst()); // no number: the click is ignored
    EXPECT_EQ(logic.position(), 0);
    logic.useAllFrames();
    EXPECT_EQ(logic.firstText(), "0");
    EXPECT_EQ(logic.lastText(), "299");
}

TEST_F(VideoOptionsFixture, SlidersResetAndCancelKeepsLiveChanges) {
    engine.rBrightness = 0.25;
    engine.rContrast = -0.5;
    engine.rCropFactor = 0.5;
    VideoOptionsLogic logic(engine, fields, kFace);
    EXPECT_EQ(logic.brightness(), 25);
    EXPECT_EQ(logic.contrast(), -50); // rounded on both sides of zero
    EXPECT_EQ(logic.sizing(), 32);
    EXPECT_TRUE(logic.resetSliders());
    EXPECT_EQ(engine.rBrightness, 0.0);
    EXPECT_EQ(engine.rContrast, 0.0);
    EXPECT_EQ(logic.sizing(), 32);

    logic.setBrightness(40);
    logic.setSizing(64);
    logic.render();
    logic.setFlag(VideoFlag::FlipHorizontally, true);
    EXPECT_EQ(logic.reject(), 0);
    EXPECT_DOUBLE_EQ(engine.rBrightness, 0.40);
    EXPECT_TRUE(engine.fFlipImageHorizontally);
    EXPECT_DOUBLE_EQ(engine.rCropFactor, 0.5); // sizing is written only by OK
    EXPECT_FALSE(video.IsOpen());
}

// The preview must place the picture as the movie will: the same ComputeFitRect on the
// display box, the source rectangle drawn nearest-neighbour, black bars, the button face
// around the box.
TEST_F(VideoOptionsFixture, PreviewMatchesTheEnginePlacement) {
    engine.nScreenWidth = 320;
    engine.nScreenHeight = 320;
    struct Case {
        int sizing;
        bool flipH, flipV;
    };
    for (const Case c : {Case{0, false, false}, Case{64, false, false}, Case{64, true, true},
                         Case{0, true, false}}) {
        engine.rCropFactor = c.sizing / 64.0;
        engine.fFlipImageHorizontally = c.flipH;
        engine.fFlipImageVertically = c.flipV;
        VideoOptionsLogic logic(engine, fields, kFace);
        ASSERT_NE(logic.preview(), nullptr);
        const VBitmap& p = *logic.preview();
        const PixelRect box = logic.displayBox();
        EXPECT_EQ(box.width, 160);
        EXPECT_EQ(box.height, 160);

        PixelRect d;
        SourceRect s;
        ComputeFitRect(80, 60, c.sizing / 64.0, &d, &s, 160, 160);
        if (c.sizing == 0) {
            EXPECT_EQ(d.width, 160); // fills the box, sides cropped
            EXPECT_GT(s.x, 0.0);
        } else {
            EXPECT_EQ(d.height, 120); // whole picture with bars
            EXPECT_EQ(d.y, 24);
        }
        const int dyBottom = 160 - d.y - d.height;
        int mismatches = 0;
        for (int row = 0; row < 160; ++row) {
            for (int x = 0; x < 160; ++x) {
                uint32_t expected = 0;
                int i = x - d.x, j = row - dyBottom;
                if (i >= 0 && i < d.width && j >= 0 && j < d.height) {
                    if (c.flipH) {
                        i = d.width - 1 - i;
                    }
                    if (c.flipV) {
                        j = d.height - 1 - j;
                    }
                    const int sx = int(s.x + (i + 0.5) * s.width / d.width);
                    const int sy = int(s.y + (j + 0.5) * s.height / d.height);
                    expected = sourcePixel(0, sx, 59 - sy);
                }
                mismatches += p.Row(row)[x] != expected;
            }
        }
        EXPECT_EQ(mismatches, 0) << "sizing " << c.sizing << " flips " << c.flipH << c.flipV;
    }
}

TEST_F(VideoOptionsFixture, DisplayBoxKeepsScreenProportionsAndRotationSwapsThem) {
    struct Case {
        int w, h;
        bool rotate;
        PixelRect box;
    };
    for (const Case c : {Case{160, 160, false, {0, 0, 160, 160}}, Case{320, 240, false, {0, 20, 160, 120}},
                         Case{320, 240, true, {20, 0, 120, 160}}, Case{216, 384, false, {35, 0, 90, 160}}}) {
        engine.nScreenWidth = c.w;
        engine.nScreenHeight = c.h;
        engine.fRotateImageSideways = c.rotate;
        VideoOptionsLogic logic(engine, fields, kFace);
        const PixelRect b = logic.displayBox();
        EXPECT_EQ(b.x, c.box.x) << c.w << "x" << c.h;
        EXPECT_EQ(b.y, c.box.y);
        EXPECT_EQ(b.width, c.box.width);
        EXPECT_EQ(b.height, c.box.height);
        const VBitmap& p = *logic.preview();
        EXPECT_EQ(p.Row(159)[0], c.box.x || c.box.y ? kFace : p.Row(159)[0]);
    }
}

TEST_F(VideoOptionsFixture, PreviewIsAdjustedAndAFailedFrameKeepsThePicture) {
    engine.nScreenWidth = 160;
    engine.nScreenHeight = 160;
    engine.rCropFactor = 0;
    VideoOptionsLogic logic(engine, fields, kFace);
    VBitmap expected(kPreviewSide, kPreviewSide);
    expected.BitBlt(0, 0, logic.preview(), 0, 0, -1, -1);
    expected.AdjustBrightnessContrast(0, 0, -1, -1, 0.4f, -0.2f);
    logic.setBrightness(40);
    logic.setContrast(-20);
    ASSERT_TRUE(logic.render());
    EXPECT_DOUBLE_EQ(engine.rBrightness, 0.4);
    EXPECT_DOUBLE_EQ(engine.rContrast, -0.2);
    EXPECT_TRUE(std::equal(expected.data, expected.data + 160 * 160, logic.preview()->data));

    const uint32_t before = logic.preview()->Row(80)[80];
    video.failFrom = 10;
    logic.setLastText("20");
    EXPECT_FALSE(logic.goLast());
    EXPECT_EQ(logic.position(), 20);
    EXPECT_EQ(logic.preview()->Row(80)[80], before);
}

TEST_F(VideoOptionsFixture, ASourceThatCannotBeOpenedIsReportedAndChangesNothing) {
    fields.source_file.clear();
    engine.nFrameEnd = 0;
    engine.rBrightness = 0.5;
    VideoOptionsLogic logic(engine, fields, kFace);
    EXPECT_FALSE(logic.sourceShown());
    ASSERT_TRUE(logic.openError().has_value());
    EXPECT_EQ(logic.preview(), nullptr);
    EXPECT_FALSE(logic.render());
    EXPECT_EQ(engine.nFrameEnd, 0);
    EXPECT_DOUBLE_EQ(engine.rBrightness, 0.5);
}
