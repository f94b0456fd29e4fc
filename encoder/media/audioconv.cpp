// Audio record conversion: filter bank design, sample readers, the resampling loop with its
// window refills, 8-bit and IMA ADPCM output. See audioconv.h for the overall shape.
#include "encoder/media/audioconv.h"

#include "moviedb/adpcm.h"
#include "moviedb/muldiv.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUIL_AUDIO_X86 1
#endif

// The kernels must round every product and every sum on its own, as the scalar one does
// (g++ contracts nothing in ISO mode without FMA in the target).
#ifdef __clang__
#pragma STDC FP_CONTRACT OFF
#endif

namespace {

constexpr double kPi = 3.14159265358979323846;

// Low-pass of cut-off f (cycles per input sample) delayed by d input samples, Blackman
// window of period 400 evaluated at the tap position, normalised to a sum of 1.
void designLowPass(double f, double d, float* taps) {
    double sum = 0.0;
    for (int i = 0; i < kAudioFilterTaps; ++i) {
        const double x = i - d;
        const double a = 2.0 * kPi * f * (x - kAudioFilterCentre);
        const double h = std::fabs(a) < 1e-30 ? 1.0 : std::sin(a) / a;
        const double w =
            0.42 - 0.5 * std::cos(2.0 * kPi * x / 400.0) + 0.08 * std::cos(4.0 * kPi * x / 400.0);
        taps[i] = float(h * w);
        sum += taps[i];
    }
    const float factor = float(1.0 / sum);
    for (int i = 0; i < kAudioFilterTaps; ++i) {
        taps[i] *= factor;
    }
}

} // namespace

AudioFilterBank BuildAudioFilterBank(uint32_t inputRate, const AudioConversionOptions& opts) {
    AudioFilterBank bank;
    bank.taps.assign(size_t(kAudioFilterPhases) * kAudioFilterStride, 0.0f);
    const double rin = double(inputRate);
    const double rout = opts.outputRate();
    const double fc = rin > rout ? (rout / 2.0) / rin : 0.5;
    float highPass[kAudioFilterTaps];
    for (int k = 0; k < kAudioFilterPhases; ++k) {
        float* row = bank.taps.data() + size_t(k) * kAudioFilterStride;
        const double d = k / 16.0;
        designLowPass(fc, d, row);
        if (opts.bEnablePrefilter) {
            designLowPass(200.0 / rin, d, highPass);
            for (int i = 0; i < kAudioFilterTaps; ++i) {
                row[i] -= highPass[i];
            }
        }
    }
    if (opts.bAudioBoost) {
        const float gain = float(opts.nAudioBoostVal) / 100.0f;
        for (float& t : bank.taps) {
            t *= gain;
        }
    }
    return bank;
}

int32_t AudioResampleStep(uint32_t inputRate, int outputRate) {
    if (inputRate == 0 || inputRate > uint32_t(INT32_MAX) || outputRate <= 0) {
        return -1;
    }
    const int32_t step = quil::MulDiv(int32_t(inputRate), 65536, outputRate);
    return step > 0 ? step : -1;
}

// ---- G.711 ----

int16_t ALawToLinear(uint8_t code) {
    const int a = code ^ 0x55;
    int t = (a & 0x0f) << 4;
    const int seg = (a & 0x70) >> 4;
    if (seg == 0) {
        t += 8;
    } else {
        t = (t + 0x108) << (seg - 1);
    }
    return int16_t((a & 0x80) ? t : -t);
}

int16_t MuLawToLinear(uint8_t code) {
    const int u = ~code & 0xff;
    const int t = (((u & 0x0f) << 3) + 0x84) << ((u & 0x70) >> 4);
    return int16_t((u & 0x80) ? 0x84 - t : t - 0x84);
}

// ---- Sample readers ----

