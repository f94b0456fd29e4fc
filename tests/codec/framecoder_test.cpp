// The frame coder: key frame layout, the all-keep delta frame, the budget rule, and the
// invariant that a player decoding the payloads in order sees exactly the coder's pictures.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <random>
#include <vector>

#include "encoder/codec/colorcount.h"
#include "encoder/codec/colorlookup.h"
#include "encoder/codec/framecoder.h"
#include "encoder/codec/truecolor.h"
#include "moviedb/payload_decoder.h"

using namespace quil;

namespace {

enum class Mode { Grayscale, StdPalette, ExtPalette, Truecolor, TruecolorPlus };

const char* modeName(Mode m) {
    switch (m) {
    case Mode::Grayscale: return "Grayscale";
    case Mode::StdPalette: return "Std Color Palette";
    case Mode::ExtPalette: return "Ext Color Palette";
    case Mode::Truecolor: return "Truecolor";
    case Mode::TruecolorPlus: return "Truecolor Plus";
    }
    return "";
}

// Synthetic camera-like RGB frame: a panning gradient texture, a moving square, noise.
uint32_t sceneColor(int x, int y, int n, std::mt19937& rng) {
    const int px = x + 3 * n, py = y + n;
    int r = (px * 2 + py) & 255, g = (py * 3) & 255, b = ((px ^ py) * 5) & 255;
    const int sx = 20 + 7 * n, sy = 30 + 4 * n;
    if (x >= sx % 200 && x < sx % 200 + 40 && y >= sy % 100 && y < sy % 100 + 40) {
        r = 250, g = 40, b = 30;
    }
    if (n >= 9) { // a scene change
        r = 255 - r;
        b = (b + 90) & 255;
    }
    const int noise = int(rng() % 9) - 4;
    auto clip = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
    return uint32_t(clip(r + noise)) << 16 | uint32_t(clip(g + noise)) << 8 | uint32_t(clip(b + noise));
}

struct Movie {
    int width, rows;
    MovieColorTable table{};
    ColorGrid grid = ColorGrid::Fine;
    std::vector<std::vector<uint8_t>> pictures;
};

Movie makeMovie(Mode mode, int width, int screenRows, int frames) {
    Movie m;
    m.width = width;
    const bool truecolor = mode == Mode::Truecolor || mode == Mode::TruecolorPlus;
    m.rows = truecolor ? screenRows * 3 / 2 : screenRows;
    m.grid = mode == Mode::StdPalette ? ColorGrid::Coarse : ColorGrid::Fine;
    std::mt19937 rng(1234);
    std::vector<std::vector<uint32_t>> source;
    for (int n = 0; n < frames; ++n) {
        std::vector<uint32_t> f(size_t(width) * size_t(screenRows));
        for (int y = 0; y < screenRows; ++y) {
            for (int x = 0; x < width; ++x) {
                f[size_t(y * width + x)] = sceneColor(x, y, n, rng);
            }
        }
        source.push_back(std::move(f));
    }
    if (mode == Mode::Grayscale) {
        m.table = grayRamp(m.grid);
    } else if (!truecolor) {
        ColorAnalysis a;
        a.startAnalysis(m.grid);
        for (int n = 0; n < frames; ++n) {
            a.countPicture(source[size_t(n)].data(), source[size_t(n)].size(), n);
        }
        a.finishAnalysis(frames);
        a.buildPalette(m.table);
        m.table[0] = rgb(255, 255, 255);
    } else {
        m.table = truecolorCodeTable(mode == Mode::TruecolorPlus ? 25 : 24);
    }
    ColorLookup lookup;
    lookup.build(m.table, m.grid);
    for (int n = 0; n < frames; ++n) {
        std::vector<uint8_t> pic(size_t(width) * size_t(m.rows));
        const auto& f = source[size_t(n)];
        if (!truecolor) {
            for (size_t i = 0; i < f.size(); ++i) {
                pic[i] = lookup.codeForColor(f[i]);
            }
        } else {
            convertPictureToTruecolor(mode == Mode::TruecolorPlus ? 25 : 24, f.data(), width,
                                      width, screenRows, pic.data());
        }
        m.pictures.push_back(std::move(pic));
    }
    return m;
}

struct CodedMovie {
    std::vector<std::vector<uint8_t>> payloads;
    std::vector<std::vector<uint8_t>> reconstructions;
    std::vector<double> quality;
};

struct CodeOptions {
    int32_t floor = 2000, target = 4000, ceiling = 8000;
    bool fast = false;
    int keyInterval = 0;
    int threads = 1;
};

CodedMovie codeMovie(const Movie& m, const CodeOptions& o) {
    ColorLookup lookup;
    lookup.build(m.table, m.grid);
    FrameCoder coder(m.width, m.rows, lookup, o.threads);
    const size_t size = size_t(m.width) * size_t(m.rows);
    std::vector<uint8_t> pair[2] = {std::vector<uint8_t>(size), std::vector<uint8_t>(size)};
    std::vector<uint8_t> payload(FrameCoder::kPayloadBufferSize + 64, 0xCD);
    CodedMovie out;
    for (size_t n = 0; n < m.pictures.size(); ++n) {
        FrameInput in;
        in.picture = m.pictures[n].data();
        in.written = pair[n & 1].data();
        in.other = n ? pair[(n + 1) & 1].data() : nullptr;
        in.fUseFastEncoding = o.fast;
        in.nBytesFloor = o.floor;
        in.nBytesCeiling = o.ceiling;
        in.budget = o.target;
        in.frameIndex = int(n);
        in.keyFrameInterval = o.keyInterval;
        const FrameCodeResult r = coder.encodeFrame(payload.data(), in);
        EXPECT_LE(r.length, FrameCoder::kPayloadBufferSize);
        EXPECT_EQ(payload[FrameCoder::kPayloadBufferSize], 0xCD) << "wrote past the buffer";
        if (n == 0) {
            pair[1] = pair[0];
        }
        out.payloads.emplace_back(payload.begin(), payload.begin() + ptrdiff_t(r.length));
        out.reconstructions.push_back(pair[n & 1]);
        out.quality.push_back(r.quality);
    }
    return out;
}

// Walks a delta frame's block stream by the format's grammar, as the coder must write it:
// only opcodes valid at their size, runs of 4 to 259 that end inside the frame, and exactly
// the payload's bytes. Returns an empty string when the payload is well formed.
std::string checkDeltaStream(const std::vector<uint8_t>& p, int width, int rows) {
    if (p.size() < 24 || p[0] != 0 || p[1] != 2 || p[3] != 0) {
        return "bad header";
    }
    if (p[2] != uint8_t((p.size() + 255) / 256)) {
        return "bad length in pages";
    }
    for (int i = 4; i < 12; ++i) {
        if (p[size_t(i)]) {
            return "reserved bytes not zero";
        }
    }
    if (p[20] || p[21] || p[22] || p[23] != 24) {
        return "bad stream offset";
    }
    size_t pos = 24;
    int runLeft[3] = {0, 0, 0};
    int runOp[3] = {0, 0, 0};
    std::string error;
    auto take = [&]() -> int {
        if (pos >= p.size()) {
            error = "stream ends early";
            return -1;
        }
        return p[pos++];
    };
    std::function<void(int, bool)> block = [&](int level, bool opened) {
        if (!error.empty()) {
            return;
        }
        if (opened) {
            for (int k = 0; k < 4; ++k) {
                block(level - 1, false);
            }
            return;
        }
        int op;
        if (runLeft[level] > 0) {
            --runLeft[level];
            op = runOp[level];
        } else {
            op = take();
            if (op == 243) {
                const int n = take();
                op = take();
                if (op == 243) {
                    error = "run of runs";
                }
                runLeft[level] = n + 3;
                runOp[level] = op;
            }
        }
        if (op < 0) {
            return;
        }
        if (op <= 224 || op == 244 || (op >= 246 && op <= 253)) {
            return;
        }
        if (op >= 225 && op <= 240 && level == 2) {
            for (int k = 0; k < 4; ++k) {
                block(1, ((op - 225) >> k) & 1);
            }
        } else if (op == 245 && level > 0) {
            take(), take(), take();
        } else if (op == 254) {
            take();
        } else if (op == 255 && level == 0) {
            take(), take(), take(), take();
        } else if (op == 255) {
            for (int k = 0; k < 4; ++k) {
                block(level - 1, false);
            }
        } else {
            error = "opcode " + std::to_string(op) + " at level " + std::to_string(level);
        }
    };
    for (int b = 0; b < (width / 8) * (rows / 8) && error.empty(); ++b) {
        block(2, false);
    }
    if (!error.empty()) {
        return error;
    }
    if (runLeft[0] || runLeft[1] || runLeft[2]) {
        return "run crosses the end of the frame";
    }
    if (pos != p.size()) {
        return "trailing bytes";
    }
    return "";
}

ColorLookup grayLookup() {
    ColorLookup l;
    l.build(grayRamp(ColorGrid::Fine), ColorGrid::Fine);
    return l;
}

} // namespace

