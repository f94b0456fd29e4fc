// The two stretches. The area stretch is separable: every destination column has a list of
// source columns with normalised coverage weights, every destination row a list of source
// rows; a horizontal pass filters each source row into four floats per destination pixel,
// a vertical pass combines those rows and rounds. Tap lists are padded to one length with
// zero weights (adding 0 * p leaves a sum unchanged), so the vector variants do exactly the
// scalar variant's float operations in the same order and give the same bytes.
//
// Invariant: every column and row index in a tap list lies inside the source bitmap, so no
// variant reads outside it whatever rounding the float edges suffer.
#include "encoder/media/vbitmap.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define QUIL_X86 1
#include <immintrin.h>
#endif

namespace {

struct Taps {
    int count = 0;              // taps per position, padded
    std::vector<int> index;     // [pos * count + k], inside the source
    std::vector<float> w;       // normalised weights, 0 for padding
    std::vector<int> first;     // first index of the footprint
    std::vector<uint8_t> empty; // footprint without weight: copy its first pixel
    bool anyEmpty = false;
};

// Footprints of n destination positions over the source span starting at s with signed
// size (negative mirrors), inside [0, limit).
void buildTaps(Taps& t, int n, double s, double size, int limit) {
    const float fs = float(s), fsize = float(size), fn = float(n);
    std::vector<int> c0s(static_cast<size_t>(n)), c1s(static_cast<size_t>(n));
    std::vector<float> los(static_cast<size_t>(n)), his(static_cast<size_t>(n));
    int maxCount = 1;
    for (int i = 0; i < n; ++i) {
        const float a = float(i) * fsize / fn;
        const float b = float(i + 1) * fsize / fn;
        const float lo = fs + std::min(a, b);
        const float hi = fs + std::max(a, b);
        int c0 = int(std::floor(lo));
        int c1 = int(std::ceil(hi)) - 1;
        c0 = std::clamp(c0, 0, limit - 1);
        c1 = std::clamp(c1, c0, limit - 1);
        c0s[size_t(i)] = c0;
        c1s[size_t(i)] = c1;
        los[size_t(i)] = lo;
        his[size_t(i)] = hi;
        maxCount = std::max(maxCount, c1 - c0 + 1);
    }
    t.count = maxCount;
    t.index.assign(size_t(n) * size_t(maxCount), 0);
    t.w.assign(size_t(n) * size_t(maxCount), 0.0f);
    t.first = c0s;
    t.empty.assign(size_t(n), 0);
    t.anyEmpty = false;
    for (int i = 0; i < n; ++i) {
        const int c0 = c0s[size_t(i)], c1 = c1s[size_t(i)];
        const float lo = los[size_t(i)], hi = his[size_t(i)];
        int* idx = &t.index[size_t(i) * size_t(maxCount)];
        float* w = &t.w[size_t(i) * size_t(maxCount)];
        float sum = 0.0f;
        for (int c = c0; c <= c1; ++c) {
            const float cover = std::min(float(c + 1), hi) - std::max(float(c), lo);
            const float wc = std::clamp(cover, 0.0f, 1.0f);
            idx[c - c0] = c;
            w[c - c0] = wc;
            sum += wc;
        }
        for (int k = c1 - c0 + 1; k < maxCount; ++k) {
            idx[k] = c0;
        }
        if (!(sum > 0.0f)) {
            t.empty[size_t(i)] = 1;
            t.anyEmpty = true;
            std::fill_n(w, maxCount, 0.0f);
            w[0] = 1.0f;
            continue;
        }
        for (int k = 0; k <= c1 - c0; ++k) {
            w[k] /= sum;
        }
    }
}

// out[i * 4 + c] = sum over k of w * channel c of row[index]
using HorizontalFn = void (*)(const uint32_t* row, const Taps& t, int n, float* out);
// dst[i] = rounded sum over k of w[k] * rows[k][i * 4 + c]
using VerticalFn = void (*)(const float* const* rows, const float* w, int taps, int n,
                            uint32_t* dst);

void horizontalScalar(const uint32_t* row, const Taps& t, int n, float* out) {
    const int T = t.count;
    for (int i = 0; i < n; ++i) {
        const int* idx = &t.index[size_t(i) * size_t(T)];
        const float* w = &t.w[size_t(i) * size_t(T)];
        float a0 = 0.0f, a1 = 0.0f, a2 = 0.0f;
        for (int k = 0; k < T; ++k) {
            const uint32_t p = row[idx[k]];
            a0 = a0 + w[k] * float(p & 255);
            a1 = a1 + w[k] * float(p >> 8 & 255);
            a2 = a2 + w[k] * float(p >> 16 & 255);
        }
        out[i * 4 + 0] = a0;
        out[i * 4 + 1] = a1;
        out[i * 4 + 2] = a2;
        out[i * 4 + 3] = 0.0f;
    }
}

inline uint32_t roundChannel(float v) {
    const int q = int(v + 0.5f);
    return uint32_t(std::clamp(q, 0, 255));
}

void verticalScalar(const float* const* rows, const float* w, int taps, int n, uint32_t* dst) {
    for (int i = 0; i < n; ++i) {
        float a0 = 0.0f, a1 = 0.0f, a2 = 0.0f;
        for (int k = 0; k < taps; ++k) {
            const float* p = rows[k] + i * 4;
            a0 = a0 + w[k] * p[0];
            a1 = a1 + w[k] * p[1];
            a2 = a2 + w[k] * p[2];
        }
        dst[i] = roundChannel(a0) | roundChannel(a1) << 8 | roundChannel(a2) << 16;
    }
}

#if QUIL_X86

inline __m128 unpackPixel(uint32_t p) {
    const __m128i zero = _mm_setzero_si128();
    __m128i v = _mm_cvtsi32_si128(int(p));
    v = _mm_unpacklo_epi8(v, zero);
    v = _mm_unpacklo_epi16(v, zero);
    return _mm_cvtepi32_ps(v);
}

inline uint32_t packPixel(__m128 acc) {
    const __m128i q = _mm_cvttps_epi32(_mm_add_ps(acc, _mm_set1_ps(0.5f)));
    const __m128i b = _mm_packus_epi16(_mm_packs_epi32(q, q), _mm_setzero_si128());
    return uint32_t(_mm_cvtsi128_si32(b)) & 0x00FFFFFFu;
}

void horizontalSse2(const uint32_t* row, const Taps& t, int n, float* out) {
    const int T = t.count;
    for (int i = 0; i < n; ++i) {
        const int* idx = &t.index[size_t(i) * size_t(T)];
        const float* w = &t.w[size_t(i) * size_t(T)];
        __m128 acc = _mm_setzero_ps();
        for (int k = 0; k < T; ++k) {
            acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(w[k]), unpackPixel(row[idx[k]])));
        }
        _mm_storeu_ps(out + i * 4, acc);
    }
}

