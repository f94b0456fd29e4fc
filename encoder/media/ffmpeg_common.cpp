// FFmpeg start-up, probing and the frame-exact video reader.
#include "encoder/media/ffmpeg_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace quil::ff {

bool initLibraries() {
    static std::once_flag once;
    static bool usable = false;
    std::call_once(once, [] {
        // Decoders complain on stderr about every damaged packet; the sources report
        // failures themselves. QUIL_FFMPEG_LOG=1 brings FFmpeg's own messages back.
        const char* log = std::getenv("QUIL_FFMPEG_LOG");
        av_log_set_level(log && *log == '1' ? AV_LOG_WARNING : AV_LOG_QUIET);
        // A damaged header can announce chunks of gigabytes, which FFmpeg would allocate
        // before finding the file far shorter; no real picture or packet needs this much.
        av_max_alloc(size_t(512) << 20);
        usable = AV_VERSION_MAJOR(avformat_version()) >= LIBAVFORMAT_VERSION_MAJOR &&
                 AV_VERSION_MAJOR(avcodec_version()) >= LIBAVCODEC_VERSION_MAJOR &&
                 AV_VERSION_MAJOR(swresample_version()) >= LIBSWRESAMPLE_VERSION_MAJOR &&
                 AV_VERSION_MAJOR(swscale_version()) >= LIBSWSCALE_VERSION_MAJOR;
    });
    return usable;
}

const AVInputFormat* probeContainer(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        return nullptr;
    }
    constexpr size_t kProbe = 1 << 16;
    std::vector<unsigned char> buf(kProbe + AVPROBE_PADDING_SIZE, 0);
    const size_t n = std::fread(buf.data(), 1, kProbe, f);
    std::fclose(f);
    if (n == 0) {
        return nullptr;
    }
    AVProbeData pd{};
    pd.filename = "";
    pd.buf = buf.data();
    pd.buf_size = int(n);
    int score = 0;
    return av_probe_input_format3(&pd, 1, &score);
}

bool isAviOrWav(const AVInputFormat* fmt) {
    return fmt && (std::strcmp(fmt->name, "avi") == 0 || std::strcmp(fmt->name, "wav") == 0);
}

int openInput(const char* path, const AVInputFormat* fmt, FormatPtr& out) {
    out.reset();
    AVFormatContext* ctx = nullptr;
    int rc = avformat_open_input(&ctx, path, fmt, nullptr);
    if (rc < 0) {
        return rc;
    }
    out.reset(ctx);
    rc = avformat_find_stream_info(ctx, nullptr);
    if (rc < 0) {
        out.reset();
        return rc;
    }
    return 0;
}

int firstStream(AVFormatContext* fmt, AVMediaType type) {
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        if (st->codecpar->codec_type == type && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
            return int(i);
        }
    }
    return -1;
}

VideoReader::VideoReader() = default;
VideoReader::~VideoReader() = default;

void VideoReader::close() {
    m_sws.reset();
    m_dec.reset();
    m_pkt.reset();
    m_shown.reset();
    m_ahead.reset();
    m_fmt = nullptr;
    m_stream = nullptr;
    m_index = -1;
    m_pixels = {};
    m_padded = {};
    m_seeks = 0;
    reset();
}

void VideoReader::reset() {
    m_shownValid = m_aheadValid = m_eof = m_sentFlush = false;
    m_lastTicks = AV_NOPTS_VALUE;
    m_lastPacketDts = AV_NOPTS_VALUE;
}

int VideoReader::open(AVFormatContext* fmt, int streamIndex, bool squarePixels) {
    close();
    AVStream* st = fmt->streams[streamIndex];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        return AVERROR_DECODER_NOT_FOUND;
    }
    CodecPtr dec(avcodec_alloc_context3(codec));
    if (!dec) {
        return AVERROR(ENOMEM);
    }
    int rc = avcodec_parameters_to_context(dec.get(), st->codecpar);
    if (rc < 0) {
        return rc;
    }
    dec->thread_count = 0;
    dec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    dec->pkt_timebase = st->time_base;
    rc = avcodec_open2(dec.get(), codec, nullptr);
    if (rc < 0) {
        return rc;
    }
    if (st->codecpar->width <= 0 || st->codecpar->height <= 0 || st->codecpar->width > 16384 ||
        st->codecpar->height > 16384 ||
        int64_t(st->codecpar->width) * st->codecpar->height > int64_t(8192) * 8192) {
        return AVERROR_INVALIDDATA;
    }
    m_pkt.reset(av_packet_alloc());
    m_shown.reset(av_frame_alloc());
    m_ahead.reset(av_frame_alloc());
    if (!m_pkt || !m_shown || !m_ahead) {
        return AVERROR(ENOMEM);
    }
    m_fmt = fmt;
    m_stream = st;
    m_index = streamIndex;
    m_dec = std::move(dec);
    m_width = st->codecpar->width;
    m_height = st->codecpar->height;
    const AVRational sar = av_guess_sample_aspect_ratio(fmt, st, nullptr);
    if (squarePixels && sar.num > 0 && sar.den > 0 && sar.num != sar.den) {
        m_width = int(std::clamp<int64_t>(av_rescale_rnd(m_width, sar.num, sar.den, AV_ROUND_NEAR_INF),
                                          1, 16384));
    }
    m_startTicks = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    const AVRational tb = st->time_base;
    AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    m_frameTicks = rate.num > 0 ? std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), tb)) : 1;
    m_secondTicks = std::max<int64_t>(1, av_rescale_q(1, AVRational{1, 1}, tb));
    reset();
    return 0;
}