TEST(FrameCoder, KeyFrameSizes) {
    struct Case {
        int width, rows;
        bool first;
        size_t length;
        int pages;
    };
    const Case cases[] = {
        {160, 160, true, 26378, 104},
        {160, 160, false, 25616, 101},
        {320, 240, false, 19216, 76},
        {320, 240, true, 19978, 79},
    };
    const ColorLookup lookup = grayLookup();
    for (const Case& c : cases) {
        const size_t size = size_t(c.width) * size_t(c.rows);
        std::vector<uint8_t> picture(size), a(size), b(size);
        for (size_t i = 0; i < size; ++i) {
            picture[i] = uint8_t(1 + (i * 7 + i / 13) % 32);
        }
        FrameCoder coder(c.width, c.rows, lookup);
        std::vector<uint8_t> payload(FrameCoder::kPayloadBufferSize);
        FrameInput in;
        in.picture = picture.data();
        in.written = a.data();
        in.other = c.first ? nullptr : b.data();
        in.frameIndex = c.first ? 0 : 30;
        in.keyFrameInterval = 30;
        const FrameCodeResult r = coder.encodeFrame(payload.data(), in);
        ASSERT_TRUE(r.keyFrame);
        EXPECT_EQ(r.length, c.length);
        EXPECT_EQ(payload[2], c.pages);
        EXPECT_EQ(r.quality, 1.0);
        const uint32_t pixels = uint32_t(payload[12]) << 24 | uint32_t(payload[13]) << 16 |
                                uint32_t(payload[14]) << 8 | payload[15];
        EXPECT_EQ(pixels, c.first ? 778u : 16u);
        if (!c.first) {
            EXPECT_EQ(a, b) << "a later key frame fills both pictures";
        }
        if (c.width != 160) {
            for (int y = 0; y < c.rows; y += 2) {
                for (int x = 0; x < c.width; x += 2) {
                    const uint8_t* s = a.data() + y * c.width + x;
                    ASSERT_TRUE(s[0] == s[1] && s[0] == s[c.width] && s[0] == s[c.width + 1]);
                }
            }
            // Codes 1..32 are pure grays, so a square of equal codes keeps its code.
            std::vector<uint8_t> flat(size, 9);
            in.picture = flat.data();
            coder.encodeFrame(payload.data(), in);
            EXPECT_EQ(payload[pixels], 9);
        } else {
            EXPECT_EQ(a, picture);
        }
    }
}

