// Free bytes count whole free buffers minus what is already filled into the first of them,
// so the playback engine's "a whole buffer is free" test means a buffer can be filled
// without waiting.
#include "player/core/audioqueue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quil {

AudioOutputQueue::AudioOutputQueue(AudioDevice& device) : m_device(device) {}

AudioOutputQueue::~AudioOutputQueue() { close(); }

bool AudioOutputQueue::open(int samplesPerSecond) {
    close();
    if (samplesPerSecond <= 0 || !m_device.open(samplesPerSecond)) {
        return false;
    }
    m_samplesPerSecond = samplesPerSecond;
    m_free.clear();
    m_queued.clear();
    for (auto& buffer : m_buffers) {
        buffer.length = 0;
        buffer.done = false;
        m_free.push_back(&buffer);
        std::fprintf(stderr, "Allocated audio buffer of %ld bytes\n", long(AudioBuffer::kBytes));
    }
    m_fill = 0;
    m_freeBytes = int(kBufferCount * AudioBuffer::kBytes);
    m_device.pause();
    m_state = State::Paused;
    return true;
}

void AudioOutputQueue::close() {
    if (isOpen()) {
        m_device.reset();
        m_device.close();
    }
    m_free.clear();
    m_queued.clear();
    m_fill = 0;
    m_freeBytes = 0;
    m_state = State::Closed;
}

void AudioOutputQueue::stop() {
    if (isOpen()) {
        m_device.reset();
        m_state = State::Paused;
    }
}

void AudioOutputQueue::restart() {
    if (isOpen()) {
        m_device.restart();
        m_state = State::Playing;
    }
}

void AudioOutputQueue::markSilent() {
    close();
    m_state = State::Silent;
}

bool AudioOutputQueue::reclaim() {
    bool moved = false;
    while (!m_queued.empty() && m_queued.front()->done) {
        AudioBuffer* buffer = m_queued.front();
        m_queued.pop_front();
        buffer->done = false;
        buffer->length = 0;
        m_free.push_back(buffer);
        m_freeBytes += int(AudioBuffer::kBytes);
        moved = true;
    }
    return moved;
}

int AudioOutputQueue::freeBytes() {
    reclaim();
    return m_freeBytes;
}

void AudioOutputQueue::submitFront() {
    AudioBuffer* buffer = m_free.front();
    m_free.pop_front();
    buffer->length = m_fill;
    buffer->done = false;
    m_queued.push_back(buffer);
    m_fill = 0;
    m_device.submit(*buffer);
}

bool AudioOutputQueue::write(const uint8_t* bytes, size_t length, int waitMs) {
    if (m_state == State::Silent) {
        return true;
    }
    if (!isOpen()) {
        return false;
    }
    while (length > 0) {
        if (m_free.empty()) {
            const bool signalled = m_device.waitForDone(waitMs);
            if (!reclaim() && !signalled) {
                return false;
            }
            continue;
        }
        const size_t n = std::min(length, AudioBuffer::kBytes - m_fill);
        std::memcpy(m_free.front()->data.data() + m_fill, bytes, n);
        m_fill += n;
        m_freeBytes -= int(n);
        bytes += n;
        length -= n;
        if (m_fill == AudioBuffer::kBytes) {
            submitFront();
        }
    }
    return true;
}

void AudioOutputQueue::flush() {
    if (!isOpen() || m_fill == 0 || m_free.empty()) {
        return;
    }
    AudioBuffer* buffer = m_free.front();
    // 16-bit samples: silence is 0.
    std::memset(buffer->data.data() + m_fill, 0, AudioBuffer::kBytes - m_fill);
    m_freeBytes -= int(AudioBuffer::kBytes - m_fill);
    m_fill = AudioBuffer::kBytes;
    submitFront();
}

int AudioOutputQueue::positionMs() {
    if (m_state != State::Playing) {
        return -1;
    }
    const int64_t samples = m_device.playedSamples();
    if (samples < 0) {
        return -1;
    }
    return int(samples * 1000 / m_samplesPerSecond);
}

} // namespace quil