int64_t VideoReader::ticksOf(const AVFrame* f) {
    int64_t t = f->best_effort_timestamp;
    if (t == AV_NOPTS_VALUE) {
        t = f->pts;
    }
    if (t == AV_NOPTS_VALUE) {
        t = m_lastTicks == AV_NOPTS_VALUE ? m_startTicks : m_lastTicks + m_frameTicks;
    }
    m_lastTicks = t;
    return t;
}

int VideoReader::decodeNext(AVFrame* out) {
    for (;;) {
        int rc = avcodec_receive_frame(m_dec.get(), out);
        if (rc == 0) {
            return 0;
        }
        if (rc == AVERROR_EOF) {
            return AVERROR_EOF;
        }
        if (rc != AVERROR(EAGAIN)) {
            return rc;
        }
        if (m_sentFlush) {
            return AVERROR_EOF;
        }
        rc = av_read_frame(m_fmt, m_pkt.get());
        if (rc < 0) {
            // End of file, or a damaged tail: drain what the decoder holds.
            avcodec_send_packet(m_dec.get(), nullptr);
            m_sentFlush = true;
            continue;
        }
        if (m_pkt->stream_index != m_index || (m_needKey && !(m_pkt->flags & AV_PKT_FLAG_KEY))) {
            av_packet_unref(m_pkt.get());
            continue;
        }
        m_needKey = false;
        if (m_pkt->dts != AV_NOPTS_VALUE) {
            m_lastPacketDts = m_pkt->dts;
        }
        rc = avcodec_send_packet(m_dec.get(), m_pkt.get());
        av_packet_unref(m_pkt.get());
        if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_INVALIDDATA) {
            return rc;
        }
    }
}

bool VideoReader::keyFrameBetween(int64_t target) const {
    const int i = av_index_search_timestamp(m_stream, target, AVSEEK_FLAG_BACKWARD);
    if (i >= 0) {
        const AVIndexEntry* e = avformat_index_get_entry(m_stream, i);
        if (!e) {
            return false;
        }
        // Decoding up to a second of pictures is cheaper than a seek.
        const int64_t here = m_lastPacketDts == AV_NOPTS_VALUE ? m_startTicks : m_lastPacketDts;
        return e->timestamp > here + m_secondTicks;
    }
    // Without an index, only a long way ahead is worth a search.
    return target > m_shownTicks + 10 * m_secondTicks;
}

