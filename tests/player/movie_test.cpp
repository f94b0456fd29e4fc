// Loading movies written with the project's own writers: header fields, colour table,
// password prompt, frames through the shared payload decoder, sound from 8-bit and ADPCM
// records, and malformed files.
#include "fakes.h"
#include "moviefixture.h"

#include "player/core/movie.h"

#include "moviedb/adpcm.h"
#include "moviedb/display_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace quil::test {
namespace {

// The shared decoder, counting what it decodes.
class CountingDecoder : public FramePayloadDecoder {
public:
    MoviePayloadDecoder real;
    int decodes = 0;
    FramePayloadResult decode(std::span<const uint8_t> payload, int width, int rows, std::span<uint8_t> out,
                              std::span<uint8_t> previous) override {
        ++decodes;
        return real.decode(payload, width, rows, out, previous);
    }
};

class MovieLoad : public testing::Test {
protected:
    RecordingPrompt prompt;
    CountingDecoder decoder;
    Movie movie{prompt, decoder};

    bool load(const std::vector<uint8_t>& bytes) { return movie.Load(openMovieBytes(bytes)); }
};

TEST_F(MovieLoad, TakesTheHeaderAndTheColourTableOfRecordOne) {
    FixtureMovie fixture = countingMovie(3, 0);
    std::vector<uint32_t> palette(254);
    for (size_t i = 0; i < palette.size(); ++i) {
        palette[i] = uint32_t(i * 0x010203);
    }
    fixture.frames[0] = keyFrame(160, 160, 1, palette);
    fixture.rate = 15.0;
    fixture.keyInterval = 50;
    fixture.audio = {std::vector<uint8_t>(32768, 128)};
    ASSERT_TRUE(load(writeMovie(fixture)));
    EXPECT_EQ(movie.width(), 160);
    EXPECT_EQ(movie.rows(), 160);
    EXPECT_EQ(movie.frameCount(), 3);
    EXPECT_EQ(movie.keyFrameInterval(), 50);
    EXPECT_EQ(movie.firstAudioRecord(), 4);
    EXPECT_NEAR(movie.frameRate(), 15.0, 1e-6);
    EXPECT_EQ(movie.audioSamplesPerSecond(), 10000);
    EXPECT_EQ(movie.colorTable()[0], 0xFFFFFFu);
    EXPECT_EQ(movie.colorTable()[1], 0u);
    EXPECT_EQ(movie.colorTable()[2], 0x010203u);
    EXPECT_EQ(movie.colorTable()[254], 253u * 0x010203u);
    EXPECT_EQ(movie.colorTable()[255], 0u);
    EXPECT_TRUE(prompt.passwordPrompts.empty());
    const PositionSetup setup = movie.positionSetup();
    EXPECT_EQ(setup.end, 3);
    EXPECT_EQ(setup.unitDurationUs, 66667);
}

TEST_F(MovieLoad, WithoutTheValidPeriodFlagPlaysAtTheIntegerRate) {
    FixtureMovie fixture = countingMovie(2, 0);
    fixture.rate = 12.6; // 13 whole frames per second, period for 12.6
    fixture.periodValid = false;
    ASSERT_TRUE(load(writeMovie(fixture)));
    EXPECT_EQ(movie.frameRate(), 13.0);
    fixture.periodValid = true;
    ASSERT_TRUE(load(writeMovie(fixture)));
    EXPECT_NEAR(movie.frameRate(), 12.6, 1e-6);
}

TEST_F(MovieLoad, AudioOnlyMovieHasNoFramesAndARangeInTenths) {
    FixtureMovie fixture;
    fixture.colorMode = 2;
    fixture.frameCountField = 130;
    fixture.audio = {std::vector<uint8_t>(32768, 128), std::vector<uint8_t>(32768, 128)};
    ASSERT_TRUE(load(writeMovie(fixture)));
    EXPECT_EQ(movie.frameCount(), 0);
    EXPECT_FALSE(movie.hasFrames());
    EXPECT_TRUE(movie.hasAudio());
    EXPECT_EQ(movie.firstAudioRecord(), 1);
    EXPECT_EQ(movie.GetFrame(0), nullptr);
    const PositionSetup setup = movie.positionSetup();
    EXPECT_EQ(setup.end, 65536 / 1000);
    EXPECT_EQ(setup.unitDurationUs, -100000);
    EXPECT_DOUBLE_EQ(setup.unitsPerMs, 0.01);
}

TEST_F(MovieLoad, PartialOrMisplacedColourTablesFillOnlyWhatLiesInTheRecord) {
    struct Case {
        const char* name;
        uint16_t first, count;
        uint32_t offset;
        std::vector<std::pair<int, uint32_t>> expect;
    };
    // Record 1 is 16 + 9 bytes: three entries (red, green, blue) at offset 16.
    const std::vector<Case> cases = {
        {"Partial", 10, 3, 16, {{9, 0}, {10, 0xFF0000}, {11, 0x00FF00}, {12, 0x0000FF}, {13, 0}}},
        {"CountPastTheRecord", 10, 200, 16, {{12, 0x0000FF}, {13, 0}}},
        {"OffsetPastTheRecord", 10, 3, 24, {{10, 0}}},
        {"HugeOffset", 10, 3, 0xFFFFFFF0u, {{10, 0}}},
        {"FirstIndexNearTheEnd", 254, 3, 16, {{254, 0xFF0000}, {255, 0x00FF00}, {0, 0xFFFFFF}}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> record = {0, 1, 0, 0, uint8_t(c.first >> 8), uint8_t(c.first), uint8_t(c.count >> 8),
                                       uint8_t(c.count), uint8_t(c.offset >> 24), uint8_t(c.offset >> 16),
                                       uint8_t(c.offset >> 8), uint8_t(c.offset), 0, 0, 0, 0,
                                       255, 0, 0, 0, 255, 0, 0, 0, 255};
        FixtureMovie fixture;
        fixture.frames = {record};
        ASSERT_TRUE(load(writeMovie(fixture))) << c.name;
        for (auto [index, color] : c.expect) {
            EXPECT_EQ(movie.colorTable()[size_t(index)], color) << c.name << " entry " << index;
        }
        EXPECT_NE(movie.GetFrame(0), nullptr) << c.name; // shown, whatever the picture
    }
}

TEST_F(MovieLoad, WrongPasswordRepeatsThePromptUntilTheRightOne) {
    FixtureMovie fixture = countingMovie(2, 0);
    fixture.password = "Secret";
    const std::vector<uint8_t> bytes = writeMovie(fixture);
    prompt.answers = {std::string("wrong"), std::string("secreT")};
    ASSERT_TRUE(load(bytes));
    EXPECT_EQ(movie.frameCount(), 2);
    ASSERT_EQ(prompt.passwordPrompts.size(), 2u);
    EXPECT_EQ(prompt.passwordPrompts[0],
              "This Quillreel contains password-protected content.  To play it, please enter the access "
              "password that was set when the movie was made.");
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, "The password you've entered is incorrect.  Please try again.");
    EXPECT_EQ(prompt.messages[0].caption, "Cannot Open File");
    EXPECT_EQ(prompt.messages[0].icon, PromptIcon::Warning);
}

TEST_F(MovieLoad, CancelOrAnEmptyPasswordFailsTheLoad) {
    FixtureMovie fixture = countingMovie(2, 0);
    fixture.password = "Secret";
    const std::vector<uint8_t> bytes = writeMovie(fixture);
    for (const std::optional<std::string>& answer : {std::optional<std::string>(), std::optional<std::string>("")}) {
        prompt.answers = {std::string("nope"), answer};
        prompt.messages.clear();
        EXPECT_FALSE(load(bytes));
        EXPECT_FALSE(movie.isLoaded());
        EXPECT_EQ(movie.frameCount(), 0);
        EXPECT_FALSE(movie.hasAudio());
        EXPECT_EQ(prompt.messages.size(), 1u); // only for the wrong one
    }
}

TEST_F(MovieLoad, PasswordsLongerThanThePromptTakesAreCut) {
    FixtureMovie fixture = countingMovie(1, 0);
    fixture.password = std::string(49, 'a');
    const std::vector<uint8_t> bytes = writeMovie(fixture);
    prompt.answers = {std::string(49, 'a') + "zzz"};
    EXPECT_TRUE(load(bytes));
}

TEST_F(MovieLoad, SeeksGiveTheSamePicturesAsPlayingInOrder) {
    ASSERT_TRUE(load(writeMovie(countingMovie(60, 10))));
    for (int f : {0, 1, 2, 25, 24, 59, 3, 40, 40, 39}) {
        const uint8_t* picture = movie.GetFrame(f);
        ASSERT_NE(picture, nullptr) << f;
        EXPECT_EQ(picture[0], f + 1) << f;
        EXPECT_EQ(picture[160 * 160 - 1], f + 1) << f;
    }
    decoder.decodes = 0;
    movie.GetFrame(3);
    movie.GetFrame(25);
    EXPECT_EQ(decoder.decodes, 4 + 6); // 0..3, then 20..25
    EXPECT_EQ(movie.GetFrame(60), nullptr);
}

TEST_F(MovieLoad, ContinuationPayloadsShareARecord) {
    FixtureMovie fixture;
    std::vector<uint8_t> first = keyFrame(160, 160, 1, std::vector<uint32_t>(254, 0));
    first[3] = 1; // another payload follows at the next even offset
    first.resize((first.size() + 1) & ~size_t(1));
    const std::vector<uint8_t> second = fillDeltaFrame(160, 160, 2);
    first.insert(first.end(), second.begin(), second.end());
    fixture.frames = {first, fillDeltaFrame(160, 160, 3)};
    fixture.frameCountField = 3;
    ASSERT_TRUE(load(writeMovie(fixture)));
    ASSERT_EQ(movie.frameCount(), 2); // only two frame records exist
    // The header claimed three frames; the records hold three payloads, but the third
    // frame's record lies past the frame records and is not read.
    EXPECT_EQ(movie.GetFrame(0)[0], 1);
    EXPECT_EQ(movie.GetFrame(1)[0], 2);
    EXPECT_EQ(movie.GetFrame(2), nullptr);
}

TEST_F(MovieLoad, AnUndecodablePayloadCountsAsItsFrameAndKeepsThePreviousPicture) {
    FixtureMovie fixture = countingMovie(4, 0);
    fixture.frames[1][1] = 7; // frame kind 7
    fixture.frames[2].resize(10); // a delta frame cut inside its header
    ASSERT_TRUE(load(writeMovie(fixture)));
    for (int f : {1, 2}) {
        const uint8_t* picture = movie.GetFrame(f);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture[0], 1) << f; // still frame 0
        EXPECT_EQ(movie.currentFrame(), f);
    }
    EXPECT_EQ(movie.GetFrame(3)[0], 4);
}

