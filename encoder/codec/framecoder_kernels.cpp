// Scalar and AVX2 versions of the frame coder's pattern error sum and motion scores.
#include "encoder/codec/framecoder_kernels.h"

#include "encoder/codec/colormode.h"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUIL_HAVE_X86 1
#endif

namespace quil {

namespace {

int32_t patternErrorScalar(const int32_t* e0, const int32_t* e1, uint64_t bits, int n) {
    int32_t error = 0;
    for (int i = 0; i < n; ++i) {
        error += ((bits >> i) & 1) ? e1[i] : e0[i];
    }
    return error;
}

inline int32_t channelDistance(uint32_t rb0, uint32_t g0, uint32_t rb1, uint32_t g1) {
    return colorDistance(int(rb0 & 0xFFFF), int(g0 & 0xFFFF), int(rb0 >> 16), int(rb1 & 0xFFFF),
                         int(g1 & 0xFFFF), int(rb1 >> 16));
}

template <int S>
int32_t motionScoreScalar(ChannelPixels cur, ChannelPixels src, size_t pitch, int32_t score,
                          int32_t bound) {
    for (int y = 0; y < S && score < bound; ++y) {
        const uint32_t* crb = cur.redBlue + S * y;
        const uint32_t* cg = cur.green + S * y;
        const uint32_t* srb = src.redBlue + size_t(y) * pitch;
        const uint32_t* sg = src.green + size_t(y) * pitch;
        int32_t e = 0;
        for (int x = 0; x < S; ++x) {
            e += channelDistance(crb[x], cg[x], srb[x], sg[x]);
        }
        score += 16 * e;
    }
    return score;
}

// The lower bound of every candidate (see MotionSearch), scalar: the definition.
template <int S>
void lowerBoundsScalar(const MotionSearch& m, int32_t* out) {
    constexpr int shift = S == 8 ? 6 : 4; // log2 of n
    for (int k = 0; k < kMotionCandidateSlots; ++k) {
        out[k] = INT32_MAX;
        if (k >= m.count) {
            continue;
        }
        const int64_t start = m.position + m.offsets[k];
        if (!m.inside && (start < 0 || start + m.extent >= m.limit)) {
            continue;
        }
        const uint64_t sum = m.sums[start];
        const int32_t dr = int32_t(m.curSums[0]) - int32_t(sum & 0xFFFF);
        const int32_t dg = int32_t(m.curSums[1]) - int32_t((sum >> 16) & 0xFFFF);
        const int32_t db = int32_t(m.curSums[2]) - int32_t(sum >> 32);
        const int32_t x = 77 * ((dr * dr) >> shift) + 150 * ((dg * dg) >> shift) +
                          29 * ((db * db) >> shift) - 127 * S * S;
        out[k] = m.costs[k] + 16 * (x > 0 ? x >> 8 : 0);
    }
}

// Bit k of bits set when values[k] < limit, for every slot.
void belowBitsScalar(const int32_t* values, int32_t limit, uint64_t* bits) {
    for (int w = 0; w < kMotionCandidateWords; ++w) {
        bits[w] = 0;
    }
    for (int k = 0; k < kMotionCandidateSlots; ++k) {
        bits[k / 64] |= uint64_t(values[k] < limit ? 1 : 0) << (k % 64);
    }
}

namespace scalar {
template <int S>
void lowerBounds(const MotionSearch& m, int32_t* out) {
    lowerBoundsScalar<S>(m, out);
}
inline void belowBits(const int32_t* values, int32_t limit, uint64_t* bits) {
    belowBitsScalar(values, limit, bits);
}
template <int S>
inline int32_t motionScore(ChannelPixels cur, ChannelPixels src, size_t pitch, int32_t score,
                           int32_t bound) {
    return motionScoreScalar<S>(cur, src, pitch, score, bound);
}
#define QUIL_KERNEL_TARGET
#include "encoder/codec/motion_search.inc"
#undef QUIL_KERNEL_TARGET
} // namespace scalar

#ifdef QUIL_HAVE_X86
// Distances of eight pixels: the channel words subtract as 16-bit lanes, giving (dr, db) and
// (dg, 75 dg). One multiply-add of the first with itself times (77, 29) gives
// 77 dr^2 + 29 db^2; one of the second with itself, halves swapped, gives 2 * 75 dg^2, with
// a shuffle in place of a multiplication. Every lane fits 16 bits: 77 * 255 < 2^15.
__attribute__((target("avx2"))) inline __m256i distances8(__m256i crb, __m256i cg, __m256i srb,
                                                          __m256i sg) {
    const __m256i wrb = _mm256_set1_epi32(int32_t(redBlueWord(77, 29)));
    const __m256i swap = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13, 2,
                                          3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
    const __m256i d1 = _mm256_sub_epi16(crb, srb);
    const __m256i d2 = _mm256_sub_epi16(cg, sg);
    const __m256i e = _mm256_add_epi32(_mm256_madd_epi16(d1, _mm256_mullo_epi16(d1, wrb)),
                                       _mm256_madd_epi16(d2, _mm256_shuffle_epi8(d2, swap)));
    return _mm256_srli_epi32(_mm256_add_epi32(e, _mm256_set1_epi32(128)), 8);
}

__attribute__((target("avx2"))) inline int32_t sum8(__m256i v) {
    __m128i t = _mm_add_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0x4E));
    t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0xB1));
    return _mm_cvtsi128_si32(t);
}

