// The preview bitmap description the main window draws the engine's preview buffers with:
// a 40-byte device-independent bitmap header followed by a 252-entry colour table that
// forms a 6 x 7 x 6 colour cube (6 levels of red, 7 of green, 6 of blue).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

struct PreviewBitmapHeader {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 40;
    int32_t biYPelsPerMeter = 40;
    uint32_t biClrUsed = 256;
    uint32_t biClrImportant = 256;
};
static_assert(sizeof(PreviewBitmapHeader) == 40);

struct PreviewRgbQuad {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};

inline constexpr int kPreviewCubeEntries = 252;

struct PreviewBitmapInfo {
    PreviewBitmapHeader header;
    std::array<PreviewRgbQuad, kPreviewCubeEntries> colors{};
};

// Fills the header for width x height pixels of bits each and the colour cube: entry i has
// red (i / 42) * 255 / 5, green ((i / 6) mod 7) * 42.5 truncated, blue (i mod 6) * 51.
void FillPreviewBitmapInfo(PreviewBitmapInfo& info, int width, int height, int bitsPerPixel);