TEST_F(MovieLoad, ShowFrameCopiesRowsBottomUp) {
    FixtureMovie fixture;
    fixture.width = 320;
    fixture.rows = 240;
    fixture.frames = {keyFrame(320, 240, 7, std::vector<uint32_t>(254, 0))};
    ASSERT_TRUE(load(writeMovie(fixture)));
    std::vector<uint8_t> display(320 * 576, 0);
    ASSERT_TRUE(movie.showFrame(0, display.data() + 575 * 320, -320));
    EXPECT_EQ(display[575 * 320], 7);
    EXPECT_EQ(display[(576 - 240) * 320], 7);
    EXPECT_EQ(display[(576 - 241) * 320], 0);
    EXPECT_FALSE(movie.showFrame(1, display.data(), 320));
}

TEST_F(MovieLoad, TruecolorGraySquareShowsBlackAndWhite) {
    // A 160x160 truecolor picture: 160 luma rows, 80 chroma rows (U 7, V 105).
    std::vector<uint8_t> picture(160 * 240);
    for (int r = 0; r < 160; ++r) {
        for (int c = 0; c < 160; ++c) {
            picture[size_t(r) * 160 + size_t(c)] = c < 80 ? 16 : 112;
        }
    }
    for (int r = 160; r < 240; ++r) {
        for (int c = 0; c < 160; ++c) {
            picture[size_t(r) * 160 + size_t(c)] = c < 80 ? 7 : 105;
        }
    }
    FixtureMovie fixture;
    fixture.rows = 240;
    fixture.colorMode = 4;
    std::vector<uint8_t> frame = keyFrame(160, 240, 0, std::vector<uint32_t>(254, 0));
    std::copy(picture.begin(), picture.end(), frame.end() - long(picture.size()));
    fixture.frames = {frame};
    ASSERT_TRUE(load(writeMovie(fixture)));
    ASSERT_TRUE(movie.isTruecolor());
    const uint8_t* codes = movie.GetFrame(0);
    ASSERT_NE(codes, nullptr);
    std::vector<uint32_t> pixels(160 * 160, 0);
    convertTruecolorToRgb32(codes, 160, movie.rows() * 2 / 3, movie.truecolorVariant(), pixels.data(), 160);
    EXPECT_EQ(pixels[0], 0x000000u);
    EXPECT_EQ(pixels[159 * 160 + 79], 0x000000u);
    EXPECT_EQ(pixels[80], 0xF8FCF8u);
    EXPECT_EQ(pixels[159 * 160 + 159], 0xF8FCF8u);
}

