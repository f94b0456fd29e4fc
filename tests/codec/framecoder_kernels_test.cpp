// Every variant of the coder's inner loops gives the scalar result.
#include <gtest/gtest.h>

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
