#include "encoder/app/mainwindow.h"

#include "encoder/app/aboutbox.h"
#include "encoder/app/audiooptionsdialog.h"
#include "encoder/app/batchdialog.h"
#include "encoder/app/completiondialog.h"
#include "encoder/app/core/choices.h"
#include "encoder/app/core/cmdline.h"
#include "encoder/app/core/filefilters.h"
#include "encoder/app/core/outputname.h"
#include "encoder/app/core/statuslines.h"
#include "encoder/app/encodergui.h"
#include "encoder/app/previewpane.h"
#include "encoder/app/resolutiondialog.h"
#include "encoder/app/videooptionsdialog.h"
#include "encoder/engine/playbackpassword.h"
#include "moviedb/muldiv.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>

namespace {

constexpr const char* kCaptionWarning = "Quillreel Encoder Warning";
constexpr const char* kCaptionError = "Quillreel Encoder Error";

constexpr std::array<const char*, 4> kEncodeModeItems = {
    " VIDEO with AUDIO from one source file",
    " VIDEO with AUDIO from separate files",
    " VIDEO-only file (no sound)",
    " AUDIO-only file (no video)",
};

constexpr const char* kHelpText =
    "Enter the video and/or audio source files you'll be converting.\n"
    "If creating a video file with sound, be sure to specify both an video\n"
    "and audio source.\n\n"
    "Video/Audio files may be in Quicktime (MOV), AVI, or MPEG-1 format.  Quicktime\n"
    "must be installed for MPEG-1 support.  MPEG-2 and MPEG-4 are not supported\n"
    "due to licensing restrictions and fees for using those technologies.\n\n"
    "Audio may also be specified as a separate WAV or MP3 format file.";

constexpr int kTextFieldLimit = 360;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
std::string ss(const QString& s) {
    return s.toStdString();
}

QString format(const char* fmt, auto... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return QString::fromLatin1(buf);
}

QString defaultChooser(QWidget* parent, const BrowseRequest& r) {
    QFileDialog dialog(parent, r.title, r.initialPath, r.filter);
    dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(r.defaultSuffix);
    // The job asks the overwrite question itself.
    dialog.setOptions(QFileDialog::HideNameFilterDetails | QFileDialog::DontConfirmOverwrite);
    if (!r.initialPath.isEmpty()) {
        dialog.selectFile(r.initialPath);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

} // namespace

QString QuilVideoEncoder::QtFilter(const std::vector<FileFilterEntry>& entries) {
    // Qt reads the patterns from the last bracket pair, which the dialog hides, so the
    // description is shown exactly as it stands.
    QStringList out;
    for (const FileFilterEntry& e : entries) {
        QString patterns = qs(e.patterns).replace(';', ' ');
        if (patterns == "*.*") {
            patterns = "*";
        }
        out << qs(e.description) + " (" + patterns + ")";
    }
    return out.join(";;");
}

QuilVideoEncoder::QuilVideoEncoder(OrbanwickMovieEncoderGUI& engine, Prompt& prompt,
                                   EncoderWindowOptions options, QWidget* parent)
    : QWidget(parent), m_engine(engine), m_prompt(prompt), m_options(std::move(options)),
      m_store(m_options.settingsRoot), m_job(engine, *this, m_options.tools),
      m_sourcePreview(size_t(OrbanwickMovieEncoder::kFrameBufferBytes)),
      m_compressedPreview(size_t(OrbanwickMovieEncoder::kFrameBufferBytes)) {
    m_chooser = [this](const BrowseRequest& r) { return defaultChooser(this, r); };
    setWindowTitle(kProgramTitle);
    setAcceptDrops(true);
    buildControls();

    m_palmName->setText("Unnamed movie");
    m_progress->setRange(0, 1200);
    m_engine.setWindow(this);
    loadStoredSettings();
    applyPresetSwitch();
    setWindowIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    refreshStatusLines();
    updateSourceVisibility();
    setControlsEnabled(true);
    m_engine.SetPreviewBuffers(m_sourcePreview.data(), m_compressedPreview.data());
    updateSizeEstimate();
}

QuilVideoEncoder::~QuilVideoEncoder() {
    finishWorker();
    SaveNumericSettings(m_store, m_engine, m_encodeMode->currentIndex());
    if (m_engine.window() == this) {
        m_engine.setWindow(nullptr);
    }
    m_engine.SetPreviewBuffers(nullptr, nullptr);
}

void QuilVideoEncoder::buildControls() {
    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaxLength(kTextFieldLimit);
        return e;
    };
    auto button = [this](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setObjectName(name);
        return b;
    };
    auto label = [this](const char* name, const char* text) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setObjectName(name);
        return l;
    };

