// Fetch, copy, fill, stretch, adjust and orient one frame.
#include "encoder/engine/picturestage.h"

#include "encoder/media/streamsource.h"

PictureStage::PictureStage(int workWidth, int workHeight) : m_work(workWidth, workHeight) {}

int PictureStage::fetch(VideoStreamSource& source, int index) {
    const int rc = source.GetFrame(index, m_delivered);
    if (rc != 0) {
        return rc;
    }
    if (!m_delivered || !m_delivered->data) {
        return kVideoReadError;
    }
    if (m_sourcePixels.empty()) {
        m_sourceWidth = m_delivered->GetWidth();
        m_sourceHeight = m_delivered->GetHeight();
        if (m_sourceWidth <= 0 || m_sourceHeight <= 0) {
            return kVideoReadError;
        }
        // One spare column for odd widths, as the source bitmap's rows are even-sized.
        const int paddedWidth = (m_sourceWidth + 1) & ~1;
        m_sourcePixels.assign(size_t(paddedWidth) * size_t(m_sourceHeight), 0);
        m_source.Attach(m_sourcePixels.data(), m_sourceWidth, m_sourceHeight);
    }
    return 0;
}

void PictureStage::setPlacement(const PixelRect& destination, const SourceRect& source) {
    m_destination = destination;
    m_sourceRect = source;
    m_placed = true;
}

void PictureStage::place(float brightness, float contrast) {
    m_source.BitBlt(0, 0, m_delivered.get(), 0, 0, -1, -1);
    m_work.RectFill(0, 0, -1, -1, 0);
    const PixelRect& d = m_destination;
    const int bottomUpY = m_work.height - d.y - d.height;
    m_work.StretchBltArea(d.x, bottomUpY, d.width, d.height, &m_source, m_sourceRect.x,
                          m_sourceRect.y, m_sourceRect.width, m_sourceRect.height);
    if (brightness != 0.0f || contrast != 0.0f) {
        m_work.AdjustBrightnessContrast(d.x, bottomUpY, d.width, d.height, brightness, contrast);
    }
}

void PictureStage::orient(bool flipRows, bool mirrorRows) {
    const ptrdiff_t pitch = ptrdiff_t(m_work.width) * 4;
    if (flipRows) {
        flipPixelsVertically(m_work.data, m_work.width, m_work.height, pitch, 32);
    }
    if (mirrorRows) {
        mirrorPixelsHorizontally(m_work.data, m_work.width, m_work.height, pitch, 32);
    }
}