std::optional<AudioSampleReader> AudioSampleReader::Select(const AudioStreamInfo& info) {
    if (info.channels <= 0 || info.bitsPerSample <= 0 || info.bitsPerSample > 32 ||
        info.blockAlign <= 0) {
        return std::nullopt;
    }
    AudioSampleReader r;
    r.m_stereo = info.channels >= 2;
    const int channelsRead = r.m_stereo ? 2 : 1;
    if (info.bitsPerSample <= 8) {
        r.m_kind = info.formatTag == 6   ? Kind::ALaw
                   : info.formatTag == 7 ? Kind::MuLaw
                                         : Kind::Unsigned8;
        r.m_sampleBytes = 1;
        r.m_stride = info.blockAlign;
    } else if (info.bitsPerSample <= 16) {
        r.m_kind = Kind::Signed16;
        r.m_sampleBytes = 2;
        r.m_stride = info.blockAlign & ~1;
    } else {
        // 24- and 32-bit PCM: the top 16 bits of each little-endian sample.
        r.m_kind = Kind::WideSigned;
        r.m_sampleBytes = (info.bitsPerSample + 7) / 8;
        r.m_stride = info.blockAlign;
    }
    if (r.m_stride < r.m_sampleBytes * channelsRead) {
        return std::nullopt;
    }
    return r;
}

namespace {

inline int32_t le16(const uint8_t* p) {
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
}

} // namespace

void AudioSampleReader::Convert(const uint8_t* src, int count, float* dst) const {
    const int s = m_stride;
    const int b = m_sampleBytes;
    switch (m_kind) {
    case Kind::Unsigned8:
        if (m_stereo) {
            for (int i = 0; i < count; ++i, src += s) {
                dst[i] = float(int(src[0]) + int(src[1]) - 256) / 256.0f;
            }
        } else {
            for (int i = 0; i < count; ++i, src += s) {
                dst[i] = float(int(src[0]) - 128) / 128.0f;
            }
        }
        break;
    case Kind::ALaw:
    case Kind::MuLaw: {
        const auto expand = m_kind == Kind::ALaw ? ALawToLinear : MuLawToLinear;
        if (m_stereo) {
            for (int i = 0; i < count; ++i, src += s) {
                dst[i] = float(expand(src[0]) + expand(src[1])) / 65536.0f;
            }
        } else {
            for (int i = 0; i < count; ++i, src += s) {
                dst[i] = float(expand(src[0])) / 32768.0f;
            }
        }
        break;
    }
    case Kind::Signed16:
    case Kind::WideSigned: {
        const int top = b - 2; // offset of the most significant 16 bits within a sample
        if (m_stereo) {
            for (int i = 0; i < count; ++i, src += s) {
                dst[i] = float(le16(src + top) + le16(src + b + top)) / 65536.0f;
            }
        } else {
            for (int i = 0; i < count; ++i, src += s) {
                dst[i] = float(le16(src + top)) / 32768.0f;
            }
        }
        break;
    }
    }
}

// ---- Dot product kernels ----
//
// All kernels compute the same sum: partial sum l (0..31) adds window[t] * taps[t] for
// t = l, l + 32, ... in increasing t; the partial sums are then folded in halves
// (l += l + 16, then + 8, + 4, + 2, + 1).

namespace {
constexpr int kLanes = 32;
}

float FirDotScalar(const float* window, const float* taps) {
    float acc[kLanes] = {};
    for (int base = 0; base < kAudioFilterStride; base += kLanes) {
        for (int l = 0; l < kLanes; ++l) {
            const float p = window[base + l] * taps[base + l];
            acc[l] = acc[l] + p;
        }
    }
    for (int width = kLanes / 2; width >= 1; width /= 2) {
        for (int l = 0; l < width; ++l) {
            acc[l] = acc[l] + acc[l + width];
        }
    }
    return acc[0];
}

#ifdef QUIL_AUDIO_X86

