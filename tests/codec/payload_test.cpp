// The payload writer: key frame layout and sizes, half-resolution bytes, block streams with
// opcode runs, and random block trees written and decoded again by the shared decoder.
#include "encoder/codec/payload_writer.h"

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "moviedb/payload_decoder.h"
#include "moviedb/payload_tables.h"

namespace {

using namespace quil;
using Bytes = std::vector<uint8_t>;

constexpr std::array<uint8_t, 8> kNoFrequent = {0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8};

struct KeySizeCase {
    int w, h;
    bool palette;
    size_t length;
    int pages;
};

TEST(PayloadWriterKeyFrame, SizesAndHeader) {
    const KeySizeCase cases[] = {
        {160, 160, true, 26378, 104},  // frame 0 of a 160x160 palette movie
        {160, 160, false, 25616, 101}, // a later key frame
        {320, 240, false, 19216, 76},  // half resolution: 120 rows of 160
        {320, 360, true, 29578, 116},  // truecolor rows
        {216, 384, false, 20752, 82},
    };
    MovieColorTable table{};
    for (int i = 0; i < 256; ++i) {
        table[size_t(i)] = rgb(i, 255 - i, i / 2);
    }
    for (const KeySizeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " palette " << c.palette);
        const Bytes pixels(keyPixelDataSize(c.w, c.h), 7);
        Bytes out(70000, 0xEE);
        const size_t n = writeKeyFrame(out, pixels, c.palette ? &table : nullptr);
        EXPECT_EQ(n, c.length);
        EXPECT_EQ(keyFrameSize(c.w, c.h, c.palette), c.length);
        EXPECT_EQ(out[2], c.pages);
        const Bytes header(out.begin(), out.begin() + 16);
        const Bytes expected =
            c.palette ? Bytes{0, 1, uint8_t(c.pages), 0, 0, 1, 0, 254, 0, 0, 0, 16, 0, 0, 3, 10}
                      : Bytes{0, 1, uint8_t(c.pages), 0, 0, 1, 0, 254, 0, 0, 0, 0, 0, 0, 0, 16};
        EXPECT_EQ(header, expected);
        if (c.palette) {
            // Entries 1..254 as red, green, blue.
            EXPECT_EQ(Bytes(out.begin() + 16, out.begin() + 22), (Bytes{1, 254, 0, 2, 253, 1}));
            EXPECT_EQ(Bytes(out.begin() + 775, out.begin() + 778), (Bytes{254, 1, 127}));
        }
        EXPECT_EQ(out[n - 1], 7);
        EXPECT_EQ(out[n], 0xEE);
    }
}

TEST(PayloadWriterKeyFrame, ContinuationPadsOddLengthsAndRoomIsChecked) {
    const Bytes pixels(9, 3);
    Bytes out(64, 0xEE);
    EXPECT_EQ(writeKeyFrame(out, pixels, nullptr, 1), 26u);
    EXPECT_EQ(out[3], 1);
    EXPECT_EQ(out[25], 0);
    EXPECT_EQ(writeKeyFrame(out, pixels, nullptr, 0), 25u);
    Bytes small(25);
    EXPECT_EQ(writeKeyFrame(small, pixels, nullptr, 1), 0u);
    EXPECT_EQ(writeKeyFrame(small, pixels, nullptr, 0), 25u);
    Bytes tiny(24);
    EXPECT_EQ(writeKeyFrame(tiny, pixels, nullptr), 0u);
}

struct HalfCase {
    ColorGrid grid;
    int reds[4];
    int level; // red level of the cell looked up
};

