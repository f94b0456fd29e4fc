// MP3 to WAV: the header and its final sizes, the status lines, and what happens when the
// stream is damaged: the right error code, no crash, and a valid WAV of what was decoded.
#include "encoder/media/mpeg/mp3towav.h"
#include "encoder/media/mpeg/mpegsystem.h"
#include "mpegtestutil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace quil::mpeg::test {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
           (uint32_t(b[at + 3]) << 24);
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b[at] | (b[at + 1] << 8));
}

struct Wav {
    int channels = 0;
    uint32_t rate = 0, byteRate = 0;
    int blockAlign = 0, bits = 0;
    std::vector<int16_t> pcm;
};

// Parses our 44-byte header and checks the two sizes against the file length.
Wav readWav(const std::filesystem::path& path) {
    const std::vector<uint8_t> b = readBytes(path);
    Wav w;
    EXPECT_GE(b.size(), 44u);
    if (b.size() < 44)
        return w;
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(le32(b, 16), 16u);
    EXPECT_EQ(le16(b, 20), 1);
    EXPECT_EQ(le32(b, 40), b.size() - 44);
    w.channels = le16(b, 22);
    w.rate = le32(b, 24);
    w.byteRate = le32(b, 28);
    w.blockAlign = le16(b, 32);
    w.bits = le16(b, 34);
    for (size_t i = 44; i + 1 < b.size(); i += 2)
        w.pcm.push_back(int16_t(le16(b, i)));
    return w;
}

struct Conversion {
    int rc = 0;
    std::vector<std::string> lines;
    Wav wav;
};

Conversion convert(const std::filesystem::path& in, bool quiet = false) {
    Conversion r;
    const auto out = tempDir() / (in.filename().string() + ".wav");
    r.rc = DecodeMp3ToWav(in.string(), quiet, out.string(),
                          [&](const std::string& s) { r.lines.push_back(s); });
    if (std::filesystem::exists(out))
        r.wav = readWav(out);
    return r;
}

bool hasLine(const Conversion& r, const std::string& line) {
    return std::find(r.lines.begin(), r.lines.end(), line) != r.lines.end();
}

class Mp3ToWav : public ::testing::Test {
  protected:
    static std::filesystem::path lameStream(const std::string& name, const std::string& options,
                                            int rate, int ch) {
        const auto path = tempDir() / name;
        if (std::filesystem::exists(path))
            return path;
        const auto wav = tempDir() / (name + ".src.wav");
        run("ffmpeg -y -v error -f lavfi -i "
            "\"aevalsrc='0.4*sin(2*PI*440*t)+0.1*(random(0)-0.5)':s=" +
            std::to_string(rate) + ":d=1.5\" -ac " + std::to_string(ch) + " -c:a pcm_s16le '" +
            wav.string() + "'");
        run("lame --quiet " + options + " '" + wav.string() + "' '" + path.string() + "'");
        return path;
    }
    void SetUp() override {
        if (!haveTool("lame") || !haveTool("ffmpeg"))
            GTEST_SKIP() << "lame and ffmpeg are needed to make the streams";
    }
};

// Byte offsets of the frames of a clean stream.
std::vector<size_t> frameOffsets(const std::vector<uint8_t>& b) {
    std::vector<size_t> offsets;
    size_t pos = 0;
    FrameHeader h;
    while (pos + 4 <= b.size() && parseFrameHeader(b.data() + pos, h, false)) {
        offsets.push_back(pos);
        pos += size_t(h.frameBytes());
    }
    return offsets;
}

