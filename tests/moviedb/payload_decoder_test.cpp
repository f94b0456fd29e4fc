// The frame payload decoder on hand-made payloads: every opcode at every block size, the
// quadrant order, split-with-mask, opcode runs, key frames, the picture pair's roles, and
// what happens with payloads that break the rules.
#include "moviedb/payload_decoder.h"

#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "moviedb/payload_format.h"
#include "moviedb/payload_tables.h"

namespace {

using namespace quil;
using Bytes = std::vector<uint8_t>;

Bytes deltaPayload(const Bytes& stream, const Bytes& frequent = {0, 0, 0, 0, 0, 0, 0, 0},
                   uint8_t continuation = 0) {
    Bytes p = {0, 2, 0, continuation, 0, 0, 0, 0, 0, 0, 0, 0};
    p.insert(p.end(), frequent.begin(), frequent.end());
    p.insert(p.end(), {0, 0, 0, 24});
    p.insert(p.end(), stream.begin(), stream.end());
    p[2] = lengthInPages(p.size());
    return p;
}

// A picture whose every pixel differs from its neighbours: value = (x + 7y) mod 251.
Bytes gradient(int w, int h, int salt = 0) {
    Bytes b(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            b[size_t(y * w + x)] = uint8_t((x + 7 * y + salt) % 251);
        }
    }
    return b;
}

struct Frame {
    int w, h;
    Bytes out, prev;
    Frame(int w_, int h_) : w(w_), h(h_), out(size_t(w_ * h_), 0xAA), prev(gradient(w_, h_)) {}
    PayloadResult decode(const Bytes& payload) {
        return decodeFramePayload(payload, w, h, out, prev);
    }
    uint8_t at(int x, int y) const { return out[size_t(y * w + x)]; }
    // The s x s block at (x, y) as rows of bytes.
    Bytes block(int x, int y, int s) const {
        Bytes b;
        for (int r = 0; r < s; ++r) {
            for (int c = 0; c < s; ++c) {
                b.push_back(at(x + c, y + r));
            }
        }
        return b;
    }
    Bytes prevBlock(int x, int y, int s) const {
        Bytes b;
        for (int r = 0; r < s; ++r) {
            for (int c = 0; c < s; ++c) {
                b.push_back(prev[size_t((y + r) * w + x + c)]);
            }
        }
        return b;
    }
};

Bytes uniform(int s, uint8_t c) {
    return Bytes(size_t(s * s), c);
}

TEST(PayloadTables, ListedEntries) {
    EXPECT_EQ(kMotionVectors[0].dx, 0);
    EXPECT_EQ(kMotionVectors[0].dy, -16);
    EXPECT_EQ(kMotionVectors[74].dx, 3);
    EXPECT_EQ(kMotionVectors[74].dy, -5);
    EXPECT_EQ(kMotionVectors[102].dx, -16);
    EXPECT_EQ(kMotionVectors[102].dy, 0);
    EXPECT_EQ(kMotionVectors[112].dx, 0);
    EXPECT_EQ(kMotionVectors[112].dy, 0);
    EXPECT_EQ(kMotionVectors[196].dx, 14);
    EXPECT_EQ(kMotionVectors[196].dy, 7);
    EXPECT_EQ(kMotionVectors[224].dx, -3);
    EXPECT_EQ(kMotionVectors[224].dy, 16);
    for (const MotionVector& m : kMotionVectors) {
        EXPECT_FALSE(m.dx == 0 && m.dy == 16);
    }
    EXPECT_EQ(kPatterns4x4[0], 0x0008);
    EXPECT_EQ(kPatterns4x4[79], 0x26EE);
    EXPECT_EQ(kPatterns4x4[252], 0x5A3C);
    EXPECT_EQ(kPatterns4x4[255], 0x6996);
    EXPECT_EQ(kPatterns8x8[0], 0x0000000080808000ull);
    EXPECT_EQ(kPatterns8x8[127], 0x7F7F3F1F1F0F0703ull);
    EXPECT_EQ(kPatterns8x8[253], 0x55AA55AA55AA55AAull);
    EXPECT_EQ(kPatterns8x8[255], 0xFFFFFF0000FFFFFFull);
}

