// Every variant of the coder's inner loops gives the scalar result.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

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

TEST(CoderKernels, MotionScoreOfEveryVariantMatchesScalar) {
    const std::vector<CoderKernels> kernels = availableCoderKernels();
    std::mt19937 rng(5);
    std::vector<int32_t> dist(65536);
    for (int32_t& d : dist) {
        d = int32_t(rng() % 65026);
    }
    std::vector<uint8_t> picture(64 * 16);
    for (uint8_t& p : picture) {
        p = uint8_t(rng());
    }
    alignas(32) int32_t cur[64];
    for (int round = 0; round < 2000; ++round) {
        for (int32_t& c : cur) {
            c = int32_t(rng() % 256) << 8;
        }
        const uint8_t* src = picture.data() + rng() % 8 * 64 + rng() % 56;
        const int32_t start = int32_t(rng() % 300);
        // Bounds from "stop at once" to "never stop", so every stopping row is reached.
        const int32_t bound = round % 3 == 0 ? INT32_MAX : int32_t(rng() % 60000000);
        const int32_t expected =
            kernels.front().motionScore8(dist.data(), cur, src, 64, start, bound);
        for (const CoderKernels& k : kernels) {
            ASSERT_EQ(k.motionScore8(dist.data(), cur, src, 64, start, bound), expected) << k.name;
        }
    }
}
