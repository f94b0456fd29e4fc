// VBitmap: the 32-bit frame buffer every decoded picture passes through before colour
// reduction. Pixels are 0x00RRGGBB, rows are width pixels apart and stored bottom-up (row 0
// is the bottom of the picture). A VBitmap owns its buffer or wraps one owned elsewhere.
//
// Rectangle operations take -1 for "the full width/height". BitBlt, RectFill and the
// adjustments clip to the bitmaps; the two stretches refuse any rectangle that is not wholly
// inside both bitmaps and never touch a pixel outside them.
#pragma once

#include "encoder/media/dib.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class VBitmap {
  public:
    VBitmap();
    VBitmap(int width, int height);
    VBitmap(uint32_t* pixels, int width, int height);
    // Throws std::runtime_error with the conversion's text (see InitFromDIB).
    VBitmap(const BITMAPINFO* dib, const void* pixels, bool flipRows);
    virtual ~VBitmap();
    VBitmap(const VBitmap&) = delete;
    VBitmap& operator=(const VBitmap&) = delete;

    virtual int GetWidth() const;
    virtual int GetHeight() const;
    virtual bool BitBlt(int dx, int dy, const VBitmap* source, int sx, int sy, int w, int h);
    // Nearest neighbour with 32.32 fixed-point stepping. Negative sizes mirror.
    virtual bool StretchBltNearest(int dx, int dy, int dw, int dh, const VBitmap* source, double sx,
                                   double sy, double sw, double sh);
    // Box filter: every destination pixel is the area-weighted mean of its footprint.
    virtual bool StretchBltArea(int dx, int dy, int dw, int dh, const VBitmap* source, double sx,
                                double sy, double sw, double sh);
    virtual bool RectFill(int x, int y, int w, int h, uint32_t pixel);
    // Lightness through the integer hue-lightness-saturation conversion: 0 and 0 keep it.
    virtual bool AdjustBrightnessContrast(int x, int y, int w, int h, float brightness,
                                          float contrast);
    virtual bool AdjustSaturation(int x, int y, int w, int h, float factor);
    // Converts an uncompressed 1/2/4/8/16 (5-5-5)/24/32-bit DIB into owned 32-bit pixels,
    // always ending bottom-up: rows are taken in reverse when (biHeight < 0) != flipRows.
    // Throws "Can't handle compressed bitmaps" or "Can only handle 1, 2, 4, 8, 16, 24 or
    // 32 bits per pixel". A failed allocation leaves the bitmap empty (no pixels).
    virtual void InitFromDIB(const BITMAPINFO* dib, const void* pixels, bool flipRows);
    // Frees an owned buffer and wraps the given one.
    virtual void Attach(uint32_t* pixels, int width, int height);

    uint32_t* Row(int y) const { return data + ptrdiff_t(y) * width; }
    bool OwnsBuffer() const { return m_ownsBuffer; }

    uint32_t* data = nullptr;
    int width = 0;
    int height = 0;

  private:
    // Makes the bitmap own at least width x height pixels; false (and empty) on failure.
    bool growOwned(int w, int h);
    void release();

    std::unique_ptr<uint32_t[]> m_owned;
    size_t m_capacity = 0;
    bool m_ownsBuffer = false;
};

class VBitmap2 : public VBitmap {
  public:
    using VBitmap::VBitmap;
};

// In-place flips of a raw pixel block (depth 8, 15, 16, 24 or 32; other depths are left
// alone). The vertical flip exchanges rows r and height-1-r; the mirror exchanges pixels c
// and width-1-c of every row.
void flipPixelsVertically(void* pixels, int width, int height, ptrdiff_t pitch, int depth);
void mirrorPixelsHorizontally(void* pixels, int width, int height, ptrdiff_t pitch, int depth);

// Placement of a source picture in the screen under the crop factor (0 fills the screen and
// cuts the overflow, 1 shows all of it with bars). Bars are rounded to multiples of 8, the
// source size down to multiples of 4. Destination y counts from the top.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};
struct SourceRect {
    double x = 0, y = 0, width = 0, height = 0;
};
void ComputeFitRect(int sourceWidth, int sourceHeight, double cropFactor, PixelRect* destination,
                    SourceRect* source, int targetWidth, int targetHeight);

// The area stretch's inner loops exist in several instruction-set variants that give the
// same bytes; the fastest the processor has is chosen on first use (QUIL_FORCE_SCALAR=1 in
// the environment keeps the plain one).
enum class StretchVariant { Scalar, Sse2, Avx2 };
const char* stretchVariantName(StretchVariant v);
std::vector<StretchVariant> supportedStretchVariants();
StretchVariant activeStretchVariant();
// For tests and benchmarks; returns false when the processor lacks the variant.
bool setStretchVariant(StretchVariant v);