TEST_F(Mp3ToWav, StereoStreamGivesStereoWavWithFinalSizesAndStatusLines) {
    const auto mp3 = lameStream("stereo.mp3", "-t -m s -b 128", 44100, 2);
    const Conversion r = convert(mp3);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.wav.channels, 2);
    EXPECT_EQ(r.wav.rate, 44100u);
    EXPECT_EQ(r.wav.blockAlign, 4);
    EXPECT_EQ(r.wav.byteRate, 176400u);
    EXPECT_EQ(r.wav.bits, 16);
    const Decoded d = decodeFile(mp3);
    EXPECT_EQ(r.wav.pcm, d.pcm);

    EXPECT_TRUE(hasLine(r, "MPEG-1 layer III stream, 128Kbits/sec, 44KHz, stereo"));
    EXPECT_TRUE(std::any_of(r.lines.begin(), r.lines.end(),
                            [](auto& s) { return s.rfind("found decoder: ", 0) == 0; }));
    const long frameLines = std::count_if(r.lines.begin(), r.lines.end(), [](auto& s) {
        return s.rfind("Decoding MP3 Frame ", 0) == 0;
    });
    EXPECT_EQ(frameLines, d.frames / 16);
    EXPECT_TRUE(hasLine(r, "Decoding MP3 Frame 16"));
    EXPECT_TRUE(std::none_of(r.lines.begin(), r.lines.end(),
                             [](auto& s) { return s.rfind("AMPDecoder Error", 0) == 0; }));

    const Conversion quiet = convert(mp3, true);
    EXPECT_FALSE(hasLine(quiet, "MPEG-1 layer III stream, 128Kbits/sec, 44KHz, stereo"));
    EXPECT_TRUE(hasLine(quiet, "Decoding MP3 Frame 16"));
    EXPECT_EQ(quiet.lines.size(), size_t(frameLines));
}

TEST_F(Mp3ToWav, DescribesLowerRateMonoStream) {
    const Conversion r = convert(lameStream("mono22.mp3", "-t -m m -b 32", 22050, 1));
    EXPECT_TRUE(hasLine(r, "MPEG-2 layer III stream, 32Kbits/sec, 22KHz, mono"));
    EXPECT_EQ(r.wav.channels, 1);
    EXPECT_EQ(r.wav.blockAlign, 2);
    EXPECT_EQ(r.wav.byteRate, 44100u);
}

TEST(Mp3ToWavFiles, DescribesLayersOneAndTwo) {
    const auto dir = std::filesystem::path(QUIL_TEST_DATA_DIR) / "mpeg-audio";
    const std::pair<const char*, const char*> cases[] = {
        {"l1-fl8.bit", "MPEG-1 layer I stream, 384Kbits/sec, 44KHz, stereo"},
        {"l2-fl13.bit", "MPEG-1 layer II stream, 32Kbits/sec, 32KHz, mono"},
    };
    for (const auto& [file, line] : cases) {
        const Conversion r = convert(dir / file);
        EXPECT_TRUE(hasLine(r, line)) << file;
        EXPECT_EQ(r.wav.rate,
                  std::string(line).find("32KHz") != std::string::npos ? 32000u : 44100u);
    }
}

TEST(Mp3ToWavFiles, MissingInputIsErrorFiveAndEmptyFileGivesEmptyWav) {
    const auto missing = tempDir() / "no-such-file.mp3";
    std::vector<std::string> lines;
    EXPECT_EQ(DecodeMp3ToWav(missing.string(), true, (tempDir() / "x.wav").string(),
                             [&](const std::string& s) { lines.push_back(s); }),
              5);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Error: Can't open file " + missing.string());

    const auto empty = tempDir() / "empty.mp3";
    writeBytes(empty, {});
    const Conversion r = convert(empty);
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(r.wav.pcm.empty());
    EXPECT_TRUE(std::none_of(r.lines.begin(), r.lines.end(),
                             [](auto& s) { return s.rfind("AMPDecoder Error", 0) == 0; }));
}

