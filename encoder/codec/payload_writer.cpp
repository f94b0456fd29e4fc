// Frame payload writing. The run planning looks ahead through the blocks of one size only,
// using a link from each block to the next block of its size, so a frame costs a few steps
// per block however the sizes interleave.
#include "encoder/codec/payload_writer.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace quil {

namespace {

constexpr int kRunLookahead = 263;
constexpr int kRunCapFrom = 260;

int levelOf(uint8_t size) {
    return size == 8 ? 2 : (size == 4 ? 1 : 0);
}

bool validBlock(const BlockCode& b) {
    return (b.size == 8 || b.size == 4 || b.size == 2) && b.opcode != kOpRun;
}

// Calls emit(byte) for every byte of the stream; false when a block is invalid.
template <typename Emit> bool planStream(std::span<const BlockCode> blocks, Emit&& emit) {
    const size_t n = blocks.size();
    std::vector<uint32_t> next(n, uint32_t(n));
    uint32_t lastOfLevel[3] = {uint32_t(n), uint32_t(n), uint32_t(n)};
    for (size_t i = n; i-- > 0;) {
        if (!validBlock(blocks[i])) {
            return false;
        }
        const int level = levelOf(blocks[i].size);
        next[i] = lastOfLevel[level];
        lastOfLevel[level] = uint32_t(i);
    }
    int counter[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
        const BlockCode& b = blocks[i];
        const int level = levelOf(b.size);
        const int operands = operandCount(b.size, b.opcode);
        if (counter[level] > 0) {
            --counter[level];
        } else {
            int j = 1;
            for (uint32_t k = next[i]; j < kRunLookahead && k < n && blocks[k].opcode == b.opcode;
                 k = next[k]) {
                ++j;
            }
            if (j >= kRunMinBlocks) {
                if (j >= kRunCapFrom) {
                    j = 255;
                }
                emit(kOpRun);
                emit(uint8_t(j - kRunMinBlocks));
                counter[level] = j - 1;
            }
            emit(b.opcode);
        }
        for (int k = 0; k < operands; ++k) {
            emit(b.operands[size_t(k)]);
        }
    }
    return true;
}

} // namespace

void writePaletteSection(uint8_t* out, const MovieColorTable& palette) {
    for (size_t i = 0; i < kPaletteEntryCount; ++i) {
        const ColorEntry& e = palette[kPaletteFirstIndex + i];
        out[3 * i] = e.red;
        out[3 * i + 1] = e.green;
        out[3 * i + 2] = e.blue;
    }
}

void writeKeyFrameHeader(uint8_t* out, bool withPalette, size_t payloadLength,
                         uint8_t continuation) {
    storeBE16(out + kOffsetFrameKind, kFrameKindKey);
    out[kOffsetPages] = lengthInPages(payloadLength);
    out[kOffsetContinuation] = continuation;
    storeBE16(out + kOffsetKeyFirstIndex, uint16_t(kPaletteFirstIndex));
    storeBE16(out + kOffsetKeyEntryCount, uint16_t(kPaletteEntryCount));
    storeBE32(out + kOffsetKeyPalette, withPalette ? uint32_t(kKeyHeaderSize) : 0);
    storeBE32(out + kOffsetKeyPixels,
              uint32_t(withPalette ? kKeyPixelOffsetWithPalette : kKeyHeaderSize));
}

size_t keyFrameSize(int w, int h, bool withPalette) {
    return kKeyHeaderSize + (withPalette ? kPaletteSectionSize : 0) + keyPixelDataSize(w, h);
}

