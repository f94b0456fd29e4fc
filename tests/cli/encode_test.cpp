// quillreel encode and export end to end, on small clips made with the ffmpeg program: each
// run writes a movie that info reads and export decodes, with the frame and audio record
// counts that the engine's frame range promises; bad input gives one clear message, a
// non-zero exit and no temporary file; Ctrl-C stops the job.
#include "encoder/engine/encodingjob.h"
#include "encoder/engine/standardsources.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using testing::HasSubstr;

namespace {

struct ToolResult {
    int status = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return q + "'";
}

class EncodeTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/quillreel-encode-XXXXXX";
        s_dir = ::mkdtemp(pattern);
        const std::string lavfiVideo = "-f lavfi -i testsrc2=size=160x120:rate=15 ";
        const std::string lavfiTone = "-f lavfi -i sine=frequency=1000:sample_rate=44100 ";
        const std::pair<const char*, std::string> clips[] = {
            {"clip.mp4", lavfiVideo + lavfiTone + "-t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest"},
            {"clip.avi", lavfiVideo + lavfiTone + "-t 2 -c:v mjpeg -q:v 5 -c:a pcm_s16le -shortest"},
            {"clip.mov", lavfiVideo + lavfiTone + "-t 2 -c:v mpeg4 -c:a aac -shortest"},
            {"clip.mpg", "-f lavfi -i testsrc2=size=160x120:rate=25 " + lavfiTone +
                             "-t 2 -c:v mpeg1video -b:v 500k -c:a mp2 -shortest -f mpeg"},
            {"video.mp4", lavfiVideo + "-t 2 -c:v libx264 -pix_fmt yuv420p"},
            {"tone.wav", lavfiTone + "-t 3 -c:a pcm_s16le"},
            {"tone.mp3", lavfiTone + "-t 3 -c:a libmp3lame -b:a 128k"},
        };
        for (const auto& [name, args] : clips) {
            const std::string cmd = "ffmpeg -nostdin -loglevel error -y " + args + " " +
                                    quote(s_dir + "/" + name);
            ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        }
        std::ofstream(s_dir + "/text.avi") << "This is not a video.\n";
        const std::string mp4 = slurp(s_dir + "/clip.mp4");
        std::ofstream(s_dir + "/truncated.mp4", std::ios::binary) << mp4.substr(0, mp4.size() / 3);
    }
    static void TearDownTestSuite() { fs::remove_all(s_dir); }

    static ToolResult quillreel(const std::string& args) {
        const std::string errFile = s_dir + "/stderr.txt";
        const std::string cmd = std::string(QUILLREEL_PATH) + " " + args + " 2>" + quote(errFile) + " </dev/null";
        ToolResult r;
        FILE* p = ::popen(cmd.c_str(), "r");
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) {
            r.out.append(buf, n);
        }
        const int st = ::pclose(p);
        r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        r.err = slurp(errFile);
        return r;
    }
    static std::string path(const std::string& name) { return s_dir + "/" + name; }
    // Temporary sound files of the MPEG and MP3 preparation still on disk.
    static std::vector<std::string> leftovers() {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(s_dir)) {
            const std::string n = e.path().filename().string();
            if (n.ends_with(".mpg.mp3") || n.ends_with(".mp3.wav")) {
                found.push_back(n);
            }
        }
        return found;
    }

    static std::string s_dir;
};

std::string EncodeTest::s_dir;

// The frame count and audio record count the engine plans for a source, as the job's
// record check sees them.
void plannedCounts(int mode, const std::string& video, const std::string& audio, bool audioPlanned,
                   int& frames, int& records) {
    OrbanwickMovieEncoder engine;
    StandardSources sources;
    sources.install(engine);
    frames = 0;
    records = 0;
    if (mode == kEncodeAudioOnly) {
        return;
    }
    ASSERT_EQ(EncodingJob::OpenSourcesForMode(engine, mode, video, audio, true), nullptr);
    double fps = 0, step = 0;
    int first = 0, end = 0, unused = 0;
    engine.ComputeFrameRange(engine.nMaxFrameRate, &fps, &frames, &step, &unused, nullptr, &first, &end);
    engine.CloseSources();
    if (audioPlanned) {
        records = int(std::ceil(frames * 10000.0 / (32768.0 * fps)));
    }
}

