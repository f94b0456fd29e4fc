// Polyphase synthesis filter bank: 32 subband samples in, 32 PCM samples out per call.
//
// The scalar functions define the output. Each step computes the 64 matrixed values
// through a 32-point DCT-II (exact symmetries of the cosine matrix), then windows them
// with the 512-tap window. A vector variant must give the same bytes: it reorders no
// floating-point operation, it only runs independent outputs side by side.
#pragma once

#include <cstdint>

namespace quil::mpeg {

struct SynthesisState {
    alignas(16) float v[2][1024]; // matrixed values per channel, a ring of 16 blocks of 64
    int offset[2] = {0, 0};       // start of the newest block, a multiple of 64
    void clear();
};

// Runs one step for channel ch and writes 32 samples to out[0], out[stride], ...
using SynthesisFn = void (*)(SynthesisState& state, int ch, const float* subbands, int16_t* out,
                             int stride);

void synthesizeScalar(SynthesisState& state, int ch, const float* subbands, int16_t* out,
                      int stride);
#if defined(__SSE2__)
void synthesizeSse2(SynthesisState& state, int ch, const float* subbands, int16_t* out, int stride);
#endif
// The plain textbook filter (64 x 32 cosine matrix); used to check the fast paths' accuracy.
void synthesizeTextbook(SynthesisState& state, int ch, const float* subbands, int16_t* out,
                        int stride);

// The variant for this processor, chosen once; QUIL_MPEG_SCALAR=1 in the environment forces scalar.
SynthesisFn synthesisFunction();

// 32-point DCT-II, X[m] = sum x[k] cos(pi m (2k + 1) / 64); in and out may not overlap.
void dct32(const float* in, float* out);

int16_t roundToPcm(float x);

} // namespace quil::mpeg
