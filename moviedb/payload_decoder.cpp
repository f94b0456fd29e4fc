// Frame payload decoding. Key frames are copies; delta frames walk one quadtree per 8x8
// block. Every byte of the block stream comes through Reader, which yields 0 past the end
// and remembers the overrun; a leaf block checks the flag once, after its opcode and
// operands, and only then writes, so a short stream never leaves a half-written block.
// Motion sources are checked against the previous picture before they are read.
#include "moviedb/payload_decoder.h"

#include <bit>
#include <cstring>

#include "moviedb/payload_format.h"

namespace quil {

namespace {

// kSpread8[b]: eight bytes, byte k 0xFF when bit k of b is set, in memory order.
constexpr std::array<uint64_t, 256> makeSpread8() {
    std::array<uint64_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        uint64_t v = 0;
        for (int k = 0; k < 8; ++k) {
            if (b & (1 << k)) {
                const int byte = std::endian::native == std::endian::little ? k : 7 - k;
                v |= uint64_t{0xFF} << (8 * byte);
            }
        }
        t[size_t(b)] = v;
    }
    return t;
}
constexpr std::array<uint32_t, 16> makeSpread4() {
    std::array<uint32_t, 16> t{};
    for (int b = 0; b < 16; ++b) {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
            if (b & (1 << k)) {
                const int byte = std::endian::native == std::endian::little ? k : 3 - k;
                v |= uint32_t{0xFF} << (8 * byte);
            }
        }
        t[size_t(b)] = v;
    }
    return t;
}
constexpr std::array<uint64_t, 256> kSpread8 = makeSpread8();
constexpr std::array<uint32_t, 16> kSpread4 = makeSpread4();

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t pos;

    uint8_t get() {
        const uint8_t v = pos < size ? data[pos] : 0;
        ++pos;
        return v;
    }
    bool overrun() const { return pos > size; }
};

// Block sizes 8, 4, 2 are levels 2, 1, 0.
template <int S> constexpr int kLevel = S == 8 ? 2 : (S == 4 ? 1 : 0);

class DeltaDecoder {
  public:
    DeltaDecoder(const uint8_t* payload, size_t size, size_t streamOffset, const uint8_t* frequent,
                 size_t width, size_t pictureSize, const ptrdiff_t* motionOffsets, uint8_t* out,
                 const uint8_t* prev)
        : m_reader{payload, size, streamOffset}, m_frequent(frequent), m_width(width),
          m_pictureSize(pictureSize), m_motion(motionOffsets), m_out(out), m_prev(prev) {}

    // Decodes every 8x8 block; false when the stream ran out.
    bool run(size_t rows) {
        for (size_t y = 0; y < rows; y += 8) {
            const size_t rowStart = y * m_width;
            for (size_t x = 0; x < m_width; x += 8) {
                if (!block<8>(rowStart + x)) {
                    return false;
                }
            }
        }
        return true;
    }

    size_t end() const { return m_reader.pos; }
    PayloadStatus status() const { return m_status; }

  private:
    void note(PayloadStatus s) {
        if (m_status == PayloadStatus::Ok) {
            m_status = s;
        }
    }

    template <int S> uint8_t opcode() {
        constexpr int level = kLevel<S>;
        if (m_runCount[level] > 0) {
            --m_runCount[level];
            return m_runOp[level];
        }
        const uint8_t b = m_reader.get();
        if (b != kOpRun) {
            return b;
        }
        const int n = m_reader.get();
        const uint8_t op = m_reader.get();
        if (op == kOpRun) {
            note(PayloadStatus::RunOfRuns);
        }
        m_runCount[level] = n + kRunMinBlocks - 1;
        m_runOp[level] = op;
        return op;
    }

    // Quadrant k's offset from the block's position, quadrants in stream order.
    template <int S> size_t quadrant(size_t p, int k) const {
        constexpr size_t h = S / 2;
        switch (k) {
        case 0:
            return p;
        case 1:
            return p + h;
        case 2:
            return p + h * m_width + h;
        default:
            return p + h * m_width;
        }
    }

    template <int S> void fill(size_t p, uint8_t c) {
        uint8_t* d = m_out + p;
        if constexpr (S == 8) {
            const uint64_t v = 0x0101010101010101ull * c;
            for (int r = 0; r < 8; ++r, d += m_width) {
                std::memcpy(d, &v, 8);
            }
        } else if constexpr (S == 4) {
            const uint32_t v = 0x01010101u * c;
            for (int r = 0; r < 4; ++r, d += m_width) {
                std::memcpy(d, &v, 4);
            }
        } else {
            d[0] = d[1] = c;
            d[m_width] = d[m_width + 1] = c;
        }
    }

