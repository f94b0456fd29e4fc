// Base behaviour of the source interfaces, through minimal sources whose stream
// information a test sets directly.
#include "encoder/media/streamsource.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

namespace {

class FixedVideoSource : public VideoStreamSource {
public:
    VideoStreamInfo info;
    void Close() override {}
    bool IsOpen() override { return true; }
    uint32_t GetSourceType() override { return kSourceTypeVideoAVI; }
    int Open(const char*) override { return 0; }
    int GetFrame(int, std::unique_ptr<VBitmap>&) override { return kVideoReadError; }
    int GetInfo(VideoStreamInfo* out) override {
        *out = info;
        return 0;
    }
    int GetStart() override { return 0; }
    int GetLength() override { return info.length; }
    const char* OsText() const { return m_osErrorText; }
};

class FixedAudioSource : public AudioStreamSource {
public:
    void Close() override {}
    bool IsOpen() override { return false; }
    int Open(const char*) override { return kAudioNoAudio; }
    uint32_t GetSourceType() override { return kSourceTypeAudioAVI; }
    int Read(int, int, void*, int, int*, int*) override { return kAudioNotOpen; }
    int GetInfo(AudioStreamInfo*) override { return kAudioNotOpen; }
    int GetStart() override { return 0; }
    int GetLength() override { return 0; }
};

struct FrameStepCase {
    uint32_t rate, scale;
    int32_t length;
    int requested;
    double chosen, step;
    int count, native;
};

class FrameStep : public testing::TestWithParam<FrameStepCase> {};

TEST_P(FrameStep, ChoosesRateStepAndCount) {
    const FrameStepCase& c = GetParam();
    FixedVideoSource src;
    src.info = {c.rate, c.scale, c.length, 320, 240};
    double chosen = -1, step = -1;
    int count = -1, native = -1;
    src.ComputeFrameStep(c.requested, &chosen, &count, &step, &native);
    EXPECT_NEAR(chosen, c.chosen, 1e-9);
    EXPECT_NEAR(step, c.step, 1e-9);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(native, c.native);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, FrameStep,
    testing::Values(
        // automatic
        FrameStepCase{15, 1, 150, 0, 15.0, 1.0, 150, 15},
        FrameStepCase{30, 1, 300, 0, 10.0, 3.0, 100, 30},
        FrameStepCase{25, 1, 250, 0, 25.0 / 3.0, 3.0, 83, 25},
        FrameStepCase{24, 1, 240, 0, 8.0, 3.0, 80, 24},
        FrameStepCase{30000, 1001, 300, 0, 30000.0 / 1001.0 / 3.0, 3.0, 100, 29},
        // requested below the stream's rate
        FrameStepCase{30, 1, 300, 15, 15.0, 2.0, 150, 30},
        FrameStepCase{25, 1, 250, 15, 15.0, 25.0 / 15.0, 150, 25},
        FrameStepCase{24, 1, 241, 10, 10.0, 2.4, 100, 24},
        // requested at or above the stream's rate: the stream's own rate, every frame
        FrameStepCase{15, 1, 150, 15, 15.0, 1.0, 150, 15},
        FrameStepCase{24, 1, 240, 30, 24.0, 1.0, 240, 24}));

TEST(FrameStep, NativeRateMayBeOmittedAndZeroScaleGivesNoFrames) {
    FixedVideoSource src;
    src.info = {30, 1, 300, 320, 240};
    double chosen, step;
    int count;
    src.ComputeFrameStep(0, &chosen, &count, &step, nullptr);
    EXPECT_EQ(count, 100);
    src.info = {30, 0, 300, 320, 240};
    src.ComputeFrameStep(0, &chosen, &count, &step, nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(step, 1.0);
}

TEST(ErrorTexts, VideoTableOsTextAndUnknownCodes) {
    FixedVideoSource src;
    EXPECT_STREQ(src.GetErrorText(0), "No error");
    EXPECT_STREQ(src.GetErrorText(5), "The file doesn't contain video data");
    EXPECT_STREQ(src.GetErrorText(9), "Unknown error");
    EXPECT_STREQ(src.GetErrorText(14), "Unknown ErrCode 14");
    EXPECT_STREQ(src.GetErrorText(4000000000u), "Unknown ErrCode -294967296");
    EXPECT_EQ(src.SetOSError(ENOENT), kVideoOSError);
    EXPECT_STREQ(src.GetErrorText(10), std::strerror(ENOENT));
    src.SetOSError(987654);
    EXPECT_STREQ(src.GetErrorText(10), "OS error 0xf1206");
}

TEST(ErrorTexts, AudioTableAndPrefixedOsText) {
    FixedAudioSource src;
    EXPECT_STREQ(src.GetErrorText(4), "The file doesn't contain audio data");
    EXPECT_STREQ(src.GetErrorText(10), "Unknown error");
    EXPECT_STREQ(src.GetErrorText(16), "Unknown ErrCode 16");
    EXPECT_EQ(src.SetError(kAudioOSError, EACCES), kAudioOSError);
    EXPECT_EQ(std::string(src.GetErrorText(11)), std::string("OS Error: ") + std::strerror(EACCES));
    EXPECT_EQ(src.SetError(kAudioReadError, 0), kAudioReadError);
    EXPECT_EQ(std::string(src.GetErrorText(11)), std::string("OS Error: ") + std::strerror(EACCES));
}

TEST(ErrorTexts, OsTextIsFoldedOntoOneLineWithoutTrailingBlanks) {
    char out[64];
    FormatOSErrorText(EPERM, "pre\r\n", out, sizeof out);
    EXPECT_EQ(std::string(out), std::string("pre  ") + std::strerror(EPERM));
    char tiny[8];
    FormatOSErrorText(EPERM, "OS Error: ", tiny, sizeof tiny);
    EXPECT_EQ(std::strlen(tiny), 7u);
}

TEST(SourceTypes, FourCharacterCodes) {
    EXPECT_EQ(kSourceTypeVideoAVI, 0x56415649u);
    EXPECT_EQ(kSourceTypeVideoQT, 0x56515420u);
    EXPECT_EQ(kSourceTypeAudioAVI, 0x41415649u);
    EXPECT_EQ(kSourceTypeAudioQT, 0x41515420u);
}

} // namespace