TEST(PayloadKeyFrame, FullResolutionWritesBothPictures) {
    Frame f(160, 160);
    const Bytes pixels = gradient(160, 160, 3);
    Bytes payload = {0, 1, 101, 0, 0, 1, 0, 254, 0, 0, 0, 0, 0, 0, 0, 16};
    payload.insert(payload.end(), pixels.begin(), pixels.end());
    const PayloadResult r = f.decode(payload);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.decoded);
    EXPECT_EQ(r.end, 25616u);
    EXPECT_FALSE(r.next);
    EXPECT_EQ(f.out, pixels);
    EXPECT_EQ(f.prev, pixels);
}

TEST(PayloadKeyFrame, HalfResolutionFillsSquaresAndSkipsPalette) {
    Frame f(320, 240);
    const Bytes half = gradient(160, 120, 5);
    // With a palette section: pixel data at 778.
    Bytes payload(778, 0x11);
    const Bytes header = {0, 1, 0, 0, 0, 1, 0, 254, 0, 0, 0, 16, 0, 0, 3, 10};
    std::copy(header.begin(), header.end(), payload.begin());
    payload.insert(payload.end(), half.begin(), half.end());
    const PayloadResult r = f.decode(payload);
    ASSERT_TRUE(r.ok());
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            ASSERT_EQ(f.at(x, y), half[size_t((y / 2) * 160 + x / 2)]) << x << "," << y;
        }
    }
    EXPECT_EQ(f.prev, f.out);
}

// The all-keep 160x160 delta frame: a run of 255 keep blocks and a run of 145.
TEST(PayloadDeltaFrame, AllKeepFrameChangesNothing) {
    const Bytes payload = {0x00, 0x02, 0x01, 0x00, 0,    0,    0,    0,    0,    0,
                           0,    0,    0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8,
                           0x00, 0x00, 0x00, 0x18, 0xF3, 0xFB, 0xF4, 0xF3, 0x8D, 0xF4};
    Frame f(160, 160);
    f.out = gradient(160, 160, 9);
    const Bytes before = f.out, prevBefore = f.prev;
    const PayloadResult r = f.decode(payload);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.end, 30u);
    EXPECT_EQ(f.out, before);
    EXPECT_EQ(f.prev, prevBefore);
}

struct LeafCase {
    const char* name;
    Bytes stream;   // codes of the 8x8 block at (8, 8)
    int x, y, s;    // the block whose pixels are checked
    Bytes expected; // empty: the previous picture's s x s block at (px, py)
    int px = 0, py = 0;
};

