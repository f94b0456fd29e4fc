// The resolution and quality dialog as a widget: lists, presets, track bar and OK/Cancel.
#include "encoder/app/resolutiondialog.h"

#include "../engine/fakesources.h"
#include "dialogtestkit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

namespace {
struct ResolutionDialogTest : ::testing::Test {
    OrbanwickMovieEncoder engine;
    InfoOnlyVideoSource video;
    MainWindowFields fields;

    void SetUp() override {
        EnsureDialogApp();
        video.info = {25, 1, 750, 320, 240};
        engine.SetSourceLists({&video}, {});
        fields.source_file = DialogTestSourceFile();
        fields.encodemode = kEncodeVideoWithAudio;
        engine.nScreenWidth = 160;
        engine.nScreenHeight = 160;
        engine.nBytesTarget = 2000;
        engine.nMaxFrameRate = 0;
    }
    template <typename T> static T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
};
} // namespace

TEST_F(ResolutionDialogTest, ListsTrackBarAndLinesShowTheParameters) {
    ResolutionDialog dialog(engine, fields, {});
    auto* screen = child<QComboBox>(dialog, "screenSize1049");
    EXPECT_EQ(screen->count(), 4);
    EXPECT_EQ(screen->itemText(3), " Widescreen NR70 216x384 *");
    EXPECT_EQ(child<QComboBox>(dialog, "colorMode1045")->itemText(4), " Truecolor Plus");
    EXPECT_EQ(child<QComboBox>(dialog, "seekPoints1050")->itemText(5),
              " Min (up to every 60 seconds)");
    auto* presets = child<QComboBox>(dialog, "presets1047");
    EXPECT_EQ(presets->count(), 10);
    EXPECT_EQ(presets->itemText(0), " ( Select to Load Sample Settings ) ");
    auto* track = child<QSlider>(dialog, "dataRate1023");
    EXPECT_EQ(track->minimum(), 5);
    EXPECT_EQ(track->maximum(), 30);
    EXPECT_EQ(track->value(), 20);
    EXPECT_EQ(child<QLabel>(dialog, "target1026")->text().toStdString(),
              "Target 2000 bytes per frame - very high quality");
    EXPECT_TRUE(child<QRadioButton>(dialog, "automatic1024")->isChecked());
    EXPECT_EQ(child<QRadioButton>(dialog, "automatic1024")->text(),
              "&Automatic. (Current source is 25 fps)");
    EXPECT_TRUE(child<QLabel>(dialog, "estimate1027")->text().startsWith("Estimated file size: "));

    screen->setCurrentIndex(2);
    emit screen->activated(2);
    EXPECT_EQ(track->maximum(), 65);
    EXPECT_EQ(engine.nScreenHeight, 320);
    track->setValue(50);
    EXPECT_EQ(child<QLabel>(dialog, "target1026")->text().toStdString(),
              "Target 5000 bytes per frame - high quality");
    child<QCheckBox>(dialog, "compress1048")->click();
    EXPECT_FALSE(track->isEnabled());
    EXPECT_TRUE(SaveDialogScreenshot(dialog, "resolution.png"));
}

TEST_F(ResolutionDialogTest, PresetWritesAtOnceAndOkWritesTheRest) {
    ResolutionDialog dialog(engine, fields, {});
    auto* presets = child<QComboBox>(dialog, "presets1047");
    presets->setCurrentIndex(9);
    emit presets->activated(9);
    EXPECT_EQ(presets->currentIndex(), 0);
    EXPECT_EQ(engine.nScreenWidth, 320);
    EXPECT_EQ(engine.nMaxFrameRate, 24);
    EXPECT_EQ(child<QSlider>(dialog, "dataRate1023")->value(), 40);
    EXPECT_TRUE(child<QRadioButton>(dialog, "manual1025")->isChecked());
    EXPECT_EQ(child<QLineEdit>(dialog, "rate1013")->text(), "24");
    EXPECT_EQ(child<QComboBox>(dialog, "colorMode1045")->currentIndex(), 4);

    auto* rate = child<QLineEdit>(dialog, "rate1013");
    rate->clear();
    QTest::keyClicks(rate, "12");
    EXPECT_EQ(child<QLabel>(dialog, "rateLine1058")->text(), "Rate:  12 fps ");
    child<QSlider>(dialog, "dataRate1023")->setValue(60);
    dialog.accept();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(engine.nMaxFrameRate, 12);
    EXPECT_EQ(engine.nBytesTarget, 6000);
    EXPECT_EQ(engine.nBytesCeiling, 9000);
    EXPECT_FALSE(video.IsOpen());
}

TEST_F(ResolutionDialogTest, CancelKeepsTrackBarUnwritten) {
    ResolutionDialog dialog(engine, fields, {});
    child<QSlider>(dialog, "dataRate1023")->setValue(7);
    auto* seek = child<QComboBox>(dialog, "seekPoints1050");
    seek->setCurrentIndex(3);
    emit seek->activated(3);
    dialog.reject();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(engine.nBytesTarget, 2000);
    EXPECT_EQ(engine.nKeyFrameInterval, 20);
}
