// The AVI sources on files made by ffmpeg: exact frames after any order of requests, the
// stream records, raw sample blocks from any first block, and every code a file provokes.
#include "encoder/media/avisource.h"
#include "encoder/media/mediamessage.h"
#include "encoder/media/vbitmap.h"
#include "testmedia.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace {

using testmedia::indexOf;

struct VideoClip {
    const char* name;
    const char* args;
};

const VideoClip kAviClips[] = {
    {"rgb24.avi", "-c:v rawvideo -pix_fmt bgr24"},
    {"pal8.avi", "-c:v rawvideo -pix_fmt pal8"},
    {"rgb555.avi", "-c:v rawvideo -pix_fmt rgb555le"},
    {"mjpeg.avi", "-c:v mjpeg -q:v 2 -pix_fmt yuvj420p"},
    {"mpeg4.avi", "-c:v mpeg4 -q:v 2 -g 12"},
};

constexpr int kFrames = 40;

class AviVideo : public testing::TestWithParam<VideoClip> {};

TEST_P(AviVideo, EveryRequestGivesExactlyThatFrame) {
    const std::string path = testmedia::indexedClip(GetParam().name, kFrames, 25, GetParam().args);
    VideoStreamSourceAVI src;
    ASSERT_EQ(src.Open(path.c_str()), 0) << src.GetErrorText(unsigned(src.Open(path.c_str())));
    ASSERT_TRUE(src.IsOpen());
    VideoStreamInfo info;
    ASSERT_EQ(src.GetInfo(&info), 0);
    EXPECT_EQ(info.rate / double(info.scale), 25.0);
    EXPECT_EQ(info.length, kFrames);
    EXPECT_EQ(info.width, testmedia::kWidth);
    EXPECT_EQ(info.height, testmedia::kHeight);
    EXPECT_EQ(src.GetStart(), 0);
    EXPECT_EQ(src.GetLength(), kFrames);

    // In order, then every third (as a lower output rate asks), then backwards, then at random.
    std::vector<int> order;
    for (int i = 0; i < kFrames; ++i) {
        order.push_back(i);
    }
    for (int i = 0; i < kFrames; i += 3) {
        order.push_back(i);
    }
    for (int i = kFrames - 1; i >= 0; i -= 7) {
        order.push_back(i);
    }
    std::mt19937 rng(7);
    for (int i = 0; i < 30; ++i) {
        order.push_back(int(rng() % kFrames));
    }
    order.push_back(5);
    order.push_back(5);
    std::unique_ptr<VBitmap> pic;
    for (const int i : order) {
        ASSERT_EQ(src.GetFrame(i, pic), 0) << "frame " << i;
        ASSERT_EQ(indexOf(*pic), i);
    }
    EXPECT_EQ(src.GetFrame(kFrames, pic), kVideoReadError);
    EXPECT_EQ(src.GetFrame(-1, pic), kVideoReadError);

    // The flag takes the rows in reverse: the picture reads as no index.
    src.SetFlipRows(true);
    ASSERT_EQ(src.GetFrame(3, pic), 0);
    EXPECT_EQ(indexOf(*pic), -1);
    src.SetFlipRows(false);

    src.Close();
    EXPECT_FALSE(src.IsOpen());
    EXPECT_EQ(src.GetLength(), 0);
    EXPECT_EQ(src.GetFrame(0, pic), kVideoNotOpen);
    src.Close();
}

INSTANTIATE_TEST_SUITE_P(Codecs, AviVideo, testing::ValuesIn(kAviClips),
                         [](const testing::TestParamInfo<VideoClip>& i) {
                             std::string n = i.param.name;
                             return n.substr(0, n.find('.'));
                         });

TEST(AviVideoRates, NtscRateKeepsItsRateAndScale) {
    const std::string path =
        testmedia::indexedClip("ntsc.avi", 12, 30, "-c:v mjpeg -q:v 3 -r 30000/1001");
    VideoStreamSourceAVI src;
    ASSERT_EQ(src.Open(path.c_str()), 0);
    VideoStreamInfo info;
    ASSERT_EQ(src.GetInfo(&info), 0);
    EXPECT_EQ(info.rate, 30000u);
    EXPECT_EQ(info.scale, 1001u);
    double fps, step;
    int count, native;
    src.ComputeFrameStep(0, &fps, &count, &step, &native);
    EXPECT_NEAR(fps, 30000.0 / 1001.0 / 3.0, 1e-9);
    EXPECT_EQ(native, 29);
}

