// Audio conversion for movie audio records: the source's samples are resampled to 10000 or
// 20000 samples per second by a bank of 16 windowed-sinc phases (501 taps each, optional
// 200 Hz high-pass and gain), mixed to mono and stored as unsigned 8-bit PCM or as 4-bit
// IMA ADPCM, one fixed-size record at a time. The engine owns the output stream and the
// record list; this code appends the records and fills in their offsets.
//
// The output position is 16.16 fixed point relative to the input window, so bits 12-15 pick
// the filter phase and each output sample costs one 501-term dot product. The dot product
// runs with 32 partial sums in a fixed order, so the scalar and SIMD kernels give the same
// float, bit for bit.
#pragma once

#include "encoder/media/streamsource.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

// What the conversion reads from the encoding parameters.
struct AudioConversionOptions {
    bool bAudioHifi = false;       // 20000 samples per second, always 8-bit
    bool bUseADPCM = false;        // 4-bit IMA ADPCM unless bAudioHifi is set
    bool bEnablePrefilter = false; // remove frequencies below 200 Hz
    bool bAudioBoost = false;      // scale every tap by nAudioBoostVal percent
    int32_t nAudioBoostVal = 150;

    bool adpcm() const { return bUseADPCM && !bAudioHifi; }
    int outputRate() const { return bAudioHifi ? 20000 : 10000; }
    int samplesPerRecord() const { return adpcm() ? 65536 : 32768; }
    int recordBytes() const { return adpcm() ? 32772 : 32768; }
};

// Progress hook: code 5 with (records done, record count), code 1 with (1, 0) at the end.
using AudioProgressFn = std::function<void(int code, int32_t a, int32_t b)>;

inline constexpr int kAudioProgressRecords = 5;
inline constexpr int kAudioProgressDone = 1;

enum AudioRecordsResult : int {
    kAudioRecordsDone = 0,
    kAudioRecordsEnded = -1,       // stop request, source error or unusable source format
    kAudioRecordsWriteFailed = -2, // the output stream refused a record
};

// Appends recordCount audio records to out, starting at its current position, from the
// source's audio at startMs milliseconds on; past the source's end the records carry
// silence. recordOffsets[firstEntry + n] receives the file offset of record n. The stop
// flag is polled before every record. Returns an AudioRecordsResult; code 1 is reported
// only on success.
int EncodeAudioRecords(AudioStreamSource& src, const AudioConversionOptions& opts, FILE* out,
                       int recordCount, std::vector<uint32_t>& recordOffsets, int firstEntry,
                       int startMs, const std::atomic<bool>& stop, const AudioProgressFn& report);

// ---- Building blocks, also used by the tests and the benchmark ----

inline constexpr int kAudioFilterPhases = 16;
inline constexpr int kAudioFilterTaps = 501;
inline constexpr int kAudioFilterCentre = 250;
// Each phase is stored with zeros up to this length so the dot product runs over whole
// vectors; the window keeps as many readable floats past its end.
inline constexpr int kAudioFilterStride = 512;
inline constexpr int kAudioWindowSamples = 32768;

struct AudioFilterBank {
    std::vector<float> taps; // kAudioFilterPhases rows of kAudioFilterStride floats
    const float* phase(int k) const { return taps.data() + size_t(k) * kAudioFilterStride; }
};

// Designs the 16 phases for an input rate (> 0) and the options' output rate, pre-filter
// and boost. Phase k is delayed by k / 16 of an input sample.
AudioFilterBank BuildAudioFilterBank(uint32_t inputRate, const AudioConversionOptions& opts);

// Input samples per output sample in 16.16 fixed point, rounded to nearest; -1 when the
// rates give no usable step.
int32_t AudioResampleStep(uint32_t inputRate, int outputRate);

// ITU-T G.711 expansion to 16-bit linear.
int16_t ALawToLinear(uint8_t code);
int16_t MuLawToLinear(uint8_t code);

// Turns raw sample blocks of one source format into mono floats in -1..1.
class AudioSampleReader {
  public:
    enum class Kind { Unsigned8, ALaw, MuLaw, Signed16, WideSigned };

    // Empty when the format cannot be read: no channels, a block too small for the
    // samples it must hold, or more than 32 bits per sample.
    static std::optional<AudioSampleReader> Select(const AudioStreamInfo& info);

    // Converts count blocks from src (count * blockAlign bytes) into dst.
    void Convert(const uint8_t* src, int count, float* dst) const;

    Kind kind() const { return m_kind; }
    bool stereo() const { return m_stereo; }

  private:
    Kind m_kind = Kind::Unsigned8;
    bool m_stereo = false;
    int m_stride = 1;      // bytes from one block to the next
    int m_sampleBytes = 1; // bytes of one channel's sample
};

// The 512-term dot product of the resampler: kernels and their one-time selection.
enum class FirKernel { Scalar, Sse2, Avx2 };
using FirDotFn = float (*)(const float* window, const float* taps);

float FirDotScalar(const float* window, const float* taps);
// The kernels this processor can run, scalar first.
std::vector<FirKernel> SupportedFirKernels();
// Null when the processor cannot run the kernel.
FirDotFn FirKernelFunction(FirKernel kernel);
// The kernel conversions use: the best supported one, or the scalar one when forced by
// ForceScalarFirKernel(true) or by the environment variable QUIL_FORCE_SCALAR=1.
FirKernel SelectedFirKernel();
void ForceScalarFirKernel(bool force);
