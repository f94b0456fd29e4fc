// The QuickTime-model sources: the 1/60 s picture grid over MP4, MPEG program streams and
// MOV, the converted sound, its clipping at the end, every code a file provokes, the
// not-installed path and the candidate lists.
#include "encoder/media/avisource.h"
#include "encoder/media/mediamessage.h"
#include "encoder/media/qtsource.h"
#include "encoder/media/sourcelists.h"
#include "encoder/media/vbitmap.h"
#include "testmedia.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

using testmedia::indexOf;

struct GridClip {
    const char* name;
    int fps;
    const char* args;
};

const GridClip kGridClips[] = {
    {"h264.mp4", 25, "-c:v libx264 -crf 16 -g 10 -pix_fmt yuv420p"},
    {"mpeg1.mpg", 25, "-c:v mpeg1video -q:v 2 -g 6 -f mpeg"},
    {"mjpeg.mov", 30, "-c:v mjpeg -q:v 2"},
    {"vp8.webm", 30, "-c:v libvpx -b:v 1M -g 8"},
};

constexpr int kFrames = 36;

class QtGrid : public testing::TestWithParam<GridClip> {};

// Frame n is the picture due at n / 60 s: frame floor(n * fps / 60) of the clip, whatever
// was asked before.
TEST_P(QtGrid, FrameNShowsThePictureDueAtNSixtieths) {
    const GridClip c = GetParam();
    const std::string path = testmedia::indexedClip(c.name, kFrames, c.fps, c.args);
    VideoStreamSourceQT src;
    ASSERT_EQ(src.Open(path.c_str()), 0) << src.GetErrorText(11);
    VideoStreamInfo info;
    ASSERT_EQ(src.GetInfo(&info), 0);
    EXPECT_EQ(info.rate, info.scale * 60);
    EXPECT_EQ(info.width, testmedia::kWidth);
    EXPECT_EQ(info.height, testmedia::kHeight);
    const int expectLength = kFrames * 60 / c.fps;
    EXPECT_NEAR(info.length, expectLength, 2);
    EXPECT_EQ(src.GetStart(), 0);

    std::vector<int> order;
    for (int n = 0; n < info.length; ++n) {
        order.push_back(n);
    }
    std::mt19937 rng(5);
    for (int i = 0; i < 40; ++i) {
        order.push_back(int(rng() % unsigned(info.length)));
    }
    for (int n = info.length - 1; n >= 0; n -= 11) {
        order.push_back(n);
    }
    std::unique_ptr<VBitmap> pic;
    for (const int n : order) {
        ASSERT_EQ(src.GetFrame(n, pic), 0);
        const int due = std::min(n * c.fps / 60, kFrames - 1);
        ASSERT_EQ(indexOf(*pic), due) << "grid frame " << n;
    }
    src.Close();
    EXPECT_EQ(src.GetFrame(0, pic), kVideoNotOpen);
    EXPECT_EQ(src.GetLength(), 0);
}

INSTANTIATE_TEST_SUITE_P(Containers, QtGrid, testing::ValuesIn(kGridClips),
                         [](const testing::TestParamInfo<GridClip>& i) {
                             std::string n = i.param.name;
                             return n.substr(0, n.find('.'));
                         });

TEST(QtGridRates, ThirtyFramesASecondReportSixtyAndStepSixAtAutomaticRate) {
    const std::string path = testmedia::indexedClip("thirty.mp4", 30, 30, "-c:v libx264 -crf 20");
    VideoStreamSourceQT src;
    ASSERT_EQ(src.Open(path.c_str()), 0);
    EXPECT_EQ(src.GetLength(), 60);
    double fps, step;
    int count, native;
    src.ComputeFrameStep(0, &fps, &count, &step, &native);
    EXPECT_DOUBLE_EQ(fps, 10.0);
    EXPECT_DOUBLE_EQ(step, 6.0);
    EXPECT_EQ(count, 10);
    EXPECT_EQ(native, 60);
}

// ---------------------------------------------------------------------------------------
// Sound

std::string movWithSound() {
    return testmedia::indexedClip("sound.mov", 25, 25, "-c:v mjpeg -q:v 4 -shortest",
                                  "-c:a aac -b:a 96k");
}

