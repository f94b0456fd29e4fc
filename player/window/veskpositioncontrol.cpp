#include "player/window/veskpositioncontrol.h"

#include "player/core/layout.h"

#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

namespace quil {

VeskPositionControl::VeskPositionControl(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("VeskPositionControl"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setObjectName(QStringLiteral("positionSlider"));
    m_slider->setTickPosition(QSlider::TicksBelow);
    m_slider->setRange(0, 0);
    m_slider->setFocusPolicy(Qt::NoFocus);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("positionLabel"));
    m_label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    const QStyle::StandardPixmap icons[3] = {QStyle::SP_MediaSkipBackward, QStyle::SP_MediaStop,
                                             QStyle::SP_MediaPlay};
    const char* names[3] = {"goToStartButton", "stopButton", "playButton"};
    const int codes[3] = {4, 0, 1};
    for (int i = 0; i < 3; ++i) {
        m_buttons[i] = new QToolButton(this);
        m_buttons[i]->setObjectName(QString::fromLatin1(names[i]));
        m_buttons[i]->setIcon(style()->standardIcon(icons[i]));
        m_buttons[i]->setFocusPolicy(Qt::NoFocus);
        const int code = codes[i];
        connect(m_buttons[i], &QToolButton::clicked, this, [this, code] { emit command(code); });
    }

    connect(m_slider, &QSlider::sliderPressed, this, [this] {
        m_tracking = true;
        send(4);
    });
    connect(m_slider, &QSlider::sliderMoved, this, [this](int) { send(0); });
    connect(m_slider, &QSlider::sliderReleased, this, [this] {
        if (m_tracking) {
            m_tracking = false;
            send(5);
        }
        send(1);
    });
    connect(m_slider, &QSlider::actionTriggered, this, [this](int action) {
        switch (action) {
        case QAbstractSlider::SliderMove:
        case QAbstractSlider::SliderNoAction:
            break; // drags are reported by sliderMoved
        case QAbstractSlider::SliderPageStepSub:
            send(2);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            send(3);
            break;
        default:
            send(1);
            break;
        }
    });
    refreshLabel(0);
}

void VeskPositionControl::send(int code) {
    if (!m_labelFrozen) {
        refreshLabel(position());
    }
    emit notify(code);
}

void VeskPositionControl::setRangeMinimum(int minimum) {
    m_slider->setMinimum(minimum);
    refreshLabel(position());
}

void VeskPositionControl::setRangeMaximum(int maximum) {
    m_slider->setMaximum(maximum);
    m_slider->setTickInterval(std::max(1, (maximum - m_slider->minimum()) / 20));
    m_slider->setPageStep(std::max(1, (maximum - m_slider->minimum()) / 10));
    refreshLabel(position());
}

int VeskPositionControl::position() const { return m_slider->sliderPosition(); }

void VeskPositionControl::setPosition(int position) {
    m_slider->setSliderPosition(position);
    m_slider->update();
    refreshLabel(this->position());
}

void VeskPositionControl::setUnitDuration(int32_t microseconds) {
    m_unitDuration = microseconds;
    refreshLabel(position());
}

void VeskPositionControl::setLabelCallback(LabelCallback callback, void* data) {
    m_callback = std::move(callback);
    m_callbackData = data;
}

void VeskPositionControl::refreshLabel(int position) {
    const char extra = m_callback ? m_callback(position, m_callbackData) : 0;
    m_label->setText(QString::fromStdString(positionLabel(position, m_unitDuration, extra)));
}

QString VeskPositionControl::labelText() const { return m_label->text(); }

void VeskPositionControl::resizeEvent(QResizeEvent*) {
    const int w = width(), h = height();
    m_slider->setGeometry(0, 0, w, h - 24);
    for (int i = 0; i < 3; ++i) {
        m_buttons[i]->setGeometry(24 * i, h - 24, 24, 24);
    }
    const PixelRect r = positionLabelRect(w, h);
    m_label->setGeometry(r.left, r.top, std::max(r.width(), 0), r.height());
}

} // namespace quil
