// Progress codes of the engine's one outward channel, and the throttle that keeps the
// per-frame reports to one per wall-clock second plus the last frame: every report is a
// synchronous exchange with the user interface, so a report per frame would slow the job
// down to the window's pace.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>

enum ProgressCode : int {
    kProgressComplete = 0,      // second value: address of the CompletionRecord
    kProgressStreamDone = 1,    // first value 0 after the video frames, 1 after the audio
    kProgressStopped = 2,
    kProgressWarning = 3,       // second value: address of the text (sent by the job)
    kProgressFailed = 4,        // second value: address of the message text
    kProgressAudio = 5,         // records done, record count
    kProgressAnalysis = 6,      // 0, frames analysed | frame count << 16 (0 when finished)
    kProgressEncoding = 7,      // length | quality << 16, frames encoded | frame count << 16
};

// Two 16-bit halves in one report value, as the window unpacks them (low, high).
inline intptr_t PackProgress(uint32_t low, uint32_t high) {
    return intptr_t((uint32_t(high) << 16) | (low & 0xFFFFu));
}

// Whole seconds of wall-clock time. Tests put their own clock in.
using ProgressClock = std::function<int64_t()>;

inline int64_t WallClockSeconds() { return int64_t(std::time(nullptr)); }

class ProgressThrottle {
public:
    explicit ProgressThrottle(const ProgressClock& clock) : m_clock(clock), m_last(clock()) {}

    // True when a report is due for a frame: the clock's second has changed since the last
    // report (or since the throttle started), or the frame is the last one.
    bool due(bool lastFrame) {
        const int64_t now = m_clock();
        if (now != m_last || lastFrame) {
            m_last = now;
            return true;
        }
        return false;
    }

private:
    const ProgressClock& m_clock;
    int64_t m_last;
};
