// Audio-only movies and the engine's audio record step.
#include "encoder/media/memoryaudio.h"
#include "enginetestkit.h"
#include "moviedb/adpcm.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void EncodeAudio(RecordingEngine& e, TempMovie& movie) {
    FILE* out = movie.openForWriting();
    ASSERT_NE(out, nullptr);
    e.EncodeAudioMovie(out, "Sound");
    std::fclose(out);
}

TEST(EncodeAudioMovie, TenSecondsInEachFormat) {
    struct {
        bool hifi, adpcm;
        int records, recordBytes, formatCode;
    } const cases[] = {
        {false, false, 4, 32768, 0},
        {false, true, 2, 32772, 1},
        {true, true, 7, 32768, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.formatCode);
        MemoryAudioSource audio;
        MemoryAudioFormat format;
        format.samplesPerSec = 8000;
        format.bitsPerSample = 8;
        audio.Generate(format, 80000, [](int block, int) { return 0.4 * std::sin(block * 0.05); });
        RecordingEngine e;
        e.bAudioHifi = c.hifi;
        e.bUseADPCM = c.adpcm;
        e.holding = true;
        e.title = "T";
        e.SetSources(nullptr, &audio);
        TempMovie movie;
        EncodeAudio(e, movie);

        ASSERT_EQ(e.count(kProgressComplete), 1);
        // Code 5 from 0 to the record count, the audio's code 1, then completion.
        std::vector<int> want(size_t(c.records + 1), kProgressAudio);
        want.push_back(kProgressStreamDone);
        want.push_back(kProgressComplete);
        EXPECT_EQ(e.codes(), want);
        for (int k = 0; k <= c.records; ++k) {
            EXPECT_EQ(e.reports[size_t(k)].a, k);
            EXPECT_EQ(e.reports[size_t(k)].b, c.records);
        }
        EXPECT_EQ(e.reports[size_t(c.records + 1)].a, 1);

        quil::MovieDbReader reader;
        ASSERT_EQ(reader.open(movie.path()), quil::MovieDbError::Ok);
        EXPECT_EQ(reader.header().type, quil::kDbTypeWave);
        ASSERT_EQ(reader.count(), c.records + 1);
        EXPECT_EQ(reader.offset(0), 78u + 8u * uint32_t(c.records + 1));
        const uint8_t* rec0 = reader.get(0);
        quil::MovieHeader h;
        ASSERT_EQ(quil::MovieHeader::decode({rec0, reader.size(0)}, h), quil::MovieHeaderError::Ok);
        reader.release(rec0);
        EXPECT_EQ(h.width, 0);
        EXPECT_EQ(h.rows, 0);
        EXPECT_EQ(h.bitsPerPixel, 0);
        EXPECT_EQ(h.colorMode, 2);
        EXPECT_EQ(h.audioFormat, c.formatCode);
        EXPECT_EQ(h.msPerFrame, 100);
        EXPECT_EQ(h.framesPerSecond, 10);
        EXPECT_EQ(h.framePeriod, 65536000u);
        EXPECT_EQ(h.frameCount, 100);
        EXPECT_EQ(h.firstAudioRecord, 1);
        EXPECT_EQ(h.flags, 2 | 4 | 8);
        EXPECT_EQ(h.title, "T");
        for (int k = 1; k <= c.records; ++k) {
            EXPECT_EQ(reader.size(k), uint32_t(c.recordBytes));
        }
        EXPECT_EQ(e.completion.frameCount, 100);
        EXPECT_DOUBLE_EQ(e.completion.frameRate, 10.0);
        EXPECT_DOUBLE_EQ(e.completion.meanQuality, 1.0);
        EXPECT_EQ(uint32_t(e.completion.fileSize), reader.fileLength());
        EXPECT_STREQ(e.completion.dbname, "Sound");
    }
}

