// Byte layout of a frame payload, shared by the payload writer, the frame coder's
// reconstruction and the player.
//
// A payload starts with a big-endian 16-bit frame kind (1 key, 2 delta), a length in
// 256-byte pages and a continuation flag. A key frame carries a 16-byte header, an optional
// 762-byte palette section (entries 1..254 as red, green, blue) and the picture, whole when
// the width is 160 and at half resolution otherwise. A delta frame carries a 24-byte header
// with eight frequent colours and a block stream: one quadtree of block codes per 8x8 block,
// rows of blocks from the top, quadrants in the order top-left, top-right, bottom-right,
// bottom-left.
//
// API: kFrameKind*, header sizes and field offsets, the block opcodes, operandCount(size,
// opcode), lengthInPages(bytes), keyPixelDataSize(w, h), and the big-endian helpers of byteorder.h.
#pragma once

#include "moviedb/byteorder.h"

#include <cstddef>
#include <cstdint>

namespace quil {

inline constexpr uint16_t kFrameKindKey = 1;
inline constexpr uint16_t kFrameKindDelta = 2;

inline constexpr size_t kKeyHeaderSize = 16;
inline constexpr size_t kDeltaHeaderSize = 24;
inline constexpr size_t kPaletteFirstIndex = 1;
inline constexpr size_t kPaletteEntryCount = 254;
inline constexpr size_t kPaletteSectionSize = kPaletteEntryCount * 3;                      // 762
inline constexpr size_t kKeyPixelOffsetWithPalette = kKeyHeaderSize + kPaletteSectionSize; // 778

// Offsets of the header fields.
inline constexpr size_t kOffsetFrameKind = 0;
inline constexpr size_t kOffsetPages = 2;
inline constexpr size_t kOffsetContinuation = 3;
inline constexpr size_t kOffsetKeyFirstIndex = 4;
inline constexpr size_t kOffsetKeyEntryCount = 6;
inline constexpr size_t kOffsetKeyPalette = 8;
inline constexpr size_t kOffsetKeyPixels = 12;
inline constexpr size_t kOffsetDeltaFrequent = 12;
inline constexpr size_t kOffsetDeltaStream = 20;

inline constexpr int kFrequentColorCount = 8;

// Block opcodes. 0..224 are motion copies with that motion vector table entry.
inline constexpr uint8_t kOpMotionLast = 224;
inline constexpr uint8_t kOpMotionZero = 112; // entry 112 is the zero vector
inline constexpr uint8_t kOpSplitMask = 225;  // 225..240, 8x8 only, mask = op - 225
inline constexpr uint8_t kOpSplitMaskLast = 240;
inline constexpr uint8_t kOpReserved1 = 241; // 241, 242 act as keep block
inline constexpr uint8_t kOpReserved2 = 242;
inline constexpr uint8_t kOpRun = 243; // n, op: op for n + 4 blocks of this size
inline constexpr uint8_t kOpKeep = 244;
inline constexpr uint8_t kOpPattern = 245;       // t, c0, c1 (8x8 and 4x4)
inline constexpr uint8_t kOpFrequentFirst = 246; // 246..253: header byte 12 + op - 246
inline constexpr uint8_t kOpFrequentLast = 253;
inline constexpr uint8_t kOpFill = 254;  // c
inline constexpr uint8_t kOpSplit = 255; // 8x8, 4x4: split; 2x2: four raw pixels

inline constexpr int kRunMinBlocks = 4; // a run covers n + 4 blocks
inline constexpr int kRunMaxBlocks = 259;

// Operand bytes that follow an opcode for a block of the given size (8, 4 or 2). Opcodes
// that have no meaning at a size act as keep block there and take no operand.
constexpr int operandCount(int size, uint8_t opcode) {
    if (opcode == kOpFill) {
        return 1;
    }
    if (opcode == kOpPattern) {
        return size == 2 ? 0 : 3;
    }
    if (opcode == kOpSplit) {
        return size == 2 ? 4 : 0;
    }
    return 0;
}

// The length in pages kept to 8 bits: payloads of 65,281 to 65,535 bytes have 256 pages,
// which the byte holds as 0. Readers take a payload's length from its record, never from here.
constexpr uint8_t lengthInPages(size_t bytes) {
    return uint8_t((bytes + 255) / 256);
}

// Bytes of pixel data in a key frame for a w x h picture: whole at width 160, otherwise
// one byte per 2x2 square.
constexpr size_t keyPixelDataSize(int w, int h) {
    if (w == 160) {
        return size_t(w) * size_t(h);
    }
    return size_t((w + 1) / 2) * size_t((h + 1) / 2);
}

} // namespace quil