TEST(QtAudio, ConvertedSoundIsTheSameFromAnyFirstBlock) {
    const std::string path = movWithSound();
    AudioStreamSourceQT src;
    ASSERT_EQ(src.Open(path.c_str()), 0);
    AudioStreamInfo info;
    ASSERT_EQ(src.GetInfo(&info), 0);
    EXPECT_EQ(info.rate, info.scale * 10000);
    EXPECT_EQ(info.bitsPerSample, 16);
    EXPECT_EQ(info.blockAlign, 2);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.samplesPerSec, 10000u);
    EXPECT_EQ(info.formatTag, 0);
    EXPECT_NEAR(info.length, 10000, 120); // one second of movie
    EXPECT_EQ(src.GetStart(), 0);

    std::vector<int16_t> all(size_t(info.length));
    int bytes = 0, blocks = 0;
    ASSERT_EQ(src.Read(0, info.length, all.data(), int(all.size() * 2), &bytes, &blocks), 0);
    ASSERT_EQ(blocks, info.length);
    EXPECT_EQ(bytes, info.length * 2);

    // The test sound is two tones a fifth apart: the mean of the channels swings well away
    // from zero in the middle of the movie.
    double energy = 0;
    for (int i = 2000; i < 8000; ++i) {
        energy += double(all[size_t(i)]) * all[size_t(i)];
    }
    EXPECT_GT(std::sqrt(energy / 6000), 2000.0);

    // A second source object, read at scattered first blocks, backwards, in odd sizes.
    AudioStreamSourceQT again;
    ASSERT_EQ(again.Open(path.c_str()), 0);
    std::mt19937 rng(3);
    std::vector<int> firsts{7000, 3, 9000, 0, 5555, 5556};
    for (int i = 0; i < 15; ++i) {
        firsts.push_back(int(rng() % unsigned(info.length)));
    }
    for (const int first : firsts) {
        const int count = 1 + int(rng() % 2500);
        std::vector<int16_t> part(static_cast<size_t>(count));
        ASSERT_EQ(again.Read(first, count, part.data(), count * 2, &bytes, &blocks), 0);
        ASSERT_EQ(blocks, std::min(count, info.length - first));
        ASSERT_TRUE(std::equal(part.begin(), part.begin() + blocks, all.begin() + first))
            << "first " << first;
    }
}

TEST(QtAudio, ReadsAreClippedAtTheEndOfTheMovie) {
    const std::string path = movWithSound();
    AudioStreamSourceQT src;
    ASSERT_EQ(src.Open(path.c_str()), 0);
    const int length = src.GetLength();
    std::vector<int16_t> buf(1000);
    int bytes = -1, blocks = -1;
    ASSERT_EQ(src.Read(length - 100, 1000, buf.data(), 2000, &bytes, &blocks), 0);
    EXPECT_EQ(blocks, 100);
    EXPECT_EQ(bytes, 200);
    ASSERT_EQ(src.Read(length, 10, buf.data(), 2000, &bytes, &blocks), 0);
    EXPECT_EQ(blocks, 0);
    EXPECT_EQ(bytes, 0);
    // A buffer too small for the request: what fits, the message, and code 9.
    std::vector<std::string> shown;
    setMediaMessageHandler([&](const char* caption, const char* text) {
        shown.push_back(std::string(caption) + "|" + text);
    });
    ASSERT_EQ(src.Read(0, 500, buf.data(), 100, &bytes, &blocks), kAudioBufferTooSmall);
    EXPECT_EQ(blocks, 50);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "AQT line 7|Quicktime Audio Error:  Sound buffer too small");
    setMediaMessageHandler(nullptr);
}

// ---------------------------------------------------------------------------------------
// Codes

struct QtOpenCase {
    const char* what;
    std::string (*file)();
    int video, audio;
};

std::string emptyName() {
    return "";
}
std::string missingFile() {
    return testmedia::dir() + "/missing.mov";
}
std::string garbage() {
    return testmedia::bytesFile("garbage.mov", std::string(5000, '\x17'));
}
std::string silentMp4() {
    return testmedia::indexedClip("h264.mp4", kFrames, 25, kGridClips[0].args);
}
std::string soundOnly() {
    return testmedia::soundFile("tone.m4a", 22050, 2, 0.5, "-c:a aac");
}
std::string truncatedMp4() {
    // Without its index (written at the end) an MP4 cannot be read.
    return testmedia::prefixCopy(silentMp4(), "truncated.mp4", 0.5);
}