    m_encodeMode = new QComboBox(this);
    m_encodeMode->setObjectName("encodeModeList");
    for (const char* item : kEncodeModeItems) {
        m_encodeMode->addItem(QString::fromLatin1(item));
    }
    m_videoSource = edit("videoSourceEdit");
    m_videoBrowse = button("videoBrowseButton", "...");
    m_videoLabel = label("videoSourceLabel", "Video source:");
    m_audioSource = edit("audioSourceEdit");
    m_audioBrowse = button("audioBrowseButton", "...");
    m_audioLabel = label("audioSourceLabel", "Audio source:");
    m_output = edit("outputEdit");
    m_outputBrowse = button("outputBrowseButton", "...");
    m_palmName = edit("palmNameEdit");
    m_author = edit("authorEdit");
    m_title = edit("titleEdit");
    m_password = edit("passwordEdit");
    m_password->setEchoMode(QLineEdit::Password);
    m_looping = new QCheckBox("Loops on playback", this);
    m_looping->setObjectName("loopingCheck");
    m_holding = new QCheckBox("Waits for tap after play", this);
    m_holding->setObjectName("holdingCheck");
    m_formatButton = button("formatButton", "  &Resolution and quality...");
    m_videoButton = button("videoOptionsButton", "  &Video cropping and editing...");
    m_audioButton = button("audioOptionsButton", "  &Audio scaling and compression...");
    for (QPushButton* b : {m_formatButton, m_videoButton, m_audioButton}) {
        b->setStyleSheet("text-align: left; padding: 4px;");
    }
    m_encodeButton = button("encodeButton", "&Encode Now");
    m_encodeButton->setDefault(true);
    m_batchButton = button("batchButton", "&Batch...");
    m_helpButton = button("helpButton", "&Help");
    m_aboutButton = button("aboutButton", "&About...");
    m_sourcePane = new PreviewPane(this);
    m_sourcePane->setObjectName("sourcePane");
    m_compressedPane = new PreviewPane(this);
    m_compressedPane->setObjectName("compressedPane");
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("progressBar");
    m_progress->setTextVisible(false);
    m_statusLine = label("statusLine", "");
    m_statusLine->setMinimumWidth(200);
    m_sizeEstimate = label("sizeEstimate", "");

    auto* files = new QGroupBox("Files", this);
    auto* fg = new QGridLayout(files);
    fg->addWidget(new QLabel("Create a...", files), 0, 0);
    fg->addWidget(m_encodeMode, 0, 1, 1, 2);
    fg->addWidget(m_videoLabel, 1, 0);
    fg->addWidget(m_videoSource, 1, 1);
    fg->addWidget(m_videoBrowse, 1, 2);
    fg->addWidget(m_audioLabel, 2, 0);
    fg->addWidget(m_audioSource, 2, 1);
    fg->addWidget(m_audioBrowse, 2, 2);
    fg->addWidget(new QLabel("Output file (PDB)", files), 3, 0);
    fg->addWidget(m_output, 3, 1);
    fg->addWidget(m_outputBrowse, 3, 2);
    fg->addWidget(m_sizeEstimate, 4, 1, 1, 2);
    for (QPushButton* b : {m_videoBrowse, m_audioBrowse, m_outputBrowse}) {
        b->setFixedWidth(32);
    }

