// Sample readers and G.711: exact floats for hand-picked blocks of every source format,
// the expansion tables against FFmpeg's decoders, and MemoryAudioSource's stored formats
// read back through the readers.
#include "audioconv_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace audiotest;

namespace {

AudioStreamInfo Info(int bits, int channels, int blockAlign, uint16_t tag = 1) {
    AudioStreamInfo i;
    i.bitsPerSample = bits;
    i.channels = channels;
    i.blockAlign = blockAlign;
    i.formatTag = tag;
    i.samplesPerSec = 10000;
    return i;
}

std::vector<float> Read(const AudioStreamInfo& info, const std::vector<uint8_t>& bytes) {
    const auto reader = AudioSampleReader::Select(info);
    if (!reader) {
        ADD_FAILURE() << "no reader";
        return {};
    }
    std::vector<float> out(bytes.size() / size_t(info.blockAlign));
    reader->Convert(bytes.data(), int(out.size()), out.data());
    return out;
}

} // namespace

TEST(AudioSampleReaders, ExactValuesForEveryFormat) {
    struct Case {
        const char* name;
        AudioStreamInfo info;
        std::vector<uint8_t> bytes;
        std::vector<float> values;
    };
    const Case cases[] = {
        {"u8_mono", Info(8, 1, 1), {0, 128, 255, 64}, {-1.0f, 0.0f, 127 / 128.0f, -0.5f}},
        {"u8_stereo",
         Info(8, 2, 2),
         {0, 255, 255, 255, 128, 0},
         {-1 / 256.0f, 254 / 256.0f, -0.5f}},
        // Block alignment wider than the samples: the padding is skipped.
        {"u8_stereo_padded",
         Info(8, 2, 3),
         {10, 20, 99, 200, 100, 99},
         {-226 / 256.0f, 44 / 256.0f}},
        {"alaw_mono",
         Info(8, 1, 1, 6),
         {0xd5, 0x55, 0xaa, 0x2a},
         {8 / 32768.0f, -8 / 32768.0f, 32256 / 32768.0f, -32256 / 32768.0f}},
        {"alaw_stereo", Info(8, 2, 2, 6), {0xaa, 0xaa, 0xaa, 0x2a}, {64512 / 65536.0f, 0.0f}},
        {"mulaw_mono",
         Info(8, 1, 1, 7),
         {0xff, 0x80, 0x00},
         {0.0f, 32124 / 32768.0f, -32124 / 32768.0f}},
        {"mulaw_stereo", Info(8, 2, 2, 7), {0x80, 0x80, 0x80, 0x00}, {64248 / 65536.0f, 0.0f}},
        {"s16_mono",
         Info(16, 1, 2),
         {0x00, 0x80, 0xff, 0x7f, 0x01, 0x00},
         {-1.0f, 32767 / 32768.0f, 1 / 32768.0f}},
        {"s16_stereo",
         Info(16, 2, 4),
         {0xff, 0x7f, 0x00, 0x80, 0x00, 0x40, 0x00, 0x40},
         {-1 / 65536.0f, 0.5f}},
        // An odd block alignment for 16-bit samples steps by the even size below it.
        {"s16_mono_odd_align", Info(16, 1, 3), {0x00, 0x40, 0x00, 0xc0, 0x00, 0x00}, {0.5f, -0.5f}},
        // 24-bit samples: the top 16 bits of each.
        {"s24_mono", Info(24, 1, 3), {0xff, 0x00, 0x40, 0x12, 0x00, 0xc0}, {0.5f, -0.5f}},
        {"s24_stereo", Info(24, 2, 6), {0x00, 0x00, 0x40, 0x00, 0x00, 0x20}, {0.75f / 2 + 0.0f}},
        {"s32_mono", Info(32, 1, 4), {0x11, 0x22, 0x00, 0x80}, {-1.0f}},
        // A 6-channel stream (as a downmix would not have been done) reads its first pair.
        {"s16_six_channels",
         Info(16, 6, 12),
         {0x00, 0x20, 0x00, 0x20, 0x00, 0x7f, 0x00, 0x7f, 0x00, 0x7f, 0x00, 0x7f},
         {0.25f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Read(c.info, c.bytes), c.values);
    }
}

TEST(AudioSampleReaders, RejectsFormatsThatDoNotFitTheirBlocks) {
    for (const auto& info : {Info(16, 2, 2), Info(16, 2, 3), Info(8, 2, 1), Info(24, 1, 2),
                             Info(16, 0, 2), Info(0, 1, 1), Info(40, 1, 5), Info(8, 1, 0)}) {
        EXPECT_FALSE(AudioSampleReader::Select(info))
            << info.bitsPerSample << " bits, " << info.channels << " channels, block "
            << info.blockAlign;
    }
}

// FFmpeg's G.711 decoders are the oracle for all 256 codes of both laws.
TEST(AudioSampleReaders, G711MatchesFfmpeg) {
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffmpeg not installed";
    }
    const auto dir =
        std::filesystem::temp_directory_path() / ("quil_g711_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const char* law : {"alaw", "mulaw"}) {
        SCOPED_TRACE(law);
        const auto in = dir / (std::string(law) + ".raw");
        const auto out = dir / (std::string(law) + ".s16");
        {
            std::ofstream f(in, std::ios::binary);
            for (int c = 0; c < 256; ++c) {
                f.put(char(c));
            }
        }
        const std::string cmd = "ffmpeg -v error -y -f " + std::string(law) +
                                " -ar 8000 -ac 1 -i " + in.string() +
                                " -f s16le -acodec pcm_s16le " + out.string();
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        std::ifstream f(out, std::ios::binary);
        std::vector<char> pcm((std::istreambuf_iterator<char>(f)),
                              std::istreambuf_iterator<char>());
        ASSERT_EQ(pcm.size(), 512u);
        const bool alaw = std::string(law) == "alaw";
        for (int c = 0; c < 256; ++c) {
            const auto expected =
                int16_t(uint16_t(uint8_t(pcm[2 * c]) | (uint8_t(pcm[2 * c + 1]) << 8)));
            ASSERT_EQ(alaw ? ALawToLinear(uint8_t(c)) : MuLawToLinear(uint8_t(c)), expected) << c;
            // Compressing the expanded value gives the code back (mu-law has two zeros).
            const uint8_t again = alaw ? LinearToALaw(expected) : LinearToMuLaw(expected);
            EXPECT_EQ(again, (!alaw && c == 0x7f) ? 0xff : c) << c;
        }
    }
    std::filesystem::remove_all(dir);
}

