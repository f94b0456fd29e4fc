// Picture operations: DIB conversion, copies and fills with clipping, the stretches and
// their refusals, the lightness adjustment, flips and the fit rectangle.
#include "encoder/media/vbitmap.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>

namespace {

uint32_t rgb(int r, int g, int b) {
    return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

// A width x 1 bitmap from a list of pixels.
std::unique_ptr<VBitmap> rowOf(std::initializer_list<uint32_t> px) {
    auto b = std::make_unique<VBitmap>(int(px.size()), 1);
    std::copy(px.begin(), px.end(), b->data);
    return b;
}

std::vector<uint32_t> pixelsOf(const VBitmap& b) {
    return {b.data, b.data + size_t(b.width) * size_t(b.height)};
}

// ---------------------------------------------------------------------------------------
// DIB conversion

// A 2 x 3 DIB whose stored rows are 0, 1, 2; every pixel of stored row r encodes r in the
// colour levels (r + 1) * 40 of its channels for the given depth.
struct Dib {
    BITMAPINFO info;
    std::vector<uint8_t> bytes;
};

Dib makeRowDib(int bits, int heightSign) {
    Dib d;
    d.info.bmiHeader.biWidth = 2;
    d.info.bmiHeader.biHeight = 3 * heightSign;
    d.info.bmiHeader.biBitCount = uint16_t(bits);
    const int64_t pitch = DibPitch(bits, 2);
    d.bytes.assign(size_t(pitch * 3), 0);
    for (int r = 0; r < 3; ++r) {
        uint8_t* row = d.bytes.data() + pitch * r;
        for (int x = 0; x < 2; ++x) {
            switch (bits) {
            case 8:
                row[x] = uint8_t(r + 10);
                d.info.bmiColors[r + 10] = rgb(r + 1, 2 * (r + 1), 3 * (r + 1));
                break;
            case 16: { // red level r+1, green 0, blue 31
                const unsigned v = unsigned(r + 1) << 10 | 31;
                row[2 * x] = uint8_t(v);
                row[2 * x + 1] = uint8_t(v >> 8);
                break;
            }
            case 24:
                row[3 * x] = uint8_t(r + 1); // blue
                row[3 * x + 1] = 0;
                row[3 * x + 2] = 9;
                break;
            case 32:
                std::memcpy(row + 4 * x, &(const uint32_t&)rgb(r + 1, 0, 7), 4);
                break;
            }
        }
    }
    return d;
}

uint32_t expectedForStoredRow(int bits, int r) {
    switch (bits) {
    case 8:
        return rgb(r + 1, 2 * (r + 1), 3 * (r + 1));
    case 16:
        return rgb((r + 1) * 255 / 31, 0, 255);
    case 24:
        return rgb(9, 0, r + 1);
    default:
        return rgb(r + 1, 0, 7);
    }
}

struct DibCase {
    int bits;
    int heightSign;
    bool flip;
};

class DibConversion : public testing::TestWithParam<DibCase> {};

// The result is always bottom-up: row 0 holds the DIB's bottom row, which is the first
// stored row of a bottom-up DIB and the last of a top-down one; the flag reverses that.
TEST_P(DibConversion, EndsBottomUpForEveryDepth) {
    const DibCase c = GetParam();
    Dib d = makeRowDib(c.bits, c.heightSign);
    VBitmap b(&d.info, d.bytes.data(), c.flip);
    ASSERT_EQ(b.GetWidth(), 2);
    ASSERT_EQ(b.GetHeight(), 3);
    const bool reversed = (c.heightSign < 0) != c.flip;
    for (int y = 0; y < 3; ++y) {
        const int stored = reversed ? 2 - y : y;
        EXPECT_EQ(b.Row(y)[0], expectedForStoredRow(c.bits, stored)) << "row " << y;
        EXPECT_EQ(b.Row(y)[1], expectedForStoredRow(c.bits, stored));
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, DibConversion,
                         testing::Values(DibCase{8, -1, false}, DibCase{16, -1, false},
                                         DibCase{24, -1, false}, DibCase{32, -1, false},
                                         DibCase{8, 1, false}, DibCase{24, 1, true},
                                         DibCase{32, -1, true}, DibCase{16, 1, true}));

TEST(DibConversionErrors, ThrowsTheTwoTextsAndReusesTheBuffer) {
    Dib d = makeRowDib(24, 1);
    VBitmap b;
    d.info.bmiHeader.biCompression = 1;
    try {
        b.InitFromDIB(&d.info, d.bytes.data(), false);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Can't handle compressed bitmaps");
    }
    d.info.bmiHeader.biCompression = 0;
    d.info.bmiHeader.biBitCount = 12;
    try {
        b.InitFromDIB(&d.info, d.bytes.data(), false);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Can only handle 1, 2, 4, 8, 16, 24 or 32 bits per pixel");
    }
    // A bitmap that wrapped a foreign buffer gets its own pixels and leaves the buffer alone.
    uint32_t foreign[6] = {1, 2, 3, 4, 5, 6};
    b.Attach(foreign, 2, 3);
    Dib ok = makeRowDib(32, 1);
    b.InitFromDIB(&ok.info, ok.bytes.data(), false);
    EXPECT_TRUE(b.OwnsBuffer());
    EXPECT_NE(b.data, foreign);
    EXPECT_EQ(foreign[0], 1u);
    // An empty or absurd header gives no pixels instead of a wild allocation.
    ok.info.bmiHeader.biWidth = 0;
    b.InitFromDIB(&ok.info, ok.bytes.data(), false);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.GetWidth(), 0);
}

TEST(DibConversionErrors, FourBitPixelsUseTheColourTable) {
    BITMAPINFO info;
    info.bmiHeader.biWidth = 3;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biBitCount = 4;
    info.bmiColors[0xA] = rgb(1, 2, 3);
    info.bmiColors[0x5] = rgb(4, 5, 6);
    const uint8_t px[4] = {0xA5, 0xA0, 0, 0};
    VBitmap b(&info, px, false);
    EXPECT_EQ(pixelsOf(b), (std::vector<uint32_t>{rgb(1, 2, 3), rgb(4, 5, 6), rgb(1, 2, 3)}));
}

// ---------------------------------------------------------------------------------------
// Copies and fills

TEST(Rectangles, MinusOneMeansTheWholeBitmapAndClippingCutsOverhangs) {
    VBitmap a(4, 3);
    EXPECT_TRUE(a.RectFill(0, 0, -1, -1, 0x123456));
    EXPECT_EQ(pixelsOf(a), std::vector<uint32_t>(12, 0x123456u));

    VBitmap b(4, 3);
    b.RectFill(0, 0, -1, -1, 0);
    EXPECT_TRUE(b.BitBlt(0, 0, &a, 0, 0, -1, -1));
    EXPECT_EQ(pixelsOf(b), pixelsOf(a));

    // Negative origin shrinks, overhang is cut: only (0..1, 0) is filled.
    b.RectFill(0, 0, -1, -1, 0);
    EXPECT_TRUE(b.RectFill(-2, -2, 4, 3, 7));
    std::vector<uint32_t> want(12, 0);
    want[0] = want[1] = 7;
    EXPECT_EQ(pixelsOf(b), want);

    // Nothing left: false and untouched.
    EXPECT_FALSE(b.RectFill(4, 0, 5, 5, 9));
    EXPECT_FALSE(b.RectFill(-3, 0, 3, 1, 9));
    EXPECT_FALSE(b.AdjustBrightnessContrast(0, 3, -1, -1, 0.5f, 0.0f));
    EXPECT_EQ(pixelsOf(b), want);
}

TEST(Rectangles, BitBltClipsAgainstSourceAndDestination) {
    VBitmap src(3, 2);
    for (int i = 0; i < 6; ++i) {
        src.data[i] = uint32_t(i + 1);
    }
    VBitmap dst(3, 2);
    dst.RectFill(0, 0, -1, -1, 0);
    // Source starts at column -1: the first destination column stays, the rest shifts in.
    EXPECT_TRUE(dst.BitBlt(0, 0, &src, -1, 0, -1, -1));
    EXPECT_EQ(pixelsOf(dst), (std::vector<uint32_t>{0, 1, 2, 0, 4, 5}));
    // Destination overhangs at the top right: one pixel lands.
    dst.RectFill(0, 0, -1, -1, 0);
    EXPECT_TRUE(dst.BitBlt(2, 1, &src, 0, 0, 3, 2));
    EXPECT_EQ(pixelsOf(dst), (std::vector<uint32_t>{0, 0, 0, 0, 0, 1}));
    EXPECT_FALSE(dst.BitBlt(3, 0, &src, 0, 0, -1, -1));
    EXPECT_FALSE(dst.BitBlt(0, 0, &src, 3, 0, -1, -1));
}

// ---------------------------------------------------------------------------------------
// Stretches

struct Refusal {
    const char* what;
    int dx, dy, dw, dh;
    double sx, sy, sw, sh;
};

class StretchRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(StretchRefusal, DrawsNothingOutsideEitherBitmap) {
    const Refusal c = GetParam();
    VBitmap src(8, 6);
    src.RectFill(0, 0, -1, -1, 0xFFFFFF);
    VBitmap dst(8, 6);
    dst.RectFill(0, 0, -1, -1, 0x010203);
    const auto before = pixelsOf(dst);
    EXPECT_FALSE(dst.StretchBltNearest(c.dx, c.dy, c.dw, c.dh, &src, c.sx, c.sy, c.sw, c.sh));
    EXPECT_FALSE(dst.StretchBltArea(c.dx, c.dy, c.dw, c.dh, &src, c.sx, c.sy, c.sw, c.sh));
    EXPECT_EQ(pixelsOf(dst), before);
}

INSTANTIATE_TEST_SUITE_P(
    Rects, StretchRefusal,
    testing::Values(Refusal{"destination past the right", 1, 0, 8, 6, 0, 0, 8, 6},
                    Refusal{"destination below 0", 0, -1, 8, 6, 0, 0, 8, 6},
                    Refusal{"mirrored destination past the left", 3, 0, -4, 6, 0, 0, 8, 6},
                    Refusal{"source far corner outside", 0, 0, 8, 6, 0.5, 0, 8, 6},
                    Refusal{"source below 0", 0, 0, 8, 6, -0.25, 0, 4, 6},
                    Refusal{"source mirrored past the top", 0, 0, 8, 6, 0, 2, 8, -3},
                    Refusal{"zero width", 0, 0, 0, 6, 0, 0, 8, 6},
                    Refusal{"zero height", 0, 0, 8, 0, 0, 0, 8, 6},
                    Refusal{"not a number", 0, 0, 8, 6, 0, 0, std::nan(""), 6}),
    [](const testing::TestParamInfo<Refusal>& i) {
        std::string n = i.param.what;
        for (char& ch : n) {
            if (!isalnum(static_cast<unsigned char>(ch))) {
                ch = '_';
            }
        }
        return n;
    });

TEST(StretchNearest, SamplesPixelCentresAndMirrors) {
    auto src = rowOf({10, 20, 30});
    VBitmap dst(2, 1);
    ASSERT_TRUE(dst.StretchBltNearest(0, 0, 2, 1, src.get(), 0, 0, 3, 1));
    EXPECT_EQ(pixelsOf(dst), (std::vector<uint32_t>{10, 30})); // columns 0.75 and 2.25
    VBitmap up(4, 1);
    ASSERT_TRUE(up.StretchBltNearest(0, 0, 4, 1, src.get(), 1, 0, 2, 1));
    EXPECT_EQ(pixelsOf(up), (std::vector<uint32_t>{20, 20, 30, 30}));
    // A negative width starting at the right edge mirrors.
    VBitmap m(3, 1);
    ASSERT_TRUE(m.StretchBltNearest(3, 0, -3, 1, src.get(), 0, 0, 3, 1));
    EXPECT_EQ(pixelsOf(m), (std::vector<uint32_t>{30, 20, 10}));
}

TEST(StretchArea, WeighsPartlyCoveredPixelsByCoverage) {
    // Three pixels onto two: footprints [0, 1.5) and [1.5, 3).
    auto src = rowOf({rgb(0, 0, 0), rgb(90, 30, 3), rgb(180, 60, 6)});
    VBitmap dst(2, 1);
    ASSERT_TRUE(dst.StretchBltArea(0, 0, 2, 1, src.get(), 0, 0, 3, 1));
    EXPECT_EQ(pixelsOf(dst), (std::vector<uint32_t>{rgb(30, 10, 1), rgb(150, 50, 5)}));
    // Two onto one rounds to nearest per channel: (1 + 2) / 2 = 1.5 -> 2.
    auto two = rowOf({rgb(1, 255, 0), rgb(2, 255, 1)});
    VBitmap one(1, 1);
    ASSERT_TRUE(one.StretchBltArea(0, 0, 1, 1, two.get(), 0, 0, 2, 1));
    EXPECT_EQ(one.data[0], rgb(2, 255, 1));
}

TEST(StretchArea, NegativeSizesMirrorAndTheTopByteIsDropped) {
    VBitmap src(2, 2);
    src.data[0] = 0xFF000001; // bottom left
    src.data[1] = 2;
    src.data[2] = 3; // top left
    src.data[3] = 4;
    VBitmap dst(2, 2);
    ASSERT_TRUE(dst.StretchBltArea(2, 2, -2, -2, &src, 0, 0, 2, 2));
    EXPECT_EQ(pixelsOf(dst), (std::vector<uint32_t>{4, 3, 2, 1}));
    ASSERT_TRUE(dst.StretchBltArea(0, 0, 2, 2, &src, 0, 2, 2, -2)); // source flipped only
    EXPECT_EQ(pixelsOf(dst), (std::vector<uint32_t>{3, 4, 1, 2}));
}

TEST(StretchArea, ZeroWidthSourceCopiesTheFirstPixelAndStaysInside) {
    VBitmap src(3, 2);
    for (int i = 0; i < 6; ++i) {
        src.data[i] = uint32_t(10 * (i + 1));
    }
    VBitmap dst(4, 2);
    // Footprints at the very right edge name column 3, which does not exist; each row's
    // weight sum is 0, so its footprint's first pixel is copied.
    ASSERT_TRUE(dst.StretchBltArea(0, 0, 4, 2, &src, 3, 0, 0, 2));
    EXPECT_EQ(pixelsOf(dst), (std::vector<uint32_t>{30, 30, 30, 30, 60, 60, 60, 60}));
}

// The separable passes against the box filter written out directly: every destination pixel
// is the coverage-weighted mean of the source pixels under its footprint.
TEST(StretchArea, MatchesTheDirectBoxFilter) {
    std::mt19937 rng(99);
    VBitmap src(37, 29);
    for (int i = 0; i < 37 * 29; ++i) {
        src.data[i] = rng() & 0xFFFFFF;
    }
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int round = 0; round < 40; ++round) {
        const int dw = 1 + int(rng() % 50), dh = 1 + int(rng() % 50);
        const double sw = 0.5 + unit(rng) * 36, sh = 0.5 + unit(rng) * 28;
        const double sx = unit(rng) * (37 - sw), sy = unit(rng) * (29 - sh);
        VBitmap dst(dw, dh);
        ASSERT_TRUE(dst.StretchBltArea(0, 0, dw, dh, &src, sx, sy, sw, sh));
        for (int j = 0; j < dh; ++j) {
            for (int i = 0; i < dw; ++i) {
                const double x0 = sx + i * sw / dw, x1 = sx + (i + 1) * sw / dw;
                const double y0 = sy + j * sh / dh, y1 = sy + (j + 1) * sh / dh;
                double sum[3] = {0, 0, 0}, weight = 0;
                for (int r = int(std::floor(y0)); r < int(std::ceil(y1)); ++r) {
                    const double wy = std::min(r + 1.0, y1) - std::max(double(r), y0);
                    for (int c = int(std::floor(x0)); c < int(std::ceil(x1)); ++c) {
                        const double w = wy * (std::min(c + 1.0, x1) - std::max(double(c), x0));
                        const uint32_t p = src.Row(r)[c];
                        for (int ch = 0; ch < 3; ++ch) {
                            sum[ch] += w * double(p >> (8 * ch) & 255);
                        }
                        weight += w;
                    }
                }
                const uint32_t got = dst.Row(j)[i];
                for (int ch = 0; ch < 3; ++ch) {
                    ASSERT_NEAR(double(got >> (8 * ch) & 255), sum[ch] / weight, 0.51)
                        << "round " << round << " pixel " << i << "," << j;
                }
                ASSERT_EQ(got >> 24, 0u);
            }
        }
    }
}

class StretchVariants : public testing::TestWithParam<StretchVariant> {
  protected:
    void TearDown() override { setStretchVariant(m_saved); }
    StretchVariant m_saved = activeStretchVariant();
};

// Every variant against the scalar one on random pictures and random, often fractional,
// mirrored and up-/down-scaling rectangles.
TEST_P(StretchVariants, GiveTheScalarBytes) {
    std::mt19937 rng(1234);
    VBitmap src(97, 61);
    for (int i = 0; i < 97 * 61; ++i) {
        src.data[i] = rng();
    }
    VBitmap a(83, 71), b(83, 71);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int drawn = 0;
    for (int round = 0; round < 300; ++round) {
        const int dw = 1 + int(rng() % 83), dh = 1 + int(rng() % 71);
        const int dx = int(rng() % unsigned(84 - dw)), dy = int(rng() % unsigned(72 - dh));
        const double sw = unit(rng) * 97, sh = unit(rng) * 61;
        const double sx = unit(rng) * (97 - sw), sy = unit(rng) * (61 - sh);
        const bool mx = rng() & 1, my = rng() & 1;
        a.RectFill(0, 0, -1, -1, 0);
        b.RectFill(0, 0, -1, -1, 0);
        ASSERT_TRUE(setStretchVariant(StretchVariant::Scalar));
        const bool ra = a.StretchBltArea(mx ? dx + dw : dx, my ? dy + dh : dy, mx ? -dw : dw,
                                         my ? -dh : dh, &src, sx, sy, sw, sh);
        ASSERT_TRUE(setStretchVariant(GetParam()));
        const bool rb = b.StretchBltArea(mx ? dx + dw : dx, my ? dy + dh : dy, mx ? -dw : dw,
                                         my ? -dh : dh, &src, sx, sy, sw, sh);
        ASSERT_EQ(ra, rb);
        drawn += ra;
        ASSERT_EQ(pixelsOf(a), pixelsOf(b)) << "round " << round;
    }
    EXPECT_GT(drawn, 250);
}

INSTANTIATE_TEST_SUITE_P(Cpu, StretchVariants, testing::ValuesIn(supportedStretchVariants()),
                         [](const testing::TestParamInfo<StretchVariant>& i) {
                             return std::string(stretchVariantName(i.param));
                         });

// ---------------------------------------------------------------------------------------
// Lightness

struct LightCase {
    uint32_t in;
    float brightness, contrast;
    uint32_t out;
};

class Lightness : public testing::TestWithParam<LightCase> {};

TEST_P(Lightness, FollowsTheIntegerHlsModel) {
    const LightCase c = GetParam();
    VBitmap b(1, 1);
    b.data[0] = c.in;
    ASSERT_TRUE(b.AdjustBrightnessContrast(0, 0, -1, -1, c.brightness, c.contrast));
    EXPECT_EQ(b.data[0], c.out) << std::hex << b.data[0];
}

INSTANTIATE_TEST_SUITE_P(
    Values, Lightness,
    testing::Values(
        // brightness 1: L -> 128 + L, clamped
        LightCase{rgb(100, 100, 100), 1.0f, 0.0f, rgb(228, 228, 228)},
        LightCase{rgb(200, 200, 200), 1.0f, 0.0f, rgb(255, 255, 255)},
        LightCase{rgb(200, 100, 50), 1.0f, 0.0f, rgb(254, 252, 251)},
        // contrast -1: every lightness becomes the brightness base
        LightCase{rgb(10, 10, 10), 0.0f, -1.0f, rgb(128, 128, 128)},
        LightCase{rgb(250, 250, 250), -0.5f, -1.0f, rgb(64, 64, 64)},
        // the integer round trip is not exact, even with no change of lightness
        LightCase{rgb(255, 0, 0), 0.0f, 0.0f, rgb(254, 0, 0)},
        LightCase{rgb(200, 100, 50), 0.0f, 0.0f, rgb(200, 99, 50)},
        // the gain is applied around 128 with an arithmetic shift
        LightCase{rgb(64, 64, 64), 0.0f, 1.0f, rgb(0, 0, 0)},
        LightCase{rgb(160, 160, 160), 0.0f, 1.0f, rgb(192, 192, 192)}));

TEST(Saturation, FactorOneKeepsAndZeroGreysOut) {
    VBitmap b(1, 1);
    b.data[0] = rgb(200, 100, 50);
    ASSERT_TRUE(b.AdjustSaturation(0, 0, -1, -1, 1.0f));
    EXPECT_EQ(b.data[0], rgb(200, 100, 50));
    // factor 0: k = -255, S' = S * 0 / (S - 255) = 0: a grey of the pixel's lightness
    ASSERT_TRUE(b.AdjustSaturation(0, 0, -1, -1, 0.0f));
    EXPECT_EQ(b.data[0], rgb(125, 125, 125));
}

// ---------------------------------------------------------------------------------------
// Flips

class Flips : public testing::TestWithParam<int> {};

TEST_P(Flips, ExchangeRowsAndPixelsOfEveryDepth) {
    const int depth = GetParam();
    const int bpp = depth == 15 ? 2 : depth / 8;
    const int w = 3, h = 3;
    const ptrdiff_t pitch = w * bpp + 2; // padded rows keep their padding
    std::vector<uint8_t> block(size_t(pitch * h));
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = uint8_t(i);
    }
    const auto orig = block;
    flipPixelsVertically(block.data(), w, h, pitch, depth);
    for (int r = 0; r < h; ++r) {
        EXPECT_EQ(0, std::memcmp(&block[size_t(pitch * r)], &orig[size_t(pitch * (h - 1 - r))],
                                 size_t(w * bpp)));
        EXPECT_EQ(block[size_t(pitch * r + w * bpp)], orig[size_t(pitch * r + w * bpp)]);
    }
    block = orig;
    mirrorPixelsHorizontally(block.data(), w, h, pitch, depth);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            EXPECT_EQ(0, std::memcmp(&block[size_t(pitch * r + c * bpp)],
                                     &orig[size_t(pitch * r + (w - 1 - c) * bpp)], size_t(bpp)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, Flips, testing::Values(8, 15, 16, 24, 32));

TEST(FlipsOther, UnknownDepthsAreLeftAlone) {
    std::vector<uint8_t> block{1, 2, 3, 4};
    flipPixelsVertically(block.data(), 2, 2, 2, 12);
    mirrorPixelsHorizontally(block.data(), 2, 2, 2, 4);
    EXPECT_EQ(block, (std::vector<uint8_t>{1, 2, 3, 4}));
}

// ---------------------------------------------------------------------------------------
// Fit rectangle

TEST(FitRect, LetterboxedAtCropFactorOne) {
    PixelRect d;
    SourceRect s;
    ComputeFitRect(640, 360, 1.0, &d, &s, 320, 240);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 32); // (30 + 4) & ~7
    EXPECT_EQ(d.width, 320);
    EXPECT_EQ(d.height, 180);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 0);
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 360);
}

