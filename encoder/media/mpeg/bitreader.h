// MSB-first bit reader over a byte buffer with a sticky overrun flag.
//
// Invariant: the buffer holds at least 4 readable bytes past `end / 8` (zero padding), and
// m_pos never passes m_end, so peeks never leave the buffer. A read past the end yields
// zeros and sets overrun(); callers test the flag once per header, granule or block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quil::mpeg {

class BitReader {
  public:
    BitReader() = default;
    BitReader(const uint8_t* data, size_t startBit, size_t endBit)
        : m_data(data), m_pos(startBit), m_end(endBit) {}

    // Up to 25 bits.
    uint32_t peek(int n) const {
        const uint8_t* p = m_data + (m_pos >> 3);
        const uint32_t w =
            (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
        return (w << (m_pos & 7)) >> (32 - n);
    }
    void skip(int n) {
        m_pos += size_t(n);
        if (m_pos > m_end) {
            m_pos = m_end;
            m_overrun = true;
        }
    }
    uint32_t get(int n) {
        if (n == 0)
            return 0;
        if (m_pos + size_t(n) > m_end) {
            m_pos = m_end;
            m_overrun = true;
            return 0;
        }
        const uint32_t v = peek(n);
        m_pos += size_t(n);
        return v;
    }
    size_t position() const { return m_pos; }
    void seek(size_t bit) {
        if (bit > m_end) {
            bit = m_end;
            m_overrun = true;
        }
        m_pos = bit;
    }
    size_t end() const { return m_end; }
    bool overrun() const { return m_overrun; }

  private:
    const uint8_t* m_data = nullptr;
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_overrun = false;
};

} // namespace quil::mpeg
