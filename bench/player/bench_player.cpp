// Frames per second of the player's frame access on a 320x240 Truecolor Plus movie (320 x 360
// pixel codes) with a key frame every 50 frames: in order, and at random positions (each seek
// decodes from the key frame at or before it), plus the display conversion of one picture.
// The delta frames mix motion copies, keep blocks, fills, patterns and splits, as coded
// movies do. Figures on this shared machine are taken under load.
#include "player/core/framedecoder.h"
#include "player/core/movie.h"

#include "encoder/codec/payload_writer.h"
#include "moviedb/display_tables.h"

#include <benchmark/benchmark.h>

#include <random>

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

quil::BlockCode randomBlock(std::mt19937& rng, int size) {
    const int kind = int(rng() % 100);
    if (kind < 40) {
        return quil::motionBlock(size, int(rng() % 225));
    }
    if (kind < 60) {
        return quil::keepBlock(size);
    }
    if (kind < 75) {
        return quil::fillBlock(size, uint8_t(rng()));
    }
    if (kind < 90 && size > 2) {
        return quil::patternBlock(size, uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
    }
    if (size == 2) {
        return quil::rawBlock(uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
    }
    return quil::splitBlock(size);
}

void addBlock(std::mt19937& rng, int size, std::vector<quil::BlockCode>& blocks) {
    const quil::BlockCode block = randomBlock(rng, size);
    blocks.push_back(block);
    if (block.opcode == quil::kOpSplit && size > 2) {
        for (int q = 0; q < 4; ++q) {
            addBlock(rng, size / 2, blocks);
        }
    }
}

Records& movie() {
    static Records records = [] {
        Records r;
        std::mt19937 rng(7);
        r.records.push_back({});
        for (int f = 0; f < kFrames; ++f) {
            std::vector<uint8_t> payload(100000);
            size_t n = 0;
            if (f % kKeyInterval == 0) {
                std::vector<uint8_t> pixels(quil::keyPixelDataSize(kWidth, kRows));
                for (auto& p : pixels) {
                    p = uint8_t(17 + rng() % 128);
                }
                n = quil::writeKeyFrame(payload, pixels, nullptr);
            } else {
                std::vector<quil::BlockCode> blocks;
                for (int b = 0; b < (kWidth / 8) * (kRows / 8); ++b) {
                    addBlock(rng, 8, blocks);
                }
                n = quil::writeDeltaFrame(payload, {1, 2, 3, 4, 5, 6, 7, 8}, blocks);
            }
            payload.resize(n);
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
    state.counters["frames_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
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
    state.counters["seeks_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
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
    state.counters["pictures_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertTruecolorPlus);

} // namespace

BENCHMARK_MAIN();
