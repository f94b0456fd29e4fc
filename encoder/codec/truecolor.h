// Conversion of prepared RGB pictures (32-bit 0x00RRGGBB pixels) into truecolor pixel codes.
//
// A truecolor picture of W x Hs screen pixels is W x 1.5 Hs bytes: Hs rows of luma codes,
// then Hs / 2 chroma rows; chroma row j covers luma rows 2j and 2j + 1, its first W / 2 bytes
// are U codes and its last W / 2 bytes V codes, byte i belonging to luma columns 2i, 2i + 1.
//
//               variant 24                      variant 25
//   luma        16..113, no multiple of 15      17..144, never 1 + a multiple of 15
//   U           0..14                           1..15
//   V           15 * level (0..210)             16 + 15 * level (16..226)
//
// API:
//   TruecolorSquare truecolorSquare(int variant, uint32_t tl, tr, bl, br);
//   void convertPictureToTruecolor(int variant, const uint32_t* topRow, ptrdiff_t pitch,
//                                  int width, int screenHeight, uint8_t* picture);
#pragma once

#include <cstddef>
#include <cstdint>

namespace quil {

struct TruecolorSquare {
    uint8_t luma[4]; // top-left, top-right, bottom-left, bottom-right
    uint8_t u;
    uint8_t v;
};

// Luma code of one pixel.
uint8_t truecolorLuma(int variant, int r, int g, int b);

// Variant 25's chroma curve: level 0..14 of a chroma sum a over a 2x2 square.
int chromaLevel25(int32_t a);

TruecolorSquare truecolorSquare(int variant, uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br);

// Converts a whole picture. topRow points at the top row of width x screenHeight pixels and
// pitch is the distance in pixels from one row to the next one down (negative for a
// bottom-up bitmap). width and screenHeight must be even; picture receives
// width * (screenHeight + screenHeight / 2) codes.
void convertPictureToTruecolor(int variant, const uint32_t* topRow, ptrdiff_t pitch, int width,
                               int screenHeight, uint8_t* picture);

} // namespace quil
