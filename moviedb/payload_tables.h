// The three code tables a block stream refers to.
//
// kMotionVectors[op] is the (dx, dy) of motion copy opcode op (0..224): dx positive to the
// right, dy positive downwards; the source block starts dy * W + dx bytes from the block in
// a picture of width W. Entry 112 is the zero vector. The table is not point-symmetric and
// is used exactly as listed.
//
// kPatterns4x4[t] and kPatterns8x8[t]: bit (r * s + c) is row r, column c of an s x s block
// (bit 0 top-left). In a movie file the 4x4 entries would be stored as little-endian 16-bit
// words and the 8x8 entries as two little-endian 32-bit words, rows 0-3 first, which is the
// 64-bit value's low word first.
#pragma once

#include <array>
#include <cstdint>

namespace quil {

struct MotionVector {
    int8_t dx;
    int8_t dy;
};

inline constexpr int kMotionVectorCount = 225;

extern const std::array<MotionVector, kMotionVectorCount> kMotionVectors;
extern const std::array<uint16_t, 256> kPatterns4x4;
extern const std::array<uint64_t, 256> kPatterns8x8;

} // namespace quil
