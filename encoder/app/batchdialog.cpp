#include "encoder/app/batchdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

BatchDialog::BatchDialog(BatchJobControl& host, const std::string& taskFile, QWidget* parent)
    : QDialog(parent), m_runner(host, taskFile) {
    setObjectName("BatchDialog");
    setWindowTitle("Batch Mode Encoder");
    m_list = new QListWidget;
    m_list->setObjectName("tasks1059");
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_add = new QPushButton("&Add Task Based on Current Settings");
    m_add->setObjectName("add3");
    m_delete = new QPushButton("&Delete Task");
    m_delete->setObjectName("delete4");
    m_run = new QPushButton;
    m_run->setObjectName("run1");
    m_close = new QPushButton("&Close");
    m_close->setObjectName("close2");
    m_close->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_delete);
    buttons->addStretch();
    buttons->addWidget(m_run);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Tasks Currently Queued for Batch Processing:"));
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    resize(720, 320);

    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &BatchDialog::tick);
    connect(m_add, &QPushButton::clicked, this, [this] {
        m_runner.addTask();
        reloadList();
    });
    connect(m_delete, &QPushButton::clicked, this, [this] {
        if (m_list->currentRow() >= 0 && !m_list->selectedItems().isEmpty()) {
            m_runner.deleteTask(m_list->currentRow());
            reloadList();
        }
    });
    connect(m_run, &QPushButton::clicked, this, [this] {
        m_runner.toggleRun();
        syncButtons();
    });
    connect(m_close, &QPushButton::clicked, this, &BatchDialog::reject);
    reloadList();
    syncButtons();
}

void BatchDialog::reloadList() {
    m_list->clear();
    for (const std::string& entry : m_runner.entries()) {
        m_list->addItem(QString::fromStdString(entry));
    }
}

void BatchDialog::syncButtons() {
    m_run->setText(m_runner.runButtonText());
    const bool idle = m_runner.editButtonsEnabled();
    m_add->setEnabled(idle);
    m_delete->setEnabled(idle);
    m_close->setEnabled(idle);
    if (m_runner.timerActive() && !m_timer.isActive()) {
        m_timer.start();
    } else if (!m_runner.timerActive()) {
        m_timer.stop();
    }
}

void BatchDialog::tick() {
    if (m_runner.tick() == BatchRunner::Tick::Started) {
        reloadList();
    }
    syncButtons();
}

void BatchDialog::reject() {
    m_runner.closing();
    m_timer.stop();
    done(0);
}
