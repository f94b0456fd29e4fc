// Working bitmap to stored picture, per colour mode.
#include "encoder/engine/frameconvert.h"

#include "encoder/codec/colorlookup.h"
#include "encoder/codec/truecolor.h"

#include <cstddef>

void ConvertToPaletteCodes(const WorkingPicture& work, bool rotated, const quil::ColorLookup& lookup,
                           int screenWidth, int screenHeight, uint8_t* picture) {
    const ptrdiff_t pitch = work.width;
    for (int r = 0; r < screenHeight; ++r) {
        uint8_t* out = picture + ptrdiff_t(r) * screenWidth;
        if (!rotated) {
            const uint32_t* row = work.pixels + ptrdiff_t(screenHeight - 1 - r) * pitch;
            for (int x = 0; x < screenWidth; ++x) {
                out[x] = lookup.codeForColor(row[x]);
            }
        } else {
            const uint32_t* column = work.pixels + (screenHeight - 1 - r);
            for (int x = 0; x < screenWidth; ++x) {
                out[x] = lookup.codeForColor(column[ptrdiff_t(x) * pitch]);
            }
        }
    }
}

void ConvertToTruecolorCodes(const WorkingPicture& work, bool rotated, int variant, int screenWidth,
                             int screenHeight, uint32_t* scratch, uint8_t* picture) {
    if (!rotated) {
        const uint32_t* top = work.pixels + ptrdiff_t(work.height - 1) * work.width;
        quil::convertPictureToTruecolor(variant, top, -ptrdiff_t(work.width), screenWidth,
                                        screenHeight, picture);
        return;
    }
    // Picture row r, column x is working row (working height - 1 - x), column r.
    for (int r = 0; r < screenHeight; ++r) {
        uint32_t* out = scratch + ptrdiff_t(r) * screenWidth;
        for (int x = 0; x < screenWidth; ++x) {
            out[x] = work.pixels[ptrdiff_t(work.height - 1 - x) * work.width + r];
        }
    }
    quil::convertPictureToTruecolor(variant, scratch, screenWidth, screenWidth, screenHeight, picture);
}
