// "Video Options" as a widget: the position control's range and time, the fields and
// buttons, and the preview it paints.
#include "encoder/app/videooptionsdialog.h"

#include "../engine/fakesources.h"
#include "dialogtestkit.h"
#include "encoder/app/positioncontrol.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

namespace {
struct VideoOptionsDialogTest : ::testing::Test {
    OrbanwickMovieEncoder engine;
    PaintedVideoSource video;
    MainWindowFields fields;

    void SetUp() override {
        EnsureDialogApp();
        video.info = {25, 1, 3000, 64, 48};
        // A test card: colour bars over a grey ramp, a white frame around it.
        video.paint = [](int frame, int x, int y) -> uint32_t {
            if (x < 2 || y < 2 || x >= 62 || y >= 46) {
                return 0xffffff;
            }
            if (y < 30) {
                static const uint32_t bars[8] = {0xc0c0c0, 0xc0c000, 0x00c0c0, 0x00c000,
                                                 0xc000c0, 0xc00000, 0x0000c0, 0x101010};
                return bars[x / 8];
            }
            const uint32_t g = uint32_t((x * 4 + frame) & 0xff);
            return g * 0x010101;
        };
        engine.SetSourceLists({&video}, {});
        fields.source_file = DialogTestSourceFile();
        fields.encodemode = kEncodeVideoOnly;
        engine.nScreenWidth = 320;
        engine.nScreenHeight = 240;
        engine.nFrameStart = 0;
        engine.nFrameEnd = 0;
    }
    template <typename T> static T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
};
} // namespace

TEST_F(VideoOptionsDialogTest, RangeTimeAndFieldsOfTheSource) {
    VideoOptionsDialog dialog(engine, fields);
    EXPECT_EQ(dialog.windowTitle(), "Video Options");
    zorvPositionControl* position = dialog.positionControl();
    EXPECT_EQ(position->trackBar()->minimum(), 0);
    EXPECT_EQ(position->trackBar()->maximum(), 2999);
    EXPECT_EQ(child<QLineEdit>(dialog, "first1055")->text(), "0");
    EXPECT_EQ(child<QLineEdit>(dialog, "last1056")->text(), "2999");
    EXPECT_EQ(position->button(502), nullptr); // no optional groups

    auto* last = child<QLineEdit>(dialog, "last1056");
    last->setText("1500");
    emit last->textEdited("1500");
    child<QPushButton>(dialog, "goLast1060")->click();
    EXPECT_EQ(position->position(), 1500);
    EXPECT_EQ(position->text(), " Frame 1500 (0:01:00.000)");
    EXPECT_EQ(video.fetched.back(), 1500);
    position->button(507)->click(); // next frame
    EXPECT_EQ(position->position(), 1501);
    child<QPushButton>(dialog, "setFirst1054")->click();
    EXPECT_EQ(child<QLineEdit>(dialog, "first1055")->text(), "1501");

    child<QSlider>(dialog, "brightness1051")->setValue(30);
    child<QSlider>(dialog, "contrast1052")->setValue(-10);
    child<QSlider>(dialog, "sizing1011")->setValue(64);
    EXPECT_DOUBLE_EQ(engine.rBrightness, 0.30);
    child<QPushButton>(dialog, "reset1053")->click();
    EXPECT_EQ(child<QSlider>(dialog, "brightness1051")->value(), 0);
    EXPECT_EQ(child<QSlider>(dialog, "contrast1052")->value(), 0);
    EXPECT_EQ(child<QSlider>(dialog, "sizing1011")->value(), 64);
    child<QCheckBox>(dialog, "flipHorizontally1049")->click();
    EXPECT_TRUE(engine.fFlipImageHorizontally);
    child<QSlider>(dialog, "brightness1051")->setValue(15);
    EXPECT_TRUE(SaveDialogScreenshot(dialog, "videooptions.png"));

    dialog.reject();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_DOUBLE_EQ(engine.rBrightness, 0.15); // kept by Cancel
    EXPECT_TRUE(engine.fFlipImageHorizontally);
    EXPECT_EQ(engine.nFrameStart, 0);
    EXPECT_DOUBLE_EQ(engine.rCropFactor, 0.0);
}

TEST_F(VideoOptionsDialogTest, OkStoresTheRangeAndSizing) {
    VideoOptionsDialog dialog(engine, fields);
    child<QSlider>(dialog, "sizing1011")->setValue(16);
    child<QPushButton>(dialog, "ok")->click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_DOUBLE_EQ(engine.rCropFactor, 0.25);
    EXPECT_EQ(engine.nFrameEnd, 0); // 2999 is the last frame: to the end
    EXPECT_FALSE(video.IsOpen());
}

TEST_F(VideoOptionsDialogTest, PaintedPreviewIsThePreviewBitmap) {
    VideoOptionsDialog dialog(engine, fields);
    const QImage image = dialog.previewImage();
    ASSERT_EQ(image.size(), QSize(160, 160));
    const VBitmap* bitmap = dialog.logic().preview();
    for (int y : {0, 25, 80, 159}) {
        for (int x : {0, 40, 159}) {
            EXPECT_EQ(image.pixel(x, y) & 0xffffff, bitmap->Row(159 - y)[x]) << x << "," << y;
        }
    }
    // 320 x 240 fills a 160 x 120 box: 20 rows of button face above it, black-free picture
    // inside it at sizing 0.
    EXPECT_EQ(image.pixel(80, 5), image.pixel(80, 155));
    EXPECT_EQ(image.pixel(80, 21) & 0xffffff, 0xffffffu);
}
