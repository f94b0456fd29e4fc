// Audio record conversion: filter design, exact sample paths at 10000 samples per second,
// clipping, ADPCM records, record layout and offsets, the source's end, stop and failures,
// and the resampled sound measured after decoding.
#include "audioconv_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>

using namespace audiotest;

namespace {

AudioConversionOptions Standard() {
    return {};
}
AudioConversionOptions Adpcm() {
    AudioConversionOptions o;
    o.bUseADPCM = true;
    return o;
}
AudioConversionOptions Hifi() {
    AudioConversionOptions o;
    o.bAudioHifi = true;
    return o;
}

// |H(f)| of one phase, f in cycles per input sample.
double Response(const AudioFilterBank& bank, int phase, double f) {
    double re = 0, im = 0;
    for (int t = 0; t < kAudioFilterTaps; ++t) {
        re += bank.phase(phase)[t] * std::cos(2 * M_PI * f * t);
        im += bank.phase(phase)[t] * std::sin(2 * M_PI * f * t);
    }
    return std::hypot(re, im);
}

double PhaseSum(const AudioFilterBank& bank, int phase) {
    return std::accumulate(bank.phase(phase), bank.phase(phase) + kAudioFilterStride, 0.0);
}

// A source of 8-bit mono bytes at the output rate.
std::unique_ptr<MemoryAudioSource> BytesSource(std::vector<uint8_t> bytes, uint32_t rate = 10000) {
    auto src = std::make_unique<MemoryAudioSource>();
    src->SetRaw(Format(rate, 8, 1), std::move(bytes));
    return src;
}

} // namespace

TEST(AudioFilterDesign, StepIsRoundedFixedPoint) {
    struct Case {
        uint32_t rin;
        int rout;
        int32_t step;
    };
    for (const Case& c :
         {Case{44100, 10000, 289014}, Case{10000, 10000, 65536}, Case{44100, 20000, 144507},
          Case{8000, 10000, 52429}, Case{0, 10000, -1}}) {
        EXPECT_EQ(AudioResampleStep(c.rin, c.rout), c.step) << c.rin << " -> " << c.rout;
    }
}

TEST(AudioFilterDesign, LowPassCutsAtHalfTheOutputRate) {
    // 44100 -> 10000: cut-off 5000 Hz; every phase passes DC at unity gain.
    const auto bank = BuildAudioFilterBank(44100, Standard());
    for (int k = 0; k < kAudioFilterPhases; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(PhaseSum(bank, k), 1.0, 1e-5);
        EXPECT_NEAR(Response(bank, k, 1000.0 / 44100), 1.0, 0.01);
        EXPECT_NEAR(Response(bank, k, 4000.0 / 44100), 1.0, 0.02);
        EXPECT_NEAR(Response(bank, k, 5000.0 / 44100), 0.5, 0.15);
        EXPECT_LT(Response(bank, k, 6000.0 / 44100), 0.01);
        for (int t = kAudioFilterTaps; t < kAudioFilterStride; ++t) {
            ASSERT_EQ(bank.phase(k)[t], 0.0f);
        }
    }
    // Hi-fi output moves the cut-off to 10000 Hz.
    const auto hifi = BuildAudioFilterBank(44100, Hifi());
    EXPECT_NEAR(Response(hifi, 0, 8000.0 / 44100), 1.0, 0.02);
    EXPECT_LT(Response(hifi, 0, 12000.0 / 44100), 0.01);
}

TEST(AudioFilterDesign, PrefilterAndBoost) {
    AudioConversionOptions pre;
    pre.bEnablePrefilter = true;
    const auto band = BuildAudioFilterBank(10000, pre);
    for (int k = 0; k < kAudioFilterPhases; ++k) {
        EXPECT_NEAR(PhaseSum(band, k), 0.0, 1e-5) << k;
    }
    EXPECT_LT(Response(band, 0, 50.0 / 10000), 0.1);
    EXPECT_NEAR(Response(band, 0, 1000.0 / 10000), 1.0, 0.02);

    AudioConversionOptions boost;
    boost.bAudioBoost = true;
    boost.nAudioBoostVal = 150; // a percentage, not a whole factor
    const auto plain = BuildAudioFilterBank(44100, Standard());
    const auto loud = BuildAudioFilterBank(44100, boost);
    for (size_t i = 0; i < plain.taps.size(); ++i) {
        ASSERT_EQ(loud.taps[i], plain.taps[i] * 1.5f) << i;
    }
}