// Every leaf opcode at every block size, decoded in the block at (8, 8) of a 24 x 24 picture;
// the other eight blocks are keep blocks.
TEST(PayloadDeltaFrame, LeafOpcodes) {
    const Bytes frequent = {10, 11, 12, 13, 14, 15, 16, 17};
    // 4x4 entry 0 sets only row 0, column 3; 8x8 entry 255 clears rows 3 and 4.
    Bytes pat4 = uniform(4, 1);
    pat4[3] = 2;
    Bytes pat8 = uniform(8, 1);
    for (int i = 0; i < 64; ++i) {
        pat8[size_t(i)] = (i / 8 == 3 || i / 8 == 4) ? 1 : 2;
    }
    const Bytes keep = {0xF4};
    // clang-format off
    const LeafCase cases[] = {
        {"fill 8", {0xFE, 77}, 8, 8, 8, uniform(8, 77)},
        {"fill 4", {0xFF, 0xFE, 5, 0xF4, 0xF4, 0xF4}, 8, 8, 4, uniform(4, 5)},
        {"fill 2", {0xFF, 0xFF, 0xFE, 9, 0xF4, 0xF4, 0xF4, 0xF4, 0xF4, 0xF4}, 8, 8, 2,
         uniform(2, 9)},
        {"frequent 8", {0xF6 + 3}, 8, 8, 8, uniform(8, 13)},
        {"frequent 2", {0xFF, 0xFF, 0xFD, 0xF4, 0xF4, 0xF4, 0xF4, 0xF4, 0xF4}, 8, 8, 2,
         uniform(2, 17)},
        {"pattern 8", {0xF5, 255, 1, 2}, 8, 8, 8, pat8},
        {"pattern 4", {0xFF, 0xF5, 0, 1, 2, 0xF4, 0xF4, 0xF4}, 8, 8, 4, pat4},
        {"raw 2", {0xFF, 0xFF, 0xFF, 1, 2, 3, 4, 0xF4, 0xF4, 0xF4, 0xF4, 0xF4, 0xF4}, 8, 8, 2,
         {1, 2, 3, 4}},
        {"motion zero 8", {112}, 8, 8, 8, {}, 8, 8},
        {"motion 8", {23}, 8, 8, 8, {}, 0, 0},
        {"motion 4", {0xFF, 196, 0xF4, 0xF4, 0xF4}, 8, 8, 4, {}, 22, 15},
        {"motion 2", {0xFF, 0xFF, 111, 0xF4, 0xF4, 0xF4, 0xF4, 0xF4, 0xF4}, 8, 8, 2, {}, 7, 8},
        {"keep 8", {0xF4}, 8, 8, 8, uniform(8, 0xAA)},
        {"reserved 241", {0xF1}, 8, 8, 8, uniform(8, 0xAA)},
        {"reserved 242", {0xF2}, 8, 8, 8, uniform(8, 0xAA)},
        {"mask opcode at 4x4 keeps", {0xFF, 0xE3, 0xF4, 0xF4, 0xF4}, 8, 8, 4, uniform(4, 0xAA)},
        // 245 at 2x2 takes no operands: the next byte is the next 2x2 block's opcode.
        {"pattern opcode at 2x2 keeps", {0xFF, 0xFF, 0xF5, 0xF4, 0xF4, 0xF4, 0xF4, 0xF4, 0xF4}, 8,
         8, 2, uniform(2, 0xAA)},
    };
    // clang-format on
    for (const LeafCase& c : cases) {
        SCOPED_TRACE(c.name);
        Frame f(24, 24);
        Bytes stream;
        for (int k = 0; k < 4; ++k) {
            stream.insert(stream.end(), keep.begin(), keep.end());
        }
        stream.insert(stream.end(), c.stream.begin(), c.stream.end());
        for (int k = 0; k < 4; ++k) {
            stream.insert(stream.end(), keep.begin(), keep.end());
        }
        const Bytes payload = deltaPayload(stream, frequent);
        const PayloadResult r = f.decode(payload);
        ASSERT_TRUE(r.ok()) << payloadStatusText(r.status);
        EXPECT_EQ(r.end, payload.size());
        const Bytes expected = c.expected.empty() ? f.prevBlock(c.px, c.py, c.s) : c.expected;
        EXPECT_EQ(f.block(c.x, c.y, c.s), expected);
        // Nothing outside the block changes.
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 24; ++x) {
                if (x < c.x || x >= c.x + c.s || y < c.y || y >= c.y + c.s) {
                    ASSERT_EQ(f.at(x, y), 0xAA) << x << "," << y;
                }
            }
        }
    }
}

// Split quadrants come top-left, top-right, bottom-right, bottom-left, at both levels.
TEST(PayloadDeltaFrame, QuadrantOrder) {
    Frame f(8, 8);
    const Bytes stream = {0xFF, 0xFE, 1,    0xFE, 2,    0xFF, 0xFE, 3,
                          0xFE, 4,    0xFE, 5,    0xFE, 6,    0xFE, 7};
    ASSERT_TRUE(f.decode(deltaPayload(stream)).ok());
    EXPECT_EQ(f.block(0, 0, 4), uniform(4, 1));
    EXPECT_EQ(f.block(4, 0, 4), uniform(4, 2));
    EXPECT_EQ(f.block(4, 4, 2), uniform(2, 3));
    EXPECT_EQ(f.block(6, 4, 2), uniform(2, 4));
    EXPECT_EQ(f.block(6, 6, 2), uniform(2, 5));
    EXPECT_EQ(f.block(4, 6, 2), uniform(2, 6));
    EXPECT_EQ(f.block(0, 4, 4), uniform(4, 7));
}

