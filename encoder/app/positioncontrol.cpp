#include "encoder/app/positioncontrol.h"

#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

namespace {
// Button pictures, drawn once: bars and triangles that show the direction of each step.
enum class Glyph { Bar, Left, Right };
struct IconShape {
    std::initializer_list<Glyph> parts;
    QColor color;
};

QIcon makeIcon(const IconShape& shape) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(shape.color);
    const int count = int(shape.parts.size());
    int widths = 0;
    for (Glyph g : shape.parts) {
        widths += g == Glyph::Bar ? 2 : 6;
    }
    qreal x = (16 - widths - (count - 1)) / 2.0;
    for (Glyph g : shape.parts) {
        if (g == Glyph::Bar) {
            p.drawRect(QRectF(x, 3, 2, 10));
            x += 3;
            continue;
        }
        QPainterPath path;
        if (g == Glyph::Left) {
            path.moveTo(x + 6, 3);
            path.lineTo(x, 8);
            path.lineTo(x + 6, 13);
        } else {
            path.moveTo(x, 3);
            path.lineTo(x + 6, 8);
            path.lineTo(x, 13);
        }
        path.closeSubpath();
        p.drawPath(path);
        x += 7;
    }
    return QIcon(pixmap);
}

const QIcon& iconFor(int id) {
    using G = Glyph;
    static const std::map<int, QIcon> icons = [] {
        const QColor step(32, 32, 32), play(0, 110, 0), mark(150, 0, 0), range(0, 60, 160);
        std::map<int, QIcon> m;
        m[502] = makeIcon({{G::Bar, G::Left}, range});             // code 0
        m[503] = makeIcon({{G::Right, G::Bar}, range});            // code 1
        m[504] = makeIcon({{G::Bar, G::Bar}, range});              // code 10
        m[505] = makeIcon({{G::Bar, G::Left, G::Left}, step});     // first frame
        m[506] = makeIcon({{G::Bar, G::Left}, step});              // previous frame
        m[507] = makeIcon({{G::Right, G::Bar}, step});             // next frame
        m[508] = makeIcon({{G::Right, G::Right, G::Bar}, step});   // last frame
        m[509] = makeIcon({{G::Left, G::Left}, step});             // code 8
        m[510] = makeIcon({{G::Right, G::Right}, step});           // code 9
        m[511] = makeIcon({{G::Left}, play});                      // toggle, backwards
        m[512] = makeIcon({{G::Right}, play});                     // toggle, forwards
        m[513] = makeIcon({{G::Left, G::Bar}, mark});              // code 2
        m[514] = makeIcon({{G::Bar, G::Right}, mark});             // code 3
        return m;
    }();
    return icons.at(id);
}
} // namespace

zorvPositionControl::zorvPositionControl(unsigned style, QWidget* parent)
    : QWidget(parent), m_logic(style) {
    setObjectName("zorvPositionControl");
    m_track = new QSlider(Qt::Horizontal, this);
    m_track->setObjectName("track500");
    m_track->setTickPosition(QSlider::TicksBelow);
    m_track->setRange(0, 0);
    m_text = new QLabel(this);
    m_text->setObjectName("text501");
    m_text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QFont font = m_text->font();
    font.setPixelSize(11);
    m_text->setFont(font);

    for (int id = kPositionFirstButtonId; id <= kPositionLastButtonId; ++id) {
        if (!PositionChildPresent(id, style)) {
            continue;
        }
        QAbstractButton* b;
        if (id == 511 || id == 512) {
            auto* toggle = new QPushButton(this);
            toggle->setCheckable(true);
            b = toggle;
        } else {
            auto* tool = new QToolButton(this);
            tool->setAutoRaise(false);
            b = tool;
        }
        b->setObjectName(QString("button%1").arg(id));
        b->setIcon(iconFor(id));
        b->setIconSize(QSize(16, 16));
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QAbstractButton::clicked, this, [this, id] { onButton(id); });
        m_buttons[id] = b;
    }

    connect(m_track, &QSlider::sliderMoved, this, [this] { onScroll(TrackScroll::ThumbDragged); });
    connect(m_track, &QSlider::sliderReleased, this, [this] { onScroll(TrackScroll::ThumbReleased); });
    connect(m_track, &QSlider::actionTriggered, this, [this](int action) {
        switch (action) {
        case QAbstractSlider::SliderMove:
            return; // the drag, reported through sliderMoved
        case QAbstractSlider::SliderPageStepSub:
            onScroll(TrackScroll::PageBack);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            onScroll(TrackScroll::PageForward);
            break;
        default:
            onScroll(TrackScroll::Other);
            break;
        }
    });
    setMinimumSize(200, 48);
    resize(360, 56);
    layoutChildren();
    updateText();
}