TEST(AudioConversion, UnitImpulseAtTheOutputRate) {
    // Step 65536 and cut-off 0.5: phase 0 is a unit impulse at its centre tap.
    auto src = BytesSource({128, 0, 255, 200, 1, 129});
    const RunArgs args;
    const auto c = Convert(*src, Standard(), args);
    ASSERT_EQ(c.result, kAudioRecordsDone);
    ASSERT_EQ(c.file.size(), 32768u);
    EXPECT_EQ(std::vector<uint8_t>(c.file.begin(), c.file.begin() + 6),
              (std::vector<uint8_t>{128, 0, 254, 199, 1, 128}));
    EXPECT_TRUE(std::all_of(c.file.begin() + 6, c.file.end(), [](uint8_t b) { return b == 128; }));
}

TEST(AudioConversion, StartsAtStartOffsetFromTheStreamStart) {
    // A 10000 samples/s stream whose first block is 7: 5000 ms in means block 7 + 50000.
    std::vector<uint8_t> bytes(60000);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = uint8_t(20 + (i * 7) % 100);
    }
    auto src = BytesSource(bytes);
    src->SetStart(7);
    RunArgs args;
    args.startMs = 5000;
    const auto c = Convert(*src, Standard(), args);
    ASSERT_EQ(c.result, kAudioRecordsDone);
    EXPECT_TRUE(std::equal(bytes.begin() + 50000, bytes.end(), c.file.begin()));
    EXPECT_TRUE(
        std::all_of(c.file.begin() + 10000, c.file.end(), [](uint8_t b) { return b == 128; }));
}

TEST(AudioConversion, FullScaleWithBoost200ClipsInsteadOfWrapping) {
    for (bool adpcm : {false, true}) {
        for (uint8_t level : {uint8_t(0), uint8_t(255)}) {
            SCOPED_TRACE(testing::Message() << "adpcm " << adpcm << " level " << int(level));
            auto src = BytesSource(std::vector<uint8_t>(70000, level));
            AudioConversionOptions opts = adpcm ? Adpcm() : Standard();
            opts.bAudioBoost = true;
            opts.nAudioBoostVal = 200;
            const RunArgs args;
            const auto c = Convert(*src, opts, args);
            ASSERT_EQ(c.result, kAudioRecordsDone);
            const auto x = Decode(c, opts, args);
            if (!adpcm) {
                const uint8_t clipped = level == 0 ? 0 : 255;
                EXPECT_TRUE(std::all_of(c.file.begin() + 100, c.file.end(),
                                        [&](uint8_t b) { return b == clipped; }));
            } else {
                // The coder follows the clipped full-scale level; wrapped values would be
                // a few hundred steps from zero.
                const double mean =
                    std::accumulate(x.begin() + 2000, x.end(), 0.0) / double(x.size() - 2000);
                EXPECT_GT(std::abs(mean), 0.9);
                EXPECT_EQ(mean > 0, level == 255);
            }
        }
    }
}

TEST(AudioConversion, AdpcmSilenceIsAllZeroCodesAndTrailer) {
    MemoryAudioSource src;
    src.Generate(Format(44100, 16, 2), 30000, [](int, int) { return 0.0; });
    RunArgs args;
    args.records = 2;
    const auto c = Convert(src, Adpcm(), args);
    ASSERT_EQ(c.result, kAudioRecordsDone);
    ASSERT_EQ(c.file.size(), 2u * 32772);
    EXPECT_TRUE(std::all_of(c.file.begin(), c.file.end(), [](uint8_t b) { return b == 0; }));
}

