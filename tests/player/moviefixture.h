// Small movie databases built in the tests with the project's own writer and payload writer,
// so the player reads exactly what the encoder writes. Kept free of the format headers so a
// test can include it next to the player's headers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quil::test {

struct FixtureMovie {
    int width = 160;
    int rows = 160;
    int colorMode = 0;   // header colour mode code
    int audioFormat = 0; // 0 standard, 1 ADPCM, 2 hi-fi
    int keyInterval = 0;
    double rate = 10.0;
    bool periodValid = true;  // flags bit 2
    int frameCountField = -1; // -1: the number of frame records
    std::vector<std::vector<uint8_t>> frames;
    std::vector<std::vector<uint8_t>> audio;
    std::string password;
};

// The whole database.
std::vector<uint8_t> writeMovie(const FixtureMovie& movie);

// Frame payloads. A key frame of uniform `value` (frame 0 carries `palette`, 254 entries of
// 0xRRGGBB for indices 1..254, when it is not empty), and a delta frame that fills every 8x8
// block with `color`.
std::vector<uint8_t> keyFrame(int width, int rows, uint8_t value, const std::vector<uint32_t>& palette = {});
std::vector<uint8_t> fillDeltaFrame(int width, int rows, uint8_t color);
// A key frame carrying `pixels` as its pixel data (the whole picture at width 160, the
// half-resolution bytes otherwise).
std::vector<uint8_t> keyFrameWithPixels(int width, int rows, const std::vector<uint8_t>& pixels,
                                        const std::vector<uint32_t>& palette = {});

// A movie of `frames` frames, frame f showing the uniform colour f + 1 (key frames every
// keyInterval frames, delta fills in between).
FixtureMovie countingMovie(int frames, int keyInterval);

} // namespace quil::test