namespace {

__attribute__((target("sse2"))) float firDotSse2(const float* window, const float* taps) {
    __m128 a[8];
    for (int k = 0; k < 8; ++k) {
        a[k] = _mm_setzero_ps();
    }
    for (int base = 0; base < kAudioFilterStride; base += kLanes) {
        for (int k = 0; k < 8; ++k) {
            const __m128 p =
                _mm_mul_ps(_mm_loadu_ps(window + base + 4 * k), _mm_loadu_ps(taps + base + 4 * k));
            a[k] = _mm_add_ps(a[k], p);
        }
    }
    for (int k = 0; k < 4; ++k) {
        a[k] = _mm_add_ps(a[k], a[k + 4]); // lanes l and l + 16
    }
    a[0] = _mm_add_ps(a[0], a[2]); // l and l + 8
    a[1] = _mm_add_ps(a[1], a[3]);
    __m128 v = _mm_add_ps(a[0], a[1]);      // l and l + 4
    v = _mm_add_ps(v, _mm_movehl_ps(v, v)); // l and l + 2
    v = _mm_add_ss(v, _mm_shuffle_ps(v, v, 1));
    return _mm_cvtss_f32(v);
}

__attribute__((target("avx2"))) float firDotAvx2(const float* window, const float* taps) {
    __m256 a0 = _mm256_setzero_ps();
    __m256 a1 = _mm256_setzero_ps();
    __m256 a2 = _mm256_setzero_ps();
    __m256 a3 = _mm256_setzero_ps();
    for (int base = 0; base < kAudioFilterStride; base += kLanes) {
        a0 = _mm256_add_ps(
            a0, _mm256_mul_ps(_mm256_loadu_ps(window + base), _mm256_loadu_ps(taps + base)));
        a1 = _mm256_add_ps(a1, _mm256_mul_ps(_mm256_loadu_ps(window + base + 8),
                                             _mm256_loadu_ps(taps + base + 8)));
        a2 = _mm256_add_ps(a2, _mm256_mul_ps(_mm256_loadu_ps(window + base + 16),
                                             _mm256_loadu_ps(taps + base + 16)));
        a3 = _mm256_add_ps(a3, _mm256_mul_ps(_mm256_loadu_ps(window + base + 24),
                                             _mm256_loadu_ps(taps + base + 24)));
    }
    const __m256 b = _mm256_add_ps(_mm256_add_ps(a0, a2), _mm256_add_ps(a1, a3));
    __m128 v = _mm_add_ps(_mm256_castps256_ps128(b), _mm256_extractf128_ps(b, 1));
    v = _mm_add_ps(v, _mm_movehl_ps(v, v));
    v = _mm_add_ss(v, _mm_shuffle_ps(v, v, 1));
    return _mm_cvtss_f32(v);
}

} // namespace

#endif

std::vector<FirKernel> SupportedFirKernels() {
    std::vector<FirKernel> kernels{FirKernel::Scalar};
#ifdef QUIL_AUDIO_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse2")) {
        kernels.push_back(FirKernel::Sse2);
    }
    if (__builtin_cpu_supports("avx2")) {
        kernels.push_back(FirKernel::Avx2);
    }
#endif
    return kernels;
}

FirDotFn FirKernelFunction(FirKernel kernel) {
    const auto supported = SupportedFirKernels();
    if (std::find(supported.begin(), supported.end(), kernel) == supported.end()) {
        return nullptr;
    }
    switch (kernel) {
    case FirKernel::Scalar:
        return FirDotScalar;
#ifdef QUIL_AUDIO_X86
    case FirKernel::Sse2:
        return firDotSse2;
    case FirKernel::Avx2:
        return firDotAvx2;
#else
    default:
        return nullptr;
#endif
    }
    return nullptr;
}

namespace {

std::atomic<bool> g_forceScalar{false};

FirKernel bestFirKernel() {
    static const FirKernel best = [] {
        const char* env = std::getenv("QUIL_FORCE_SCALAR");
        if (env != nullptr && env[0] != '\0' && env[0] != '0') {
            return FirKernel::Scalar;
        }
        return SupportedFirKernels().back();
    }();
    return best;
}

} // namespace

FirKernel SelectedFirKernel() {
    return g_forceScalar.load(std::memory_order_relaxed) ? FirKernel::Scalar : bestFirKernel();
}

void ForceScalarFirKernel(bool force) {
    g_forceScalar.store(force, std::memory_order_relaxed);
}

// ---- Conversion ----