TEST(AudioConversion, RecordLayoutAndOffsets) {
    struct Case {
        const char* name;
        AudioConversionOptions opts;
        size_t recordBytes;
    };
    AudioConversionOptions both = Hifi();
    both.bUseADPCM = true; // hi-fi wins: 8-bit records without trailer
    for (const Case& k : {Case{"standard", Standard(), 32768}, Case{"adpcm", Adpcm(), 32772},
                          Case{"hifi", Hifi(), 32768}, Case{"hifi_and_adpcm", both, 32768}}) {
        SCOPED_TRACE(k.name);
        MemoryAudioSource src;
        src.Generate(Format(22050, 16, 1), 5000,
                     [](int i, int) { return 0.5 * std::sin(i * 0.1); });
        RunArgs args;
        args.records = 3;
        args.firstEntry = 4;
        args.offsetSlots = 9;
        args.prefixBytes = 78 + 8 * 9;
        const auto c = Convert(src, k.opts, args);
        ASSERT_EQ(c.result, kAudioRecordsDone);
        EXPECT_EQ(c.file.size(), args.prefixBytes + 3 * k.recordBytes);
        for (size_t i = 0; i < c.offsets.size(); ++i) {
            const bool filled = i >= 4 && i < 7;
            EXPECT_EQ(c.offsets[i],
                      filled ? args.prefixBytes + (i - 4) * k.recordBytes : 0xdeadbeef)
                << i;
        }
        const std::vector<Report> expected = {
            {5, 0, 3}, {5, 1, 3}, {5, 2, 3}, {5, 3, 3}, {1, 1, 0}};
        EXPECT_EQ(c.reports, expected);
    }
}

TEST(AudioConversion, PastTheSourceEndRecordsCarrySilence) {
    // 1000 input samples at 44100: the first record holds them, the rest is silence.
    MemoryAudioSource src;
    src.Generate(Format(44100, 16, 2), 1000, [](int i, int) { return 0.8 * std::sin(i * 0.2); });
    RunArgs args;
    args.records = 3;
    const auto c = Convert(src, Standard(), args);
    ASSERT_EQ(c.result, kAudioRecordsDone);
    ASSERT_EQ(c.file.size(), 3u * 32768);
    EXPECT_TRUE(
        std::any_of(c.file.begin(), c.file.begin() + 200, [](uint8_t b) { return b != 128; }));
    // 1000 input samples and the filter's reach end well before output sample 400.
    EXPECT_TRUE(
        std::all_of(c.file.begin() + 400, c.file.end(), [](uint8_t b) { return b == 128; }));
    EXPECT_EQ(c.reports.back(), (Report{1, 1, 0}));

    // An empty source still gives full records.
    MemoryAudioSource empty;
    empty.SetRaw(Format(10000, 8, 1), {});
    const auto e = Convert(empty, Adpcm(), args);
    ASSERT_EQ(e.result, kAudioRecordsDone);
    EXPECT_EQ(e.file.size(), 3u * 32772);
}

TEST(AudioConversion, ShortReadsDoNotSlipSilenceIntoTheSound) {
    auto make = [](int maxBlocks) {
        auto src = std::make_unique<MemoryAudioSource>();
        src->Generate(Format(44100, 16, 2), 100000,
                      [](int i, int c) { return 0.6 * std::sin(i * (c ? 0.05 : 0.07)); });
        src->SetMaxBlocksPerRead(maxBlocks);
        return src;
    };
    RunArgs args;
    args.records = 2;
    auto whole = make(0);
    auto pieces = make(1234);
    const auto a = Convert(*whole, Standard(), args);
    const auto b = Convert(*pieces, Standard(), args);
    ASSERT_EQ(a.result, kAudioRecordsDone);
    ASSERT_EQ(b.result, kAudioRecordsDone);
    EXPECT_GT(pieces->readCalls(), whole->readCalls());
    EXPECT_EQ(a.file, b.file);
}

TEST(AudioConversion, RatesBeyondTheWindowSkipInputInStep) {
    // 6 MHz in: 600 input samples per output sample, more than the window's reach, so
    // refills skip input. Level -0.5 for the first second, +0.5 for the next, then the end.
    std::vector<uint8_t> bytes(12000000, 64);
    std::fill(bytes.begin() + 6000000, bytes.end(), uint8_t(192));
    auto src = BytesSource(std::move(bytes), 6000000);
    const auto c = Convert(*src, Standard(), {});
    ASSERT_EQ(c.result, kAudioRecordsDone);
    EXPECT_EQ(c.file[5000], 64);
    EXPECT_EQ(c.file[9998], 64);
    EXPECT_EQ(c.file[10002], 191);
    EXPECT_EQ(c.file[15000], 191);
    EXPECT_EQ(c.file[19998], 191);
    EXPECT_TRUE(
        std::all_of(c.file.begin() + 20002, c.file.end(), [](uint8_t b) { return b == 128; }));
}

