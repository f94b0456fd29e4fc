// IMA ADPCM coder and decoder for audio records. Both sides compute the same difference
// from the step (step/8 plus step, step/2, step/4 for the three magnitude bits), so the
// decoder's predictor tracks the coder's exactly.
#include "moviedb/adpcm.h"

#include <algorithm>

namespace quil {

namespace {

int16_t clampSample(int32_t v) {
    return int16_t(std::clamp<int32_t>(v, -32768, 32767));
}

uint8_t nextIndex(uint8_t index, uint8_t code) {
    return uint8_t(std::clamp(int(index) + kAdpcmIndexAdjust[code & 15], 0, kAdpcmStepCount - 1));
}

} // namespace

uint8_t AdpcmEncodeSample(AdpcmState& state, int16_t sample) {
    const int32_t step = kAdpcmStepTable[std::min<int>(state.index, kAdpcmStepCount - 1)];
    int32_t diff = int32_t(sample) - state.predictor;
    uint8_t code = 0;
    if (diff < 0) {
        code = 8;
        diff = -diff;
    }
    int32_t vpdiff = step >> 3;
    if (diff >= step) {
        code |= 4;
        diff -= step;
        vpdiff += step;
    }
    if (diff >= step >> 1) {
        code |= 2;
        diff -= step >> 1;
        vpdiff += step >> 1;
    }
    if (diff >= step >> 2) {
        code |= 1;
        vpdiff += step >> 2;
    }
    state.predictor = clampSample((code & 8) ? state.predictor - vpdiff : state.predictor + vpdiff);
    state.index = nextIndex(state.index, code);
    return code;
}

int16_t AdpcmDecodeCode(AdpcmState& state, uint8_t code) {
    code &= 15;
    const int32_t step = kAdpcmStepTable[std::min<int>(state.index, kAdpcmStepCount - 1)];
    int32_t vpdiff = step >> 3;
    if (code & 4) {
        vpdiff += step;
    }
    if (code & 2) {
        vpdiff += step >> 1;
    }
    if (code & 1) {
        vpdiff += step >> 2;
    }
    state.predictor = clampSample((code & 8) ? state.predictor - vpdiff : state.predictor + vpdiff);
    state.index = nextIndex(state.index, code);
    return state.predictor;
}

void AdpcmEncodeBlock(const int16_t* samples, size_t count, uint8_t* out, AdpcmState& state) {
    for (size_t i = 0; i + 1 < count; i += 2) {
        const uint8_t hi = AdpcmEncodeSample(state, samples[i]);
        const uint8_t lo = AdpcmEncodeSample(state, samples[i + 1]);
        out[i / 2] = uint8_t((hi << 4) | lo);
    }
    if (count % 2) {
        out[count / 2] = uint8_t(AdpcmEncodeSample(state, samples[count - 1]) << 4);
    }
}

size_t AdpcmDecodeSamples(std::span<const uint8_t> codes, size_t first, size_t count,
                          AdpcmState& state, int16_t* out) {
    const size_t available = 2 * codes.size();
    if (first >= available) {
        return 0;
    }
    count = std::min(count, available - first);
    for (size_t n = 0; n < count; ++n) {
        const size_t k = first + n;
        const uint8_t byte = codes[k / 2];
        if (k % 2 == 0) {
            out[n] = AdpcmDecodeCode(state, uint8_t(byte >> 4));
        } else {
            out[n] = int16_t(~AdpcmDecodeCode(state, uint8_t(byte & 15)));
        }
    }
    return count;
}

std::array<uint8_t, kAdpcmTrailerBytes> AdpcmMakeTrailer(const AdpcmState& state) {
    const auto p = uint16_t(state.predictor);
    return {0, state.index, uint8_t(p >> 8), uint8_t(p & 0xff)};
}

bool AdpcmParseTrailer(std::span<const uint8_t> record, AdpcmState& state) {
    if (record.size() < kAdpcmRecordBytes) {
        return false;
    }
    const auto t = record.subspan(kAdpcmRecordCodeBytes, kAdpcmTrailerBytes);
    if (t[1] >= kAdpcmStepCount) {
        return false;
    }
    state.index = t[1];
    state.predictor = int16_t(uint16_t((t[2] << 8) | t[3]));
    return true;
}

} // namespace quil