TEST_F(Mp3ToWav, TruncatedStreamKeepsTheWholeFramesAndReportsIncompleteFrame) {
    const auto mp3 = lameStream("trunc-src.mp3", "-t -m j -b 128", 44100, 2);
    std::vector<uint8_t> b = readBytes(mp3);
    const std::vector<size_t> frames = frameOffsets(b);
    ASSERT_GT(frames.size(), 20u);
    b.resize(frames[20] + 100);
    const auto cut = tempDir() / "truncated.mp3";
    writeBytes(cut, b);
    const Conversion r = convert(cut);
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(hasLine(r, "AMPDecoder Error: incomplete frame."));
    EXPECT_EQ(r.wav.pcm.size(), 20u * 1152 * 2);
    const Decoded full = decodeFile(mp3);
    EXPECT_TRUE(std::equal(r.wav.pcm.begin(), r.wav.pcm.end(), full.pcm.begin()));
}

TEST_F(Mp3ToWav, GarbageBetweenFramesIsSkipped) {
    const auto mp3 = lameStream("garbage-src.mp3", "-t -m s -b 96", 44100, 2);
    const std::vector<uint8_t> clean = readBytes(mp3);
    const std::vector<size_t> frames = frameOffsets(clean);
    ASSERT_GT(frames.size(), 12u);
    std::mt19937 rng(7);
    std::vector<uint8_t> dirty;
    for (size_t i = 0; i < frames.size(); ++i) {
        const size_t end = i + 1 < frames.size() ? frames[i + 1] : clean.size();
        dirty.insert(dirty.end(), clean.begin() + long(frames[i]), clean.begin() + long(end));
        if (i % 4 == 1) {
            for (int k = 0; k < 300; ++k)
                dirty.push_back(uint8_t(rng() % 0xF0));
            // A sync word with another version and layer must not be taken for a frame.
            const uint8_t fake[] = {0xFF, 0xE3, 0x90, 0x00, 0x12, 0x34};
            dirty.insert(dirty.end(), fake, fake + sizeof fake);
        }
    }
    const Decoded a = decodeBytes(clean);
    const Decoded d = decodeBytes(dirty);
    EXPECT_EQ(d.lastError, kAmpEndOfFile);
    EXPECT_EQ(d.frames, a.frames);
    EXPECT_EQ(d.pcm, a.pcm);
}

TEST_F(Mp3ToWav, JunkBeforeTheFirstFrameIsNotTakenForAHeader) {
    const auto mp3 = lameStream("junk-src.mp3", "-t -m s -b 128", 44100, 2);
    const std::vector<uint8_t> clean = readBytes(mp3);
    // Lone sync words of a layer I frame, an MPEG-2.5 frame and a free-format frame.
    std::vector<uint8_t> b = {0xFF, 0xFF, 0x90, 0x00, 1,    2,    3,    0xFF, 0xE3,
                              0x90, 0x00, 4,    5,    0xFF, 0xFB, 0x00, 0x00, 6};
    b.insert(b.end(), clean.begin(), clean.end());
    const Decoded d = decodeBytes(b);
    EXPECT_EQ(d.lastError, kAmpEndOfFile);
    EXPECT_EQ(d.pcm, decodeBytes(clean).pcm);
}

TEST_F(Mp3ToWav, WrongCrcMutesOnlyThatFrame) {
    const auto mp3 = lameStream("crc.mp3", "-t -p -m s -b 128", 44100, 2);
    std::vector<uint8_t> b = readBytes(mp3);
    const std::vector<size_t> frames = frameOffsets(b);
    ASSERT_GT(frames.size(), 12u);
    ASSERT_EQ(b[frames[0] + 1] & 1, 0) << "the stream carries no CRC";

    const Decoded clean = decodeBytes(b);
    b[frames[10] + 4] ^= 0x5A;
    const Decoded d = decodeBytes(b);
    EXPECT_EQ(d.lastError, kAmpEndOfFile);
    EXPECT_EQ(clean.crcFailures, 0);
    EXPECT_EQ(d.crcFailures, 1);
    ASSERT_EQ(d.pcm.size(), clean.pcm.size());
    const size_t frameSamples = 1152 * 2;
    EXPECT_TRUE(std::all_of(d.pcm.begin() + long(10 * frameSamples),
                            d.pcm.begin() + long(11 * frameSamples),
                            [](int16_t s) { return s == 0; }));
    EXPECT_TRUE(
        std::equal(d.pcm.begin(), d.pcm.begin() + long(10 * frameSamples), clean.pcm.begin()));
    EXPECT_NE(clean.pcm[10 * frameSamples + 500], 0);
}

