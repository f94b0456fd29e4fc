// "Audio Options": hi-fi sound, ADPCM compression, the high-pass pre-filter and the volume
// boost of the encoding parameters. exec() returns 1 for OK (the settings written) and 0
// for Cancel (nothing changed).
#pragma once

#include "encoder/app/core/audiooptionslogic.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

class AudioOptionsDialog : public QDialog {
    Q_OBJECT
public:
    AudioOptionsDialog(EncodingParameters& params, QWidget* parent = nullptr);

public slots:
    void accept() override;

private:
    EncodingParameters& m_params;
    QCheckBox* m_hifi;
    QCheckBox* m_adpcm;
    QCheckBox* m_prefilter;
    QCheckBox* m_boost;
    QLineEdit* m_boostValue;
};
