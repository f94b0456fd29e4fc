// The choices the encoder offers for its parameters, with their item texts: screen sizes,
// colour modes, seek-point spacings and the nine sample presets. The option dialogs list
// them and the command-line tool accepts them by number or name.
#pragma once

#include "encoder/engine/params.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct ScreenSizeChoice {
    const char* text;
    int32_t width, height;
};
inline constexpr std::array<ScreenSizeChoice, 4> kScreenSizes = {{
    {" Standard Resolution 160x160", 160, 160},
    {" High Resolution 320x240 *", 320, 240},
    {" Hires Full Screen 320x320 *", 320, 320},
    {" Widescreen NR70 216x384 *", 216, 384},
}};

struct ColorModeChoice {
    const char* text;
    int32_t nColorDepth;
    bool fUseGrayscale;
};
inline constexpr std::array<ColorModeChoice, 5> kColorModes = {{
    {" Grayscale", 16, true},
    {" Std Color Palette", 11, false},
    {" Ext Color Palette", 16, false},
    {" Truecolor", 24, false},
    {" Truecolor Plus", 25, false},
}};

struct SeekPointChoice {
    const char* text;
    int32_t seconds;
};
inline constexpr std::array<SeekPointChoice, 6> kSeekPoints = {{
    {" None (no seeking)", 0},
    {" Max (up to every 5 seconds)", 5},
    {" High (up to every 10 seconds)", 10},
    {" Med (up to every 20 seconds)", 20},
    {" Low (up to every 30 seconds)", 30},
    {" Min (up to every 60 seconds)", 60},
}};

struct SamplePreset {
    const char* text;
    int32_t width, height, nMaxFrameRate, nColorDepth;
    bool fUseGrayscale;
    int32_t nBytesTarget;
};
inline constexpr const char* kPresetPrompt = " ( Select to Load Sample Settings ) ";
inline constexpr std::array<SamplePreset, 9> kSamplePresets = {{
    {"1. Lo-res 10fps Grayscale (PalmIII, m125)", 160, 160, 10, 16, true, 1800},
    {"2. Lo-res 15fps Palette (Palm IIIc)", 160, 160, 15, 16, false, 1800},
    {"3. Lo-res  9fps Truecolor (m515)", 160, 160, 9, 24, false, 2000},
    {"4. Hi-res 15fps Palette (Sony NR70)", 320, 240, 15, 16, false, 3500},
    {"5. Hi-res  7fps Truecolor (Sony NR70)", 320, 240, 7, 24, false, 4000},
    {"6. Hi-res 15fps Palette (Modern Device)", 320, 240, 15, 16, false, 3500},
    {"7. Hi-res 24fps Palette (Modern Device)", 320, 240, 24, 16, false, 3500},
    {"8. Hi-res 15fps Truecolor (Modern Device)", 320, 240, 15, 25, false, 4000},
    {"9. Hi-res 24fps Truecolor (Modern Device)", 320, 240, 24, 25, false, 4000},
}};

// Writes preset index (0-8) into the parameters: size, rate, colour mode and target; turns
// compression on. Key frame interval, ceiling and floor stay as they are.
void ApplySamplePreset(EncodingParameters& params, size_t index);

// The colour-mode list index the parameters select, or nothing.
std::optional<size_t> ColorModeIndex(const EncodingParameters& params);

// The texts of the completion summary of a finished movie.
struct CompletionTexts {
    std::string name, size, time, rate, quality;
};
CompletionTexts FormatCompletion(const CompletionRecord& record, int encodemode);
