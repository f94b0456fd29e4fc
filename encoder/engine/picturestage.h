// One job's picture preparation: every output frame is fetched from the video source,
// copied into a source-sized bitmap, and drawn into the working screen bitmap (filled black
// first) with the area stretch at the placement computed from the first frame, then
// brightness and contrast are applied to the drawn rectangle. Pass 2 then orients the
// working bitmap with in-place flips. The working bitmap has the screen's size, or width
// and height exchanged when the picture is rotated; its rows run bottom to top.
#pragma once

#include "encoder/media/vbitmap.h"

#include <cstdint>
#include <memory>
#include <vector>

class VideoStreamSource;

class PictureStage {
public:
    PictureStage(int workWidth, int workHeight);

    // Fetches source frame index. On the first successful fetch it sizes the source bitmap
    // from the delivered frame. Returns the source's code (0 on success).
    int fetch(VideoStreamSource& source, int index);
    bool placed() const { return m_placed; }
    void setPlacement(const PixelRect& destination, const SourceRect& source);
    // Draws the last fetched frame into the working bitmap.
    void place(float brightness, float contrast);
    void orient(bool flipRows, bool mirrorRows);

    int sourceWidth() const { return m_sourceWidth; }
    int sourceHeight() const { return m_sourceHeight; }
    int workWidth() const { return m_work.width; }
    int workHeight() const { return m_work.height; }
    const uint32_t* pixels() const { return m_work.data; }

private:
    VBitmap m_work;
    std::vector<uint32_t> m_sourcePixels;
    VBitmap m_source;
    std::unique_ptr<VBitmap> m_delivered;
    int m_sourceWidth = 0;
    int m_sourceHeight = 0;
    PixelRect m_destination;
    SourceRect m_sourceRect;
    bool m_placed = false;
};