TEST(FitRect, CroppedAtCropFactorZero) {
    PixelRect d;
    SourceRect s;
    ComputeFitRect(640, 360, 0.0, &d, &s, 320, 240);
    EXPECT_EQ(d.x, 0);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.width, 320);
    EXPECT_EQ(d.height, 240);
    // x0 = -54, x1 = 372
    EXPECT_DOUBLE_EQ(s.x, 54.0 / 426.0 * 640.0);
    EXPECT_EQ(s.y, 0);
    EXPECT_EQ(s.width, double(int(374.0 / 426.0 * 640.0 - 54.0 / 426.0 * 640.0) & ~3));
    EXPECT_EQ(s.width, 480);
    EXPECT_EQ(s.height, 360);
}

TEST(FitRect, PillarboxRoundsBarsToEightAndDegenerateSizesGiveNothing) {
    PixelRect d;
    SourceRect s;
    // 4:3 into a wide screen: 176 x 144 into 320 x 240 at factor 1: m = 1.6667,
    // o = 293.33, x0 = floor(13.33) = 13 -> 16.
    ComputeFitRect(176, 144, 1.0, &d, &s, 320, 240);
    EXPECT_EQ(d.x, 16);
    EXPECT_EQ(d.width, 293);
    EXPECT_EQ(d.height, 240);
    EXPECT_EQ(s.width, 176);
    ComputeFitRect(0, 144, 1.0, &d, &s, 320, 240);
    EXPECT_EQ(d.width, 0);
    EXPECT_EQ(s.width, 0);
}

} // namespace
