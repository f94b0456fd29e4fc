// Movies with video, end to end: synthetic sources through the whole engine into a file,
// read back with the movie database reader and decoded with the shared payload decoder.
#include "encoder/media/memoryaudio.h"
#include "enginetestkit.h"
#include "fakesources.h"
#include "moviedb/payload_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A 64x48 picture with a diagonal gradient that drifts a little every frame and a square
// that moves across it: enough change for delta frames of every kind.
uint32_t MovingPicture(int frame, int x, int y) {
    const int r = (x * 4 + frame * 3) & 255;
    const int g = (y * 5 + frame) & 255;
    const int b = ((x + y) * 2) & 255;
    const bool square = x >= frame % 40 && x < frame % 40 + 12 && y >= 10 && y < 22;
    return square ? 0x00FFFF00u : uint32_t((r << 16) | (g << 8) | b);
}

void UseSource(PaintedVideoSource& video, int frames, int width = 64, int height = 48) {
    video.info = {10, 1, frames, width, height};
    video.paint = MovingPicture;
}

void Encode(RecordingEngine& e, TempMovie& movie, const char* name = "Test movie") {
    FILE* out = movie.openForWriting();
    ASSERT_NE(out, nullptr);
    e.EncodeVideoMovie(out, name, e.nScreenWidth, e.nScreenHeight, e.nColorDepth,
                       e.fFlipImageVertically, e.fFlipImageHorizontally, e.fRotateImageSideways,
                       float(e.rBrightness), float(e.rContrast), e.nFrameStart, e.nFrameEnd);
    std::fclose(out);
}

// Top-down picture from a preview buffer (320-byte rows, bottom row first).
std::vector<uint8_t> FromPreview(const std::vector<uint8_t>& preview, int width, int rows) {
    std::vector<uint8_t> out(size_t(width) * rows);
    for (int r = 0; r < rows; ++r) {
        std::memcpy(&out[size_t(r) * width], &preview[size_t(rows - 1 - r) * 320], size_t(width));
    }
    return out;
}

struct ModeCase {
    const char* name;
    int depth;
    bool gray;
    int width, height;
    bool hifi, adpcm, audio;
    int colorCode, rows, bits;
};

