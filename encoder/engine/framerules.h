// The arithmetic the engine decides a movie's shape with, kept free of sources, files and
// pixels so that every rule can be checked on plain numbers: the conversion of a frame range
// from source frames to output frames, the number of audio records a movie needs, the key
// frame interval, the playing time of an audio-only movie, and the rate control that hands
// each frame its byte budget.
#pragma once

#include <cstdint>

struct AudioStreamInfo;

// A range in output frames. first and end come in as source frames and leave as output
// frames; end is exclusive.
struct OutputFrameRange {
    int first = 0;
    int end = 0;
    int frameCount = 0;
};

// Converts [first, end) in source frames to output frames for a source that yields
// outputFrames frames at step source frames each. An end of 0, or one before first or past
// the last frame, means the last output frame; the result always holds at least one frame.
OutputFrameRange ConvertFrameRange(int first, int end, double step, int outputFrames);

// Audio records for frameCount frames at fps: ceil(frameCount * samplesPerSecond /
// (samplesPerRecord * fps)), 0 when fps is not positive.
int AudioRecordCountForFrames(int frameCount, double fps, int samplesPerSecond, int samplesPerRecord);

// Playing time of an audio source in tenths of a second, truncated.
int AudioPlayingTenths(const AudioStreamInfo& info);

// Audio records for a playing time in tenths of a second.
int AudioRecordCountForTenths(int tenths, int samplesPerSecond, int samplesPerRecord);

// Frames between key frames: 1 for uncompressed video; with a non-zero interval in seconds
// the larger of that many seconds of frames and frameCount / 60 rounded up, so that a movie
// has about 60 key frames at most; 0 (only the first frame) otherwise.
int KeyFrameInterval(bool uncompressedVideo, int keyFrameSeconds, double fps, int frameCount);

// Byte budget per frame: the target plus half of the bytes carried over from earlier frames.
// A ceiling of 0 turns rate control off: the target and the carry stay 0.
class RateControl {
public:
    RateControl(int32_t target, int32_t ceiling);

    // Budget for the next frame, target + carry / 2 (the halving truncates toward zero).
    int32_t budget() const;
    // Accounts for frame index's record of length bytes. Frame 0 carries nothing over.
    void frameWritten(int index, int32_t length);

    int64_t carry() const { return m_carry; }
    int32_t target() const { return m_target; }

private:
    bool m_enabled;
    int32_t m_target;
    int64_t m_carry = 0;
};