__attribute__((target("avx2"))) inline __m256i load8(const uint32_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Two rows of four pixels, pitch apart.
__attribute__((target("avx2"))) inline __m256i load4x2(const uint32_t* p, size_t pitch) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pitch));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1);
}

// Rows y and y + 1 of an 8x8 block.
__attribute__((target("avx2"))) inline __m256i rowPair8(ChannelPixels cur, ChannelPixels src,
                                                        size_t pitch, int y) {
    const size_t a = size_t(y) * pitch, b = a + pitch;
    return _mm256_add_epi32(distances8(load8(cur.redBlue + 8 * y), load8(cur.green + 8 * y),
                                       load8(src.redBlue + a), load8(src.green + a)),
                            distances8(load8(cur.redBlue + 8 * y + 8), load8(cur.green + 8 * y + 8),
                                       load8(src.redBlue + b), load8(src.green + b)));
}

// Checks against bound after rows 0-3 only: with most candidates close to the best, more
// checks cost more in guessed branches than the rows they spare.
__attribute__((target("avx2"))) inline int32_t motionScore8Avx2(ChannelPixels cur,
                                                                ChannelPixels src, size_t pitch,
                                                                int32_t score, int32_t bound) {
    score +=
        16 * sum8(_mm256_add_epi32(rowPair8(cur, src, pitch, 0), rowPair8(cur, src, pitch, 2)));
    if (score >= bound) {
        return score;
    }
    return score +
           16 * sum8(_mm256_add_epi32(rowPair8(cur, src, pitch, 4), rowPair8(cur, src, pitch, 6)));
}

// All sixteen pixels at once: a check half-way would spare too few of them.
__attribute__((target("avx2"))) inline int32_t motionScore4Avx2(ChannelPixels cur, ChannelPixels src,
                                                         size_t pitch, int32_t score,
                                                         int32_t bound) {
    (void)bound;
    const size_t a = 2 * pitch;
    const __m256i top = distances8(load8(cur.redBlue), load8(cur.green),
                                   load4x2(src.redBlue, pitch), load4x2(src.green, pitch));
    const __m256i bottom =
        distances8(load8(cur.redBlue + 8), load8(cur.green + 8), load4x2(src.redBlue + a, pitch),
                   load4x2(src.green + a, pitch));
    return score + 16 * sum8(_mm256_add_epi32(top, bottom));
}