void verticalSse2(const float* const* rows, const float* w, int taps, int n, uint32_t* dst) {
    for (int i = 0; i < n; ++i) {
        __m128 acc = _mm_setzero_ps();
        for (int k = 0; k < taps; ++k) {
            acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(w[k]), _mm_loadu_ps(rows[k] + i * 4)));
        }
        dst[i] = packPixel(acc);
    }
}

__attribute__((target("avx2"))) void horizontalAvx2(const uint32_t* row, const Taps& t, int n,
                                                    float* out) {
    const int T = t.count;
    int i = 0;
    for (; i + 1 < n; i += 2) {
        const int* ia = &t.index[size_t(i) * size_t(T)];
        const int* ib = ia + T;
        const float* wa = &t.w[size_t(i) * size_t(T)];
        const float* wb = wa + T;
        __m256 acc = _mm256_setzero_ps();
        for (int k = 0; k < T; ++k) {
            const __m128i two = _mm_set_epi32(0, 0, int(row[ib[k]]), int(row[ia[k]]));
            const __m256 px = _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(two));
            const __m256 wv = _mm256_set_m128(_mm_set1_ps(wb[k]), _mm_set1_ps(wa[k]));
            acc = _mm256_add_ps(acc, _mm256_mul_ps(wv, px));
        }
        _mm256_storeu_ps(out + i * 4, acc);
    }
    if (i < n) {
        const int* idx = &t.index[size_t(i) * size_t(T)];
        const float* w = &t.w[size_t(i) * size_t(T)];
        __m128 acc = _mm_setzero_ps();
        for (int k = 0; k < T; ++k) {
            acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(w[k]), unpackPixel(row[idx[k]])));
        }
        _mm_storeu_ps(out + i * 4, acc);
    }
}

