#include "encoder/app/videooptionsdialog.h"

#include "encoder/app/positioncontrol.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

// The preview area: paints the 160 x 160 preview stretched into its rectangle.
class PreviewArea : public QWidget {
public:
    explicit PreviewArea(QWidget* parent = nullptr) : QWidget(parent) {
        setObjectName("preview1030");
        setFixedSize(kPreviewSide, kPreviewSide);
    }
    QImage image;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (!image.isNull()) {
            p.drawImage(rect(), image);
        }
    }
};

namespace {
uint32_t buttonFace() {
    const QColor c = QApplication::palette().color(QPalette::Button);
    return (uint32_t(c.red()) << 16) | (uint32_t(c.green()) << 8) | uint32_t(c.blue());
}

QSlider* makeSlider(Qt::Orientation o, const char* name, int min, int max) {
    auto* s = new QSlider(o);
    s->setObjectName(name);
    s->setRange(min, max);
    return s;
}
} // namespace

VideoOptionsDialog::VideoOptionsDialog(OrbanwickMovieEncoder& engine, const MainWindowFields& fields,
                                       QWidget* parent)
    : QDialog(parent), m_logic(engine, fields, buttonFace()) {
    setObjectName("VideoOptionsDialog");
    setWindowTitle("Video Options");

    m_preview = new PreviewArea;
    m_position = new zorvPositionControl(0);
    m_position->setObjectName("position1032");
    m_position->setFixedWidth(360);
    m_sizing = makeSlider(Qt::Vertical, "sizing1011", 0, 64);
    m_sizing->setInvertedAppearance(true);
    m_brightness = makeSlider(Qt::Horizontal, "brightness1051", -100, 100);
    m_contrast = makeSlider(Qt::Horizontal, "contrast1052", -100, 100);
    auto* reset = new QPushButton("&Reset Sliders");
    reset->setObjectName("reset1053");
    m_first = new QLineEdit;
    m_first->setObjectName("first1055");
    m_last = new QLineEdit;
    m_last->setObjectName("last1056");
    auto* setFirst = new QPushButton("Set to &First");
    setFirst->setObjectName("setFirst1054");
    auto* goFirst = new QPushButton("go");
    goFirst->setObjectName("goFirst1059");
    auto* setLast = new QPushButton("Set to &Last");
    setLast->setObjectName("setLast1057");
    auto* goLast = new QPushButton("go");
    goLast->setObjectName("goLast1060");
    auto* all = new QPushButton("Use &All Frames");
    all->setObjectName("allFrames1058");
    m_rotate = new QCheckBox("&Rotate Sideways");
    m_rotate->setObjectName("rotate1050");
    m_flipV = new QCheckBox("Flip image &vertically");
    m_flipV->setObjectName("flipVertically1047");
    m_flipH = new QCheckBox("Flip image &horizontally");
    m_flipH->setObjectName("flipHorizontally1049");
    auto* ok = new QPushButton("&OK");
    ok->setObjectName("ok");
    ok->setDefault(true);
    auto* cancel = new QPushButton("&Cancel");
    cancel->setObjectName("cancel");

    auto* top = new QHBoxLayout;
    auto* previewColumn = new QVBoxLayout;
    previewColumn->addWidget(m_preview, 0, Qt::AlignHCenter);
    previewColumn->addWidget(m_position);
    top->addLayout(previewColumn);
    auto* sizingColumn = new QVBoxLayout;
    sizingColumn->addWidget(new QLabel("Fully Zoomed Up\n(Fill frame and crop)"));
    sizingColumn->addWidget(m_sizing, 1, Qt::AlignHCenter);
    sizingColumn->addWidget(new QLabel("Letterboxed Down\n(Fit movie in frame)"));
    top->addLayout(sizingColumn);

    auto* adjust = new QGroupBox("Picture");
    auto* adjustGrid = new QGridLayout(adjust);
    adjustGrid->addWidget(new QLabel("Brightness:"), 0, 0);
    adjustGrid->addWidget(m_brightness, 0, 1);
    adjustGrid->addWidget(new QLabel("Contrast:"), 1, 0);
    adjustGrid->addWidget(m_contrast, 1, 1);
    adjustGrid->addWidget(reset, 2, 1, Qt::AlignRight);
    adjustGrid->addWidget(m_rotate, 3, 0, 1, 2);
    adjustGrid->addWidget(m_flipV, 4, 0, 1, 2);
    adjustGrid->addWidget(m_flipH, 5, 0, 1, 2);

    auto* range = new QGroupBox("Frame range");
    auto* rangeGrid = new QGridLayout(range);
    rangeGrid->addWidget(new QLabel("First:"), 0, 0);
    rangeGrid->addWidget(m_first, 0, 1);
    rangeGrid->addWidget(goFirst, 0, 2);
    rangeGrid->addWidget(setFirst, 0, 3);
    rangeGrid->addWidget(new QLabel("Last:"), 1, 0);
    rangeGrid->addWidget(m_last, 1, 1);
    rangeGrid->addWidget(goLast, 1, 2);
    rangeGrid->addWidget(setLast, 1, 3);
    rangeGrid->addWidget(all, 2, 3);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* side = new QVBoxLayout;
    side->addWidget(adjust);
    side->addWidget(range);
    side->addStretch();
    auto* body = new QHBoxLayout;
    body->addLayout(top);
    body->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(buttons);

    if (m_logic.sourceShown()) {
        m_position->setRangeStart(0);
        m_position->setRangeEnd(m_logic.positionLast());
        m_position->setTimePerFrame(m_logic.microsecondsPerFrame());
    }

    auto renderAfter = [this](auto action) {
        return [this, action] {
            if (!m_syncing) {
                rendered(action());
            }
        };
    };
    connect(m_position, &zorvPositionControl::trackBarNotice, this, [this](int) {
        m_logic.setPosition(m_position->position());
        rendered(m_logic.render());
    });
    connect(m_position, &zorvPositionControl::commandNotice, this, [this](int code) {
        m_logic.setPosition(m_position->position());
        rendered(m_logic.positionNotice(code));
    });
    connect(m_sizing, &QSlider::valueChanged, this, renderAfter([this] {
                m_logic.setSizing(m_sizing->value());
                return m_logic.render();
            }));
    connect(m_brightness, &QSlider::valueChanged, this, renderAfter([this] {
                m_logic.setBrightness(m_brightness->value());
                return m_logic.render();
            }));
    connect(m_contrast, &QSlider::valueChanged, this, renderAfter([this] {
                m_logic.setContrast(m_contrast->value());
                return m_logic.render();
            }));
    connect(m_rotate, &QCheckBox::clicked, this,
            renderAfter([this] { return m_logic.setFlag(VideoFlag::Rotate, m_rotate->isChecked()); }));
    connect(m_flipV, &QCheckBox::clicked, this, renderAfter([this] {
                return m_logic.setFlag(VideoFlag::FlipVertically, m_flipV->isChecked());
            }));
    connect(m_flipH, &QCheckBox::clicked, this, renderAfter([this] {
                return m_logic.setFlag(VideoFlag::FlipHorizontally, m_flipH->isChecked());
            }));
    connect(reset, &QPushButton::clicked, this, renderAfter([this] { return m_logic.resetSliders(); }));
    connect(m_first, &QLineEdit::textEdited, this,
            [this](const QString& t) { m_logic.setFirstText(t.toStdString()); });
    connect(m_last, &QLineEdit::textEdited, this,
            [this](const QString& t) { m_logic.setLastText(t.toStdString()); });
    connect(setFirst, &QPushButton::clicked, this, [this] {
        m_logic.setPosition(m_position->position());
        m_logic.setToFirst();
        sync();
    });
    connect(setLast, &QPushButton::clicked, this, [this] {
        m_logic.setPosition(m_position->position());
        m_logic.setToLast();
        sync();
    });
    connect(all, &QPushButton::clicked, this, [this] {
        m_logic.useAllFrames();
        sync();
    });
    connect(goFirst, &QPushButton::clicked, this, renderAfter([this] { return m_logic.goFirst(); }));
    connect(goLast, &QPushButton::clicked, this, renderAfter([this] { return m_logic.goLast(); }));
    connect(ok, &QPushButton::clicked, this, &VideoOptionsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &VideoOptionsDialog::reject);

    rendered(true);
}

