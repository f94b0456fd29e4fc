// A video source whose frames are painted by code: the engine's tests drive a whole job with
// it without any file or FFmpeg. It behaves like a file source: Open succeeds (or returns the
// code a test sets), frames outside [start, start + length) fail with 7, frames pass through
// the same DIB conversion (so the flip-rows flag works), and every request is recorded.
#pragma once

#include "encoder/media/streamsource.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class MemoryVideoSource : public VideoStreamSource {
  public:
    // Paints frame `index` into `picture`, which has the stream's size, rows bottom-up.
    using Painter = std::function<void(int index, VBitmap& picture)>;

    MemoryVideoSource(VideoStreamInfo info, Painter painter,
                      uint32_t sourceType = kSourceTypeVideoAVI);
    ~MemoryVideoSource() override;

    void Close() override;
    bool IsOpen() override;
    uint32_t GetSourceType() override { return m_type; }
    int Open(const char* fileName) override;
    int GetFrame(int index, std::unique_ptr<VBitmap>& bitmap) override;
    int GetInfo(VideoStreamInfo* info) override;
    int GetStart() override;
    int GetLength() override;

    // What Open returns from now on (0 opens).
    void setOpenResult(int code) { m_openResult = code; }
    void setStart(int start) { m_start = start; }
    // GetFrame(index) fails with code.
    void failFrame(int index, int code) { m_failures[index] = code; }
    const std::vector<int>& requestedFrames() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }
    const std::string& openedName() const { return m_name; }
    int openCount() const { return m_opens; }

    // A painter that fills frame i with 0x00RRGGBB = (i & 255) << 16 | (i >> 8 & 255) << 8 |
    // 0x80, so a test can tell which frame a picture came from.
    static Painter indexPainter();
    static int indexOfPixel(uint32_t pixel) {
        return int(pixel >> 16 & 255) | int(pixel >> 8 & 255) << 8;
    }

  private:
    VideoStreamInfo m_info;
    Painter m_painter;
    uint32_t m_type;
    bool m_open = false;
    int m_openResult = 0;
    int m_start = 0;
    int m_opens = 0;
    std::string m_name;
    std::map<int, int> m_failures;
    std::vector<int> m_requests;
    std::unique_ptr<VBitmap> m_canvas;
};
