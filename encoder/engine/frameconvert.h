// Turns the prepared, oriented working bitmap (32-bit 0x00RRGGBB pixels, bottom row first)
// into the stored picture of the movie's colour mode: one pixel code per byte, rows top to
// bottom. Palette and grayscale pictures go through the colour lookup pixel by pixel;
// truecolor pictures through the 2x2 luma/chroma conversion.
//
// Placement: without rotation picture row r, column x is working row (rows - 1 - r), column
// x. With rotation the working bitmap is the screen turned on its side (screen height wide,
// screen width tall): palette pictures take working row x, column (rows - 1 - r), truecolor
// pictures take working row (working height - 1 - x), column r. The engine's flips make
// both rules show the same picture.
#pragma once

#include <cstdint>

#include "encoder/codec/colormode.h"

namespace quil {
class ColorLookup;
}

struct WorkingPicture {
    const uint32_t* pixels = nullptr; // row 0 is the bottom row
    int width = 0;
    int height = 0;
};

// screenWidth x screenHeight codes into picture.
void ConvertToPaletteCodes(const WorkingPicture& work, bool rotated, const quil::ColorLookup& lookup,
                           int screenWidth, int screenHeight, uint8_t* picture);

// screenWidth x (screenHeight * 3 / 2) codes into picture; scratch holds screenWidth x
// screenHeight pixels and is used only when rotated.
void ConvertToTruecolorCodes(const WorkingPicture& work, bool rotated, int variant, int screenWidth,
                             int screenHeight, uint32_t* scratch, uint8_t* picture);
