// The resolution and quality dialog: screen size, colour mode, compression, data rate,
// frame rate and seek points, nine sample presets, the quality word and the size estimate
// of the current video source. It works on the engine's parameters; what it decides lives
// in ResolutionLogic. exec() returns 1 for OK and 0 for Cancel; the main window refreshes
// its status lines and previews afterwards either way.
#pragma once

#include "encoder/app/core/resolutionlogic.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;
class QToolButton;

class ResolutionDialog : public QDialog {
    Q_OBJECT
public:
    // previews: the engine's two preview buffers, cleared by OK when the screen size or the
    // colour mode changed.
    ResolutionDialog(OrbanwickMovieEncoder& engine, const MainWindowFields& fields,
                     PreviewBuffers previews, QWidget* parent = nullptr);

    ResolutionLogic& logic() { return m_logic; }

public slots:
    void accept() override;
    void reject() override;

private:
    void sync();

    ResolutionLogic m_logic;
    QComboBox* m_screen;
    QComboBox* m_color;
    QCheckBox* m_compress;
    QSlider* m_track;
    QLabel* m_target;
    QLabel* m_estimate;
    QRadioButton* m_automatic;
    QRadioButton* m_manual;
    QLineEdit* m_rate;
    QToolButton* m_rateUp;
    QToolButton* m_rateDown;
    QLabel* m_rateLine;
    QComboBox* m_seek;
    QComboBox* m_presets;
    bool m_syncing = false;
};
