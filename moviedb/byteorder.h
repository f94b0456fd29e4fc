// Conversion between host order and the big-endian order of every integer in a movie
// database, as whole-value swaps and as loads/stores at a byte position. The load/store
// helpers do not check bounds: callers check the length of the area once, then read.
#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quil {

// Host order <-> big-endian; the same operation in both directions.
constexpr uint32_t swap32(uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) {
        return v;
    }
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

// A big-endian 16-bit field read as an unsigned value.
constexpr uint16_t swap16u(uint16_t v) {
    if constexpr (std::endian::native == std::endian::big) {
        return v;
    }
    return uint16_t((v >> 8) | (v << 8));
}

// A big-endian 16-bit field read as a signed value.
constexpr int16_t swap16s(uint16_t v) {
    return int16_t(swap16u(v));
}

constexpr uint16_t loadBE16(const uint8_t* p) {
    return uint16_t((p[0] << 8) | p[1]);
}

constexpr uint32_t loadBE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

constexpr void storeBE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

constexpr void storeBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

// Span forms; the offset must leave room for the field.
inline uint16_t getBE16(std::span<const uint8_t> bytes, size_t offset) {
    assert(offset + 2 <= bytes.size());
    return loadBE16(bytes.data() + offset);
}

inline int16_t getBE16s(std::span<const uint8_t> bytes, size_t offset) {
    return int16_t(getBE16(bytes, offset));
}

inline uint32_t getBE32(std::span<const uint8_t> bytes, size_t offset) {
    assert(offset + 4 <= bytes.size());
    return loadBE32(bytes.data() + offset);
}

inline void putBE16(std::span<uint8_t> bytes, size_t offset, uint16_t v) {
    assert(offset + 2 <= bytes.size());
    storeBE16(bytes.data() + offset, v);
}

inline void putBE32(std::span<uint8_t> bytes, size_t offset, uint32_t v) {
    assert(offset + 4 <= bytes.size());
    storeBE32(bytes.data() + offset, v);
}

} // namespace quil