    auto* movie = new QGroupBox("Movie", this);
    auto* mg = new QGridLayout(movie);
    mg->addWidget(new QLabel("Palm file name", movie), 0, 0);
    mg->addWidget(m_palmName, 0, 1);
    mg->addWidget(new QLabel("Author (optional)", movie), 1, 0);
    mg->addWidget(m_author, 1, 1);
    mg->addWidget(new QLabel("Title (optional)", movie), 2, 0);
    mg->addWidget(m_title, 2, 1);
    mg->addWidget(new QLabel("Password to play (optional):", movie), 3, 0);
    mg->addWidget(m_password, 3, 1);
    auto* checks = new QHBoxLayout;
    checks->addWidget(m_looping);
    checks->addWidget(m_holding);
    checks->addStretch();
    mg->addLayout(checks, 4, 0, 1, 2);

    auto* settings = new QGroupBox("Settings", this);
    auto* sv = new QVBoxLayout(settings);
    sv->addWidget(m_formatButton);
    sv->addWidget(m_videoButton);
    sv->addWidget(m_audioButton);

    auto* panes = new QGridLayout;
    panes->addWidget(m_sourcePane, 0, 0);
    panes->addWidget(m_compressedPane, 0, 1);
    auto* sourceCaption = new QLabel("Source video", this);
    auto* compressedCaption = new QLabel("Compressed video", this);
    sourceCaption->setAlignment(Qt::AlignCenter);
    compressedCaption->setAlignment(Qt::AlignCenter);
    panes->addWidget(sourceCaption, 1, 0);
    panes->addWidget(compressedCaption, 1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_encodeButton);
    buttons->addWidget(m_batchButton);
    buttons->addStretch();
    buttons->addWidget(m_helpButton);
    buttons->addWidget(m_aboutButton);

    auto* left = new QVBoxLayout;
    left->addWidget(files);
    left->addWidget(movie);
    left->addWidget(settings);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addLayout(panes);
    right->addWidget(m_progress);
    right->addWidget(m_statusLine);
    right->addStretch();
    auto* top = new QHBoxLayout;
    top->addLayout(left, 3);
    top->addLayout(right, 4);
    auto* root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addLayout(buttons);

    connect(m_encodeButton, &QPushButton::clicked, this, [this] {
        if (m_inProgress) {
            stopJob();
        } else {
            startJob();
        }
    });
    connect(m_formatButton, &QPushButton::clicked, this, [this] {
        runResolutionDialog();
        redrawPanes();
        refreshStatusLines();
        updateSizeEstimate();
    });
    connect(m_videoButton, &QPushButton::clicked, this, &QuilVideoEncoder::onVideoOptions);
    connect(m_audioButton, &QPushButton::clicked, this, [this] {
        runAudioOptionsDialog();
        refreshStatusLines();
    });
    connect(m_aboutButton, &QPushButton::clicked, this, &QuilVideoEncoder::showAbout);
    connect(m_videoBrowse, &QPushButton::clicked, this, &QuilVideoEncoder::browseVideo);
    connect(m_audioBrowse, &QPushButton::clicked, this, &QuilVideoEncoder::browseAudio);
    connect(m_outputBrowse, &QPushButton::clicked, this, &QuilVideoEncoder::browseOutput);
    connect(m_helpButton, &QPushButton::clicked, this, &QuilVideoEncoder::showHelp);
    connect(m_batchButton, &QPushButton::clicked, this, &QuilVideoEncoder::runBatchDialog);
    // Every notification of the list recomputes the visibility, a change of selection too.
    connect(m_encodeMode, &QComboBox::currentIndexChanged, this, [this] {
        updateSourceVisibility();
        updateSizeEstimate();
    });
    connect(m_encodeMode, &QComboBox::activated, this, &QuilVideoEncoder::updateSourceVisibility);
    connect(m_encodeMode, &QComboBox::highlighted, this, &QuilVideoEncoder::updateSourceVisibility);
}

void QuilVideoEncoder::loadStoredSettings() {
    MainWindowFields f = fields();
    LoadSettings(m_store, m_engine, f);
    // A stored mode outside the list leaves it without a selection.
    const QSignalBlocker block(m_encodeMode);
    m_encodeMode->setCurrentIndex(f.encodemode >= 0 && f.encodemode < 4 ? int(f.encodemode) : -1);
    setFields(f);
}

