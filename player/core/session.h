// One player window's worth of state without the window: the movie, the playback engine and
// the display picture, and the open command (stop playback, load, title, position control
// set-up, show frame 0). The window supplies the file dialog, the position control and the
// painting; tests drive the same code with fakes.
#pragma once

#include "player/core/layout.h"
#include "player/core/movie.h"
#include "player/core/playback.h"

#include <functional>
#include <string>
#include <vector>

namespace quil {

// The position control as the player drives it.
class PositionControlModel {
public:
    virtual ~PositionControlModel() = default;
    virtual int position() const = 0;
    virtual void setPosition(int position) = 0;
    virtual void setRange(int minimum, int maximum) = 0;
    virtual void setUnitDuration(int32_t microseconds) = 0;
};

class PlayerSession final : private PlaybackView {
public:
    // The 8-bit display bitmap: 320 x 576 pixel codes, filled bottom-up.
    static constexpr int kDisplayWidth = 320;
    static constexpr int kDisplayRows = 576;

    PlayerSession(PlayerPrompt& prompt, AudioOutput& audio, PlaybackClock& clock, PositionControlModel& control,
                  std::function<void()> repaint);

    // The open command once the user has chosen a file (call stopPlayback() before showing
    // the file dialog). False leaves the player without a movie.
    bool open(const std::string& path);
    void stopPlayback() { m_engine.stop(); }

    const std::string& title() const { return m_title; }
    Movie& movie() { return m_movie; }
    PlaybackEngine& engine() { return m_engine; }

    // The picture to draw: pictureWidth() x pictureHeight() pixels 0xFFRRGGBB, rows top down;
    // empty when the movie has no frames.
    int pictureWidth() const { return m_pictureWidth; }
    int pictureHeight() const { return m_pictureHeight; }
    const std::vector<uint32_t>& picture() const { return m_picture; }

private:
    PositionControlModel& m_control;
    std::function<void()> m_repaint;
    Movie m_movie;
    PlaybackEngine m_engine;
    std::string m_title = kPlayerTitle;
    std::vector<uint8_t> m_display;
    std::vector<uint8_t> m_codes;
    std::vector<uint32_t> m_picture;
    int m_pictureWidth = 0;
    int m_pictureHeight = 0;

    int controlPosition() const override { return m_control.position(); }
    void setControlPosition(int position) override { m_control.setPosition(position); }
    void showFrame(int position) override;
    void render();
};

} // namespace quil
