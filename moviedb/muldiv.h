// MulDiv: a * b / c with a 64-bit intermediate product, rounded to the nearest integer
// (halves away from zero). Returns -1 when c is 0 or the result does not fit 32 bits,
// as callers that port integer rate arithmetic expect.
#pragma once

#include <cstdint>
#include <limits>

namespace quil {

constexpr int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) {
        return -1;
    }
    const int64_t product = int64_t{a} * int64_t{b};
    const bool negative = (product < 0) != (c < 0);
    const uint64_t magnitude = product < 0 ? uint64_t(-product) : uint64_t(product);
    const uint64_t divisor = c < 0 ? uint64_t(-int64_t{c}) : uint64_t(c);
    const uint64_t q = (magnitude + divisor / 2) / divisor;
    if (q > uint64_t(std::numeric_limits<int32_t>::max()) + (negative ? 1u : 0u)) {
        return -1;
    }
    return negative ? int32_t(-int64_t(q)) : int32_t(q);
}

} // namespace quil