// Pictures whose width is no multiple of 16, in the 4:2:0 format most camera files use: every
// row must come out whole, and the conversion must stay inside the picture's buffer.
TEST(AviVideoSizes, NarrowAndOddPicturesConvertRowByRow) {
    const struct {
        int width, height;
    } kSizes[] = {{1, 2}, {2, 1}, {5, 3}, {9, 4}, {15, 2}, {17, 5}, {33, 3}, {50, 6}};
    for (const auto [w, h] : kSizes) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const std::string name = "gray" + std::to_string(w) + "x" + std::to_string(h);
        // Each row one gray level, three frames of it.
        std::string raw;
        for (int f = 0; f < 3; ++f) {
            for (int y = 0; y < h; ++y) {
                raw.append(size_t(w), char(40 + 30 * y));
            }
        }
        const std::string rawPath = testmedia::bytesFile(name + ".gray", raw);
        const std::string path = testmedia::dir() + "/" + name + ".avi";
        ASSERT_TRUE(
            testmedia::run("ffmpeg -nostdin -y -loglevel error -f rawvideo -pix_fmt gray -s " +
                           std::to_string(w) + "x" + std::to_string(h) + " -r 10 -i " + rawPath +
                           " -c:v rawvideo -pix_fmt yuv420p " + path));
        VideoStreamSourceAVI src;
        ASSERT_EQ(src.Open(path.c_str()), 0);
        std::unique_ptr<VBitmap> pic;
        for (const int i : {0, 2, 1}) {
            ASSERT_EQ(src.GetFrame(i, pic), 0);
            ASSERT_EQ(pic->GetWidth(), w);
            ASSERT_EQ(pic->GetHeight(), h);
            for (int y = 0; y < h; ++y) {
                const int want = 40 + 30 * y;
                const uint32_t* row = pic->Row(h - 1 - y);
                for (int x = 0; x < w; ++x) {
                    for (const int shift : {0, 8, 16}) {
                        ASSERT_NEAR(int(row[x] >> shift & 255), want, 3)
                            << "frame " << i << " pixel " << x << "," << y;
                    }
                }
            }
        }
    }
}

struct OpenCase {
    const char* what;
    std::string (*file)();
    int video, audio;
};

std::string emptyName() {
    return "";
}
std::string missingFile() {
    return testmedia::dir() + "/missing.avi";
}
std::string textFile() {
    return testmedia::bytesFile("notes.avi", "just some words, no movie\n");
}
std::string emptyFile() {
    return testmedia::bytesFile("empty.avi", "");
}
std::string mp4File() {
    return testmedia::indexedClip("other.mp4", 5, 25, "-c:v mpeg4");
}
std::string wavFile() {
    return testmedia::soundFile("mono16.wav", 11025, 1, 0.5, "-c:a pcm_s16le");
}
std::string silentAvi() {
    return testmedia::indexedClip("mjpeg.avi", kFrames, 25, kAviClips[3].args);
}
std::string truncatedAvi() {
    // The header and the first frames survive, the index and the rest do not.
    const std::string full = testmedia::indexedClip("trunc-src.avi", 20, 25, "-c:v mjpeg -q:v 2");
    return testmedia::prefixCopy(full, "truncated.avi", 0.6);
}
std::string headerOnlyAvi() {
    const std::string full = testmedia::indexedClip("trunc-src.avi", 20, 25, "-c:v mjpeg -q:v 2");
    return testmedia::prefixCopy(full, "header-only.avi", 100);
}
std::string sixChannels() {
    return testmedia::soundFile("six.wav", 8000, 6, 0.2, "-c:a pcm_s16le");
}
std::string mp3InWav() {
    return testmedia::soundFile("mp3.wav", 22050, 1, 0.5, "-c:a libmp3lame -b:a 32k");
}
std::string floatWav() {
    return testmedia::soundFile("float.wav", 8000, 1, 0.2, "-c:a pcm_f32le");
}

class AviOpenCodes : public testing::TestWithParam<OpenCase> {};

