#include "encoder/app/encodergui.h"

#include "encoder/app/mainwindow.h"

#include <QMetaObject>
#include <QThread>

void OrbanwickMovieEncoderGUI::setWindow(QuilVideoEncoder* window) {
    std::lock_guard lock(m_mutex);
    m_window = window;
}

QuilVideoEncoder* OrbanwickMovieEncoderGUI::window() const {
    std::lock_guard lock(m_mutex);
    return m_window;
}

void OrbanwickMovieEncoderGUI::ReportProgress(int code, intptr_t value1, intptr_t value2) {
    QuilVideoEncoder* target = window();
    if (!target || code < 0 || code > 7) {
        return;
    }
    if (QThread::currentThread() == target->thread()) {
        target->handleNotice(code, value1, value2);
        return;
    }
    QMetaObject::invokeMethod(
        target, [target, code, value1, value2] { target->handleNotice(code, value1, value2); },
        Qt::BlockingQueuedConnection);
}
