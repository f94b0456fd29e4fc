// Accuracy against FFmpeg's decoder on streams made at test time with lame, twolame and
// FFmpeg's MP2 encoder: every layer, MPEG-1 and lower sampling rates, CBR and VBR, mono,
// stereo and joint stereo, and forced short blocks.
#include "mpegtestutil.h"

#include <gtest/gtest.h>

namespace quil::mpeg::test {
namespace {

struct OracleCase {
    const char* name;
    int rate;
    int channels;
    const char* encoder; // {in} and {out} are replaced
    int layer;
};

std::string expand(std::string s, const std::string& in, const std::string& out) {
    s.replace(s.find("{in}"), 4, in);
    s.replace(s.find("{out}"), 5, out);
    return s;
}

// A test signal with tones, a sweep and noise, different in the two channels.
std::filesystem::path makeInput(int rate, int channels) {
    const auto path =
        tempDir() / ("in-" + std::to_string(rate) + "-" + std::to_string(channels) + ".wav");
    if (std::filesystem::exists(path))
        return path;
    const std::string left =
        "0.35*sin(2*PI*440*t)+0.2*sin(2*PI*(200+1500*t)*t)+0.08*(random(0)-0.5)";
    const std::string right =
        "0.3*sin(2*PI*660*t)+0.15*sin(2*PI*3100*t)*sin(2*PI*3*t)+0.08*(random(1)-0.5)";
    const std::string expr = channels == 1 ? left : left + "|" + right;
    run("ffmpeg -y -v error -f lavfi -i \"aevalsrc='" + expr + "':s=" + std::to_string(rate) +
        ":d=2\" -c:a pcm_s16le '" + path.string() + "'");
    return path;
}

class Oracle : public ::testing::TestWithParam<OracleCase> {};

TEST_P(Oracle, MatchesFfmpegDecoder) {
    const OracleCase& c = GetParam();
    const std::string tool = std::string(c.encoder).substr(0, std::string(c.encoder).find(' '));
    if (!haveTool(tool) || !haveTool("ffmpeg"))
        GTEST_SKIP() << tool << " or ffmpeg is not installed";
    const auto in = makeInput(c.rate, c.channels);
    const auto out = tempDir() / (std::string(c.name) + (c.layer == 3 ? ".mp3" : ".mp2"));
    ASSERT_TRUE(run(expand(c.encoder, in.string(), out.string()))) << c.encoder;

    const Decoded d = decodeFile(out);
    ASSERT_EQ(d.lastError, kAmpEndOfFile);
    EXPECT_EQ(d.channels, c.channels);
    EXPECT_EQ(d.sampleRate, c.rate);
    const std::vector<int16_t> ref = ffmpegDecode(out);
    ASSERT_FALSE(ref.empty());
    size_t overlap = 0;
    const double p = alignedPsnr(d.pcm, ref, 1152 * c.channels, c.channels, &overlap);
    EXPECT_GE(p, 96.0) << c.name;
    EXPECT_GE(double(overlap), 0.95 * double(ref.size())) << c.name;
}

// lame -t writes no tag frame, so FFmpeg trims nothing and both decoders start together.
const OracleCase kCases[] = {
    {"l3_44k_stereo_cbr128", 44100, 2, "lame -t --quiet -m s -b 128 {in} {out}", 3},
    {"l3_48k_joint_vbr", 48000, 2, "lame -t --quiet -m j -V 2 {in} {out}", 3},
    {"l3_32k_mono_cbr64", 32000, 1, "lame -t --quiet -m m -b 64 {in} {out}", 3},
    {"l3_44k_joint_allshort", 44100, 2, "lame -t --quiet -m j -b 160 --allshort {in} {out}", 3},
    {"l3_22k_joint_cbr64", 22050, 2, "lame -t --quiet -m j -b 64 {in} {out}", 3},
    {"l3_24k_stereo_vbr", 24000, 2, "lame -t --quiet -m s -V 4 {in} {out}", 3},
    {"l3_16k_mono_cbr32", 16000, 1, "lame -t --quiet -m m -b 32 {in} {out}", 3},
    {"l3_22k_mono_allshort", 22050, 1, "lame -t --quiet -m m -b 48 --allshort {in} {out}", 3},
    {"l3_24k_joint_allshort", 24000, 2, "lame -t --quiet -m j -b 96 --allshort {in} {out}", 3},
    {"l3_16k_stereo_allshort", 16000, 2, "lame -t --quiet -m s -b 64 --allshort {in} {out}", 3},
    {"l2_44k_stereo_192", 44100, 2, "twolame --quiet -b 192 {in} {out}", 2},
    {"l2_48k_joint_128", 48000, 2, "twolame --quiet -m j -b 128 {in} {out}", 2},
    {"l2_22k_stereo_64", 22050, 2, "twolame --quiet -b 64 {in} {out}", 2},
    {"l2_32k_mono_ffmpeg", 32000, 1, "ffmpeg -y -v error -i {in} -c:a mp2 -b:a 64k {out}", 2},
    {"l2_16k_mono_ffmpeg", 16000, 1, "ffmpeg -y -v error -i {in} -c:a mp2 -b:a 32k {out}", 2},
    {"l2_24k_stereo_ffmpeg", 24000, 2, "ffmpeg -y -v error -i {in} -c:a mp2 -b:a 96k {out}", 2},
};

INSTANTIATE_TEST_SUITE_P(Encoders, Oracle, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace quil::mpeg::test
