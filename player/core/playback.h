// The playback engine's decisions, without a window or a sound device: start, tick, stop,
// show position, the position control's events and buttons. A periodic tick (30 ms in the
// program) tops up the audio queue, reads the clock (the audio device's played position
// while sound plays, the system clock otherwise), turns it into a position and shows the
// frame that is due. Everything outside (clock, audio queue, position control and picture,
// messages) is an interface, so tests drive the engine with fakes.
#pragma once

#include "player/core/audioqueue.h"
#include "player/core/prompt.h"

#include <array>
#include <cstdint>

namespace quil {

class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
    virtual uint32_t nowMs() = 0;
};

// What the engine needs of the movie.
class PlaybackMovie {
public:
    virtual ~PlaybackMovie() = default;
    virtual bool hasFrames() const = 0;
    virtual bool hasAudio() const = 0;
    virtual double frameRate() const = 0;
    virtual int audioSamplesPerSecond() const = 0;
    virtual void SeekAudio(int64_t sample) = 0;
    // Up to `max` 16-bit samples; 0 at the end of the stream, -1 when there is no audio.
    virtual int decodeAudio(int16_t* out, int max) = 0;
};

// The position control and the picture as the engine sees them.
class PlaybackView {
public:
    virtual ~PlaybackView() = default;
    virtual int controlPosition() const = 0;
    virtual void setControlPosition(int position) = 0;
    // Decodes the frame at `position` into the display and repaints the picture at once.
    virtual void showFrame(int position) = 0;
};

// How the position control is set up for a movie: one unit is a frame, or a tenth of a second
// for an audio-only movie; the range is 0 to end - 1.
struct PositionSetup {
    double unitsPerMs = 0;
    int end = 0;
    int32_t unitDurationUs = 0; // negative for an audio-only movie
};

// frameCount > 0: a movie with frames at frameRate. Otherwise an audio-only movie whose
// records hold totalAudioSamples samples at samplesPerSecond.
PositionSetup computePositionSetup(int frameCount, double frameRate, int64_t totalAudioSamples,
                                   int samplesPerSecond);

enum class PositionEvent { Dragging = 0, Moved = 1, PageBack = 2, PageForward = 3, DragStarted = 4, DragEnded = 5 };
enum class PositionButton { Stop = 0, Play = 1, GoToStart = 4 };

inline constexpr const char* kSilentPlaybackText =
    "Audio hardware is busy or unavailable -- playback will be silent.";
inline constexpr const char* kPlayerWarningCaption = "Quillreel Player Warning";

class PlaybackEngine {
public:
    static constexpr int kTickSamples = 4096;

    PlaybackEngine(AudioOutput& audio, PlaybackClock& clock, PlaybackView& view, PlayerPrompt& prompt);

    // Hands the engine a movie (or none) with its position set-up; stops playback first.
    void setMovie(PlaybackMovie* movie, const PositionSetup& setup);

    void start();
    void stop();
    void tick();
    void windowTimer();
    void showPosition(int position);
    void positionEvent(PositionEvent event);
    void button(PositionButton button);

    bool isPlaying() const { return m_playing; }
    int lastShown() const { return m_lastShown; }
    bool silentWarningShown() const { return m_silentWarningShown; }

private:
    AudioOutput& m_audio;
    PlaybackClock& m_clock;
    PlaybackView& m_view;
    PlayerPrompt& m_prompt;
    PlaybackMovie* m_movie = nullptr;
    PositionSetup m_setup;

    bool m_playing = false;
    int m_startPosition = 0;
    uint32_t m_startTime = 0;
    int m_lastShown = -1;
    bool m_resumeAfterDrag = false;
    bool m_silentWarningShown = false;
    bool m_audioEnded = false;
    std::array<int16_t, kTickSamples> m_samples{};

    bool hasAudio() const { return m_movie && m_movie->hasAudio(); }
    bool hasFrames() const { return m_movie && m_movie->hasFrames(); }
    int64_t elapsedMs();
};

} // namespace quil
