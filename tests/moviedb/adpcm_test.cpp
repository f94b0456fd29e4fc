// IMA ADPCM coder and record decoder: hand-worked codes, saturation, the record layout
// with its odd-sample inversion and trailer, and the state carried from record to record.
#include "moviedb/adpcm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace quil;

namespace {

struct DecodeCase {
    const char* name;
    std::vector<uint8_t> codes;
    std::vector<int16_t> predictors;
    uint8_t finalIndex;
};

// Worked by hand from the step table: from {0, 0}, code 7 adds 0 + 7 + 3 + 1 = 11 and moves
// the index by 8 (step 16: code 7 adds 2 + 16 + 8 + 4 = 30, code 3 adds 2 + 8 + 4 = 14),
// code 8 subtracts step / 8, which is 0 at step 7.
const DecodeCase kDecodeCases[] = {
    {"zeros_stay_silent", {0, 0, 0}, {0, 0, 0}, 0},
    {"full_magnitude_up", {7, 7}, {11, 41}, 16},
    {"negative_then_positive", {15, 3}, {-11, 3}, 7},
    {"sign_only_at_step_7", {8, 8}, {0, 0}, 0},
};

} // namespace

TEST(AdpcmCodec, DecodesHandWorkedCodes) {
    for (const auto& c : kDecodeCases) {
        SCOPED_TRACE(c.name);
        AdpcmState s;
        std::vector<int16_t> got;
        for (uint8_t code : c.codes) {
            got.push_back(AdpcmDecodeCode(s, code));
        }
        EXPECT_EQ(got, c.predictors);
        EXPECT_EQ(s.index, c.finalIndex);
    }
}

TEST(AdpcmCodec, SaturatesPredictorAndIndexInsteadOfWrapping) {
    for (uint8_t code : {uint8_t(7), uint8_t(15)}) {
        AdpcmState s;
        for (int i = 0; i < 200; ++i) {
            AdpcmDecodeCode(s, code);
        }
        EXPECT_EQ(s.predictor, code == 7 ? 32767 : -32768);
        EXPECT_EQ(s.index, 88);
    }
    // The coder clamps the same way at full scale.
    AdpcmState e;
    for (int i = 0; i < 200; ++i) {
        AdpcmEncodeSample(e, 32767);
    }
    EXPECT_EQ(e.predictor, 32767);
}

TEST(AdpcmCodec, DecoderTracksCoderAndFollowsASine) {
    std::vector<int16_t> in(4000);
    for (size_t i = 0; i < in.size(); ++i) {
        in[i] = int16_t(std::lround(12000.0 * std::sin(2.0 * M_PI * 440.0 * double(i) / 10000.0)));
    }
    AdpcmState enc;
    std::vector<int16_t> reconstructed;
    for (int16_t v : in) {
        const uint8_t code = AdpcmEncodeSample(enc, v);
        reconstructed.push_back(enc.predictor);
        EXPECT_LT(code, 16);
    }
    std::vector<uint8_t> packed((in.size() + 1) / 2);
    AdpcmState enc2;
    AdpcmEncodeBlock(in.data(), in.size(), packed.data(), enc2);
    EXPECT_EQ(enc2, enc);

    AdpcmState dec;
    std::vector<int16_t> out(in.size());
    ASSERT_EQ(AdpcmDecodeSamples(packed, 0, in.size(), dec, out.data()), in.size());
    EXPECT_EQ(dec, enc);
    double err = 0, sig = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        // Odd samples come back complemented: the coder saw them as they are here.
        const int16_t expected = (i % 2) ? int16_t(~reconstructed[i]) : reconstructed[i];
        ASSERT_EQ(out[i], expected) << i;
        const double d = double((i % 2) ? int16_t(~out[i]) : out[i]) - in[i];
        err += d * d;
        sig += double(in[i]) * in[i];
    }
    EXPECT_GT(10.0 * std::log10(sig / err), 20.0);
}

TEST(AdpcmCodec, OddCountLeavesZeroLowNibble) {
    const int16_t in[3] = {1000, 2000, 3000};
    uint8_t out[2] = {0xff, 0xff};
    AdpcmState s;
    AdpcmEncodeBlock(in, 3, out, s);
    EXPECT_EQ(out[1] & 0x0f, 0);
    EXPECT_NE(out[1] & 0xf0, 0);
}

