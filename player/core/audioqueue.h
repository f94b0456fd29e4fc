// The audio output queue: a fixed pool of 4 buffers of 8192 bytes of 16-bit mono samples,
// a free list and a device list, over an AudioDevice that plays handed-over buffers in order
// and flags each one done when it has been played. With no device the queue goes silent and
// accepts and drops everything, so playback runs on the system clock.
//
// AudioOutput is what the playback engine sees; AudioOutputQueue implements it over a device
// (the Qt sink in the program, a fake in tests).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>

namespace quil {

struct AudioBuffer {
    static constexpr size_t kBytes = 8192;
    std::array<uint8_t, kBytes> data{};
    size_t length = 0;           // bytes handed to the device
    std::atomic<bool> done{false}; // set by the device when the buffer has been played
};

class AudioDevice {
public:
    virtual ~AudioDevice() = default;
    // Opens the default output for 16-bit mono PCM at the given rate, paused.
    virtual bool open(int samplesPerSecond) = 0;
    virtual void close() = 0;
    virtual void pause() = 0;
    virtual void restart() = 0;
    // Drops everything queued and flags every handed-over buffer done; the position restarts at 0.
    virtual void reset() = 0;
    virtual void submit(AudioBuffer& buffer) = 0;
    // Samples played since open or the last reset, or -1 when the device cannot tell.
    virtual int64_t playedSamples() = 0;
    // Waits until some buffer is flagged done, up to `ms` milliseconds (-1: without limit);
    // false when the wait timed out.
    virtual bool waitForDone(int ms) = 0;
};

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    virtual bool open(int samplesPerSecond) = 0;
    virtual void close() = 0;
    virtual void stop() = 0;
    virtual void restart() = 0;
    virtual void markSilent() = 0;
    virtual bool isSilent() const = 0;
    virtual bool reclaim() = 0;
    virtual int freeBytes() = 0;
    virtual bool write(const uint8_t* bytes, size_t length, int waitMs) = 0;
    virtual void flush() = 0;
    virtual int positionMs() = 0;
};

class AudioOutputQueue final : public AudioOutput {
public:
    static constexpr int kBufferCount = 4;
    enum class State { Closed = 0, Paused = 1, Playing = 2, Silent = 10 };

    explicit AudioOutputQueue(AudioDevice& device);
    ~AudioOutputQueue() override;

    bool open(int samplesPerSecond) override;
    void close() override;
    void stop() override;
    void restart() override;
    void markSilent() override;
    bool isSilent() const override { return m_state == State::Silent; }
    bool reclaim() override;
    int freeBytes() override;
    bool write(const uint8_t* bytes, size_t length, int waitMs) override;
    void flush() override;
    int positionMs() override;

    State state() const { return m_state; }

private:
    AudioDevice& m_device;
    State m_state = State::Closed;
    std::array<AudioBuffer, kBufferCount> m_buffers;
    std::deque<AudioBuffer*> m_free;   // front() is the buffer being filled
    std::deque<AudioBuffer*> m_queued; // handed to the device, in order
    size_t m_fill = 0;                 // bytes already in m_free.front()
    int m_freeBytes = 0;
    int m_samplesPerSecond = 0;

    void submitFront();
    bool isOpen() const { return m_state == State::Paused || m_state == State::Playing; }
};

} // namespace quil