std::string infoLine(const std::string& info, const std::string& key) {
    const size_t at = info.find(key);
    if (at == std::string::npos) {
        return {};
    }
    const size_t end = info.find('\n', at);
    return info.substr(at + key.size(), end - at - key.size());
}

TEST_F(EncodeTest, EveryKindOfSourceMakesAMovieThatReadsBack) {
    struct Case {
        std::string label, args;
        int mode;
        std::string video, audio;
        bool hasAudio;
    };
    const Case cases[] = {
        {"h264-aac", quote(path("clip.mp4")), kEncodeVideoWithAudio, path("clip.mp4"), "", true},
        {"avi-pcm", quote(path("clip.avi")), kEncodeVideoWithAudio, path("clip.avi"), "", true},
        {"mov", quote(path("clip.mov")), kEncodeVideoWithAudio, path("clip.mov"), "", true},
        {"mpeg1-mp2", quote(path("clip.mpg")), kEncodeVideoWithAudio, path("clip.mpg"), "", true},
        {"separate", quote(path("video.mp4")) + " " + quote(path("tone.wav")), kEncodeVideoSeparateAudio,
         path("video.mp4"), path("tone.wav"), true},
        {"video-only", "--video-only " + quote(path("clip.mp4")), kEncodeVideoOnly, path("clip.mp4"), "", false},
        {"wav", "--audio-only " + quote(path("tone.wav")), kEncodeAudioOnly, "", path("tone.wav"), true},
        {"mp3", "--audio-only " + quote(path("tone.mp3")), kEncodeAudioOnly, "", path("tone.mp3"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string out = path(c.label + ".pdb");
        const ToolResult enc = quillreel("encode " + c.args + " -o " + quote(out) + " --progress=none -y");
        ASSERT_EQ(enc.status, 0) << enc.err;
        EXPECT_THAT(enc.out, HasSubstr("Quillreel Encoding Complete"));
        EXPECT_THAT(enc.out, HasSubstr("Database name:       " + c.label));
        const ToolResult info = quillreel("info " + quote(out));
        ASSERT_EQ(info.status, 0) << info.err << info.out;
        int frames = 0, records = 0;
        plannedCounts(c.mode, c.video, c.audio, c.hasAudio, frames, records);
        if (c.mode == kEncodeAudioOnly) {
            EXPECT_THAT(infoLine(info.out, "Type:"), HasSubstr("Wave"));
            EXPECT_THAT(infoLine(info.out, "Audio records:"), HasSubstr("(records 1 to "));
        } else {
            EXPECT_EQ(infoLine(info.out, "Frame count:"), "         " + std::to_string(frames));
            if (c.hasAudio) {
                EXPECT_THAT(infoLine(info.out, "Audio records:"),
                            testing::StartsWith("       " + std::to_string(records) + " "));
            }
        }
        const std::string frameDir = path(c.label + "-frames");
        const ToolResult exp = quillreel("export " + quote(out) + " --frames " + quote(frameDir) + " --wav " +
                                  quote(path(c.label + ".wav.out")));
        EXPECT_EQ(exp.status, 0) << exp.err;
        if (c.mode != kEncodeAudioOnly) {
            EXPECT_TRUE(fs::exists(frameDir + "/frame-00000.png"));
            EXPECT_EQ(size_t(std::distance(fs::directory_iterator(frameDir), fs::directory_iterator())),
                      size_t(frames));
        }
        if (c.hasAudio) {
            EXPECT_GT(fs::file_size(path(c.label + ".wav.out")), 44u);
        }
    }
    EXPECT_FALSE(fs::exists(path("clip.mpg.mp3")));
    EXPECT_FALSE(fs::exists(path("clip.mpg.mp3.wav")));
    EXPECT_FALSE(fs::exists(path("tone.mp3.wav")));
}

TEST_F(EncodeTest, BadInputGivesOneMessageAndNoStatusZero) {
    const std::string unwritable = "/proc/quillreel-cannot-write/out.pdb";
    struct Case {
        std::string args, message;
    };
    const Case cases[] = {
        {quote(path("missing.avi")) + " -o " + quote(path("m.pdb")), "The specified video file doesn't exist"},
        {quote(path("text.avi")) + " -o " + quote(path("t.pdb")), "The video file is corrupt"},
        {quote(path("truncated.mp4")) + " -o " + quote(path("tr.pdb")), "Quillreel Encoder Error"},
        {quote(path("clip.avi")) + " -o " + quote(unwritable), "Unable to create the output file."},
        {quote(path("clip.avi")) + " -o " + quote(path("n.pdb")) + " --name " + std::string(31, 'x'),
         "You must specify a Palm file name from 1 to 30 characters."},
        {quote(path("clip.avi")) + " -o " + quote(path("u.pdb")) + " --no-such-option", "--no-such-option"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const ToolResult r = quillreel("encode " + c.args + " --progress=none -y");
        EXPECT_NE(r.status, 0);
        EXPECT_THAT(r.err, HasSubstr(c.message));
    }
    EXPECT_FALSE(fs::exists(path("n.pdb")));
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(EncodeTest, ExistingOutputIsKeptWithoutOverwrite) {
    const std::string out = path("keep.pdb");
    std::ofstream(out) << "precious";
    const ToolResult r = quillreel("encode " + quote(path("clip.avi")) + " -o " + quote(out) + " -n --progress=none");
    EXPECT_NE(r.status, 0);
    EXPECT_THAT(r.err, HasSubstr("Overwrite existing file?"));
    EXPECT_EQ(slurp(out), "precious");
}

TEST_F(EncodeTest, PasswordProtectsTheMovieAndExportNeedsIt) {
    const std::string out = path("locked.pdb");
    ASSERT_EQ(quillreel("encode " + quote(path("clip.avi")) + " -o " + quote(out) +
                        " --password Secret --progress=none -y").status, 0);
    EXPECT_EQ(slurp(out).substr(60, 4), "PMov");
    EXPECT_NE(quillreel("export " + quote(out) + " --contact-sheet " + quote(path("s.png"))).status, 0);
    EXPECT_EQ(quillreel("export " + quote(out) + " --password secret --contact-sheet " + quote(path("s.png"))).status, 0);
    EXPECT_EQ(slurp(path("s.png")).substr(1, 3), "PNG");
}

TEST_F(EncodeTest, InterruptStopsTheJobAndCleansUp) {
    // A longer MPEG clip, so the job is still running when the signal comes.
    const std::string mpg = path("long.mpg");
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=320x240:rate=30 "
                           "-f lavfi -i sine=frequency=440:sample_rate=44100 -t 30 -c:v mpeg1video "
                           "-b:v 2M -c:a mp2 -shortest -f mpeg " + quote(mpg)).c_str()), 0);
    const std::string out = path("stopped.pdb");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::freopen("/dev/null", "w", stdout);
        ::freopen("/dev/null", "w", stderr);
        ::execl(QUILLREEL_PATH, "quillreel", "encode", mpg.c_str(), "-o", out.c_str(), "-y",
                "--progress=none", "--fps", "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Wait until the engine has written the header, then interrupt.
    for (int i = 0; i < 600 && !(fs::exists(out) && fs::file_size(out) > 78); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGINT);
    int st = 0;
    ::waitpid(pid, &st, 0);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_NE(WEXITSTATUS(st), 0);
    EXPECT_FALSE(fs::exists(mpg + ".mp3"));
    EXPECT_FALSE(fs::exists(mpg + ".mp3.wav"));
    const ToolResult info = quillreel("info " + quote(out));
    EXPECT_EQ(info.status, 2) << info.out << info.err;
    EXPECT_THAT(info.out + info.err, HasSubstr("unfinished"));
}

} // namespace
