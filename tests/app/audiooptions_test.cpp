// The audio options and completion dialogs as widgets.
#include "encoder/app/audiooptionsdialog.h"
#include "encoder/app/completiondialog.h"

#include "dialogtestkit.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstring>

#include <gtest/gtest.h>

TEST(AudioOptionsDialogWidget, OkWritesFlagsAndBoostCancelWritesNothing) {
    EnsureDialogApp();
    EncodingParameters p;
    p.bUseADPCM = true;
    p.nAudioBoostVal = 150;
    {
        AudioOptionsDialog dialog(p);
        EXPECT_EQ(dialog.windowTitle(), "Audio Options");
        EXPECT_TRUE(dialog.findChild<QCheckBox*>("adpcm1037")->isChecked());
        auto* boost = dialog.findChild<QLineEdit*>("boostValue1043");
        EXPECT_EQ(boost->text(), "150");
        dialog.findChild<QCheckBox*>("boost1039")->setChecked(true);
        boost->clear();
        QTest::keyClicks(boost, "25x0"); // digits only
        EXPECT_EQ(boost->text(), "250");
        EXPECT_TRUE(SaveDialogScreenshot(dialog, "audiooptions.png"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), 1);
    }
    EXPECT_TRUE(p.bAudioBoost);
    EXPECT_EQ(p.nAudioBoostVal, 250);
    EXPECT_TRUE(p.bUseADPCM);
    {
        AudioOptionsDialog dialog(p);
        dialog.findChild<QLineEdit*>("boostValue1043")->clear();
        dialog.findChild<QCheckBox*>("hifi1040")->setChecked(true);
        dialog.accept();
    }
    EXPECT_EQ(p.nAudioBoostVal, 250); // an empty field keeps the boost
    EXPECT_TRUE(p.bAudioHifi);
    {
        AudioOptionsDialog dialog(p);
        dialog.findChild<QCheckBox*>("hifi1040")->setChecked(false);
        dialog.reject();
        EXPECT_EQ(dialog.result(), 0);
    }
    EXPECT_TRUE(p.bAudioHifi);
}

TEST(CompletionDialogWidget, ShowsTheFinishedMovie) {
    EnsureDialogApp();
    CompletionRecord r;
    std::strcpy(r.dbname, "Été à Paris");
    r.fileSize = 2157000;
    r.frameCount = 643;
    r.frameRate = 10.0;
    r.meanQuality = 0.8765;
    CompletionDialog dialog(r, kEncodeVideoWithAudio);
    EXPECT_EQ(dialog.windowTitle(), "Quillreel Encoding Complete");
    EXPECT_EQ(dialog.valueText(1016), "Été à Paris");
    EXPECT_EQ(dialog.valueText(1017), "2106K");
    EXPECT_EQ(dialog.valueText(1018), "1:04.30");
    EXPECT_EQ(dialog.valueText(1019), "10.00 fps");
    EXPECT_EQ(dialog.valueText(1020), "87.65%");
    EXPECT_TRUE(SaveDialogScreenshot(dialog, "completion.png"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), 0);

    r.frameCount = 95;
    CompletionDialog audio(r, kEncodeAudioOnly);
    EXPECT_EQ(audio.valueText(1018), "09.50 sec.");
    EXPECT_EQ(audio.valueText(1019), "--");
    EXPECT_EQ(audio.valueText(1020), "--");
}
