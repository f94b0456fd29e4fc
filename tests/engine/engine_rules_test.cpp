// Frame range, audio record counts, key frame interval, rate control and the progress
// throttle: the decisions that shape a movie before a pixel is touched.
#include "encoder/engine/framerules.h"
#include "encoder/engine/movieencoder.h"
#include "encoder/media/streamsource.h"
#include "fakesources.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct RangeCase {
    const char* what;
    int length; // source frames at 30 fps, encoded at 15 fps (step 2)
    int first, end;
    int wantFirst, wantEnd, wantCount;
};

TEST(ComputeFrameRange, ConvertsAndClampsTheRange) {
    const RangeCase cases[] = {
        {"end 0 stops before the last output frame", 600, 0, 0, 0, 299, 299},
        {"source frames become output frames", 600, 100, 200, 50, 100, 50},
        {"first truncates, end rounds half up", 600, 101, 201, 50, 101, 51},
        {"end past the source", 600, 20, 1000, 10, 299, 289},
        {"reversed range runs to the end", 600, 200, 100, 100, 299, 199},
        {"start past the source still yields one frame", 600, 900, 100, 299, 299, 1},
        {"a source without frames", 0, 0, 0, 0, 0, 1},
        {"negative start", 600, -10, 40, 0, 20, 20},
    };
    for (const RangeCase& c : cases) {
        SCOPED_TRACE(c.what);
        InfoOnlyVideoSource video;
        video.info = {30, 1, c.length, 640, 360};
        OrbanwickMovieEncoder engine;
        engine.SetSources(&video, nullptr);
        double fps = 0, step = 0;
        int count = -1, records = -1, native = -1;
        int first = c.first, end = c.end;
        engine.ComputeFrameRange(15, &fps, &count, &step, &records, &native, &first, &end);
        EXPECT_DOUBLE_EQ(fps, 15.0);
        EXPECT_DOUBLE_EQ(step, 2.0);
        EXPECT_EQ(native, 30);
        EXPECT_EQ(first, c.wantFirst);
        EXPECT_EQ(end, c.wantEnd);
        EXPECT_EQ(count, c.wantCount);
        EXPECT_EQ(records, 0);
    }
}

TEST(ComputeFrameRange, AudioRecordsFollowTheFormat) {
    struct {
        bool hifi, adpcm, audioOpen;
        int want;
    } const cases[] = {
        {false, false, true, 4}, {false, true, true, 2}, {true, true, true, 7},
        {true, false, true, 7},  {false, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hifi << c.adpcm << c.audioOpen);
        // 101 source frames at 10 fps give 100 output frames: ten seconds of movie.
        InfoOnlyVideoSource video;
        video.info = {10, 1, 101, 320, 240};
        InfoOnlyAudioSource audio;
        audio.open = c.audioOpen;
        OrbanwickMovieEncoder engine;
        engine.bAudioHifi = c.hifi;
        engine.bUseADPCM = c.adpcm;
        engine.SetSources(&video, &audio);
        double fps = 0, step = 0;
        int count = 0, records = -1, first = 0, end = 0;
        engine.ComputeFrameRange(15, &fps, &count, &step, &records, nullptr, &first, &end);
        EXPECT_EQ(count, 100);
        EXPECT_EQ(records, c.want);
    }
}

TEST(AudioOnlyRules, PlayingTimeAndRecordCount) {
    AudioStreamInfo info;
    info.rate = 44100;
    info.scale = 1;
    info.length = 441000 + 4409; // 10.09 s: tenths truncate
    EXPECT_EQ(AudioPlayingTenths(info), 100);
    info.rate = 0;
    EXPECT_EQ(AudioPlayingTenths(info), 0);
    // A block rate over 2^31 is taken unsigned, and length x scale does not overflow.
    info.rate = 0x80000000u;
    info.scale = 0x40000000u;
    info.length = 1 << 20;
    EXPECT_EQ(AudioPlayingTenths(info), 10 * (1 << 19));

    EXPECT_EQ(AudioRecordCountForTenths(100, 10000, 32768), 4);
    EXPECT_EQ(AudioRecordCountForTenths(100, 10000, 65536), 2);
    EXPECT_EQ(AudioRecordCountForTenths(100, 20000, 32768), 7);
    EXPECT_EQ(AudioRecordCountForTenths(4096, 10000, 32768), 125); // exactly 125 records
    EXPECT_EQ(AudioRecordCountForTenths(4097, 10000, 32768), 126);
    EXPECT_EQ(AudioRecordCountForTenths(0, 10000, 32768), 0);
}

TEST(KeyFrameInterval, SecondsFramesAndTheSixtyKeyFrameCap) {
    struct {
        bool uncompressed;
        int seconds;
        double fps;
        int frames, want;
    } const cases[] = {
        {false, 5, 10.0, 600, 50},   {false, 5, 10.0, 6000, 100}, {true, 5, 10.0, 600, 1},
        {true, 0, 10.0, 600, 1},     {false, 0, 10.0, 6000, 0},   {false, 10, 7.5, 100, 80},
        {false, 10, 8.33, 100, 80},  {false, 1, 15.0, 1, 15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " s at " << c.fps << " fps, " << c.frames);
        EXPECT_EQ(KeyFrameInterval(c.uncompressed, c.seconds, c.fps, c.frames), c.want);
    }
}

TEST(RateControl, CarriesHalfTheSavingsTruncatingTowardZero) {
    RateControl rc(4000, 8000);
    EXPECT_EQ(rc.budget(), 4000);
    rc.frameWritten(0, 7000); // the key frame carries nothing over
    EXPECT_EQ(rc.budget(), 4000);
    rc.frameWritten(1, 5000);
    EXPECT_EQ(rc.budget(), 3500);
    rc.frameWritten(2, 2999);
    EXPECT_EQ(rc.carry(), 1);
    EXPECT_EQ(rc.budget(), 4000);
    rc.frameWritten(3, 4002);
    EXPECT_EQ(rc.carry(), -1);
    EXPECT_EQ(rc.budget(), 4000); // -1 / 2 is 0, not -1
}

TEST(RateControl, CeilingZeroTurnsItOff) {
    RateControl rc(4000, 0);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rc.budget(), 0);
        rc.frameWritten(i, 30000);
    }
    EXPECT_EQ(rc.carry(), 0);
}

TEST(RateControl, ZeroTargetWithACeilingStillCarries) {
    RateControl rc(0, 8000);
    rc.frameWritten(1, 100);
    EXPECT_EQ(rc.budget(), -50);
}

TEST(ProgressThrottle, OnePerSecondPlusTheLastFrame) {
    std::vector<int64_t> times = {100, 100, 100, 101, 101, 101, 105, 105};
    size_t next = 0;
    ProgressClock clock = [&] { return times[next++]; };
    ProgressThrottle throttle(clock); // started at second 100
    std::vector<bool> due;
    for (int i = 0; i < 7; ++i) {
        due.push_back(throttle.due(i == 6));
    }
    EXPECT_EQ(due, (std::vector<bool>{false, false, true, false, false, true, true}));
}

TEST(ProgressValues, PackLowAndHighHalves) {
    EXPECT_EQ(PackProgress(7, 65535), intptr_t(0xFFFF0007u));
    EXPECT_EQ(PackProgress(0x12345, 1), intptr_t(0x00012345u));
}

} // namespace