TEST(FrameCoder, UnchangedPictureGivesThe30ByteAllKeepFrame) {
    const ColorLookup lookup = grayLookup();
    const size_t size = 160 * 160;
    std::vector<uint8_t> picture(size);
    for (size_t i = 0; i < size; ++i) {
        picture[i] = uint8_t(1 + (i / 160 + i) % 32);
    }
    std::vector<uint8_t> a = picture, b(size, 5);
    FrameCoder coder(160, 160, lookup);
    std::vector<uint8_t> payload(FrameCoder::kPayloadBufferSize);
    FrameInput in;
    in.picture = picture.data();
    in.written = a.data();
    in.other = b.data();
    in.frameIndex = 7;
    in.nBytesFloor = 2000;
    in.nBytesCeiling = 8000;
    in.budget = 4000;
    const FrameCodeResult r = coder.encodeFrame(payload.data(), in);
    const std::vector<uint8_t> expected = {0x00, 0x02, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0,
                                           0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8,
                                           0x00, 0x00, 0x00, 0x18, 0xF3, 0xFB, 0xF4, 0xF3,
                                           0x8D, 0xF4};
    ASSERT_EQ(r.length, expected.size());
    EXPECT_EQ(std::vector<uint8_t>(payload.begin(), payload.begin() + 30), expected);
    EXPECT_EQ(r.quality, 1.0);
    EXPECT_EQ(coder.lastStats().refinements, 0);
    EXPECT_EQ(a, picture);
}

