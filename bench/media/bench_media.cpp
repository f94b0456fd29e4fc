// Frames per second of the movie path's front end: GetFrame in order from an H.264 file
// plus the copy, black fill and area stretch the engine does for every frame, from
// 640 x 360 and 1280 x 720 into a 320 x 240 screen; and the stretch alone in each variant.
// Clips are made with the ffmpeg program when the benchmark starts. items_per_second is the
// frame rate.
#include "encoder/media/qtsource.h"
#include "encoder/media/vbitmap.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>

namespace {

struct Clips {
    std::string dir;
    std::map<int, std::string> byWidth;
    Clips() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quil-bench-XXXXXX").string();
        if (mkdtemp(tmpl.data())) {
            dir = tmpl;
        }
    }
    ~Clips() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    const std::string& get(int w, int h) {
        auto it = byWidth.find(w);
        if (it != byWidth.end()) {
            return it->second;
        }
        const std::string out = dir + "/clip" + std::to_string(w) + ".mp4";
        const std::string cmd =
            "ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc2=s=" + std::to_string(w) + "x" +
            std::to_string(h) +
            ":r=30 -frames:v 150 -c:v libx264 -preset veryfast -crf 23 "
            "-pix_fmt yuv420p " +
            out;
        if (std::system(cmd.c_str()) != 0) {
            byWidth[w] = "";
        } else {
            byWidth[w] = out;
        }
        return byWidth[w];
    }
};

Clips& clips() {
    static Clips c;
    return c;
}

void BM_FrameAndStretch(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const std::string& path = clips().get(w, h);
    VideoStreamSourceQT src;
    if (path.empty() || src.Open(path.c_str()) != 0) {
        state.SkipWithError("clip could not be made or opened");
        return;
    }
    // Source frames at the clip's own 30 fps (every second 1/60 s grid frame).
    const int frames = src.GetLength() / 2;
    VBitmap screen(320, 240);
    VBitmap work(w, h);
    PixelRect d;
    SourceRect s;
    ComputeFitRect(w, h, 0.0, &d, &s, 320, 240);
    std::unique_ptr<VBitmap> pic;
    int i = 0;
    for (auto _ : state) {
        if (src.GetFrame(2 * i, pic) != 0) {
            state.SkipWithError("GetFrame failed");
            return;
        }
        work.BitBlt(0, 0, pic.get(), 0, 0, -1, -1);
        screen.RectFill(0, 0, -1, -1, 0);
        screen.StretchBltArea(d.x, 240 - d.y - d.height, d.width, d.height, &work, s.x, s.y,
                              s.width, s.height);
        benchmark::DoNotOptimize(screen.data[0]);
        i = (i + 1) % frames;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(stretchVariantName(activeStretchVariant()));
}
BENCHMARK(BM_FrameAndStretch)
    ->Args({640, 360})
    ->Args({1280, 720})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_StretchArea(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const auto variant = StretchVariant(state.range(2));
    const StretchVariant saved = activeStretchVariant();
    if (!setStretchVariant(variant)) {
        state.SkipWithError("variant not supported by this processor");
        return;
    }
    VBitmap src(w, h), dst(320, 240);
    std::mt19937 rng(1);
    for (int k = 0; k < w * h; ++k) {
        src.data[k] = rng() & 0xFFFFFF;
    }
    PixelRect d;
    SourceRect s;
    ComputeFitRect(w, h, 0.0, &d, &s, 320, 240);
    for (auto _ : state) {
        dst.StretchBltArea(d.x, 240 - d.y - d.height, d.width, d.height, &src, s.x, s.y, s.width,
                           s.height);
        benchmark::DoNotOptimize(dst.data[0]);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(stretchVariantName(variant));
    setStretchVariant(saved);
}
BENCHMARK(BM_StretchArea)
    ->ArgsProduct({{640}, {360}, {0, 1, 2}})
    ->ArgsProduct({{1280}, {720}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
