#include "encoder/app/resolutiondialog.h"

#include "encoder/app/core/choices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <QVBoxLayout>

ResolutionDialog::ResolutionDialog(OrbanwickMovieEncoder& engine, const MainWindowFields& fields,
                                   PreviewBuffers previews, QWidget* parent)
    : QDialog(parent), m_logic(engine, fields, previews) {
    setObjectName("ResolutionDialog");
    setWindowTitle("Resolution and Quality");

    m_screen = new QComboBox;
    m_screen->setObjectName("screenSize1049");
    for (const auto& s : kScreenSizes) {
        m_screen->addItem(s.text);
    }
    m_color = new QComboBox;
    m_color->setObjectName("colorMode1045");
    for (const auto& c : kColorModes) {
        m_color->addItem(c.text);
    }
    m_compress = new QCheckBox("Com&press Video Imagery (highly recommended)");
    m_compress->setObjectName("compress1048");
    m_track = new QSlider(Qt::Horizontal);
    m_track->setObjectName("dataRate1023");
    m_track->setTickPosition(QSlider::TicksBelow);
    m_target = new QLabel;
    m_target->setObjectName("target1026");
    m_estimate = new QLabel;
    m_estimate->setObjectName("estimate1027");
    m_automatic = new QRadioButton("&Automatic");
    m_automatic->setObjectName("automatic1024");
    m_manual = new QRadioButton("&Manual");
    m_manual->setObjectName("manual1025");
    m_rate = new QLineEdit;
    m_rate->setObjectName("rate1013");
    m_rate->setMaximumWidth(60);
    m_rateUp = new QToolButton;
    m_rateUp->setObjectName("rateUp1014");
    m_rateUp->setArrowType(Qt::UpArrow);
    m_rateDown = new QToolButton;
    m_rateDown->setObjectName("rateDown1014");
    m_rateDown->setArrowType(Qt::DownArrow);
    m_rateLine = new QLabel;
    m_rateLine->setObjectName("rateLine1058");
    m_seek = new QComboBox;
    m_seek->setObjectName("seekPoints1050");
    for (const auto& s : kSeekPoints) {
        m_seek->addItem(s.text);
    }
    m_presets = new QComboBox;
    m_presets->setObjectName("presets1047");
    m_presets->addItem(kPresetPrompt);
    for (const auto& p : kSamplePresets) {
        m_presets->addItem(p.text);
    }

    auto* screenBox = new QGroupBox("Screen and colour");
    auto* screenForm = new QFormLayout(screenBox);
    screenForm->addRow("Target screen:", m_screen);
    screenForm->addRow("Colour mode:", m_color);
    screenForm->addRow(m_compress);

    auto* rateBox = new QGroupBox("Data rate");
    auto* rateLayout = new QVBoxLayout(rateBox);
    rateLayout->addWidget(new QLabel("More bytes per frame give a better picture and a larger file."));
    rateLayout->addWidget(m_track);
    rateLayout->addWidget(m_target);
    rateLayout->addWidget(m_estimate);

    auto* fpsBox = new QGroupBox("Frame rate");
    auto* fpsGrid = new QVBoxLayout(fpsBox);
    fpsGrid->addWidget(m_automatic);
    auto* manualRow = new QHBoxLayout;
    manualRow->addWidget(m_manual);
    manualRow->addWidget(m_rate);
    manualRow->addWidget(m_rateUp);
    manualRow->addWidget(m_rateDown);
    manualRow->addStretch();
    manualRow->addWidget(m_rateLine);
    fpsGrid->addLayout(manualRow);

    auto* seekBox = new QGroupBox("Seek points");
    auto* seekLayout = new QVBoxLayout(seekBox);
    seekLayout->addWidget(new QLabel("Seek points let the player jump within the movie; each one costs a full frame."));
    seekLayout->addWidget(m_seek);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &ResolutionDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ResolutionDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_presets);
    layout->addWidget(screenBox);
    layout->addWidget(rateBox);
    layout->addWidget(fpsBox);
    layout->addWidget(seekBox);
    layout->addWidget(buttons);

    connect(m_screen, &QComboBox::activated, this, [this](int i) {
        m_logic.chooseScreenSize(i);
        sync();
    });
    connect(m_color, &QComboBox::activated, this, [this](int i) { m_logic.chooseColorMode(i); });
    connect(m_compress, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_syncing) {
            m_logic.setCompress(on);
            sync();
        }
    });
    connect(m_automatic, &QRadioButton::clicked, this, [this] {
        m_logic.setManual(false);
        sync();
    });
    connect(m_manual, &QRadioButton::clicked, this, [this] {
        m_logic.setManual(true);
        sync();
    });
    connect(m_rate, &QLineEdit::textEdited, this, [this](const QString& t) {
        m_logic.setRateText(t.toStdString());
        sync();
    });
    // The up-down buttons step the number within 1 to 100.
    auto step = [this](int delta) {
        const int current = m_rate->text().trimmed().toInt();
        m_logic.setRateText(std::to_string(std::clamp(current + delta, 1, 100)));
        sync();
    };
    connect(m_rateUp, &QToolButton::clicked, this, [step] { step(1); });
    connect(m_rateDown, &QToolButton::clicked, this, [step] { step(-1); });
    connect(m_seek, &QComboBox::activated, this, [this](int i) {
        m_logic.chooseSeekPoints(i);
        sync();
    });
    connect(m_presets, &QComboBox::activated, this, [this](int i) {
        m_logic.choosePreset(i);
        m_presets->setCurrentIndex(0);
        sync();
    });
    connect(m_track, &QSlider::valueChanged, this, [this](int v) {
        if (!m_syncing) {
            m_logic.setTrackPosition(v);
            sync();
        }
    });
    sync();
}

void ResolutionDialog::sync() {
    m_syncing = true;
    m_track->setRange(m_logic.trackMinimum(), m_logic.trackMaximum());
    m_track->setValue(m_logic.trackPosition());
    m_track->setEnabled(m_logic.trackEnabled());
    m_target->setEnabled(m_logic.trackEnabled());
    m_target->setText(QString::fromStdString(m_logic.targetLine()));
    m_estimate->setText(QString::fromStdString(m_logic.estimateLine()));
    m_screen->setCurrentIndex(m_logic.screenIndex());
    m_color->setCurrentIndex(m_logic.colorIndex());
    m_seek->setCurrentIndex(m_logic.seekIndex());
    m_compress->setChecked(m_logic.compress());
    m_automatic->setChecked(!m_logic.manual());
    m_manual->setChecked(m_logic.manual());
    m_automatic->setText(QString::fromStdString(m_logic.automaticText()));
    m_rateLine->setText(QString::fromStdString(m_logic.rateLine()));
    if (m_rate->text().toStdString() != m_logic.rateText()) {
        m_rate->setText(QString::fromStdString(m_logic.rateText()));
    }
    m_syncing = false;
}

void ResolutionDialog::accept() {
    m_logic.accept();
    done(1);
}

void ResolutionDialog::reject() {
    m_logic.reject();
    done(0);
}
