// The two preview panes of the main window and the picture each one shows. A picture is
// made from an engine preview buffer (320-byte rows, bottom row first) only while the worker
// waits for the window or no job runs, and kept until the next one, so painting never reads
// a buffer the worker is writing.
#pragma once

#include "encoder/engine/params.h"
#include "encoder/engine/previewbitmap.h"

#include <QImage>
#include <QWidget>

#include <cstdint>

// The picture of a preview buffer fitted into a pane of the given size, and where it goes.
struct PanePicture {
    QImage image; // display size; null when the settings describe no drawable picture
    QPoint topLeft;
};

// Palette and grayscale pictures are drawn with the preview bitmap's colour table and
// stretched; truecolor pictures are turned into display colours and downscaled smoothly.
PanePicture RenderPanePicture(const uint8_t* buffer, const EncodingParameters& params,
                              const PreviewBitmapInfo& info, QSize pane);

class PreviewPane : public QWidget {
    Q_OBJECT
  public:
    explicit PreviewPane(QWidget* parent = nullptr);
    void setPicture(PanePicture picture);
    const PanePicture& picture() const { return m_picture; }
    QSize sizeHint() const override { return {240, 180}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    PanePicture m_picture;
};