namespace {

// Larger blocks than this are read in several pieces.
constexpr int kStagingBytesMax = 1 << 20;

// Both quantisers work in single precision: the leakage of the sinc's zero crossings
// (around 1e-16 per tap) then vanishes and silence stays exactly 128 or 0.

uint8_t quantize8(float y) {
    if (y < -1.0f) {
        return 0;
    }
    if (y > 1.0f) {
        return 255;
    }
    return uint8_t(std::floor(127.5f * y + 128.0f));
}

int16_t quantize16(float y) {
    if (y < -1.0f) {
        return -32768;
    }
    if (y > 1.0f) {
        return 32767;
    }
    return int16_t(std::floor(32767.0f * y + 0.5f));
}

class AudioRecordWriter {
  public:
    AudioRecordWriter(AudioStreamSource& src, const AudioConversionOptions& opts)
        : m_src(src), m_opts(opts) {}

    int run(FILE* out, int recordCount, std::vector<uint32_t>& offsets, int firstEntry, int startMs,
            const std::atomic<bool>& stop, const AudioProgressFn& report);

  private:
    // Makes sure the window holds a full filter span from the current position on.
    bool refill();
    bool setUp(int startMs);

    AudioStreamSource& m_src;
    AudioConversionOptions m_opts;
    AudioFilterBank m_bank;
    std::optional<AudioSampleReader> m_reader;
    FirDotFn m_dot = FirDotScalar;
    std::vector<float> m_window; // kAudioWindowSamples plus readable padding
    std::vector<uint8_t> m_staging;
    int m_blockAlign = 1;
    int m_stagingBlocks = 1;
    int64_t m_position = 0; // 16.16, relative to m_window[0]
    int32_t m_step = 0;
    int m_fill = 0;
    int m_zeroFrom = 0; // m_window holds zeros from here to its end
    int64_t m_readPos = 0;
    int64_t m_end = 0;
};

bool AudioRecordWriter::setUp(int startMs) {
    AudioStreamInfo info;
    if (m_src.GetInfo(&info) != 0) {
        return false;
    }
    m_reader = AudioSampleReader::Select(info);
    m_step = AudioResampleStep(info.samplesPerSec, m_opts.outputRate());
    if (!m_reader || m_step <= 0 || info.blockAlign > kStagingBytesMax) {
        return false;
    }
    m_readPos += int64_t(info.samplesPerSec) * startMs / 1000;
    m_bank = BuildAudioFilterBank(info.samplesPerSec, m_opts);
    m_blockAlign = info.blockAlign;
    m_stagingBlocks = std::min(kAudioWindowSamples, kStagingBytesMax / m_blockAlign);
    m_staging.assign(size_t(m_stagingBlocks) * size_t(m_blockAlign), 0);
    m_window.assign(kAudioWindowSamples + kAudioFilterStride, 0.0f);
    m_fill = kAudioFilterCentre;
    m_zeroFrom = 0;
    m_position = 0;
    m_dot = FirKernelFunction(SelectedFirKernel());
    if (m_dot == nullptr) {
        m_dot = FirDotScalar;
    }
    return true;
}

bool AudioRecordWriter::refill() {
    const int64_t i0 = m_position >> 16;
    if (i0 >= 1) {
        if (i0 >= m_fill) {
            // Only rates far above the output rate step past the whole window.
            m_readPos += i0 - m_fill;
            m_fill = 0;
        } else {
            std::memmove(m_window.data(), m_window.data() + i0,
                         size_t(m_fill - i0) * sizeof(float));
            m_fill -= int(i0);
        }
        m_position -= i0 << 16;
    }
    int64_t want = std::min<int64_t>(kAudioWindowSamples - m_fill, m_end - m_readPos);
    // A source may deliver fewer blocks than asked for; keep reading so that no silence
    // is slipped into the middle of the sound.
    while (want > 0) {
        const int ask = int(std::min<int64_t>(want, m_stagingBlocks));
        int bytes = -1;
        int blocks = 0;
        if (m_src.Read(int(m_readPos), ask, m_staging.data(), ask * m_blockAlign, &bytes,
                       &blocks) != 0) {
            return false;
        }
        if (bytes >= 0) {
            blocks = std::min(blocks, bytes / m_blockAlign);
        }
        blocks = std::clamp(blocks, 0, ask);
        if (blocks == 0) {
            break;
        }
        m_reader->Convert(m_staging.data(), blocks, m_window.data() + m_fill);
        m_readPos += blocks;
        m_fill += blocks;
        want -= blocks;
    }
    // Pad with silence. What lies past the old zero mark is zero already (the move above
    // only brings zeros down from there), so a source that has ended costs nothing here.
    if (m_fill < m_zeroFrom) {
        std::fill(m_window.begin() + m_fill, m_window.begin() + m_zeroFrom, 0.0f);
    }
    m_zeroFrom = m_fill;
    m_fill = kAudioWindowSamples;
    return true;
}

int AudioRecordWriter::run(FILE* out, int recordCount, std::vector<uint32_t>& offsets,
                           int firstEntry, int startMs, const std::atomic<bool>& stop,
                           const AudioProgressFn& report) {
    const int64_t first = m_src.GetStart();
    const int64_t length = m_src.GetLength();
    m_readPos = first;
    m_end = std::min<int64_t>(first + std::max<int64_t>(length, 0), INT_MAX);
    report(kAudioProgressRecords, 0, recordCount);
    if (!setUp(startMs)) {
        return kAudioRecordsEnded;
    }

    const bool adpcm = m_opts.adpcm();
    const int m = m_opts.samplesPerRecord();
    std::vector<uint8_t> block(quil::kAdpcmRecordCodeBytes);
    std::vector<int16_t> pcm16(adpcm ? m : 0);
    quil::AdpcmState state;

    for (int n = 0; n < recordCount; ++n) {
        if (stop.load(std::memory_order_relaxed)) {
            return kAudioRecordsEnded;
        }
        const auto offset = ftello(out);
        if (offset < 0 || offset > int64_t(UINT32_MAX)) {
            return kAudioRecordsWriteFailed;
        }
        offsets[size_t(firstEntry) + size_t(n)] = uint32_t(offset);

        for (int j = 0; j < m; ++j) {
            if (m_fill - (m_position >> 16) < kAudioFilterTaps && !refill()) {
                return kAudioRecordsEnded;
            }
            const float* x = m_window.data() + (m_position >> 16);
            const float y = m_dot(x, m_bank.phase(int(m_position >> 12) & 15));
            if (adpcm) {
                pcm16[j] = quantize16((j & 1) ? -y : y);
            } else {
                block[j] = quantize8(y);
            }
            m_position += m_step;
        }

        if (adpcm) {
            quil::AdpcmEncodeBlock(pcm16.data(), pcm16.size(), block.data(), state);
        }
        if (std::fwrite(block.data(), 1, block.size(), out) != block.size()) {
            return kAudioRecordsWriteFailed;
        }
        if (adpcm) {
            const auto trailer = quil::AdpcmMakeTrailer(state);
            if (std::fwrite(trailer.data(), 1, trailer.size(), out) != trailer.size()) {
                return kAudioRecordsWriteFailed;
            }
        }
        report(kAudioProgressRecords, n + 1, recordCount);
    }
    report(kAudioProgressDone, 1, 0);
    return kAudioRecordsDone;
}

} // namespace

int EncodeAudioRecords(AudioStreamSource& src, const AudioConversionOptions& opts, FILE* out,
                       int recordCount, std::vector<uint32_t>& recordOffsets, int firstEntry,
                       int startMs, const std::atomic<bool>& stop, const AudioProgressFn& report) {
    if (out == nullptr || recordCount < 0 || firstEntry < 0 || startMs < 0 ||
        recordOffsets.size() < size_t(firstEntry) + size_t(recordCount)) {
        return kAudioRecordsEnded;
    }
    const AudioProgressFn noReport = [](int, int32_t, int32_t) {};
    AudioRecordWriter writer(src, opts);
    return writer.run(out, recordCount, recordOffsets, firstEntry, startMs, stop,
                      report ? report : noReport);
}
