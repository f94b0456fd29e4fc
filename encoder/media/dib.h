// Device-independent bitmap headers as decoders and bitmap sections describe their pixels:
// the 40-byte header followed by up to 256 colour-table entries (blue, green, red, reserved).
// Only the fields the picture code reads are interpreted; the layout matches the file form.
#pragma once

#include <cstdint>

struct BITMAPINFOHEADER {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0; // negative: rows stored top to bottom
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0; // 0 = uncompressed RGB
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// The header with room for a full colour table. Entries past biClrUsed are zero unless a
// caller sets them, so every byte value of an 8-bit picture finds an entry.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    uint32_t bmiColors[256] = {}; // 0xXXRRGGBB as stored: blue in the low byte
};

// Bytes per stored row of a DIB: rows are padded to four bytes.
constexpr int64_t DibPitch(int bitCount, int width) {
    return ((int64_t(bitCount) * width + 31) >> 3) & ~int64_t(3);
}