// What MemoryAudioSource stores comes back through the readers as the generated values,
// within the format's resolution.
TEST(MemoryAudioSource, GeneratedFormatsReadBack) {
    struct Case {
        const char* name;
        MemoryAudioFormat format;
        double tolerance;    // absolute
        double relative = 0; // G.711 steps grow with the level
    };
    const Case cases[] = {
        {"u8_mono", Format(8000, 8, 1), 1 / 256.0},
        {"u8_stereo", Format(11025, 8, 2), 1 / 256.0},
        {"alaw_mono", Format(8000, 8, 1, 6), 1 / 2048.0, 1 / 32.0},
        {"alaw_stereo", Format(8000, 8, 2, 6), 1 / 2048.0, 1 / 32.0},
        {"mulaw_mono", Format(8000, 8, 1, 7), 1 / 2048.0, 1 / 32.0},
        {"mulaw_stereo", Format(8000, 8, 2, 7), 1 / 2048.0, 1 / 32.0},
        {"s16_mono", Format(48000, 16, 1), 1 / 65536.0},
        {"s16_stereo", Format(44100, 16, 2), 1 / 65536.0},
        {"s16_stereo_padded", Format(44100, 16, 2, 1, 6), 1 / 65536.0},
        {"s24_stereo", Format(96000, 24, 2), 1 / 32768.0}, // the low byte is dropped
    };
    auto value = [](int i, int c) { return 0.9 * std::sin(0.013 * i + 1.7 * c); };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        MemoryAudioSource src;
        src.Generate(k.format, 3000, value);
        src.SetStart(40);
        AudioStreamInfo info;
        ASSERT_EQ(src.GetInfo(&info), 0);
        EXPECT_EQ(info.samplesPerSec, k.format.samplesPerSec);
        EXPECT_EQ(info.blockAlign, k.format.effectiveBlockAlign());
        EXPECT_EQ(info.length, 3000);
        // Read the middle through the source's interface, as the conversion does.
        std::vector<uint8_t> buf(size_t(1000 * info.blockAlign));
        int bytes = 0, blocks = 0;
        ASSERT_EQ(src.Read(40 + 1000, 1000, buf.data(), int(buf.size()), &bytes, &blocks), 0);
        ASSERT_EQ(blocks, 1000);
        std::vector<float> got(1000);
        AudioSampleReader::Select(info)->Convert(buf.data(), 1000, got.data());
        for (int i = 0; i < 1000; ++i) {
            const int channels = k.format.channels;
            double expected = 0, tolerance = 0;
            for (int c = 0; c < channels; ++c) {
                expected += value(1000 + i, c) / channels;
                tolerance += (k.tolerance + k.relative * std::abs(value(1000 + i, c))) / channels;
            }
            ASSERT_NEAR(got[size_t(i)], expected, tolerance) << i;
        }
    }
}

TEST(MemoryAudioSource, ReadsStayWithinTheStreamAndTheBuffer) {
    MemoryAudioSource src;
    src.Generate(Format(10000, 16, 2), 100, [](int, int) { return 0.5; });
    src.SetStart(10);
    std::vector<uint8_t> buf(64, 0xaa);
    int bytes = -1, blocks = -1;
    // Past the end: what is there. A small buffer: what fits.
    ASSERT_EQ(src.Read(105, 50, buf.data(), 64, &bytes, &blocks), 0);
    EXPECT_EQ(blocks, 5);
    std::fill(buf.begin(), buf.end(), 0xaa);
    ASSERT_EQ(src.Read(10, 50, buf.data(), 10, &bytes, &blocks), 0);
    EXPECT_EQ(blocks, 2);
    EXPECT_EQ(bytes, 8);
    EXPECT_EQ(buf[8], 0xaa);
    EXPECT_EQ(src.Read(5, 1, buf.data(), 64, nullptr, nullptr), kAudioReadError);
    EXPECT_EQ(src.Read(111, 1, buf.data(), 64, nullptr, nullptr), kAudioReadError);
    src.Close();
    EXPECT_EQ(src.GetLength(), 0);
    EXPECT_EQ(src.Read(10, 1, buf.data(), 64, nullptr, nullptr), kAudioNotOpen);
    EXPECT_EQ(src.Open(""), kAudioNoFileName);
    EXPECT_EQ(src.Open("memory"), 0);
    EXPECT_EQ(src.GetLength(), 100);
}
