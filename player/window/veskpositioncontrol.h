// The player's position control: a slider over the movie's positions, a sunken label with
// the position as frame number and time, and three buttons (go to start, stop, play).
// Buttons emit command() with 4, 0 and 1; slider moves emit notify() with the codes the
// playback engine takes (0 dragging, 1 other move, 2/3 page back/forward, 4 drag started,
// 5 drag ended).
#pragma once

#include "player/core/session.h"

#include <QWidget>
#include <functional>

class QLabel;
class QSlider;
class QToolButton;

namespace quil {

class VeskPositionControl final : public QWidget, public PositionControlModel {
    Q_OBJECT
public:
    using LabelCallback = std::function<char(int position, void* data)>;

    explicit VeskPositionControl(QWidget* parent = nullptr);

    void setRangeMinimum(int minimum);
    void setRangeMaximum(int maximum);
    int position() const override;
    void setPosition(int position) override;
    int selectionStart() const { return m_selectionStart; }
    int selectionEnd() const { return m_selectionEnd; }
    void setSelectionStart(int position) { m_selectionStart = position; }
    void setSelectionEnd(int position) { m_selectionEnd = position; }
    void clearSelection() { m_selectionStart = m_selectionEnd = -1; }
    void setUnitDuration(int32_t microseconds) override;
    void setLabelCallback(LabelCallback callback, void* data);
    void setLabelFrozen(bool frozen) { m_labelFrozen = frozen; }
    void refreshLabel(int position);

    void setRange(int minimum, int maximum) override {
        setRangeMinimum(minimum);
        setRangeMaximum(maximum);
    }

    QString labelText() const;
    QSlider* slider() const { return m_slider; }

signals:
    void command(int code);
    void notify(int code);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QSlider* m_slider;
    QLabel* m_label;
    QToolButton* m_buttons[3];
    int32_t m_unitDuration = 0;
    LabelCallback m_callback;
    void* m_callbackData = nullptr;
    bool m_tracking = false;
    bool m_labelFrozen = false;
    int m_selectionStart = -1;
    int m_selectionEnd = -1;

    void send(int code);
};

} // namespace quil
