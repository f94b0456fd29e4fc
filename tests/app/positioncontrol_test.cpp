// zorvPositionControl as a widget: its children, signals and text.
#include "encoder/app/positioncontrol.h"

#include "dialogtestkit.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace {
std::vector<int> codes(const QSignalSpy& spy) {
    std::vector<int> out;
    for (const auto& args : spy) {
        out.push_back(args.at(0).toInt());
    }
    return out;
}
} // namespace

TEST(PositionControlWidget, ChildrenSitWhereTheLayoutPutsThem) {
    EnsureDialogApp();
    zorvPositionControl control(0);
    control.show(); // size changes reach a shown widget
    control.resize(400, 56);
    for (int id = 505; id <= 510; ++id) {
        ASSERT_NE(control.button(id), nullptr);
        EXPECT_EQ(control.button(id)->geometry(), QRect((id - 505) * 24, 32, 24, 24));
    }
    for (int id : {502, 503, 504, 511, 512, 513, 514}) {
        EXPECT_EQ(control.button(id), nullptr) << id;
    }
    const auto* text = control.findChild<QLabel*>("text501");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->geometry(), QRect(200, 34, 200, 18));
    control.resize(700, 60);
    EXPECT_EQ(text->geometry(), QRect(200, 38, 320, 18));
    EXPECT_EQ(control.trackBar()->geometry(), QRect(0, 0, 700, 36));

    zorvPositionControl full(kPositionStartButtons | kPositionMarkButtons | kPositionToggleButtons);
    full.show();
    full.resize(800, 56);
    EXPECT_EQ(full.button(505)->x(), 80);
    EXPECT_EQ(full.button(514)->x(), 304);
    control.setRangeEnd(1000);
    control.setTimePerFrame(40000);
    control.setPosition(250);
    full.setRangeEnd(1000);
    full.setPosition(500);
    EXPECT_TRUE(SaveDialogScreenshot(full, "positioncontrol.png"));
    EXPECT_TRUE(SaveDialogScreenshot(control, "positioncontrol-plain.png"));
}

TEST(PositionControlWidget, ButtonsAndTogglesSendTheirCodes) {
    EnsureDialogApp();
    zorvPositionControl control(kPositionToggleButtons | kPositionStartButtons);
    QSignalSpy spy(&control, &zorvPositionControl::commandNotice);
    for (int id : {502, 503, 504, 505, 506, 507, 508, 509, 510}) {
        control.button(id)->click();
    }
    EXPECT_EQ(codes(spy), (std::vector<int>{0, 1, 10, 4, 5, 6, 7, 8, 9}));
    spy.clear();

    control.button(512)->click();
    EXPECT_TRUE(control.button(512)->isChecked());
    control.button(511)->click(); // unchecks 512
    EXPECT_TRUE(control.button(511)->isChecked());
    EXPECT_FALSE(control.button(512)->isChecked());
    control.button(511)->click();
    EXPECT_FALSE(control.button(511)->isChecked());
    EXPECT_EQ(codes(spy), (std::vector<int>{12, 11, 13}));
    control.button(512)->click();
    control.uncheckToggles();
    EXPECT_FALSE(control.button(512)->isChecked());
}

TEST(PositionControlWidget, DraggingTheThumbSendsStartMovesEndAndSet) {
    EnsureDialogApp();
    zorvPositionControl control(0);
    control.setRangeEnd(100);
    control.setTimePerFrame(40000);
    QSignalSpy spy(&control, &zorvPositionControl::trackBarNotice);
    QSlider* track = control.trackBar();
    track->setSliderDown(true);
    for (int p : {10, 20, 30}) {
        track->setSliderPosition(p);
    }
    track->setSliderDown(false);
    EXPECT_EQ(codes(spy), (std::vector<int>{4, 0, 0, 0, 5, 1}));
    EXPECT_EQ(control.position(), 30);
    EXPECT_EQ(control.text(), " Frame 30 (0:00:01.200)");

    spy.clear();
    track->triggerAction(QAbstractSlider::SliderPageStepAdd);
    track->triggerAction(QAbstractSlider::SliderPageStepSub);
    track->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(codes(spy), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(control.text(), " Frame 31 (0:00:01.240)");
}

TEST(PositionControlWidget, TextFollowsTimeFreezeAndMarks) {
    EnsureDialogApp();
    zorvPositionControl control(0);
    control.setRangeEnd(200000);
    control.setPosition(12);
    EXPECT_EQ(control.text(), " Frame 12");
    control.setTimePerFrame(40000);
    control.setPosition(90000);
    EXPECT_EQ(control.text(), " Frame 90000 (1:00:00.000)");

    control.setTextFrozen(true);
    control.trackBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(control.text(), " Frame 90000 (1:00:00.000)");
    control.showFrameText(1500);
    EXPECT_EQ(control.text(), " Frame 1500 (0:01:00.000)");
    EXPECT_EQ(control.position(), 90001);

    control.setMarkCallback(
        [](void*, uint32_t data, long frame) -> char { return frame % 2 ? char(data) : 0; }, 'K');
    control.showFrameText(7);
    EXPECT_EQ(control.text(), " Frame 7 (0:00:00.280) [K]");
    control.showFrameText(-1); // the current position
    EXPECT_EQ(control.text(), " Frame 90001 (1:00:00.040) [K]");
}
