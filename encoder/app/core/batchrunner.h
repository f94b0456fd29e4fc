// The batch queue behind the "Batch Mode Encoder" dialog: the task file's entries, adding
// the current settings as a task, deleting one, and the runner that, once a second while
// it runs, starts the first task when the encoder is idle and returns to idle when the
// queue is empty. A task leaves the file when it is started.
#pragma once

#include "encoder/app/core/settings.h"
#include "encoder/engine/params.h"

#include <ctime>
#include <functional>
#include <string>
#include <vector>

// What the runner needs from the main window.
class BatchJobControl {
public:
    virtual ~BatchJobControl() = default;
    // The main window's fields as they stand, and loading a task's fields into it.
    virtual MainWindowFields windowFields() = 0;
    virtual void setWindowFields(const MainWindowFields& fields) = 0;
    // The engine's parameters.
    virtual EncodingParameters& parameters() = 0;
    // The start-job operation (no overwrite question, no completion dialog while the batch
    // flag is set) and the stop-job operation (nothing when idle).
    virtual void startJob() = 0;
    virtual void stopJob() = 0;
    virtual bool jobInProgress() = 0;
    virtual void refreshStatusLines() = 0;
    // The application's batch-run flag.
    virtual bool batchRunning() = 0;
    virtual void setBatchRunning(bool running) = 0;
};

class BatchRunner {
public:
    using Clock = std::function<std::tm()>;
    // taskFile is the path of "batch_tasks.txt"; now gives the local time stamped into new
    // tasks. Loads the list.
    BatchRunner(BatchJobControl& host, std::string taskFile, Clock now = {});

    const std::vector<std::string>& entries() const { return m_entries; }
    void reload();
    // Appends the current fields and parameters as a task and reloads. False when the file
    // cannot be written.
    bool addTask();
    // Removes entry index and rewrites the file; an index outside the list does nothing.
    void deleteTask(int index);

    // "&Encode All Now" starts the runner, "&Stop Encoding" stops it and the current job.
    void toggleRun();
    // The window was closed while the runner ran: the timer ends and the batch flag is
    // cleared, so the current job finishes as an ordinary one; the rest stays queued.
    void closing();
    bool timerActive() const { return m_timerActive; }
    const char* runButtonText() const;
    // Add, Delete and Close.
    bool editButtonsEnabled() const;

    enum class Tick { Waiting, Finished, Started, Blocked };
    // One timer tick.
    Tick tick();

private:
    void stopRunning(bool stopJob);
    bool rewrite();

    BatchJobControl& m_host;
    std::string m_taskFile;
    Clock m_now;
    std::vector<std::string> m_entries;
    bool m_timerActive = false;
};
