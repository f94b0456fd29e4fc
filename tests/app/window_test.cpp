// The main window on the offscreen platform: first run, the source fields per encode mode,
// the status lines, the notices, and jobs from start to end with a painted source.
#include "tests/app/apptestkit.h"

#include "encoder/app/previewpane.h"
#include "moviedb/moviedbreader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <fstream>

namespace {

std::string text(QLineEdit* e) {
    return e->text().toStdString();
}
std::string text(QPushButton* b) {
    return b->text().toStdString();
}

// Runs f on the window's thread while the worker waits, as a notice would.
template <class F> void onWindowThread(QObject* window, F f) {
    QMetaObject::invokeMethod(window, f, Qt::BlockingQueuedConnection);
}

} // namespace

TEST_F(WindowTest, FirstRunHasEmptyFieldsUnnamedMovieModeZeroAndEngineDefaults) {
    openWindow();
    EXPECT_EQ(window->windowTitle().toStdString(), "Quillreel Encoder");
    for (const char* name : {"videoSourceEdit", "audioSourceEdit", "outputEdit", "authorEdit",
                             "titleEdit", "passwordEdit"}) {
        EXPECT_EQ(text(child<QLineEdit>(name)), "") << name;
    }
    EXPECT_EQ(text(child<QLineEdit>("palmNameEdit")), "Unnamed movie");
    EXPECT_FALSE(child<QCheckBox>("loopingCheck")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("holdingCheck")->isChecked());
    auto* mode = child<QComboBox>("encodeModeList");
    ASSERT_EQ(mode->count(), 4);
    EXPECT_EQ(mode->currentIndex(), 0);
    EXPECT_EQ(mode->itemText(3).toStdString(), " AUDIO-only file (no video)");
    EXPECT_EQ(engine.nBytesCeiling, 8000);
    EXPECT_EQ(engine.nBytesTarget, 4000);
    EXPECT_EQ(engine.nBytesFloor, 2000);
    EXPECT_EQ(engine.nMaxFrameRate, 15);
    EXPECT_EQ(engine.nScreenWidth, 320);
    EXPECT_EQ(engine.nScreenHeight, 240);
    EXPECT_EQ(engine.nColorDepth, 25);
    EXPECT_EQ(engine.nAudioBoostVal, 150);
    EXPECT_EQ(text(child<QPushButton>("encodeButton")), "&Encode Now");
    EXPECT_EQ(child<QProgressBar>("progressBar")->maximum(), 1200);
    EXPECT_FALSE(child<QProgressBar>("progressBar")->isEnabled());
}

TEST_F(WindowTest, EncodeModeShowsItsSourceFields) {
    struct Case {
        int mode;
        bool video, audio;
    };
    const Case cases[] = {{0, true, false}, {1, true, true}, {2, true, false}, {3, false, true}};
    openWindow();
    auto* list = child<QComboBox>("encodeModeList");
    for (const Case& c : cases) {
        list->setCurrentIndex(c.mode);
        for (const char* name : {"videoSourceEdit", "videoBrowseButton", "videoSourceLabel"}) {
            EXPECT_EQ(child<QWidget>(name)->isVisible(), c.video) << name << " mode " << c.mode;
        }
        for (const char* name : {"audioSourceEdit", "audioBrowseButton", "audioSourceLabel"}) {
            EXPECT_EQ(child<QWidget>(name)->isVisible(), c.audio) << name << " mode " << c.mode;
        }
    }
}

TEST_F(WindowTest, CroppingButtonInAudioOnlyModeWarnsAndOpensNothing) {
    openWindow();
    child<QComboBox>("encodeModeList")->setCurrentIndex(3);
    child<QPushButton>("videoOptionsButton")->click();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].caption, "Video Options");
    EXPECT_EQ(prompt.messages[0].text,
              "Current encode mode is Audio-Only.  Please select a valid video mode.");
    EXPECT_EQ(prompt.messages[0].icon, PromptIcon::Warning);
}

