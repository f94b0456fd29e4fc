// Inner loops of the frame coder that have a portable version, which defines the result, and
// faster variants picked once by the processor's features. Every variant gives exactly the
// scalar result (a test runs them all against it on random input).
//
// patternError(e0, e1, bits, n): sum over pixels i < n (16 or 64) of e1[i] when bit i of bits
// is set, else e0[i]; e0 and e1 hold each pixel's colour distance to the pattern's two colours.
//
// motionScore8(dist, cur, src, pitch, score, bound): adds 16 times the error of each row of
// an 8x8 motion source block to score, row by row, stopping once score reaches bound, and
// returns it. cur[i] is pixel i of the current block shifted left by 8 (its distance-table
// row), src the source block's top-left pixel, rows pitch bytes apart.
//
// QUIL_SCALAR=1 in the environment forces the scalar versions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quil {

using PatternErrorFn = int32_t (*)(const int32_t* e0, const int32_t* e1, uint64_t bits, int n);
using MotionScoreFn = int32_t (*)(const int32_t* dist, const int32_t* cur, const uint8_t* src,
                                  size_t pitch, int32_t score, int32_t bound);

struct CoderKernels {
    const char* name;
    PatternErrorFn patternError;
    MotionScoreFn motionScore8;
};

// The variant this process uses.
const CoderKernels& coderKernels();
// The scalar version first, then every variant this processor can run.
std::vector<CoderKernels> availableCoderKernels();

} // namespace quil
