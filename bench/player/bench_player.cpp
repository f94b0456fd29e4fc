// Frames per second of the player's frame access on a 320x240 Truecolor Plus movie (320 x 360
// pixel codes) with a key frame every 50 frames: in order, and at random positions (each seek
// decodes from the key frame at or before it), plus the display conversion of one picture.
// The delta frames mix motion copies, keep blocks, fills, patterns and splits, as coded
// movies do. Figures on this shared machine are taken under load.
#include "player/core/framedecoder.h"
#include "player/core/movie.h"

#include "benchmovie.h"
#include "moviedb/display_tables.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr int kWidth = 320, kRows = 360, kFrames = 300, kKeyInterval = 50;

class Records final : public quil::MovieRecords {
  public:
    std::vector<std::vector<uint8_t>> records;
    int count() const override { return int(records.size()); }
    uint32_t size(int i) const override { return uint32_t(records[size_t(i)].size()); }
    std::optional<std::span<const uint8_t>> get(int i) override {
        if (i < 0 || i >= count()) {
            return std::nullopt;
        }
        return std::span<const uint8_t>(records[size_t(i)]);
    }
    void release(int) override {}
};

Records& movie() {
    static Records records = [] {
        Records r;
        r.records.push_back({});
        for (auto& payload : quil::bench::makeFramePayloads(kWidth, kRows, kFrames, kKeyInterval)) {
            r.records.push_back(std::move(payload));
        }
        return r;
    }();
    return records;
}

void BM_GetFrameInOrder(benchmark::State& state) {
    quil::MoviePayloadDecoder payloads;
    quil::FrameDecoder decoder(payloads);
    decoder.open(&movie(), kWidth, kRows, kKeyInterval, kFrames);
    int frame = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(decoder.GetFrame(frame));
        frame = (frame + 1) % kFrames;
    }
    state.counters["frames_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GetFrameInOrder);

void BM_GetFrameRandomSeek(benchmark::State& state) {
    quil::MoviePayloadDecoder payloads;
    quil::FrameDecoder decoder(payloads);
    decoder.open(&movie(), kWidth, kRows, kKeyInterval, kFrames);
    std::mt19937 rng(11);
    for (auto _ : state) {
        benchmark::DoNotOptimize(decoder.GetFrame(int(rng() % kFrames)));
    }
    state.counters["seeks_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GetFrameRandomSeek);

void BM_ConvertTruecolorPlus(benchmark::State& state) {
    quil::MoviePayloadDecoder payloads;
    quil::FrameDecoder decoder(payloads);
    decoder.open(&movie(), kWidth, kRows, kKeyInterval, kFrames);
    const uint8_t* picture = decoder.GetFrame(7);
    std::vector<uint32_t> out(size_t(kWidth) * 240);
    for (auto _ : state) {
        quil::convertTruecolorToRgb32(picture, kWidth, 240, 25, out.data(), kWidth);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["pictures_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertTruecolorPlus);

} // namespace

BENCHMARK_MAIN();
