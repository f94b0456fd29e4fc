// Every variant of the coder's inner loops gives the scalar result.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "encoder/codec/colormode.h"
#include "encoder/codec/framecoder_kernels.h"

using namespace quil;

TEST(CoderKernels, EveryVariantMatchesScalar) {
    const std::vector<CoderKernels> kernels = availableCoderKernels();
    ASSERT_STREQ(kernels.front().name, "scalar");
    std::mt19937_64 rng(99);
    alignas(32) int32_t e0[64], e1[64];
    for (int round = 0; round < 2000; ++round) {
        for (int i = 0; i < 64; ++i) {
            // Up to the largest colour distance, sometimes at the extremes.
            e0[i] = round % 7 == 0 ? 65025 : int32_t(rng() % 65026);
            e1[i] = round % 11 == 0 ? 0 : int32_t(rng() % 65026);
        }
        const uint64_t bits = round % 5 == 0 ? ~uint64_t(0) : rng();
        for (const int n : {16, 64}) {
            const int32_t expected = kernels.front().patternError(e0, e1, bits, n);
            for (const CoderKernels& k : kernels) {
                ASSERT_EQ(k.patternError(e0, e1, bits, n), expected) << k.name << " n " << n;
            }
        }
    }
}

// The motion scores against the colour distance itself: exact below the bound, at least the
// bound once the sum reaches it, for both block sizes and bounds from "stop at once" to
// "never stop".
TEST(CoderKernels, MotionScoresOfEveryVariantAreTheColourDistanceSums) {
    const std::vector<CoderKernels> kernels = availableCoderKernels();
    std::mt19937 rng(5);
    constexpr size_t kPitch = 64;
    struct Colour {
        int r, g, b;
    };
    auto randomColour = [&](int round) {
        // Now and then only the extremes, where the 16-bit products are largest.
        if (round % 4 == 0) {
            return Colour{rng() % 2 ? 255 : 0, rng() % 2 ? 255 : 0, rng() % 2 ? 255 : 0};
        }
        return Colour{int(rng() % 256), int(rng() % 256), int(rng() % 256)};
    };
    std::vector<Colour> picture(kPitch * 16);
    std::vector<uint32_t> redBlue(picture.size()), green(picture.size());
    alignas(32) uint32_t curRedBlue[64], curGreen[64];
    Colour cur[64];
    for (int round = 0; round < 3000; ++round) {
        if (round % 100 == 0) {
            for (size_t i = 0; i < picture.size(); ++i) {
                picture[i] = randomColour(round / 100);
                redBlue[i] = redBlueWord(picture[i].r, picture[i].b);
                green[i] = greenWord(picture[i].g);
            }
        }
        for (int i = 0; i < 64; ++i) {
            cur[i] = randomColour(round);
            curRedBlue[i] = redBlueWord(cur[i].r, cur[i].b);
            curGreen[i] = greenWord(cur[i].g);
        }
        const size_t at = rng() % 8 * kPitch + rng() % 56;
        const ChannelPixels src{redBlue.data() + at, green.data() + at};
        const int32_t start = int32_t(rng() % 300);
        for (const int size : {8, 4}) {
            int32_t exact = start;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    const Colour& c = cur[y * size + x];
                    const Colour& s = picture[at + size_t(y) * kPitch + size_t(x)];
                    exact += 16 * colorDistance(c.r, c.g, c.b, s.r, s.g, s.b);
                }
            }
            const int32_t bound = round % 3 == 0 ? INT32_MAX : int32_t(rng() % (exact + 1000));
            for (const CoderKernels& k : kernels) {
                const MotionScoreFn score = size == 8 ? k.motionScore8 : k.motionScore4;
                const int32_t got = score({curRedBlue, curGreen}, src, kPitch, start, bound);
                if (exact < bound) {
                    ASSERT_EQ(got, exact) << k.name << " size " << size;
                } else {
                    ASSERT_GE(got, bound) << k.name << " size " << size;
                }
            }
        }
    }
}