TEST(Mp3ToWavCrc, ValidCrcsOfEveryLayerPass) {
    if (!haveTool("twolame") || !haveTool("lame") || !haveTool("ffmpeg"))
        GTEST_SKIP();
    const auto wav = tempDir() / "crc-src.wav";
    run("ffmpeg -y -v error -f lavfi -i "
        "\"aevalsrc='0.4*sin(2*PI*440*t)|0.3*sin(2*PI*550*t)':s=44100:d=1\" -c:a pcm_s16le '" +
        wav.string() + "'");
    const struct {
        const char* name;
        std::string command;
    } cases[] = {
        {"crc-l2.mp2", "twolame --quiet -p -b 192 '" + wav.string() + "' '" +
                           (tempDir() / "crc-l2.mp2").string() + "'"},
        {"crc-l2j.mp2", "twolame --quiet -p -m j -b 128 '" + wav.string() + "' '" +
                            (tempDir() / "crc-l2j.mp2").string() + "'"},
        {"crc-l3.mp3", "lame --quiet -t -p -b 128 '" + wav.string() + "' '" +
                           (tempDir() / "crc-l3.mp3").string() + "'"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(run(c.command)) << c.command;
        const std::vector<uint8_t> b = readBytes(tempDir() / c.name);
        ASSERT_GT(b.size(), 4u);
        ASSERT_EQ(b[1] & 1, 0) << c.name << " carries no CRC";
        const Decoded d = decodeBytes(b);
        EXPECT_EQ(d.crcFailures, 0) << c.name;
        EXPECT_GT(d.frames, 30) << c.name;
    }
}

TEST_F(Mp3ToWav, CorruptedSideInfoAndHuffmanDataDoNotStopTheStream) {
    const auto mp3 = lameStream("corrupt-src.mp3", "-t -m j -V 2", 44100, 2);
    const std::vector<uint8_t> clean = readBytes(mp3);
    const std::vector<size_t> frames = frameOffsets(clean);
    ASSERT_GT(frames.size(), 30u);
    const Decoded a = decodeBytes(clean);
    std::mt19937 rng(11);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<uint8_t> b = clean;
        for (size_t f = 3; f + 1 < frames.size(); f += 5) {
            const size_t len = frames[f + 1] - frames[f];
            // side information right after the header, or the Huffman data further in
            const size_t at = frames[f] + (trial % 2 ? 4 + rng() % 32 : 36 + rng() % (len - 36));
            b[at] = uint8_t(rng());
        }
        const Decoded d = decodeBytes(b);
        EXPECT_EQ(d.lastError, kAmpEndOfFile);
        EXPECT_EQ(d.pcm.size(), a.pcm.size());
    }
}

TEST_F(Mp3ToWav, ReservoirReachingBeforeTheStreamStartGivesSilenceThenDecodes) {
    const auto mp3 = lameStream("reservoir-src.mp3", "-t -m s -b 128", 44100, 2);
    const std::vector<uint8_t> clean = readBytes(mp3);
    const std::vector<size_t> frames = frameOffsets(clean);
    // Start the stream at a frame whose main data begins in the frame before it.
    size_t start = 0;
    for (size_t f = 5; f < frames.size(); ++f) {
        const int mainDataBegin = (clean[frames[f] + 4] << 1) | (clean[frames[f] + 5] >> 7);
        if (mainDataBegin > 0) {
            start = f;
            break;
        }
    }
    ASSERT_GT(start, 0u);
    const std::vector<uint8_t> cut(clean.begin() + long(frames[start]), clean.end());
    const Decoded d = decodeBytes(cut);
    EXPECT_EQ(d.lastError, kAmpEndOfFile);
    EXPECT_EQ(d.frames, long(frames.size() - start));
    EXPECT_TRUE(std::all_of(d.pcm.begin(), d.pcm.begin() + 2304, [](int16_t s) { return s == 0; }));
    EXPECT_TRUE(
        std::any_of(d.pcm.begin() + 2 * 2304, d.pcm.end(), [](int16_t s) { return s != 0; }));
}