TEST_F(WindowTest, StatusLinesShowTheSettings) {
    struct Case {
        int start, end;
        double crop;
        bool hifi, adpcm, boost;
        const char* video;
        const char* audio;
    };
    const Case cases[] = {
        {0, 0, 0.0, false, false, false, "  VIDEO:  All Frames,  100% zoom",
         "  AUDIO:  Standard,  Uncompressed,  100%"},
        {12, 0, 0.255, true, false, true, "  VIDEO:  Frames 12 to End,  75% zoom",
         "  AUDIO:  Hi-fi,  Uncompressed,  150%"},
        {3, 90, 1.0, false, true, false, "  VIDEO:  Frames 3 to 90,  0% zoom",
         "  AUDIO:  Standard,  AD-PCM,  100%"},
    };
    openWindow();
    for (const Case& c : cases) {
        engine.nFrameStart = c.start;
        engine.nFrameEnd = c.end;
        engine.rCropFactor = c.crop;
        engine.bAudioHifi = c.hifi;
        engine.bUseADPCM = c.adpcm;
        engine.bAudioBoost = c.boost;
        window->refreshStatusLines();
        EXPECT_EQ(text(child<QPushButton>("videoOptionsButton")), c.video);
        EXPECT_EQ(text(child<QPushButton>("audioOptionsButton")), c.audio);
    }
    engine.nScreenWidth = 160;
    engine.nScreenHeight = 160;
    engine.nMaxFrameRate = 10;
    engine.nBytesTarget = 1800;
    window->refreshStatusLines();
    EXPECT_EQ(text(child<QPushButton>("formatButton")), "  FORMAT:  160x160,  10fps,  1800bpf");
}

TEST_F(WindowTest, NoticesSetStatusLineProgressAndTitle) {
    struct Case {
        int mode, code;
        intptr_t v1, v2;
        const char* status;
        int progress;
        const char* title; // null: unchanged
    };
    const Case cases[] = {
        {0, 7, (5734 << 16) | 1234, (10 << 16) | 3, " Encoded frame 3/10 (1234 bytes /  57.3%)",
         500, "3/10 Video Frames Encoded (1234 bytes /  57.3%)"},
        {2, 7, (10000 << 16) | 99, (10 << 16) | 10, " Encoded frame 10/10 (99 bytes / 100.0%)",
         1500, "10/10 Video Frames Encoded (99 bytes / 100.0%)"},
        {0, 6, 0, (100 << 16) | 50, " Analyzing frame 50/100 for color optimization", 100,
         "50/100 Colors Analyzed"},
        {0, 6, 0, 0, " Translating colors", 200, nullptr},
        {0, 5, 7, 7, " Encoded 7/7 audio blocks", 1500, "7/7 Audio Blocks Added"},
        {3, 5, 1, 3, " Encoded 1/3 audio blocks", 500, "1/3 Audio Blocks Added"},
    };
    openWindow();
    auto* bar = child<QProgressBar>("progressBar");
    for (const Case& c : cases) {
        child<QComboBox>("encodeModeList")->setCurrentIndex(c.mode);
        bar->setRange(0, 1500);
        window->setWindowTitle("before");
        window->handleNotice(c.code, c.v1, c.v2);
        EXPECT_EQ(statusLine(), c.status);
        EXPECT_EQ(bar->value(), c.progress) << c.status;
        EXPECT_EQ(window->windowTitle().toStdString(), c.title ? c.title : "before") << c.status;
    }
}

TEST_F(WindowTest, CompleteJobWritesTheMovieAndShowsItsStatistics) {
    openWindow();
    prepareVideoOnlyJob(6);
    runJob();
    EXPECT_EQ(statusLine(), "Encoding process complete.");
    auto* bar = child<QProgressBar>("progressBar");
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(bar->maximum(), 1500);
    EXPECT_EQ(text(child<QPushButton>("encodeButton")), "&Encode Now");
    EXPECT_TRUE(child<QLineEdit>("outputEdit")->isEnabled());

    quil::MovieDbReader reader;
    ASSERT_EQ(reader.open(outputPath), quil::MovieDbError::Ok);
    EXPECT_EQ(reader.header().name, "Clip");
    EXPECT_EQ(reader.count(), 1 + 5); // header record and frames 0-4 (the last is exclusive)

    EXPECT_TRUE(prompt.messages.empty());
    ASSERT_EQ(dialogs.closed, std::vector<std::string>{"CompletionDialog"});
    EXPECT_EQ(dialogs.completionValues[0], "Clip");
    EXPECT_EQ(dialogs.completionValues[2], "00.33 sec.");
    EXPECT_EQ(dialogs.completionValues[3], "15.00 fps");
}

