// Writing frame payloads: the primitives the frame coder puts a frame together with. The
// bytes they produce are what PayloadDecoder (moviedb/payload_decoder.h) reads.
//
// Key frames: writeKeyFrame() lays out the 16-byte header, the palette section when a colour
// table is given (frame 0 only), and the pixel data: the picture itself at width 160,
// otherwise the half-resolution bytes that makeHalfResolution() computes.
//
// Delta frames: the coder lists the coded blocks in stream order (pre-order over each 8x8
// block's quadtree, 8x8 blocks in raster order, quadrants top-left, top-right, bottom-right,
// bottom-left), leaving out blocks that emit nothing (4x4 quadrants opened by a
// split-with-mask). writeBlockStream() turns the list into bytes and gathers equal opcodes
// of one block size into opcode runs: a run starts at a block whose size has no run going
// when it and the following blocks of that size (other sizes skipped, at most 263 looked at)
// share its opcode at least four times; 260 or more become a run of 255.
//
// The size-returning writers check the room they are given and return 0 (writing nothing
// useful) when the payload would not fit; the pointer-taking header writers expect room for
// their fixed sizes (16, 24 and 762 bytes), and makeHalfResolution expects spans of the sizes
// it names.
//
// API:
//   size_t writeKeyFrame(out, pixelData, const MovieColorTable* palette, uint8_t continuation);
//   void writeKeyFrameHeader(out, withPalette, payloadLength, continuation);
//   void writePaletteSection(out, palette);
//   void makeHalfResolution(picture, w, h, table, grid, colorLookup, half);
//   size_t writeBlockStream(std::span<const BlockCode>, out);
//   size_t writeDeltaFrame(out, frequentColors, blocks, continuation);
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "encoder/codec/colormode.h"
#include "moviedb/payload_format.h"

namespace quil {

// One coded block of the stream: its size (8, 4 or 2), opcode (never 243, runs are made by
// the writer) and the operand bytes the opcode takes at that size (operandCount()).
struct BlockCode {
    uint8_t size = 8;
    uint8_t opcode = kOpKeep;
    std::array<uint8_t, 4> operands{};
};

constexpr BlockCode keepBlock(int size) {
    return BlockCode{uint8_t(size), kOpKeep, {}};
}
constexpr BlockCode motionBlock(int size, int entry) {
    return BlockCode{uint8_t(size), uint8_t(entry), {}};
}
constexpr BlockCode fillBlock(int size, uint8_t color) {
    return BlockCode{uint8_t(size), kOpFill, {color, 0, 0, 0}};
}
constexpr BlockCode frequentBlock(int size, int k) {
    return BlockCode{uint8_t(size), uint8_t(kOpFrequentFirst + k), {}};
}
constexpr BlockCode patternBlock(int size, uint8_t t, uint8_t c0, uint8_t c1) {
    return BlockCode{uint8_t(size), kOpPattern, {t, c0, c1, 0}};
}
constexpr BlockCode splitBlock(int size) {
    return BlockCode{uint8_t(size), kOpSplit, {}};
}
// 8x8 split-with-mask: bit k of mask set opens quadrant k straight into four 2x2 blocks.
constexpr BlockCode splitMaskBlock(int mask) {
    return BlockCode{8, uint8_t(kOpSplitMask + mask), {}};
}
// 2x2 raw pixels: top-left, top-right, bottom-left, bottom-right.
constexpr BlockCode rawBlock(uint8_t tl, uint8_t tr, uint8_t bl, uint8_t br) {
    return BlockCode{2, kOpSplit, {tl, tr, bl, br}};
}

// Bytes of the payload header of a key frame and the pixel data after it.
size_t keyFrameSize(int w, int h, bool withPalette);

// The 16-byte key frame header for a payload of payloadLength bytes, and the 762-byte
// palette section (entries 1..254 as red, green, blue), for a coder that lays out the pixel
// data itself.
void writeKeyFrameHeader(uint8_t* out, bool withPalette, size_t payloadLength,
                         uint8_t continuation = 0);
void writePaletteSection(uint8_t* out, const MovieColorTable& palette);

// Writes a key frame: header, palette section (entries 1..254 of *palette as red, green,
// blue) when palette is not null, then pixelData (keyPixelDataSize(w, h) bytes: the picture,
// or its half-resolution bytes). With continuation 1 an odd length gets one zero byte of
// padding, which the returned length includes. Returns the payload length, 0 when out is
// too small.
size_t writeKeyFrame(std::span<uint8_t> out, std::span<const uint8_t> pixelData,
                     const MovieColorTable* palette, uint8_t continuation = 0);

// The half-resolution bytes of a w x h picture (w != 160): byte (x, y) is the colour lookup of
// the mean colour of the 2x2 square at (2x, 2y), per channel (sum of the four movie colour
// table components + 2) >> 5 on the fine grid, >> 6 on the coarse grid. colorLookup is
// indexed by grid cell (gridCellCount(grid) entries); half receives ceil(w/2) x ceil(h/2)
// bytes. Squares cut by an odd edge repeat the edge pixel.
void makeHalfResolution(std::span<const uint8_t> picture, int w, int h,
                        const MovieColorTable& table, ColorGrid grid,
                        std::span<const uint8_t> colorLookup, std::span<uint8_t> half);

// Stream bytes of the list without runs, and the bytes writeBlockStream() will write.
size_t blockStreamSize(std::span<const BlockCode> blocks);

// Writes the block stream; returns its length, 0 when out is too small.
size_t writeBlockStream(std::span<const BlockCode> blocks, std::span<uint8_t> out);

// Writes the 24-byte delta frame header for a payload of payloadLength bytes.
void writeDeltaHeader(uint8_t* out, const std::array<uint8_t, 8>& frequentColors,
                      size_t payloadLength, uint8_t continuation = 0);

// Writes a whole delta frame (header and block stream); continuation 1 pads an odd length
// with one zero byte. Returns the payload length, 0 when out is too small.
size_t writeDeltaFrame(std::span<uint8_t> out, const std::array<uint8_t, 8>& frequentColors,
                       std::span<const BlockCode> blocks, uint8_t continuation = 0);

} // namespace quil