size_t writeKeyFrame(std::span<uint8_t> out, std::span<const uint8_t> pixelData,
                     const MovieColorTable* palette, uint8_t continuation) {
    const size_t pixelOffset = palette ? kKeyPixelOffsetWithPalette : kKeyHeaderSize;
    size_t length = pixelOffset + pixelData.size();
    const bool pad = continuation == 1 && (length & 1);
    if (out.size() < length + (pad ? 1 : 0)) {
        return 0;
    }
    uint8_t* p = out.data();
    if (pad) {
        p[length++] = 0;
    }
    writeKeyFrameHeader(p, palette != nullptr, length, continuation);
    if (palette) {
        writePaletteSection(p + kKeyHeaderSize, *palette);
    }
    if (!pixelData.empty()) {
        std::memcpy(p + pixelOffset, pixelData.data(), pixelData.size());
    }
    return length;
}

void makeHalfResolution(std::span<const uint8_t> picture, int w, int h,
                        const MovieColorTable& table, ColorGrid grid,
                        std::span<const uint8_t> colorLookup, std::span<uint8_t> half) {
    const int hw = (w + 1) / 2, hh = (h + 1) / 2;
    const int shift = grid == ColorGrid::Fine ? 5 : 6;
    const int bits = grid == ColorGrid::Fine ? 5 : 4;
    for (int y = 0; y < hh; ++y) {
        const size_t r0 = size_t(2 * y) * size_t(w);
        const size_t r1 = size_t(std::min(2 * y + 1, h - 1)) * size_t(w);
        for (int x = 0; x < hw; ++x) {
            const size_t c0 = size_t(2 * x), c1 = size_t(std::min(2 * x + 1, w - 1));
            const ColorEntry* e[4] = {&table[picture[r0 + c0]], &table[picture[r0 + c1]],
                                      &table[picture[r1 + c0]], &table[picture[r1 + c1]]};
            int sr = 2, sg = 2, sb = 2;
            for (const ColorEntry* c : e) {
                sr += c->red;
                sg += c->green;
                sb += c->blue;
            }
            const size_t cell = (size_t(sr >> shift) << (2 * bits)) |
                                (size_t(sg >> shift) << bits) | size_t(sb >> shift);
            half[size_t(y) * size_t(hw) + size_t(x)] = colorLookup[cell];
        }
    }
}

size_t blockStreamSize(std::span<const BlockCode> blocks) {
    size_t n = 0;
    if (!planStream(blocks, [&n](uint8_t) { ++n; })) {
        return 0;
    }
    return n;
}

size_t writeBlockStream(std::span<const BlockCode> blocks, std::span<uint8_t> out) {
    size_t n = 0;
    bool room = true;
    const bool valid = planStream(blocks, [&](uint8_t b) {
        if (n < out.size()) {
            out[n] = b;
        } else {
            room = false;
        }
        ++n;
    });
    return valid && room ? n : 0;
}

void writeDeltaHeader(uint8_t* out, const std::array<uint8_t, 8>& frequentColors,
                      size_t payloadLength, uint8_t continuation) {
    std::memset(out, 0, kDeltaHeaderSize);
    storeBE16(out + kOffsetFrameKind, kFrameKindDelta);
    out[kOffsetPages] = lengthInPages(payloadLength);
    out[kOffsetContinuation] = continuation;
    std::memcpy(out + kOffsetDeltaFrequent, frequentColors.data(), 8);
    storeBE32(out + kOffsetDeltaStream, uint32_t(kDeltaHeaderSize));
}

size_t writeDeltaFrame(std::span<uint8_t> out, const std::array<uint8_t, 8>& frequentColors,
                       std::span<const BlockCode> blocks, uint8_t continuation) {
    if (out.size() < kDeltaHeaderSize) {
        return 0;
    }
    const size_t stream = writeBlockStream(blocks, out.subspan(kDeltaHeaderSize));
    if (stream == 0 && !blocks.empty()) {
        return 0;
    }
    size_t length = kDeltaHeaderSize + stream;
    if (continuation == 1 && (length & 1)) {
        if (out.size() <= length) {
            return 0;
        }
        out[length++] = 0;
    }
    writeDeltaHeader(out.data(), frequentColors, length, continuation);
    return length;
}

} // namespace quil
