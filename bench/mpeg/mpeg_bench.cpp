// Decoding speed of our MPEG audio decoder beside the mpg123 program on the same files.
//
// Set-up makes three 30-second streams (lame: 128 kbit/s 44.1 kHz stereo layer III and
// 32 kbit/s 22.05 kHz mono layer III; twolame: 192 kbit/s layer II). Each benchmark
// reports "x_realtime" (seconds of audio per second, one core). After the Google Benchmark
// run, one line per stream reads
//   mpeg-bench <stream> ours_x=<n> mpg123_x=<n> ratio=<ours/mpg123>
// for scripts; mpg123 is timed as `mpg123 -q -s FILE > /dev/null` in the same run. Both
// figures are CPU time (the machine is shared, so wall-clock figures swing with its load).
#include "encoder/media/mpeg/ampdecoder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace quil::mpeg;

struct Stream {
    const char* name;
    const char* command; // {in} {out}
    std::string path;
    std::vector<uint8_t> bytes;
    double seconds = 0.0;
};

std::vector<Stream> g_streams = {
    {"l3_128k_44k_stereo", "lame --quiet -t -b 128 -m j {in} {out}", {}, {}, 0.0},
    {"l3_32k_22k_mono", "lame --quiet -t -b 32 -m m --resample 22.05 {in} {out}", {}, {}, 0.0},
    {"l2_192k_44k_stereo", "twolame --quiet -b 192 {in} {out}", {}, {}, 0.0},
};

class MemorySource : public IAMPBitsource {
  public:
    explicit MemorySource(const std::vector<uint8_t>& b) : m_b(b) {}
    long read(void* buffer, long n) override {
        const size_t take = std::min(size_t(n), m_b.size() - m_pos);
        std::copy_n(m_b.data() + m_pos, take, static_cast<uint8_t*>(buffer));
        m_pos += take;
        return long(take);
    }

  private:
    const std::vector<uint8_t>& m_b;
    size_t m_pos = 0;
};

// Decodes a whole stream; returns seconds of audio.
double decodeAll(const std::vector<uint8_t>& bytes) {
    MemorySource src(bytes);
    AmpDecoder d;
    d.initTables();
    d.reset();
    d.setBitsource(&src);
    std::vector<int16_t> pcm(AmpDecoder::kMaxFrameSamples);
    long samples = 0;
    int rc = d.readFrameHeader();
    const long rate = d.streamDescription().sampleRate;
    const int ch = d.streamDescription().channels();
    while (rc == kAmpNoError) {
        d.setOutputBuffer(pcm.data(), pcm.size());
        if (d.decodeFrame() != kAmpNoError)
            break;
        samples += long(d.samplesDelivered());
        benchmark::DoNotOptimize(pcm.data());
        rc = d.readFrameHeader();
    }
    return rate ? double(samples) / ch / double(rate) : 0.0;
}

void BM_Decode(benchmark::State& state) {
    Stream& s = g_streams[size_t(state.range(0))];
    for (auto _ : state)
        benchmark::DoNotOptimize(decodeAll(s.bytes));
    state.counters["x_realtime"] =
        benchmark::Counter(s.seconds, benchmark::Counter::kIsIterationInvariantRate);
    state.SetLabel(s.name);
}

double cpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Best of five, in CPU seconds of the child processes, so that other work on a shared
// machine does not count.
double timeMpg123(const Stream& s) {
    const std::string cmd = "mpg123 -q -s '" + s.path + "' > /dev/null 2>&1";
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const double t0 = cpuSeconds(RUSAGE_CHILDREN);
        if (std::system(cmd.c_str()) != 0)
            return 0.0;
        best = std::min(best, cpuSeconds(RUSAGE_CHILDREN) - t0);
    }
    return best;
}

double timeOurs(const Stream& s) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const double t0 = cpuSeconds(RUSAGE_SELF);
        benchmark::DoNotOptimize(decodeAll(s.bytes));
        best = std::min(best, cpuSeconds(RUSAGE_SELF) - t0);
    }
    return best;
}

bool setUp() {
    const auto dir =
        std::filesystem::temp_directory_path() / ("quil-mpeg-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string wav = (dir / "src.wav").string();
    const std::string gen =
        "ffmpeg -y -v error -f lavfi -i \"aevalsrc='0.3*sin(2*PI*440*t)+0.2*sin(2*PI*(300+200*t)*t)"
        "+0.05*(random(0)-0.5)|0.3*sin(2*PI*660*t)+0.05*(random(1)-0.5)':s=44100:d=30\" "
        "-c:a pcm_s16le '" +
        wav + "' >/dev/null 2>&1";
    if (std::system(gen.c_str()) != 0)
        return false;
    for (Stream& s : g_streams) {
        s.path = (dir / (std::string(s.name) + ".mpa")).string();
        std::string cmd = s.command;
        cmd.replace(cmd.find("{in}"), 4, "'" + wav + "'");
        cmd.replace(cmd.find("{out}"), 5, "'" + s.path + "'");
        if (std::system((cmd + " >/dev/null 2>&1").c_str()) != 0)
            return false;
        std::ifstream in(s.path, std::ios::binary);
        s.bytes.assign(std::istreambuf_iterator<char>(in), {});
        s.seconds = decodeAll(s.bytes);
    }
    return true;
}

} // namespace

BENCHMARK(BM_Decode)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!setUp()) {
        std::fprintf(stderr,
                     "bench_mpeg: lame, twolame and ffmpeg are needed to make the streams\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    for (const Stream& s : g_streams) {
        const double ours = s.seconds / timeOurs(s);
        const double t = timeMpg123(s);
        const double theirs = t > 0 ? s.seconds / t : 0.0;
        std::printf("mpeg-bench %s ours_x=%.1f mpg123_x=%.1f ratio=%.3f\n", s.name, ours, theirs,
                    theirs > 0 ? ours / theirs : 0.0);
    }
    std::filesystem::remove_all(std::filesystem::path(g_streams[0].path).parent_path());
    benchmark::Shutdown();
    return 0;
}