// Whole motion searches: every variant finds the candidate a walk through every candidate
// finds (lowest score, the earlier candidate on equal scores), whatever its hint, on blocks
// that lie inside the source and blocks at its ends whose candidates partly fall outside.
TEST(CoderKernels, MotionSearchOfEveryVariantFindsTheExhaustiveWinner) {
    const std::vector<CoderKernels> kernels = availableCoderKernels();
    std::mt19937 rng(11);
    constexpr int kWidth = 48, kRows = 40;
    constexpr size_t kPixels = size_t(kWidth) * kRows;
    std::vector<uint8_t> r(kPixels), g(kPixels), b(kPixels);
    std::vector<uint32_t> redBlue(kPixels), green(kPixels);
    alignas(32) std::array<int32_t, kMotionCandidateSlots> offsets{}, costs{};
    for (int round = 0; round < 400; ++round) {
        // Smooth content with noise, so that many candidates come close.
        const int noise = 1 + round % 40;
        for (size_t i = 0; i < kPixels; ++i) {
            const int x = int(i % kWidth), y = int(i / kWidth);
            r[i] = uint8_t(std::clamp(x * 4 + int(rng() % noise), 0, 255));
            g[i] = uint8_t(std::clamp(y * 5 + int(rng() % noise), 0, 255));
            b[i] = uint8_t(std::clamp((x + y) * 2 + int(rng() % noise), 0, 255));
            redBlue[i] = redBlueWord(r[i], b[i]);
            green[i] = greenWord(g[i]);
        }
        const int count = 1 + int(rng() % 225);
        for (int k = 0; k < count; ++k) {
            const int dx = int(rng() % 33) - 16, dy = int(rng() % 33) - 16;
            offsets[size_t(k)] = dy * kWidth + dx;
            costs[size_t(k)] = int32_t(rng() % 30);
        }
        for (const int size : {8, 4}) {
            const int bx = int(rng() % (kWidth / size)) * size;
            const int by = int(rng() % (kRows / size)) * size;
            const int64_t position = int64_t(by) * kWidth + bx;
            const int64_t extent = int64_t(size - 1) * kWidth + (size - 1);
            // Block sums of the source at every position whose block fits.
            std::vector<uint64_t> sums(kPixels, 0);
            for (size_t p = 0; p + size_t(extent) < kPixels; ++p) {
                uint64_t sr = 0, sg = 0, sb = 0;
                for (int y = 0; y < size; ++y) {
                    for (int x = 0; x < size; ++x) {
                        const size_t i = p + size_t(y) * kWidth + size_t(x);
                        sr += r[i];
                        sg += g[i];
                        sb += b[i];
                    }
                }
                sums[p] = sr | sg << 16 | sb << 32;
            }
            alignas(32) uint32_t curRedBlue[64], curGreen[64];
            MotionSearch search{};
            // The current block: a source block near it, shifted in colour as a whole (where
            // the bounds from the sums are tightest) and now and then disturbed.
            const int shift[3] = {int(rng() % 41) - 20, int(rng() % 41) - 20, int(rng() % 41) - 20};
            const int jitter = round % 2 ? 1 : 7;
            const size_t from = size_t(position) + size_t(rng() % 3) * kWidth + rng() % 3;
            for (int i = 0; i < size * size; ++i) {
                const size_t at = (from + size_t(i / size) * kWidth + size_t(i % size)) % kPixels;
                const int cr = std::clamp(int(r[at]) + shift[0] + int(rng() % jitter), 0, 255);
                const int cg = std::clamp(int(g[at]) + shift[1] + int(rng() % jitter), 0, 255);
                const int cb = std::clamp(int(b[at]) + shift[2] + int(rng() % jitter), 0, 255);
                curRedBlue[i] = redBlueWord(cr, cb);
                curGreen[i] = greenWord(cg);
                search.curSums[0] += cr;
                search.curSums[1] += cg;
                search.curSums[2] += cb;
            }
            search.cur = {curRedBlue, curGreen};
            search.source = {redBlue.data(), green.data()};
            search.sums = sums.data();
            search.pitch = kWidth;
            search.position = position;
            search.extent = extent;
            search.limit = int64_t(kPixels);
            search.inside = false;
            search.offsets = offsets.data();
            search.costs = costs.data();
            search.count = count;
            // Exhaustive: every candidate in range, its full score.
            const int64_t startKey = round % 3 == 0 ? int64_t(INT32_MAX) * 256 : 2000000 * 256;
            int64_t expected = startKey;
            for (int k = 0; k < count; ++k) {
                const int64_t start = position + offsets[size_t(k)];
                if (start < 0 || start + extent >= int64_t(kPixels)) {
                    continue;
                }
                int64_t score = costs[size_t(k)];
                for (int i = 0; i < size * size; ++i) {
                    const size_t s = size_t(start) + size_t(i / size) * kWidth + size_t(i % size);
                    score += 16 * colorDistance(int(curRedBlue[i] & 0xFFFF), int(curGreen[i] & 0xFFFF),
                                                int(curRedBlue[i] >> 16), r[s], g[s], b[s]);
                }
                expected = std::min(expected, score * 256 + k);
            }
            for (const CoderKernels& kernel : kernels) {
                for (const int first : {-1, int(rng() % unsigned(count))}) {
                    search.first = first;
                    const MotionSearchFn fn = size == 8 ? kernel.searchMotion8 : kernel.searchMotion4;
                    ASSERT_EQ(fn(search, startKey), expected)
                        << kernel.name << " size " << size << " round " << round;
                }
            }
        }
    }
}
