#include "encoder/app/aboutbox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <cmath>

SpinningCube::SpinningCube(QWidget* parent) : QWidget(parent) {
    setFixedSize(160, 160);
    auto* timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this] {
        m_angle += 0.05;
        update();
    });
    timer->start(33);
}

void SpinningCube::paintEvent(QPaintEvent*) {
    struct P {
        double x, y, z;
    };
    static constexpr std::array<P, 8> corners = {{{-1, -1, -1},
                                                  {1, -1, -1},
                                                  {1, 1, -1},
                                                  {-1, 1, -1},
                                                  {-1, -1, 1},
                                                  {1, -1, 1},
                                                  {1, 1, 1},
                                                  {-1, 1, 1}}};
    static constexpr std::array<std::array<int, 2>, 12> edges = {{{0, 1},
                                                                  {1, 2},
                                                                  {2, 3},
                                                                  {3, 0},
                                                                  {4, 5},
                                                                  {5, 6},
                                                                  {6, 7},
                                                                  {7, 4},
                                                                  {0, 4},
                                                                  {1, 5},
                                                                  {2, 6},
                                                                  {3, 7}}};
    const double a = m_angle, b = m_angle * 0.7;
    std::array<QPointF, 8> shown;
    for (size_t i = 0; i < corners.size(); ++i) {
        const P& c = corners[i];
        const double x1 = c.x * std::cos(a) - c.z * std::sin(a);
        const double z1 = c.x * std::sin(a) + c.z * std::cos(a);
        const double y2 = c.y * std::cos(b) - z1 * std::sin(b);
        const double z2 = c.y * std::sin(b) + z1 * std::cos(b);
        const double f = 160.0 / (z2 + 4.0);
        shown[i] = QPointF(80 + x1 * f * 0.9, 80 + y2 * f * 0.9);
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(16, 24, 48));
    painter.setPen(QPen(QColor(120, 200, 255), 2));
    for (const auto& e : edges) {
        painter.drawLine(shown[size_t(e[0])], shown[size_t(e[1])]);
    }
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Quillreel Encoder");
    auto* text = new QLabel(QString("<b>Quillreel Encoder</b><br>Version %1<br><br>"
                                    "Movies for Palm OS handhelds.<br><br><a href=\"%2\">%2</a>")
                                .arg(kEncoderVersion, kHomePage),
                            this);
    text->setObjectName("aboutText");
    text->setTextFormat(Qt::RichText);
    text->setOpenExternalLinks(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(new SpinningCube(this));
    row->addSpacing(20);
    row->addWidget(text, 1);
    auto* root = new QVBoxLayout(this);
    root->addLayout(row);
    root->addWidget(buttons);
}