TEST_P(AviOpenCodes, FileProvokesItsCode) {
    const OpenCase c = GetParam();
    const std::string path = c.file();
    VideoStreamSourceAVI video;
    EXPECT_EQ(video.Open(path.c_str()), c.video);
    EXPECT_EQ(video.IsOpen(), c.video == 0);
    AudioStreamSourceAVI audio;
    EXPECT_EQ(audio.Open(path.c_str()), c.audio);
    EXPECT_EQ(audio.IsOpen(), c.audio == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, AviOpenCodes,
    testing::Values(OpenCase{"empty_name", emptyName, kVideoNoFileName, kAudioNoFileName},
                    OpenCase{"missing", missingFile, kVideoFileMissing, kAudioFileMissing},
                    OpenCase{"not_media", textFile, kVideoImpl11, kAudioImpl12},
                    OpenCase{"empty_file", emptyFile, kVideoImpl11, kAudioImpl12},
                    OpenCase{"other_container", mp4File, kVideoImpl11, kAudioImpl12},
                    OpenCase{"no_video", wavFile, kVideoNoVideo, 0},
                    OpenCase{"no_audio", silentAvi, 0, kAudioNoAudio},
                    OpenCase{"header_only", headerOnlyAvi, kVideoBadFormat, kAudioBadFormat},
                    OpenCase{"six_channels", sixChannels, kVideoNoVideo, kAudioImpl15},
                    OpenCase{"mp3_in_wav", mp3InWav, kVideoNoVideo, kAudioBadFormat},
                    OpenCase{"float_samples", floatWav, kVideoNoVideo, kAudioBadFormat}),
    [](const testing::TestParamInfo<OpenCase>& i) { return std::string(i.param.what); });

TEST(AviVideoErrors, TruncatedFileFailsTheMissingFrames) {
    const std::string path = truncatedAvi();
    VideoStreamSourceAVI src;
    const int rc = src.Open(path.c_str());
    if (rc != 0) {
        EXPECT_EQ(rc, kVideoBadFormat);
        return;
    }
    std::unique_ptr<VBitmap> pic;
    ASSERT_EQ(src.GetFrame(0, pic), 0);
    EXPECT_EQ(indexOf(*pic), 0);
    // Frames the file no longer holds are not invented.
    const int last = src.GetLength() - 1;
    EXPECT_EQ(src.GetFrame(last, pic), kVideoReadError);
    ASSERT_EQ(src.GetFrame(1, pic), 0);
    EXPECT_EQ(indexOf(*pic), 1);
}

TEST(AviVideoErrors, FilesOfTwoGigabytesAreRefusedUnread) {
    const std::string path = testmedia::dir() + "/huge.avi";
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, VideoStreamSourceAVI::kMaxFileBytes), 0); // sparse
    ::close(fd);
    VideoStreamSourceAVI src;
    EXPECT_EQ(src.Open(path.c_str()), kVideoBadFormat);
    ::truncate(path.c_str(), VideoStreamSourceAVI::kMaxFileBytes - 1);
    EXPECT_EQ(src.Open(path.c_str()), kVideoImpl11); // read, and not a movie
    std::remove(path.c_str());
}

TEST(AviErrorTexts, ImplementationTexts) {
    VideoStreamSourceAVI v;
    EXPECT_STREQ(v.GetErrorText(11), "No format handler is registered for this AVI file format");
    EXPECT_STREQ(v.GetErrorText(13),
                 "No AVI decompressor is available that can provide 32, 24, or 16-bit RGB bitmaps");
    EXPECT_EQ(
        std::string(v.GetErrorText(2))
            .rfind("An out-of-memory error occurred while processing the specified AVI video file.",
                   0),
        0u);
    EXPECT_STREQ(v.GetErrorText(6),
                 "The video file is corrupt, in an unsupported format, or cannot be converted due "
                 "to DRM or legal restrictions (e.g. MPEG-2 or MPEG-4)");
    EXPECT_STREQ(v.GetErrorText(14), "Unknown ErrCode 14");
    AudioStreamSourceAVI a;
    EXPECT_STREQ(a.GetErrorText(12), "No format handler is registered for this AVI file format");
    EXPECT_EQ(std::string(a.GetErrorText(15))
                  .rfind("The audio file contains PCM audio with an unusal number of "
                         "channels--more than two--",
                         0),
              0u);
    EXPECT_EQ(a.SetError(14, 0x55u), 14);
    EXPECT_STREQ(a.GetErrorText(14),
                 "Your audio file contains compressed audio (type 0x55), which we currently cannot "
                 "handle.  Please use an audio source with uncompressed (PCM) audio.");
    EXPECT_EQ(a.SetError(13, "line 3: syntax error"), 13);
    EXPECT_STREQ(a.GetErrorText(13),
                 "Avisynth reported an error opening your script:\n\nline 3: syntax error");
}