TEST_F(Mp3ToWav, RefusedStreamsEndWithTheirErrorLines) {
    const struct {
        const char* name;
        const char* options;
        int rate;
        const char* line;
    } cases[] = {
        {"mpeg25.mp3", "-t -m m -b 16", 8000, "AMPDecoder Error: cannot decode MPEG-2.5 streams."},
        {"free.mp3", "-t -m m --freeformat -b 40", 44100,
         "AMPDecoder Error: cannot decode free-form streams."},
    };
    for (const auto& c : cases) {
        const auto mp3 = lameStream(c.name, c.options, c.rate, 1);
        ASSERT_TRUE(std::filesystem::exists(mp3)) << c.name;
        const Conversion r = convert(mp3);
        EXPECT_EQ(r.rc, 0) << c.name;
        EXPECT_TRUE(hasLine(r, c.line)) << c.name;
        EXPECT_TRUE(r.wav.pcm.empty()) << c.name;
    }
}

TEST_F(Mp3ToWav, LeadingId3TagLargerThanTheSyncSearchIsSkipped) {
    const auto mp3 = lameStream("id3-src.mp3", "-t -m s -b 128", 44100, 2);
    std::vector<uint8_t> b = readBytes(mp3);
    const size_t tagBody = 200000;
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift = 21; shift >= 0; shift -= 7)
        tag.push_back(uint8_t((tagBody >> shift) & 0x7F));
    tag.resize(10 + tagBody, 0xFF); // picture-like bytes full of false syncs
    b.insert(b.begin(), tag.begin(), tag.end());
    const Decoded d = decodeBytes(b);
    EXPECT_EQ(d.lastError, kAmpEndOfFile);
    EXPECT_EQ(d.pcm, decodeFile(mp3).pcm);
}

TEST(AmpDecoderErrors, EveryCodeHasItsText) {
    const std::pair<int, const char*> texts[] = {
        {0, "no error"},           {1, "end of file"},
        {2, "read error"},         {3, "cannot decode MPEG-2.5 streams"},
        {4, "unknown error code"}, {5, "cannot decode free-form streams"},
        {6, "sync error"},         {7, "internal error"},
        {8, "incomplete frame"},   {99, "unknown error code"},
    };
    for (const auto& [code, text] : texts)
        EXPECT_STREQ(AmpDecoder::errorText(code), text) << code;
}

TEST(AmpDecoderErrors, LongGarbageIsASyncError) {
    std::vector<uint8_t> junk(1200000, 0x55);
    EXPECT_EQ(decodeBytes(junk).lastError, kAmpSyncError);
}

TEST(TemporaryNames, FollowTheAudioPath) {
    EXPECT_EQ(mpegAudioKind("Movie.MPG"), MpegAudioKind::SystemStream);
    EXPECT_EQ(mpegAudioKind("clip.mpeg"), MpegAudioKind::SystemStream);
    EXPECT_EQ(mpegAudioKind("Song.Mp3"), MpegAudioKind::Mp3);
    EXPECT_EQ(mpegAudioKind(".mp3"), MpegAudioKind::None);
    EXPECT_EQ(mpegAudioKind("movie.avi"), MpegAudioKind::None);
    const std::string mp3 = extractedAudioName("Movie.MPG");
    EXPECT_EQ(mp3, "Movie.MPG.mp3");
    EXPECT_EQ(decodedWavName(mp3), "Movie.MPG.mp3.wav");
    EXPECT_EQ(decodedWavName("Song.Mp3"), "Song.Mp3.wav");
}

} // namespace
} // namespace quil::mpeg::test
