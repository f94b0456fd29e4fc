// CPU use of the player window playing a 320x240 15 fps Truecolor Plus movie with sound for
// 10 seconds, as a share of one core (offscreen platform; the sound goes to the default
// output, or nowhere when there is none, which is then said). Figures on this shared machine
// are taken under load.
#include "benchmovie.h"

#include "player/window/quilplayer.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_PlayTenSeconds(benchmark::State& state) {
    const char* path = "/tmp/quillreel-bench-playback.pdb";
    if (!quil::bench::writeBenchMovie(path, 320, 360, 5, 15.0, 50,
                                      quil::bench::makeFramePayloads(320, 360, 160, 50), 4)) {
        state.SkipWithError("movie not written");
        return;
    }
    for (auto _ : state) {
        quil::QuilPlayer player;
        player.show();
        player.openFile(QString::fromLatin1(path));
        const double before = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        player.session().engine().button(quil::PositionButton::Play);
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (!player.session().engine().isPlaying() || wall.elapsed() >= 10000) {
                loop.quit();
            }
        });
        check.start(100);
        loop.exec();
        player.session().engine().button(quil::PositionButton::Stop);
        const double seconds = double(wall.elapsed()) / 1000.0;
        state.counters["cpu_percent_of_one_core"] = 100.0 * (cpuSeconds() - before) / seconds;
        state.counters["frames_shown"] = player.session().engine().lastShown() + 1;
        state.counters["silent"] = player.session().engine().silentWarningShown() ? 1 : 0;
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_PlayTenSeconds)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
