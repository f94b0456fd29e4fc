#include "player/window/quilplayer.h"

#include "player/window/veskpositioncontrol.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVBoxLayout>
#include <cmath>

namespace quil {

namespace {
// The edge around the frame rectangle.
constexpr int kEdge = 2;
} // namespace

QuilAnimation::QuilAnimation(QWidget* parent) : QWidget(parent) {
    setFixedSize(64, 64);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 360;
        update();
    });
    m_timer.start(40);
}

void QuilAnimation::paintEvent(QPaintEvent*) {
    // A film frame turning about its vertical axis.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Qt::black);
    const double scale = std::cos(m_step * 3.14159265358979 / 180.0);
    p.translate(width() / 2.0, height() / 2.0);
    p.scale(scale, 1.0);
    p.setBrush(QColor(255, 200, 40));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(-22, -16, 44, 32), 4, 4);
    p.setBrush(Qt::black);
    for (int i = 0; i < 4; ++i) {
        p.drawRect(QRectF(-18 + 10 * i, -14, 5, 4));
        p.drawRect(QRectF(-18 + 10 * i, 10, 5, 4));
    }
}

QuilPlayer::QuilPlayer(QWidget* parent) : QMainWindow(parent), m_prompt(this) {
    setWindowTitle(QString::fromLatin1(kPlayerTitle));
    setAcceptDrops(true);
    m_central = new QWidget(this);
    setCentralWidget(m_central);
    m_picture = new QWidget(m_central);
    m_picture->setObjectName(QStringLiteral("pictureArea"));
    m_picture->installEventFilter(this);
    m_control = new VeskPositionControl(m_central);
    m_central->installEventFilter(this);

    m_session = std::make_unique<PlayerSession>(m_prompt, m_audio, m_clock, *m_control,
                                                [this] { m_picture->repaint(); });

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* open = file->addAction(QStringLiteral("&Open..."), this, &QuilPlayer::openCommand);
    open->setShortcut(QKeySequence::Open);
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("E&xit"), this, &QWidget::close);
    exit->setShortcut(QKeySequence::Quit);
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&About Quillreel Player..."), this, &QuilPlayer::aboutCommand);

    connect(m_control, &VeskPositionControl::command, this, [this](int code) {
        m_session->engine().button(PositionButton(code));
    });
    connect(m_control, &VeskPositionControl::notify, this, [this](int code) {
        m_session->engine().positionEvent(PositionEvent(code));
    });

    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(30);
    connect(&m_tick, &QTimer::timeout, this, [this] {
        m_device.pump();
        m_session->engine().tick();
    });
    m_tick.start();
    m_positionTimer.setInterval(100);
    connect(&m_positionTimer, &QTimer::timeout, this, [this] { m_session->engine().windowTimer(); });
    m_positionTimer.start();

    m_lastFolder = QSettings(QStringLiteral("Orbanwick Software"), QStringLiteral("Quillreel Player"))
                       .value(QStringLiteral("lastFolder"))
                       .toString();
    move(0, 0);
    resize(500, 400);
}

QuilPlayer::~QuilPlayer() {
    m_tick.stop();
    m_positionTimer.stop();
    m_session->stopPlayback();
}

bool QuilPlayer::openFile(const QString& path) {
    m_session->stopPlayback();
    const bool ok = m_session->open(path.toStdString());
    setWindowTitle(QString::fromStdString(m_session->title()));
    layoutChildren();
    return ok;
}

void QuilPlayer::openCommand() {
    m_session->stopPlayback();
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Quillreel clip"), m_lastFolder,
                                                      QStringLiteral("Quillreel video clip (*.pdb)"));
    if (path.isEmpty()) {
        return;
    }
    m_lastFolder = QFileInfo(path).absolutePath();
    QSettings(QStringLiteral("Orbanwick Software"), QStringLiteral("Quillreel Player"))
        .setValue(QStringLiteral("lastFolder"), m_lastFolder);
    openFile(path);
}

void QuilPlayer::aboutCommand() {
    QDialog about(this);
    about.setWindowTitle(QStringLiteral("About Quillreel Player"));
    auto* layout = new QVBoxLayout(&about);
    auto* row = new QHBoxLayout;
    row->addWidget(new QuilAnimation(&about));
    row->addWidget(new QLabel(QStringLiteral("Quillreel Player\nVersion 4.00.00"), &about));
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &about);
    connect(buttons, &QDialogButtonBox::accepted, &about, &QDialog::accept);
    layout->addWidget(buttons);
    about.exec();
}

QRect QuilPlayer::pictureRect() const {
    Movie& movie = m_session->movie();
    int w = 0, h = 0;
    pictureSize(movie.width(), movie.rows(), movie.isTruecolor(), movie.hasFrames(), w, h);
    const PixelRect r = quil::pictureRect(m_central->width(), m_central->height(), kEdge, kEdge, w, h);
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

void QuilPlayer::layoutChildren() {
    const int cw = m_central->width(), ch = m_central->height();
    m_control->setGeometry(0, ch - kPositionControlHeight, cw, kPositionControlHeight);
    m_control->show();
    m_picture->setGeometry(0, 0, cw, std::max(ch - kPositionControlHeight, 0));
    m_picture->update();
}

void QuilPlayer::paintPicture() {
    QPainter p(m_picture);
    const QRect frame = m_picture->rect();
    QStyleOptionFrame option;
    option.initFrom(m_picture);
    option.rect = frame;
    option.lineWidth = kEdge;
    option.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_Frame, &option, &p, m_picture);
    const QRect area = frame.adjusted(kEdge, kEdge, -kEdge, -kEdge);
    p.fillRect(area, Qt::black);
    const PlayerSession& session = *m_session;
    if (!session.picture().empty()) {
        const QImage image(reinterpret_cast<const uchar*>(session.picture().data()), session.pictureWidth(),
                           session.pictureHeight(), session.pictureWidth() * 4, QImage::Format_RGB32);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        p.drawImage(pictureRect(), image);
    }
}

bool QuilPlayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_picture && event->type() == QEvent::Paint) {
        paintPicture();
        return true;
    }
    if (watched == m_central && event->type() == QEvent::Resize) {
        layoutChildren();
    }
    return QMainWindow::eventFilter(watched, event);
}

void QuilPlayer::step(int delta) {
    PlaybackEngine& engine = m_session->engine();
    engine.stop();
    m_control->setPosition(m_control->position() + delta);
    engine.positionEvent(PositionEvent::Moved);
}

void QuilPlayer::keyPressEvent(QKeyEvent* event) {
    PlaybackEngine& engine = m_session->engine();
    switch (event->key()) {
    case Qt::Key_Space:
        engine.button(engine.isPlaying() ? PositionButton::Stop : PositionButton::Play);
        break;
    case Qt::Key_Left:
        step(-1);
        break;
    case Qt::Key_Right:
        step(1);
        break;
    case Qt::Key_Home:
        engine.button(PositionButton::GoToStart);
        break;
    default:
        QMainWindow::keyPressEvent(event);
        return;
    }
    event->accept();
}

void QuilPlayer::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void QuilPlayer::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile()) {
        openFile(urls.front().toLocalFile());
        event->acceptProposedAction();
    }
}

} // namespace quil