// ---------------------------------------------------------------------------------------
// Audio

struct WavCase {
    const char* name;
    int channels;
    const char* args;
    uint16_t tag;
    int bits;
};

const WavCase kWavs[] = {
    {"u8-mono.wav", 1, "-c:a pcm_u8", 1, 8},   {"s16-mono.wav", 1, "-c:a pcm_s16le", 1, 16},
    {"u8-stereo.wav", 2, "-c:a pcm_u8", 1, 8}, {"s16-stereo.wav", 2, "-c:a pcm_s16le", 1, 16},
    {"alaw.wav", 1, "-c:a pcm_alaw", 6, 8},    {"mulaw.wav", 2, "-c:a pcm_mulaw", 7, 8},
};

class AviAudio : public testing::TestWithParam<WavCase> {};

TEST_P(AviAudio, BlocksFromAnyFirstBlockAreTheFilesOwnBytes) {
    const WavCase c = GetParam();
    const std::string path = testmedia::soundFile(c.name, 11025, c.channels, 1.3, c.args);
    const std::vector<uint8_t> want = testmedia::wavData(path);
    AudioStreamSourceAVI src;
    ASSERT_EQ(src.Open(path.c_str()), 0);
    AudioStreamInfo info;
    ASSERT_EQ(src.GetInfo(&info), 0);
    const int align = c.channels * c.bits / 8;
    EXPECT_EQ(info.formatTag, c.tag);
    EXPECT_EQ(info.channels, c.channels);
    EXPECT_EQ(info.bitsPerSample, c.bits);
    EXPECT_EQ(info.blockAlign, align);
    EXPECT_EQ(info.samplesPerSec, 11025u);
    EXPECT_EQ(info.rate / double(info.scale), 11025.0);
    ASSERT_EQ(size_t(info.length) * size_t(align), want.size());
    EXPECT_EQ(src.GetLength(), info.length);

    // One long read.
    std::vector<uint8_t> all(want.size() + 64, 0xEE);
    int bytes = -1, blocks = -1;
    ASSERT_EQ(src.Read(0, info.length + 100, all.data(), int(all.size()), &bytes, &blocks), 0);
    EXPECT_EQ(blocks, info.length); // clipped at the end
    EXPECT_EQ(bytes, info.length * align);
    all.resize(size_t(bytes));
    EXPECT_EQ(all, want);

    // Odd-sized reads at scattered first blocks give the same bytes.
    std::mt19937 rng(11);
    for (int round = 0; round < 25; ++round) {
        const int first = int(rng() % unsigned(info.length));
        const int count = 1 + int(rng() % 3000);
        std::vector<uint8_t> part(size_t(count) * size_t(align));
        ASSERT_EQ(src.Read(first, count, part.data(), int(part.size()), &bytes, &blocks), 0);
        const int expect = std::min(count, info.length - first);
        ASSERT_EQ(blocks, expect);
        ASSERT_TRUE(
            std::equal(part.begin(), part.begin() + bytes, want.begin() + long(first) * align))
            << "first " << first;
    }
    // A buffer smaller than the request delivers what fits; a null buffer asks the size.
    std::vector<uint8_t> small(size_t(align) * 10 + size_t(align) / 2);
    ASSERT_EQ(src.Read(100, 50, small.data(), int(small.size()), &bytes, &blocks), 0);
    EXPECT_EQ(blocks, 10);
    ASSERT_EQ(src.Read(info.length - 5, 50, nullptr, 0, &bytes, &blocks), 0);
    EXPECT_EQ(blocks, 5);
    ASSERT_EQ(src.Read(info.length, 50, small.data(), int(small.size()), &bytes, &blocks), 0);
    EXPECT_EQ(blocks, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, AviAudio, testing::ValuesIn(kWavs),
                         [](const testing::TestParamInfo<WavCase>& i) {
                             std::string n = i.param.name;
                             n = n.substr(0, n.find('.'));
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

TEST(AviAudioStreams, SoundInsideAnAviMatchesFfmpegsOwnExtraction) {
    const std::string path = testmedia::indexedClip(
        "with-sound.avi", 25, 25, "-c:v mjpeg -q:v 4 -shortest", "-c:a pcm_s16le");
    const std::string wav = testmedia::dir() + "/with-sound.extracted.wav";
    ASSERT_TRUE(testmedia::run("ffmpeg -nostdin -y -i " + path + " -vn -c:a copy " + wav));
    const std::vector<uint8_t> want = testmedia::wavData(wav);
    AudioStreamSourceAVI src;
    ASSERT_EQ(src.Open(path.c_str()), 0);
    AudioStreamInfo info;
    ASSERT_EQ(src.GetInfo(&info), 0);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.samplesPerSec, 22050u);
    ASSERT_EQ(size_t(info.length) * 4, want.size());
    // Read backwards in chunks: every chunk needs a seek into the interleaved file.
    std::vector<uint8_t> got(want.size());
    const int chunk = 3001;
    for (int first = (info.length - 1) / chunk * chunk; first >= 0; first -= chunk) {
        int bytes = 0;
        ASSERT_EQ(
            src.Read(first, chunk, got.data() + size_t(first) * 4, chunk * 4, &bytes, nullptr), 0);
    }
    EXPECT_EQ(got, want);
}

TEST(AviAudioStreams, ReadFailuresShowTheirMessageAndClosedSourcesSayNotOpen) {
    std::vector<std::string> shown;
    setMediaMessageHandler([&](const char* caption, const char* text) {
        shown.push_back(std::string(caption) + "|" + text);
    });
    AudioStreamSourceAVI src;
    char buf[16];
    EXPECT_EQ(src.Read(0, 1, buf, sizeof buf, nullptr, nullptr), kAudioNotOpen);
    AudioStreamInfo info;
    EXPECT_EQ(src.GetInfo(&info), kAudioNotOpen);
    const std::string path =
        testmedia::soundFile("s16-stereo.wav", 11025, 2, 1.3, "-c:a pcm_s16le");
    ASSERT_EQ(src.Open(path.c_str()), 0);
    EXPECT_EQ(src.Read(0, 4, buf, 3, nullptr, nullptr), kAudioReadError); // not one block fits
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("AVI Audio Reading error|Error $", 0), 0u);
    EXPECT_NE(shown[0].find(" reading audio data from AVI file at sample 0, count 4."),
              std::string::npos);
    setMediaMessageHandler(nullptr);
}

// One object for many files, one after the other, including failures between them: every
// file reads as itself and nothing of an earlier file is left behind (the sanitizer build
// checks for leaks).
TEST(AviReuse, OneSourceOpensManyFilesInTurn) {
    VideoStreamSourceAVI video;
    AudioStreamSourceAVI audio;
    std::unique_ptr<VBitmap> pic;
    for (int round = 0; round < 3; ++round) {
        for (const VideoClip& c : kAviClips) {
            const std::string path = testmedia::indexedClip(c.name, kFrames, 25, c.args);
            ASSERT_EQ(video.Open(path.c_str()), 0);
            ASSERT_EQ(video.GetFrame(round * 7, pic), 0);
            EXPECT_EQ(indexOf(*pic), round * 7);
            EXPECT_EQ(video.Open(textFile().c_str()), kVideoImpl11);
            EXPECT_FALSE(video.IsOpen());
        }
        for (const WavCase& c : kWavs) {
            const std::string path = testmedia::soundFile(c.name, 11025, c.channels, 1.3, c.args);
            ASSERT_EQ(audio.Open(path.c_str()), 0);
            uint8_t buf[64];
            int blocks = 0;
            ASSERT_EQ(audio.Read(round * 100, 8, buf, sizeof buf, nullptr, &blocks), 0);
            EXPECT_EQ(blocks, 8);
        }
    }
}

} // namespace
