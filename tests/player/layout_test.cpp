// The window's arithmetic: label texts, the label's width, the picture rectangle and titles.
#include "player/core/layout.h"

#include <gtest/gtest.h>

namespace quil {
namespace {

TEST(PositionLabel, Texts) {
    struct Case {
        long position;
        int32_t duration;
        char extra;
        const char* text;
    };
    for (const Case& c : {Case{605, -100000, 0, " Audio only (0:01:00.500)"},
                          Case{30, 66667, 0, " Frame 30 (0:00:02.000)"},
                          Case{12, 0, 0, " Frame 12"},
                          Case{0, 66667, 0, " Frame 0 (0:00:00.000)"},
                          Case{54000, 66667, 0, " Frame 54000 (1:00:00.018)"},
                          Case{3, 0, 'K', " Frame 3 [K]"}}) {
        EXPECT_EQ(positionLabel(c.position, c.duration, c.extra), c.text);
    }
}

TEST(PositionLabel, WidthFollowsANarrowControl) {
    EXPECT_EQ(positionLabelRect(500, 64), (PixelRect{80, 42, 400, 60}));
    EXPECT_EQ(positionLabelRect(350, 64), (PixelRect{80, 42, 350, 60}));
}

TEST(PictureLayout, FitsAndCentresThePicture) {
    int w = 0, h = 0;
    pictureSize(0, 0, false, false, w, h);
    EXPECT_EQ(w, 160);
    EXPECT_EQ(h, 160);
    // 500 x 400 window, 2-pixel edges: 496 x 332 available.
    EXPECT_EQ(pictureRect(500, 400, 2, 2, w, h), (PixelRect{84, 2, 416, 334}));

    pictureSize(320, 360, true, true, w, h);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(pictureRect(500, 400, 2, 2, w, h), (PixelRect{28, 2, 470, 334}));
    pictureSize(320, 240, false, true, w, h);
    EXPECT_EQ(h, 240);
    // Wide and short: height limits.
    EXPECT_EQ(pictureRect(1000, 304, 0, 0, 160, 160), (PixelRect{380, 0, 620, 240}));
    // No room at all gives an empty rectangle.
    EXPECT_EQ(pictureRect(10, 60, 2, 2, 160, 160).width(), 0);
}

TEST(PlayerTitle, WithAndWithoutAMovie) {
    EXPECT_EQ(playerTitle(""), "Quillreel Player for Windows");
    EXPECT_EQ(playerTitle("/tmp/a.pdb"), "Quillreel Player for Windows - [/tmp/a.pdb]");
}

} // namespace
} // namespace quil
