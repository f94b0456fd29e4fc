// Positions are start position + trunc(elapsed ms x units per ms); a tick shows a frame only
// when the position has moved past the last one shown, and playback ends when it reaches the
// end. The audio device is opened paused at start and restarted on the first tick that shows
// something, so sound and first frame begin together.
#include "player/core/playback.h"

#include <algorithm>
#include <cmath>

namespace quil {

PositionSetup computePositionSetup(int frameCount, double frameRate, int64_t totalAudioSamples,
                                   int samplesPerSecond) {
    PositionSetup setup;
    if (frameCount > 0) {
        setup.unitsPerMs = frameRate / 1000.0;
        setup.end = frameCount;
        setup.unitDurationUs = frameRate > 0 ? int32_t(std::floor(1e6 / frameRate + 0.5)) : 0;
    } else {
        setup.unitsPerMs = 0.01;
        const int perTenth = samplesPerSecond / 10;
        setup.end = perTenth > 0 ? int(std::min<int64_t>(totalAudioSamples / perTenth, INT32_MAX)) : 0;
        setup.unitDurationUs = -100000;
    }
    return setup;
}

PlaybackEngine::PlaybackEngine(AudioOutput& audio, PlaybackClock& clock, PlaybackView& view,
                               PlayerPrompt& prompt)
    : m_audio(audio), m_clock(clock), m_view(view), m_prompt(prompt) {}

void PlaybackEngine::setMovie(PlaybackMovie* movie, const PositionSetup& setup) {
    stop();
    m_movie = movie;
    m_setup = setup;
    m_lastShown = -1;
    m_resumeAfterDrag = false;
}

void PlaybackEngine::start() {
    if (m_playing || !m_movie) {
        return;
    }
    if (hasAudio()) {
        if (!m_audio.open(m_movie->audioSamplesPerSecond())) {
            m_audio.markSilent();
            if (!m_silentWarningShown) {
                m_silentWarningShown = true;
                m_prompt.showMessage(kSilentPlaybackText, kPlayerWarningCaption, PromptIcon::Warning);
            }
        }
    }
    m_playing = true;
    m_lastShown = -1;
    m_audioEnded = false;
    m_startPosition = m_view.controlPosition();
    if (hasAudio()) {
        const int64_t rate = m_movie->audioSamplesPerSecond();
        if (hasFrames()) {
            const double fps = m_movie->frameRate();
            m_movie->SeekAudio(fps > 0 ? int64_t(double(m_startPosition) * double(rate) / fps) : 0);
        } else {
            m_movie->SeekAudio(int64_t(m_startPosition) * rate / 10);
        }
    }
    m_startTime = m_clock.nowMs();
}

void PlaybackEngine::stop() {
    if (!m_playing) {
        return;
    }
    m_audio.stop();
    m_audio.close();
    m_playing = false;
}

int64_t PlaybackEngine::elapsedMs() {
    const int64_t systemElapsed = int64_t(uint32_t(m_clock.nowMs() - m_startTime));
    if (!hasAudio()) {
        return systemElapsed;
    }
    if (m_audio.reclaim() || m_audio.freeBytes() >= int(AudioBuffer::kBytes)) {
        const int n = m_audioEnded ? 0 : m_movie->decodeAudio(m_samples.data(), kTickSamples);
        if (n > 0) {
            m_audio.write(reinterpret_cast<const uint8_t*>(m_samples.data()), size_t(n) * 2, -1);
        } else if (!m_audioEnded) {
            m_audioEnded = true;
            m_audio.flush();
        }
    }
    if (m_audio.isSilent()) {
        return systemElapsed;
    }
    const int64_t device = m_audio.positionMs();
    // Once the sound has ended and the device has played all of it, its position stands
    // still: the system clock carries the pictures on to the end.
    if (m_audioEnded && m_audio.freeBytes() >= int(AudioOutputQueue::kBufferCount * AudioBuffer::kBytes)) {
        return std::max(device, systemElapsed);
    }
    return device;
}

void PlaybackEngine::tick() {
    if (!m_playing) {
        return;
    }
    const int64_t elapsed = elapsedMs();
    const int position = m_startPosition + int(std::trunc(double(elapsed) * m_setup.unitsPerMs));
    if (position >= m_setup.end) {
        stop();
        if (m_lastShown >= 0) {
            m_view.setControlPosition(m_lastShown);
        }
        return;
    }
    if (position <= m_lastShown) {
        return;
    }
    if (m_lastShown < 0 && hasAudio()) {
        m_audio.restart();
    }
    m_lastShown = position;
    if (hasFrames()) {
        m_view.showFrame(position);
    }
}

void PlaybackEngine::windowTimer() {
    if (m_playing && m_lastShown >= 0) {
        m_view.setControlPosition(m_lastShown);
    }
}

void PlaybackEngine::showPosition(int position) { m_view.showFrame(position); }

void PlaybackEngine::positionEvent(PositionEvent event) {
    switch (event) {
    case PositionEvent::Dragging:
    case PositionEvent::PageBack:
    case PositionEvent::PageForward:
        if (m_playing) {
            stop();
            m_resumeAfterDrag = true;
        }
        m_view.showFrame(m_view.controlPosition());
        if (event != PositionEvent::Dragging) {
            positionEvent(PositionEvent::DragEnded);
        }
        break;
    case PositionEvent::Moved: {
        const int position = m_view.controlPosition();
        m_view.setControlPosition(position);
        m_view.showFrame(position);
        break;
    }
    case PositionEvent::DragStarted:
        break;
    case PositionEvent::DragEnded:
        if (m_resumeAfterDrag) {
            m_resumeAfterDrag = false;
            start();
        }
        break;
    }
}

void PlaybackEngine::button(PositionButton button) {
    switch (button) {
    case PositionButton::Stop: {
        // Only a running playback moves the control back to what it showed last; a stopped
        // player keeps the position the user chose.
        const bool wasPlaying = m_playing;
        stop();
        if (wasPlaying && m_lastShown >= 0) {
            m_view.setControlPosition(m_lastShown);
        }
        break;
    }
    case PositionButton::Play:
        start();
        break;
    case PositionButton::GoToStart: {
        const bool wasPlaying = m_playing;
        stop();
        m_view.setControlPosition(0);
        if (wasPlaying) {
            start();
        }
        break;
    }
    }
    m_view.showFrame(m_view.controlPosition());
}

} // namespace quil
