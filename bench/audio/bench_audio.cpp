// Audio record conversion alone: 44.1 kHz stereo 16-bit input held in memory, records
// written to /dev/null. The counter audio_x is seconds of audio converted per second of
// wall time (the real-time factor); run with --benchmark_format=json for a script.
#include "encoder/media/audioconv.h"
#include "encoder/media/memoryaudio.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>

namespace {

constexpr int kInputRate = 44100;
constexpr int kSeconds = 30;

MemoryAudioSource& Source() {
    static MemoryAudioSource* src = [] {
        auto* s = new MemoryAudioSource;
        MemoryAudioFormat f;
        f.samplesPerSec = kInputRate;
        f.bitsPerSample = 16;
        f.channels = 2;
        s->Generate(f, kInputRate * kSeconds, [](int i, int c) {
            const double t = double(i) / kInputRate;
            return 0.4 * std::sin(2 * M_PI * 440.0 * t + c) + 0.3 * std::sin(2 * M_PI * 3100.0 * t);
        });
        return s;
    }();
    return *src;
}

// args: 0 standard, 1 ADPCM, 2 hi-fi; then 1 to force the scalar kernel.
void BM_EncodeAudioRecords(benchmark::State& state) {
    AudioConversionOptions opts;
    opts.bUseADPCM = state.range(0) == 1;
    opts.bAudioHifi = state.range(0) == 2;
    opts.bEnablePrefilter = true;
    ForceScalarFirKernel(state.range(1) != 0);
    const int perRecord = opts.samplesPerRecord();
    const int records = int((int64_t(kSeconds) * opts.outputRate() + perRecord - 1) / perRecord);
    // Only whole records of real input count as converted audio.
    const double audioSeconds = double(records) * perRecord / opts.outputRate();
    std::vector<uint32_t> offsets(static_cast<size_t>(records));
    std::atomic<bool> stop{false};
    FILE* out = std::fopen("/dev/null", "wb");
    for (auto _ : state) {
        const int rc = EncodeAudioRecords(Source(), opts, out, records, offsets, 0, 0, stop, {});
        if (rc != 0) {
            state.SkipWithError("conversion failed");
            break;
        }
    }
    std::fclose(out);
    ForceScalarFirKernel(false);
    state.counters["audio_x"] =
        benchmark::Counter(audioSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
    state.SetLabel(state.range(1) ? "scalar"
                                  : (SelectedFirKernel() == FirKernel::Avx2 ? "avx2" : "sse2"));
}

} // namespace

BENCHMARK(BM_EncodeAudioRecords)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"format", "scalar"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