QImage VideoOptionsDialog::previewImage() const {
    const VBitmap* bitmap = m_logic.preview();
    if (!bitmap) {
        return {};
    }
    QImage image(bitmap->width, bitmap->height, QImage::Format_RGB32);
    for (int y = 0; y < bitmap->height; ++y) {
        const uint32_t* row = bitmap->Row(bitmap->height - 1 - y);
        auto* out = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < bitmap->width; ++x) {
            out[x] = 0xff000000u | row[x];
        }
    }
    return image;
}

void VideoOptionsDialog::sync() {
    m_syncing = true;
    m_sizing->setValue(m_logic.sizing());
    m_brightness->setValue(m_logic.brightness());
    m_contrast->setValue(m_logic.contrast());
    m_rotate->setChecked(m_logic.flag(VideoFlag::Rotate));
    m_flipV->setChecked(m_logic.flag(VideoFlag::FlipVertically));
    m_flipH->setChecked(m_logic.flag(VideoFlag::FlipHorizontally));
    m_first->setText(QString::fromStdString(m_logic.firstText()));
    m_last->setText(QString::fromStdString(m_logic.lastText()));
    if (m_position->position() != m_logic.position()) {
        m_position->setPosition(m_logic.position());
    }
    m_syncing = false;
}

void VideoOptionsDialog::rendered(bool redrawn) {
    sync();
    if (redrawn) {
        m_preview->image = previewImage();
        m_preview->update();
    }
}

int VideoOptionsDialog::exec() {
    if (const auto& error = m_logic.openError()) {
        QMessageBox::warning(parentWidget(), "Quillreel Encoder Error", QString::fromStdString(*error));
    }
    if (!m_logic.sourceShown()) {
        m_logic.reject(); // closes whatever was opened; the result is still 1
        return 1;
    }
    return QDialog::exec();
}

void VideoOptionsDialog::accept() {
    m_logic.accept();
    done(1);
}

void VideoOptionsDialog::reject() {
    m_logic.reject();
    done(0);
}
