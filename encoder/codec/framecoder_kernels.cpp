// Scalar and AVX2 versions of the frame coder's pattern error sum.
#include "encoder/codec/framecoder_kernels.h"

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

int32_t motionScore8Scalar(const int32_t* dist, const int32_t* cur, const uint8_t* src,
                           size_t pitch, int32_t score, int32_t bound) {
    for (int y = 0; y < 8 && score < bound; ++y) {
        const int32_t* c = cur + 8 * y;
        const uint8_t* s = src + size_t(y) * pitch;
        int32_t e = 0;
        for (int x = 0; x < 8; ++x) {
            e += dist[c[x] | s[x]];
        }
        score += 16 * e;
    }
    return score;
}

#ifdef QUIL_HAVE_X86
__attribute__((target("avx2"))) int32_t motionScore8Avx2(const int32_t* dist, const int32_t* cur,
                                                         const uint8_t* src, size_t pitch,
                                                         int32_t score, int32_t bound) {
    for (int y = 0; y < 8 && score < bound; ++y) {
        const __m128i s8 =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + size_t(y) * pitch));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cur + 8 * y));
        const __m256i index = _mm256_or_si256(c, _mm256_cvtepu8_epi32(s8));
        const __m256i d = _mm256_i32gather_epi32(dist, index, 4);
        __m128i t = _mm_add_epi32(_mm256_castsi256_si128(d), _mm256_extracti128_si256(d, 1));
        t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0x4E));
        t = _mm_add_epi32(t, _mm_shuffle_epi32(t, 0xB1));
        score += 16 * _mm_cvtsi128_si32(t);
    }
    return score;
}

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
    std::vector<CoderKernels> kernels{{"scalar", patternErrorScalar, motionScore8Scalar}};
#ifdef QUIL_HAVE_X86
    if (__builtin_cpu_supports("avx2")) {
        kernels.push_back({"avx2", patternErrorAvx2, motionScore8Avx2});
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
