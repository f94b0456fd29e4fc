#include "encoder/app/core/positioncontrollogic.h"

#include "moviedb/muldiv.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {
// Command notice codes of buttons 502-514.
constexpr std::array<int, 13> kButtonCodes = {0, 1, 10, 4, 5, 6, 7, 8, 9, 11, 12, 2, 3};
} // namespace

std::string PositionFrameText(long frame, int32_t microsecondsPerFrame,
                              const PositionMarkCallback& mark, void* control, uint32_t userData) {
    char text[128];
    if (microsecondsPerFrame != 0) {
        const int32_t ms = quil::MulDiv(int32_t(frame), microsecondsPerFrame, 1000);
        std::snprintf(text, sizeof text, " Frame %ld (%d:%02d:%02d.%03d)", frame, ms / 3600000,
                      (ms / 60000) % 60, (ms / 1000) % 60, ms % 1000);
    } else {
        std::snprintf(text, sizeof text, " Frame %ld", frame);
    }
    std::string result = text;
    if (mark) {
        if (const char c = mark(control, userData, frame)) {
            result += " [";
            result += c;
            result += ']';
        }
    }
    return result;
}

bool PositionChildPresent(int id, unsigned style) {
    if (id >= 502 && id <= 504) {
        return style & kPositionStartButtons;
    }
    if (id == 511 || id == 512) {
        return style & kPositionToggleButtons;
    }
    if (id == 513 || id == 514) {
        return style & kPositionMarkButtons;
    }
    return id >= kPositionTrackBarId && id <= kPositionLastButtonId;
}

int PositionButtonCode(int id) {
    if (id < kPositionFirstButtonId || id > kPositionLastButtonId) {
        return -1;
    }
    return kButtonCodes[size_t(id - kPositionFirstButtonId)];
}

std::vector<PositionChildRect> PositionLayout(unsigned style, int width, int height) {
    constexpr int s = kPositionButtonSize;
    const int row = height - s;
    std::vector<PositionChildRect> out;
    out.push_back({kPositionTrackBarId, 0, 0, width, height - s});
    int x = 0;
    if (style & kPositionStartButtons) {
        for (int i = 0; i < 3; ++i) {
            out.push_back({502 + i, i * s, row, s, s});
        }
        x = 80;
    }
    for (int id = 505; id <= 512; ++id) {
        if (PositionChildPresent(id, style)) {
            out.push_back({id, x, row, s, s});
        }
        x += s;
    }
    int a = x + 8;
    if (style & kPositionMarkButtons) {
        out.push_back({513, a, row, s, s});
        out.push_back({514, a + s, row, s, s});
        a += 56;
    }
    out.push_back({kPositionTextId, a, height - 22, std::min(width - a, 320), 18});
    return out;
}

std::vector<int> PositionControlLogic::scroll(TrackScroll what) {
    switch (what) {
    case TrackScroll::PageBack:
        return {kTrackPageBack};
    case TrackScroll::PageForward:
        return {kTrackPageForward};
    case TrackScroll::ThumbReleased:
        if (m_dragging) {
            m_dragging = false;
            return {kTrackDragEnded, kTrackPositionSet};
        }
        return {kTrackPositionSet};
    case TrackScroll::ThumbDragged:
        if (!m_dragging) {
            m_dragging = true;
            return {kTrackDragStarted, kTrackDragging};
        }
        return {kTrackDragging};
    default:
        return {kTrackPositionSet};
    }
}

PositionControlLogic::ToggleResult PositionControlLogic::toggle(int id, bool checked) {
    if (!checked) {
        return {13, false};
    }
    return {id == 511 ? 11 : 12, true};
}
