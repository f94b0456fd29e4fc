#include "player/window/qtaudiodevice.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>

namespace quil {

QtAudioDevice::QtAudioDevice() = default;

QtAudioDevice::~QtAudioDevice() { close(); }

bool QtAudioDevice::open(int samplesPerSecond) {
    close();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        return false;
    }
    m_format = QAudioFormat();
    m_format.setSampleRate(samplesPerSecond);
    m_format.setChannelCount(1);
    m_format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(m_format)) {
        return false;
    }
    m_rate = samplesPerSecond;
    m_sink = std::make_unique<QAudioSink>(device, m_format);
    // Room for the whole queue, so that handing over a buffer never has to wait.
    m_sink->setBufferSize(int(AudioOutputQueue::kBufferCount * AudioBuffer::kBytes));
    if (!startSink()) {
        close();
        return false;
    }
    return true;
}

bool QtAudioDevice::startSink() {
    m_io = m_sink->start();
    m_submittedBytes = 0;
    return m_io != nullptr && m_sink->error() == QAudio::NoError;
}

void QtAudioDevice::close() {
    if (m_sink) {
        m_sink->stop();
        m_sink.reset();
    }
    m_io = nullptr;
    for (auto& p : m_pending) {
        p.buffer->done = true;
    }
    m_pending.clear();
}

void QtAudioDevice::pause() {
    if (m_sink) {
        m_sink->suspend();
    }
}

void QtAudioDevice::restart() {
    if (m_sink) {
        m_sink->resume();
        pump();
    }
}

void QtAudioDevice::reset() {
    for (auto& p : m_pending) {
        p.buffer->done = true;
    }
    m_pending.clear();
    if (m_sink) {
        m_sink->stop();
        startSink();
        m_sink->suspend();
    }
}

void QtAudioDevice::submit(AudioBuffer& buffer) {
    m_submittedBytes += int64_t(buffer.length);
    m_pending.push_back({&buffer, m_submittedBytes, 0});
    pump();
}

int64_t QtAudioDevice::processedBytes() const {
    if (!m_sink) {
        return -1;
    }
    return m_sink->processedUSecs() * m_rate / 1000000 * 2;
}

void QtAudioDevice::pump() {
    if (!m_sink || !m_io) {
        return;
    }
    for (auto& p : m_pending) {
        if (p.written == p.buffer->length) {
            continue;
        }
        const qint64 room = m_sink->bytesFree();
        if (room <= 0) {
            break;
        }
        const qint64 n = m_io->write(reinterpret_cast<const char*>(p.buffer->data.data() + p.written),
                                     std::min<qint64>(room, qint64(p.buffer->length - p.written)));
        if (n <= 0) {
            break;
        }
        p.written += size_t(n);
        if (p.written < p.buffer->length) {
            break;
        }
    }
    const int64_t processed = processedBytes();
    while (!m_pending.empty() && m_pending.front().written == m_pending.front().buffer->length &&
           processed >= m_pending.front().endByte) {
        m_pending.front().buffer->done = true;
        m_pending.pop_front();
    }
}

int64_t QtAudioDevice::playedSamples() {
    if (!m_sink || m_sink->error() != QAudio::NoError) {
        return -1;
    }
    return m_sink->processedUSecs() * m_rate / 1000000;
}

bool QtAudioDevice::waitForDone(int) {
    // Never blocks the window's thread: the queue asks only when it has a free buffer.
    const size_t before = m_pending.size();
    pump();
    return m_pending.size() < before;
}

} // namespace quil
