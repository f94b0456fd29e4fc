// The payload half of the fixtures, made with the frame payload writer.
#include "moviefixture.h"

#include "encoder/codec/payload_writer.h"

#include <stdexcept>

namespace quil::test {

std::vector<uint8_t> keyFrame(int width, int rows, uint8_t value, const std::vector<uint32_t>& palette) {
    return keyFrameWithPixels(width, rows, std::vector<uint8_t>(keyPixelDataSize(width, rows), value), palette);
}

std::vector<uint8_t> keyFrameWithPixels(int width, int rows, const std::vector<uint8_t>& pixels,
                                        const std::vector<uint32_t>& palette) {
    MovieColorTable table{};
    for (size_t i = 0; i < palette.size() && i + 1 < 255; ++i) {
        const uint32_t c = palette[i];
        table[i + 1] = rgb(int(c >> 16 & 0xFF), int(c >> 8 & 0xFF), int(c & 0xFF));
    }
    std::vector<uint8_t> out(keyFrameSize(width, rows, true) + 16);
    const size_t n = writeKeyFrame(out, pixels, palette.empty() ? nullptr : &table);
    if (n == 0) {
        throw std::runtime_error("key frame not written");
    }
    out.resize(n);
    return out;
}

std::vector<uint8_t> fillDeltaFrame(int width, int rows, uint8_t color) {
    std::vector<BlockCode> blocks(size_t(width / 8) * size_t(rows / 8), fillBlock(8, color));
    std::vector<uint8_t> out(24 + 2 * blocks.size() + 64);
    const size_t n = writeDeltaFrame(out, {}, blocks);
    if (n == 0) {
        throw std::runtime_error("delta frame not written");
    }
    out.resize(n);
    return out;
}

FixtureMovie countingMovie(int frames, int keyInterval) {
    FixtureMovie movie;
    movie.keyInterval = keyInterval;
    for (int f = 0; f < frames; ++f) {
        const bool key = f == 0 || (keyInterval > 0 && f % keyInterval == 0);
        const uint8_t color = uint8_t(f % 250 + 1);
        movie.frames.push_back(key ? keyFrame(160, 160, color, f == 0 ? std::vector<uint32_t>(254, 0x808080)
                                                                     : std::vector<uint32_t>{})
                                   : fillDeltaFrame(160, 160, color));
    }
    return movie;
}

} // namespace quil::test