    template <int S> void motion(size_t p, uint8_t op) {
        const ptrdiff_t start = ptrdiff_t(p) + m_motion[op];
        if (start < 0 || size_t(start) + (S - 1) * (m_width + 1) >= m_pictureSize) {
            note(PayloadStatus::MotionOutsidePicture);
            return;
        }
        const uint8_t* s = m_prev + start;
        uint8_t* d = m_out + p;
        for (int r = 0; r < S; ++r, s += m_width, d += m_width) {
            std::memcpy(d, s, S);
        }
    }

    template <int S> void pattern(size_t p, uint8_t t, uint8_t c0, uint8_t c1) {
        uint8_t* d = m_out + p;
        if constexpr (S == 8) {
            const uint64_t bits = kPatterns8x8[t];
            const uint64_t v0 = 0x0101010101010101ull * c0, v1 = 0x0101010101010101ull * c1;
            for (int r = 0; r < 8; ++r, d += m_width) {
                const uint64_t m = kSpread8[(bits >> (8 * r)) & 0xFF];
                const uint64_t v = (v1 & m) | (v0 & ~m);
                std::memcpy(d, &v, 8);
            }
        } else {
            const uint32_t bits = kPatterns4x4[t];
            const uint32_t v0 = 0x01010101u * c0, v1 = 0x01010101u * c1;
            for (int r = 0; r < 4; ++r, d += m_width) {
                const uint32_t m = kSpread4[(bits >> (4 * r)) & 0xF];
                const uint32_t v = (v1 & m) | (v0 & ~m);
                std::memcpy(d, &v, 4);
            }
        }
    }

    // Decodes one block of size S at p. False when the stream ran out.
    template <int S> bool block(size_t p) {
        const uint8_t op = opcode<S>();
        if (op <= kOpMotionLast) {
            if (m_reader.overrun()) {
                return false;
            }
            motion<S>(p, op);
            return true;
        }
        switch (op) {
        case kOpFill: {
            const uint8_t c = m_reader.get();
            if (m_reader.overrun()) {
                return false;
            }
            fill<S>(p, c);
            return true;
        }
        case kOpSplit:
            if constexpr (S == 2) {
                const uint8_t a = m_reader.get(), b = m_reader.get();
                const uint8_t c = m_reader.get(), d = m_reader.get();
                if (m_reader.overrun()) {
                    return false;
                }
                uint8_t* o = m_out + p;
                o[0] = a;
                o[1] = b;
                o[m_width] = c;
                o[m_width + 1] = d;
                return true;
            } else {
                for (int k = 0; k < 4; ++k) {
                    if (!block<S / 2>(quadrant<S>(p, k))) {
                        return false;
                    }
                }
                return true;
            }
        case kOpPattern:
            if constexpr (S != 2) {
                const uint8_t t = m_reader.get(), c0 = m_reader.get(), c1 = m_reader.get();
                if (m_reader.overrun()) {
                    return false;
                }
                pattern<S>(p, t, c0, c1);
                return true;
            }
            break;
        default:
            if (op >= kOpFrequentFirst && op <= kOpFrequentLast) {
                if (m_reader.overrun()) {
                    return false;
                }
                fill<S>(p, m_frequent[op - kOpFrequentFirst]);
                return true;
            }
            if constexpr (S == 8) {
                if (op >= kOpSplitMask && op <= kOpSplitMaskLast) {
                    const int mask = op - kOpSplitMask;
                    for (int k = 0; k < 4; ++k) {
                        const size_t q = quadrant<8>(p, k);
                        if (mask & (1 << k)) {
                            for (int j = 0; j < 4; ++j) {
                                if (!block<2>(quadrant<4>(q, j))) {
                                    return false;
                                }
                            }
                        } else if (!block<4>(q)) {
                            return false;
                        }
                    }
                    return true;
                }
            }
            break;
        }
        // Keep block, reserved opcodes, opcodes without meaning at this size, run of runs.
        return !m_reader.overrun();
    }

    Reader m_reader;
    const uint8_t* m_frequent;
    size_t m_width;
    size_t m_pictureSize;
    const ptrdiff_t* m_motion;
    uint8_t* m_out;
    const uint8_t* m_prev;
    PayloadStatus m_status = PayloadStatus::Ok;
    int m_runCount[3] = {0, 0, 0};
    uint8_t m_runOp[3] = {0, 0, 0};
};

std::optional<size_t> nextPayload(const uint8_t* payload, size_t size, size_t end) {
    if (payload[kOffsetContinuation] != 1) {
        return std::nullopt;
    }
    const size_t next = end + (end & 1);
    if (next >= size) {
        return std::nullopt;
    }
    return next;
}

} // namespace

