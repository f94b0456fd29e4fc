// `quillreel info` run as a program on movies written by the movie database writer.
#include "moviedb/byteorder.h"
#include "moviedb/moviedbwriter.h"
#include "moviedb/movieheader.h"
#include "moviedb/password.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using testing::HasSubstr;
using testing::Not;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kDec10_2026 = 3879705600u; // 2026-12-10 00:00:00 UTC in handheld time

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// One private folder per test process, so that parallel runs never share a file.
const std::string& workDir() {
    static const std::string dir = [] {
        std::string pattern = testing::TempDir() + "/quillreel-cli-XXXXXX";
        const char* made = mkdtemp(pattern.data());
        return made != nullptr ? std::string(made) : testing::TempDir();
    }();
    return dir;
}

class RemoveWorkDir : public testing::Environment {
  public:
    void TearDown() override { std::filesystem::remove_all(workDir()); }
};
const testing::Environment* const kCleanup = testing::AddGlobalTestEnvironment(new RemoveWorkDir);

std::string tempPath(const std::string& name) {
    return workDir() + "/" + name;
}

ToolRun quillreel(const std::string& args) {
    const std::string errPath = tempPath("quillreel.err");
    const std::string cmd =
        std::string("'") + QUILLREEL_PATH + "' " + args + " 2>'" + errPath + "'";
    ToolRun run;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) {
        return run;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) {
        run.out.append(buf, n);
    }
    const int raw = pclose(p);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.err = slurp(errPath);
    return run;
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes frameRecord(size_t size, uint16_t type) {
    Bytes r(size, 0x55);
    quil::putBE16(r, 0, type);
    return r;
}

// Three frames of 30, 50 and 70 bytes (key, delta, key) and two ADPCM audio records.
std::string writeSampleMovie(const std::string& name, bool finish = true) {
    const std::string path = tempPath(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    quil::MovieDbWriter w(f);
    quil::MovieHeader h;
    h.width = 320;
    h.rows = 360;
    h.bitsPerPixel = 16;
    h.colorMode = quil::kColorModeTruecolorPlus;
    h.audioFormat = quil::kAudioFormatAdpcm;
    h.setFrameRate(15.0);
    h.keyFrameInterval = 2;
    h.flags |= quil::kMovieFlagHasAudio | quil::kMovieFlagHold;
    h.frameCount = 3;
    h.firstAudioRecord = 4;
    h.title = "Sample clip";
    h.author = "";
    EXPECT_EQ(w.begin("Sample clip", quil::kDbTypeMovie, 6, kDec10_2026), quil::MovieDbError::Ok);
    EXPECT_EQ(w.writeMovieHeader(h), quil::MovieDbError::Ok);
    EXPECT_EQ(w.writeRecord(frameRecord(30, 1)), quil::MovieDbError::Ok);
    EXPECT_EQ(w.writeRecord(frameRecord(50, 2)), quil::MovieDbError::Ok);
    if (finish) {
        EXPECT_EQ(w.writeRecord(frameRecord(70, 1)), quil::MovieDbError::Ok);
        EXPECT_EQ(w.writeRecord(Bytes(32772, 0x88)), quil::MovieDbError::Ok);
        EXPECT_EQ(w.writeRecord(Bytes(32772, 0x88)), quil::MovieDbError::Ok);
        EXPECT_EQ(w.finish(), quil::MovieDbError::Ok);
    }
    std::fclose(f);
    return path;
}

TEST(InfoCommand, DescribesAWrittenMovie) {
    const std::string path = writeSampleMovie("info_movie.pdb");
    const ToolRun r = quillreel("info '" + path + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* want : {
             "Database name:       \"Sample clip\"\n",
             "Type:                Mvie (movie)\n",
             "Creator:             QlRl\n",
             "Created:             2026-12-10 00:00:00 UTC\n",
             "Records:             6\n",
             "Movie header:        record 0, 58 bytes\n",
             "Frame size:          320 wide, 360 rows, 16 bits per stored pixel\n",
             "Colour mode:         5 (Truecolor Plus)\n",
             "Audio format:        1 (IMA ADPCM, 10000 samples/s)\n",
             "Frame rate:          15.000 fps (67 ms per frame, 15 whole fps, frame period "
             "43690667)\n",
             "Key frame interval:  2 frames\n",
             "Flags:               0x000e (has audio, frame period valid, waits for tap)\n",
             "Title:               \"Sample clip\"\n",
             "Author:              \"\"\n",
             "Frame count:         3\n",
             "First audio record:  4\n",
             "Frame records:       3 (2 key, 1 delta); smallest 30, mean 50.0, largest 70 bytes\n",
             "Audio records:       2 (records 4 to 5), 65544 bytes, 13.11 s at 10000 samples/s\n",
         }) {
        EXPECT_THAT(r.out, HasSubstr(want));
    }
    EXPECT_THAT(r.out, Not(HasSubstr("Warning")));
#ifdef QUIL_DEMO_MOVIE
    // `make demo` shows this movie until the encoder can make one.
    std::filesystem::copy_file(path, QUIL_DEMO_MOVIE,
                               std::filesystem::copy_options::overwrite_existing);
#endif
}

TEST(InfoCommand, AudioOnlyMovie) {
    const std::string path = tempPath("info_audio.pdb");
    FILE* f = std::fopen(path.c_str(), "wb");
    quil::MovieDbWriter w(f);
    ASSERT_EQ(w.begin("Sound", quil::kDbTypeWave, 2, kDec10_2026), quil::MovieDbError::Ok);
    ASSERT_EQ(w.writeMovieHeader(quil::MovieHeader::audioOnly(quil::kAudioFormatHifi, true, 16)),
              quil::MovieDbError::Ok);
    ASSERT_EQ(w.writeRecord(Bytes(32768, 0x80)), quil::MovieDbError::Ok);
    ASSERT_EQ(w.finish(), quil::MovieDbError::Ok);
    std::fclose(f);

    const ToolRun r = quillreel("info '" + path + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("Type:                Wave (audio only)\n"));
    EXPECT_THAT(r.out, HasSubstr("Colour mode:         2 (audio only)\n"));
    EXPECT_THAT(r.out, HasSubstr("Playing time:        1.6 s (16 tenths)\n"));
    EXPECT_THAT(r.out, HasSubstr("Frame records:       none\n"));
    EXPECT_THAT(r.out, HasSubstr("Audio records:       1 (records 1 to 1), 32768 bytes, 1.64 s at "
                                 "20000 samples/s\n"));
}

TEST(InfoCommand, PasswordProtectedMovie) {
    const std::string path = writeSampleMovie("info_protected.pdb");
    const std::string s = slurp(path);
    Bytes db(s.begin(), s.end());
    ASSERT_EQ(quil::protectMovieDatabase(db, "Open Sesame", quil::kDbTypeProtectedMovie),
              quil::MovieDbError::Ok);
    writeFile(path, db);

    const ToolRun locked = quillreel("info '" + path + "'");
    EXPECT_EQ(locked.status, 0) << locked.err;
    EXPECT_THAT(locked.out, HasSubstr("Type:                PMov (movie, password-protected)\n"));
    EXPECT_THAT(locked.out, HasSubstr("password-protected: the movie header is scrambled"));
    EXPECT_THAT(locked.out, Not(HasSubstr("Frame size:")));

    const ToolRun opened = quillreel("info --password 'open sesame' '" + path + "'");
    EXPECT_EQ(opened.status, 0) << opened.err;
    EXPECT_THAT(opened.out, HasSubstr("the password unlocks the movie header"));
    EXPECT_THAT(opened.out, HasSubstr("Frame records:       3 (2 key, 1 delta)"));

    const ToolRun wrong = quillreel("info -p nope '" + path + "'");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.err,
              "quillreel: " + path + ": the password does not unlock the movie header\n");
}