TEST(AudioConversion, StopEndsBeforeTheNextRecordWithoutCompletion) {
    MemoryAudioSource src;
    src.Generate(Format(44100, 16, 2), 200000, [](int i, int) { return 0.3 * std::sin(i * 0.01); });
    // Stop requested while the first record is reported.
    RunArgs args;
    args.records = 4;
    args.onReport = [](const Report& r, std::atomic<bool>& stop) {
        if (r.code == 5 && r.a == 1) {
            stop = true;
        }
    };
    const auto c = Convert(src, Standard(), args);
    EXPECT_EQ(c.result, kAudioRecordsEnded);
    EXPECT_EQ(c.file.size(), 32768u);
    EXPECT_EQ(c.reports, (std::vector<Report>{{5, 0, 4}, {5, 1, 4}}));
    EXPECT_EQ(c.offsets[1], 0xdeadbeef);

    // Stop already set when the conversion starts: nothing is written.
    RunArgs early;
    early.records = 2;
    early.onReport = [](const Report&, std::atomic<bool>& stop) { stop = true; };
    const auto d = Convert(src, Adpcm(), early);
    EXPECT_EQ(d.result, kAudioRecordsEnded);
    EXPECT_TRUE(d.file.empty());
    EXPECT_EQ(d.reports, (std::vector<Report>{{5, 0, 2}}));
}

TEST(AudioConversion, SourceFailuresEndTheConversion) {
    struct Case {
        const char* name;
        std::function<void(MemoryAudioSource&)> spoil;
        size_t bytesWritten;
    };
    const Case cases[] = {
        // The first record reads up to about 177000 blocks, the second needs more.
        {"read_error", [](MemoryAudioSource& s) { s.FailReadsFrom(200000); }, 32768},
        {"info_error", [](MemoryAudioSource& s) { s.FailGetInfo(kAudioReadError); }, 0},
        {"rate_zero",
         [](MemoryAudioSource& s) { s.SetRaw(Format(0, 16, 2), std::vector<uint8_t>(400)); }, 0},
        {"block_too_small",
         [](MemoryAudioSource& s) {
             s.SetRaw(Format(44100, 16, 2, 1, 2), std::vector<uint8_t>(400));
         },
         0},
        {"no_channels",
         [](MemoryAudioSource& s) {
             s.SetRaw(Format(44100, 16, 0, 1, 4), std::vector<uint8_t>(400));
         },
         0},
        {"too_wide",
         [](MemoryAudioSource& s) { s.SetRaw(Format(44100, 64, 1), std::vector<uint8_t>(400)); },
         0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        MemoryAudioSource src;
        src.Generate(Format(44100, 16, 2), 400000,
                     [](int i, int) { return 0.3 * std::sin(i * 0.01); });
        k.spoil(src);
        RunArgs args;
        args.records = 3;
        const auto c = Convert(src, Standard(), args);
        EXPECT_EQ(c.result, kAudioRecordsEnded);
        EXPECT_EQ(c.file.size(), k.bytesWritten);
        EXPECT_FALSE(c.reports.empty());
        EXPECT_NE(c.reports.back().code, kAudioProgressDone);
    }
}

TEST(AudioConversion, FullDiskIsAWriteFailureNotAStop) {
    FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) {
        GTEST_SKIP() << "no /dev/full";
    }
    MemoryAudioSource src;
    src.Generate(Format(10000, 8, 1), 1000, [](int i, int) { return 0.2 * std::sin(i * 0.3); });
    std::vector<uint32_t> offsets(2);
    std::atomic<bool> stop{false};
    std::vector<int> codes;
    const int rc = EncodeAudioRecords(src, Standard(), full, 2, offsets, 0, 0, stop,
                                      [&](int code, int32_t, int32_t) { codes.push_back(code); });
    std::fclose(full);
    EXPECT_EQ(rc, kAudioRecordsWriteFailed);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kAudioProgressDone), 0);
}