// Mean of four colours: (sum + 2) >> 5 on the fine grid, >> 6 on the coarse one.
TEST(PayloadWriterKeyFrame, HalfResolutionRounding) {
    const HalfCase cases[] = {
        {ColorGrid::Fine, {0, 0, 0, 29}, 0},           {ColorGrid::Fine, {0, 0, 0, 30}, 1},
        {ColorGrid::Fine, {10, 20, 30, 45}, 3},        {ColorGrid::Fine, {255, 255, 255, 254}, 31},
        {ColorGrid::Coarse, {0, 0, 0, 61}, 0},         {ColorGrid::Coarse, {0, 0, 0, 62}, 1},
        {ColorGrid::Coarse, {255, 255, 255, 255}, 15},
    };
    for (const HalfCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.reds[0] << " " << c.reds[1] << " " << c.reds[2] << " " << c.reds[3]);
        MovieColorTable table{};
        for (int k = 0; k < 4; ++k) {
            table[size_t(1 + k)] = rgb(c.reds[k], 64, 255); // green, blue fixed
        }
        std::vector<uint8_t> lookup(size_t(gridCellCount(c.grid)));
        for (size_t i = 0; i < lookup.size(); ++i) {
            lookup[i] = uint8_t(i * 2654435761u >> 24);
        }
        const Bytes picture = {1, 2, 9, 9, 3, 4, 9, 9}; // 4 x 2, square (0, 0) holds 1..4
        Bytes half(2);
        makeHalfResolution(picture, 4, 2, table, c.grid, lookup, half);
        const size_t cell = c.grid == ColorGrid::Fine ? (size_t(c.level) << 10) | (8 << 5) | 31
                                                      : (size_t(c.level) << 8) | (4 << 4) | 15;
        EXPECT_EQ(half[0], lookup[cell]);
    }
}

TEST(PayloadWriterKeyFrame, HalfResolutionFrameDecodesToUniformSquares) {
    const int w = 320, h = 240;
    Bytes picture(size_t(w * h));
    std::mt19937 rng(5);
    for (uint8_t& b : picture) {
        b = uint8_t(1 + rng() % 254);
    }
    MovieColorTable table{};
    for (int i = 1; i < 255; ++i) {
        table[size_t(i)] = rgb(i, (i * 7) & 255, (i * 13) & 255);
    }
    std::vector<uint8_t> lookup(32768);
    for (size_t i = 0; i < lookup.size(); ++i) {
        lookup[i] = uint8_t(1 + i % 254);
    }
    Bytes half(keyPixelDataSize(w, h));
    makeHalfResolution(picture, w, h, table, ColorGrid::Fine, lookup, half);
    Bytes payload(65536);
    payload.resize(writeKeyFrame(payload, half, nullptr));
    ASSERT_EQ(payload.size(), 19216u);
    PicturePair pair(w, h);
    ASSERT_TRUE(pair.decodeFrame(payload).ok());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            ASSERT_EQ(pair.latest()[size_t(y * w + x)], half[size_t((y / 2) * 160 + x / 2)]);
        }
    }
    EXPECT_TRUE(std::equal(pair.latest().begin(), pair.latest().end(), pair.older().begin()));
}

// The all-keep 160x160 frame, byte for byte.
TEST(PayloadWriterDeltaFrame, AllKeepFrameIsThirtyBytes) {
    const std::vector<BlockCode> blocks(400, keepBlock(8));
    Bytes out(100, 0xEE);
    const size_t n = writeDeltaFrame(out, kNoFrequent, blocks);
    out.resize(n);
    const Bytes expected = {0x00, 0x02, 0x01, 0x00, 0,    0,    0,    0,    0,    0,
                            0,    0,    0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8,
                            0x00, 0x00, 0x00, 0x18, 0xF3, 0xFB, 0xF4, 0xF3, 0x8D, 0xF4};
    EXPECT_EQ(out, expected);
}

struct RunCase {
    int count;
    Bytes stream;
};

