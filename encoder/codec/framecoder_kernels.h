// Inner loops of the frame coder that have a portable version, which defines the result, and
// faster variants picked once by the processor's features. Every variant gives exactly the
// scalar result (a test runs them all against it on random input).
//
// patternError(e0, e1, bits, n): sum over pixels i < n (16 or 64) of e1[i] when bit i of bits
// is set, else e0[i]; e0 and e1 hold each pixel's colour distance to the pattern's two colours.
//
// QUIL_SCALAR=1 in the environment forces the scalar versions.
#pragma once

#include <cstdint>
#include <vector>

namespace quil {

using PatternErrorFn = int32_t (*)(const int32_t* e0, const int32_t* e1, uint64_t bits, int n);

struct CoderKernels {
    const char* name;
    PatternErrorFn patternError;
};

// The variant this process uses.
const CoderKernels& coderKernels();
// The scalar version first, then every variant this processor can run.
std::vector<CoderKernels> availableCoderKernels();

} // namespace quil
