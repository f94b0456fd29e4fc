#include "player/core/session.h"

#include "moviedb/display_tables.h"

#include <cstring>

namespace quil {

PlayerSession::PlayerSession(PlayerPrompt& prompt, AudioOutput& audio, PlaybackClock& clock,
                             PositionControlModel& control, std::function<void()> repaint)
    : m_control(control), m_repaint(std::move(repaint)), m_movie(prompt),
      m_engine(audio, clock, *this, prompt), m_display(size_t(kDisplayWidth) * kDisplayRows, 0) {}

bool PlayerSession::open(const std::string& path) {
    m_engine.stop();
    m_engine.setMovie(nullptr, {});
    m_picture.clear();
    m_pictureWidth = m_pictureHeight = 0;
    const bool loaded = m_movie.Load(path);
    m_title = playerTitle(loaded ? path : std::string());
    if (!loaded) {
        m_control.setRange(0, 0);
        m_control.setUnitDuration(0);
        m_control.setPosition(0);
        if (m_repaint) {
            m_repaint();
        }
        return false;
    }
    const PositionSetup setup = m_movie.positionSetup();
    m_control.setRange(0, std::max(setup.end - 1, 0));
    m_control.setUnitDuration(setup.unitDurationUs);
    m_engine.setMovie(&m_movie, setup);
    m_control.setPosition(0);
    m_engine.showPosition(0);
    return true;
}

void PlayerSession::showFrame(int position) {
    if (m_movie.hasFrames()) {
        // A frame that cannot be decoded leaves the previous picture in the display.
        if (m_movie.showFrame(position, m_display.data() + size_t(kDisplayRows - 1) * kDisplayWidth,
                              -kDisplayWidth)) {
            render();
        }
    }
    if (m_repaint) {
        m_repaint();
    }
}

void PlayerSession::render() {
    const int width = m_movie.width();
    const int rows = m_movie.rows();
    int w = 0, h = 0;
    pictureSize(width, rows, m_movie.isTruecolor(), m_movie.hasFrames(), w, h);
    m_pictureWidth = w;
    m_pictureHeight = h;
    m_picture.assign(size_t(w) * size_t(h), 0xFF000000u);
    // The display holds the picture bottom-up: its row r is display row kDisplayRows - 1 - r.
    auto row = [&](int r) { return m_display.data() + size_t(kDisplayRows - 1 - r) * kDisplayWidth; };
    if (m_movie.isTruecolor()) {
        m_codes.resize(size_t(width) * size_t(rows));
        for (int r = 0; r < rows; ++r) {
            std::memcpy(m_codes.data() + size_t(r) * size_t(width), row(r), size_t(width));
        }
        convertTruecolorToRgb32(m_codes.data(), width, h, m_movie.truecolorVariant(), m_picture.data(), w);
    } else {
        const auto& colors = m_movie.colorTable();
        for (int r = 0; r < h; ++r) {
            const uint8_t* codes = row(r);
            uint32_t* out = m_picture.data() + size_t(r) * size_t(w);
            for (int c = 0; c < w; ++c) {
                out[c] = 0xFF000000u | colors[codes[c]];
            }
        }
    }
}

} // namespace quil
