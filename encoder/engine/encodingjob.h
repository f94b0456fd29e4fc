// The encoding job: turns the current settings into one movie database. The start
// procedure runs on the caller's (user-interface) thread: it checks the fields in a fixed
// order, turns MPEG or MP3 sound into a temporary WAV file, opens the sources to check the
// record limit and starts one worker thread. The worker opens the sources again, checks
// what they hold, creates the output file and runs the engine, whose reports (and the
// job's own warnings and errors, codes 3 and 4) reach the caller through the engine's
// ReportProgress. Temporary files are deleted when the job ends, on every path, and when
// it is stopped.
#pragma once

#include "encoder/engine/movieencoder.h"
#include "encoder/engine/params.h"
#include "encoder/engine/prompt.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// The main window's fields that a job reads (and that settings and batch tasks store).
struct JobFields {
    std::string source_file;  // video source
    std::string asource_file; // audio source
    std::string output_file;
    std::string dbname;
    std::string author;
    std::string title;
    std::string password;
    bool looping = false;
    bool holding = false;
    int32_t encodemode = 0;
};

// The MPEG preparation steps, replaceable so that the job's order can be tested alone.
struct MpegAudioTools {
    // 0 not an MPEG system stream, 1 MPEG-1, 2 MPEG-2; the file position is kept.
    std::function<int(FILE*)> probeVideo;
    // 0 when audio blocks were found and written to output.
    std::function<int(const std::string& input, const std::string& output)> extractAudio;
    // 0 on success.
    std::function<int(const std::string& input, const std::string& output)> decodeToWav;
};

// What the job needs from whoever runs it.
class JobHost {
public:
    virtual ~JobHost() = default;
    virtual Prompt& prompt() = 0;
    // A refusal of the start procedure: a message box, or a line in the error log when the
    // run is unattended.
    virtual void refuse(const std::string& caption, const std::string& text) = 0;
    virtual void setStatusLine(const std::string& text) = 0;
    virtual void setControlsEnabled(bool enabled) = 0;
    // The progress scale: 1500 with audio, 1200 without.
    virtual void setProgressRange(int maximum) = 0;
};

inline constexpr int kMaxRecords = 65535;

class EncodingJob {
public:
    EncodingJob(OrbanwickMovieEncoder& engine, JobHost& host, MpegAudioTools tools);
    ~EncodingJob(); // waits for the worker
    EncodingJob(const EncodingJob&) = delete;
    EncodingJob& operator=(const EncodingJob&) = delete;

    // The start procedure. fields.asource_file may be rewritten (modes 0 and 1). Returns true
    // when the worker thread was started.
    bool start(JobFields& fields, bool unattended, bool batchRunning);
    // Sets the engine's stop flag and deletes the temporary file.
    void requestStop();
    // Waits until the worker has ended (its clean-up included).
    void wait();
    // True from a successful start until the worker has ended.
    bool running() const { return m_running.load(); }
    // Closes the output file if it is still open; the completion handling calls it (while the
    // worker waits for the report) before it reopens the file to apply the password.
    void closeOutput();
    std::string temporaryFile() const;

    // Adjusts the paths to the mode, closes the sources and opens them again; on failure
    // closes them again and returns the text. videoOnly ignores the audio path.
    static const char* OpenSourcesForMode(OrbanwickMovieEncoder& engine, int mode,
                                          const std::string& videoPath,
                                          const std::string& audioPath, bool videoOnly);
    // The audio path the sources open for a mode: the decoded intermediate for MPEG and MP3.
    static std::string AdjustedAudioPath(int mode, const std::string& videoPath,
                                         const std::string& audioPath);

private:
    void worker(JobFields fields);
    void deleteTemporaryFile();
    void setTemporaryFile(const std::string& path);
    bool refuse(const std::string& caption, const std::string& text);

    OrbanwickMovieEncoder& m_engine;
    JobHost& m_host;
    MpegAudioTools m_tools;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    mutable std::mutex m_mutex; // guards m_tempFile and m_output
    std::string m_tempFile;
    FILE* m_output = nullptr;
};