TEST(AudioConversion, RejectsAnOffsetTableTooSmall) {
    auto src = BytesSource({1, 2, 3});
    std::vector<uint32_t> offsets(3);
    std::atomic<bool> stop{false};
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(EncodeAudioRecords(*src, Standard(), f, 2, offsets, 2, 0, stop, {}),
              kAudioRecordsEnded);
    EXPECT_EQ(std::ftell(f), 0);
    std::fclose(f);
}

// ---- The sound after decoding ----

TEST(AudioConversionSound, OneKilohertzStaysOneKilohertz) {
    struct Case {
        const char* name;
        AudioConversionOptions opts;
        int records;
    };
    for (const Case& k :
         {Case{"standard", Standard(), 1}, Case{"hifi", Hifi(), 2}, Case{"adpcm", Adpcm(), 1}}) {
        SCOPED_TRACE(k.name);
        MemoryAudioSource src;
        src.Generate(Format(44100, 16, 2), 44100 * 7,
                     [](int i, int) { return 0.7 * std::sin(2 * M_PI * 1000.0 * i / 44100.0); });
        RunArgs args;
        args.records = k.records;
        const auto c = Convert(src, k.opts, args);
        ASSERT_EQ(c.result, kAudioRecordsDone);
        const auto x = Decode(c, k.opts, args);
        const double rate = k.opts.outputRate();
        EXPECT_NEAR(ToneFrequency(x, 1000, x.size() - 1000, rate), 1000.0, 0.5);
        EXPECT_NEAR(ToneAmplitude(x, 1000, x.size() - 1000, 1000.0, rate), 0.7, 0.03);
    }
}

TEST(AudioConversionSound, OutputSampleJSitsAtInputTimeJTimesStep) {
    // A tone sampled at the output times: output sample j is centred on input position
    // j * step / 65536, so down- and up-sampling keep both the timing and the level.
    struct Case {
        uint32_t rin;
        bool hifi;
    };
    for (const Case& k : {Case{44100, false}, Case{8000, false}, Case{10000, true},
                          Case{48000, true}, Case{11025, true}}) {
        SCOPED_TRACE(testing::Message() << k.rin << (k.hifi ? " hifi" : ""));
        const double f = 440.0;
        MemoryAudioSource src;
        src.Generate(Format(k.rin, 16, 1), int(k.rin) * 4,
                     [&](int i, int) { return 0.8 * std::sin(2 * M_PI * f * i / k.rin); });
        AudioConversionOptions opts;
        opts.bAudioHifi = k.hifi;
        const RunArgs args;
        const auto x = Decode(Convert(src, opts, args), opts, args);
        const double step = AudioResampleStep(k.rin, opts.outputRate()) / 65536.0;
        double maxErr = 0, re = 0, im = 0;
        for (size_t j = 500; j < 30000; ++j) {
            const double t = double(j) * step / k.rin;
            maxErr = std::max(maxErr, std::abs(x[j] - 0.8 * std::sin(2 * M_PI * f * t)));
            re += x[j] * std::sin(2 * M_PI * f * t);
            im += x[j] * std::cos(2 * M_PI * f * t);
        }
        // Timing error of the tone in input samples: a window started one sample off, or
        // phases picked from the wrong bits, lands far outside this.
        const double lag = std::atan2(im, re) / (2 * M_PI * f) * k.rin;
        EXPECT_LT(std::abs(lag), 0.05);
        // 8-bit steps and the filter's ripple.
        EXPECT_LT(maxErr, 0.03);
    }
}

TEST(AudioConversionSound, PrefilterRemovesFiftyHertz) {
    MemoryAudioSource src;
    src.Generate(Format(10000, 16, 1), 40000, [](int i, int) {
        return 0.4 * std::sin(2 * M_PI * 50.0 * i / 10000.0) +
               0.4 * std::sin(2 * M_PI * 1000.0 * i / 10000.0);
    });
    AudioConversionOptions pre;
    pre.bEnablePrefilter = true;
    const RunArgs args;
    const auto plain = Decode(Convert(src, Standard(), args), Standard(), args);
    const auto filtered = Decode(Convert(src, pre, args), pre, args);
    const size_t a = 2000, b = 30000;
    EXPECT_NEAR(ToneAmplitude(plain, a, b, 50, 10000), 0.4, 0.02);
    EXPECT_LT(ToneAmplitude(filtered, a, b, 50, 10000), 0.04);
    EXPECT_NEAR(ToneAmplitude(filtered, a, b, 1000, 10000), 0.4, 0.02);
}