TEST(EncodeAudioMovie, AdpcmRecordsCarryTheCoderStateAcross) {
    MemoryAudioSource audio;
    MemoryAudioFormat format; // 16-bit mono at 10000 samples/s: passed through unchanged
    audio.Generate(format, 140000, [](int block, int) { return 0.1 * std::sin(block * 0.01); });
    RecordingEngine e;
    e.bUseADPCM = true;
    e.SetSources(nullptr, &audio);
    TempMovie movie;
    EncodeAudio(e, movie);
    ASSERT_EQ(e.count(kProgressComplete), 1);
    quil::MovieDbReader reader;
    ASSERT_EQ(reader.open(movie.path()), quil::MovieDbError::Ok);
    ASSERT_EQ(reader.count(), 4); // 14 s: three records of 6.5536 s
    quil::AdpcmState state;
    std::vector<int16_t> samples(65536);
    double worst = 0;
    for (int k = 1; k <= 3; ++k) {
        const uint8_t* rec = reader.get(k);
        ASSERT_NE(rec, nullptr);
        quil::AdpcmDecodeSamples({rec, 32768}, 0, 65536, state, samples.data());
        // The trailer holds the state after the record's last sample.
        EXPECT_EQ(rec[32768], 0);
        EXPECT_EQ(rec[32769], state.index);
        EXPECT_EQ(int16_t((rec[32770] << 8) | rec[32771]), state.predictor);
        for (int j = 0; j < 65536; ++j) {
            const int block = (k - 1) * 65536 + j;
            const double want = block < 140000 ? 0.1 * std::sin(block * 0.01) * 32767 : 0.0;
            worst = std::max(worst, std::abs(samples[size_t(j)] - want));
        }
        reader.release(rec);
    }
    // The odd-sample sign inversion makes the coder chase a full-swing signal, so its error
    // is a good part of the amplitude; a lost state at a record start would add an offset
    // to a whole record.
    EXPECT_LT(worst, 1200.0);
}

TEST(EncodeAudioMovie, StopAndFailures) {
    {
        SCOPED_TRACE("stop after the first record");
        MemoryAudioSource audio;
        audio.Generate(MemoryAudioFormat{}, 100000, [](int, int) { return 0.1; });
        RecordingEngine e;
        e.SetSources(nullptr, &audio);
        e.onReport = [&](const Report& r) {
            if (r.code == kProgressAudio && r.a == 1) {
                e.RequestStop();
            }
        };
        TempMovie movie;
        EncodeAudio(e, movie);
        EXPECT_EQ(e.codes(), (std::vector<int>{5, 5, 2}));
        quil::MovieDbReader reader;
        EXPECT_EQ(reader.open(movie.path()), quil::MovieDbError::Unfinished);
    }
    {
        SCOPED_TRACE("source read error");
        MemoryAudioSource audio;
        audio.Generate(MemoryAudioFormat{}, 100000, [](int, int) { return 0.1; });
        audio.FailReadsFrom(40000);
        RecordingEngine e;
        e.SetSources(nullptr, &audio);
        TempMovie movie;
        EncodeAudio(e, movie);
        EXPECT_EQ(e.reports.back().code, kProgressStopped);
        EXPECT_EQ(e.count(kProgressStopped), 1);
        EXPECT_EQ(e.count(kProgressComplete), 0);
    }
    {
        SCOPED_TRACE("full disk");
        MemoryAudioSource audio;
        audio.Generate(MemoryAudioFormat{}, 100000, [](int, int) { return 0.1; });
        RecordingEngine e;
        e.SetSources(nullptr, &audio);
        FILE* out = std::fopen("/dev/full", "wb");
        ASSERT_NE(out, nullptr);
        e.EncodeAudioMovie(out, "Sound");
        std::fclose(out);
        ASSERT_EQ(e.count(kProgressFailed), 1);
        EXPECT_EQ(e.reports.back().text, "Unable to write to the output file.");
        EXPECT_EQ(e.count(kProgressComplete) + e.count(kProgressStopped), 0);
    }
    {
        SCOPED_TRACE("no audio source");
        RecordingEngine e;
        TempMovie movie;
        EncodeAudio(e, movie);
        ASSERT_EQ(e.codes(), std::vector<int>{kProgressFailed});
        EXPECT_EQ(e.reports[0].text, "The source audio file you have selected has no audio and "
                                     "cannot be used as the encoding source.");
    }
}

} // namespace
