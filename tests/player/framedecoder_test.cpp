// Which payloads the frame decoder decodes for a request: seeking from the key frame at or
// before the wanted frame, continuation payloads and unreadable records.
#include "fakes.h"

#include <gtest/gtest.h>

#include <numeric>

namespace quil::test {
namespace {

// A movie of `frames` single-payload frame records plus one trailing audio record.
MemoryRecords oneFramePerRecord(int frames) {
    MemoryRecords records;
    records.records.push_back({}); // header
    for (int f = 0; f < frames; ++f) {
        records.records.push_back(LoggingPayloads::payloads({f}));
    }
    records.records.push_back(std::vector<uint8_t>(64, 0xAA)); // audio
    return records;
}

std::vector<int> range(int first, int last) {
    std::vector<int> v(size_t(last - first + 1));
    std::iota(v.begin(), v.end(), first);
    return v;
}

struct SeekCase {
    const char* name;
    int keyInterval;
    int before; // frame decoded first
    int wanted;
    std::vector<int> decodes; // frames decoded for `wanted`
};

class FrameSeek : public testing::TestWithParam<SeekCase> {};

TEST_P(FrameSeek, DecodesFromTheKeyFrameAtOrBeforeTheWantedFrame) {
    const SeekCase& c = GetParam();
    MemoryRecords records = oneFramePerRecord(200);
    LoggingPayloads payloads;
    FrameDecoder decoder(payloads);
    decoder.open(&records, 160, 160, c.keyInterval, 200);
    ASSERT_NE(decoder.GetFrame(c.before), nullptr);
    payloads.decoded.clear();
    const uint8_t* picture = decoder.GetFrame(c.wanted);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(payloads.decoded, c.decodes);
    EXPECT_EQ(pictureFrame(picture), c.wanted);
    EXPECT_EQ(decoder.currentFrame(), c.wanted);
    EXPECT_EQ(records.held(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameSeek,
    testing::Values(SeekCase{"SameFrameDecodesNothing", 10, 25, 25, {}},
                    SeekCase{"NextFrameDecodesOne", 10, 25, 26, {26}},
                    SeekCase{"ForwardPastAKeyFrameJumps", 10, 3, 25, range(20, 25)},
                    SeekCase{"BackwardRestartsAtItsKeyFrame", 10, 25, 2, range(0, 2)},
                    SeekCase{"StepBackWithInterval50", 50, 120, 119, range(100, 119)},
                    SeekCase{"StepBackWithoutKeyFrames", 0, 120, 119, range(0, 119)},
                    SeekCase{"ForwardWithoutKeyFramesContinues", 0, 3, 6, range(4, 6)}),
    [](const auto& info) { return info.param.name; });

TEST(FrameDecoder, FollowsContinuationPayloadsAcrossRecords) {
    // Frames 0-2 in record 1, frame 3 in record 2, frames 4-5 in record 3.
    MemoryRecords records;
    records.records = {{}, LoggingPayloads::payloads({0, 1, 2}), LoggingPayloads::payloads({3}),
                       LoggingPayloads::payloads({4, 5})};
    LoggingPayloads payloads;
    FrameDecoder decoder(payloads);
    decoder.open(&records, 160, 160, 0, 6);
    for (int f = 0; f < 6; ++f) {
        const uint8_t* picture = decoder.GetFrame(f);
        ASSERT_NE(picture, nullptr) << f;
        EXPECT_EQ(pictureFrame(picture), f);
    }
    EXPECT_EQ(payloads.decoded, range(0, 5));
    EXPECT_EQ(records.gets, 3);
    EXPECT_EQ(records.held(), 0);
}

TEST(FrameDecoder, HoldsARecordOnlyWhilePayloadsRemainInIt) {
    MemoryRecords records;
    records.records = {{}, LoggingPayloads::payloads({0, 1})};
    LoggingPayloads payloads;
    FrameDecoder decoder(payloads);
    decoder.open(&records, 160, 160, 0, 2);
    decoder.GetFrame(0);
    EXPECT_EQ(records.held(), 1);
    decoder.GetFrame(1);
    EXPECT_EQ(records.held(), 0);
    decoder.GetFrame(0);
    decoder.close();
    EXPECT_EQ(records.held(), 0);
}

TEST(FrameDecoder, AlternatesThePicturePair) {
    MemoryRecords records = oneFramePerRecord(3);
    LoggingPayloads payloads;
    FrameDecoder decoder(payloads);
    decoder.open(&records, 160, 160, 0, 3);
    const uint8_t* a = decoder.GetFrame(0);
    const uint8_t* b = decoder.GetFrame(1);
    const uint8_t* c = decoder.GetFrame(2);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, c);
}

TEST(FrameDecoder, UnreadableRecordGivesNoPictureAndTheNextRequestStartsAfresh) {
    MemoryRecords records = oneFramePerRecord(30);
    records.unreadable = {13}; // frame 12
    LoggingPayloads payloads;
    FrameDecoder decoder(payloads);
    decoder.open(&records, 160, 160, 10, 30);
    ASSERT_NE(decoder.GetFrame(11), nullptr);
    EXPECT_EQ(decoder.GetFrame(12), nullptr);
    EXPECT_EQ(decoder.currentFrame(), -1);
    payloads.decoded.clear();
    ASSERT_NE(decoder.GetFrame(11), nullptr);
    EXPECT_EQ(payloads.decoded, range(10, 11));
    EXPECT_EQ(decoder.GetFrame(15), nullptr); // blocked by frame 12 again
    ASSERT_NE(decoder.GetFrame(21), nullptr); // the next key frame is reachable
    EXPECT_EQ(records.held(), 0);
}

TEST(FrameDecoder, RefusesFramesOutsideTheMovie) {
    MemoryRecords records = oneFramePerRecord(5);
    LoggingPayloads payloads;
    FrameDecoder decoder(payloads);
    decoder.open(&records, 160, 160, 0, 5);
    EXPECT_EQ(decoder.GetFrame(-1), nullptr);
    EXPECT_EQ(decoder.GetFrame(5), nullptr); // record 6 is audio
    EXPECT_TRUE(payloads.decoded.empty());


    FrameDecoder tooLarge(payloads);
    tooLarge.open(&records, 640, 480, 0, 5);
    EXPECT_EQ(tooLarge.GetFrame(0), nullptr);
}

} // namespace
} // namespace quil::test