void QuilVideoEncoder::applyPresetSwitch() {
    const PresetSwitch p = ParsePresetSwitch(m_options.commandLine);
    if (p.source) {
        m_videoSource->setText(qs(*p.source));
        m_audioSource->setText(qs(*p.source));
    }
    if (p.output) {
        m_output->setText(qs(*p.output));
    }
    if (p.name) {
        m_palmName->setText(qs(*p.name));
        m_title->setText(qs(*p.name));
    }
}

void QuilVideoEncoder::showForStartup() {
    if (HasUnattendedSwitch(m_options.commandLine)) {
        m_unattended = true;
        QTimer::singleShot(1000, this, [this] {
            if (!m_inProgress) {
                startJob();
            }
        });
        showMinimized();
    } else {
        show();
    }
}

MainWindowFields QuilVideoEncoder::fields() const {
    MainWindowFields f;
    f.source_file = ss(m_videoSource->text());
    f.asource_file = ss(m_audioSource->text());
    f.output_file = ss(m_output->text());
    f.dbname = ss(m_palmName->text());
    f.author = ss(m_author->text());
    f.title = ss(m_title->text());
    f.password = ss(m_password->text());
    f.looping = m_looping->isChecked();
    f.holding = m_holding->isChecked();
    f.encodemode = m_encodeMode->currentIndex();
    return f;
}

void QuilVideoEncoder::setFields(const MainWindowFields& f) {
    m_videoSource->setText(qs(f.source_file));
    m_audioSource->setText(qs(f.asource_file));
    m_output->setText(qs(f.output_file));
    m_palmName->setText(qs(f.dbname));
    m_author->setText(qs(f.author));
    m_title->setText(qs(f.title));
    m_password->setText(qs(f.password));
    m_looping->setChecked(f.looping);
    m_holding->setChecked(f.holding);
    if (f.encodemode >= 0 && f.encodemode < 4) {
        m_encodeMode->setCurrentIndex(int(f.encodemode));
    }
}

void QuilVideoEncoder::updateSourceVisibility() {
    const int mode = m_encodeMode->currentIndex();
    if (mode < 0 || mode > 3) {
        return;
    }
    const bool video = mode != kEncodeAudioOnly;
    const bool audio = mode == kEncodeVideoSeparateAudio || mode == kEncodeAudioOnly;
    for (QWidget* w : std::initializer_list<QWidget*>{m_videoSource, m_videoBrowse, m_videoLabel}) {
        w->setVisible(video);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{m_audioSource, m_audioBrowse, m_audioLabel}) {
        w->setVisible(audio);
    }
}

void QuilVideoEncoder::refreshStatusLines() {
    m_formatButton->setText(qs(FormatStatusLine(m_engine)));
    m_videoButton->setText(qs(VideoStatusLine(m_engine)));
    m_audioButton->setText(qs(AudioStatusLine(m_engine)));
}

void QuilVideoEncoder::updateSizeEstimate() {
    // Opening the sources would disturb a running job.
    if (m_inProgress || m_job.running()) {
        return;
    }
    const int mode = m_encodeMode->currentIndex();
    const std::string video = ss(m_videoSource->text());
    if (mode == kEncodeAudioOnly || video.empty()) {
        m_sizeEstimate->clear();
        return;
    }
    const MainWindowFields f = fields();
    // Without its sound (an MPEG track not yet decoded, say) the estimate still counts the frames.
    const bool opened =
        !EncodingJob::OpenSourcesForMode(m_engine, mode, f.source_file, f.asource_file, false) ||
        !EncodingJob::OpenSourcesForMode(m_engine, mode, f.source_file, f.asource_file, true);
    if (!opened || !m_engine.HasVideo()) {
        m_engine.CloseSources();
        m_sizeEstimate->clear();
        return;
    }
    FramePlan plan;
    double step = 0;
    int first = m_engine.nFrameStart, end = m_engine.nFrameEnd;
    m_engine.ComputeFrameRange(m_engine.nMaxFrameRate, &plan.fps, &plan.frames, &step,
                               &plan.audioRecords, nullptr, &first, &end);
    m_engine.CloseSources();
    m_sizeEstimate->setText(qs(SizeEstimateLine(m_engine, plan)));
}

