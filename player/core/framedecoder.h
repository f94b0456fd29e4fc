// The player's frame decoder: keeps the picture pair, finds frame a by decoding forward from
// the key frame at or before it (frame f lives in record f + 1, later payloads of a record
// follow as continuation payloads).
//
// The payload format itself is decoded by the shared payload decoder behind
// FramePayloadDecoder; this class only decides which payloads to decode, in which order,
// into which buffer. A payload that does not decode (an unknown frame kind, a truncated
// header) still counts as its frame, and the pair keeps showing the picture before it.
#pragma once

#include "player/core/records.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quil {

// What decoding one payload gave: whether the output picture now holds the frame (the pair
// swaps its roles exactly then) and where the record's next payload starts, counted from
// this payload's start.
struct FramePayloadResult {
    bool decoded = false;
    std::optional<size_t> next;
};

class FramePayloadDecoder {
public:
    virtual ~FramePayloadDecoder() = default;
    // Decodes `payload` into `out` (width x rows pixel codes) with `previous` as the previous
    // picture; a key frame writes both.
    virtual FramePayloadResult decode(std::span<const uint8_t> payload, int width, int rows,
                                      std::span<uint8_t> out, std::span<uint8_t> previous) = 0;
};

class FrameDecoder {
public:
    // The largest picture the player takes: 320 x 576 pixel codes, the display bitmap's size.
    static constexpr int kMaxWidth = 320;
    static constexpr int kMaxRows = 576;
    static constexpr size_t kPictureBytes = size_t(kMaxWidth) * kMaxRows;

    explicit FrameDecoder(FramePayloadDecoder& payloads);
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Takes the movie's geometry; width and rows must fit kMaxWidth x kMaxRows.
    void open(MovieRecords* records, int width, int rows, int keyInterval, int frameCount);
    // Forgets the decoded frame (the next request starts from a key frame) and releases the
    // record it holds.
    void reset();
    void close();

    // The picture of frame a (width x rows pixel codes), or nullptr when a is not a frame of
    // the movie or a record on the way cannot be read.
    const uint8_t* GetFrame(int frame);

    int currentFrame() const { return m_currentFrame; }
    int width() const { return m_width; }
    int rows() const { return m_rows; }

private:
    FramePayloadDecoder& m_payloads;
    MovieRecords* m_records = nullptr;
    int m_width = 0;
    int m_rows = 0;
    int m_keyInterval = 0;
    int m_frameCount = 0;
    std::array<std::vector<uint8_t>, 2> m_buffers;
    int m_latest = 0;
    int m_currentFrame = -1;
    int m_currentRecord = 0;
    std::optional<size_t> m_pending;
    int m_loadedIndex = -1;
    std::span<const uint8_t> m_loaded;

    void releaseLoaded();
};

} // namespace quil