class QtOpenCodes : public testing::TestWithParam<QtOpenCase> {};

TEST_P(QtOpenCodes, FileProvokesItsCode) {
    const QtOpenCase c = GetParam();
    const std::string path = c.file();
    VideoStreamSourceQT video;
    EXPECT_EQ(video.Open(path.c_str()), c.video);
    EXPECT_EQ(video.IsOpen(), c.video == 0);
    AudioStreamSourceQT audio;
    EXPECT_EQ(audio.Open(path.c_str()), c.audio);
    EXPECT_EQ(audio.IsOpen(), c.audio == 0);
    if (c.video == kVideoImpl11) {
        EXPECT_EQ(std::string(video.GetErrorText(11)).rfind("QuickTime Macintosh OS error -", 0),
                  0u);
    }
    if (c.audio == kAudioImpl12) {
        EXPECT_EQ(std::string(audio.GetErrorText(12)).rfind("QuickTime Macintosh OS error -", 0),
                  0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, QtOpenCodes,
    testing::Values(QtOpenCase{"empty_name", emptyName, kVideoFileMissing, kAudioNoFileName},
                    QtOpenCase{"missing", missingFile, kVideoFileMissing, kAudioFileMissing},
                    QtOpenCase{"not_media", garbage, kVideoImpl11, kAudioImpl12},
                    QtOpenCase{"truncated", truncatedMp4, kVideoImpl11, kAudioImpl12},
                    QtOpenCase{"no_sound", silentMp4, 0, kAudioNoAudio},
                    QtOpenCase{"no_video", soundOnly, kVideoNoVideo, 0}),
    [](const testing::TestParamInfo<QtOpenCase>& i) { return std::string(i.param.what); });

// A WAV header claiming 1.6 billion samples per second once made the resampler abort.
TEST(QtAudioRegression, AbsurdSampleRateIsRefusedNotAborted) {
    std::string wav = "RIFF";
    auto le32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            wav += char(v >> (8 * i) & 255);
        }
    };
    auto le16 = [&](uint16_t v) {
        wav += char(v & 255);
        wav += char(v >> 8);
    };
    le32(36 + 64);
    wav += "WAVEfmt ";
    le32(16);
    le16(1);           // PCM
    le16(1);           // mono
    le32(1610620736u); // samples per second
    le32(1610620736u); // bytes per second
    le16(1);
    le16(8);
    wav += "data";
    le32(64);
    wav += std::string(64, '\x80');
    const std::string path = testmedia::bytesFile("absurd-rate.wav", wav);
    AudioStreamSourceQT qt;
    EXPECT_EQ(qt.Open(path.c_str()), kAudioImpl12);
    AudioStreamSourceAVI avi;
    EXPECT_EQ(avi.Open(path.c_str()), kAudioBadFormat);
}

class TooOldVideo : public VideoStreamSourceQT {
  public:
    int16_t InitQuickTime() override { return kNotInstalled; }
};
class TooOldAudio : public AudioStreamSourceQT {
  public:
    int16_t InitQuickTime() override { return kNotInstalled; }
};

TEST(QtNotInstalled, OpenAnswersTheNotInstalledCodes) {
    const std::string path = movWithSound();
    TooOldVideo video;
    EXPECT_EQ(video.Open(path.c_str()), kVideoImpl13);
    EXPECT_EQ(std::string(video.GetErrorText(13)),
              "QuickTime is either not installed or the installed version is too old.  In order "
              "to load QuickTime movies, please install QuickTime version 5.0 or later.");
    TooOldAudio audio;
    EXPECT_EQ(audio.Open(path.c_str()), kAudioImpl14);
    EXPECT_STREQ(audio.GetErrorText(14), video.GetErrorText(13));
    EXPECT_EQ(std::string(audio.GetErrorText(15))
                  .rfind("QuickTime movie sound export components are not available.", 0),
              0u);
    EXPECT_EQ(uint16_t(CommonStreamSourceQT::kNotInstalled), 60035);
    // The real start-up succeeds here, and once is enough.
    VideoStreamSourceQT real;
    EXPECT_EQ(real.InitLibrary(), 0);
    EXPECT_EQ(real.InitQuickTime(), 0);
}