// Runs start at four equal opcodes; a run of 260 to 263 is cut to 255.
TEST(PayloadWriterDeltaFrame, RunLengths) {
    const RunCase cases[] = {
        {1, {0xF4}},
        {3, {0xF4, 0xF4, 0xF4}},
        {4, {0xF3, 0x00, 0xF4}},
        {259, {0xF3, 0xFF, 0xF4}},
        {260, {0xF3, 0xFB, 0xF4, 0xF3, 0x01, 0xF4}},
        {263, {0xF3, 0xFB, 0xF4, 0xF3, 0x04, 0xF4}},
        {264, {0xF3, 0xFB, 0xF4, 0xF3, 0x05, 0xF4}},
        {258, {0xF3, 0xFE, 0xF4}},
        {262, {0xF3, 0xFB, 0xF4, 0xF3, 0x03, 0xF4}},
        {257, {0xF3, 0xFD, 0xF4}},
        {2 * 255 + 3, {0xF3, 0xFB, 0xF4, 0xF3, 0xFE, 0xF4}},
        {2 * 255 + 5, {0xF3, 0xFB, 0xF4, 0xF3, 0xFB, 0xF4, 0xF3, 0x01, 0xF4}},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.count);
        const std::vector<BlockCode> blocks(size_t(c.count), keepBlock(8));
        Bytes out(64);
        out.resize(writeBlockStream(blocks, out));
        EXPECT_EQ(out, c.stream);
        EXPECT_EQ(blockStreamSize(blocks), c.stream.size());
        // The decoder reads exactly this stream for a row of that many blocks.
        Bytes payload(1024);
        payload.resize(writeDeltaFrame(payload, kNoFrequent, blocks));
        Bytes a(size_t(64 * c.count)), b(a.size());
        const PayloadResult r = decodeFramePayload(payload, 8 * c.count, 8, a, b);
        EXPECT_TRUE(r.ok());
        EXPECT_EQ(r.end, payload.size());
    }
}

// A run counts only blocks of its own size; other sizes in between neither break nor join it.
TEST(PayloadWriterDeltaFrame, RunsPerBlockSize) {
    std::vector<BlockCode> blocks;
    for (int b = 0; b < 5; ++b) {
        blocks.push_back(splitBlock(8));
        for (int q = 0; q < 4; ++q) {
            blocks.push_back(fillBlock(4, uint8_t(10 * b + q)));
        }
    }
    Bytes out(200);
    out.resize(writeBlockStream(blocks, out));
    Bytes expected = {0xF3, 0x01, 0xFF, 0xF3, 0x10, 0xFE};
    for (int b = 0; b < 5; ++b) {
        for (int q = 0; q < 4; ++q) {
            expected.push_back(uint8_t(10 * b + q));
        }
    }
    EXPECT_EQ(out, expected);

    // A mask-opened quadrant's four 2x2 fills form the run of the 2x2 example.
    const std::vector<BlockCode> masked = {splitMaskBlock(1), fillBlock(2, 1), fillBlock(2, 2),
                                           fillBlock(2, 3),   fillBlock(2, 4), keepBlock(4),
                                           keepBlock(4),      keepBlock(4)};
    Bytes stream(64);
    stream.resize(writeBlockStream(masked, stream));
    EXPECT_EQ(stream, (Bytes{0xE2, 0xF3, 0x00, 0xFE, 1, 2, 3, 4, 0xF4, 0xF4, 0xF4}));
}

TEST(PayloadWriterDeltaFrame, RefusesBadBlocksAndShortBuffers) {
    const std::vector<BlockCode> run = {BlockCode{8, kOpRun, {}}};
    Bytes out(64);
    EXPECT_EQ(writeBlockStream(run, out), 0u);
    const std::vector<BlockCode> badSize = {BlockCode{16, kOpKeep, {}}};
    EXPECT_EQ(writeBlockStream(badSize, out), 0u);
    const std::vector<BlockCode> fills(3, fillBlock(8, 1)); // 6 stream bytes
    Bytes exact(24 + 6), shortBy1(24 + 5);
    EXPECT_EQ(writeDeltaFrame(exact, kNoFrequent, fills), 30u);
    EXPECT_EQ(writeDeltaFrame(shortBy1, kNoFrequent, fills), 0u);
    Bytes padded(31);
    const std::vector<BlockCode> odd = {fillBlock(8, 1), keepBlock(8), keepBlock(8), keepBlock(8),
                                        keepBlock(8)}; // FE 01 F3 00 F4
    EXPECT_EQ(writeDeltaFrame(padded, kNoFrequent, odd, 1), 30u);
}

// A small model of what each block code does, independent of the stream and its runs.
class Model {
  public:
    Model(int w, int h, const Bytes& prev, const std::array<uint8_t, 8>& frequent)
        : m_w(w), m_h(h), m_prev(prev), m_frequent(frequent), m_out(prev.size(), 0x5A) {}