TEST(AudioConversionSound, DecodedRecordsFollowTheResampledSignal) {
    // The expected signal is the filter bank applied directly to the whole input at each
    // output position j * step; the records must match it within quantisation error.
    const int blocks = 44100 * 8;
    auto value = [](int i, int c) {
        const double t = i / 44100.0;
        return 0.35 * std::sin(2 * M_PI * 310.0 * t + c) + 0.25 * std::sin(2 * M_PI * 2900.0 * t);
    };
    MemoryAudioSource src;
    src.Generate(Format(44100, 16, 2), blocks, value);
    std::vector<float> input(blocks);
    const auto& raw = src.bytes();
    for (int i = 0; i < blocks; ++i) {
        int16_t s0, s1;
        std::memcpy(&s0, raw.data() + 4 * i, 2);
        std::memcpy(&s1, raw.data() + 4 * i + 2, 2);
        input[i] = float(s0 + s1) / 65536.0f;
    }
    for (const auto& opts : {Standard(), Adpcm()}) {
        SCOPED_TRACE(opts.adpcm() ? "adpcm" : "standard");
        RunArgs args;
        args.records = opts.adpcm() ? 1 : 2;
        const auto c = Convert(src, opts, args);
        ASSERT_EQ(c.result, kAudioRecordsDone);
        const auto x = Decode(c, opts, args);
        const auto bank = BuildAudioFilterBank(44100, opts);
        const int64_t step = AudioResampleStep(44100, opts.outputRate());
        std::vector<double> expected(x.size());
        for (size_t j = 0; j < x.size(); ++j) {
            const int64_t pos = int64_t(j) * step;
            const float* taps = bank.phase(int(pos >> 12) & 15);
            double y = 0;
            for (int t = 0; t < kAudioFilterTaps; ++t) {
                const int64_t i = (pos >> 16) + t - kAudioFilterCentre;
                if (i >= 0 && i < blocks) {
                    y += double(input[size_t(i)]) * taps[t];
                }
            }
            expected[j] = y;
        }
        if (opts.adpcm()) {
            // The coder's own error: code the expected signal the same way (every second
            // sample inverted) and decode it. The records must match that closely.
            std::vector<int16_t> staged(x.size());
            for (size_t j = 0; j < x.size(); ++j) {
                const double v = (j % 2) ? -expected[j] : expected[j];
                staged[j] = int16_t(std::clamp(std::floor(32767.0 * v + 0.5), -32768.0, 32767.0));
            }
            std::vector<uint8_t> codes(staged.size() / 2);
            quil::AdpcmState enc, dec;
            quil::AdpcmEncodeBlock(staged.data(), staged.size(), codes.data(), enc);
            std::vector<int16_t> coded(staged.size());
            quil::AdpcmDecodeSamples(codes, 0, coded.size(), dec, coded.data());
            double err2 = 0, sig2 = 0, coderErr2 = 0;
            for (size_t j = 0; j < x.size(); ++j) {
                const double c = coded[j] / 32768.0;
                err2 += (x[j] - c) * (x[j] - c);
                coderErr2 += (expected[j] - c) * (expected[j] - c);
                sig2 += expected[j] * expected[j];
            }
            EXPECT_GT(10 * std::log10(sig2 / coderErr2), 12.0);
            EXPECT_GT(10 * std::log10(sig2 / err2), 40.0);
        } else {
            // floor(127.5 y + 128) read back as (b - 128) / 128.
            double maxErr = 0;
            for (size_t j = 0; j < x.size(); ++j) {
                maxErr = std::max(maxErr, std::abs(x[j] - expected[j]));
            }
            EXPECT_LT(maxErr, 1.5 / 128);
        }
    }
}