TEST(FrameCoder, PlayerSeesTheCodersPicturesInEveryModeAndBudget) {
    struct Case {
        Mode mode;
        int width, screenRows;
        CodeOptions options;
    };
    const Case cases[] = {
        {Mode::Grayscale, 160, 160, {2000, 4000, 8000, false, 0, 1}},
        {Mode::StdPalette, 320, 240, {1000, 2000, 3000, false, 0, 1}},
        {Mode::ExtPalette, 320, 240, {2000, 4000, 8000, true, 0, 1}},
        {Mode::ExtPalette, 216, 384, {4000, 8000, 16000, false, 6, 1}},
        {Mode::Truecolor, 320, 240, {2000, 4000, 8000, false, 0, 1}},
        {Mode::TruecolorPlus, 320, 240, {6000, 8000, 0, false, 0, 1}},
        {Mode::TruecolorPlus, 160, 160, {100, 300, 400, false, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(modeName(c.mode));
        SCOPED_TRACE(c.options.target);
        const Movie m = makeMovie(c.mode, c.width, c.screenRows, 12);
        const CodedMovie coded = codeMovie(m, c.options);
        const size_t size = size_t(m.width) * size_t(m.rows);
        std::vector<uint8_t> pair[2] = {std::vector<uint8_t>(size, 0x77),
                                        std::vector<uint8_t>(size, 0x66)};
        for (size_t n = 0; n < coded.payloads.size(); ++n) {
            const std::vector<uint8_t>& p = coded.payloads[n];
            ASSERT_GE(p.size(), 4u);
            if (p[1] == 2) {
                ASSERT_EQ(checkDeltaStream(p, m.width, m.rows), "") << "frame " << n;
            }
            const PayloadResult r = decodeFramePayload(p, m.width, m.rows, pair[n & 1],
                                                       pair[(n + 1) & 1]);
            ASSERT_TRUE(r.ok() && r.decoded && r.end == p.size()) << "frame " << n;
            ASSERT_EQ(pair[n & 1], coded.reconstructions[n]) << "frame " << n;
            EXPECT_GE(coded.quality[n], 0.0);
            EXPECT_LE(coded.quality[n], 1.0);
        }
    }
}

TEST(FrameCoder, SameInputSamePayloadsOnEveryRunAndThreadCount) {
    const Movie m = makeMovie(Mode::TruecolorPlus, 320, 240, 8);
    CodeOptions one;
    CodeOptions two = one;
    two.threads = 2;
    const CodedMovie a = codeMovie(m, one);
    EXPECT_EQ(a.payloads, codeMovie(m, one).payloads);
    EXPECT_EQ(a.payloads, codeMovie(m, two).payloads);
}
