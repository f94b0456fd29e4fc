// Preview bitmap header and colour cube.
#include "encoder/engine/previewbitmap.h"

void FillPreviewBitmapInfo(PreviewBitmapInfo& info, int width, int height, int bitsPerPixel) {
    PreviewBitmapHeader& h = info.header;
    h = PreviewBitmapHeader{};
    h.biWidth = width;
    h.biHeight = height;
    h.biBitCount = uint16_t(bitsPerPixel);
    h.biSizeImage = uint32_t(int64_t(width) * height * bitsPerPixel / 8);
    for (int i = 0; i < kPreviewCubeEntries; ++i) {
        PreviewRgbQuad& q = info.colors[size_t(i)];
        q.rgbRed = uint8_t((i / 42) * 255 / 5);
        q.rgbGreen = uint8_t(int(((i / 6) % 7) * 42.5));
        q.rgbBlue = uint8_t((i % 6) * 51);
        q.rgbReserved = 0;
    }
}