TEST(EncodeVideoMovie, EveryModeReadsBackAndDecodesToTheEnginesOwnPictures) {
    const ModeCase cases[] = {
        {"Std Color Palette, standard audio", 11, false, 320, 240, false, false, true, 0, 240, 8},
        {"Ext Color Palette, ADPCM", 16, false, 160, 160, false, true, true, 3, 160, 8},
        {"Grayscale, hi-fi", 16, true, 216, 384, true, true, true, 1, 384, 8},
        {"Truecolor, no audio", 24, false, 320, 240, false, false, false, 4, 360, 16},
        {"Truecolor Plus, ADPCM", 25, false, 320, 320, false, true, true, 5, 480, 16},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        PaintedVideoSource video;
        UseSource(video, 16);
        MemoryAudioSource audio;
        MemoryAudioFormat format;
        format.samplesPerSec = 22050;
        format.channels = 2;
        audio.Generate(format, 22050 * 2, [](int block, int channel) {
            return 0.5 * std::sin(2 * kPi * 440.0 * block / 22050.0 + channel);
        });

        RecordingEngine e;
        e.nColorDepth = c.depth;
        e.fUseGrayscale = c.gray;
        e.nScreenWidth = c.width;
        e.nScreenHeight = c.height;
        e.bAudioHifi = c.hifi;
        e.bUseADPCM = c.adpcm;
        e.title = "Title";
        e.author = "Author";
        e.looping = true;
        e.SetSources(&video, c.audio ? &audio : nullptr);
        std::vector<uint8_t> sourcePreview(320 * 720), compressedPreview(320 * 720);
        e.SetPreviewBuffers(sourcePreview.data(), compressedPreview.data());
        std::vector<std::vector<uint8_t>> pictures;
        e.onReport = [&](const Report& r) {
            if (r.code == kProgressEncoding && (r.b & 0xFFFF) != 0) {
                ASSERT_EQ(int(r.b & 0xFFFF), int(pictures.size()) + 1);
                pictures.push_back(FromPreview(compressedPreview, c.width, c.rows));
            }
        };
        TempMovie movie;
        Encode(e, movie);

        ASSERT_EQ(e.count(kProgressComplete), 1);
        EXPECT_EQ(e.count(kProgressFailed) + e.count(kProgressStopped), 0);
        const int F = 15; // 16 source frames, end 0: up to the last one
        const int A = c.audio ? 1 : 0; // 1.5 s of sound fits one record in every format
        ASSERT_EQ(int(pictures.size()), F);

        quil::MovieDbReader reader;
        ASSERT_EQ(reader.open(movie.path()), quil::MovieDbError::Ok);
        ASSERT_EQ(reader.count(), F + A + 1);
        EXPECT_EQ(reader.header().type, quil::kDbTypeMovie);
        EXPECT_EQ(reader.header().name, "Test movie");
        const uint8_t* rec0 = reader.get(0);
        ASSERT_NE(rec0, nullptr);
        quil::MovieHeader h;
        ASSERT_EQ(quil::MovieHeader::decode({rec0, reader.size(0)}, h), quil::MovieHeaderError::Ok);
        reader.release(rec0);
        EXPECT_EQ(h.width, c.width);
        EXPECT_EQ(h.rows, c.rows);
        EXPECT_EQ(h.bitsPerPixel, c.bits);
        EXPECT_EQ(h.colorMode, c.colorCode);
        EXPECT_EQ(h.audioFormat, c.hifi ? 2 : c.adpcm ? 1 : 0);
        EXPECT_EQ(h.frameCount, F);
        EXPECT_EQ(h.framesPerSecond, 10);
        EXPECT_EQ(h.keyFrameInterval, 0);
        EXPECT_EQ(h.firstAudioRecord, c.audio ? F + 1 : 0);
        EXPECT_EQ(h.flags, (c.audio ? 2 : 0) | 4 | 1);
        EXPECT_EQ(h.title, "Title");
        EXPECT_EQ(h.author, "Author");

        quil::PicturePair pair(c.width, c.rows);
        for (int i = 0; i < F; ++i) {
            SCOPED_TRACE(i);
            const uint8_t* rec = reader.get(i + 1);
            ASSERT_NE(rec, nullptr);
            EXPECT_EQ(ReadU16(rec), i == 0 ? 1 : 2);
            const quil::PayloadResult result = pair.decodeRecord({rec, reader.size(i + 1)});
            reader.release(rec);
            ASSERT_TRUE(result.ok()) << quil::payloadStatusText(result.status);
            ASSERT_TRUE(std::equal(pictures[size_t(i)].begin(), pictures[size_t(i)].end(),
                                   pair.latest().begin()));
        }
        for (int k = 0; k < A; ++k) {
            EXPECT_EQ(reader.size(F + 1 + k), c.adpcm && !c.hifi ? 32772u : 32768u);
        }
        EXPECT_EQ(e.completion.frameCount, F);
        EXPECT_DOUBLE_EQ(e.completion.frameRate, 10.0);
        EXPECT_EQ(uint32_t(e.completion.fileSize), reader.fileLength());
        EXPECT_STREQ(e.completion.dbname, "Test movie");
        EXPECT_GT(e.completion.meanQuality, 0.0);
        EXPECT_LE(e.completion.meanQuality, 1.0);
    }
}

TEST(EncodeVideoMovie, ReportsInProtocolOrder) {
    PaintedVideoSource video;
    UseSource(video, 6);
    RecordingEngine e;
    e.nColorDepth = 16;
    e.nScreenWidth = e.nScreenHeight = 160;
    e.SetSources(&video, nullptr);
    TempMovie movie;
    Encode(e, movie);
    const int F = 5;
    const intptr_t all = intptr_t(F) << 16;
    std::vector<std::pair<int, intptr_t>> seen;
    for (const Report& r : e.reports) {
        seen.push_back({r.code, r.b});
    }
    // Analysis of every frame, its end, the first encoding report, five frames, done.
    ASSERT_EQ(seen.size(), size_t(F + 1 + 1 + F + 1 + 1));
    for (int i = 0; i < F; ++i) {
        EXPECT_EQ(seen[size_t(i)], std::make_pair(int(kProgressAnalysis), all | (i + 1)));
    }
    EXPECT_EQ(seen[F], std::make_pair(int(kProgressAnalysis), intptr_t(0)));
    EXPECT_EQ(seen[F + 1], std::make_pair(int(kProgressEncoding), all));
    EXPECT_EQ(e.reports[F + 1].a, 0);
    for (int i = 0; i < F; ++i) {
        const Report& r = e.reports[size_t(F + 2 + i)];
        EXPECT_EQ(r.code, kProgressEncoding);
        EXPECT_EQ(r.b, all | (i + 1));
        EXPECT_GT(r.a & 0xFFFF, 0);
    }
    // The key frame has quality 1.
    EXPECT_EQ(e.reports[F + 2].a >> 16, 10000);
    EXPECT_EQ(e.reports[size_t(2 * F + 2)].code, kProgressStreamDone);
    EXPECT_EQ(e.reports.back().code, kProgressComplete);
}

