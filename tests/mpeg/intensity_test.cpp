// Layer III intensity stereo on hand-made frames: the left channel carries four lines, the
// right channel only its intensity positions. Position 0 moves the sound to the right,
// position 6 keeps it left, position 7 is not an intensity position at all.
#include "mpegtestutil.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace quil::mpeg::test {
namespace {

class BitWriter {
  public:
    void put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i)
            m_bits.push_back((value >> i) & 1);
    }
    std::vector<uint8_t> bytes(size_t size) const {
        std::vector<uint8_t> out(size, 0);
        for (size_t i = 0; i < m_bits.size() && i / 8 < size; ++i)
            out[i / 8] |= uint8_t(m_bits[i] << (7 - i % 8));
        return out;
    }
    size_t size() const { return m_bits.size(); }

  private:
    std::vector<int> m_bits;
};

// One 128 kbit/s 44.1 kHz frame (417 bytes). isPos < 0 writes plain stereo with a silent
// right channel; otherwise joint stereo with intensity on and every band at isPos.
std::vector<uint8_t> makeFrame(int isPos) {
    const bool intensity = isPos >= 0;
    const int rightSfc = isPos > 0 ? 15 : 0; // slen 4 for bands 0-10, 3 for bands 11-20
    const int rightBits = isPos > 0 ? 11 * 4 + 10 * 3 : 0;

    BitWriter side;
    side.put(0, 9); // main_data_begin
    side.put(0, 3); // private bits
    side.put(0, 8); // scfsi
    for (int gr = 0; gr < 2; ++gr)
        for (int ch = 0; ch < 2; ++ch) {
            side.put(ch == 0 ? 8 : rightBits, 12); // part2_3_length
            side.put(ch == 0 ? 2 : 0, 9);          // big_values
            side.put(190, 8);                      // global_gain
            side.put(ch == 0 ? 0 : rightSfc, 4);   // scalefac_compress
            side.put(0, 1);                        // no window switching
            side.put(ch == 0 ? 1 : 0, 5);          // table_select region 0
            side.put(0, 5);
            side.put(0, 5);
            side.put(0, 4); // region0_count: region 0 is band 0 (lines 0-3)
            side.put(0, 3);
            side.put(0, 3); // preflag, scalefac_scale, count1table_select
        }
    BitWriter main;
    for (int gr = 0; gr < 2; ++gr) {
        // left: lines 1, 0, 1, -1 with table 1: (1,0) = 01 + sign, (1,1) = 000 + signs
        main.put(0b01, 2);
        main.put(0, 1);
        main.put(0b000, 3);
        main.put(0, 1);
        main.put(1, 1);
        for (int sfb = 0; sfb < 21 && isPos > 0; ++sfb)
            main.put(uint32_t(isPos), sfb < 11 ? 4 : 3);
    }
    std::vector<uint8_t> frame = {0xFF, 0xFB, 0x90, uint8_t(intensity ? 0x50 : 0x00)};
    const std::vector<uint8_t> s = side.bytes(32);
    const std::vector<uint8_t> m = main.bytes(417 - 36);
    frame.insert(frame.end(), s.begin(), s.end());
    frame.insert(frame.end(), m.begin(), m.end());
    return frame;
}

std::vector<uint8_t> stream(int isPos) {
    std::vector<uint8_t> out;
    for (int i = 0; i < 3; ++i) {
        const std::vector<uint8_t> f = makeFrame(isPos);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

std::vector<int16_t> channel(const std::vector<int16_t>& pcm, int ch) {
    std::vector<int16_t> out;
    for (size_t i = size_t(ch); i < pcm.size(); i += 2)
        out.push_back(pcm[i]);
    return out;
}

TEST(IntensityStereo, PositionsSteerTheLeftSignalBetweenTheChannels) {
    const Decoded plain = decodeBytes(stream(-1));
    ASSERT_EQ(plain.frames, 3);
    const std::vector<int16_t> signal = channel(plain.pcm, 0);
    const std::vector<int16_t> silence(signal.size(), 0);
    ASSERT_NE(signal, silence);
    ASSERT_EQ(channel(plain.pcm, 1), silence);

    const struct {
        int isPos;
        bool toRight;
    } cases[] = {{0, true}, {6, false}, {7, false}};
    for (const auto& c : cases) {
        const Decoded d = decodeBytes(stream(c.isPos));
        ASSERT_EQ(d.frames, 3) << c.isPos;
        EXPECT_EQ(channel(d.pcm, 0), c.toRight ? silence : signal) << c.isPos;
        EXPECT_EQ(channel(d.pcm, 1), c.toRight ? signal : silence) << c.isPos;
    }

    // Position 3 is the middle: both channels get half of the signal.
    const Decoded mid = decodeBytes(stream(3));
    const std::vector<int16_t> left = channel(mid.pcm, 0);
    EXPECT_EQ(left, channel(mid.pcm, 1));
    ASSERT_EQ(left.size(), signal.size());
    for (size_t i = 0; i < left.size(); ++i)
        ASSERT_LE(std::abs(2 * left[i] - signal[i]), 2) << i;
}

} // namespace
} // namespace quil::mpeg::test
