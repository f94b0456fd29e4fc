// Plays movies with a 1 kHz tone in the three audio formats through the player window into a
// PulseAudio null sink started for this test, records the sink's monitor with parec and
// checks the recording's dominant frequency and its length against the movie's.
#include "moviefixture.h"

#include "player/window/quilplayer.h"

#include "moviedb/adpcm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <numbers>

namespace quil::test {
namespace {

constexpr int kRecordRate = 20000;

class SoundServer {
public:
    bool start() {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty() || QStandardPaths::findExecutable("parec").isEmpty()) {
            return false;
        }
        if (!m_runtime.isValid()) {
            return false;
        }
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toUtf8());
        qunsetenv("PULSE_SERVER");
        const int rc = QProcess::execute("pulseaudio", {"-n", "--daemonize=yes", "--exit-idle-time=-1",
                                                        "--load=module-null-sink sink_name=quiltest",
                                                        "--load=module-native-protocol-unix"});
        if (rc != 0) {
            return false;
        }
        for (int i = 0; i < 50; ++i) {
            if (QProcess::execute("pactl", {"info"}) == 0) {
                QProcess::execute("pactl", {"set-default-sink", "quiltest"});
                m_running = true;
                return true;
            }
            QThread::msleep(100);
        }
        return false;
    }
    ~SoundServer() {
        if (m_running) {
            QProcess::execute("pulseaudio", {"--kill"});
        }
    }
    QString path() const { return m_runtime.path(); }

private:
    QTemporaryDir m_runtime;
    bool m_running = false;
};

struct Format {
    const char* name;
    int code;
    int rate;
};

std::vector<std::vector<uint8_t>> toneRecords(const Format& format, double seconds) {
    const size_t samples = size_t(seconds * format.rate);
    auto tone = [&](size_t k) { return std::sin(2 * std::numbers::pi * 1000.0 * double(k) / format.rate); };
    std::vector<std::vector<uint8_t>> records;
    if (format.code == 1) {
        AdpcmState state;
        for (size_t first = 0; first < samples; first += kAdpcmRecordSamples) {
            std::vector<int16_t> staged(kAdpcmRecordSamples);
            for (size_t k = 0; k < staged.size(); ++k) {
                const double y = 0.5 * tone(first + k);
                staged[k] = int16_t(std::lround(32767 * ((k & 1) ? -y : y)));
            }
            std::vector<uint8_t> record(kAdpcmRecordBytes);
            AdpcmEncodeBlock(staged.data(), staged.size(), record.data(), state);
            const auto trailer = AdpcmMakeTrailer(state);
            std::copy(trailer.begin(), trailer.end(), record.begin() + kAdpcmRecordCodeBytes);
            records.push_back(record);
        }
    } else {
        for (size_t first = 0; first < samples; first += 32768) {
            std::vector<uint8_t> record(32768);
            for (size_t k = 0; k < record.size(); ++k) {
                record[k] = uint8_t(std::lround(128 + 64 * tone(first + k)));
            }
            records.push_back(record);
        }
    }
    return records;
}

// Magnitude of the recording at frequency f (Goertzel).
double power(const std::vector<int16_t>& x, size_t from, size_t to, double f) {
    const double w = 2 * std::numbers::pi * f / kRecordRate;
    double s1 = 0, s2 = 0;
    for (size_t k = from; k < to; ++k) {
        const double s = x[k] + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
}

TEST(PlayerSound, ToneComesOutAtOneKilohertzForAsLongAsTheMovie) {
    static SoundServer server;
    if (!server.start()) {
        GTEST_SKIP() << "no PulseAudio here";
    }
    static int argc = 1;
    static char name[] = "playersound_tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const double seconds = 2.0;
    for (const Format& format : {Format{"standard", 0, 10000}, Format{"hi-fi", 2, 20000}, Format{"ADPCM", 1, 10000}}) {
        SCOPED_TRACE(format.name);
        FixtureMovie fixture = countingMovie(int(seconds * 10), 10);
        fixture.audioFormat = format.code;
        fixture.audio = toneRecords(format, seconds + 1);
        const auto path = std::filesystem::path(server.path().toStdString()) / "tone.pdb";
        const std::vector<uint8_t> bytes = writeMovie(fixture);
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));

        const QString raw = server.path() + "/recording.raw";
        QProcess recorder;
        recorder.start("parec", {"-d", "quiltest.monitor", "--format=s16le", "--channels=1",
                                 QStringLiteral("--rate=%1").arg(kRecordRate), "--latency-msec=20", "--raw", raw});
        ASSERT_TRUE(recorder.waitForStarted(5000));
        QThread::msleep(300);

        QuilPlayer player;
        player.show();
        ASSERT_TRUE(player.openFile(QString::fromStdString(path.string())));
        player.session().engine().button(PositionButton::Play);
        QElapsedTimer timer;
        timer.start();
        while (player.session().engine().isPlaying() && timer.elapsed() < 10000) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(2);
        }
        EXPECT_FALSE(player.session().engine().isPlaying());
        EXPECT_FALSE(player.session().engine().silentWarningShown());
        EXPECT_EQ(player.session().engine().lastShown(), int(seconds * 10) - 1);
        QThread::msleep(500);
        ::kill(pid_t(recorder.processId()), SIGINT); // parec writes out what it holds on SIGINT
        recorder.waitForFinished(3000);

        std::ifstream in(raw.toStdString(), std::ios::binary);
        std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<int16_t> x(data.size() / 2);
        std::memcpy(x.data(), data.data(), x.size() * 2);
        ASSERT_GT(x.size(), size_t(kRecordRate));

        // The sounding stretch: first and last 10 ms block above a small level.
        const size_t block = kRecordRate / 100;
        size_t first = x.size(), last = 0;
        for (size_t b = 0; b + block <= x.size(); b += block) {
            double energy = 0;
            for (size_t k = b; k < b + block; ++k) {
                energy += double(x[k]) * x[k];
            }
            if (std::sqrt(energy / block) > 1000) {
                first = std::min(first, b);
                last = b + block;
            }
        }
        ASSERT_LT(first, last);
        const double length = double(last - first) / kRecordRate;
        EXPECT_NEAR(length, seconds, 0.35);

        double best = 0, bestF = 0;
        for (double f = 100; f <= 4000; f += 25) {
            const double p = power(x, first, last, f);
            if (p > best) {
                best = p;
                bestF = f;
            }
        }
        EXPECT_NEAR(bestF, 1000, 30);
        std::printf("%s: sounded %.3f s at %.0f Hz\n", format.name, length, bestF);
    }
}

} // namespace
} // namespace quil::test