TEST(EncodeVideoMovie, ThrottlesReportsToOnePerSecondAndTheLastFrame) {
    PaintedVideoSource video;
    UseSource(video, 11);
    RecordingEngine e;
    e.nColorDepth = 16;
    e.nScreenWidth = e.nScreenHeight = 160;
    e.SetClock([] { return int64_t(7); }); // the second never changes
    e.SetSources(&video, nullptr);
    TempMovie movie;
    Encode(e, movie);
    // One analysis report and one encoding report, both for the last frame.
    EXPECT_EQ(e.codes(), (std::vector<int>{6, 6, 7, 7, 1, 0}));
    EXPECT_EQ(e.reports[0].b, (intptr_t(10) << 16) | 10);
    EXPECT_EQ(e.reports[3].b, (intptr_t(10) << 16) | 10);
}

TEST(EncodeVideoMovie, KeyFramesFollowTheInterval) {
    struct {
        bool uncompressed;
        int seconds;
        int wantInterval;
    } const cases[] = {{true, 0, 1}, {false, 1, 10}, {false, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wantInterval);
        PaintedVideoSource video;
        UseSource(video, 26);
        RecordingEngine e;
        e.fUseGrayscale = true;
        e.nColorDepth = 16;
        e.nScreenWidth = e.nScreenHeight = 160;
        e.fUncompressedVideo = c.uncompressed;
        e.nKeyFrameInterval = c.seconds;
        e.SetSources(&video, nullptr);
        TempMovie movie;
        Encode(e, movie);
        quil::MovieDbReader reader;
        ASSERT_EQ(reader.open(movie.path()), quil::MovieDbError::Ok);
        const uint8_t* rec0 = reader.get(0);
        EXPECT_EQ(ReadU16(rec0 + 16), c.wantInterval);
        reader.release(rec0);
        for (int i = 0; i < 25; ++i) {
            const uint8_t* rec = reader.get(i + 1);
            const bool key = i == 0 || (c.wantInterval > 0 && i % c.wantInterval == 0);
            EXPECT_EQ(ReadU16(rec), key ? 1 : 2) << "frame " << i;
            reader.release(rec);
        }
    }
}

TEST(EncodeVideoMovie, FetchesTheSourceFramesOfTheRange) {
    // 30 fps source at 15 fps: step 2; source frames 10..30 become output frames 5..15.
    PaintedVideoSource video;
    video.info = {30, 1, 60, 32, 32};
    video.start = 3;
    video.paint = MovingPicture;
    RecordingEngine e;
    e.fUseGrayscale = true;
    e.nScreenWidth = e.nScreenHeight = 160;
    e.nFrameStart = 10;
    e.nFrameEnd = 30;
    e.SetSources(&video, nullptr);
    TempMovie movie;
    Encode(e, movie);
    ASSERT_EQ(e.count(kProgressComplete), 1);
    // Grayscale analyses the first frame only, then encodes all ten.
    std::vector<int> want = {13};
    for (int i = 0; i < 10; ++i) {
        want.push_back(3 + (5 + i) * 2);
    }
    EXPECT_EQ(video.fetched, want);
}

struct Corner {
    int x, y; // centre of a quadrant of a 160x160 picture
};

