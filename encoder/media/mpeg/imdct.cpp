// Long-block IMDCT sums, scalar and SSE2 (see imdct.h).
#include "encoder/media/mpeg/imdct.h"

#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quil::mpeg {

namespace {

struct ImdctTables {
    alignas(16) float cosines[18][20]; // [k][lane], lanes laid out as the sums
    ImdctTables() {
        constexpr double kPi = 3.14159265358979323846;
        auto c = [&](int i, int k) {
            return float(std::cos(kPi / 72.0 * (2 * i + 1 + 18) * (2 * k + 1)));
        };
        for (int k = 0; k < 18; ++k) {
            for (int i = 0; i < 8; ++i) {
                cosines[k][i] = c(i, k);
                cosines[k][8 + i] = c(18 + i, k);
            }
            cosines[k][16] = c(8, k);
            cosines[k][17] = c(26, k);
            cosines[k][18] = cosines[k][19] = 0.0f;
        }
    }
};

const ImdctTables g_imdct;

} // namespace

void imdctLongScalar(const float* x, float* sums) {
    for (int j = 0; j < 20; ++j)
        sums[j] = 0.0f;
    for (int k = 0; k < 18; ++k) {
        const float xk = x[k];
        const float* c = g_imdct.cosines[k];
        for (int j = 0; j < 20; ++j)
            sums[j] += xk * c[j];
    }
}

#if defined(__SSE2__)
void imdctLongSse2(const float* x, float* sums) {
    __m128 a0 = _mm_setzero_ps(), a1 = a0, a2 = a0, a3 = a0, a4 = a0;
    for (int k = 0; k < 18; ++k) {
        const __m128 xk = _mm_set1_ps(x[k]);
        const float* c = g_imdct.cosines[k];
        a0 = _mm_add_ps(a0, _mm_mul_ps(xk, _mm_load_ps(c)));
        a1 = _mm_add_ps(a1, _mm_mul_ps(xk, _mm_load_ps(c + 4)));
        a2 = _mm_add_ps(a2, _mm_mul_ps(xk, _mm_load_ps(c + 8)));
        a3 = _mm_add_ps(a3, _mm_mul_ps(xk, _mm_load_ps(c + 12)));
        a4 = _mm_add_ps(a4, _mm_mul_ps(xk, _mm_load_ps(c + 16)));
    }
    _mm_storeu_ps(sums, a0);
    _mm_storeu_ps(sums + 4, a1);
    _mm_storeu_ps(sums + 8, a2);
    _mm_storeu_ps(sums + 12, a3);
    _mm_storeu_ps(sums + 16, a4);
}
#endif

ImdctLongFn imdctLongFunction() {
    static const ImdctLongFn fn = [] {
        const char* force = std::getenv("QUIL_MPEG_SCALAR");
        if (force && force[0] == '1')
            return &imdctLongScalar;
#if defined(__SSE2__)
        if (__builtin_cpu_supports("sse2"))
            return &imdctLongSse2;
#endif
        return &imdctLongScalar;
    }();
    return fn;
}

} // namespace quil::mpeg