TEST(InfoCommand, UnfinishedMovie) {
    const std::string path = writeSampleMovie("info_unfinished.pdb", false);
    const ToolRun r = quillreel("info '" + path + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.out, HasSubstr("Database name:       \"Sample clip\"\n"));
    EXPECT_THAT(r.out, HasSubstr("Records:             6\n"));
    EXPECT_THAT(r.out, HasSubstr("unfinished movie"));
}

TEST(InfoCommand, InconsistentHeaderIsReportedNotTrusted) {
    // The header claims 9 frames and audio from record 40 in a database of 3 records, and
    // its title would clear the terminal.
    const std::string path = tempPath("info_liar.pdb");
    FILE* f = std::fopen(path.c_str(), "wb");
    quil::MovieDbWriter w(f);
    quil::MovieHeader h;
    h.frameCount = 9;
    h.flags = quil::kMovieFlagHasAudio;
    h.firstAudioRecord = 40;
    h.title = "\x1b[2J\\";
    ASSERT_EQ(w.begin("m", quil::kDbTypeMovie, 3, kDec10_2026), quil::MovieDbError::Ok);
    ASSERT_EQ(w.writeMovieHeader(h), quil::MovieDbError::Ok);
    ASSERT_EQ(w.writeRecord(frameRecord(10, 1)), quil::MovieDbError::Ok);
    ASSERT_EQ(w.writeRecord(Bytes(1, 9)), quil::MovieDbError::Ok);
    ASSERT_EQ(w.finish(), quil::MovieDbError::Ok);
    std::fclose(f);

    const ToolRun r = quillreel("info '" + path + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("the first audio record 40 is not in the database"));
    EXPECT_THAT(r.out, HasSubstr("the header counts 9 frames, but only 2 frame records"));
    EXPECT_THAT(r.out, HasSubstr("Frame records:       2 (1 key, 0 delta, 1 of unknown type)"));
    EXPECT_THAT(r.out, HasSubstr("Frame rate:          0.000 fps"));
    EXPECT_THAT(r.out, HasSubstr("Title:               \"\\x1b[2J\\\\\"\n"));
    EXPECT_THAT(r.out, Not(HasSubstr("\x1b")));
}

TEST(InfoCommand, UnreadableFilesFailWithOneLine) {
    const std::string empty = tempPath("info_empty.pdb");
    writeFile(empty, {});
    const std::string cut = tempPath("info_cut.pdb");
    writeFile(cut, Bytes(50, 0));
    const std::string shortHeader = tempPath("info_short_header.pdb");
    Bytes db(78 + 8 + 10, 0);
    quil::putBE16(db, 76, 1);
    quil::putBE32(db, 78, 86);
    writeFile(shortHeader, db);

    struct Case {
        std::string path;
        std::string message;
    };
    const Case cases[] = {
        {tempPath("no_such_movie.pdb"), "cannot open: No such file or directory"},
        {workDir(), "not a regular file"},
        {empty, "the file is empty"},
        {cut, "the file is shorter than a database header"},
        {shortHeader, "the movie header record is 10 bytes, shorter than 44"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const ToolRun r = quillreel("info '" + c.path + "'");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quillreel: " + c.path + ": " + c.message + "\n");
    }
}

TEST(QuillreelTool, VersionHelpAndUsageErrors) {
    const ToolRun version = quillreel("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "quillreel 4.00.00\n");

    const ToolRun help = quillreel("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("info"));

    EXPECT_NE(quillreel("").status, 0) << "a subcommand is required";
    EXPECT_NE(quillreel("info").status, 0) << "info needs a movie";
    EXPECT_NE(quillreel("frobnicate x").status, 0);
}

} // namespace
