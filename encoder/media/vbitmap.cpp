// VBitmap basics: buffers, DIB conversion, copies, fills, the lightness adjustments through
// the integer hue-lightness-saturation model, flips and the fit-rectangle arithmetic. The
// stretches live in vbitmap_stretch.cpp.
#include "encoder/media/vbitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

VBitmap::VBitmap() = default;

VBitmap::VBitmap(int w, int h) {
    growOwned(w, h);
}

VBitmap::VBitmap(uint32_t* pixels, int w, int h) {
    Attach(pixels, w, h);
}

VBitmap::VBitmap(const BITMAPINFO* dib, const void* pixels, bool flipRows) {
    InitFromDIB(dib, pixels, flipRows);
}

VBitmap::~VBitmap() = default;

int VBitmap::GetWidth() const {
    return width;
}
int VBitmap::GetHeight() const {
    return height;
}

void VBitmap::release() {
    m_owned.reset();
    m_capacity = 0;
    m_ownsBuffer = false;
    data = nullptr;
    width = height = 0;
}

bool VBitmap::growOwned(int w, int h) {
    if (w <= 0 || h <= 0) {
        release();
        return w >= 0 && h >= 0;
    }
    const size_t need = size_t(w) * size_t(h);
    if (!m_ownsBuffer || need > m_capacity) {
        release();
        // 2^31 pixels and more would overflow the int row arithmetic callers use.
        if (need > (size_t(1) << 31) / 4) {
            return false;
        }
        m_owned.reset(new (std::nothrow) uint32_t[need]);
        if (!m_owned) {
            return false;
        }
        m_capacity = need;
    }
    m_ownsBuffer = true;
    data = m_owned.get();
    width = w;
    height = h;
    return true;
}

void VBitmap::Attach(uint32_t* pixels, int w, int h) {
    release();
    data = pixels;
    width = pixels ? std::max(w, 0) : 0;
    height = pixels ? std::max(h, 0) : 0;
}

void VBitmap::InitFromDIB(const BITMAPINFO* dib, const void* pixels, bool flipRows) {
    const BITMAPINFOHEADER& hdr = dib->bmiHeader;
    if (hdr.biCompression != 0) {
        throw std::runtime_error("Can't handle compressed bitmaps");
    }
    const int bits = hdr.biBitCount;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
        bits != 32) {
        throw std::runtime_error("Can only handle 1, 2, 4, 8, 16, 24 or 32 bits per pixel");
    }
    const int w = hdr.biWidth;
    const int64_t h64 = hdr.biHeight < 0 ? -int64_t(hdr.biHeight) : int64_t(hdr.biHeight);
    if (w <= 0 || h64 == 0 || h64 > INT32_MAX || !growOwned(w, int(h64))) {
        release();
        return;
    }
    const int h = int(h64);
    const int64_t pitch = DibPitch(bits, w);
    const bool reverse = (hdr.biHeight < 0) != flipRows;
    const uint8_t* base = static_cast<const uint8_t*>(pixels);
    const uint32_t* colors = dib->bmiColors;

    for (int y = 0; y < h; ++y) {
        const uint8_t* src = base + pitch * (reverse ? h - 1 - y : y);
        uint32_t* dst = Row(y);
        switch (bits) {
        case 32:
            std::memcpy(dst, src, size_t(w) * 4);
            break;
        case 24:
            for (int x = 0; x < w; ++x, src += 3) {
                dst[x] = uint32_t(src[0]) | uint32_t(src[1]) << 8 | uint32_t(src[2]) << 16;
            }
            break;
        case 16:
            for (int x = 0; x < w; ++x, src += 2) {
                const unsigned v = unsigned(src[0]) | unsigned(src[1]) << 8;
                const unsigned b = (v & 31) * 255 / 31;
                const unsigned g = ((v >> 5) & 31) * 255 / 31;
                const unsigned r = ((v >> 10) & 31) * 255 / 31;
                dst[x] = b | g << 8 | r << 16;
            }
            break;
        case 8:
            for (int x = 0; x < w; ++x) {
                dst[x] = colors[src[x]];
            }
            break;
        default: { // 1, 2 and 4 bits, leftmost pixel in the high bits
            const int perByte = 8 / bits;
            const unsigned mask = (1u << bits) - 1;
            for (int x = 0; x < w; ++x) {
                const int shift = 8 - bits * (x % perByte + 1);
                dst[x] = colors[(src[x / perByte] >> shift) & mask];
            }
            break;
        }
        }
    }
}

namespace {

// Clips (x, y, w, h) to a width x height bitmap; -1 means the full size. False when nothing
// is left.
bool clipRect(int& x, int& y, int& w, int& h, int width, int height) {
    if (w == -1) {
        w = width;
    }
    if (h == -1) {
        h = height;
    }
    int64_t x0 = x, y0 = y, x1 = int64_t(x) + w, y1 = int64_t(y) + h;
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, width);
    y1 = std::min<int64_t>(y1, height);
    if (x1 <= x0 || y1 <= y0) {
        return false;
    }
    x = int(x0);
    y = int(y0);
    w = int(x1 - x0);
    h = int(y1 - y0);
    return true;
}