TEST(QtErrorTexts, ResultCodesFormatted) {
    VideoStreamSourceQT v;
    EXPECT_EQ(v.SetMacOSError(-43), 11);
    EXPECT_STREQ(v.GetErrorText(11), "QuickTime Macintosh OS error -43");
    EXPECT_EQ(v.SetQuickDrawError(-1), 12);
    EXPECT_STREQ(v.GetErrorText(12), "QuickTime QuickDraw error -1");
    AudioStreamSourceQT a;
    EXPECT_EQ(a.SetMacOSError(-2003), 12);
    EXPECT_STREQ(a.GetErrorText(12), "QuickTime Macintosh OS error -2003");
    EXPECT_EQ(a.SetQuickDrawError(-108), 13);
    EXPECT_STREQ(a.GetErrorText(13), "QuickTime QuickDraw error -108");
    AudioStreamInfo info;
    EXPECT_EQ(a.GetInfo(&info), kAudioNotOpen);
    EXPECT_EQ(a.Read(0, 1, nullptr, 0, nullptr, nullptr), kAudioNotOpen);
    EXPECT_EQ(a.GetLength(), 0);
}

// ---------------------------------------------------------------------------------------
// Candidate lists

template <class Source>
Source* firstThatOpens(const std::vector<std::unique_ptr<Source>>& list, const std::string& path) {
    for (const auto& s : list) {
        if (s->Open(path.c_str()) == 0) {
            return s.get();
        }
    }
    return nullptr;
}

TEST(Candidates, AviFirstThenQuickTimeForVideoAndAudio) {
    const auto video = CreateVideoSourceCandidates();
    const auto audio = CreateAudioSourceCandidates();
    ASSERT_EQ(video.size(), 2u);
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(video[0]->GetSourceType(), kSourceTypeVideoAVI);
    EXPECT_EQ(video[1]->GetSourceType(), kSourceTypeVideoQT);
    EXPECT_EQ(audio[0]->GetSourceType(), kSourceTypeAudioAVI);
    EXPECT_EQ(audio[1]->GetSourceType(), kSourceTypeAudioQT);

    const std::string avi = testmedia::indexedClip("with-sound.avi", 25, 25,
                                                   "-c:v mjpeg -q:v 4 -shortest", "-c:a pcm_s16le");
    EXPECT_EQ(firstThatOpens(video, avi)->GetSourceType(), kSourceTypeVideoAVI);
    EXPECT_EQ(firstThatOpens(audio, avi)->GetSourceType(), kSourceTypeAudioAVI);
    const std::string mov = movWithSound();
    EXPECT_EQ(firstThatOpens(video, mov)->GetSourceType(), kSourceTypeVideoQT);
    EXPECT_EQ(firstThatOpens(audio, mov)->GetSourceType(), kSourceTypeAudioQT);
    // The QuickTime-model video of the same MOV shows its pictures.
    std::unique_ptr<VBitmap> pic;
    ASSERT_EQ(video[1]->GetFrame(30, pic), 0);
    EXPECT_EQ(indexOf(*pic), 12);
}

TEST(QtReuse, OneSourceOpensManyFilesInTurn) {
    VideoStreamSourceQT video;
    AudioStreamSourceQT audio;
    std::unique_ptr<VBitmap> pic;
    for (int round = 0; round < 2; ++round) {
        for (const GridClip& c : kGridClips) {
            const std::string path = testmedia::indexedClip(c.name, kFrames, c.fps, c.args);
            ASSERT_EQ(video.Open(path.c_str()), 0);
            ASSERT_EQ(video.GetFrame(round * 30, pic), 0);
            EXPECT_EQ(indexOf(*pic), round * 30 * c.fps / 60);
            EXPECT_EQ(video.Open(garbage().c_str()), kVideoImpl11);
        }
        ASSERT_EQ(audio.Open(movWithSound().c_str()), 0);
        int16_t buf[32];
        int blocks = 0;
        ASSERT_EQ(audio.Read(round * 4000, 32, buf, sizeof buf, nullptr, &blocks), 0);
        EXPECT_EQ(blocks, 32);
        EXPECT_EQ(audio.Open(silentMp4().c_str()), kAudioNoAudio);
    }
}

} // namespace