TEST_F(WindowTest, UnattendedRunStartsByItselfAndShowsNoDialog) {
    openWindow("quillreel-encoder /r");
    prepareVideoOnlyJob(4);
    window->showForStartup();
    EXPECT_TRUE(window->isMinimized());
    QDeadlineTimer deadline(20000);
    while (statusLine() != "Encoding process complete." && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    window->waitForWorker();
    EXPECT_EQ(statusLine(), "Encoding process complete.");
    EXPECT_TRUE(dialogs.closed.empty());
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_FALSE(std::filesystem::exists(dir.file("error.log")));
}

TEST_F(WindowTest, PasswordIsAppliedWhenTheJobCompletes) {
    openWindow();
    prepareVideoOnlyJob(4);
    child<QLineEdit>("passwordEdit")->setText("secret");
    runJob();
    quil::MovieDbReader reader;
    ASSERT_EQ(reader.open(outputPath), quil::MovieDbError::Ok);
    EXPECT_EQ(reader.header().type, quil::kDbTypeProtectedMovie);
}

TEST_F(WindowTest, WhileAJobRunsInputsAreDisabledAndBothPanesShowTheFrame) {
    openWindow();
    prepareVideoOnlyJob(8);
    std::vector<std::string> enabled;
    bool stopText = false, panesDrawn = false;
    int pass2Fetches = 0;
    video.onFrame = [&](int frame) {
        // Truecolor analyses the first frame only; the second fetch of frame 3 is in pass 2.
        if (frame == 3 && ++pass2Fetches == 1) {
            onWindowThread(window.get(), [&] {
                for (QWidget* w : window->findChildren<QWidget*>()) {
                    if (w->isEnabled() && !w->objectName().isEmpty() &&
                        (qobject_cast<QLineEdit*>(w) || qobject_cast<QPushButton*>(w) ||
                         qobject_cast<QCheckBox*>(w) || qobject_cast<QComboBox*>(w))) {
                        enabled.push_back(w->objectName().toStdString());
                    }
                }
                stopText = text(child<QPushButton>("encodeButton")) == "Stop Encoding";
                panesDrawn = !child<PreviewPane>("sourcePane")->picture().image.isNull() &&
                             !child<PreviewPane>("compressedPane")->picture().image.isNull();
                QDir().mkpath(QUIL_ARTEFACT_DIR);
                window->grab().save(QString(QUIL_ARTEFACT_DIR) + "/encoder-main.png");
            });
        }
    };
    runJob();
    std::sort(enabled.begin(), enabled.end());
    EXPECT_EQ(enabled, (std::vector<std::string>{"aboutButton", "encodeButton", "helpButton"}));
    EXPECT_TRUE(stopText);
    EXPECT_TRUE(panesDrawn);
}

TEST_F(WindowTest, StopDuringAJobReportsItAndEnablesTheControls) {
    openWindow();
    prepareVideoOnlyJob(30);
    video.onFrame = [&](int frame) {
        if (frame == 5) {
            onWindowThread(window.get(), [&] { child<QPushButton>("encodeButton")->click(); });
        }
    };
    runJob();
    EXPECT_EQ(statusLine(), "Encoding process stopped.");
    EXPECT_EQ(window->windowTitle().toStdString(), "Quillreel Encoder");
    EXPECT_EQ(text(child<QPushButton>("encodeButton")), "&Encode Now");
    EXPECT_TRUE(child<QComboBox>("encodeModeList")->isEnabled());
    EXPECT_FALSE(engine.stopRequested());
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(WindowTest, ClosingDuringAJobStopsItAndSavesTheSettings) {
    openWindow();
    prepareVideoOnlyJob(30);
    video.onFrame = [&](int frame) {
        if (frame == 3) {
            QMetaObject::invokeMethod(
                window.get(), [&] { window->close(); }, Qt::QueuedConnection);
        }
    };
    window->startJob();
    QDeadlineTimer deadline(20000);
    while (window->isVisible() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_FALSE(window->isVisible());
    window->waitForWorker();
    EXPECT_LT(video.fetched.size(), 30u); // a full run fetches frame 0 and then all 29
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_TRUE(
        std::filesystem::exists(dir.file("config/Orbanwick Software/Quillreel/v1.0/dbname")));
}

TEST_F(WindowTest, ErrorNoticeShowsTheSourceTextAndEnablesTheControls) {
    openWindow();
    prepareVideoOnlyJob(10);
    video.failFrom = 4;
    runJob();
    const std::string expected = video.GetErrorText(kVideoReadError);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].caption, "Quillreel Encoder Error");
    EXPECT_EQ(prompt.messages[0].text, expected);
    EXPECT_EQ(prompt.messages[0].icon, PromptIcon::Error);
    EXPECT_EQ(statusLine(), expected);
    EXPECT_TRUE(child<QPushButton>("batchButton")->isEnabled());
}

TEST_F(WindowTest, CancelAtTheOverwriteQuestionEndsTheStart) {
    openWindow();
    prepareVideoOnlyJob(4);
    std::ofstream(outputPath) << "keep me";
    prompt.okAnswer = false;
    runJob();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].kind, "okcancel");
    EXPECT_EQ(prompt.messages[0].caption, "Quillreel Encoder Warning");
    EXPECT_EQ(prompt.messages[0].text, "Overwrite existing file?");
    EXPECT_TRUE(video.fetched.empty());
    EXPECT_EQ(ReadFileBytes(outputPath).size(), 7u);
    EXPECT_TRUE(child<QLineEdit>("outputEdit")->isEnabled());
}