struct Hls {
    int h, l, s;
};

Hls rgbToHls(int r, int g, int b) {
    const int mx = std::max({r, g, b});
    const int mn = std::min({r, g, b});
    Hls o;
    o.l = (mx + mn) / 2;
    if (mx == mn) {
        o.s = 0;
        o.h = 0;
        return o;
    }
    const int d = mx - mn;
    o.s = o.l < 128 ? d * 255 / (mx + mn) : d * 255 / (510 - mx - mn);
    const int rr = (mx - r) * 255 / d;
    const int gg = (mx - g) * 255 / d;
    const int bb = (mx - b) * 255 / d;
    int h;
    if (r == mx) {
        h = bb - gg;
    } else if (g == mx) {
        h = rr - bb + 510;
    } else {
        h = gg - rr + 1020;
    }
    h /= 6;
    if (h < 0) {
        h += 255;
    }
    o.h = h;
    return o;
}

int hueValue(int m1, int m2, int h) {
    if (h > 255) {
        h -= 255;
    } else if (h < 0) {
        h += 255;
    }
    if (h < 42) {
        return m1 + (m2 - m1) * h * 6 / 255;
    }
    if (h < 127) {
        return m2;
    }
    if (h < 170) {
        return m1 + (m2 - m1) * (170 - h) * 6 / 255;
    }
    return m1;
}

uint32_t hlsToPixel(int h, int l, int s) {
    if (s == 0) {
        const uint32_t v = uint32_t(l);
        return v << 16 | v << 8 | v;
    }
    const int m2 = l <= 127 ? l * (s + 255) : l * (255 - s) + s * 255;
    const int m1 = l * 510 - m2;
    const uint32_t r = uint32_t(std::min(hueValue(m1, m2, h + 85) / 255, 255));
    const uint32_t g = uint32_t(std::min(hueValue(m1, m2, h) / 255, 255));
    const uint32_t b = uint32_t(std::min(hueValue(m1, m2, h - 85) / 255, 255));
    return r << 16 | g << 8 | b;
}

// float to int truncating toward zero, saturating instead of overflowing.
int64_t truncSaturate(double v) {
    if (!(v == v)) {
        return 0;
    }
    return int64_t(std::clamp(v, -1e15, 1e15));
}

} // namespace

bool VBitmap::BitBlt(int dx, int dy, const VBitmap* src, int sx, int sy, int w, int h) {
    if (!src || !data || !src->data) {
        return false;
    }
    if (w == -1) {
        w = src->width;
    }
    if (h == -1) {
        h = src->height;
    }
    // Clip against the source, moving the destination along, then against the destination.
    int64_t x0 = sx, y0 = sy, x1 = int64_t(sx) + w, y1 = int64_t(sy) + h;
    int64_t ox = int64_t(dx) - sx, oy = int64_t(dy) - sy;
    x0 = std::max<int64_t>({x0, 0, -ox});
    y0 = std::max<int64_t>({y0, 0, -oy});
    x1 = std::min<int64_t>({x1, src->width, width - ox});
    y1 = std::min<int64_t>({y1, src->height, height - oy});
    if (x1 <= x0 || y1 <= y0) {
        return false;
    }
    const size_t bytes = size_t(x1 - x0) * 4;
    for (int64_t y = y0; y < y1; ++y) {
        std::memmove(Row(int(y + oy)) + (x0 + ox), src->Row(int(y)) + x0, bytes);
    }
    return true;
}

bool VBitmap::RectFill(int x, int y, int w, int h, uint32_t pixel) {
    if (!data || !clipRect(x, y, w, h, width, height)) {
        return false;
    }
    for (int r = y; r < y + h; ++r) {
        std::fill_n(Row(r) + x, w, pixel);
    }
    return true;
}

bool VBitmap::AdjustBrightnessContrast(int x, int y, int w, int h, float brightness,
                                       float contrast) {
    if (!data || !clipRect(x, y, w, h, width, height)) {
        return false;
    }
    const int64_t base = truncSaturate(double((brightness + 1.0f) * 128.0f));
    const int64_t gain = truncSaturate(double((contrast + 1.0f) * 65536.0f));
    for (int r = y; r < y + h; ++r) {
        uint32_t* p = Row(r) + x;
        for (int c = 0; c < w; ++c) {
            const uint32_t v = p[c];
            const Hls hls = rgbToHls(int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255));
            const int64_t l =
                std::clamp<int64_t>(base + ((int64_t(hls.l - 128) * gain) >> 16), 0, 255);
            p[c] = hlsToPixel(hls.h, int(l), hls.s);
        }
    }
    return true;
}

