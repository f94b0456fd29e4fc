// The long-block IMDCT of Layer III: the 18 independent sums of 36-point IMDCT outputs
// (the other 18 outputs mirror them). The scalar function defines the result; the vector
// variant runs the same multiply-then-add sequence per output, lanes side by side, and
// gives the same bits.
#pragma once

namespace quil::mpeg {

// sums[0..7] = outputs 0-7, sums[8..15] = outputs 18-25, sums[16] = 8, sums[17] = 26;
// sums[18], sums[19] are padding. Output i is sum over k of x[k] cos(pi/72 (2i + 19)(2k + 1)).
using ImdctLongFn = void (*)(const float* x, float* sums);

void imdctLongScalar(const float* x, float* sums);
#if defined(__SSE2__)
void imdctLongSse2(const float* x, float* sums);
#endif
// The variant for this processor, chosen once; QUIL_MPEG_SCALAR=1 forces scalar.
ImdctLongFn imdctLongFunction();

} // namespace quil::mpeg
