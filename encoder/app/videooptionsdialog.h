// "Video Options", the cropping and editing dialog: frame range, sizing between filling the
// screen and letterboxing, brightness, contrast, rotation and flips, with a 160 x 160 live
// preview of any source frame chosen with a zorvPositionControl. The decisions live in
// VideoOptionsLogic. exec() returns 1 for OK (also when the source cannot be shown, after
// a message box) and 0 for Cancel.
#pragma once

#include "encoder/app/core/videooptionslogic.h"

#include <QDialog>
#include <QImage>

class QCheckBox;
class QLineEdit;
class QSlider;
class zorvPositionControl;
class PreviewArea;

class VideoOptionsDialog : public QDialog {
    Q_OBJECT
public:
    VideoOptionsDialog(OrbanwickMovieEncoder& engine, const MainWindowFields& fields,
                       QWidget* parent = nullptr);

    // Shows the message box when the source could not be opened and ends with 1 at once
    // when it cannot be shown; otherwise runs the dialog.
    int exec() override;

    VideoOptionsLogic& logic() { return m_logic; }
    zorvPositionControl* positionControl() const { return m_position; }
    // The preview bitmap as an image, top row first.
    QImage previewImage() const;

public slots:
    void accept() override;
    void reject() override;

private:
    void sync();
    void rendered(bool redrawn);

    VideoOptionsLogic m_logic;
    PreviewArea* m_preview;
    zorvPositionControl* m_position;
    QSlider* m_sizing;
    QSlider* m_brightness;
    QSlider* m_contrast;
    QLineEdit* m_first;
    QLineEdit* m_last;
    QCheckBox* m_rotate;
    QCheckBox* m_flipV;
    QCheckBox* m_flipH;
    bool m_syncing = false;
};