void VideoReader::seekFor(int64_t target, int* err) {
    ++m_seeks;
    int64_t back = 0;
    for (int attempt = 0;; ++attempt) {
        const int64_t ts = target - back;
        const bool fromStart = ts <= m_startTicks || attempt >= 6;
        int rc;
        if (fromStart) {
            rc = av_seek_frame(m_fmt, m_index, m_startTicks, AVSEEK_FLAG_BACKWARD);
            if (rc < 0) {
                rc = avformat_seek_file(m_fmt, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
            }
        } else {
            rc = av_seek_frame(m_fmt, m_index, ts, AVSEEK_FLAG_BACKWARD);
        }
        avcodec_flush_buffers(m_dec.get());
        reset();
        // From the very start every packet is decoded, even in streams that mark no key frames.
        m_needKey = !fromStart;
        if (rc < 0 && fromStart) {
            *err = rc;
            m_eof = true;
            return;
        }
        if (rc >= 0) {
            rc = decodeNext(m_ahead.get());
            if (rc == AVERROR_EOF && fromStart) {
                m_eof = true;
                return;
            }
            if (rc < 0 && rc != AVERROR_EOF) {
                *err = rc;
                m_eof = true;
                return;
            }
            if (rc == 0) {
                m_aheadTicks = ticksOf(m_ahead.get());
                m_aheadValid = true;
                if (m_aheadTicks <= target || fromStart) {
                    return;
                }
            }
        }
        back = std::max(2 * back, m_secondTicks);
    }
}

const AVFrame* VideoReader::frameAt(int64_t target, int* err) {
    *err = 0;
    if (!m_dec) {
        *err = AVERROR(EINVAL);
        return nullptr;
    }
    if (m_shownValid && target >= m_shownTicks && (m_aheadValid ? target < m_aheadTicks : m_eof)) {
        return m_shown.get();
    }
    const bool behind = m_shownValid && target < m_shownTicks;
    const bool fresh = !m_shownValid && !m_aheadValid;
    if (behind || ((m_shownValid || fresh) && keyFrameBetween(target))) {
        seekFor(target, err);
        if (*err) {
            return nullptr;
        }
    }
    for (;;) {
        if (!m_aheadValid) {
            if (m_eof) {
                break;
            }
            const int rc = decodeNext(m_ahead.get());
            if (rc == AVERROR_EOF) {
                m_eof = true;
                break;
            }
            if (rc < 0) {
                *err = rc;
                return nullptr;
            }
            m_aheadTicks = ticksOf(m_ahead.get());
            m_aheadValid = true;
        }
        if (m_shownValid && m_aheadTicks > target) {
            break;
        }
        std::swap(m_shown, m_ahead);
        m_shownTicks = m_aheadTicks;
        m_shownValid = true;
        m_aheadValid = false;
        ++m_serial;
        if (m_shownTicks > target) {
            break; // before the first picture: show the first
        }
    }
    if (!m_shownValid) {
        *err = AVERROR_EOF;
        return nullptr;
    }
    return m_shown.get();
}

const uint32_t* VideoReader::shownPixels(int* err) {
    *err = 0;
    if (!m_shownValid) {
        *err = AVERROR(EINVAL);
        return nullptr;
    }
    if (m_convertedSerial == m_serial && !m_pixels.empty()) {
        return m_pixels.data();
    }
    const AVFrame* f = m_shown.get();
    if (f->width <= 0 || f->height <= 0) {
        *err = AVERROR_INVALIDDATA;
        return nullptr;
    }
    m_sws.reset(sws_getCachedContext(m_sws.release(), f->width, f->height, AVPixelFormat(f->format),
                                     m_width, m_height, AV_PIX_FMT_BGR0, SWS_BICUBIC, nullptr,
                                     nullptr, nullptr));
    if (!m_sws) {
        *err = AVERROR(ENOSYS);
        return nullptr;
    }
    // The matrix the picture says it uses (BT.601 when it says nothing), and its range.
    const int space = f->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : int(f->colorspace);
    const int fullRange = f->color_range == AVCOL_RANGE_JPEG || f->format == AV_PIX_FMT_YUVJ420P ||
                          f->format == AV_PIX_FMT_YUVJ422P || f->format == AV_PIX_FMT_YUVJ444P;
    int* invTable = nullptr;
    int* table = nullptr;
    int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(m_sws.get(), &invTable, &srcRange, &table, &dstRange, &brightness,
                                 &contrast, &saturation) >= 0) {
        sws_setColorspaceDetails(m_sws.get(), sws_getCoefficients(space), fullRange, table,
                                 dstRange, brightness, contrast, saturation);
    }
    // swscale's vector converters write each row in whole groups of 8 or 16 pixels, and
    // where such a group would pass the row's stride they leave the row's last pixels
    // unwritten instead. Rows padded to 16 pixels get every pixel written and keep the
    // overhang inside the row; they are then packed into the picture the sources describe.
    const size_t width = size_t(m_width);
    const size_t stride = (width + 15) & ~size_t(15);
    try {
        m_pixels.resize(width * size_t(m_height));
        if (stride != width) {
            m_padded.resize(stride * size_t(m_height));
        }
    } catch (const std::bad_alloc&) {
        *err = AVERROR(ENOMEM);
        return nullptr;
    }
    uint32_t* out = stride != width ? m_padded.data() : m_pixels.data();
    uint8_t* dst[4] = {reinterpret_cast<uint8_t*>(out), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(stride * 4), 0, 0, 0};
    const int rows = sws_scale(m_sws.get(), f->data, f->linesize, 0, f->height, dst, dstStride);
    if (rows <= 0) {
        *err = AVERROR_INVALIDDATA;
        return nullptr;
    }
    if (stride != width) {
        for (size_t y = 0; y < size_t(m_height); ++y) {
            std::copy_n(out + y * stride, width, m_pixels.data() + y * width);
        }
    }
    m_convertedSerial = m_serial;
    return m_pixels.data();
}

} // namespace quil::ff
