#include "player/core/layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace quil {

std::string positionLabel(long position, int32_t unitDurationUs, char extra) {
    char text[96];
    if (unitDurationUs == 0) {
        std::snprintf(text, sizeof text, " Frame %ld", position);
    } else {
        const int64_t magnitude = std::llabs(int64_t(unitDurationUs));
        const int64_t t = (int64_t(position) * magnitude + 500) / 1000;
        const int hours = int(t / 3600000), minutes = int(t / 60000 % 60), seconds = int(t / 1000 % 60),
                  millis = int(t % 1000);
        if (unitDurationUs > 0) {
            std::snprintf(text, sizeof text, " Frame %ld (%d:%02d:%02d.%03d)", position, hours, minutes, seconds, millis);
        } else {
            std::snprintf(text, sizeof text, " Audio only (%d:%02d:%02d.%03d)", hours, minutes, seconds, millis);
        }
    }
    std::string label = text;
    if (extra != 0) {
        label += " [";
        label += extra;
        label += ']';
    }
    return label;
}

PixelRect positionLabelRect(int controlWidth, int controlHeight) {
    return {80, controlHeight - 22, 80 + std::min(controlWidth - 80, 320), controlHeight - 22 + 18};
}

void pictureSize(int movieWidth, int movieRows, bool truecolor, bool hasFrames, int& w, int& h) {
    if (!hasFrames || movieWidth <= 0 || movieRows <= 0) {
        w = h = 160;
        return;
    }
    w = movieWidth;
    h = truecolor ? movieRows * 2 / 3 : movieRows;
}

PixelRect pictureRect(int cw, int ch, int ew, int eh, int w, int h) {
    const int aw = cw - 2 * ew;
    const int ah = ch - 2 * eh - kPositionControlHeight;
    if (aw <= 0 || ah <= 0 || w <= 0 || h <= 0) {
        return {ew, eh, ew, eh};
    }
    const double s = std::min(double(aw) / w, double(ah) / h);
    PixelRect r;
    r.left = ew + (int(std::trunc(aw - w * s)) >> 1);
    r.top = eh + (int(std::trunc(ah - h * s)) >> 1);
    r.right = int(std::trunc(r.left + w * s));
    r.bottom = int(std::trunc(r.top + h * s));
    return r;
}

std::string playerTitle(const std::string& path) {
    return path.empty() ? std::string(kPlayerTitle) : std::string(kPlayerTitle) + " - [" + path + "]";
}

} // namespace quil
