// Every variant of the coder's inner loops gives the scalar result.
#include <gtest/gtest.h>

#include <random>

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
