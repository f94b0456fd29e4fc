// Seeking over the picture pair. Invariant: when m_currentFrame >= 0, buffer m_latest holds
// that frame's picture and the other buffer the one before it, and m_pending/m_loaded describe
// where the next frame's payload is (the rest of the loaded record, or the next record).
#include "player/core/framedecoder.h"

#include <algorithm>

namespace quil {

FrameDecoder::FrameDecoder(FramePayloadDecoder& payloads) : m_payloads(payloads) {
    for (auto& buffer : m_buffers) {
        buffer.assign(kPictureBytes, 0);
    }
}

FrameDecoder::~FrameDecoder() { releaseLoaded(); }

void FrameDecoder::open(MovieRecords* records, int width, int rows, int keyInterval, int frameCount) {
    close();
    m_records = records;
    const bool fits = width > 0 && rows > 0 && width <= kMaxWidth && rows <= kMaxRows;
    m_width = fits ? width : 0;
    m_rows = fits ? rows : 0;
    m_keyInterval = std::max(keyInterval, 0);
    m_frameCount = fits ? std::max(frameCount, 0) : 0;
    m_latest = 0;
}

void FrameDecoder::reset() {
    releaseLoaded();
    m_currentFrame = -1;
    m_currentRecord = 0;
    m_pending.reset();
}

void FrameDecoder::close() {
    reset();
    m_records = nullptr;
    m_frameCount = 0;
}

void FrameDecoder::releaseLoaded() {
    if (m_loadedIndex >= 0 && m_records) {
        m_records->release(m_loadedIndex);
    }
    m_loadedIndex = -1;
    m_loaded = {};
}

const uint8_t* FrameDecoder::GetFrame(int frame) {
    if (!m_records || frame < 0 || frame >= m_frameCount) {
        return nullptr;
    }
    if (frame < m_currentFrame) {
        reset();
    }
    while (m_currentFrame < frame) {
        const int keyFrame = m_keyInterval > 0 ? m_keyInterval * (frame / m_keyInterval) : 0;
        if (m_keyInterval > 0 && keyFrame > m_currentFrame) {
            releaseLoaded();
            m_currentFrame = m_currentRecord = keyFrame;
            m_pending.reset();
        } else {
            ++m_currentFrame;
        }
        if (!m_pending) {
            const int index = m_currentRecord + 1;
            // Only frame records: past the last one lie the audio records.
            auto record = index <= m_frameCount ? m_records->get(index) : std::nullopt;
            if (!record) {
                // The buffers no longer match any frame number: start afresh next time.
                reset();
                return nullptr;
            }
            releaseLoaded();
            m_currentRecord = index;
            m_loadedIndex = index;
            m_loaded = *record;
            m_pending = 0;
        }
        const size_t offset = *m_pending;
        const size_t pictureBytes = size_t(m_width) * size_t(m_rows);
        std::span<uint8_t> out(m_buffers[m_latest ^ 1].data(), pictureBytes);
        std::span<uint8_t> previous(m_buffers[m_latest].data(), pictureBytes);
        const FramePayloadResult result = m_payloads.decode(m_loaded.subspan(offset), m_width, m_rows, out, previous);
        if (result.decoded) {
            m_latest ^= 1;
        }
        m_pending.reset();
        if (result.next && *result.next > 0 && *result.next < m_loaded.size() - offset) {
            m_pending = offset + *result.next;
        } else {
            releaseLoaded();
        }
    }
    return m_buffers[m_latest].data();
}

} // namespace quil
