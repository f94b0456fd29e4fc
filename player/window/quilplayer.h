// The player's main window: menu, the picture area (sunken edge, black surround, the frame
// scaled to fit with nearest-neighbour pixels) and the position control along the bottom.
// Playback runs on this thread: a 30 ms precise timer ticks the engine, a 100 ms timer moves
// the position control along.
#pragma once

#include "player/core/session.h"
#include "player/window/qtaudiodevice.h"
#include "player/window/qtprompt.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <memory>

namespace quil {

class VeskPositionControl;

class QuilAnimation final : public QWidget {
    Q_OBJECT
public:
    explicit QuilAnimation(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QTimer m_timer;
    int m_step = 0;
};

class QuilPlayer final : public QMainWindow {
    Q_OBJECT
public:
    explicit QuilPlayer(QWidget* parent = nullptr);
    ~QuilPlayer() override;

    // The open command without the file dialog.
    bool openFile(const QString& path);
    PlayerSession& session() { return *m_session; }
    VeskPositionControl* positionControl() const { return m_control; }
    // Where the frame is drawn, in the picture widget's coordinates.
    QRect pictureRect() const;
    QWidget* pictureWidget() const { return m_picture; }

public slots:
    void openCommand();
    void aboutCommand();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class SystemClock final : public PlaybackClock {
    public:
        SystemClock() { m_timer.start(); }
        uint32_t nowMs() override { return uint32_t(m_timer.elapsed()); }

    private:
        QElapsedTimer m_timer;
    };

    QtPrompt m_prompt;
    QtAudioDevice m_device;
    AudioOutputQueue m_audio{m_device};
    SystemClock m_clock;
    QWidget* m_central = nullptr;
    QWidget* m_picture = nullptr;
    VeskPositionControl* m_control = nullptr;
    std::unique_ptr<PlayerSession> m_session;
    QTimer m_tick;
    QTimer m_positionTimer;
    QString m_lastFolder;

    void layoutChildren();
    void paintPicture();
    void step(int delta);
};

} // namespace quil
