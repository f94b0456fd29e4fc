// The playback engine driven by a fake clock, audio output, position control and movie:
// which frame is due, when playback stops, how the sound is positioned and what the position
// control's events and buttons do.
#include "fakes.h"

#include <gtest/gtest.h>

namespace quil::test {
namespace {

class Playback : public testing::Test {
protected:
    FakeAudioOutput audio;
    FakeClock clock;
    FakeView view;
    RecordingPrompt prompt;
    FakeMovie movie;
    PlaybackEngine engine{audio, clock, view, prompt};

    void load() { engine.setMovie(&movie, computePositionSetup(movie.frames, movie.fps, 0, 0)); }
    void advance(uint32_t ms) {
        clock.now += ms;
        engine.tick();
    }
};

TEST_F(Playback, WithoutAudioFramesFollowTheSystemClockFromTheControlPosition) {
    load();
    view.control = 5;
    engine.button(PositionButton::Play);
    EXPECT_EQ(view.shown, std::vector<int>{5}); // the button shows the control's frame
    view.shown.clear();
    advance(0);
    advance(30);  // 0.3 frames: nothing new
    advance(90);  // 120 ms
    advance(130); // 250 ms
    EXPECT_EQ(view.shown, (std::vector<int>{5, 6, 7}));
    EXPECT_FALSE(audio.opened);
    engine.windowTimer();
    EXPECT_EQ(view.control, 7);
}

TEST_F(Playback, PlaySeeksTheSoundToThePositionsSample) {
    struct Case {
        double fps;
        int rate;
        int position;
        int64_t sample;
    };
    for (const Case c : {Case{10.0, 10000, 37, 37000}, Case{10.0, 20000, 37, 74000},
                         Case{15.0, 10000, 7, 4666}, Case{655360000.0 / 43690667, 10000, 30, 20000}}) {
        movie = FakeMovie{};
        movie.audio = true;
        movie.fps = c.fps;
        movie.samplesPerSecond = c.rate;
        load();
        view.control = c.position;
        engine.start();
        ASSERT_EQ(movie.seeks.size(), 1u);
        EXPECT_EQ(movie.seeks[0], c.sample) << c.fps << " fps, " << c.rate;
        EXPECT_EQ(audio.openedRate, c.rate);
        engine.stop();
    }
}

TEST_F(Playback, AudioOnlyMovieSeeksByTenthsOfASecond) {
    movie.frames = 0;
    movie.audio = true;
    movie.samplesPerSecond = 20000;
    engine.setMovie(&movie, computePositionSetup(0, 0, 20 * 32768, 20000));
    view.control = 25;
    engine.start();
    EXPECT_EQ(movie.seeks, std::vector<int64_t>{50000});
    audio.position = 1000;
    advance(0);
    advance(30);
    EXPECT_TRUE(view.shown.empty()); // nothing to draw, but the position moves on
    EXPECT_EQ(engine.lastShown(), 35);
}

TEST_F(Playback, StopsAtTheFrameCountShowingTheLastFrameReached) {
    movie.frames = 20;
    load();
    view.control = 17;
    engine.start();
    advance(0);
    advance(150); // frame 18
    advance(100); // frame 19
    EXPECT_TRUE(engine.isPlaying());
    advance(120); // 370 ms: frame 20 is past the end
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_EQ(view.shown, (std::vector<int>{17, 18, 19}));
    EXPECT_EQ(view.control, 19);
    advance(1000);
    EXPECT_EQ(view.shown.size(), 3u);
}

TEST_F(Playback, SoundClockRestartsTheDeviceWithTheFirstFrame) {
    movie.audio = true;
    load();
    view.control = 40;
    engine.start();
    EXPECT_TRUE(audio.opened);
    EXPECT_FALSE(audio.playing);
    advance(5); // the device is paused: -1, which still shows the start frame
    EXPECT_EQ(view.shown, std::vector<int>{40});
    EXPECT_EQ(audio.restarts, 1);
    EXPECT_EQ(audio.bytesWritten, 8192u);
    audio.position = 350;
    advance(5000); // the device's clock rules, not the system clock
    EXPECT_EQ(view.shown, (std::vector<int>{40, 43}));
    EXPECT_EQ(audio.restarts, 1);
    audio.freeSpace = 4000; // less than a buffer free: no decoding this tick
    advance(30);
    EXPECT_EQ(audio.bytesWritten, 16384u);
}

TEST_F(Playback, SoundThatEndsEarlyHandsTheClockToTheSystemOnceDrained) {
    movie.audio = true;
    movie.audioSamples = 4096;
    load();
    engine.start();
    advance(0);
    audio.position = 400;
    audio.freeSpace = 8192;
    advance(500); // stream ends here; the device still plays
    EXPECT_EQ(audio.flushes, 1);
    EXPECT_EQ(engine.lastShown(), 4);
    audio.freeSpace = 4 * 8192; // drained: the device position stands still
    advance(500);
    EXPECT_EQ(engine.lastShown(), 10);
}

TEST_F(Playback, NoAudioDevicePlaysSilentlyAndWarnsOncePerRun) {
    movie.audio = true;
    audio.openSucceeds = false;
    load();
    for (int run = 0; run < 2; ++run) {
        engine.start();
        EXPECT_TRUE(audio.silent);
        advance(0);
        advance(300); // system clock
        EXPECT_EQ(engine.lastShown(), 3);
        engine.stop();
    }
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, "Audio hardware is busy or unavailable -- playback will be silent.");
    EXPECT_EQ(prompt.messages[0].caption, "Quillreel Player Warning");
    EXPECT_EQ(prompt.messages[0].icon, PromptIcon::Warning);
}

TEST_F(Playback, DraggingPausesAndResumesAtTheDropPosition) {
    movie.audio = true;
    load();
    view.control = 10;
    engine.start();
    advance(0);
    engine.positionEvent(PositionEvent::DragStarted);
    EXPECT_TRUE(engine.isPlaying());
    view.control = 30;
    engine.positionEvent(PositionEvent::Dragging);
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_FALSE(audio.opened);
    view.control = 60;
    engine.positionEvent(PositionEvent::Dragging);
    EXPECT_EQ(view.shown, (std::vector<int>{10, 30, 60}));
    engine.positionEvent(PositionEvent::DragEnded);
    EXPECT_TRUE(engine.isPlaying());
    EXPECT_EQ(movie.seeks.back(), 60000);
    engine.positionEvent(PositionEvent::Moved); // the release that follows
    advance(0);
    EXPECT_EQ(engine.lastShown(), 60);

    // A drag while stopped does not start playback.
    engine.stop();
    engine.positionEvent(PositionEvent::Dragging);
    engine.positionEvent(PositionEvent::DragEnded);
    EXPECT_FALSE(engine.isPlaying());
}

TEST_F(Playback, PageMovesRestartPlaybackAtTheNewPosition) {
    load();
    view.control = 10;
    engine.start();
    advance(0);
    view.control = 20;
    engine.positionEvent(PositionEvent::PageForward);
    EXPECT_TRUE(engine.isPlaying());
    advance(0);
    EXPECT_EQ(engine.lastShown(), 20);

    engine.stop();
    view.control = 5;
    engine.positionEvent(PositionEvent::PageBack);
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_EQ(view.shown.back(), 5);
}

TEST_F(Playback, Buttons) {
    load();
    view.control = 50;
    engine.button(PositionButton::Play);
    advance(0);
    advance(200);
    engine.button(PositionButton::GoToStart);
    EXPECT_TRUE(engine.isPlaying());
    EXPECT_EQ(view.control, 0);
    advance(0);
    EXPECT_EQ(engine.lastShown(), 0);
    advance(300);
    view.control = 1; // the window timer has not caught up yet
    engine.button(PositionButton::Stop);
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_EQ(view.control, 3);
    EXPECT_EQ(view.shown.back(), 3);

    // Stopped: Stop keeps the position the user chose, go-to-start does not start playback.
    view.control = 70;
    engine.button(PositionButton::Stop);
    EXPECT_EQ(view.control, 70);
    engine.button(PositionButton::GoToStart);
    EXPECT_FALSE(engine.isPlaying());
    EXPECT_EQ(view.control, 0);
    EXPECT_EQ(view.shown.back(), 0);
}

TEST(PositionSetup, UnitsRangeAndDuration) {
    const PositionSetup video = computePositionSetup(300, 15.0, 0, 10000);
    EXPECT_DOUBLE_EQ(video.unitsPerMs, 0.015);
    EXPECT_EQ(video.end, 300);
    EXPECT_EQ(video.unitDurationUs, 66667);

    // Two ADPCM records of 32772 bytes: 131088 samples at 10000/s.
    const PositionSetup audioOnly = computePositionSetup(0, 10.0, 2 * 2 * 32772, 10000);
    EXPECT_DOUBLE_EQ(audioOnly.unitsPerMs, 0.01);
    EXPECT_EQ(audioOnly.end, 131);
    EXPECT_EQ(audioOnly.unitDurationUs, -100000);
}

} // namespace
} // namespace quil::test