__attribute__((target("avx2"))) void verticalAvx2(const float* const* rows, const float* w,
                                                  int taps, int n, uint32_t* dst) {
    int i = 0;
    const __m256 half = _mm256_set1_ps(0.5f);
    for (; i + 3 < n; i += 4) {
        __m256 a = _mm256_setzero_ps();
        __m256 b = _mm256_setzero_ps();
        for (int k = 0; k < taps; ++k) {
            const __m256 wk = _mm256_set1_ps(w[k]);
            a = _mm256_add_ps(a, _mm256_mul_ps(wk, _mm256_loadu_ps(rows[k] + i * 4)));
            b = _mm256_add_ps(b, _mm256_mul_ps(wk, _mm256_loadu_ps(rows[k] + i * 4 + 8)));
        }
        const __m256i qa = _mm256_cvttps_epi32(_mm256_add_ps(a, half));
        const __m256i qb = _mm256_cvttps_epi32(_mm256_add_ps(b, half));
        // packs works per 128-bit lane: pixels come out as 0, 2, 1, 3 and are put back.
        const __m256i w16 = _mm256_packs_epi32(qa, qb);
        const __m256i w8 = _mm256_packus_epi16(w16, _mm256_setzero_si256());
        const __m256i ordered =
            _mm256_permutevar8x32_epi32(w8, _mm256_set_epi32(7, 6, 3, 2, 5, 1, 4, 0));
        __m128i four = _mm256_castsi256_si128(ordered);
        four = _mm_and_si128(four, _mm_set1_epi32(0x00FFFFFF));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), four);
    }
    for (; i < n; ++i) {
        __m128 acc = _mm_setzero_ps();
        for (int k = 0; k < taps; ++k) {
            acc = _mm_add_ps(acc, _mm_mul_ps(_mm_set1_ps(w[k]), _mm_loadu_ps(rows[k] + i * 4)));
        }
        dst[i] = packPixel(acc);
    }
}

#endif

bool cpuHas(StretchVariant v) {
    switch (v) {
    case StretchVariant::Scalar:
        return true;
#if QUIL_X86
    case StretchVariant::Sse2:
        return __builtin_cpu_supports("sse2");
    case StretchVariant::Avx2:
        return __builtin_cpu_supports("avx2");
#endif
    default:
        return false;
    }
}

StretchVariant detectVariant() {
    const char* force = std::getenv("QUIL_FORCE_SCALAR");
    if (force && *force && *force != '0') {
        return StretchVariant::Scalar;
    }
    if (cpuHas(StretchVariant::Avx2)) {
        return StretchVariant::Avx2;
    }
    if (cpuHas(StretchVariant::Sse2)) {
        return StretchVariant::Sse2;
    }
    return StretchVariant::Scalar;
}

std::atomic<int> g_variant{-1};

StretchVariant currentVariant() {
    int v = g_variant.load(std::memory_order_relaxed);
    if (v < 0) {
        static const StretchVariant detected = detectVariant();
        v = int(detected);
        int expected = -1;
        g_variant.compare_exchange_strong(expected, v);
        v = g_variant.load(std::memory_order_relaxed);
    }
    return StretchVariant(v);
}

struct Kernels {
    HorizontalFn horizontal;
    VerticalFn vertical;
};

Kernels kernelsFor(StretchVariant v) {
    switch (v) {
#if QUIL_X86
    case StretchVariant::Sse2:
        return {horizontalSse2, verticalSse2};
    case StretchVariant::Avx2:
        return {horizontalAvx2, verticalAvx2};
#endif
    default:
        return {horizontalScalar, verticalScalar};
    }
}

// The mirror rule for negative destination sizes, then the refusals shared by both
// stretches. False when nothing may be drawn.
bool prepareStretch(const VBitmap& dst, const VBitmap* src, int& dx, int& dy, int& dw, int& dh,
                    double& sx, double& sy, double& sw, double& sh) {
    if (!src || !dst.data || !src->data) {
        return false;
    }
    if (dw < 0) {
        dx += dw;
        dw = -dw;
        sx += sw;
        sw = -sw;
    }
    if (dh < 0) {
        dy += dh;
        dh = -dh;
        sy += sh;
        sh = -sh;
    }
    if (dw == 0 || dh == 0) {
        return false;
    }
    if (!std::isfinite(sx) || !std::isfinite(sy) || !std::isfinite(sw) || !std::isfinite(sh)) {
        return false;
    }
    if (dx < 0 || dy < 0 || int64_t(dx) + dw > dst.width || int64_t(dy) + dh > dst.height) {
        return false;
    }
    const double x0 = std::min(sx, sx + sw), x1 = std::max(sx, sx + sw);
    const double y0 = std::min(sy, sy + sh), y1 = std::max(sy, sy + sh);
    return x0 >= 0 && y0 >= 0 && x1 <= src->width && y1 <= src->height && src->width > 0 &&
           src->height > 0;
}

} // namespace

