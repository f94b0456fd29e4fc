// The encoding job's start procedure and worker, with sources that read a one-line
// description from their file and an engine whose encode operations only write a marker,
// so the order of the checks, the messages and the temporary files can be seen alone.
#include "encoder/engine/encodingjob.h"
#include "encoder/media/streamsource.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A file "V <frames>" holds video, "A" audio, "VA <frames>" both; anything else is no media.
std::string contentOf(const char* path) {
    std::ifstream in(path);
    std::string s;
    std::getline(in, s);
    return s;
}

class FakeVideo : public VideoStreamSource {
public:
    void Close() override { m_open = false; }
    bool IsOpen() override { return m_open; }
    uint32_t GetSourceType() override { return kSourceTypeVideoAVI; }
    int Open(const char* path) override {
        Close();
        const std::string c = contentOf(path);
        if (c.rfind("V", 0) != 0) {
            return c.rfind("A", 0) == 0 ? kVideoNoVideo : kVideoBadFormat;
        }
        std::istringstream in(c.substr(c.find(' ') == std::string::npos ? c.size() : c.find(' ')));
        m_length = 100;
        in >> m_length;
        m_open = true;
        return 0;
    }
    int GetFrame(int, std::unique_ptr<VBitmap>&) override { return kVideoReadError; }
    int GetInfo(VideoStreamInfo* info) override {
        *info = {15, 1, m_length, 320, 240};
        return m_open ? 0 : kVideoNotOpen;
    }
    int GetStart() override { return 0; }
    int GetLength() override { return m_open ? m_length : 0; }

private:
    bool m_open = false;
    int m_length = 0;
};

class FakeAudio : public AudioStreamSource {
public:
    void Close() override { m_open = false; }
    bool IsOpen() override { return m_open; }
    int Open(const char* path) override {
        Close();
        const std::string c = contentOf(path);
        if (c.find('A') == std::string::npos) {
            return c.rfind("V", 0) == 0 ? kAudioNoAudio : kAudioBadFormat;
        }
        m_open = true;
        return 0;
    }
    uint32_t GetSourceType() override { return kSourceTypeAudioAVI; }
    int Read(int, int, void*, int, int*, int*) override { return kAudioReadError; }
    int GetInfo(AudioStreamInfo* info) override {
        *info = {10000, 1, 100000, 16, 2, 1, 10000, 1};
        return 0;
    }
    int GetStart() override { return 0; }
    int GetLength() override { return 100000; }

private:
    bool m_open = false;
};

class RecordingEngine : public OrbanwickMovieEncoder {
public:
    struct Report {
        int code;
        std::string text;
    };
    std::vector<Report> reports;
    int videoRuns = 0, audioRuns = 0;
    std::function<void()> duringEncode;

    void ReportProgress(int code, intptr_t, intptr_t v2) override {
        reports.push_back({code, (code == 3 || code == 4) ? reinterpret_cast<const char*>(v2) : ""});
    }
    void EncodeVideoMovie(FILE* out, const char*, int, int, int, bool, bool, bool, float, float,
                          int, int) override {
        ++videoRuns;
        std::fputs("video movie", out);
        if (duringEncode) {
            duringEncode();
        }
        ReportProgress(kProgressComplete, 0, 0);
    }
    void EncodeAudioMovie(FILE* out, const char*) override {
        ++audioRuns;
        std::fputs("audio movie", out);
        ReportProgress(kProgressComplete, 0, 0);
    }
};

class RecordingPrompt : public Prompt {
public:
    bool answer = true;
    std::vector<std::string> asked;
    void showMessage(const std::string& c, const std::string& t, PromptIcon) override {
        asked.push_back(c + ": " + t);
    }
    bool askOkCancel(const std::string& c, const std::string& t, PromptIcon) override {
        asked.push_back(c + ": " + t);
        return answer;
    }
    std::optional<std::string> askPassword(const std::string&, const std::string&, int) override {
        return std::nullopt;
    }
};