    void apply(size_t p, const BlockCode& b) {
        const int s = b.size;
        auto set = [&](int r, int c, uint8_t v) { m_out[p + size_t(r * m_w + c)] = v; };
        if (b.opcode <= kOpMotionLast) {
            const MotionVector mv = kMotionVectors[b.opcode];
            const ptrdiff_t src = ptrdiff_t(p) + mv.dy * m_w + mv.dx;
            for (int r = 0; r < s; ++r) {
                for (int c = 0; c < s; ++c) {
                    set(r, c, m_prev[size_t(src + r * m_w + c)]);
                }
            }
        } else if (b.opcode == kOpFill || (b.opcode >= 246 && b.opcode <= 253)) {
            const uint8_t v = b.opcode == kOpFill ? b.operands[0] : m_frequent[b.opcode - 246];
            for (int r = 0; r < s; ++r) {
                for (int c = 0; c < s; ++c) {
                    set(r, c, v);
                }
            }
        } else if (b.opcode == kOpPattern && s != 2) {
            const uint64_t bits =
                s == 8 ? kPatterns8x8[b.operands[0]] : kPatterns4x4[b.operands[0]];
            for (int r = 0; r < s; ++r) {
                for (int c = 0; c < s; ++c) {
                    set(r, c, (bits >> (r * s + c)) & 1 ? b.operands[2] : b.operands[1]);
                }
            }
        } else if (b.opcode == kOpSplit && s == 2) {
            set(0, 0, b.operands[0]);
            set(0, 1, b.operands[1]);
            set(1, 0, b.operands[2]);
            set(1, 1, b.operands[3]);
        }
    }

    bool motionInside(size_t p, int s, int entry) const {
        const MotionVector mv = kMotionVectors[size_t(entry)];
        const ptrdiff_t src = ptrdiff_t(p) + mv.dy * m_w + mv.dx;
        return src >= 0 && src + ptrdiff_t((s - 1) * (m_w + 1)) < ptrdiff_t(m_w * m_h);
    }

    const Bytes& out() const { return m_out; }
    void setOut(const Bytes& b) { m_out = b; }

  private:
    int m_w, m_h;
    const Bytes& m_prev;
    std::array<uint8_t, 8> m_frequent;
    Bytes m_out;
};

class TreeMaker {
  public:
    TreeMaker(int w, Model& model, std::mt19937& rng) : m_w(w), m_model(model), m_rng(rng) {}

    void block(size_t p, int s) {
        const int level = s == 8 ? 2 : (s == 4 ? 1 : 0);
        const int pick = int(m_rng() % 100);
        if (s == 8 && pick < 20) {
            const int mask = int(m_rng() % 16);
            emit(p, splitMaskBlock(mask));
            for (int k = 0; k < 4; ++k) {
                const size_t q = quadrant(p, 8, k);
                if (mask & (1 << k)) {
                    for (int j = 0; j < 4; ++j) {
                        block(quadrant(q, 4, j), 2);
                    }
                } else {
                    block(q, 4);
                }
            }
            return;
        }
        if (s != 2 && pick < 35) {
            emit(p, splitBlock(s));
            for (int k = 0; k < 4; ++k) {
                block(quadrant(p, s, k), s / 2);
            }
            return;
        }
        // Repeat the last leaf of this size now and then, so that runs of every length occur.
        if (m_last[level] && m_rng() % 3 != 0) {
            BlockCode b = *m_last[level];
            if (b.opcode > kOpMotionLast || m_model.motionInside(p, s, b.opcode)) {
                b.operands = randomOperands();
                emit(p, b);
                return;
            }
        }
        BlockCode b{uint8_t(s), kOpKeep, randomOperands()};
        switch (m_rng() % 8) {
        case 0:
            b.opcode = kOpKeep;
            break;
        case 1:
            b.opcode = kOpFill;
            break;
        case 2:
            b.opcode = uint8_t(246 + m_rng() % 8);
            break;
        case 3:
            b.opcode = s == 2 ? kOpSplit : kOpPattern;
            break;
        case 4:
            b.opcode = uint8_t(241 + m_rng() % 2);
            break;
        default: {
            const int entry = int(m_rng() % 225);
            b.opcode = m_model.motionInside(p, s, entry) ? uint8_t(entry) : kOpMotionZero;
        }
        }
        m_last[level] = b;
        emit(p, b);
    }

    std::vector<BlockCode> blocks;