const char* stretchVariantName(StretchVariant v) {
    switch (v) {
    case StretchVariant::Scalar:
        return "scalar";
    case StretchVariant::Sse2:
        return "sse2";
    case StretchVariant::Avx2:
        return "avx2";
    }
    return "?";
}

std::vector<StretchVariant> supportedStretchVariants() {
    std::vector<StretchVariant> out;
    for (StretchVariant v : {StretchVariant::Scalar, StretchVariant::Sse2, StretchVariant::Avx2}) {
        if (cpuHas(v)) {
            out.push_back(v);
        }
    }
    return out;
}

StretchVariant activeStretchVariant() {
    return currentVariant();
}

bool setStretchVariant(StretchVariant v) {
    if (!cpuHas(v)) {
        return false;
    }
    currentVariant();
    g_variant.store(int(v), std::memory_order_relaxed);
    return true;
}

bool VBitmap::StretchBltNearest(int dx, int dy, int dw, int dh, const VBitmap* src, double sx,
                                double sy, double sw, double sh) {
    if (!prepareStretch(*this, src, dx, dy, dw, dh, sx, sy, sw, sh)) {
        return false;
    }
    constexpr double kOne = 4294967296.0;
    const int64_t xstep = int64_t(sw * kOne / dw);
    const int64_t ystep = int64_t(sh * kOne / dh);
    const int64_t x0 = std::llround(sx * kOne) + xstep / 2;
    const int64_t y0 = std::llround(sy * kOne) + ystep / 2;
    std::vector<int> cols(static_cast<size_t>(dw));
    for (int i = 0; i < dw; ++i) {
        cols[size_t(i)] = int(std::clamp<int64_t>((x0 + xstep * i) >> 32, 0, src->width - 1));
    }
    for (int j = 0; j < dh; ++j) {
        const int r = int(std::clamp<int64_t>((y0 + ystep * j) >> 32, 0, src->height - 1));
        const uint32_t* s = src->Row(r);
        uint32_t* d = Row(dy + j) + dx;
        for (int i = 0; i < dw; ++i) {
            d[i] = s[cols[size_t(i)]];
        }
    }
    return true;
}

bool VBitmap::StretchBltArea(int dx, int dy, int dw, int dh, const VBitmap* src, double sx,
                             double sy, double sw, double sh) {
    if (!prepareStretch(*this, src, dx, dy, dw, dh, sx, sy, sw, sh)) {
        return false;
    }
    thread_local Taps cols, rows;
    thread_local std::vector<float> filtered;
    thread_local std::vector<const float*> rowPtrs;
    buildTaps(cols, dw, sx, sw, src->width);
    buildTaps(rows, dh, sy, sh, src->height);

    const auto [minIt, maxIt] = std::minmax_element(rows.index.begin(), rows.index.end());
    const int rMin = *minIt, rMax = *maxIt;
    const size_t stride = size_t(dw) * 4;
    filtered.resize(size_t(rMax - rMin + 1) * stride);
    const Kernels k = kernelsFor(currentVariant());
    // Only rows some footprint names are filtered (padding names rows of its footprint).
    thread_local std::vector<uint8_t> used;
    used.assign(size_t(rMax - rMin + 1), 0);
    for (const int r : rows.index) {
        used[size_t(r - rMin)] = 1;
    }
    for (int r = rMin; r <= rMax; ++r) {
        if (used[size_t(r - rMin)]) {
            k.horizontal(src->Row(r), cols, dw, filtered.data() + size_t(r - rMin) * stride);
        }
    }
    const int T = rows.count;
    rowPtrs.resize(size_t(T));
    for (int j = 0; j < dh; ++j) {
        const int* idx = &rows.index[size_t(j) * size_t(T)];
        const float* w = &rows.w[size_t(j) * size_t(T)];
        for (int t = 0; t < T; ++t) {
            rowPtrs[size_t(t)] = filtered.data() + size_t(idx[t] - rMin) * stride;
        }
        k.vertical(rowPtrs.data(), w, T, dw, Row(dy + j) + dx);
    }
    if (cols.anyEmpty || rows.anyEmpty) {
        for (int j = 0; j < dh; ++j) {
            for (int i = 0; i < dw; ++i) {
                if (cols.empty[size_t(i)] || rows.empty[size_t(j)]) {
                    Row(dy + j)[dx + i] =
                        src->Row(rows.first[size_t(j)])[cols.first[size_t(i)]] & 0x00FFFFFFu;
                }
            }
        }
    }
    return true;
}
