#include "encoder/app/previewpane.h"

#include "encoder/engine/movieencoder.h"
#include "encoder/media/vbitmap.h"
#include "moviedb/display_tables.h"

#include <QPainter>

#include <algorithm>
#include <vector>

PanePicture RenderPanePicture(const uint8_t* buffer, const EncodingParameters& params,
                              const PreviewBitmapInfo& info, QSize pane) {
    PanePicture out;
    const int w = int16_t(params.nScreenWidth);
    const int h = int16_t(params.nScreenHeight);
    const int rows = params.frameRows();
    constexpr int pitch = OrbanwickMovieEncoder::kPreviewRowBytes;
    // Stored settings are not range-checked: draw nothing rather than read past the buffer.
    if (!buffer || w < 2 || h < 2 || w > pitch || (w & 1) || (h & 1) ||
        int64_t(rows) * pitch > OrbanwickMovieEncoder::kFrameBufferBytes || pane.width() <= 0 ||
        pane.height() <= 0) {
        return out;
    }
    const double scale = std::max(double(w) / pane.width(), double(h) / pane.height());
    const int dw = std::max(1, int(w / scale));
    const int dh = std::max(1, int(h / scale));
    out.topLeft =
        QPoint(int((pane.width() - w / scale) * 0.5), int((pane.height() - h / scale) * 0.5));

    if (!params.isTruecolor()) {
        QImage picture(w, h, QImage::Format_Indexed8);
        QList<QRgb> table(256, qRgb(0, 0, 0));
        for (size_t i = 0; i < info.colors.size(); ++i) {
            const PreviewRgbQuad& q = info.colors[i];
            table[qsizetype(i)] = qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        picture.setColorTable(table);
        for (int y = 0; y < h; ++y) {
            std::copy_n(buffer + ptrdiff_t(h - 1 - y) * pitch, w, picture.scanLine(y));
        }
        out.image = picture.scaled(dw, dh, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                        .convertToFormat(QImage::Format_RGB32);
        return out;
    }

    // The buffer holds the stored picture's rows bottom-up; put them back in order.
    std::vector<uint8_t> stored(size_t(w) * size_t(rows));
    for (int r = 0; r < rows; ++r) {
        std::copy_n(buffer + ptrdiff_t(rows - 1 - r) * pitch, w,
                    stored.data() + size_t(r) * size_t(w));
    }
    VBitmap full(w, h);
    // VBitmap rows run bottom-up; the conversion writes top row first.
    quil::convertTruecolorToRgb32(stored.data(), w, h, params.nColorDepth, full.Row(h - 1), -w);
    VBitmap shown(dw, dh);
    if (!shown.StretchBltArea(0, 0, dw, dh, &full, 0, 0, w, h)) {
        return out;
    }
    QImage image(dw, dh, QImage::Format_RGB32);
    for (int y = 0; y < dh; ++y) {
        const uint32_t* src = shown.Row(dh - 1 - y);
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < dw; ++x) {
            dst[x] = 0xFF000000u | src[x];
        }
    }
    out.image = image;
    return out;
}

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
    setMinimumSize(160, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewPane::setPicture(PanePicture picture) {
    m_picture = std::move(picture);
    repaint();
}

void PreviewPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().button());
    if (!m_picture.image.isNull()) {
        painter.drawImage(m_picture.topLeft, m_picture.image);
    }
}
