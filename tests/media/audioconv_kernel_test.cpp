// The resampler's dot product: every kernel this processor runs gives the scalar kernel's
// float bit for bit, the scalar sum stays within rounding of an exact sum, and a whole
// conversion writes the same bytes with the scalar kernel forced.
#include "audioconv_test_util.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>

using namespace audiotest;

TEST(AudioFirKernels, EveryKernelMatchesScalarBitForBit) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    std::uniform_real_distribution<float> tap(-0.3f, 0.3f);
    // Unaligned starts, as window positions are.
    std::vector<float> window(kAudioFilterStride + 16), taps(kAudioFilterStride);
    const auto kernels = SupportedFirKernels();
    ASSERT_EQ(kernels.front(), FirKernel::Scalar);
    for (int trial = 0; trial < 300; ++trial) {
        for (auto& v : window) {
            v = sample(rng);
        }
        for (auto& t : taps) {
            t = tap(rng);
        }
        const float* x = window.data() + trial % 16;
        const float ref = FirDotScalar(x, taps.data());
        double exact = 0, magnitude = 0;
        for (int t = 0; t < kAudioFilterStride; ++t) {
            exact += double(x[t]) * taps[size_t(t)];
            magnitude += std::abs(double(x[t]) * taps[size_t(t)]);
        }
        ASSERT_NEAR(ref, exact, 1e-6 * magnitude);
        for (FirKernel k : kernels) {
            const FirDotFn fn = FirKernelFunction(k);
            ASSERT_NE(fn, nullptr);
            ASSERT_EQ(std::bit_cast<uint32_t>(fn(x, taps.data())), std::bit_cast<uint32_t>(ref))
                << "kernel " << int(k) << " trial " << trial;
        }
    }
}

TEST(AudioFirKernels, ForcedScalarConversionWritesTheSameBytes) {
    MemoryAudioSource src;
    src.Generate(Format(44100, 16, 2), 44100 * 4, [](int i, int c) {
        return 0.45 * std::sin(0.0713 * i + c) + 0.45 * std::sin(0.61 * i);
    });
    AudioConversionOptions opts;
    opts.bUseADPCM = true;
    opts.bEnablePrefilter = true;
    const RunArgs args;
    const auto best = Convert(src, opts, args);
    ForceScalarFirKernel(true);
    EXPECT_EQ(SelectedFirKernel(), FirKernel::Scalar);
    const auto scalar = Convert(src, opts, args);
    ForceScalarFirKernel(false);
    ASSERT_EQ(best.result, kAudioRecordsDone);
    ASSERT_EQ(scalar.result, kAudioRecordsDone);
    EXPECT_EQ(best.file, scalar.file);
}
