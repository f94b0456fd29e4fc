// The whole engine on a 60-second 640 x 360, 30 fps clip with stereo 44.1 kHz sound, made
// with the ffmpeg program when the benchmark starts (MPEG-4 video and PCM sound in an AVI,
// read through the encoder's own source candidates): the default settings (320 x 240
// Truecolor Plus, 15 fps, 4000 bytes per frame, standard audio), and Ext Color Palette with
// ADPCM. Counters: frames (output frames), fps (output frames per second of wall-clock
// time), peak_rss_mb (the process's peak resident memory so far) and bytes (movie size).
// The machine is shared, so figures taken while others build are slower than an idle run.
#include "encoder/engine/movieencoder.h"
#include "encoder/media/sourcelists.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Clip {
    std::string dir;
    std::string path;
    Clip() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quil-engine-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) {
            return;
        }
        dir = tmpl;
        const std::string out = dir + "/clip.avi";
        const std::string cmd =
            "ffmpeg -nostdin -y -loglevel error -f lavfi -i testsrc2=s=640x360:r=30:d=60 "
            "-f lavfi -i sine=f=440:r=44100:d=60 -ac 2 -c:v mpeg4 -q:v 4 -c:a pcm_s16le " + out;
        if (std::system(cmd.c_str()) == 0) {
            path = out;
        }
    }
    ~Clip() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

const Clip& clip() {
    static Clip c;
    return c;
}

class Engine : public OrbanwickMovieEncoder {
public:
    int lastCode = -1;
    void ReportProgress(int code, intptr_t, intptr_t) override {
        if (code == 0 || code == 2 || code == 4) {
            lastCode = code;
        }
    }
};

double PeakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void RunJob(benchmark::State& state, int depth, bool adpcm) {
    const Clip& c = clip();
    if (c.path.empty()) {
        state.SkipWithError("the clip could not be made with ffmpeg");
        return;
    }
    auto videoCandidates = CreateVideoSourceCandidates();
    auto audioCandidates = CreateAudioSourceCandidates();
    std::vector<VideoStreamSource*> video;
    std::vector<AudioStreamSource*> audio;
    for (auto& v : videoCandidates) {
        video.push_back(v.get());
    }
    for (auto& a : audioCandidates) {
        audio.push_back(a.get());
    }
    Engine engine;
    engine.nColorDepth = depth;
    engine.bUseADPCM = adpcm;
    engine.SetSourceLists(video, audio);
    const std::string out = c.dir + "/movie.pdb";
    int frames = 0;
    for (auto _ : state) {
        if (const char* text = engine.OpenSources(c.path.c_str(), c.path.c_str())) {
            state.SkipWithError(text);
            return;
        }
        FILE* f = std::fopen(out.c_str(), "wb");
        const auto start = std::chrono::steady_clock::now();
        engine.EncodeVideoMovie(f, "Bench", engine.nScreenWidth, engine.nScreenHeight,
                                engine.nColorDepth, false, false, false, 0.f, 0.f, 0, 0);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fclose(f);
        engine.CloseSources();
        state.SetIterationTime(seconds);
        if (engine.lastCode != 0) {
            state.SkipWithError("the job did not complete");
            return;
        }
        frames = engine.completionRecord().frameCount;
        state.counters["frames"] = frames;
        state.counters["fps"] = frames / seconds;
        state.counters["bytes"] = engine.completionRecord().fileSize;
    }
    state.counters["peak_rss_mb"] = PeakRssMb();
}

void BM_DefaultJob(benchmark::State& state) { RunJob(state, 25, false); }
void BM_ExtPaletteAdpcm(benchmark::State& state) { RunJob(state, 16, true); }

BENCHMARK(BM_DefaultJob)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ExtPaletteAdpcm)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
