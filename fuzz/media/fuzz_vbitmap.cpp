// Arbitrary DIB headers and pixels, then stretches, copies, fills and flips with arbitrary
// rectangles: nothing may touch memory outside the bitmaps, and every stretch variant must
// give the scalar variant's bytes.
#include "encoder/media/vbitmap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    template <class T> T take() {
        T v{};
        const size_t k = n < sizeof(T) ? n : sizeof(T);
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
    double coordinate(double limit) {
        const int16_t raw = take<int16_t>();
        return double(raw) / 256.0 + (take<uint8_t>() & 1 ? limit : 0.0);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    BITMAPINFO dib;
    static const uint16_t kDepths[] = {1, 2, 4, 8, 16, 24, 32, 12};
    dib.bmiHeader.biBitCount = kDepths[in.take<uint8_t>() % 8];
    dib.bmiHeader.biWidth = 1 + in.take<uint8_t>() % 40;
    dib.bmiHeader.biHeight = int(in.take<int8_t>() % 30);
    dib.bmiHeader.biCompression = in.take<uint8_t>() == 255 ? 1 : 0;
    for (uint32_t& c : dib.bmiColors) {
        c = 0x00A0B0C0u;
    }
    const int64_t rows =
        dib.bmiHeader.biHeight < 0 ? -dib.bmiHeader.biHeight : dib.bmiHeader.biHeight;
    std::vector<uint8_t> pixels(
        size_t(DibPitch(dib.bmiHeader.biBitCount, dib.bmiHeader.biWidth) * rows) + 1);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = in.take<uint8_t>();
    }
    VBitmap src;
    try {
        src.InitFromDIB(&dib, pixels.data(), in.take<uint8_t>() & 1);
    } catch (const std::runtime_error&) {
        return 0;
    }
    if (!src.data) {
        return 0;
    }
    const int dw = 1 + in.take<uint8_t>() % 48, dh = 1 + in.take<uint8_t>() % 48;
    VBitmap a(dw, dh), b(dw, dh);
    for (int round = 0; round < 4 && in.n > 0; ++round) {
        const int dx = in.take<int8_t>(), dy = in.take<int8_t>();
        const int w = in.take<int8_t>(), h = in.take<int8_t>();
        const double sx = in.coordinate(src.width), sy = in.coordinate(src.height);
        const double sw = in.coordinate(src.width), sh = in.coordinate(src.height);
        a.StretchBltNearest(dx, dy, w, h, &src, sx, sy, sw, sh);
        a.RectFill(dx, dy, w, h, 0);
        b.BitBlt(0, 0, &a, 0, 0, -1, -1);
        for (const StretchVariant v : supportedStretchVariants()) {
            setStretchVariant(StretchVariant::Scalar);
            const bool ra = a.StretchBltArea(dx, dy, w, h, &src, sx, sy, sw, sh);
            setStretchVariant(v);
            const bool rb = b.StretchBltArea(dx, dy, w, h, &src, sx, sy, sw, sh);
            if (ra != rb || std::memcmp(a.data, b.data, size_t(dw) * size_t(dh) * 4) != 0) {
                std::abort();
            }
        }
        a.BitBlt(dx, dy, &src, int(sx), int(sy), w, h);
        a.AdjustBrightnessContrast(dx, dy, w, h, float(sw / 100), float(sh / 100));
        a.AdjustSaturation(dx, dy, w, h, float(sx / 50));
        static const int kFlipDepths[] = {8, 15, 16, 24, 32};
        const int depth = kFlipDepths[in.take<uint8_t>() % 5];
        const int bpp = depth == 15 ? 2 : depth / 8;
        const int fw = a.width * 4 / bpp;
        flipPixelsVertically(a.data, fw, a.height, a.width * 4, depth);
        mirrorPixelsHorizontally(a.data, fw, a.height, a.width * 4, depth);
    }
    return 0;
}
