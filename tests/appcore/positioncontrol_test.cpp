// The position control's texts, layout and notices.
#include "encoder/app/core/positioncontrollogic.h"

#include <gtest/gtest.h>

#include <map>

TEST(PositionText, FrameNumberTimeAndMark) {
    struct Case {
        long frame;
        int32_t us;
        const char* text;
    };
    for (const Case c : {Case{12, 0, " Frame 12"}, Case{90000, 40000, " Frame 90000 (1:00:00.000)"},
                         Case{1500, 40000, " Frame 1500 (0:01:00.000)"},
                         Case{7, 33367, " Frame 7 (0:00:00.234)"}, Case{0, 40000, " Frame 0 (0:00:00.000)"}}) {
        EXPECT_EQ(PositionFrameText(c.frame, c.us), c.text);
    }
    void* const control = reinterpret_cast<void*>(0x1234);
    long seen = -1;
    const PositionMarkCallback mark = [&](void* ctl, uint32_t data, long frame) -> char {
        EXPECT_EQ(ctl, control);
        EXPECT_EQ(data, 99u);
        seen = frame;
        return frame == 3 ? 'M' : 0;
    };
    EXPECT_EQ(PositionFrameText(3, 0, mark, control, 99), " Frame 3 [M]");
    EXPECT_EQ(seen, 3);
    EXPECT_EQ(PositionFrameText(4, 0, mark, control, 99), " Frame 4");
}

TEST(PositionNotices, DragSequenceAndOtherMovements) {
    PositionControlLogic logic(0);
    std::vector<int> all;
    for (TrackScroll s : {TrackScroll::ThumbDragged, TrackScroll::ThumbDragged,
                          TrackScroll::ThumbDragged, TrackScroll::ThumbReleased}) {
        for (int code : logic.scroll(s)) {
            all.push_back(code);
        }
    }
    EXPECT_EQ(all, (std::vector<int>{4, 0, 0, 0, 5, 1}));
    EXPECT_FALSE(logic.dragging());
    EXPECT_EQ(logic.scroll(TrackScroll::ThumbReleased), std::vector<int>{1});
    EXPECT_EQ(logic.scroll(TrackScroll::PageBack), std::vector<int>{2});
    EXPECT_EQ(logic.scroll(TrackScroll::PageForward), std::vector<int>{3});
    EXPECT_EQ(logic.scroll(TrackScroll::LineForward), std::vector<int>{1});
}

TEST(PositionButtons, CodesAndToggles) {
    const std::map<int, int> codes = {{502, 0}, {503, 1}, {504, 10}, {505, 4}, {506, 5},
                                      {507, 6}, {508, 7}, {509, 8},  {510, 9}, {513, 2}, {514, 3}};
    for (const auto& [id, code] : codes) {
        EXPECT_EQ(PositionButtonCode(id), code) << id;
    }
    EXPECT_EQ(PositionControlLogic::toggle(511, true).code, 11);
    EXPECT_TRUE(PositionControlLogic::toggle(511, true).uncheckOther);
    EXPECT_EQ(PositionControlLogic::toggle(512, true).code, 12);
    EXPECT_EQ(PositionControlLogic::toggle(511, false).code, 13);
    EXPECT_FALSE(PositionControlLogic::toggle(512, false).uncheckOther);
}

TEST(PositionLayout, ButtonRowAndTextPlacement) {
    auto byId = [](unsigned style, int w, int h) {
        std::map<int, PositionChildRect> m;
        for (const auto& r : PositionLayout(style, w, h)) {
            m[r.id] = r;
        }
        return m;
    };
    // No optional groups: the step buttons from 0 to 120, the text from 200.
    auto plain = byId(0, 600, 56);
    EXPECT_EQ(plain.size(), 8u);
    for (int id = 505; id <= 510; ++id) {
        EXPECT_EQ(plain[id].x, (id - 505) * 24);
        EXPECT_EQ(plain[id].y, 32);
    }
    EXPECT_EQ(plain[500].width, 600);
    EXPECT_EQ(plain[500].height, 32);
    EXPECT_EQ(plain[501].x, 200);
    EXPECT_EQ(plain[501].y, 34);
    EXPECT_EQ(plain[501].width, 320);
    EXPECT_EQ(plain[501].height, 18);
    EXPECT_EQ(byId(0, 300, 56)[501].width, 100);

    auto full = byId(kPositionStartButtons | kPositionMarkButtons | kPositionToggleButtons, 800, 56);
    EXPECT_EQ(full.size(), 15u);
    EXPECT_EQ(full[504].x, 48);
    EXPECT_EQ(full[505].x, 80);
    EXPECT_EQ(full[512].x, 80 + 7 * 24);
    EXPECT_EQ(full[513].x, 280);
    EXPECT_EQ(full[514].x, 304);
    EXPECT_EQ(full[501].x, 336);
    // Toggles absent: their places stay empty.
    auto marks = byId(kPositionMarkButtons, 800, 56);
    EXPECT_EQ(marks.count(511), 0u);
    EXPECT_EQ(marks[513].x, 200);
}