void QuilVideoEncoder::setStatusLine(const std::string& text) {
    m_statusLine->setText(qs(text));
}

void QuilVideoEncoder::setControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_batchButton, m_encodeMode, m_videoSource, m_audioSource, m_videoBrowse,
             m_audioBrowse, m_output, m_outputBrowse, m_palmName, m_author, m_title, m_password,
             m_formatButton, m_audioButton, m_videoButton, m_looping, m_holding}) {
        w->setEnabled(enabled);
    }
    m_encodeButton->setText(enabled ? "&Encode Now" : "Stop Encoding");
    m_progress->setEnabled(!enabled);
    m_inProgress = !enabled;
    if (enabled) {
        m_engine.ClearStop();
        if (m_closeAfterJob) {
            m_closeAfterJob = false;
            QTimer::singleShot(0, this, &QWidget::close);
        }
    }
}

void QuilVideoEncoder::setProgressRange(int maximum) {
    // Video-only positions run to 1500, so the bar must reach that far.
    if (m_encodeMode->currentIndex() == kEncodeVideoOnly) {
        maximum = 1500;
    }
    m_progress->setRange(0, maximum);
}

void QuilVideoEncoder::refuse(const std::string& caption, const std::string& text) {
    if (m_unattended) {
        logMessage(text);
    } else {
        m_prompt.showMessage(caption, text, PromptIcon::Warning);
    }
}

void QuilVideoEncoder::showJobMessage(const char* caption, const std::string& text,
                                      PromptIcon icon) {
    if (m_unattended) {
        logMessage(text);
    } else {
        m_prompt.showMessage(caption, text, icon);
    }
}

