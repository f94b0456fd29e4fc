// Frame coder and payload decoder speed on a camera-like 320x240 sequence: a fractal zoom
// seen through a drifting crop with film grain, made with the ffmpeg program when the
// benchmark starts (into a temporary folder, removed afterwards) and decoded to raw RGB.
//
// Each coder benchmark codes the whole sequence in order (one movie per iteration) for one
// colour mode and target; its "fps" counter is frames coded per second. The decoder
// benchmarks decode the payloads of the 4000-byte movies on one thread; "fps" is frames
// decoded per second. Machine load at the time of the run affects the figures.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "encoder/codec/colorcount.h"
#include "encoder/codec/colorlookup.h"
#include "encoder/codec/colormode.h"
#include "encoder/codec/framecoder.h"
#include "encoder/codec/truecolor.h"
#include "moviedb/payload_decoder.h"

using namespace quil;

namespace {

constexpr int kWidth = 320, kHeight = 240, kFrames = 60;

struct Sequence {
    std::vector<std::vector<uint32_t>> frames; // 0x00RRGGBB, top row first
    bool ok = false;
};

const Sequence& sequence() {
    static const Sequence seq = [] {
        Sequence s;
        namespace fs = std::filesystem;
        char pattern[] = "/tmp/quil-bench-XXXXXX";
        const char* dir = mkdtemp(pattern);
        if (!dir) {
            return s;
        }
        const std::string raw = std::string(dir) + "/seq.rgb";
        const std::string cmd =
            "ffmpeg -loglevel error -y -f lavfi -i mandelbrot=size=640x480:rate=15 -vf "
            "\"crop=320:240:x='40+t*30':y='30+t*18',noise=alls=8:allf=t\" -frames:v " +
            std::to_string(kFrames) + " -f rawvideo -pix_fmt rgb24 " + raw;
        if (std::system(cmd.c_str()) == 0) {
            std::ifstream in(raw, std::ios::binary);
            std::vector<uint8_t> bytes(size_t(kWidth) * kHeight * 3);
            while (in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()))) {
                std::vector<uint32_t> f(size_t(kWidth) * kHeight);
                for (size_t i = 0; i < f.size(); ++i) {
                    f[i] = uint32_t(bytes[3 * i]) << 16 | uint32_t(bytes[3 * i + 1]) << 8 |
                           bytes[3 * i + 2];
                }
                s.frames.push_back(std::move(f));
            }
            s.ok = s.frames.size() == size_t(kFrames);
        }
        fs::remove_all(dir);
        return s;
    }();
    return seq;
}

struct PreparedMovie {
    ColorLookup lookup;
    int rows = kHeight;
    std::vector<std::vector<uint8_t>> pictures;
};

// Pixel codes of the sequence in one colour mode (depth as stored in nColorDepth).
const PreparedMovie& prepared(int depth, bool gray) {
    static std::map<int, PreparedMovie> cache;
    const int key = depth * 2 + (gray ? 1 : 0);
    auto it = cache.find(key);
    if (it != cache.end()) {
        return it->second;
    }
    PreparedMovie& m = cache[key];
    const Sequence& s = sequence();
    const ColorModeProperties mode = colorModeProperties(depth, gray);
    m.rows = mode.pictureRows(kHeight);
    MovieColorTable table = fixedColorTable(mode);
    if (!mode.grayscale && !mode.truecolor()) {
        ColorAnalysis a;
        a.startAnalysis(mode.grid);
        for (size_t n = 0; n < s.frames.size(); ++n) {
            a.countPicture(s.frames[n].data(), s.frames[n].size(), int(n));
        }
        a.finishAnalysis(int(s.frames.size()));
        a.buildPalette(table);
        table[0] = rgb(255, 255, 255);
    }
    m.lookup.build(table, mode.grid);
    for (const auto& f : s.frames) {
        std::vector<uint8_t> pic(size_t(kWidth) * size_t(m.rows));
        if (mode.truecolor()) {
            convertPictureToTruecolor(mode.truecolorVariant, f.data(), kWidth, kWidth, kHeight,
                                      pic.data());
        } else {
            for (size_t i = 0; i < f.size(); ++i) {
                pic[i] = m.lookup.codeForColor(f[i]);
            }
        }
        m.pictures.push_back(std::move(pic));
    }
    return m;
}

