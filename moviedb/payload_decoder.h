// The one frame payload decoder, used by the frame coder to rebuild what it has just written
// and by the player to show the movie.
//
// A decoder keeps no state between frames; the pictures do. Decoders work on a picture pair:
// each frame is decoded into the buffer that holds the picture from two frames earlier, with
// the other buffer, the previous picture, as the source of motion copies. Keep blocks thus
// repeat the picture from two frames ago, motion entry 112 the previous one. A key frame
// writes both buffers.
//
// Whatever the bytes, the decoder reads only inside the payload and the previous picture and
// writes only inside the output picture (and, for a key frame, the previous picture). Where
// the format leaves the outcome open it does this, and says so in PayloadResult::status
// (the first irregularity found is the one reported):
//   - frame kind other than 1 or 2: nothing is decoded, both pictures stay as they were and
//     no further payload of the record is read (UnknownFrameKind; the format defines this,
//     the code only tells the caller).
//   - width or height not a positive multiple of 8, or a buffer smaller than width x height:
//     nothing is decoded (BadPictureSize).
//   - key frame whose header or pixel data does not fit in the payload: nothing is written
//     (Truncated, decoded false).
//   - delta frame whose 24-byte header or block stream offset does not fit: nothing is
//     written (Truncated, decoded false).
//   - block stream that ends inside a block: every block (of any size) whose opcode and
//     operands lie wholly inside the payload has been written; the block where the bytes ran
//     out and all blocks after it are left as they were, as if they were keep blocks
//     (Truncated, decoded true: the output buffer holds the frame as far as it went).
//   - motion copy whose source block would start before the previous picture or end past
//     it: the block is left as it is, like a keep block (MotionOutsidePicture; decoding goes
//     on). Sources that cross the left or right edge and continue on the neighbouring row
//     stay inside the buffer and are copied: that is part of the format.
//   - opcode run whose opcode is 243: its blocks are keep blocks, read no operands
//     (RunOfRuns; decoding goes on).
//   - opcodes 241, 242 and opcodes used at a size where they mean nothing (225-240 at 4x4
//     and 2x2, 245 at 2x2) are keep blocks without operands, as the format says (status Ok).
//   - bytes after the last block, and the length in pages, are ignored.
//
// API:
//   PayloadDecoder decoder(width, rows);
//   PayloadResult r = decoder.decode(payload, out, previous);   // out != previous
//   PayloadResult decodeFramePayload(payload, width, rows, out, previous);
//   PicturePair pair(width, rows); pair.decodeFrame(payload); pair.latest();
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "moviedb/payload_tables.h"

namespace quil {

enum class PayloadStatus : int {
    Ok = 0,
    UnknownFrameKind = 1,
    BadPictureSize = 2,
    Truncated = 3,
    MotionOutsidePicture = 4,
    RunOfRuns = 5,
};

const char* payloadStatusText(PayloadStatus status);

struct PayloadResult {
    PayloadStatus status = PayloadStatus::Ok;
    uint16_t frameKind = 0;
    // True when the output picture now holds this frame (for a truncated delta frame: as far
    // as it went). A picture pair swaps its buffers exactly then.
    bool decoded = false;
    // Bytes of the payload that the frame used (header, pixel data or block stream).
    size_t end = 0;
    // Offset, from this payload's start, of the next payload of the record: set when the
    // continuation flag is 1, the frame was read to its end and the offset lies inside the
    // bytes given.
    std::optional<size_t> next;

    bool ok() const { return status == PayloadStatus::Ok; }
};

class PayloadDecoder {
  public:
    PayloadDecoder(int width, int rows);

    int width() const { return m_width; }
    int rows() const { return m_rows; }
    // Width and rows are positive multiples of 8.
    bool validSize() const { return m_validSize; }

    // Decodes one payload into out; previous is the other buffer of the pair (only read,
    // except by key frames, which write both). Both hold at least width x rows bytes.
    PayloadResult decode(std::span<const uint8_t> payload, std::span<uint8_t> out,
                         std::span<uint8_t> previous) const;

  private:
    int m_width;
    int m_rows;
    bool m_validSize;
    std::array<ptrdiff_t, kMotionVectorCount> m_motionOffsets{};
};

PayloadResult decodeFramePayload(std::span<const uint8_t> payload, int width, int rows,
                                 std::span<uint8_t> out, std::span<uint8_t> previous);

// Two picture buffers that alternate roles, starting all zero.
class PicturePair {
  public:
    PicturePair(int width, int rows);

    const PayloadDecoder& decoder() const { return m_decoder; }
    // The picture decoded last, and the buffer that the next frame goes into.
    std::span<uint8_t> latest() { return m_buffers[m_latest]; }
    std::span<const uint8_t> latest() const { return m_buffers[m_latest]; }
    std::span<uint8_t> older() { return m_buffers[1 - m_latest]; }
    void swap() { m_latest = 1 - m_latest; }

    // Decodes one payload into older() with latest() as previous picture and swaps the roles
    // when the frame was decoded.
    PayloadResult decodeFrame(std::span<const uint8_t> payload);

    // Decodes every payload of one frame record (following continuation flags) and returns
    // the result of the last one; frames receives how many were decoded.
    PayloadResult decodeRecord(std::span<const uint8_t> record, int* frames = nullptr);

  private:
    PayloadDecoder m_decoder;
    std::array<std::vector<uint8_t>, 2> m_buffers;
    int m_latest = 0;
};

} // namespace quil
