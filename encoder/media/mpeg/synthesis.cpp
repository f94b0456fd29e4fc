// Polyphase synthesis filter bank of MPEG audio (see synthesis.h for the shape).
#include "encoder/media/mpeg/synthesis.h"

#include "encoder/media/mpeg/mpegaudio_tables.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quil::mpeg {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct SynthTables {
    alignas(16) float window[512];
    float dctScale[5][16]; // 1 / (2 cos(pi (2k + 1) / (2n))) for n = 32, 16, 8, 4, 2
    float matrix[64][32];
    SynthTables() {
        for (int i = 0; i < 512; ++i)
            window[i] = float(kSynthesisWindow[i]) / 65536.0f;
        for (int level = 0, n = 32; level < 5; ++level, n /= 2)
            for (int k = 0; k < n / 2; ++k)
                dctScale[level][k] = float(1.0 / (2.0 * std::cos(kPi * (2 * k + 1) / (2.0 * n))));
        for (int i = 0; i < 64; ++i)
            for (int k = 0; k < 32; ++k)
                matrix[i][k] = float(std::cos((16 + i) * (2 * k + 1) * kPi / 64.0));
    }
};

// Built once at start-up; the window it reads is constant-initialised.
const SynthTables g_tables;

inline const SynthTables& tables() {
    return g_tables;
}

// Lee's recursive split: the even outputs are the DCT of the folded sum, the odd outputs
// sums of neighbours of the DCT of the scaled difference.
template <int N> [[gnu::always_inline]] inline void dctRec(const float* in, float* out, int level) {
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        const SynthTables& t = g_tables;
        float a[N / 2], b[N / 2], ea[N / 2], eb[N / 2];
        for (int k = 0; k < N / 2; ++k) {
            a[k] = in[k] + in[N - 1 - k];
            b[k] = (in[k] - in[N - 1 - k]) * t.dctScale[level][k];
        }
        dctRec<N / 2>(a, ea, level + 1);
        dctRec<N / 2>(b, eb, level + 1);
        for (int m = 0; m < N / 2; ++m) {
            out[2 * m] = ea[m];
            out[2 * m + 1] = m + 1 < N / 2 ? eb[m] + eb[m + 1] : eb[m];
        }
    }
}

// Spreads the DCT outputs X into the 64 matrixed values V[i] = X'(16 + i), using
// X'(32) = 0, X'(m) = -X(64 - m) for 32 < m <= 64 and X'(m) = -X(m - 64) above.
void spread(const float* x, float* v) {
    for (int i = 0; i < 16; ++i)
        v[i] = x[16 + i];
    v[16] = 0.0f;
    for (int i = 17; i < 48; ++i)
        v[i] = -x[48 - i];
    v[48] = -x[0];
    for (int i = 49; i < 64; ++i)
        v[i] = -x[i - 48];
}

} // namespace

void SynthesisState::clear() {
    std::memset(v, 0, sizeof v);
    offset[0] = offset[1] = 0;
}

// Clamps before rounding (NaN goes to the low end), so that the vector path, which clamps
// with min/max and converts with the same round-to-nearest-even, gives the same samples.
int16_t roundToPcm(float x) {
    float v = x * 32768.0f;
    if (!(v >= -32768.0f))
        return -32768;
    if (v > 32767.0f)
        v = 32767.0f;
    return int16_t(std::lrint(v));
}

void dct32(const float* in, float* out) {
    dctRec<32>(in, out, 0);
}

void synthesizeScalar(SynthesisState& state, int ch, const float* subbands, int16_t* out,
                      int stride) {
    const SynthTables& t = tables();
    int off = (state.offset[ch] - 64) & 1023;
    state.offset[ch] = off;
    float* v = state.v[ch];
    float x[32];
    dct32(subbands, x);
    spread(x, v + off);
    for (int j = 0; j < 32; ++j) {
        float sum = 0.0f;
        for (int i = 0; i < 8; ++i) {
            sum += v[(off + i * 128 + j) & 1023] * t.window[i * 64 + j];
            sum += v[(off + i * 128 + 96 + j) & 1023] * t.window[i * 64 + 32 + j];
        }
        out[j * stride] = roundToPcm(sum);
    }
}

#if defined(__SSE2__)
// Four outputs at a time; every lane adds its products in the scalar order.
void synthesizeSse2(SynthesisState& state, int ch, const float* subbands, int16_t* out,
                    int stride) {
    const SynthTables& t = g_tables;
    int off = (state.offset[ch] - 64) & 1023;
    state.offset[ch] = off;
    float* v = state.v[ch];
    float x[32];
    dct32(subbands, x);
    spread(x, v + off);
    alignas(16) int32_t pcm[32];
    for (int j = 0; j < 32; j += 4) {
        __m128 sum = _mm_setzero_ps();
        for (int i = 0; i < 8; ++i) {
            // off is a multiple of 64 and j of 4, so each group of four stays inside one block
            const __m128 v0 = _mm_load_ps(v + ((off + i * 128 + j) & 1023));
            const __m128 w0 = _mm_load_ps(t.window + i * 64 + j);
            sum = _mm_add_ps(sum, _mm_mul_ps(v0, w0));
            const __m128 v1 = _mm_load_ps(v + ((off + i * 128 + 96 + j) & 1023));
            const __m128 w1 = _mm_load_ps(t.window + i * 64 + 32 + j);
            sum = _mm_add_ps(sum, _mm_mul_ps(v1, w1));
        }
        sum = _mm_mul_ps(sum, _mm_set1_ps(32768.0f));
        sum = _mm_max_ps(sum, _mm_set1_ps(-32768.0f));
        sum = _mm_min_ps(sum, _mm_set1_ps(32767.0f));
        const __m128i q = _mm_cvtps_epi32(sum);
        _mm_store_si128(reinterpret_cast<__m128i*>(pcm + j), q);
    }
    for (int j = 0; j < 32; ++j)
        out[j * stride] = int16_t(pcm[j]);
}
#endif

void synthesizeTextbook(SynthesisState& state, int ch, const float* subbands, int16_t* out,
                        int stride) {
    const SynthTables& t = tables();
    int off = (state.offset[ch] - 64) & 1023;
    state.offset[ch] = off;
    float* v = state.v[ch];
    for (int i = 0; i < 64; ++i) {
        double s = 0.0;
        for (int k = 0; k < 32; ++k)
            s += double(t.matrix[i][k]) * subbands[k];
        v[off + i] = float(s);
    }
    for (int j = 0; j < 32; ++j) {
        double sum = 0.0;
        for (int i = 0; i < 8; ++i) {
            sum += double(v[(off + i * 128 + j) & 1023]) * t.window[i * 64 + j];
            sum += double(v[(off + i * 128 + 96 + j) & 1023]) * t.window[i * 64 + 32 + j];
        }
        out[j * stride] = roundToPcm(float(sum));
    }
}

SynthesisFn synthesisFunction() {
    static const SynthesisFn fn = [] {
        const char* force = std::getenv("QUIL_MPEG_SCALAR");
        if (force && force[0] == '1')
            return &synthesizeScalar;
#if defined(__SSE2__)
        if (__builtin_cpu_supports("sse2"))
            return &synthesizeSse2;
        return &synthesizeScalar;
#else
        return &synthesizeScalar;
#endif
    }();
    return fn;
}

} // namespace quil::mpeg
