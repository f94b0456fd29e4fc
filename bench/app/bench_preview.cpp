// The cropping dialog's live preview: one render of a 640 x 480 source frame into the
// 160 x 160 preview, as on every slider movement, without and with the brightness and
// contrast adjustment. The counter previews is renders per second of wall time; run with
// --benchmark_format=json for a script.
#include "encoder/app/core/videooptionslogic.h"
#include "tests/engine/fakesources.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

namespace {
void RenderPreview(benchmark::State& state) {
    const auto file = std::filesystem::temp_directory_path() / "quil_bench_preview.avi";
    std::ofstream(file) << "x";
    OrbanwickMovieEncoder engine;
    PaintedVideoSource video;
    video.info = {25, 1, 100, 640, 480};
    video.paint = [](int f, int x, int y) {
        return uint32_t((x * 3 + f) << 16 | y << 8 | (x ^ y));
    };
    engine.SetSourceLists({&video}, {});
    engine.nScreenWidth = 320;
    engine.nScreenHeight = 320;
    MainWindowFields fields;
    fields.source_file = file.string();
    fields.encodemode = kEncodeVideoOnly;
    VideoOptionsLogic logic(engine, fields, 0xc0c0c0);
    logic.setSizing(int(state.range(1)));
    logic.setBrightness(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(logic.render());
    }
    state.counters["previews"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::remove(file);
}
BENCHMARK(RenderPreview)->Args({0, 0})->Args({0, 64})->Args({30, 0})->Unit(benchmark::kMicrosecond);
} // namespace