// Bytes of an 8-bit audio record whose sample k is k mod 256.
std::vector<uint8_t> rampRecord(size_t size) {
    std::vector<uint8_t> record(size);
    for (size_t k = 0; k < size; ++k) {
        record[k] = uint8_t(k);
    }
    return record;
}

TEST_F(MovieLoad, EightBitSoundRunsAcrossRecordsAndEnds) {
    FixtureMovie fixture = countingMovie(1, 0);
    fixture.audio = {rampRecord(1000), rampRecord(300)};
    ASSERT_TRUE(load(writeMovie(fixture)));
    std::vector<int16_t> out(2000);
    ASSERT_EQ(movie.decodeAudio(out.data(), 999), 999);
    EXPECT_EQ(out[0], -32768);
    EXPECT_EQ(out[128], 0);
    EXPECT_EQ(out[255], 32512);
    ASSERT_EQ(movie.decodeAudio(out.data(), 2000), 301);
    EXPECT_EQ(out[0], (int(999 % 256) - 128) * 256);
    EXPECT_EQ(out[1], -32768); // the second record's first sample
    EXPECT_EQ(movie.decodeAudio(out.data(), 2000), 0);
    EXPECT_EQ(movie.decodeAudio(out.data(), 2000), 0); // stays ended

    movie.SeekAudio(1100);
    ASSERT_EQ(movie.decodeAudio(out.data(), 10), 10);
    EXPECT_EQ(out[0], (100 - 128) * 256);
    movie.SeekAudio(5000); // past the end
    EXPECT_EQ(movie.decodeAudio(out.data(), 10), 0);
}

