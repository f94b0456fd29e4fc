// Frame range, record counts, key frame interval and rate control of the engine.
#include "encoder/engine/framerules.h"

#include "encoder/media/streamsource.h"

#include <algorithm>
#include <cmath>
#include <limits>

OutputFrameRange ConvertFrameRange(int first, int end, double step, int outputFrames) {
    OutputFrameRange r;
    if (!(step > 0.0)) {
        step = 1.0;
    }
    r.first = int(double(first) / step);
    r.end = int(std::floor(double(end) / step + 0.5));
    if (r.first < 0) {
        r.first = 0;
    }
    if (r.first >= outputFrames) {
        r.first = outputFrames - 1;
    }
    if (r.end == 0 || r.end < r.first || r.end >= outputFrames) {
        r.end = outputFrames - 1;
    }
    // A source without frames would otherwise start the movie at frame -1.
    r.first = std::max(r.first, 0);
    r.end = std::max(r.end, 0);
    r.frameCount = std::max(r.end - r.first, 1);
    return r;
}

int AudioRecordCountForFrames(int frameCount, double fps, int samplesPerSecond, int samplesPerRecord) {
    if (!(fps > 0.0) || frameCount <= 0 || samplesPerRecord <= 0) {
        return 0;
    }
    const double records =
        std::ceil(double(frameCount) * samplesPerSecond / (double(samplesPerRecord) * fps));
    return records >= double(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                               : int(records);
}

int AudioPlayingTenths(const AudioStreamInfo& info) {
    if (info.rate == 0) {
        return 0;
    }
    const uint64_t length = info.length > 0 ? uint64_t(info.length) : 0;
    const uint64_t tenths = 10u * length * info.scale / info.rate;
    return tenths > uint64_t(std::numeric_limits<int>::max()) ? std::numeric_limits<int>::max()
                                                              : int(tenths);
}

int AudioRecordCountForTenths(int tenths, int samplesPerSecond, int samplesPerRecord) {
    if (tenths <= 0 || samplesPerRecord <= 0) {
        return 0;
    }
    const int64_t samples = int64_t(tenths) * samplesPerSecond;
    const int64_t perRecord = int64_t(10) * samplesPerRecord;
    return int((samples + perRecord - 1) / perRecord);
}

int KeyFrameInterval(bool uncompressedVideo, int keyFrameSeconds, double fps, int frameCount) {
    if (uncompressedVideo) {
        return 1;
    }
    if (keyFrameSeconds == 0) {
        return 0;
    }
    const int roundedFps = int(std::floor(fps + 0.5));
    return std::max(keyFrameSeconds * roundedFps, (frameCount + 59) / 60);
}

RateControl::RateControl(int32_t target, int32_t ceiling)
    : m_enabled(ceiling != 0), m_target(ceiling == 0 ? 0 : target) {}

int32_t RateControl::budget() const {
    const int64_t b = int64_t(m_target) + m_carry / 2;
    return int32_t(std::clamp<int64_t>(b, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

void RateControl::frameWritten(int index, int32_t length) {
    if (index > 0 && m_enabled) {
        m_carry += int64_t(m_target) - length;
    }
}
