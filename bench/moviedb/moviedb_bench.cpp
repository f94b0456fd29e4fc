// Throughput of the movie database writer and reader on a typical 20-second movie (300
// frame records of 4000 bytes and 7 audio records), held in memory so that the figures
// measure our code rather than the disk; and the cost of scrambling one header.
#include "moviedb/moviedbreader.h"
#include "moviedb/moviedbwriter.h"
#include "moviedb/movieheader.h"
#include "moviedb/password.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <vector>

namespace {

constexpr int kFrames = 300;
constexpr int kAudio = 7;
constexpr size_t kFrameBytes = 4000;
constexpr size_t kAudioBytes = 32768;
constexpr size_t kMovieBytes =
    78 + 8 * (kFrames + kAudio + 1) + 64 + kFrames * kFrameBytes + kAudio * kAudioBytes;

bool writeMovie(std::FILE* f) {
    static const std::vector<uint8_t> frame(kFrameBytes, 0x21);
    static const std::vector<uint8_t> audio(kAudioBytes, 0x80);
    quil::MovieDbWriter w(f);
    quil::MovieHeader h;
    h.setFrameRate(15.0);
    h.frameCount = kFrames;
    bool ok =
        w.begin("bench", quil::kDbTypeMovie, kFrames + kAudio + 1, 0) == quil::MovieDbError::Ok &&
        w.writeMovieHeader(h) == quil::MovieDbError::Ok;
    for (int i = 0; ok && i < kFrames; ++i) {
        ok = w.writeRecord(frame) == quil::MovieDbError::Ok;
    }
    for (int i = 0; ok && i < kAudio; ++i) {
        ok = w.writeRecord(audio) == quil::MovieDbError::Ok;
    }
    return ok && w.finish() == quil::MovieDbError::Ok;
}

void BM_WriteMovie(benchmark::State& state) {
    std::vector<char> buffer(kMovieBytes + 4096);
    for (auto _ : state) {
        std::FILE* f = fmemopen(buffer.data(), buffer.size(), "w+");
        if (f == nullptr || !writeMovie(f)) {
            state.SkipWithError("write failed");
        }
        if (f != nullptr) {
            std::fclose(f);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kMovieBytes));
}
BENCHMARK(BM_WriteMovie);

void BM_ReadAllRecords(benchmark::State& state) {
    std::vector<char> buffer(kMovieBytes + 4096);
    std::FILE* f = fmemopen(buffer.data(), buffer.size(), "w+");
    if (f == nullptr || !writeMovie(f)) {
        state.SkipWithError("write failed");
        return;
    }
    const long length = std::ftell(f);
    std::fclose(f);
    quil::MovieDbReader reader;
    if (reader.openMemory({reinterpret_cast<const uint8_t*>(buffer.data()), size_t(length)}) !=
        quil::MovieDbError::Ok) {
        state.SkipWithError("open failed");
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < reader.count(); ++i) {
            const uint8_t* r = reader.get(i);
            benchmark::DoNotOptimize(r);
            reader.release(r);
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(length));
}
BENCHMARK(BM_ReadAllRecords);

void BM_ScrambleHeader(benchmark::State& state) {
    std::array<uint8_t, quil::kScrambledAreaSize> area{};
    for (auto _ : state) {
        quil::scrambleHeaderArea(area, "a playback password of 32 chars");
        benchmark::DoNotOptimize(area);
    }
}
BENCHMARK(BM_ScrambleHeader);

} // namespace

BENCHMARK_MAIN();
