#include "encoder/media/memorysource.h"

#include "encoder/media/vbitmap.h"

#include <algorithm>
#include <stdexcept>

MemoryVideoSource::MemoryVideoSource(VideoStreamInfo info, Painter painter, uint32_t sourceType)
    : m_info(info), m_painter(std::move(painter)), m_type(sourceType) {}

MemoryVideoSource::~MemoryVideoSource() = default;

void MemoryVideoSource::Close() {
    m_open = false;
    m_canvas.reset();
}

bool MemoryVideoSource::IsOpen() {
    return m_open;
}

int MemoryVideoSource::Open(const char* fileName) {
    Close();
    ++m_opens;
    m_name = fileName ? fileName : "";
    if (m_openResult != 0) {
        return m_openResult;
    }
    m_open = true;
    return kVideoOk;
}

int MemoryVideoSource::GetInfo(VideoStreamInfo* info) {
    if (!m_open) {
        return kVideoNotOpen;
    }
    *info = m_info;
    return kVideoOk;
}

int MemoryVideoSource::GetStart() {
    return m_open ? m_start : 0;
}

int MemoryVideoSource::GetLength() {
    return m_open ? m_info.length : 0;
}

int MemoryVideoSource::GetFrame(int index, std::unique_ptr<VBitmap>& bitmap) {
    if (!m_open) {
        return kVideoNotOpen;
    }
    m_requests.push_back(index);
    if (index < m_start || index >= m_start + m_info.length) {
        return kVideoReadError;
    }
    if (auto it = m_failures.find(index); it != m_failures.end()) {
        return it->second;
    }
    if (!m_canvas) {
        m_canvas = std::make_unique<VBitmap>(m_info.width, m_info.height);
        if (!m_canvas->data) {
            return kVideoOutOfMemory;
        }
    }
    m_canvas->RectFill(0, 0, -1, -1, 0);
    if (m_painter) {
        m_painter(index, *m_canvas);
    }
    BITMAPINFO dib;
    dib.bmiHeader.biWidth = m_info.width;
    dib.bmiHeader.biHeight = m_info.height; // bottom-up, as the canvas
    dib.bmiHeader.biBitCount = 32;
    if (!bitmap) {
        bitmap = std::make_unique<VBitmap>();
    }
    try {
        bitmap->InitFromDIB(&dib, m_canvas->data, m_flipRows);
    } catch (const std::exception&) {
        return kVideoReadError;
    }
    return bitmap->data ? kVideoOk : kVideoOutOfMemory;
}

MemoryVideoSource::Painter MemoryVideoSource::indexPainter() {
    return [](int index, VBitmap& picture) {
        const uint32_t v = uint32_t(index & 255) << 16 | uint32_t(index >> 8 & 255) << 8 | 0x80;
        picture.RectFill(0, 0, -1, -1, v);
    };
}