const char* payloadStatusText(PayloadStatus status) {
    switch (status) {
    case PayloadStatus::Ok:
        return "ok";
    case PayloadStatus::UnknownFrameKind:
        return "unknown frame kind";
    case PayloadStatus::BadPictureSize:
        return "picture size is not a multiple of 8 or exceeds its buffer";
    case PayloadStatus::Truncated:
        return "frame payload is truncated";
    case PayloadStatus::MotionOutsidePicture:
        return "motion copy from outside the picture";
    case PayloadStatus::RunOfRuns:
        return "opcode run of opcode runs";
    }
    return "unknown status";
}

PayloadDecoder::PayloadDecoder(int width, int rows)
    : m_width(width), m_rows(rows),
      m_validSize(width > 0 && rows > 0 && width % 8 == 0 && rows % 8 == 0) {
    for (int i = 0; i < kMotionVectorCount; ++i) {
        m_motionOffsets[size_t(i)] =
            ptrdiff_t(kMotionVectors[size_t(i)].dy) * width + kMotionVectors[size_t(i)].dx;
    }
}

PayloadResult PayloadDecoder::decode(std::span<const uint8_t> payload, std::span<uint8_t> out,
                                     std::span<uint8_t> previous) const {
    PayloadResult result;
    const size_t w = size_t(m_width), h = size_t(m_rows);
    if (!m_validSize || out.size() < w * h || previous.size() < w * h) {
        result.status = PayloadStatus::BadPictureSize;
        return result;
    }
    const uint8_t* p = payload.data();
    const size_t size = payload.size();
    if (size < 4) {
        result.status = PayloadStatus::Truncated;
        return result;
    }
    result.frameKind = loadBE16(p + kOffsetFrameKind);

    if (result.frameKind == kFrameKindKey) {
        if (size < kKeyHeaderSize) {
            result.status = PayloadStatus::Truncated;
            return result;
        }
        const size_t offset = loadBE32(p + kOffsetKeyPixels);
        const size_t need = keyPixelDataSize(m_width, m_rows);
        if (offset > size || size - offset < need) {
            result.status = PayloadStatus::Truncated;
            return result;
        }
        const uint8_t* src = p + offset;
        if (w == 160) {
            std::memcpy(out.data(), src, w * h);
        } else {
            const size_t hw = (w + 1) / 2, hh = (h + 1) / 2;
            for (size_t y = 0; y < hh; ++y) {
                uint8_t* row0 = out.data() + 2 * y * w;
                uint8_t* row1 = row0 + w;
                const uint8_t* s = src + y * hw;
                for (size_t x = 0; x < hw; ++x) {
                    row0[2 * x] = row0[2 * x + 1] = s[x];
                }
                std::memcpy(row1, row0, w);
            }
        }
        std::memcpy(previous.data(), out.data(), w * h);
        result.decoded = true;
        result.end = offset + need;
        result.next = nextPayload(p, size, result.end);
        return result;
    }

    if (result.frameKind != kFrameKindDelta) {
        result.status = PayloadStatus::UnknownFrameKind;
        return result;
    }
    if (size < kDeltaHeaderSize) {
        result.status = PayloadStatus::Truncated;
        return result;
    }
    const size_t streamOffset = loadBE32(p + kOffsetDeltaStream);
    if (streamOffset > size) {
        result.status = PayloadStatus::Truncated;
        return result;
    }
    DeltaDecoder delta(p, size, streamOffset, p + kOffsetDeltaFrequent, w, w * h,
                       m_motionOffsets.data(), out.data(), previous.data());
    const bool complete = delta.run(h);
    result.decoded = true;
    result.status = delta.status();
    if (!complete) {
        if (result.status == PayloadStatus::Ok) {
            result.status = PayloadStatus::Truncated;
        }
        result.end = size;
        return result;
    }
    result.end = delta.end();
    result.next = nextPayload(p, size, result.end);
    return result;
}

PayloadResult decodeFramePayload(std::span<const uint8_t> payload, int width, int rows,
                                 std::span<uint8_t> out, std::span<uint8_t> previous) {
    return PayloadDecoder(width, rows).decode(payload, out, previous);
}

PicturePair::PicturePair(int width, int rows) : m_decoder(width, rows) {
    const size_t n = width > 0 && rows > 0 ? size_t(width) * size_t(rows) : 0;
    m_buffers[0].assign(n, 0);
    m_buffers[1].assign(n, 0);
}

PayloadResult PicturePair::decodeFrame(std::span<const uint8_t> payload) {
    PayloadResult r = m_decoder.decode(payload, older(), latest());
    if (r.decoded) {
        swap();
    }
    return r;
}

PayloadResult PicturePair::decodeRecord(std::span<const uint8_t> record, int* frames) {
    int count = 0;
    PayloadResult r;
    size_t offset = 0;
    for (;;) {
        r = decodeFrame(record.subspan(offset));
        count += r.decoded ? 1 : 0;
        if (!r.next) {
            break;
        }
        offset += *r.next;
    }
    if (frames) {
        *frames = count;
    }
    return r;
}

} // namespace quil