TEST(EncodeVideoMovie, OrientationTurnsAndMirrorsThePictureInEveryLayout) {
    const Corner tl{40, 40}, tr{120, 40}, bl{40, 120}, br{120, 120};
    struct {
        const char* name;
        bool rotate, flipV, flipH;
        Corner bright;
    } const cases[] = {
        {"upright", false, false, false, tl},
        {"quarter turn clockwise", true, false, false, tr},
        {"flipped", false, true, false, bl},
        {"mirrored", false, false, true, tr},
        {"flipped and mirrored", false, true, true, br},
    };
    for (const int depth : {16, 25}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << " at depth " << depth);
            PaintedVideoSource video;
            video.info = {10, 1, 3, 48, 48};
            video.paint = [](int, int x, int y) { return x < 24 && y < 24 ? 0x00FFFFFFu : 0u; };
            RecordingEngine e;
            e.fUseGrayscale = depth == 16;
            e.nColorDepth = depth;
            e.nScreenWidth = e.nScreenHeight = 160;
            e.fRotateImageSideways = c.rotate;
            e.fFlipImageVertically = c.flipV;
            e.fFlipImageHorizontally = c.flipH;
            e.SetSources(&video, nullptr);
            std::vector<uint8_t> preview(320 * 720);
            e.SetPreviewBuffers(preview.data(), nullptr);
            TempMovie movie;
            Encode(e, movie);
            ASSERT_EQ(e.count(kProgressComplete), 1);
            const int rows = depth == 16 ? 160 : 240;
            const std::vector<uint8_t> picture = FromPreview(preview, 160, rows);
            for (const Corner& q : {tl, tr, bl, br}) {
                const uint8_t code = picture[size_t(q.y) * 160 + size_t(q.x)];
                const bool want = q.x == c.bright.x && q.y == c.bright.y;
                EXPECT_EQ(code > 100 || (depth == 16 && code > 16), want)
                    << "quadrant at " << q.x << "," << q.y << " holds " << int(code);
            }
        }
    }
}

TEST(EncodeVideoMovie, StopDuringAnalysisLeavesHeaderAndPlaceholderList) {
    PaintedVideoSource video;
    UseSource(video, 21);
    RecordingEngine e;
    e.nColorDepth = 16;
    e.nScreenWidth = e.nScreenHeight = 160;
    e.SetSources(&video, nullptr);
    video.onFrame = [&](int index) {
        if (index == 3) {
            e.RequestStop();
        }
    };
    TempMovie movie;
    Encode(e, movie);
    EXPECT_EQ(e.reports.back().code, kProgressStopped);
    EXPECT_EQ(e.count(kProgressStopped), 1);
    EXPECT_EQ(e.count(kProgressEncoding) + e.count(kProgressComplete) + e.count(kProgressFailed), 0);
    EXPECT_EQ(video.fetched.size(), 4u);
    const std::vector<uint8_t> bytes = movie.bytes();
    const int N = 20 + 1;
    ASSERT_EQ(bytes.size(), size_t(78 + 8 * N));
    EXPECT_EQ(ReadU16(&bytes[76]), N);
    EXPECT_TRUE(std::all_of(bytes.begin() + 78, bytes.end(), [](uint8_t b) { return b == 0; }));
    quil::MovieDbReader reader;
    EXPECT_NE(reader.open(movie.path()), quil::MovieDbError::Ok);
}

TEST(EncodeVideoMovie, StopDuringEncodingReportsStoppedOnce) {
    PaintedVideoSource video;
    UseSource(video, 21);
    RecordingEngine e;
    e.nColorDepth = 25;
    e.nScreenWidth = e.nScreenHeight = 160;
    e.SetSources(&video, nullptr);
    e.onReport = [&](const Report& r) {
        if (r.code == kProgressEncoding && (r.b & 0xFFFF) == 2) {
            e.RequestStop();
        }
    };
    TempMovie movie;
    Encode(e, movie);
    EXPECT_EQ(e.reports.back().code, kProgressStopped);
    EXPECT_EQ(e.count(kProgressStopped), 1);
    EXPECT_EQ(e.count(kProgressStreamDone) + e.count(kProgressComplete), 0);
    // The list was never rewritten: the reader sees an unfinished movie.
    quil::MovieDbReader reader;
    EXPECT_EQ(reader.open(movie.path()), quil::MovieDbError::Unfinished);
}