TEST_F(MovieLoad, AdpcmSoundCarriesItsStateAcrossRecordsAndSeeks) {
    // Two records of a 1 kHz tone at 10000 samples/s, coded as the encoder codes them:
    // odd-numbered samples inverted, state running on into the next record.
    const size_t total = 2 * kAdpcmRecordSamples;
    std::vector<int16_t> tone(total);
    for (size_t k = 0; k < total; ++k) {
        tone[k] = int16_t(std::lround(12000 * std::sin(2 * std::numbers::pi * 1000.0 * double(k) / 10000.0)));
    }
    FixtureMovie fixture = countingMovie(1, 0);
    fixture.audioFormat = 1;
    AdpcmState state;
    for (int r = 0; r < 2; ++r) {
        std::vector<int16_t> staged(kAdpcmRecordSamples);
        for (size_t k = 0; k < kAdpcmRecordSamples; ++k) {
            const int16_t s = tone[size_t(r) * kAdpcmRecordSamples + k];
            staged[k] = (k & 1) ? int16_t(-s) : s;
        }
        std::vector<uint8_t> record(kAdpcmRecordBytes);
        AdpcmEncodeBlock(staged.data(), staged.size(), record.data(), state);
        const auto trailer = AdpcmMakeTrailer(state);
        std::copy(trailer.begin(), trailer.end(), record.begin() + kAdpcmRecordCodeBytes);
        fixture.audio.push_back(record);
    }
    ASSERT_TRUE(load(writeMovie(fixture)));
    ASSERT_TRUE(movie.isAdpcm());
    EXPECT_EQ(movie.totalAudioSamples(), int64_t(4 * kAdpcmRecordBytes));

    std::vector<int16_t> decoded;
    std::vector<int16_t> chunk(999);
    for (int n; (n = movie.decodeAudio(chunk.data(), int(chunk.size()))) > 0;) {
        decoded.insert(decoded.end(), chunk.begin(), chunk.begin() + n);
    }
    ASSERT_EQ(decoded.size(), total); // the trailers are not decoded as sound
    // Relative RMS error over a stretch: a decoder that lost its state at the record boundary
    // (or decoded odd samples with the wrong sign) would be far off.
    auto relativeError = [&](size_t from, size_t to) {
        double error = 0, signal = 0;
        for (size_t k = from; k < to; ++k) {
            error += std::pow(double(decoded[k]) - tone[k], 2);
            signal += std::pow(double(tone[k]), 2);
        }
        return std::sqrt(error / signal);
    };
    EXPECT_LT(relativeError(1000, total), 0.3); // ADPCM of this tone: about 0.19
    EXPECT_LT(relativeError(kAdpcmRecordSamples, kAdpcmRecordSamples + 100), 0.3);

    movie.SeekAudio(70001);
    std::vector<int16_t> after(500);
    ASSERT_EQ(movie.decodeAudio(after.data(), 500), 500);
    EXPECT_TRUE(std::equal(after.begin(), after.end(), decoded.begin() + 70001));
}

