// What the position control decides without drawing anything: the frame text with its time
// and mark, where each child sits, which notices a track-bar movement sends, and how the
// two toggle buttons answer a click. zorvPositionControl wraps it in widgets.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Optional button groups (window style bits).
enum PositionControlStyle : unsigned {
    kPositionStartButtons = 1u << 0,  // 502-504
    kPositionMarkButtons = 1u << 1,   // 513-514
    kPositionToggleButtons = 1u << 2, // 511-512
};

// Child ids.
inline constexpr int kPositionTrackBarId = 500;
inline constexpr int kPositionTextId = 501;
inline constexpr int kPositionFirstButtonId = 502;
inline constexpr int kPositionLastButtonId = 514;
inline constexpr int kPositionButtonSize = 24;

// Track-bar notice codes.
enum PositionTrackNotice : int {
    kTrackDragging = 0,
    kTrackPositionSet = 1,
    kTrackPageBack = 2,
    kTrackPageForward = 3,
    kTrackDragStarted = 4,
    kTrackDragEnded = 5,
};

// What the track bar reports.
enum class TrackScroll { LineBack, LineForward, PageBack, PageForward, ThumbReleased, ThumbDragged, Other };

// Returns a character to show after the frame text, or 0 for none.
using PositionMarkCallback = std::function<char(void* control, uint32_t userData, long frame)>;

// " Frame %ld", with " (%d:%02d:%02d.%03d)" when the time per frame is known and " [c]" when
// the mark callback answers c.
std::string PositionFrameText(long frame, int32_t microsecondsPerFrame,
                              const PositionMarkCallback& mark = {}, void* control = nullptr,
                              uint32_t userData = 0);

// Whether a child exists under the style, and the command notice code its click sends
// (-1 for the track bar and the text).
bool PositionChildPresent(int id, unsigned style);
int PositionButtonCode(int id);

struct PositionChildRect {
    int id;
    int x, y, width, height;
};
// Places the children that exist inside a client area of width x height.
std::vector<PositionChildRect> PositionLayout(unsigned style, int width, int height);

class PositionControlLogic {
public:
    explicit PositionControlLogic(unsigned style) : m_style(style) {}
    unsigned style() const { return m_style; }

    // The notices a track-bar movement sends, in order; textFrozen is not consulted here.
    std::vector<int> scroll(TrackScroll what);
    bool dragging() const { return m_dragging; }

    // A click on toggle 511 or 512 that left it in state checked: the notice code and
    // whether the other toggle must be unchecked.
    struct ToggleResult {
        int code;
        bool uncheckOther;
    };
    static ToggleResult toggle(int id, bool checked);

private:
    unsigned m_style;
    bool m_dragging = false;
};