// Opcode 230, mask 5: top-left and bottom-right quadrants open straight into 2x2 blocks.
TEST(PayloadDeltaFrame, SplitWithMask230) {
    Frame f(8, 8);
    // clang-format off
    const Bytes stream = {230,
                          0xFE, 1, 0xFE, 2, 0xFE, 3, 0xFE, 4,  // top-left: four 2x2 codes
                          0xFE, 20,                            // top-right: its own opcode
                          0xFF, 5, 6, 7, 8, 0xFE, 9, 0xFE, 10, 0xFE, 11, // bottom-right
                          0xF5, 0, 30, 31};                    // bottom-left: a 4x4 pattern
    const PayloadResult r = f.decode(deltaPayload(stream));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.end, 24 + stream.size());
    const Bytes expected = {
        1,  1,  2,  2,  20, 20, 20, 20, //
        1,  1,  2,  2,  20, 20, 20, 20, //
        4,  4,  3,  3,  20, 20, 20, 20, //
        4,  4,  3,  3,  20, 20, 20, 20, //
        30, 30, 30, 31, 5,  6,  9,  9,  //
        30, 30, 30, 30, 7,  8,  9,  9,  //
        30, 30, 30, 30, 11, 11, 10, 10, //
        30, 30, 30, 30, 11, 11, 10, 10, //
    };
    // clang-format on
    EXPECT_EQ(f.out, expected);
}

// 243 0 254 at the 2x2 level: four fills, each followed by its colour byte.
TEST(PayloadDeltaFrame, RunOfFourTwoByTwoFills) {
    Frame f(8, 8);
    const Bytes stream = {0xE2, 0xF3, 0x00, 0xFE, 1, 2, 3, 4, 0xF4, 0xF4, 0xF4};
    const PayloadResult r = f.decode(deltaPayload(stream));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.end, 24 + stream.size());
    EXPECT_EQ(f.block(0, 0, 2), uniform(2, 1));
    EXPECT_EQ(f.block(2, 0, 2), uniform(2, 2));
    EXPECT_EQ(f.block(2, 2, 2), uniform(2, 3));
    EXPECT_EQ(f.block(0, 2, 2), uniform(2, 4));
    EXPECT_EQ(f.block(4, 0, 4), uniform(4, 0xAA));
}