namespace avx2 {
// Eight candidates at a time: their block sums gathered as the two 32-bit halves of the sums
// (red | green << 16, and blue), out-of-range candidates masked to INT32_MAX.
template <int S>
__attribute__((target("avx2"))) void lowerBounds(const MotionSearch& m, int32_t* out) {
    constexpr int shift = S == 8 ? 6 : 4;
    const auto* sums = reinterpret_cast<const long long*>(m.sums);
    const __m256i position = _mm256_set1_epi32(int32_t(m.position));
    const __m256i lowest = _mm256_set1_epi32(-1); // start > -1
    const __m256i highest = _mm256_set1_epi32(int32_t(m.limit - m.extent)); // start < this
    const __m256i curRed = _mm256_set1_epi32(int32_t(m.curSums[0]));
    const __m256i curGreen = _mm256_set1_epi32(int32_t(m.curSums[1]));
    const __m256i curBlue = _mm256_set1_epi32(int32_t(m.curSums[2]));
    const __m256i low16 = _mm256_set1_epi32(0xFFFF);
    const __m256i rounding = _mm256_set1_epi32(127 * S * S);
    const __m256i never = _mm256_set1_epi32(INT32_MAX);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    for (int k = 0; k < kMotionCandidateSlots; k += 8) {
        const __m256i start = _mm256_add_epi32(
            position, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m.offsets + k)));
        __m256i valid = _mm256_cmpgt_epi32(_mm256_set1_epi32(m.count),
                                           _mm256_add_epi32(_mm256_set1_epi32(k), lanes));
        if (!m.inside) {
            valid = _mm256_and_si256(valid, _mm256_and_si256(_mm256_cmpgt_epi32(start, lowest),
                                                             _mm256_cmpgt_epi32(highest, start)));
        }
        // Plain loads of the sums (the out-of-range ones from position 0), four candidates
        // 0, 1, 4, 5 and 2, 3, 6, 7 to a vector, so that taking their low and high halves
        // two by two puts them back in order; a gather takes longer on some processors.
        alignas(32) int32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), _mm256_and_si256(start, valid));
        const __m256i a = _mm256_setr_epi64x(sums[at[0]], sums[at[1]], sums[at[4]], sums[at[5]]);
        const __m256i b = _mm256_setr_epi64x(sums[at[2]], sums[at[3]], sums[at[6]], sums[at[7]]);
        const __m256i lo = _mm256_castps_si256(
            _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0x88));
        const __m256i hi = _mm256_castps_si256(
            _mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0xDD));
        const __m256i dr = _mm256_sub_epi32(curRed, _mm256_and_si256(lo, low16));
        const __m256i dg = _mm256_sub_epi32(curGreen, _mm256_srli_epi32(lo, 16));
        const __m256i db = _mm256_sub_epi32(curBlue, hi);
        const __m256i r2 = _mm256_srli_epi32(_mm256_mullo_epi32(dr, dr), shift);
        const __m256i g2 = _mm256_srli_epi32(_mm256_mullo_epi32(dg, dg), shift);
        const __m256i b2 = _mm256_srli_epi32(_mm256_mullo_epi32(db, db), shift);
        __m256i x = _mm256_add_epi32(
            _mm256_add_epi32(_mm256_mullo_epi32(r2, _mm256_set1_epi32(77)),
                             _mm256_mullo_epi32(g2, _mm256_set1_epi32(150))),
            _mm256_mullo_epi32(b2, _mm256_set1_epi32(29)));
        x = _mm256_max_epi32(_mm256_sub_epi32(x, rounding), _mm256_setzero_si256());
        const __m256i cost = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m.costs + k));
        const __m256i bound = _mm256_add_epi32(cost, _mm256_slli_epi32(_mm256_srli_epi32(x, 8), 4));
        _mm256_store_si256(reinterpret_cast<__m256i*>(out + k), _mm256_blendv_epi8(never, bound, valid));
    }
}

__attribute__((target("avx2"))) inline void belowBits(const int32_t* values, int32_t limit,
                                                      uint64_t* bits) {
    static_assert(kMotionCandidateSlots % 8 == 0);
    const __m256i below = _mm256_set1_epi32(limit);
    for (int w = 0; w < kMotionCandidateWords; ++w) {
        bits[w] = 0;
    }
    for (int k = 0; k < kMotionCandidateSlots; k += 8) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(values + k));
        const uint64_t mask =
            uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(below, v))));
        bits[k / 64] |= mask << (k % 64);
    }
}

template <int S>
__attribute__((target("avx2"))) inline int32_t motionScore(ChannelPixels cur, ChannelPixels src,
                                                           size_t pitch, int32_t score,
                                                           int32_t bound) {
    if constexpr (S == 8) {
        return motionScore8Avx2(cur, src, pitch, score, bound);
    } else {
        return motionScore4Avx2(cur, src, pitch, score, bound);
    }
}
#define QUIL_KERNEL_TARGET __attribute__((target("avx2")))
#include "encoder/codec/motion_search.inc"
#undef QUIL_KERNEL_TARGET
} // namespace avx2

__attribute__((target("avx2"))) int32_t patternErrorAvx2(const int32_t* e0, const int32_t* e1,
                                                         uint64_t bits, int n) {
    const __m256i lanes = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
    __m256i sum = _mm256_setzero_si256();
    for (int i = 0; i < n; i += 8) {
        const __m256i byte = _mm256_set1_epi32(int((bits >> i) & 0xFF));
        const __m256i set = _mm256_cmpeq_epi32(_mm256_and_si256(byte, lanes), lanes);
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(e0 + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(e1 + i));
        sum = _mm256_add_epi32(sum, _mm256_blendv_epi8(a, b, set));
    }
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return _mm_cvtsi128_si32(s);
}
#endif

bool forcedScalar() {
    const char* v = std::getenv("QUIL_SCALAR");
    return v && std::strcmp(v, "0") != 0 && *v;
}

} // namespace

std::vector<CoderKernels> availableCoderKernels() {
    std::vector<CoderKernels> kernels{
        {"scalar", patternErrorScalar, motionScoreScalar<8>, motionScoreScalar<4>,
         scalar::searchMotion<8>, scalar::searchMotion<4>}};
#ifdef QUIL_HAVE_X86
    if (__builtin_cpu_supports("avx2")) {
        kernels.push_back({"avx2", patternErrorAvx2, motionScore8Avx2, motionScore4Avx2,
                           avx2::searchMotion<8>, avx2::searchMotion<4>});
    }
#endif
    return kernels;
}

const CoderKernels& coderKernels() {
    static const CoderKernels chosen = [] {
        const std::vector<CoderKernels> all = availableCoderKernels();
        return forcedScalar() ? all.front() : all.back();
    }();
    return chosen;
}

} // namespace quil
