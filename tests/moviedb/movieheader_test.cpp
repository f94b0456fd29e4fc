// Layout of the movie header record, its rates and its checked decoding.
#include "moviedb/byteorder.h"
#include "moviedb/movieheader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using quil::MovieHeader;
using quil::MovieHeaderError;

MovieHeader videoHeader() {
    MovieHeader h;
    h.width = 320;
    h.rows = 360;
    h.bitsPerPixel = 16;
    h.colorMode = quil::kColorModeTruecolorPlus;
    h.audioFormat = quil::kAudioFormatAdpcm;
    h.setFrameRate(15.0);
    h.keyFrameInterval = 75;
    h.flags |= quil::kMovieFlagLoop | quil::kMovieFlagHasAudio;
    h.frameCount = 300;
    h.firstAudioRecord = 301;
    h.title = "Hi";
    h.author = "Me";
    return h;
}

TEST(MovieHeader, EncodesTheFixedPartBigEndian) {
    const std::vector<uint8_t> r = videoHeader().encode();
    ASSERT_EQ(r.size(), 51u);
    const std::vector<uint8_t> fixed(r.begin(), r.begin() + 44);
    // clang-format off
    const std::vector<uint8_t> expected = {
        0, 0,   0, 44,              // marker, fixed length
        0x01, 0x40,  0x01, 0x68,    // width 320, rows 360
        0, 16,  1,  5,              // bits, audio format, colour mode
        0, 67,  0, 15,  0, 75,      // ms per frame, fps, key frame interval
        0, 7,                       // flags
        0, 0, 0, 44,  0, 0, 0, 47,  0, 0, 0, 50,  0, 0, 0, 51, // string offsets
        0x01, 0x2C,  0x01, 0x2D,    // frame count 300, first audio record 301
        0x02, 0x9A, 0xAA, 0xAB,     // frame period 43690667
    };
    // clang-format on
    EXPECT_EQ(fixed, expected);
    EXPECT_EQ(std::string(r.begin() + 44, r.end()), std::string("Hi\0Me\0\0", 7));
}

TEST(MovieHeader, EmptyStringsGiveThreeNulsAndLength47) {
    MovieHeader h = videoHeader();
    h.title.clear();
    h.author.clear();
    const std::vector<uint8_t> r = h.encode();
    ASSERT_EQ(r.size(), 47u);
    EXPECT_EQ(quil::getBE32(r, 20), 44u);
    EXPECT_EQ(quil::getBE32(r, 24), 45u);
    EXPECT_EQ(quil::getBE32(r, 28), 46u);
    EXPECT_EQ(quil::getBE32(r, 32), 47u);
    EXPECT_EQ(r[44] | r[45] | r[46], 0);
}

TEST(MovieHeader, StringsAreCutAtAnEmbeddedNul) {
    MovieHeader h;
    h.title = std::string("ab\0cd", 5);
    const std::vector<uint8_t> r = h.encode();
    EXPECT_EQ(r.size(), 44u + 3 + 1 + 1);
    EXPECT_EQ(quil::getBE32(r, 24), 47u);
}

TEST(MovieHeader, FrameRateFieldsRoundHalfUp) {
    struct Case {
        double rate;
        uint16_t ms, fps;
        uint32_t period;
    };
    const Case cases[] = {
        {15.0, 67, 15, 43690667},           {10.0, 100, 10, 65536000},  {29.97, 33, 30, 21867201},
        {30000.0 / 1001, 33, 30, 21867179}, {23.976, 42, 24, 27334001}, {12.5, 80, 13, 52428800},
        {25.0, 40, 25, 26214400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        MovieHeader h;
        h.setFrameRate(c.rate);
        EXPECT_EQ(h.msPerFrame, c.ms);
        EXPECT_EQ(h.framesPerSecond, c.fps);
        EXPECT_EQ(h.framePeriod, c.period);
        EXPECT_TRUE(h.flags & quil::kMovieFlagPeriodValid);
        EXPECT_NEAR(h.frameRate(), c.rate, 1e-5);
    }
}

TEST(MovieHeader, RateWithoutValidPeriodIsTheWholeFps) {
    MovieHeader h;
    h.framesPerSecond = 12;
    h.framePeriod = 52428800;
    EXPECT_EQ(h.frameRate(), 12.0);
}

TEST(MovieHeader, AudioOnlyHeader) {
    const MovieHeader h = MovieHeader::audioOnly(quil::kAudioFormatHifi, true, 123);
    const std::vector<uint8_t> r = h.encode();
    EXPECT_EQ(quil::getBE16(r, 4) | quil::getBE16(r, 6) | quil::getBE16(r, 8), 0);
    EXPECT_EQ(r[10], 2);
    EXPECT_EQ(r[11], 2);
    EXPECT_EQ(quil::getBE16(r, 12), 100);
    EXPECT_EQ(quil::getBE16(r, 14), 10);
    EXPECT_EQ(quil::getBE16(r, 16), 0);
    EXPECT_EQ(quil::getBE16(r, 18), quil::kMovieFlagHasAudio | quil::kMovieFlagPeriodValid);
    EXPECT_EQ(quil::getBE16(r, 36), 123);
    EXPECT_EQ(quil::getBE16(r, 38), 1);
    EXPECT_EQ(quil::getBE32(r, 40), 65536000u);

    const MovieHeader silent = MovieHeader::audioOnly(quil::kAudioFormatStandard, false, 0);
    EXPECT_EQ(silent.flags, quil::kMovieFlagPeriodValid);
    EXPECT_EQ(silent.firstAudioRecord, 0);
}

TEST(MovieHeader, DecodeReadsBackWhatEncodeWrote) {
    const MovieHeader h = videoHeader();
    MovieHeader d;
    ASSERT_EQ(MovieHeader::decode(h.encode(), d), MovieHeaderError::Ok);
    EXPECT_EQ(d.encode(), h.encode());
    EXPECT_EQ(d.title, "Hi");
    EXPECT_EQ(d.author, "Me");
    EXPECT_EQ(d.fourthOffset, 51u);
    EXPECT_EQ(d.firstAudioRecord, 301);
}

TEST(MovieHeader, DecodeRejectsShortRecordsAndBadStrings) {
    const std::vector<uint8_t> good = videoHeader().encode();
    {
        MovieHeader d;
        d.width = 7;
        EXPECT_EQ(MovieHeader::decode(std::span(good).first(43), d), MovieHeaderError::TooShort);
        EXPECT_EQ(d.width, 7) << "nothing is filled from a short record";
    }
    struct Case {
        const char* what;
        size_t keep;  // bytes of the record kept
        size_t field; // string offset field to overwrite, 0 = none
        uint32_t value;
    };
    const Case bad[] = {
        {"title offset past the end", 51, 20, 51},
        {"author offset far past the end", 51, 24, 0xFFFFFFF0u},
        {"no NUL after the author", 49, 0, 0},
        {"fixed part only", 44, 0, 0},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> r(good.begin(), good.begin() + long(c.keep));
        if (c.field != 0) {
            quil::putBE32(r, c.field, c.value);
        }
        MovieHeader d;
        EXPECT_EQ(MovieHeader::decode(r, d), MovieHeaderError::BadStringArea);
        EXPECT_EQ(d.width, 320) << "the fixed fields are still read";
        EXPECT_TRUE(d.title.empty() && d.author.empty());
    }
}

} // namespace
