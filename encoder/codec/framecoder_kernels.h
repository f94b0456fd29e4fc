// Inner loops of the frame coder that have a portable version, which defines the result, and
// faster variants picked once by the processor's features. Every variant gives exactly the
// scalar result (a test runs them all against it on random input).
//
// patternError(e0, e1, bits, n): sum over pixels i < n (16 or 64) of e1[i] when bit i of bits
// is set, else e0[i]; e0 and e1 hold each pixel's colour distance to the pattern's two colours.
//
// motionScore8 / motionScore4(cur, src, pitch, score, bound): the score of a motion source
// block, score + 16 times its error against the current block, found without the distance
// table: each pixel is kept as two channel words (see ChannelPixels), so the colour distance
//   (77 dr^2 + 150 dg^2 + 29 db^2 + 128) >> 8
// comes from a few multiply-adds per pixel. cur holds the current block's S x S pixels row
// after row, src points at the source block's top-left pixel in planes pitch pixels wide.
// Errors are never negative, so the sum may stop as soon as it reaches bound: the result is
// exact when below bound, and some value of at least bound otherwise.
//
// searchMotion8 / searchMotion4: a whole motion search with those scores, see MotionSearch.
//
// QUIL_SCALAR=1 in the environment forces the scalar versions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quil {

// A picture's pixels as two planes of 32-bit words: red | blue << 16 and green | 75 green << 16
// (see distances8 in the .cpp).
struct ChannelPixels {
    const uint32_t* redBlue;
    const uint32_t* green;
};

constexpr uint32_t redBlueWord(int red, int blue) {
    return uint32_t(red) | uint32_t(blue) << 16;
}
constexpr uint32_t greenWord(int green) {
    return uint32_t(green) | uint32_t(75 * green) << 16;
}

// Motion candidates are given as arrays of this many entries, the ones past the count
// padding (any values).
constexpr int kMotionCandidateSlots = 232;
constexpr int kMotionCandidateWords = (kMotionCandidateSlots + 63) / 64; // of 64 bits

// One block's motion search over S x S pixels: the lowest key score * 256 + index below the
// starting key among the candidates, tried in index order after the one at first (if any);
// a hint tried first only makes the bounds tighter sooner, never changes the winner.
// Candidates whose block would leave the pixel array (start < 0 or start + extent >= limit,
// unless inside says none can) are passed over. So is every candidate whose block sums put
// it out of the running: with D the difference of a channel's sums over the n pixels, the
// sum of its squared differences is at least D^2 / n, and each pixel's rounding takes at
// most 127/256 off its distance, so
//   E >= (77 Dr^2 + 150 Dg^2 + 29 Db^2 - 127 n^2) / (256 n)
//     >= (77 floor(Dr^2 / n) + 150 floor(Dg^2 / n) + 29 floor(Db^2 / n) - 127 n) / 256,
// the second form, which fits 32 bits, being the one used.
struct MotionSearch {
    ChannelPixels cur;      // the block, S x S pixels row after row
    ChannelPixels source;   // the motion source's planes from pixel 0, pitch pixels a row
    const uint64_t* sums;   // source block sums by position, red | green << 16 | blue << 32
    int64_t curSums[3];     // the block's red, green and blue sums
    size_t pitch;
    int64_t position;       // the block's first pixel
    int64_t extent, limit;
    bool inside;
    const int32_t* offsets; // source position of each candidate relative to the block's
    const int32_t* costs;
    int count;
    int first;              // index tried first, or -1
};

using PatternErrorFn = int32_t (*)(const int32_t* e0, const int32_t* e1, uint64_t bits, int n);
using MotionScoreFn = int32_t (*)(ChannelPixels cur, ChannelPixels src, size_t pitch,
                                  int32_t score, int32_t bound);

// Returns the best key, startKey itself when no candidate gets below it.
using MotionSearchFn = int64_t (*)(const MotionSearch& search, int64_t startKey);

struct CoderKernels {
    const char* name;
    PatternErrorFn patternError;
    MotionScoreFn motionScore8;
    MotionScoreFn motionScore4;
    MotionSearchFn searchMotion8;
    MotionSearchFn searchMotion4;
};

// The variant this process uses.
const CoderKernels& coderKernels();
// The scalar version first, then every variant this processor can run.
std::vector<CoderKernels> availableCoderKernels();

} // namespace quil