std::vector<std::vector<uint8_t>> codeMovie(const PreparedMovie& m, int target, int threads) {
    FrameCoder coder(kWidth, m.rows, m.lookup, threads);
    const size_t size = size_t(kWidth) * size_t(m.rows);
    std::vector<uint8_t> pair[2] = {std::vector<uint8_t>(size), std::vector<uint8_t>(size)};
    std::vector<uint8_t> payload(FrameCoder::kPayloadBufferSize);
    std::vector<std::vector<uint8_t>> out;
    int64_t carry = 0;
    for (size_t n = 0; n < m.pictures.size(); ++n) {
        FrameInput in;
        in.picture = m.pictures[n].data();
        in.written = pair[n & 1].data();
        in.other = n ? pair[(n + 1) & 1].data() : nullptr;
        in.nBytesFloor = target / 2;
        in.nBytesCeiling = target * 2;
        in.budget = int32_t(target + carry / 2);
        in.frameIndex = int(n);
        const FrameCodeResult r = coder.encodeFrame(payload.data(), in);
        if (n > 0) {
            carry += target - int64_t(r.length);
        }
        if (n == 0) {
            pair[1] = pair[0];
        }
        out.emplace_back(payload.begin(), payload.begin() + ptrdiff_t(r.length));
    }
    return out;
}

struct Mode {
    const char* name;
    int depth;
    bool gray;
};
const Mode kModes[] = {{"Grayscale", 16, true},
                       {"StdColorPalette", 11, false},
                       {"ExtColorPalette", 16, false},
                       {"Truecolor", 24, false},
                       {"TruecolorPlus", 25, false}};

void BM_FrameCoder(benchmark::State& state) {
    if (!sequence().ok) {
        state.SkipWithError("ffmpeg could not make the test sequence");
        return;
    }
    const Mode& mode = kModes[state.range(0)];
    const int target = int(state.range(1));
    const int threads = int(state.range(2));
    const PreparedMovie& m = prepared(mode.depth, mode.gray);
    size_t bytes = 0, frames = 0;
    for (auto _ : state) {
        const auto payloads = codeMovie(m, target, threads);
        for (const auto& p : payloads) {
            bytes += p.size();
        }
        frames += payloads.size();
    }
    state.SetLabel(mode.name);
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["bytes_per_frame"] = double(bytes) / double(frames ? frames : 1);
}

void BM_Decoder(benchmark::State& state) {
    if (!sequence().ok) {
        state.SkipWithError("ffmpeg could not make the test sequence");
        return;
    }
    const Mode& mode = kModes[state.range(0)];
    const PreparedMovie& m = prepared(mode.depth, mode.gray);
    const auto payloads = codeMovie(m, 4000, 2);
    PicturePair pair(kWidth, m.rows);
    size_t frames = 0;
    for (auto _ : state) {
        for (const auto& p : payloads) {
            benchmark::DoNotOptimize(pair.decodeFrame(p));
        }
        frames += payloads.size();
    }
    state.SetLabel(mode.name);
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

void coderArgs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mode", "bytes", "threads"});
    for (int mode = 0; mode < 5; ++mode) {
        for (const int bytes : {2000, 4000, 8000}) {
            b->Args({mode, bytes, 2});
        }
    }
    // One core, for comparison.
    b->Args({2, 4000, 1});
    b->Args({4, 4000, 1});
}

} // namespace

BENCHMARK(BM_FrameCoder)->Apply(coderArgs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Decoder)->ArgName("mode")->DenseRange(0, 4)->Unit(benchmark::kMillisecond);
