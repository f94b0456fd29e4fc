// "Batch Mode Encoder": shows the queued tasks of "batch_tasks.txt", adds the current
// settings as a task, deletes tasks and runs the queue with a one-second timer. The main
// window implements BatchJobControl (start job, stop job, in progress, status refresh, its
// fields, the engine's parameters and the batch-run flag); see core/batchrunner.h.
// exec() always returns 0.
#pragma once

#include "encoder/app/core/batchrunner.h"

#include <QDialog>
#include <QTimer>

class QListWidget;
class QPushButton;

class BatchDialog : public QDialog {
    Q_OBJECT
public:
    // taskFile: "batch_tasks.txt" in the folder that was current when the program started.
    BatchDialog(BatchJobControl& host, const std::string& taskFile, QWidget* parent = nullptr);

    BatchRunner& runner() { return m_runner; }
    QListWidget* list() const { return m_list; }
    QPushButton* runButton() const { return m_run; }
    QTimer& timer() { return m_timer; }
    // One timer tick, as the timer gives it.
    void tick();

public slots:
    void reject() override;

private:
    void reloadList();
    void syncButtons();

    BatchRunner m_runner;
    QListWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_delete;
    QPushButton* m_run;
    QPushButton* m_close;
    QTimer m_timer;
};
