#include "encoder/app/audiooptionsdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {
QLabel* note(const char* text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setIndent(20);
    return label;
}
} // namespace

AudioOptionsDialog::AudioOptionsDialog(EncodingParameters& params, QWidget* parent)
    : QDialog(parent), m_params(params) {
    setObjectName("AudioOptionsDialog");
    setWindowTitle("Audio Options");
    m_hifi = new QCheckBox("&Encode High Fidelity Sound  (also increases file size)");
    m_hifi->setObjectName("hifi1040");
    m_adpcm = new QCheckBox("&Compress Audio Data  (also adds some noise)");
    m_adpcm->setObjectName("adpcm1037");
    m_prefilter = new QCheckBox("&Pre-filter Audio with High-Pass Filter");
    m_prefilter->setObjectName("prefilter1038");
    m_boost = new QCheckBox("&Apply");
    m_boost->setObjectName("boost1039");
    m_boostValue = new QLineEdit;
    m_boostValue->setObjectName("boostValue1043");
    m_boostValue->setMaximumWidth(60);
    m_boostValue->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this));

    const AudioOptionsState state = LoadAudioOptions(params);
    m_hifi->setChecked(state.hifi);
    m_adpcm->setChecked(state.adpcm);
    m_prefilter->setChecked(state.prefilter);
    m_boost->setChecked(state.boost);
    m_boostValue->setText(QString::fromStdString(state.boostText));

    auto* boostRow = new QHBoxLayout;
    boostRow->addWidget(m_boost);
    boostRow->addWidget(m_boostValue);
    boostRow->addWidget(new QLabel("% volume boost"));
    boostRow->addStretch();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &AudioOptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AudioOptionsDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_hifi);
    layout->addWidget(note("High fidelity sound plays best on PalmOS5 (ARM) handhelds."));
    layout->addWidget(m_adpcm);
    layout->addWidget(note("Audio compression reduces output file size but slightly degrades sound "
                           "quality and playback performance.  Not compatible with HiFi option."));
    layout->addWidget(m_prefilter);
    layout->addWidget(note("The high-pass pre-filter takes out low rumble the handheld's speaker "
                           "cannot play."));
    layout->addLayout(boostRow);
    layout->addWidget(note("A volume boost above 100% scales the samples up."));
    layout->addWidget(buttons);
}

void AudioOptionsDialog::accept() {
    AudioOptionsState state;
    state.hifi = m_hifi->isChecked();
    state.adpcm = m_adpcm->isChecked();
    state.prefilter = m_prefilter->isChecked();
    state.boost = m_boost->isChecked();
    state.boostText = m_boostValue->text().toStdString();
    ApplyAudioOptions(state, m_params);
    done(1);
}
