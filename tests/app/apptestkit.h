// What the window tests share: a QApplication on the offscreen platform, a prompt that
// records every message, a temporary folder, and a window on an engine whose only video
// candidate is a painted in-memory source (a moving colour ramp).
#pragma once

#include "encoder/app/encodergui.h"
#include "encoder/app/mainwindow.h"
#include "tests/engine/fakesources.h"

#include <gtest/gtest.h>

#include <QString>

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct RecordedMessage {
    std::string kind; // "message", "okcancel" or "password"
    std::string caption;
    std::string text;
    PromptIcon icon = PromptIcon::Information;
};

class RecordingPrompt : public Prompt {
  public:
    std::vector<RecordedMessage> messages;
    bool okAnswer = true;

    void showMessage(const std::string& caption, const std::string& text,
                     PromptIcon icon) override {
        messages.push_back({"message", caption, text, icon});
    }
    bool askOkCancel(const std::string& caption, const std::string& text,
                     PromptIcon icon) override {
        messages.push_back({"okcancel", caption, text, icon});
        return okAnswer;
    }
    std::optional<std::string> askPassword(const std::string& caption, const std::string& text,
                                           int) override {
        messages.push_back({"password", caption, text, PromptIcon::Information});
        return std::nullopt;
    }
};

class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

  private:
    std::filesystem::path m_path;
};

// The painted source, opened again by every job.
class ReopenedPaintedSource : public PaintedVideoSource {
  public:
    int Open(const char*) override {
        open = true;
        return kVideoOk;
    }
};

// Closes every modal dialog as soon as it is shown, keeping its object name and, for the
// completion dialog, its five values.
class DialogCloser {
  public:
    DialogCloser();
    ~DialogCloser();
    std::vector<std::string> closed;
    std::vector<std::string> completionValues;

  private:
    std::unique_ptr<class QTimer> m_timer;
};

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A window over the settings in dir (a new one replaces the old, which is closed first).
    QuilVideoEncoder& openWindow(const std::string& commandLine = {});
    void closeWindow();
    // A job of frameCount painted frames in video-only mode, written to output.
    void prepareVideoOnlyJob(int frameCount);
    // Starts the job and waits until the window is idle and the worker has ended.
    void runJob();
    std::string statusLine();
    template <class T> T* child(const char* name) { return window->findChild<T*>(name); }

    TempDir dir;
    RecordingPrompt prompt;
    DialogCloser dialogs;
    OrbanwickMovieEncoderGUI engine;
    ReopenedPaintedSource video;
    std::unique_ptr<QuilVideoEncoder> window;
    std::string sourcePath, outputPath;
    int64_t tick = 0;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