TEST(AdpcmRecord, TrailerRoundTripsAndRejectsBadRecords) {
    const AdpcmState s{-12345, 77};
    const auto t = AdpcmMakeTrailer(s);
    EXPECT_EQ(t, (std::array<uint8_t, 4>{0x00, 77, 0xcf, 0xc7}));

    std::vector<uint8_t> record(kAdpcmRecordBytes, 0);
    std::copy(t.begin(), t.end(), record.begin() + kAdpcmRecordCodeBytes);
    AdpcmState parsed;
    ASSERT_TRUE(AdpcmParseTrailer(record, parsed));
    EXPECT_EQ(parsed, s);

    AdpcmState untouched;
    EXPECT_FALSE(AdpcmParseTrailer(std::span(record).first(kAdpcmRecordBytes - 1), untouched));
    record[kAdpcmRecordCodeBytes + 1] = 89;
    EXPECT_FALSE(AdpcmParseTrailer(record, untouched));
    EXPECT_EQ(untouched, AdpcmState{});
}

TEST(AdpcmRecord, StateRunsOnAcrossRecordsAndPartialDecodes) {
    // Two records' worth of a sweep, coded in one run as the converter does.
    const size_t n = 2 * kAdpcmRecordSamples;
    std::vector<int16_t> in(n);
    for (size_t i = 0; i < n; ++i) {
        const double v =
            20000.0 * std::sin(2.0 * M_PI * (50.0 + double(i) / 300.0) * double(i) / 10000.0);
        in[i] = int16_t(std::lround((i % 2) ? -v : v));
    }
    std::vector<uint8_t> r0(kAdpcmRecordBytes), r1(kAdpcmRecordBytes);
    AdpcmState enc;
    AdpcmEncodeBlock(in.data(), kAdpcmRecordSamples, r0.data(), enc);
    const auto t0 = AdpcmMakeTrailer(enc);
    std::copy(t0.begin(), t0.end(), r0.begin() + kAdpcmRecordCodeBytes);
    AdpcmEncodeBlock(in.data() + kAdpcmRecordSamples, kAdpcmRecordSamples, r1.data(), enc);

    EXPECT_EQ(AdpcmRecordCapacity(r0.size()), kAdpcmRecordSamples);
    EXPECT_EQ(AdpcmRecordCapacity(100), 200u);

    // Whole records in order.
    AdpcmState whole;
    std::vector<int16_t> a(n);
    AdpcmDecodeSamples(std::span(r0).first(kAdpcmRecordCodeBytes), 0, kAdpcmRecordSamples, whole,
                       a.data());
    AdpcmState atBoundary;
    ASSERT_TRUE(AdpcmParseTrailer(r0, atBoundary));
    EXPECT_EQ(whole, atBoundary);
    AdpcmDecodeSamples(std::span(r1).first(kAdpcmRecordCodeBytes), 0, kAdpcmRecordSamples, whole,
                       a.data() + kAdpcmRecordSamples);
    EXPECT_EQ(whole, enc);

    // The same in odd-sized pieces, as a player fills its buffers.
    AdpcmState pieces;
    std::vector<int16_t> b;
    for (const auto* rec : {&r0, &r1}) {
        const auto codes = std::span(*rec).first(kAdpcmRecordCodeBytes);
        for (size_t k = 0; k < kAdpcmRecordSamples;) {
            int16_t buf[777];
            const size_t got = AdpcmDecodeSamples(codes, k, 777, pieces, buf);
            b.insert(b.end(), buf, buf + got);
            k += got;
        }
    }
    EXPECT_EQ(a, b);

    // Restarting the state at the second record gives a different (wrong) signal.
    AdpcmState fresh;
    std::vector<int16_t> c(kAdpcmRecordSamples);
    AdpcmDecodeSamples(std::span(r1).first(kAdpcmRecordCodeBytes), 0, kAdpcmRecordSamples, fresh,
                       c.data());
    EXPECT_NE(std::vector<int16_t>(a.begin() + kAdpcmRecordSamples, a.end()), c);

    // Past the end of the codes nothing is written.
    int16_t none[4] = {};
    EXPECT_EQ(AdpcmDecodeSamples(std::span(r0).first(3), 6, 4, pieces, none), 0u);
    EXPECT_EQ(AdpcmDecodeSamples(std::span(r0).first(3), 5, 4, pieces, none), 1u);
}
