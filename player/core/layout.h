// The player window's arithmetic without a window: the position control's label text, where
// the picture goes in the client area, and the window titles.
#pragma once

#include <cstdint>
#include <string>

namespace quil {

inline constexpr const char* kPlayerTitle = "Quillreel Player for Windows";
// Height of the position control along the bottom of the window.
inline constexpr int kPositionControlHeight = 64;

struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const PixelRect&) const = default;
};

// Label text for position p and unit duration d microseconds (0: frame numbers only, negative:
// an audio-only movie counted in units of |d|); `extra` non-zero appends " [c]".
std::string positionLabel(long position, int32_t unitDurationUs, char extra = 0);

// The label's rectangle in a position control of the given client size.
PixelRect positionLabelRect(int controlWidth, int controlHeight);

// The picture's size as laid out: the movie's width and rows, with two thirds of the rows for
// the truecolor modes; 160 x 160 when there is no movie with frames.
void pictureSize(int movieWidth, int movieRows, bool truecolor, bool hasFrames, int& w, int& h);

// The picture rectangle in a client area of cw x ch with edges of ew x eh around the frame
// rectangle (which ends kPositionControlHeight above the bottom); the picture is scaled to fit,
// larger or smaller, keeping its shape, and centred.
PixelRect pictureRect(int cw, int ch, int ew, int eh, int w, int h);

std::string playerTitle(const std::string& path);

} // namespace quil
