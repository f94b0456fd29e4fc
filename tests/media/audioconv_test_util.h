// Helpers of the audio conversion tests: run one conversion into a temporary file and
// decode its records back to samples.
#pragma once

#include "encoder/media/audioconv.h"
#include "encoder/media/memoryaudio.h"
#include "moviedb/adpcm.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace audiotest {

struct Report {
    int code;
    int32_t a;
    int32_t b;
    bool operator==(const Report&) const = default;
};

struct Conversion {
    int result = 0;
    std::vector<uint8_t> file;
    std::vector<uint32_t> offsets;
    std::vector<Report> reports;
};

struct RunArgs {
    int records = 1;
    int firstEntry = 0;
    int startMs = 0;
    size_t prefixBytes = 0; // written before the records, as a header would be
    size_t offsetSlots = 0; // size of the offset table, at least firstEntry + records
    // Called for each report; may set the stop flag.
    std::function<void(const Report&, std::atomic<bool>&)> onReport;
};

inline Conversion Convert(AudioStreamSource& src, const AudioConversionOptions& opts,
                          RunArgs args = {}) {
    Conversion c;
    FILE* f = std::tmpfile();
    if (f == nullptr) {
        c.result = -100;
        return c;
    }
    std::vector<uint8_t> prefix(args.prefixBytes, 0xee);
    std::fwrite(prefix.data(), 1, prefix.size(), f);
    c.offsets.assign(std::max(args.offsetSlots, size_t(args.firstEntry + args.records)),
                     0xdeadbeef);
    std::atomic<bool> stop{false};
    c.result = EncodeAudioRecords(src, opts, f, args.records, c.offsets, args.firstEntry,
                                  args.startMs, stop, [&](int code, int32_t a, int32_t b) {
                                      c.reports.push_back({code, a, b});
                                      if (args.onReport) {
                                          args.onReport(c.reports.back(), stop);
                                      }
                                  });
    std::fflush(f);
    const long size = std::ftell(f);
    c.file.resize(size_t(std::max(size, 0L)));
    std::rewind(f);
    if (!c.file.empty() && std::fread(c.file.data(), 1, c.file.size(), f) != c.file.size()) {
        c.result = -101;
    }
    std::fclose(f);
    return c;
}

// The payload bytes of record n (without an ADPCM trailer).
inline std::vector<uint8_t> Payload(const Conversion& c, const RunArgs& args, int n) {
    const size_t at = c.offsets[size_t(args.firstEntry + n)];
    return {c.file.begin() + long(at), c.file.begin() + long(at) + 32768};
}

// Decodes all records in order to samples in -1..1, as the player does.
inline std::vector<double> Decode(const Conversion& c, const AudioConversionOptions& opts,
                                  const RunArgs& args) {
    std::vector<double> out;
    quil::AdpcmState state;
    for (int n = 0; n < args.records; ++n) {
        const auto payload = Payload(c, args, n);
        if (opts.adpcm()) {
            std::vector<int16_t> pcm(quil::kAdpcmRecordSamples);
            quil::AdpcmDecodeSamples(payload, 0, pcm.size(), state, pcm.data());
            for (int16_t s : pcm) {
                out.push_back(s / 32768.0);
            }
        } else {
            for (uint8_t b : payload) {
                out.push_back((int(b) - 128) / 128.0);
            }
        }
    }
    return out;
}

// Frequency of the dominant tone from the zero crossings of x[from..], interpolated.
inline double ToneFrequency(const std::vector<double>& x, size_t from, size_t to, double rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = double(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            if (first < 0) {
                first = t;
            } else {
                ++crossings;
            }
            last = t;
        }
    }
    return crossings > 0 ? crossings * rate / (last - first) : 0.0;
}

// Amplitude of the component at freq in x[from..to), by correlation.
inline double ToneAmplitude(const std::vector<double>& x, size_t from, size_t to, double freq,
                            double rate) {
    double re = 0, im = 0;
    for (size_t i = from; i < to; ++i) {
        const double ph = 2.0 * M_PI * freq * double(i) / rate;
        re += x[i] * std::cos(ph);
        im += x[i] * std::sin(ph);
    }
    return 2.0 * std::hypot(re, im) / double(to - from);
}

inline MemoryAudioFormat Format(uint32_t rate, int bits, int channels, uint16_t tag = 1,
                                int blockAlign = 0) {
    MemoryAudioFormat f;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.channels = channels;
    f.formatTag = tag;
    f.blockAlign = blockAlign;
    return f;
}

} // namespace audiotest