// Each size keeps its own run; quadrants opened by a mask do not use the 4x4 run.
TEST(PayloadDeltaFrame, RunStatesPerSize) {
    Frame f(16, 8);
    const Bytes stream = {
        0xFF,                         // block 0 split
        0xF3, 0x01, 0xFE, 1, 2, 3, 4, // 4x4 run of five fills: all of block 0 ...
        0xE2,                         // block 1, mask 1: top-left opens into 2x2 blocks
        0xF3, 0x00, 0xF6,             // 2x2 run of four frequent fills (colour 50)
        5,                            // ... and the fifth 4x4 fill, the top-right quadrant
        0xF4, 0xF4,                   // bottom-right, bottom-left read their own opcodes
    };
    const PayloadResult r = f.decode(deltaPayload(stream, {50, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.end, 24 + stream.size());
    EXPECT_EQ(f.block(0, 0, 4), uniform(4, 1));
    EXPECT_EQ(f.block(4, 0, 4), uniform(4, 2));
    EXPECT_EQ(f.block(4, 4, 4), uniform(4, 3));
    EXPECT_EQ(f.block(0, 4, 4), uniform(4, 4));
    EXPECT_EQ(f.block(8, 0, 4), uniform(4, 50));
    EXPECT_EQ(f.block(12, 0, 4), uniform(4, 5));
    EXPECT_EQ(f.block(12, 4, 4), uniform(4, 0xAA));
    EXPECT_EQ(f.block(8, 4, 4), uniform(4, 0xAA));
}

// Motion entry 102 (-16, 0) on a block at the left edge reads the right end of the row above.
TEST(PayloadDeltaFrame, MotionWrapsAcrossTheLeftEdge) {
    Frame f(32, 16);
    Bytes stream = {0xF4, 0xF4, 0xF4, 0xF4, 102, 0xF4, 0xF4, 0xF4};
    ASSERT_TRUE(f.decode(deltaPayload(stream)).ok());
    for (int r = 0; r < 8; ++r) {
        for (int c = 0; c < 8; ++c) {
            EXPECT_EQ(f.at(c, 8 + r), f.prev[size_t((8 + r - 1) * 32 + 16 + c)]);
        }
    }
}

// The picture pair: keep repeats the picture of two frames ago, motion 112 the previous one;
// after a key frame both see the key frame.
TEST(PicturePair, RolesOfTheTwoBuffers) {
    Bytes key = {0, 1, 1, 0, 0, 1, 0, 254, 0, 0, 0, 0, 0, 0, 0, 16};
    key.resize(16 + 16, 40); // 4 x 4 half-resolution bytes of an 8 x 8 picture
    struct Case {
        std::vector<Bytes> deltas;
        uint8_t shown;
    };
    const Case cases[] = {
        {{deltaPayload({0xF4})}, 40},
        {{deltaPayload({112})}, 40},
        {{deltaPayload({0xFE, 41}), deltaPayload({0xF4})}, 40},
        {{deltaPayload({0xFE, 41}), deltaPayload({112})}, 41},
        {{deltaPayload({0xFE, 41}), deltaPayload({0xFE, 42}), deltaPayload({0xF4})}, 41},
    };
    for (const Case& c : cases) {
        PicturePair pair(8, 8);
        ASSERT_TRUE(pair.decodeFrame(key).ok());
        for (const Bytes& d : c.deltas) {
            ASSERT_TRUE(pair.decodeFrame(d).ok());
        }
        EXPECT_EQ(Bytes(pair.latest().begin(), pair.latest().end()), uniform(8, c.shown));
    }
}

// Two payloads in one record: the second starts at the next even offset.
TEST(PicturePair, ContinuationFlagChainsPayloads) {
    Bytes record = deltaPayload({0xFF, 0xFE, 9, 0xFE, 8, 0xF4, 0xF4}, {0, 0, 0, 0, 0, 0, 0, 0}, 1);
    ASSERT_EQ(record.size(), 31u);
    record.push_back(0); // padding
    const Bytes second = deltaPayload({0xF6}, {33, 0, 0, 0, 0, 0, 0, 0});
    record.insert(record.end(), second.begin(), second.end());

    Frame f(8, 8);
    const PayloadResult one = f.decode(record);
    EXPECT_TRUE(one.ok());
    EXPECT_EQ(one.end, 31u);
    ASSERT_TRUE(one.next);
    EXPECT_EQ(*one.next, 32u);

    PicturePair pair(8, 8);
    int frames = 0;
    EXPECT_TRUE(pair.decodeRecord(record, &frames).ok());
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(Bytes(pair.latest().begin(), pair.latest().end()), uniform(8, 33));
    const Bytes first(pair.older().begin(), pair.older().end());
    EXPECT_EQ(first[0], 9);
    EXPECT_EQ(first[4], 8);
    EXPECT_EQ(first[63], 0);

    // A payload of another kind ends the record, whatever follows it.
    Bytes unknown = record;
    unknown[33] = 7;
    unknown[35] = 1;
    unknown.insert(unknown.end(), second.begin(), second.end());
    PicturePair other(8, 8);
    const PayloadResult r = other.decodeRecord(unknown, &frames);
    EXPECT_EQ(r.status, PayloadStatus::UnknownFrameKind);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(Bytes(other.latest().begin(), other.latest().end()), first);
}

struct BadCase {
    const char* name;
    Bytes payload;
    int w, h;
    PayloadStatus status;
    bool decoded;
};

// Payloads that break the rules: nothing is read or written outside the buffers, the
// status says what happened and the pictures hold what the header documents.
TEST(PayloadDecoderFailures, StatusAndPictures) {
    const Bytes keyHeader = {0, 1, 0, 0, 0, 1, 0, 254, 0, 0, 0, 0, 0, 0, 0, 16};
    Bytes shortKey = keyHeader;
    shortKey.resize(16 + 15, 1); // an 8x8 half-resolution key frame needs 16 bytes
    Bytes farKey = keyHeader;
    farKey[12] = 0x7F; // pixel offset far past the end
    farKey.resize(64, 1);
    Bytes shortDelta = deltaPayload({});
    shortDelta.pop_back();
    Bytes kind3 = deltaPayload({0xFE, 1});
    kind3[1] = 3;
    Bytes farStream = deltaPayload({0xF4});
    farStream[20] = 0x10;
    const BadCase cases[] = {
        {"empty", {}, 8, 8, PayloadStatus::Truncated, false},
        {"three bytes", {0, 2, 0}, 8, 8, PayloadStatus::Truncated, false},
        {"kind 0", {0, 0, 0, 0, 0xFE, 1}, 8, 8, PayloadStatus::UnknownFrameKind, false},
        {"kind 3", kind3, 8, 8, PayloadStatus::UnknownFrameKind, false},
        {"kind 0x0102", {1, 2, 0, 0}, 8, 8, PayloadStatus::UnknownFrameKind, false},
        {"short key header", Bytes(keyHeader.begin(), keyHeader.begin() + 15), 8, 8,
         PayloadStatus::Truncated, false},
        {"short key pixels", shortKey, 8, 8, PayloadStatus::Truncated, false},
        {"key pixel offset past end", farKey, 8, 8, PayloadStatus::Truncated, false},
        {"short delta header", shortDelta, 8, 8, PayloadStatus::Truncated, false},
        {"stream offset past end", farStream, 8, 8, PayloadStatus::Truncated, false},
        {"empty stream", deltaPayload({}), 8, 8, PayloadStatus::Truncated, true},
        {"fill without colour", deltaPayload({0xFE}), 8, 8, PayloadStatus::Truncated, true},
        {"run without opcode", deltaPayload({0xF3, 0}), 8, 8, PayloadStatus::Truncated, true},
        {"pattern cut short", deltaPayload({0xF5, 1, 2}), 8, 8, PayloadStatus::Truncated, true},
        {"raw pixels cut short", deltaPayload({0xFF, 0xFF, 0xFF, 1, 2, 3}), 8, 8,
         PayloadStatus::Truncated, true},
        {"motion above picture", deltaPayload({0}), 8, 8, PayloadStatus::MotionOutsidePicture,
         true},
        {"motion below picture", deltaPayload({224}), 8, 8, PayloadStatus::MotionOutsidePicture,
         true},
        {"motion one pixel past the end", deltaPayload({113}), 8, 8,
         PayloadStatus::MotionOutsidePicture, true},
        {"run of runs", deltaPayload({0xF3, 0, 0xF3, 0xF4, 0xF4, 0xF4}), 32, 8,
         PayloadStatus::RunOfRuns, true},
        {"width not a multiple of 8", deltaPayload({0xFE, 1}), 12, 8, PayloadStatus::BadPictureSize,
         false},
        {"zero rows", deltaPayload({0xFE, 1}), 8, 0, PayloadStatus::BadPictureSize, false},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Exact-size heap copies, so that a sanitizer sees any step outside them.
        std::vector<uint8_t> exact(c.payload);
        const size_t n = size_t(std::max(c.w * c.h, 0));
        std::vector<uint8_t> out(n, 0xAA), prev(n, 0x55);
        const PayloadResult r = decodeFramePayload(exact, c.w, c.h, out, prev);
        EXPECT_EQ(r.status, c.status) << payloadStatusText(r.status);
        EXPECT_EQ(r.decoded, c.decoded);
        EXPECT_FALSE(r.next);
        EXPECT_EQ(out, std::vector<uint8_t>(n, 0xAA)) << "output written";
        EXPECT_EQ(prev, std::vector<uint8_t>(n, 0x55)) << "previous picture written";
    }
}

// A stream that ends inside a block keeps every block decoded before it.
TEST(PayloadDecoderFailures, TruncationKeepsEarlierBlocks) {
    Frame f(24, 8);
    const PayloadResult r = f.decode(deltaPayload({0xFE, 1, 0xFF, 0xFE, 2, 0xFE, 3, 0xFE}));
    EXPECT_EQ(r.status, PayloadStatus::Truncated);
    EXPECT_TRUE(r.decoded);
    EXPECT_EQ(f.block(0, 0, 8), uniform(8, 1));
    EXPECT_EQ(f.block(8, 0, 4), uniform(4, 2));
    EXPECT_EQ(f.block(12, 0, 4), uniform(4, 3));
    EXPECT_EQ(f.block(12, 4, 4), uniform(4, 0xAA)); // its colour byte is missing
    EXPECT_EQ(f.block(16, 0, 8), uniform(8, 0xAA));
}

// A motion copy outside the picture is skipped, the rest of the frame still decodes.
TEST(PayloadDecoderFailures, MotionOutsideKeepsDecoding) {
    Frame f(16, 8);
    const PayloadResult r = f.decode(deltaPayload({0, 0xFE, 6}));
    EXPECT_EQ(r.status, PayloadStatus::MotionOutsidePicture);
    EXPECT_EQ(r.end, 27u);
    EXPECT_EQ(f.block(0, 0, 8), uniform(8, 0xAA));
    EXPECT_EQ(f.block(8, 0, 8), uniform(8, 6));
}

} // namespace