bool VBitmap::AdjustSaturation(int x, int y, int w, int h, float factor) {
    if (!data || !clipRect(x, y, w, h, width, height)) {
        return false;
    }
    if (factor == 1.0f) {
        return true; // k would be infinite: S' = S
    }
    const int64_t k = truncSaturate(255.0 / (double(factor) - 1.0));
    for (int r = y; r < y + h; ++r) {
        uint32_t* p = Row(r) + x;
        for (int c = 0; c < w; ++c) {
            const uint32_t v = p[c];
            const Hls hls = rgbToHls(int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255));
            int64_t s = hls.s;
            if (k + s != 0) {
                s = std::clamp<int64_t>(s * (k + 255) / (k + s), 0, 255);
            } else {
                s = 255;
            }
            p[c] = hlsToPixel(hls.h, hls.l, int(s));
        }
    }
    return true;
}

namespace {

int bytesPerPixel(int depth) {
    switch (depth) {
    case 8:
        return 1;
    case 15:
    case 16:
        return 2;
    case 24:
        return 3;
    case 32:
        return 4;
    default:
        return 0;
    }
}

} // namespace

void flipPixelsVertically(void* pixels, int width, int height, ptrdiff_t pitch, int depth) {
    const int bpp = bytesPerPixel(depth);
    if (!pixels || bpp == 0 || width <= 0 || height <= 1) {
        return;
    }
    const size_t rowBytes = size_t(width) * size_t(bpp);
    std::vector<uint8_t> tmp(rowBytes);
    uint8_t* base = static_cast<uint8_t*>(pixels);
    for (int r = 0; r < height / 2; ++r) {
        uint8_t* a = base + pitch * r;
        uint8_t* b = base + pitch * (height - 1 - r);
        std::memcpy(tmp.data(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, tmp.data(), rowBytes);
    }
}

void mirrorPixelsHorizontally(void* pixels, int width, int height, ptrdiff_t pitch, int depth) {
    const int bpp = bytesPerPixel(depth);
    if (!pixels || bpp == 0 || width <= 1 || height <= 0) {
        return;
    }
    uint8_t* base = static_cast<uint8_t*>(pixels);
    for (int r = 0; r < height; ++r) {
        uint8_t* row = base + pitch * r;
        if (bpp == 4 && reinterpret_cast<uintptr_t>(row) % alignof(uint32_t) == 0) {
            uint32_t* p = reinterpret_cast<uint32_t*>(row);
            std::reverse(p, p + width);
            continue;
        }
        for (int c = 0; c < width / 2; ++c) {
            std::swap_ranges(row + c * bpp, row + (c + 1) * bpp, row + (width - 1 - c) * bpp);
        }
    }
}

void ComputeFitRect(int ws, int hs, double k, PixelRect* dst, SourceRect* src, int wt, int ht) {
    *dst = PixelRect{};
    *src = SourceRect{};
    if (ws <= 0 || hs <= 0 || wt <= 0 || ht <= 0 || !std::isfinite(k)) {
        return;
    }
    const double gx = double(wt) / ws;
    const double gy = double(ht) / hs;
    const double hi = std::max(gx, gy), lo = std::min(gx, gy);
    const double m = hi + k * (lo - hi);
    const double o = ws * m;
    const double p = hs * m;
    // Far outside any screen the picture would overflow int: such factors show nothing.
    if (!(std::fabs(o) < 1e9 && std::fabs(p) < 1e9)) {
        return;
    }
    int x0 = int(std::floor((wt - o) / 2));
    if (wt > o) {
        x0 = (x0 + 4) & ~7;
    }
    int y0 = int(std::floor((ht - p) / 2));
    if (ht > p) {
        y0 = (y0 + 4) & ~7;
    }
    const int x1 = int(x0 + o);
    const int y1 = int(y0 + p);
    double u0 = 0, u1 = 1, t0 = 0, t1 = 1;
    if (x1 > x0) {
        if (x0 < 0) {
            u0 = double(-x0) / (x1 - x0);
        }
        if (x1 > wt) {
            u1 = double(wt - x0) / (x1 - x0);
        }
    }
    if (y1 > y0) {
        if (y0 < 0) {
            t0 = double(-y0) / (y1 - y0);
        }
        if (y1 > ht) {
            t1 = double(ht - y0) / (y1 - y0);
        }
    }
    dst->x = std::max(x0, 0);
    dst->y = std::max(y0, 0);
    dst->width = std::max(std::min(x1, wt) - dst->x, 0);
    dst->height = std::max(std::min(y1, ht) - dst->y, 0);
    src->x = u0 * ws;
    src->y = t0 * hs;
    src->width = double(int(u1 * ws - u0 * ws) & ~3);
    src->height = double(int(t1 * hs - t0 * hs) & ~3);
}