TEST(EncodeVideoMovie, FailuresReportTheirTextOnce) {
    struct {
        const char* name;
        int failFrom;
        bool fullDisk;
        const char* text;
    } const cases[] = {
        {"source fails in the analysis", 4, false, "An error occurred while reading from the video file"},
        {"source fails on the first frame", 0, false, "An error occurred while reading from the video file"},
        {"full disk", -1, true, "Unable to write to the output file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PaintedVideoSource video;
        UseSource(video, 11);
        video.failFrom = c.failFrom;
        RecordingEngine e;
        e.nColorDepth = 16;
        e.nScreenWidth = e.nScreenHeight = 160;
        e.SetSources(&video, nullptr);
        TempMovie movie;
        FILE* out = c.fullDisk ? std::fopen("/dev/full", "wb") : movie.openForWriting();
        ASSERT_NE(out, nullptr);
        e.EncodeVideoMovie(out, "x", 160, 160, 16, false, false, false, 0.f, 0.f, 0, 0);
        std::fclose(out);
        ASSERT_EQ(e.count(kProgressFailed), 1);
        EXPECT_EQ(e.reports.back().code, kProgressFailed);
        EXPECT_EQ(e.reports.back().text, c.text);
        EXPECT_EQ(e.count(kProgressComplete) + e.count(kProgressStopped), 0);
    }
}

TEST(EncodeVideoMovie, WithoutAVideoSourceFails) {
    RecordingEngine e;
    TempMovie movie;
    FILE* out = movie.openForWriting();
    e.EncodeVideoMovie(out, "x", 160, 160, 16, false, false, false, 0.f, 0.f, 0, 0);
    std::fclose(out);
    ASSERT_EQ(e.codes(), std::vector<int>{kProgressFailed});
    EXPECT_EQ(e.reports[0].text, "The source video file you have selected has no video and cannot "
                                 "be used as the encoding source.");
}

TEST(EncodeVideoMovie, AudioStartsAtTheFirstEncodedFrame) {
    // Output frames 50 to 60 at 10 fps: the audio starts 5000 ms into the source. The source
    // is 8-bit mono at the output rate, which the resampler passes through unchanged, and
    // its level rises every 25 ms, so the first sample tells where the audio started.
    PaintedVideoSource video;
    UseSource(video, 61, 32, 32);
    MemoryAudioSource audio;
    MemoryAudioFormat format;
    format.samplesPerSec = 10000;
    format.bitsPerSample = 8;
    audio.Generate(format, 60000, [](int block, int) { return (block / 250) / 128.0 - 1.0; });
    RecordingEngine e;
    e.fUseGrayscale = true;
    e.nScreenWidth = e.nScreenHeight = 160;
    e.nFrameStart = 50;
    e.SetSources(&video, &audio);
    TempMovie movie;
    Encode(e, movie);
    ASSERT_EQ(e.count(kProgressComplete), 1);
    quil::MovieDbReader reader;
    ASSERT_EQ(reader.open(movie.path()), quil::MovieDbError::Ok);
    ASSERT_EQ(reader.count(), 10 + 1 + 1);
    const uint8_t* rec = reader.get(11);
    ASSERT_NE(rec, nullptr);
    // Source byte 200 at 5000 ms: floor(127.5 * 72 / 128 + 128) = 199.
    EXPECT_NEAR(rec[0], 199, 1);
    EXPECT_NEAR(rec[2500], 209, 1);
    reader.release(rec);
}

TEST(EncodeVideoMovie, StopDuringTheAudioEndsTheJobStopped) {
    PaintedVideoSource video;
    UseSource(video, 41, 32, 32);
    MemoryAudioSource audio;
    MemoryAudioFormat format;
    audio.Generate(format, 50000, [](int block, int) { return std::sin(block * 0.1) * 0.3; });
    RecordingEngine e;
    e.fUseGrayscale = true;
    e.bAudioHifi = true; // 4 s of hi-fi audio: 3 records
    e.nScreenWidth = e.nScreenHeight = 160;
    e.SetSources(&video, &audio);
    e.onReport = [&](const Report& r) {
        if (r.code == kProgressAudio && r.a == 1) {
            e.RequestStop();
        }
    };
    TempMovie movie;
    Encode(e, movie);
    std::vector<std::pair<intptr_t, intptr_t>> audioReports;
    for (const Report& r : e.reports) {
        if (r.code == kProgressAudio) {
            audioReports.push_back({r.a, r.b});
        }
        EXPECT_FALSE(r.code == kProgressStreamDone && r.a == 1) << "audio reported finished";
    }
    EXPECT_EQ(audioReports, (std::vector<std::pair<intptr_t, intptr_t>>{{0, 3}, {1, 3}}));
    EXPECT_EQ(e.reports.back().code, kProgressStopped);
    EXPECT_EQ(e.count(kProgressComplete), 0);
}

} // namespace