struct BadFile {
    const char* name;
    void (*damage)(std::vector<uint8_t>&);
    bool loads;
};

void putBE32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v >> 24);
    b[at + 1] = uint8_t(v >> 16);
    b[at + 2] = uint8_t(v >> 8);
    b[at + 3] = uint8_t(v);
}
uint32_t getBE32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
size_t record0(const std::vector<uint8_t>& b) { return getBE32(b, 78); }

class BadFiles : public testing::TestWithParam<BadFile> {};

TEST_P(BadFiles, AreShownOrRefusedWithoutReadingOutside) {
    // Frames 0-4 (key frames every 2), then one audio record; record i's offset at 78 + 8i.
    FixtureMovie fixture = countingMovie(5, 2);
    fixture.audio = {rampRecord(32768)};
    std::vector<uint8_t> bytes = writeMovie(fixture);
    GetParam().damage(bytes);
    RecordingPrompt prompt;
    Movie movie(prompt);
    const bool loaded = movie.Load(openMovieBytes(bytes));
    EXPECT_EQ(loaded, GetParam().loads);
    for (int f = 0; f < movie.frameCount(); ++f) {
        (void)movie.GetFrame(f);
    }
    (void)movie.GetFrame(0);
    std::vector<int16_t> out(4096);
    movie.SeekAudio(100);
    while (movie.decodeAudio(out.data(), int(out.size())) > 0) {
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadFiles,
    testing::Values(
        BadFile{"Intact", [](std::vector<uint8_t>&) {}, true},
        BadFile{"RecordCountLargerThanTheFile", [](std::vector<uint8_t>& b) { b[76] = 0xFF; b[77] = 0xFF; }, false},
        BadFile{"OffsetsOutOfOrder", [](std::vector<uint8_t>& b) { putBE32(b, 78 + 8 * 3, getBE32(b, 78 + 8 * 2) - 10); }, false},
        BadFile{"OffsetPastTheEnd", [](std::vector<uint8_t>& b) { putBE32(b, 78 + 8 * 6, uint32_t(b.size() + 100)); }, false},
        BadFile{"TruncatedFile", [](std::vector<uint8_t>& b) { b.resize(100); }, false},
        BadFile{"ShortHeaderRecord", [](std::vector<uint8_t>& b) { putBE32(b, 78 + 8, uint32_t(record0(b) + 20)); }, false},
        BadFile{"FrameOfAnotherKind", [](std::vector<uint8_t>& b) { b[getBE32(b, 78 + 8 * 2) + 1] = 7; }, true},
        BadFile{"DeltaWhereTheKeyFrameShouldBe", [](std::vector<uint8_t>& b) { b[getBE32(b, 78 + 8 * 3) + 1] = 2; }, true},
        BadFile{"TruncatedFrameRecord", [](std::vector<uint8_t>& b) { putBE32(b, 78 + 8 * 3, getBE32(b, 78 + 8 * 4) - 30); }, true},
        BadFile{"FirstFrameRecordEmpty", [](std::vector<uint8_t>& b) { putBE32(b, 78 + 8, getBE32(b, 78 + 8 * 2)); }, true},
        BadFile{"FrameCountBeyondTheRecords", [](std::vector<uint8_t>& b) { b[record0(b) + 36] = 0x7F; }, true},
        BadFile{"AudioStartOutsideTheRecords", [](std::vector<uint8_t>& b) { b[record0(b) + 38] = 0x7F; }, true},
        BadFile{"PictureLargerThanTheDisplay", [](std::vector<uint8_t>& b) { b[record0(b) + 4] = 0x10; }, false},
        BadFile{"NegativeWidth", [](std::vector<uint8_t>& b) { b[record0(b) + 4] = 0x80; }, false},
        BadFile{"ZeroFramePeriodAndRate", [](std::vector<uint8_t>& b) {
                    putBE32(b, record0(b) + 40, 0);
                    b[record0(b) + 14] = b[record0(b) + 15] = 0;
                }, false},
        BadFile{"TruecolorRowsNotAMultipleOfThree", [](std::vector<uint8_t>& b) {
                    b[record0(b) + 11] = 5;
                    b[record0(b) + 7] = 161;
                }, true}),
    [](const auto& info) { return info.param.name; });

} // namespace
} // namespace quil::test