void QuilVideoEncoder::quitIfRequested() {
    if (HasQuitSwitch(m_options.commandLine)) {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

void QuilVideoEncoder::logMessage(const std::string& text) {
    const std::string& path = m_options.errorLogPath;
    FILE* f = std::fopen(path.c_str(), "r+");
    if (!f) {
        f = std::fopen(path.c_str(), "w");
    }
    if (f) {
        std::fseek(f, 0, SEEK_END);
        const std::string who =
            m_options.commandLine.empty() ? ss(m_videoSource->text()) : m_options.commandLine;
        std::fprintf(f, "%s: %s\n", who.c_str(), text.c_str());
        std::fclose(f);
    }
    quitIfRequested();
}

void QuilVideoEncoder::startJob() {
    if (m_inProgress) {
        return;
    }
    MainWindowFields f = fields();
    if (f.encodemode == kEncodeAudioOnly) {
        // The audio blocks alone run from 0 to 1500.
        m_progress->setRange(0, 1500);
    }
    m_job.start(f, m_unattended, m_batchRunning);
    if (m_audioSource->text() != qs(f.asource_file)) {
        m_audioSource->setText(qs(f.asource_file));
    }
}

EncodingParameters& QuilVideoEncoder::parameters() {
    return m_engine;
}

void QuilVideoEncoder::stopJob() {
    if (!m_inProgress) {
        return;
    }
    m_job.requestStop();
    setWindowTitle(kProgramTitle);
}

void QuilVideoEncoder::handleNotice(int code, intptr_t value1, intptr_t value2) {
    struct Depth {
        int& n;
        explicit Depth(int& d) : n(d) { ++n; }
        ~Depth() { --n; }
    } depth(m_noticeDepth);
    if (m_closing) {
        // The window is going away: finish the file, show nothing.
        if (code == kProgressComplete) {
            m_job.closeOutput();
            const MainWindowFields f = fields();
            (void)ApplyPlaybackPassword(f.output_file, f.password, f.encodemode);
        }
        return;
    }
    const auto low = [](intptr_t v) { return int32_t(uint32_t(v) & 0xFFFFu); };
    const auto high = [](intptr_t v) { return int32_t((uint32_t(v) >> 16) & 0xFFFFu); };
    const int mode = m_encodeMode->currentIndex();
    switch (code) {
    case kProgressEncoding: {
        const int32_t frame = low(value2), count = high(value2);
        const int32_t bytes = low(value1);
        const double quality = high(value1) / 100.0;
        m_statusLine->setText(format(" Encoded frame %ld/%ld (%ld bytes / %5.1lf%%)", long(frame),
                                     long(count), long(bytes), quality));
        redrawPanes();
        m_progress->setValue(200 +
                             quil::MulDiv(frame, mode == kEncodeVideoOnly ? 1300 : 1000, count));
        setWindowTitle(format("%d/%d Video Frames Encoded (%d bytes / %5.1lf%%)", int(frame),
                              int(count), int(bytes), quality));
        break;
    }
    case kProgressAnalysis:
        if (value2 != 0) {
            const int32_t frame = low(value2), count = high(value2);
            m_statusLine->setText(format(" Analyzing frame %ld/%ld for color optimization",
                                         long(frame), long(count)));
            m_progress->setValue(quil::MulDiv(frame, 200, count));
            setWindowTitle(format("%d/%d Colors Analyzed", int(frame), int(count)));
        } else {
            m_statusLine->setText(" Translating colors");
            m_progress->setValue(200);
        }
        break;
    case kProgressComplete:
        onJobComplete(reinterpret_cast<const CompletionRecord*>(value2));
        break;
    case kProgressStopped:
        m_statusLine->setText("Encoding process stopped.");
        // A frame notice may have arrived after Stop reset the title.
        setWindowTitle(kProgramTitle);
        setControlsEnabled(true);
        break;
    case kProgressWarning: {
        const std::string text = value2 ? reinterpret_cast<const char*>(value2) : "";
        m_statusLine->setText(qs(text));
        showJobMessage(kCaptionWarning, text, PromptIcon::Warning);
        break;
    }
    case kProgressFailed: {
        const std::string text = value2 ? reinterpret_cast<const char*>(value2) : "";
        m_statusLine->setText(qs(text));
        showJobMessage(kCaptionError, text, PromptIcon::Error);
        setControlsEnabled(true);
        break;
    }
    case kProgressAudio: {
        const int32_t done = int32_t(value1), count = int32_t(value2);
        m_statusLine->setText(format(" Encoded %d/%d audio blocks", int(done), int(count)));
        m_progress->setValue(mode == kEncodeAudioOnly ? quil::MulDiv(done, 1500, count)
                                                      : 1200 + quil::MulDiv(done, 300, count));
        setWindowTitle(format("%d/%d Audio Blocks Added", int(done), int(count)));
        break;
    }
    default: // kProgressStreamDone needs nothing
        break;
    }
}

void QuilVideoEncoder::onJobComplete(const CompletionRecord* record) {
    m_job.closeOutput();
    const MainWindowFields f = fields();
    const std::string error = ApplyPlaybackPassword(f.output_file, f.password, f.encodemode);
    if (!error.empty()) {
        showJobMessage(kCaptionError, error, PromptIcon::Error);
    }
    quitIfRequested();
    m_statusLine->setText("Encoding process complete.");
    // Nobody is there to close a dialog in a batch or an unattended run.
    if (!m_batchRunning && !m_unattended && record) {
        runCompletionDialog(*record);
    }
    setControlsEnabled(true);
}

void QuilVideoEncoder::redrawPanes() {
    const PreviewBitmapInfo& info = *m_engine.GetPreviewBitmapInfo();
    m_sourcePane->setPicture(
        RenderPanePicture(m_sourcePreview.data(), m_engine, info, m_sourcePane->size()));
    m_compressedPane->setPicture(
        RenderPanePicture(m_compressedPreview.data(), m_engine, info, m_compressedPane->size()));
}

void QuilVideoEncoder::setVideoSource(const QString& path) {
    m_videoSource->setText(path);
    m_output->setText(qs(DeriveOutputName(ss(path))));
    m_engine.nFrameStart = 0;
    m_engine.nFrameEnd = 0;
    refreshStatusLines();
    updateSizeEstimate();
}

void QuilVideoEncoder::setFileChooser(std::function<QString(const BrowseRequest&)> chooser) {
    m_chooser = std::move(chooser);
}

void QuilVideoEncoder::browseVideo() {
    const QString path =
        m_chooser({false, "Select source video file", m_videoSource->text(),
                   QtFilter(VideoFileFilter(m_options.haveAvs, m_options.haveVdr)), "avi"});
    if (!path.isEmpty()) {
        setVideoSource(path);
    }
}

void QuilVideoEncoder::browseAudio() {
    const QString path =
        m_chooser({false, "Select source audio file", m_videoSource->text(),
                   QtFilter(AudioFileFilter(m_options.haveAvs, m_options.haveVdr)), "avi"});
    if (!path.isEmpty()) {
        m_audioSource->setText(path);
    }
}

void QuilVideoEncoder::browseOutput() {
    const QString path = m_chooser(
        {true, "Select output video file", m_output->text(), QtFilter(OutputFileFilter()), "pdb"});
    if (!path.isEmpty()) {
        m_output->setText(path);
    }
}

void QuilVideoEncoder::onVideoOptions() {
    if (m_encodeMode->currentIndex() == kEncodeAudioOnly) {
        m_prompt.showMessage(
            "Video Options",
            "Current encode mode is Audio-Only.  Please select a valid video mode.",
            PromptIcon::Warning);
        return;
    }
    runVideoOptionsDialog();
    redrawPanes();
    refreshStatusLines();
    updateSizeEstimate();
}

void QuilVideoEncoder::showHelp() {
    m_prompt.showMessage("Source Files", kHelpText, PromptIcon::Information);
}

void QuilVideoEncoder::showAbout() {
    AboutBox box(this);
    box.exec();
}

void QuilVideoEncoder::runResolutionDialog() {
    ResolutionDialog dialog(m_engine, fields(),
                            {m_sourcePreview.data(), m_compressedPreview.data()}, this);
    dialog.exec();
}

void QuilVideoEncoder::runVideoOptionsDialog() {
    VideoOptionsDialog dialog(m_engine, fields(), this);
    dialog.exec();
}

void QuilVideoEncoder::runAudioOptionsDialog() {
    AudioOptionsDialog dialog(m_engine, this);
    dialog.exec();
}

void QuilVideoEncoder::runBatchDialog() {
    BatchDialog dialog(*this, m_options.batchFilePath, this);
    dialog.exec();
}

void QuilVideoEncoder::runCompletionDialog(const CompletionRecord& record) {
    CompletionDialog dialog(record, m_encodeMode->currentIndex(), this);
    dialog.exec();
}

void QuilVideoEncoder::waitForWorker() {
    while (m_job.running()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    m_job.wait();
}

void QuilVideoEncoder::finishWorker() {
    if (!m_job.running()) {
        m_job.wait();
        return;
    }
    // The worker may be waiting for this window to take a notice: keep taking them until it
    // has ended, showing nothing.
    m_closing = true;
    m_job.requestStop();
    waitForWorker();
}

void QuilVideoEncoder::closeEvent(QCloseEvent* event) {
    if (m_noticeDepth > 0) {
        // The worker is waiting for the notice being handled (a message box is open, say):
        // stop the job and close once it has ended.
        m_job.requestStop();
        m_closeAfterJob = true;
        event->ignore();
        return;
    }
    finishWorker();
    MainWindowFields f = fields();
    SaveSettings(m_store, m_engine, f);
    event->accept();
}

void QuilVideoEncoder::dragEnterEvent(QDragEnterEvent* event) {
    if (!m_inProgress && event->mimeData()->hasUrls() && !event->mimeData()->urls().isEmpty() &&
        event->mimeData()->urls().front().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void QuilVideoEncoder::dropEvent(QDropEvent* event) {
    if (m_inProgress || !event->mimeData()->hasUrls() || event->mimeData()->urls().isEmpty()) {
        return;
    }
    const QUrl url = event->mimeData()->urls().front();
    if (url.isLocalFile()) {
        setVideoSource(url.toLocalFile());
        event->acceptProposedAction();
    }
}
