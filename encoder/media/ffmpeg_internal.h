// The one place that includes FFmpeg's headers: owning pointers for its objects, the
// process-wide start-up, file probing and the frame-exact video reader shared by the AVI and
// QuickTime-model sources. Nothing outside encoder/media includes this file.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <memory>
#include <vector>

namespace quil::ff {

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFreer>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFreer>;

// Starts the libraries once per process; false when the ones loaded at run time are older
// than the ones this program was built against.
bool initLibraries();

// The container FFmpeg identifies from the file's first bytes, or null.
const AVInputFormat* probeContainer(const char* path);
// True for the containers the AVI sources read: AVI and WAV.
bool isAviOrWav(const AVInputFormat* fmt);

// Opens the file (with fmt when given) and reads the stream parameters. Returns 0 or an
// AVERROR code.
int openInput(const char* path, const AVInputFormat* fmt, FormatPtr& out);

// First stream of a media type that is a real stream (not a cover picture), or -1.
int firstStream(AVFormatContext* fmt, AVMediaType type);

// Decodes one video stream and hands out the picture showing at any time stamp. Sequential
// requests decode forward; a request behind the current picture, or far enough ahead that a
// key frame lies between, seeks back to a key frame and decodes forward from it. After a
// seek that lands too late (containers that seek by byte search) it seeks further back, so
// the picture is always exact.
class VideoReader {
  public:
    VideoReader();
    ~VideoReader();
    // fmt stays owned by the caller and must outlive the reader. 0 or an AVERROR code. With
    // squarePixels, pictures of non-square pixels are widened or narrowed to the shape they
    // are shown at (height kept), as a player would show them.
    int open(AVFormatContext* fmt, int streamIndex, bool squarePixels = false);
    void close();
    bool isOpen() const { return m_dec != nullptr; }

    // The last picture whose time stamp (stream ticks) is at most target; the first picture
    // when target lies before it. Null on failure, with the AVERROR code in *err.
    const AVFrame* frameAt(int64_t target, int* err);
    // The picture frameAt last returned as top-down 0x00RRGGBB rows of width() pixels,
    // converted once per picture.
    const uint32_t* shownPixels(int* err);

    // True when the stream ended before reaching target: the file holds no picture for it.
    bool endedBefore(int64_t target) const {
        return m_eof && !m_aheadValid && m_shownValid && m_shownTicks < target;
    }

    AVStream* stream() const { return m_stream; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int64_t startTicks() const { return m_startTicks; }
    int seekCount() const { return m_seeks; }

  private:
    int decodeNext(AVFrame* out);
    int64_t ticksOf(const AVFrame* f);
    void seekFor(int64_t target, int* err);
    void reset();
    bool keyFrameBetween(int64_t target) const;

    AVFormatContext* m_fmt = nullptr;
    AVStream* m_stream = nullptr;
    int m_index = -1;
    CodecPtr m_dec;
    PacketPtr m_pkt;
    FramePtr m_shown, m_ahead;
    bool m_shownValid = false, m_aheadValid = false, m_eof = false, m_sentFlush = false;
    bool m_needKey = false;
    int64_t m_shownTicks = 0, m_aheadTicks = 0, m_lastTicks = AV_NOPTS_VALUE;
    int64_t m_lastPacketDts = AV_NOPTS_VALUE;
    int64_t m_startTicks = 0, m_frameTicks = 1, m_secondTicks = 1;
    uint64_t m_serial = 0, m_convertedSerial = ~uint64_t(0);
    int m_width = 0, m_height = 0;
    int m_seeks = 0;
    SwsPtr m_sws;
    std::vector<uint32_t> m_pixels;
    std::vector<uint32_t> m_padded; // the converter's output when rows need padding
};

} // namespace quil::ff