class RecordingHost : public JobHost {
public:
    RecordingPrompt prompter;
    std::vector<std::string> refusals;
    bool enabled = true;
    int progressRange = 0;
    Prompt& prompt() override { return prompter; }
    void refuse(const std::string& caption, const std::string& text) override {
        refusals.push_back(caption + ": " + text);
    }
    void setStatusLine(const std::string&) override {}
    void setControlsEnabled(bool e) override { enabled = e; }
    void setProgressRange(int m) override { progressRange = m; }
};

class JobTest : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("quil-job-" + std::to_string(::getpid()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        engine.SetSourceLists({&video}, {&audio});
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string file(const std::string& name, const std::string& content) {
        const std::string p = (m_dir / name).string();
        std::ofstream(p) << content << "\n";
        return p;
    }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    JobFields fields(int mode, const std::string& videoPath, const std::string& audioPath) {
        JobFields f;
        f.encodemode = mode;
        f.source_file = videoPath;
        f.asource_file = audioPath;
        f.output_file = path("out.pdb");
        f.dbname = "Clip";
        return f;
    }
    size_t filesInDir() const {
        return size_t(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
    }

    MpegAudioTools tools;
    FakeVideo video;
    FakeAudio audio;
    RecordingEngine engine;
    RecordingHost host;
    fs::path m_dir;
};

TEST_F(JobTest, RefusalsComeInTheirOrderAndTouchNoFile) {
    const std::string va = file("clip.avi", "VA 100");
    struct Case {
        int mode;
        std::string dbname, videoPath, audioPath, refusal;
    };
    const std::string nameText =
        "Quillreel Encoder Error: You must specify a Palm file name from 1 to 30 characters.";
    const Case cases[] = {
        {0, "", va, "", nameText},
        {0, std::string(31, 'n'), va, "", nameText},
        {0, std::string(31, 'n'), "", "", nameText},
        {0, "Clip", "", "", "Quillreel Encoder Error: You must specify a video source AVI or QuickTime file."},
        {2, "Clip", "", "x.wav", "Quillreel Encoder Error: You must specify a video source AVI or QuickTime file."},
        {3, "Clip", "", "", "Quillreel Encoder Error: You must specify an audio source AVI, QuickTime, .mp3, or .wav file."},
    };
    for (const Case& c : cases) {
        RecordingHost h;
        EncodingJob job(engine, h, tools);
        JobFields f = fields(c.mode, c.videoPath, c.audioPath);
        f.dbname = c.dbname;
        EXPECT_FALSE(job.start(f, false, false));
        ASSERT_EQ(h.refusals.size(), 1u);
        EXPECT_EQ(h.refusals[0], c.refusal);
        EXPECT_TRUE(h.enabled);
    }
    EXPECT_FALSE(fs::exists(path("out.pdb")));
    EXPECT_EQ(filesInDir(), 1u);
}

TEST_F(JobTest, OneSourceFileServesBothInModesZeroAndOne) {
    const std::string va = file("clip.avi", "VA 100");
    for (int mode : {0, 1}) {
        EncodingJob job(engine, host, tools);
        JobFields f = fields(mode, va, "");
        ASSERT_TRUE(job.start(f, false, false));
        job.wait();
        EXPECT_EQ(f.asource_file, va);
        EXPECT_EQ(host.progressRange, 1500);
    }
    EXPECT_EQ(engine.videoRuns, 2);
    EXPECT_EQ(engine.reports.back().code, kProgressComplete);
    EXPECT_FALSE(engine.HasVideo() || engine.HasAudio()); // the worker closed them
}

TEST_F(JobTest, OverwriteQuestionCancelEndsTheStart) {
    const std::string va = file("clip.avi", "VA 100");
    file("out.pdb", "old");
    host.prompter.answer = false;
    EncodingJob job(engine, host, tools);
    JobFields f = fields(0, va, "");
    EXPECT_FALSE(job.start(f, false, false));
    ASSERT_EQ(host.prompter.asked.size(), 1u);
    EXPECT_EQ(host.prompter.asked[0], "Quillreel Encoder Warning: Overwrite existing file?");
    EXPECT_TRUE(host.refusals.empty());
    EXPECT_TRUE(host.enabled);
    // Unattended and batch runs never ask.
    ASSERT_TRUE(job.start(f, true, false));
    job.wait();
    EXPECT_EQ(host.prompter.asked.size(), 1u);
    EXPECT_EQ(engine.videoRuns, 1);
}

TEST_F(JobTest, MpegTwoVideoIsRefused) {
    const std::string va = file("clip.mpg", "VA 100");
    tools.probeVideo = [](FILE*) { return 2; };
    EncodingJob job(engine, host, tools);
    JobFields f = fields(2, va, "");
    EXPECT_FALSE(job.start(f, false, false));
    ASSERT_EQ(host.refusals.size(), 1u);
    EXPECT_EQ(host.refusals[0],
              "Quillreel Encoder Error: The selected video file is in MPEG-2 format.  Due to licensing "
              "restrictions of the Motion Picture Experts Group, only MPEG-1 files are supported.");
}

TEST_F(JobTest, MpegSoundBecomesTemporaryFilesThatAreDeleted) {
    const std::string mpg = file("clip.MPG", "V 100");
    std::vector<std::string> made;
    tools.probeVideo = [](FILE*) { return 1; };
    tools.extractAudio = [&](const std::string& in, const std::string& out) {
        made.push_back(out);
        std::ofstream(out) << "mp3 of " << in;
        return 0;
    };
    tools.decodeToWav = [&](const std::string&, const std::string& out) {
        made.push_back(out);
        std::ofstream(out) << "A\n";
        return 0;
    };
    bool tempSeenDuringEncode = false;
    EncodingJob job(engine, host, tools);
    engine.duringEncode = [&] { tempSeenDuringEncode = fs::exists(mpg + ".mp3.wav"); };
    JobFields f = fields(0, mpg, "");
    ASSERT_TRUE(job.start(f, false, false));
    EXPECT_FALSE(fs::exists(mpg + ".mp3")); // deleted as soon as the WAV exists
    job.wait();
    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(made[0], mpg + ".mp3");
    EXPECT_EQ(made[1], mpg + ".mp3.wav");
    EXPECT_TRUE(tempSeenDuringEncode);
    EXPECT_TRUE(engine.HasAudio() == false);
    EXPECT_FALSE(fs::exists(mpg + ".mp3.wav"));
    EXPECT_TRUE(job.temporaryFile().empty());
    EXPECT_EQ(host.progressRange, 1500); // the decoded sound was opened as the audio source
}

TEST_F(JobTest, FailedMpegPreparationLeavesNothingBehind) {
    const std::string mpg = file("clip.mpg", "V 100");
    tools.extractAudio = [&](const std::string&, const std::string& out) {
        std::ofstream(out) << "partial";
        return 1;
    };
    EncodingJob job(engine, host, tools);
    JobFields f = fields(0, mpg, "");
    EXPECT_FALSE(job.start(f, false, false));
    EXPECT_EQ(host.refusals.at(0), "Video Encoding Error: Could not find valid audio blocks in the "
                                   "specified MPEG file.  Try encoding the movie as a video-only file.");

    tools.extractAudio = [&](const std::string&, const std::string& out) {
        std::ofstream(out) << "mp3";
        return 0;
    };
    tools.decodeToWav = [&](const std::string&, const std::string& out) {
        std::ofstream(out) << "partial";
        return 5;
    };
    EncodingJob job2(engine, host, tools);
    EXPECT_FALSE(job2.start(f, false, false));
    EXPECT_EQ(host.refusals.at(1), "Video Encoding Error: Could not decode the audio data in the "
                                   "specified MPEG file.  Try encoding the movie as a video-only file.");
    EXPECT_EQ(filesInDir(), 1u); // only the source itself
}

TEST_F(JobTest, RecordLimit) {
    // 15 fps and frame end 0: F = length - 1 frames; no audio.
    const std::string atLimit = file("limit.avi", "V 65535");
    const std::string over = file("over.avi", "V 65536");
    EncodingJob job(engine, host, tools);
    JobFields f = fields(2, atLimit, "");
    ASSERT_TRUE(job.start(f, false, false));
    job.wait();
    EXPECT_EQ(host.progressRange, 1200);
    f = fields(2, over, "");
    EXPECT_FALSE(job.start(f, false, false));
    EXPECT_EQ(host.refusals.at(0),
              "Video Encoding Error: Output file is too long.  Completed Quillreel (Video frames + "
              "Audio blocks) cannot exceed 65536 records.  Try breaking up the source movie or "
              "encoding at a lower frame rate.");
}

TEST_F(JobTest, AudioWithoutVideoInModeZeroWarnsAndMakesAnAudioMovie) {
    const std::string a = file("sound.wav", "A");
    EncodingJob job(engine, host, tools);
    JobFields f = fields(0, a, "");
    ASSERT_TRUE(job.start(f, false, false));
    job.wait();
    ASSERT_GE(engine.reports.size(), 2u);
    EXPECT_EQ(engine.reports[0].code, kProgressWarning);
    EXPECT_EQ(engine.reports[0].text, "The source video file you have selected has no video and will "
                                      "be ignored.  The generated movie will not contain video.");
    EXPECT_EQ(engine.audioRuns, 1);
    EXPECT_EQ(engine.videoRuns, 0);
}

TEST_F(JobTest, WorkerErrors) {
    const std::string v = file("video.avi", "V 100");
    const std::string a = file("sound.wav", "A");
    struct Case {
        int mode;
        std::string videoPath, audioPath, output, error;
    };
    const Case cases[] = {
        {2, a, "", path("o.pdb"), "The source video file you have selected has no video and cannot be used as the encoding source."},
        {3, "", v, path("o.pdb"), "The source audio file you have selected has no audio and cannot be used as the encoding source."},
        {2, v, "", path("missing/dir/o.pdb"), "Unable to create the output file."},
    };
    for (const Case& c : cases) {
        RecordingEngine e;
        e.SetSourceLists({&video}, {&audio});
        EncodingJob job(e, host, tools);
        JobFields f = fields(c.mode, c.videoPath, c.audioPath);
        f.output_file = c.output;
        const bool started = job.start(f, false, false);
        job.wait();
        ASSERT_FALSE(e.reports.empty()) << c.error;
        EXPECT_EQ(e.reports.back().code, kProgressFailed);
        EXPECT_EQ(e.reports.back().text, c.error);
        EXPECT_EQ(e.videoRuns + e.audioRuns, 0);
        (void)started;
    }
    EXPECT_FALSE(fs::exists(path("o.pdb")));
}

TEST_F(JobTest, SourceOpenFailureIsReportedAsAnError) {
    const std::string junk = file("junk.avi", "not media");
    EncodingJob job(engine, host, tools);
    JobFields f = fields(2, junk, "");
    EXPECT_FALSE(job.start(f, false, false));
    ASSERT_EQ(engine.reports.size(), 1u);
    EXPECT_EQ(engine.reports[0].code, kProgressFailed);
    EXPECT_EQ(engine.reports[0].text, video.GetErrorText(kVideoBadFormat));
    const std::string missing = path("missing.avi");
    f = fields(2, missing, "");
    EXPECT_FALSE(job.start(f, false, false));
    EXPECT_EQ(engine.reports.back().text, "The specified video file doesn't exist");
}

TEST(JobPaths, AudioPathFollowsTheMode) {
    struct Case {
        int mode;
        std::string video, audio, expected;
    };
    const Case cases[] = {
        {0, "/m/a.avi", "/m/other.wav", "/m/a.avi"},
        {1, "/m/a.avi", "/m/b.wav", "/m/b.wav"},
        {2, "/m/a.avi", "/m/b.wav", ""},
        {3, "/m/a.avi", "/m/b.mp3", "/m/b.mp3.wav"},
        {0, "/m/a.MPEG", "", "/m/a.MPEG.mp3.wav"},
        {1, "/m/a.avi", "/m/x.Mpg", "/m/x.Mpg.mp3.wav"},
        {1, "/m/a.avi", ".mp3", ".mp3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EncodingJob::AdjustedAudioPath(c.mode, c.video, c.audio), c.expected) << c.mode << c.audio;
    }
}

} // namespace