TEST_F(WindowTest, ChoosingAVideoSourceDerivesTheOutputAndResetsTheRange) {
    struct Case {
        const char* chosen;
        const char* output;
    };
    const Case cases[] = {{"/home/me/clip.avi", "/home/me/clip.pdb"},
                          {"/home/me/clips.old/movie", "/home/me/clips.old/movie.pdb"}};
    openWindow();
    for (const Case& c : cases) {
        engine.nFrameStart = 5;
        engine.nFrameEnd = 50;
        BrowseRequest seen;
        window->setFileChooser([&](const BrowseRequest& r) {
            seen = r;
            return QString(c.chosen);
        });
        child<QPushButton>("videoBrowseButton")->click();
        EXPECT_EQ(seen.title.toStdString(), "Select source video file");
        EXPECT_TRUE(seen.filter.startsWith("All supported (*.avi, *.mov, *.mpg, *.mpeg) ("));
        EXPECT_EQ(text(child<QLineEdit>("videoSourceEdit")), c.chosen);
        EXPECT_EQ(text(child<QLineEdit>("outputEdit")), c.output);
        EXPECT_EQ(engine.nFrameStart, 0);
        EXPECT_EQ(engine.nFrameEnd, 0);
        EXPECT_EQ(text(child<QPushButton>("videoOptionsButton")),
                  "  VIDEO:  All Frames,  100% zoom");
    }
    window->setFileChooser([](const BrowseRequest&) { return QString(); });
    child<QPushButton>("videoBrowseButton")->click();
    EXPECT_EQ(text(child<QLineEdit>("videoSourceEdit")), "/home/me/clips.old/movie");
}

TEST_F(WindowTest, DroppedFileBecomesTheVideoSourceWithItsSizeEstimate) {
    openWindow();
    video.info.length = 150;
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(sourcePath))});
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject*>(window.get())->event(&drop);
    EXPECT_EQ(text(child<QLineEdit>("videoSourceEdit")), sourcePath);
    EXPECT_EQ(text(child<QLineEdit>("outputEdit")), outputPath);
    // 149 frames at 15 fps: one key frame of 320 x 240 / 4 + 768 bytes, 148 of 4000 bytes.
    child<QComboBox>("encodeModeList")->setCurrentIndex(2);
    EXPECT_EQ(child<QLabel>("sizeEstimate")->text().toStdString(),
              "Estimated file size: 598K  (149 frames at 15 fps, Duration: 0:09 )");
}

TEST_F(WindowTest, HelpAndAboutWork) {
    openWindow();
    child<QPushButton>("helpButton")->click();
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].caption, "Source Files");
    EXPECT_EQ(prompt.messages[0].text.rfind("Enter the video and/or audio source files", 0), 0u);
    EXPECT_NE(prompt.messages[0].text.find("separate WAV or MP3 format file."), std::string::npos);
}
