#include "encoder/app/core/batchrunner.h"

#include "encoder/app/core/batchtasks.h"

namespace {
std::tm localNow() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}
} // namespace

BatchRunner::BatchRunner(BatchJobControl& host, std::string taskFile, Clock now)
    : m_host(host), m_taskFile(std::move(taskFile)), m_now(now ? std::move(now) : Clock(localNow)) {
    reload();
}

void BatchRunner::reload() { m_entries = ReadTaskFile(m_taskFile); }

bool BatchRunner::addTask() {
    const std::string line = FormatTaskLine(m_host.windowFields(), m_host.parameters(), m_now());
    const bool ok = AppendTaskLine(m_taskFile, line);
    reload();
    return ok;
}

void BatchRunner::deleteTask(int index) {
    if (index < 0 || size_t(index) >= m_entries.size()) {
        return;
    }
    m_entries.erase(m_entries.begin() + index);
    rewrite();
}

bool BatchRunner::rewrite() { return WriteTaskFile(m_taskFile, m_entries); }

void BatchRunner::stopRunning(bool stopJob) {
    m_timerActive = false;
    if (stopJob) {
        m_host.stopJob();
    }
    m_host.setBatchRunning(false);
}

void BatchRunner::toggleRun() {
    if (m_host.batchRunning()) {
        stopRunning(true);
    } else {
        m_host.setBatchRunning(true);
        m_timerActive = true;
    }
}

void BatchRunner::closing() {
    if (m_timerActive) {
        stopRunning(false);
    }
}

const char* BatchRunner::runButtonText() const {
    return m_timerActive ? "&Stop Encoding" : "&Encode All Now";
}

bool BatchRunner::editButtonsEnabled() const { return !m_timerActive; }

BatchRunner::Tick BatchRunner::tick() {
    if (!m_timerActive) {
        return Tick::Waiting;
    }
    if (m_host.jobInProgress()) {
        return Tick::Waiting;
    }
    if (m_entries.empty()) {
        stopRunning(true);
        return Tick::Finished;
    }
    MainWindowFields fields = m_host.windowFields();
    if (!ParseTaskLine(m_entries.front(), fields, m_host.parameters())) {
        return Tick::Blocked;
    }
    m_host.setWindowFields(fields);
    m_host.refreshStatusLines();
    m_entries.erase(m_entries.begin());
    m_host.startJob();
    rewrite();
    return Tick::Started;
}
