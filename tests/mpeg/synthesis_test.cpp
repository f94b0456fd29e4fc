// The synthesis filter bank: every vector variant gives the scalar path's bytes, and the
// scalar path (a DCT through the cosine matrix's symmetries) stays within one step of the
// textbook matrix filter.
#include "encoder/media/mpeg/synthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace quil::mpeg {
namespace {

// Subband blocks: quiet, loud, clipping, isolated impulses and a few non-finite values.
std::vector<std::array<float, 32>> testBlocks() {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<std::array<float, 32>> blocks(600);
    for (size_t b = 0; b < blocks.size(); ++b) {
        const float scale = b < 200 ? 0.01f : (b < 400 ? 0.5f : 3.0f);
        for (float& v : blocks[b])
            v = u(rng) * scale;
        if (b % 97 == 5) {
            blocks[b].fill(0.0f);
            blocks[b][b % 32] = 1.0f;
        }
    }
    blocks[450][3] = std::numeric_limits<float>::infinity();
    blocks[500][7] = std::numeric_limits<float>::quiet_NaN();
    return blocks;
}

using Variant = std::pair<const char*, SynthesisFn>;

std::vector<Variant> variants() {
    std::vector<Variant> v;
#if defined(__SSE2__)
    v.emplace_back("sse2", &synthesizeSse2);
#endif
    v.emplace_back("selected", synthesisFunction());
    return v;
}

TEST(Synthesis, EveryVariantMatchesScalarExactly) {
    const auto blocks = testBlocks();
    for (const auto& [name, fn] : variants()) {
        auto a = std::make_unique<SynthesisState>();
        auto b = std::make_unique<SynthesisState>();
        a->clear();
        b->clear();
        for (size_t i = 0; i < blocks.size(); ++i) {
            const int ch = int(i % 2);
            int16_t outA[64], outB[64];
            synthesizeScalar(*a, ch, blocks[i].data(), outA + ch, 2);
            fn(*b, ch, blocks[i].data(), outB + ch, 2);
            for (int j = 0; j < 32; ++j)
                ASSERT_EQ(outA[ch + 2 * j], outB[ch + 2 * j])
                    << name << " block " << i << " sample " << j;
        }
    }
}

TEST(Synthesis, ScalarPathFollowsTheTextbookFilter) {
    auto blocks = testBlocks();
    blocks.resize(400); // finite, mostly unclipped input
    auto a = std::make_unique<SynthesisState>();
    auto b = std::make_unique<SynthesisState>();
    a->clear();
    b->clear();
    int worst = 0;
    for (const auto& block : blocks) {
        int16_t outA[32], outB[32];
        synthesizeScalar(*a, 0, block.data(), outA, 1);
        synthesizeTextbook(*b, 0, block.data(), outB, 1);
        for (int j = 0; j < 32; ++j)
            worst = std::max(worst, std::abs(outA[j] - outB[j]));
    }
    EXPECT_LE(worst, 1);
}

TEST(Synthesis, Dct32MatchesItsDefinition) {
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    float in[32], out[32];
    for (float& v : in)
        v = u(rng);
    dct32(in, out);
    for (int m = 0; m < 32; ++m) {
        double ref = 0.0;
        for (int k = 0; k < 32; ++k)
            ref += double(in[k]) * std::cos(3.14159265358979323846 * m * (2 * k + 1) / 64.0);
        EXPECT_NEAR(out[m], ref, 2e-5) << m;
    }
}

TEST(Synthesis, RoundingClampsAndHandlesNonFiniteValues) {
    EXPECT_EQ(roundToPcm(0.5f / 32768.0f), 0); // ties go to even
    EXPECT_EQ(roundToPcm(1.5f / 32768.0f), 2);
    EXPECT_EQ(roundToPcm(-1.0f), -32768);
    EXPECT_EQ(roundToPcm(1.0f), 32767);
    EXPECT_EQ(roundToPcm(1e30f), 32767);
    EXPECT_EQ(roundToPcm(-std::numeric_limits<float>::infinity()), -32768);
    EXPECT_EQ(roundToPcm(std::numeric_limits<float>::quiet_NaN()), -32768);
}

} // namespace
} // namespace quil::mpeg
