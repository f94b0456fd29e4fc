// zorvPositionControl: a track bar for choosing a frame number, a row of 24 x 24 step
// buttons and a text with the frame number and its time. The owner sets the range and the
// time per frame and reacts to the notices: commandNotice(code) for the buttons,
// trackBarNotice(code) for movements of the track bar (codes in positioncontrollogic.h).
// The optional button groups are chosen by the style bits at construction.
#pragma once

#include "encoder/app/core/positioncontrollogic.h"

#include <QWidget>

#include <map>

class QAbstractButton;
class QLabel;
class QSlider;

class zorvPositionControl : public QWidget {
    Q_OBJECT
public:
    explicit zorvPositionControl(unsigned style = 0, QWidget* parent = nullptr);

    void setRangeStart(int first, bool redraw = true);
    void setRangeEnd(int last, bool redraw = true);
    int position() const;
    void setPosition(int position);
    int selectionStart() const;
    int selectionEnd() const;
    void setSelectionStart(int position, bool redraw = true);
    void setSelectionEnd(int position, bool redraw = true);
    void clearSelection(bool redraw = true);
    void setTimePerFrame(int32_t microseconds);
    void uncheckToggles();
    void setMarkCallback(PositionMarkCallback callback, uint32_t userData);
    // While frozen, moving the track bar leaves the text alone.
    void setTextFrozen(bool frozen);
    // Writes the text for frame (the current position when negative) without moving the bar.
    void showFrameText(long frame);

    QString text() const;
    QSlider* trackBar() const { return m_track; }
    // Child 502-514, or null when the style leaves it out.
    QAbstractButton* button(int id) const;

signals:
    void commandNotice(int code);
    void trackBarNotice(int code);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutChildren();
    void updateText(long frame = -1);
    void onScroll(TrackScroll what);
    void onButton(int id);

    PositionControlLogic m_logic;
    QSlider* m_track;
    QLabel* m_text;
    std::map<int, QAbstractButton*> m_buttons;
    int32_t m_usPerFrame = 0;
    PositionMarkCallback m_mark;
    uint32_t m_markData = 0;
    bool m_textFrozen = false;
    int m_selStart = -1, m_selEnd = -1;
};
