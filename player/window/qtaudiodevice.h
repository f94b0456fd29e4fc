// The audio device behind the player's audio queue: a QAudioSink in push mode on the default
// output (PulseAudio here). Buffers handed over are written into the sink as it has room;
// a buffer counts as played once the sink has processed all bytes up to its end. Nothing
// here blocks: pump() is called from the playback tick to feed the sink and flag buffers.
#pragma once

#include "player/core/audioqueue.h"

#include <QAudioFormat>
#include <deque>
#include <memory>

class QAudioSink;
class QIODevice;

namespace quil {

class QtAudioDevice final : public AudioDevice {
public:
    QtAudioDevice();
    ~QtAudioDevice() override;

    bool open(int samplesPerSecond) override;
    void close() override;
    void pause() override;
    void restart() override;
    void reset() override;
    void submit(AudioBuffer& buffer) override;
    int64_t playedSamples() override;
    bool waitForDone(int ms) override;

    // Feeds queued bytes to the sink and flags the buffers it has played.
    void pump();

private:
    struct Pending {
        AudioBuffer* buffer;
        int64_t endByte;   // stream position after this buffer
        size_t written;    // bytes of it already in the sink
    };
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_io = nullptr;
    QAudioFormat m_format;
    std::deque<Pending> m_pending;
    int64_t m_submittedBytes = 0;
    int m_rate = 0;

    bool startSink();
    int64_t processedBytes() const;
};

} // namespace quil
