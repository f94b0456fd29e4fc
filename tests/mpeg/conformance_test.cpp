// Accuracy against the ISO/IEC 11172-4 conformance streams: 16-bit output against the
// reference decoder's, over the decoded length.
#include "mpegtestutil.h"

#include <gtest/gtest.h>

namespace quil::mpeg::test {
namespace {

const std::filesystem::path kDir = std::filesystem::path(QUIL_TEST_DATA_DIR) / "mpeg-audio";

class Conformance : public ::testing::TestWithParam<const char*> {};

// The reference output may start a frame or two later than ours and may be padded at the
// end, so the first samples are aligned (within two frames) before comparing.
TEST_P(Conformance, ReachesFullAccuracy) {
    const std::string name = GetParam();
    const Decoded d = decodeFile(kDir / (name + ".bit"));
    const std::vector<int16_t> ref = readPcm(kDir / (name + ".pcm"));
    ASSERT_FALSE(d.pcm.empty());
    EXPECT_TRUE(d.lastError == kAmpEndOfFile || d.lastError == kAmpIncompleteFrame) << d.lastError;
    EXPECT_EQ(d.crcFailures, 0);
    size_t overlap = 0;
    const double p = alignedPsnr(d.pcm, ref, 2 * 1152 * d.channels, d.channels, &overlap);
    EXPECT_GE(p, 96.0) << name;
    EXPECT_GE(double(overlap), 0.9 * double(std::min(d.pcm.size(), ref.size()))) << name;
}

INSTANTIATE_TEST_SUITE_P(Streams, Conformance,
                         ::testing::Values("l1-fl1", "l1-fl2", "l1-fl3", "l1-fl4", "l1-fl5",
                                           "l1-fl6", "l1-fl7", "l1-fl8", "l2-fl10", "l2-fl11",
                                           "l2-fl12", "l2-fl13", "l2-fl14", "l2-fl15", "l2-fl16",
                                           "l3-compl", "l3-hecommon", "l3-si", "l3-si_block",
                                           "l3-si_huff", "l3-sin1k0db"),
                         [](const auto& info) {
                             std::string s = info.param;
                             for (char& c : s)
                                 if (c == '-')
                                     c = '_';
                             return s;
                         });

} // namespace
} // namespace quil::mpeg::test