  private:
    std::array<uint8_t, 4> randomOperands() {
        return {uint8_t(m_rng()), uint8_t(m_rng()), uint8_t(m_rng()), uint8_t(m_rng())};
    }
    size_t quadrant(size_t p, int s, int k) const {
        const size_t h = size_t(s / 2);
        const size_t offsets[4] = {0, h, h * size_t(m_w) + h, h * size_t(m_w)};
        return p + offsets[k];
    }
    void emit(size_t p, const BlockCode& b) {
        blocks.push_back(b);
        if (!(b.opcode == kOpSplit && b.size != 2) &&
            !(b.size == 8 && b.opcode >= kOpSplitMask && b.opcode <= kOpSplitMaskLast)) {
            m_model.apply(p, b);
        }
    }

    int m_w;
    Model& m_model;
    std::mt19937& m_rng;
    std::optional<BlockCode> m_last[3];
};

// Random block trees through the writer and the decoder give what the model says.
TEST(PayloadWriterDeltaFrame, RandomTreesRoundTrip) {
    std::mt19937 rng(20260);
    const std::pair<int, int> sizes[] = {{160, 160}, {320, 240}, {216, 384}, {64, 48}};
    for (const auto& [w, h] : sizes) {
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(testing::Message() << w << "x" << h << " round " << round);
            Bytes prev(size_t(w * h));
            for (uint8_t& b : prev) {
                b = uint8_t(rng());
            }
            std::array<uint8_t, 8> frequent;
            for (uint8_t& f : frequent) {
                f = uint8_t(rng());
            }
            Model model(w, h, prev, frequent);
            Bytes out(prev.size());
            for (uint8_t& b : out) {
                b = uint8_t(rng());
            }
            model.setOut(out);
            TreeMaker maker(w, model, rng);
            for (int y = 0; y < h; y += 8) {
                for (int x = 0; x < w; x += 8) {
                    maker.block(size_t(y * w + x), 8);
                }
            }
            Bytes payload(1 << 20);
            payload.resize(writeDeltaFrame(payload, frequent, maker.blocks));
            ASSERT_GT(payload.size(), 24u);
            EXPECT_EQ(payload.size(), 24 + blockStreamSize(maker.blocks));
            EXPECT_EQ(payload[2], lengthInPages(payload.size()));
            const PayloadResult r = decodeFramePayload(payload, w, h, out, prev);
            ASSERT_TRUE(r.ok()) << payloadStatusText(r.status);
            EXPECT_EQ(r.end, payload.size());
            EXPECT_EQ(out, model.out());
        }
    }
}

// Cut anywhere inside its block stream, a payload decodes to a mix of the old picture and the
// full frame: nothing past the cut is made up from missing bytes.
TEST(PayloadWriterDeltaFrame, CutPayloadsNeverInventPixels) {
    const int w = 64, h = 48;
    std::mt19937 rng(77);
    Bytes prev(size_t(w * h)), start(prev.size());
    for (size_t i = 0; i < prev.size(); ++i) {
        prev[i] = uint8_t(rng());
        start[i] = uint8_t(rng());
    }
    const std::array<uint8_t, 8> frequent = {1, 2, 3, 4, 5, 6, 7, 8};
    Model model(w, h, prev, frequent);
    model.setOut(start);
    TreeMaker maker(w, model, rng);
    for (int y = 0; y < h; y += 8) {
        for (int x = 0; x < w; x += 8) {
            maker.block(size_t(y * w + x), 8);
        }
    }
    Bytes payload(1 << 16);
    payload.resize(writeDeltaFrame(payload, frequent, maker.blocks));
    for (size_t cut = 24; cut < payload.size(); ++cut) {
        SCOPED_TRACE(cut);
        const Bytes part(payload.begin(), payload.begin() + ptrdiff_t(cut));
        Bytes out = start;
        const PayloadResult r = decodeFramePayload(part, w, h, out, prev);
        ASSERT_EQ(r.status, PayloadStatus::Truncated);
        for (size_t i = 0; i < out.size(); ++i) {
            ASSERT_TRUE(out[i] == start[i] || out[i] == model.out()[i]) << "pixel " << i;
        }
    }
}

} // namespace