void zorvPositionControl::layoutChildren() {
    for (const PositionChildRect& r : PositionLayout(m_logic.style(), width(), height())) {
        QWidget* child = r.id == kPositionTrackBarId ? static_cast<QWidget*>(m_track)
                         : r.id == kPositionTextId   ? static_cast<QWidget*>(m_text)
                                                     : m_buttons.at(r.id);
        child->setGeometry(r.x, r.y, std::max(r.width, 0), std::max(r.height, 0));
    }
}

void zorvPositionControl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}

void zorvPositionControl::updateText(long frame) {
    if (frame < 0) {
        frame = m_track->sliderPosition();
    }
    m_text->setText(QString::fromStdString(
        PositionFrameText(frame, m_usPerFrame, m_mark, this, m_markData)));
}

void zorvPositionControl::onScroll(TrackScroll what) {
    const std::vector<int> notices = m_logic.scroll(what);
    if (!m_textFrozen) {
        updateText();
    }
    for (int code : notices) {
        emit trackBarNotice(code);
    }
}

void zorvPositionControl::onButton(int id) {
    int code = PositionButtonCode(id);
    if (id == 511 || id == 512) {
        const auto result = PositionControlLogic::toggle(id, m_buttons.at(id)->isChecked());
        if (result.uncheckOther) {
            m_buttons.at(id == 511 ? 512 : 511)->setChecked(false);
        }
        code = result.code;
    }
    emit commandNotice(code);
}

void zorvPositionControl::setRangeStart(int first, bool) {
    m_track->setMinimum(first);
    updateText();
}

void zorvPositionControl::setRangeEnd(int last, bool) {
    m_track->setMaximum(last);
    updateText();
}

int zorvPositionControl::position() const { return m_track->value(); }

void zorvPositionControl::setPosition(int position) {
    m_track->setValue(position);
    updateText();
}

int zorvPositionControl::selectionStart() const { return m_selStart; }
int zorvPositionControl::selectionEnd() const { return m_selEnd; }
void zorvPositionControl::setSelectionStart(int position, bool) { m_selStart = position; }
void zorvPositionControl::setSelectionEnd(int position, bool) { m_selEnd = position; }

void zorvPositionControl::clearSelection(bool) {
    m_selStart = -1;
    m_selEnd = -1;
}

void zorvPositionControl::setTimePerFrame(int32_t microseconds) {
    m_usPerFrame = microseconds;
    updateText();
}

void zorvPositionControl::uncheckToggles() {
    for (int id : {511, 512}) {
        if (auto it = m_buttons.find(id); it != m_buttons.end()) {
            it->second->setChecked(false);
        }
    }
}

void zorvPositionControl::setMarkCallback(PositionMarkCallback callback, uint32_t userData) {
    m_mark = std::move(callback);
    m_markData = userData;
}

void zorvPositionControl::setTextFrozen(bool frozen) { m_textFrozen = frozen; }

void zorvPositionControl::showFrameText(long frame) { updateText(frame); }

QString zorvPositionControl::text() const { return m_text->text(); }

QAbstractButton* zorvPositionControl::button(int id) const {
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}
