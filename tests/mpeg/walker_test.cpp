// The system stream walker on program streams made with FFmpeg's mpeg and vob muxers, on
// audio elementary streams, on damaged and foreign files; and the pack probe.
#include "encoder/media/mpeg/mpegsystem.h"
#include "mpegtestutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace quil::mpeg::test {
namespace {

struct Walk {
    int rc = 0;
    std::vector<std::string> lines;
    std::vector<uint8_t> audio;
};

Walk walk(const std::filesystem::path& in, bool quiet = false) {
    Walk w;
    const auto out = tempDir() / (in.filename().string() + ".mp3");
    std::filesystem::remove(out);
    w.rc = ExtractMpegAudio(in.string(), quiet, out.string(),
                            [&](const std::string& s) { w.lines.push_back(s); });
    w.audio = readBytes(out);
    return w;
}

long countLines(const Walk& w, const std::string& part) {
    return std::count_if(w.lines.begin(), w.lines.end(),
                         [&](const std::string& s) { return s.find(part) != std::string::npos; });
}

const char* const kVideo = "-f lavfi -i testsrc=size=96x64:rate=25:d=1.2";
const char* const kAudioA =
    "-f lavfi -i \"aevalsrc='0.3*sin(2*PI*440*t)|0.2*sin(2*PI*550*t)':s=44100:d=1.2\"";
const char* const kAudioB =
    "-f lavfi -i \"aevalsrc='0.3*sin(2*PI*990*t)|0.2*sin(2*PI*330*t)':s=44100:d=1.2\"";

struct StreamCase {
    const char* name;
    std::string ffmpegArgs; // everything between the inputs and the output name
    int pack;               // 1 MPEG-1, 2 MPEG-2
    const char* rawFormat;  // FFmpeg muxer for the demuxed audio
};

class ProgramStream : public ::testing::TestWithParam<StreamCase> {
  protected:
    void SetUp() override {
        if (!haveTool("ffmpeg"))
            GTEST_SKIP() << "ffmpeg is needed to make the streams";
    }
};

std::filesystem::path makeStream(const StreamCase& c) {
    const auto path = tempDir() / c.name;
    if (!std::filesystem::exists(path))
        run(std::string("ffmpeg -y -v error ") + kVideo + " " + kAudioA + " " + c.ffmpegArgs +
            " '" + path.string() + "'");
    return path;
}

// FFmpeg's own demuxing of audio stream index, copied without decoding.
std::vector<uint8_t> demuxAudio(const std::filesystem::path& in, int index, const char* format) {
    const auto out = tempDir() / (in.filename().string() + ".a" + std::to_string(index));
    run("ffmpeg -y -v error -i '" + in.string() + "' -map 0:a:" + std::to_string(index) +
        " -c copy -f " + format + " '" + out.string() + "'");
    return readBytes(out);
}

TEST_P(ProgramStream, ExtractsAudioThatDecodesLikeFfmpegsDemuxedStream) {
    const StreamCase& c = GetParam();
    const auto path = makeStream(c);
    ASSERT_TRUE(std::filesystem::exists(path));
    const Walk w = walk(path);
    ASSERT_EQ(w.rc, 0);
    EXPECT_GT(countLines(w, c.pack == 2 ? "(MPEG-2)" : "(MPEG-1)"), 0);
    EXPECT_EQ(countLines(w, "Unknown Type"), 0);
    EXPECT_EQ(countLines(w, "Attempting to recover"), 0);
    EXPECT_EQ(countLines(w, "Extracting MPEG audio block at $"),
              countLines(w, "MPeg Audio Block size"));
    EXPECT_EQ(w.lines.back().substr(8), ": Done");

    const std::vector<uint8_t> demuxed = demuxAudio(path, 0, c.rawFormat);
    ASSERT_FALSE(demuxed.empty());
    const Decoded ours = decodeBytes(w.audio);
    const Decoded theirs = decodeBytes(demuxed);
    EXPECT_GT(ours.frames, 20);
    EXPECT_EQ(ours.pcm, theirs.pcm);

    std::FILE* f = std::fopen(path.string().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    std::fseek(f, 0, SEEK_SET);
    EXPECT_EQ(ProbeMpegVideo(f), c.pack);
    EXPECT_EQ(std::ftell(f), 0);
    std::fclose(f);
}

INSTANTIATE_TEST_SUITE_P(
    Muxers, ProgramStream,
    ::testing::Values(
        StreamCase{"mpeg1-mp2.mpg", "-c:v mpeg1video -c:a mp2 -b:a 128k -f mpeg", 1, "mp2"},
        StreamCase{"mpeg1-mp3.mpg", "-c:v mpeg1video -c:a libmp3lame -b:a 128k -f mpeg", 1,
                   "mp3 -write_xing 0 -id3v2_version 0"},
        StreamCase{"mpeg1-padded.mpg", "-c:v mpeg1video -b:v 100k -c:a mp2 -muxrate 2000k -f mpeg",
                   1, "mp2"},
        StreamCase{"mpeg2.vob", "-c:v mpeg2video -c:a mp2 -f vob", 2, "mp2"}),
    [](const auto& info) {
        std::string s = info.param.name;
        std::replace_if(
            s.begin(), s.end(),
            [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
        return s;
    });

TEST(Walker, PaddingPacketsAreWalkedOver) {
    if (!haveTool("ffmpeg"))
        GTEST_SKIP();
    const auto path =
        makeStream({"mpeg1-padded.mpg", "-c:v mpeg1video -b:v 100k -c:a mp2 -muxrate 2000k -f mpeg",
                    1, "mp2"});
    const Walk w = walk(path, false);
    EXPECT_GT(countLines(w, "MPeg Padding Block size"), 0);
}

TEST(Walker, TwoAudioStreamsAreExtractedInterleavedInFileOrder) {
    if (!haveTool("ffmpeg"))
        GTEST_SKIP();
    const auto path = tempDir() / "two-audio.mpg";
    run(std::string("ffmpeg -y -v error ") + kVideo + " " + kAudioA + " " + kAudioB +
        " -map 0:v -map 1:a -map 2:a -c:v mpeg1video -c:a mp2 -b:a 128k -f mpeg '" + path.string() +
        "'");
    const Walk w = walk(path);
    ASSERT_EQ(w.rc, 0);
    std::vector<int> order;
    for (const std::string& s : w.lines) {
        const size_t at = s.find("MPeg Audio Block size");
        if (at != std::string::npos)
            order.push_back(std::stoi(s.substr(s.rfind(' ') + 1)));
    }
    ASSERT_FALSE(order.empty());
    const long switches =
        std::inner_product(order.begin() + 1, order.end(), order.begin(), 0L, std::plus<>(),
                           [](int a, int b) { return a != b ? 1L : 0L; });
    EXPECT_GE(switches, 2) << "the streams' packets alternate in the file";
    EXPECT_TRUE(std::count(order.begin(), order.end(), 0) > 0 &&
                std::count(order.begin(), order.end(), 1) > 0);
    const std::vector<uint8_t> a0 = demuxAudio(path, 0, "mp2");
    const std::vector<uint8_t> a1 = demuxAudio(path, 1, "mp2");
    EXPECT_EQ(w.audio.size(), a0.size() + a1.size());
    // The output is the two streams' bytes merged run by run, each stream in its own order.
    size_t i0 = 0, i1 = 0, pos = 0, runs = 0;
    auto common = [&](const std::vector<uint8_t>& a, size_t i) {
        size_t n = 0;
        while (pos + n < w.audio.size() && i + n < a.size() && w.audio[pos + n] == a[i + n])
            ++n;
        return n;
    };
    while (pos < w.audio.size()) {
        const size_t n0 = common(a0, i0), n1 = common(a1, i1);
        ASSERT_GT(std::max(n0, n1), 0u) << "byte " << pos << " belongs to neither stream";
        (n0 >= n1 ? i0 : i1) += std::max(n0, n1);
        pos += std::max(n0, n1);
        ++runs;
    }
    EXPECT_EQ(i0, a0.size());
    EXPECT_EQ(i1, a1.size());
    EXPECT_GE(runs, 4u);
}

TEST(Walker, GarbageBetweenPacksIsRecoveredFrom) {
    if (!haveTool("ffmpeg"))
        GTEST_SKIP();
    const auto clean =
        makeStream({"mpeg1-mp2.mpg", "-c:v mpeg1video -c:a mp2 -b:a 128k -f mpeg", 1, "mp2"});
    const Walk good = walk(clean, true);
    std::vector<uint8_t> b = readBytes(clean);
    // Find a pack header well inside the file and put junk in front of it.
    size_t at = 0;
    for (size_t i = b.size() / 2; i + 4 < b.size(); ++i)
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && b[i + 3] == 0xBA) {
            at = i;
            break;
        }
    ASSERT_GT(at, 0u);
    std::vector<uint8_t> junk(150);
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = uint8_t(0x41 + i % 26);
    b.insert(b.begin() + long(at), junk.begin(), junk.end());
    const auto dirty = tempDir() / "garbage.mpg";
    writeBytes(dirty, b);

    const Walk w = walk(dirty);
    EXPECT_EQ(w.rc, 0);
    EXPECT_EQ(countLines(w, ": Attempting to recover from bad or unknown header..."),
              long(junk.size()));
    char first[96];
    std::snprintf(first, sizeof first, "%08lx: Attempting to recover from bad or unknown header...",
                  (unsigned long)at);
    EXPECT_NE(std::find(w.lines.begin(), w.lines.end(), first), w.lines.end());
    EXPECT_EQ(w.audio, good.audio);

    const Walk quiet = walk(dirty, true);
    EXPECT_EQ(countLines(quiet, "Attempting"), 0);
    EXPECT_EQ(long(quiet.lines.size()), countLines(quiet, "Extracting MPEG audio block at $"));
}

TEST(Walker, LongZeroRunWithoutPackHeaderIsSteppedOverOnce) {
    // A pack, junk, 400 kB of zeros that do not lead to a pack header, junk, then a pack and
    // an audio packet: the walk resumes at the second pack without rescanning the run.
    std::vector<uint8_t> s = {0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0x80, 0, 1, 0x47};
    s.insert(s.end(), 400000, 0);
    s.push_back(0x47);
    const std::vector<uint8_t> tail = {0, 0, 1, 0xBA, 0x21, 0, 1, 0,    1,    0x80, 0,
                                       1, 0, 0, 1,    0xC0, 0, 3, 0x0F, 0xE1, 0xE2};
    s.insert(s.end(), tail.begin(), tail.end());
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    long recoveries = 0;
    EXPECT_EQ(ExtractMpegAudioFromMemory(s.data(), s.size(), false, out,
                                         [&](const std::string& l) {
                                             recoveries += l.find("Attempting to recover") !=
                                                           std::string::npos;
                                         }),
              0);
    EXPECT_EQ(recoveries, 400002);
    std::rewind(out);
    uint8_t got[4] = {};
    EXPECT_EQ(std::fread(got, 1, 4, out), 2u);
    EXPECT_EQ(got[0], 0xE1);
    std::fclose(out);
}

TEST(Walker, ElementaryStreamCopiesFramesAndSkipsId3) {
    if (!haveTool("lame") || !haveTool("ffmpeg"))
        GTEST_SKIP();
    const auto wav = tempDir() / "es.wav";
    const auto mp3 = tempDir() / "es.mp3";
    run("ffmpeg -y -v error " + std::string(kAudioA) + " -c:a pcm_s16le '" + wav.string() + "'");
    run("lame --quiet -t -b 128 --id3v2-only --tt Title '" + wav.string() + "' '" + mp3.string() +
        "'");
    const std::vector<uint8_t> file = readBytes(mp3);
    ASSERT_GT(file.size(), 10u);
    ASSERT_EQ(std::string(file.begin(), file.begin() + 3), "ID3");
    const size_t tag =
        10 + ((size_t(file[6]) << 21) | (size_t(file[7]) << 14) | (size_t(file[8]) << 7) | file[9]);
    const Walk w = walk(mp3);
    EXPECT_EQ(w.rc, 0);
    EXPECT_EQ(w.lines.front(), "$00000000: ID3 Block size " + std::to_string(tag));
    EXPECT_EQ(w.audio, std::vector<uint8_t>(file.begin() + long(tag), file.end()));
    char second[128];
    std::snprintf(second, sizeof second,
                  "$%08lx: MPeg Audio Data: size 417 (MPEG 1, Layer III, 44100Hz, 128kbps)",
                  (unsigned long)tag);
    EXPECT_EQ(w.lines.at(1), second);
}

TEST(Walker, ForeignAndMissingFilesHaveNoBlocks) {
    const auto text = tempDir() / "notes.txt";
    const std::string words = "just some words, no MPEG here";
    writeBytes(text, std::vector<uint8_t>(words.begin(), words.end()));
    const Walk w = walk(text);
    EXPECT_EQ(w.rc, 1);
    EXPECT_EQ(w.lines, std::vector<std::string>{"Unsupported type of file"});
    EXPECT_EQ(ExtractMpegAudio((tempDir() / "missing.mpg").string(), true,
                               (tempDir() / "m.mp3").string()),
              1);
    EXPECT_EQ(ExtractMpegAudio(text.string(), true, (tempDir() / "no-dir" / "x.mp3").string()), 1);
}

TEST(Walker, PacketHeaderFieldsAreSkippedBeforeCopying) {
    // pack, then audio packets with stuffing + buffer field + PTS, a PTS/DTS pair, an MPEG-2
    // header, and the bare 0x0F byte; each carries two payload bytes.
    const std::vector<uint8_t> s = {
        0, 0, 1,    0xBA, 0x21, 0,  1,    0,    1,    0x80, 0,    1, // MPEG-1 pack
        0, 0, 1,    0xC0, 0,    11, 0xFF, 0xFF, 0x40, 0x10, 0x21, 0,    1,
        0, 1, 0xA1, 0xA2, // stuffing, buffer, PTS
        0, 0, 1,    0xC1, 0,    12, 0x31, 0,    1,    0,    1,    0x11, 0,
        1, 0, 1,    0xB1, 0xB2,                                               // PTS and DTS
        0, 0, 1,    0xC0, 0,    7,  0x81, 0x80, 2,    0x55, 0x55, 0xC1, 0xC2, // MPEG-2 header
        0, 0, 1,    0xC0, 0,    3,  0x0F, 0xD1, 0xD2,                         // no time stamp
        0, 0, 1,    0xC0, 0,    40, 0xFF,                                     // runs past the end
    };
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    std::vector<std::string> lines;
    EXPECT_EQ(ExtractMpegAudioFromMemory(s.data(), s.size(), true, out,
                                         [&](const std::string& l) { lines.push_back(l); }),
              0);
    std::fflush(out);
    std::rewind(out);
    std::vector<uint8_t> got(64);
    got.resize(std::fread(got.data(), 1, got.size(), out));
    std::fclose(out);
    EXPECT_EQ(got, (std::vector<uint8_t>{0xA1, 0xA2, 0xB1, 0xB2, 0xC1, 0xC2, 0xD1, 0xD2}));
    EXPECT_EQ(lines.front(), "Extracting MPEG audio block at $0000000c");
    EXPECT_EQ(lines.size(), 5u);
}

TEST(Probe, ClassifiesPackHeadersAndRestoresThePosition) {
    const struct {
        std::vector<uint8_t> bytes;
        int type;
    } cases[] = {
        {{0, 0, 1, 0xBA, 0x21, 0, 1, 0, 1, 0x80, 0, 1}, 1},
        {{0, 0, 0, 0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8}, 2},
        {{0, 0, 1, 0xBA, 0xF1, 0, 0, 0, 0, 0, 0, 0}, 0},
        {{0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0}, 0},
        {{0, 1, 0xBA, 0x21}, 0},
        {{}, 0},
    };
    for (const auto& c : cases) {
        std::FILE* f = std::tmpfile();
        ASSERT_NE(f, nullptr);
        const uint8_t lead[3] = {7, 7, 7};
        std::fwrite(lead, 1, 3, f);
        std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
        std::fseek(f, 3, SEEK_SET);
        EXPECT_EQ(ProbeMpegVideo(f), c.type);
        EXPECT_EQ(std::ftell(f), 3);
        std::fclose(f);
    }
}

} // namespace
} // namespace quil::mpeg::test
