// QuilVideoEncoder: the encoder's main window. It collects the sources, the output file and
// the movie's texts, opens the option dialogs, starts and stops the encoding job and shows
// the engine's notices: the status line, the progress bar (0-200 colour analysis, 200-1200
// video frames, 1200-1500 audio blocks), the window title and the two preview panes.
//
// Notices arrive through OrbanwickMovieEncoderGUI on this window's thread while the worker
// waits, so the handlers may read the engine's preview buffers and close its output file.
// The input controls are disabled while a job runs because the job reads them when it starts.
#pragma once

#include "encoder/app/core/batchrunner.h"
#include "encoder/app/core/settings.h"
#include "encoder/app/core/settingsstore.h"
#include "encoder/engine/encodingjob.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class OrbanwickMovieEncoderGUI;
class PreviewPane;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
struct CompletionRecord;
struct FileFilterEntry;

struct EncoderWindowOptions {
    std::string commandLine;  // the whole command line, switches searched in it
    std::string settingsRoot; // empty: the user's configuration folder
    std::string errorLogPath = "error.log";
    std::string batchFilePath; // the batch queue's task file
    bool haveAvs = false;      // script handler available
    bool haveVdr = false;      // frame-server handler available
    MpegAudioTools tools;
};

// What a browse dialog asks for; the answer is the chosen path, or empty for Cancel.
struct BrowseRequest {
    bool save = false;
    QString title;
    QString initialPath;
    QString filter; // Qt filter string built from the entries
    QString defaultSuffix;
};

class QuilVideoEncoder : public QWidget, public JobHost, public BatchJobControl {
    Q_OBJECT
  public:
    static constexpr const char* kProgramTitle = "Quillreel Encoder";

    QuilVideoEncoder(OrbanwickMovieEncoderGUI& engine, Prompt& prompt, EncoderWindowOptions options,
                     QWidget* parent = nullptr);
    ~QuilVideoEncoder() override;

    // Start-up: with /r the window is shown minimised and the job starts one second later.
    void showForStartup();

    // One engine notice (progress code 0-7 and its two values).
    void handleNotice(int code, intptr_t value1, intptr_t value2);

    // The Encode Now action: validation and start of a job.
    void startJob() override;
    // The Stop Encoding action; nothing when idle.
    void stopJob() override;
    void refreshStatusLines() override;
    // The size of the movie the current video source would give, below the output file.
    void updateSizeEstimate();
    void redrawPanes();
    // A new video source, as browsing or dropping a file sets it.
    void setVideoSource(const QString& path);
    // Writes one "%s: %s\n" line to the error log; with /x the program then quits.
    void logMessage(const std::string& text);

    MainWindowFields fields() const;
    void setFields(const MainWindowFields& fields);
    bool jobInProgress() override { return m_inProgress; }
    bool unattended() const { return m_unattended; }
    void setBatchRunning(bool running) override { m_batchRunning = running; }
    bool batchRunning() override { return m_batchRunning; }
    // BatchJobControl
    MainWindowFields windowFields() override { return fields(); }
    void setWindowFields(const MainWindowFields& f) override { setFields(f); }
    EncodingParameters& parameters() override;
    // Processes events until the worker of the last job has ended.
    void waitForWorker();
    // Replaces the file dialogs (tests answer them).
    void setFileChooser(std::function<QString(const BrowseRequest&)> chooser);
    static QString QtFilter(const std::vector<FileFilterEntry>& entries);

    // JobHost
    Prompt& prompt() override { return m_prompt; }
    void refuse(const std::string& caption, const std::string& text) override;
    void setStatusLine(const std::string& text) override;
    void setControlsEnabled(bool enabled) override;
    void setProgressRange(int maximum) override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildControls();
    void loadStoredSettings();
    void applyPresetSwitch();
    void updateSourceVisibility();
    void showJobMessage(const char* caption, const std::string& text, PromptIcon icon);
    void quitIfRequested();
    void finishWorker();
    void onJobComplete(const CompletionRecord* record);

    void browseVideo();
    void browseAudio();
    void browseOutput();
    void onVideoOptions();
    void showHelp();
    void showAbout();

    // The option dialogs, one function each so that each is opened in one place.
    void runResolutionDialog();
    void runVideoOptionsDialog();
    void runAudioOptionsDialog();
    void runBatchDialog();
    void runCompletionDialog(const CompletionRecord& record);

    OrbanwickMovieEncoderGUI& m_engine;
    Prompt& m_prompt;
    EncoderWindowOptions m_options;
    SettingsStore m_store;
    EncodingJob m_job;
    std::function<QString(const BrowseRequest&)> m_chooser;
    std::vector<uint8_t> m_sourcePreview;
    std::vector<uint8_t> m_compressedPreview;

    bool m_inProgress = false;
    bool m_unattended = false;
    bool m_batchRunning = false;
    bool m_closing = false;       // closing while the worker ends: notices show nothing
    bool m_closeAfterJob = false; // a close asked for while a notice was being handled
    int m_noticeDepth = 0;

    QComboBox* m_encodeMode = nullptr;
    QLineEdit* m_videoSource = nullptr;
    QPushButton* m_videoBrowse = nullptr;
    QLabel* m_videoLabel = nullptr;
    QLineEdit* m_audioSource = nullptr;
    QPushButton* m_audioBrowse = nullptr;
    QLabel* m_audioLabel = nullptr;
    QLineEdit* m_output = nullptr;
    QPushButton* m_outputBrowse = nullptr;
    QLineEdit* m_palmName = nullptr;
    QLineEdit* m_author = nullptr;
    QLineEdit* m_title = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_looping = nullptr;
    QCheckBox* m_holding = nullptr;
    QPushButton* m_formatButton = nullptr;
    QPushButton* m_videoButton = nullptr;
    QPushButton* m_audioButton = nullptr;
    QPushButton* m_encodeButton = nullptr;
    QPushButton* m_batchButton = nullptr;
    QPushButton* m_helpButton = nullptr;
    QPushButton* m_aboutButton = nullptr;
    PreviewPane* m_sourcePane = nullptr;
    PreviewPane* m_compressedPane = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_statusLine = nullptr;
    QLabel* m_sizeEstimate = nullptr;
};
