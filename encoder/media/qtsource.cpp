// The QuickTime-model sources over FFmpeg. Movie time starts at the container's start time;
// the time scale is the video (else sound) stream's tick rate when that is a whole number of
// ticks per second small enough for the 32-bit rates of the stream records, else 600.
// Result codes in texts are FFmpeg's.
#include "encoder/media/qtsource.h"

#include "encoder/media/ffmpeg_internal.h"
#include "encoder/media/mediamessage.h"
#include "encoder/media/vbitmap.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

constexpr const char* kNotInstalledText =
    "QuickTime is either not installed or the installed version is too old.  In order to load "
    "QuickTime movies, please install QuickTime version 5.0 or later.";

// A picture due within this much after a grid point still counts as showing at it: time
// bases coarser than a microsecond round picture times by up to half a tick.
constexpr int64_t kGridToleranceUs = 1000;

// Sound at more samples per second than any real recording is a damaged header.
constexpr int kMaxSampleRate = 1000000;

struct MovieClock {
    int64_t originUs = 0;
    int64_t durationUs = 0;
    uint32_t timeScale = 600;
    int64_t durationTicks = 0; // in time-scale units
};

uint32_t usableScale(const AVStream* st, uint32_t limit) {
    if (st && st->time_base.num == 1 && st->time_base.den > 0 &&
        uint32_t(st->time_base.den) <= limit) {
        return uint32_t(st->time_base.den);
    }
    return 0;
}

// The end of the last packet of any stream, in microseconds, read through the whole file;
// the reading position goes back to the start. -1 when no packet has a time.
int64_t scanEndUs(AVFormatContext* fmt) {
    quil::ff::PacketPtr pkt(av_packet_alloc());
    if (!pkt) {
        return -1;
    }
    int64_t end = -1;
    while (av_read_frame(fmt, pkt.get()) >= 0) {
        const AVStream* st = fmt->streams[pkt->stream_index];
        int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (t != AV_NOPTS_VALUE) {
            t += std::max<int64_t>(pkt->duration, 0);
            end = std::max(end, av_rescale_q(t, st->time_base, AV_TIME_BASE_Q));
        }
        av_packet_unref(pkt.get());
    }
    if (av_seek_frame(fmt, -1, fmt->start_time != AV_NOPTS_VALUE ? fmt->start_time : 0,
                      AVSEEK_FLAG_BACKWARD) < 0) {
        avformat_seek_file(fmt, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
    }
    return end;
}

MovieClock movieClock(AVFormatContext* fmt) {
    MovieClock c;
    c.originUs = fmt->start_time != AV_NOPTS_VALUE ? fmt->start_time : 0;
    int64_t d = fmt->duration != AV_NOPTS_VALUE ? fmt->duration : 0;
    // Containers without a stated duration (MPEG program streams) only have FFmpeg's guess
    // from the bit rate or a look at the file's tail; the movie's real end takes one pass.
    if (fmt->duration_estimation_method != AVFMT_DURATION_FROM_STREAM) {
        const int64_t end = scanEndUs(fmt);
        if (end > c.originUs) {
            d = end - c.originUs;
        }
    }
    if (d <= 0) {
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            const AVStream* st = fmt->streams[i];
            if (st->duration != AV_NOPTS_VALUE) {
                d = std::max(d, av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q));
            }
        }
    }
    c.durationUs = std::max<int64_t>(d, 0);
    // rate = scale * 10000 must fit 32 bits.
    constexpr uint32_t kLimit = UINT32_MAX / 10000;
    const int v = quil::ff::firstStream(fmt, AVMEDIA_TYPE_VIDEO);
    const int a = quil::ff::firstStream(fmt, AVMEDIA_TYPE_AUDIO);
    uint32_t scale = v >= 0 ? usableScale(fmt->streams[v], kLimit) : 0;
    if (!scale && a >= 0) {
        scale = usableScale(fmt->streams[a], kLimit);
    }
    c.timeScale = scale ? scale : 600;
    c.durationTicks = av_rescale_rnd(c.durationUs, c.timeScale, AV_TIME_BASE, AV_ROUND_DOWN);
    return c;
}

// The full path of a name, or false.
bool fullPath(const char* name, std::string& out) {
    if (!name || !*name) {
        return false;
    }
    char* p = realpath(name, nullptr);
    if (!p) {
        return false;
    }
    out = p;
    std::free(p);
    return true;
}

} // namespace

int16_t CommonStreamSourceQT::InitQuickTime() {
    return quil::ff::initLibraries() ? 0 : kNotInstalled;
}

// ---------------------------------------------------------------------------------------
// Video

struct VideoStreamSourceQT::Impl {
    quil::ff::FormatPtr fmt;
    quil::ff::VideoReader reader;
    MovieClock clock;
    BITMAPINFO dib;
};

VideoStreamSourceQT::VideoStreamSourceQT() = default;
VideoStreamSourceQT::~VideoStreamSourceQT() {
    Close();
}

void VideoStreamSourceQT::Close() {
    m.reset();
}

bool VideoStreamSourceQT::IsOpen() {
    return m && m->reader.isOpen();
}

int VideoStreamSourceQT::InitLibrary() {
    const int16_t rc = InitQuickTime();
    if (uint16_t(rc) == 60035) {
        return kVideoImpl13;
    }
    return rc != 0 ? SetMacOSError(rc) : 0;
}

int VideoStreamSourceQT::SetMacOSError(int code) {
    std::snprintf(m_qtErrorText, sizeof m_qtErrorText, "QuickTime Macintosh OS error %ld",
                  long(code));
    return kVideoImpl11;
}

int VideoStreamSourceQT::SetQuickDrawError(int code) {
    std::snprintf(m_qtErrorText, sizeof m_qtErrorText, "QuickTime QuickDraw error %ld", long(code));
    return kVideoImpl12;
}

int VideoStreamSourceQT::Open(const char* name) {
    if (InitLibrary() != 0) {
        return kVideoImpl13;
    }
    Close();
    std::string path;
    if (!fullPath(name, path)) {
        return kVideoFileMissing;
    }
    auto impl = std::make_unique<Impl>();
    int rc = quil::ff::openInput(path.c_str(), nullptr, impl->fmt);
    if (rc < 0) {
        return SetMacOSError(rc);
    }
    const int index = quil::ff::firstStream(impl->fmt.get(), AVMEDIA_TYPE_VIDEO);
    if (index < 0) {
        return kVideoNoVideo; // a sound-only movie: no video stream to offer
    }
    rc = impl->reader.open(impl->fmt.get(), index);
    if (rc < 0) {
        return SetQuickDrawError(rc);
    }
    impl->clock = movieClock(impl->fmt.get());
    impl->dib.bmiHeader.biWidth = impl->reader.width();
    impl->dib.bmiHeader.biHeight = -impl->reader.height();
    impl->dib.bmiHeader.biBitCount = 32;
    m = std::move(impl);
    return kVideoOk;
}

int VideoStreamSourceQT::GetLength() {
    if (!IsOpen() || m->clock.timeScale == 0) {
        return 0;
    }
    return int(std::min<int64_t>(m->clock.durationTicks * 60 / m->clock.timeScale, INT32_MAX));
}

int VideoStreamSourceQT::GetStart() {
    if (!IsOpen()) {
        return 0;
    }
    const AVStream* st = m->reader.stream();
    if (st->start_time == AV_NOPTS_VALUE) {
        return 0;
    }
    const int64_t us =
        av_rescale_q(st->start_time, st->time_base, AV_TIME_BASE_Q) - m->clock.originUs;
    return int(std::clamp<int64_t>(us * 60 / AV_TIME_BASE, 0, INT32_MAX));
}

int VideoStreamSourceQT::GetInfo(VideoStreamInfo* info) {
    if (!IsOpen()) {
        return kVideoNotOpen;
    }
    info->rate = m->clock.timeScale * 60;
    info->scale = m->clock.timeScale;
    info->length = GetLength();
    info->width = m->reader.width();
    info->height = m->reader.height();
    return kVideoOk;
}

int VideoStreamSourceQT::GetFrame(int index, std::unique_ptr<VBitmap>& bitmap) {
    if (!IsOpen()) {
        return kVideoNotOpen;
    }
    if (index < 0) {
        return kVideoReadError;
    }
    const AVStream* st = m->reader.stream();
    const int64_t us = m->clock.originUs + av_rescale(index, AV_TIME_BASE, 60) + kGridToleranceUs;
    const int64_t target = av_rescale_q_rnd(us, AV_TIME_BASE_Q, st->time_base, AV_ROUND_DOWN);
    int err = 0;
    if (!m->reader.frameAt(target, &err)) {
        return err == AVERROR(ENOMEM) ? kVideoOutOfMemory : kVideoReadError;
    }
    const uint32_t* pixels = m->reader.shownPixels(&err);
    if (!pixels) {
        return err == AVERROR(ENOMEM) ? kVideoOutOfMemory : kVideoReadError;
    }
    if (!bitmap) {
        bitmap = std::make_unique<VBitmap>();
    }
    try {
        bitmap->InitFromDIB(&m->dib, pixels, m_flipRows);
    } catch (const std::exception&) {
        return kVideoReadError;
    }
    return bitmap->data ? kVideoOk : kVideoOutOfMemory;
}

const char* VideoStreamSourceQT::GetErrorText(unsigned code) {
    switch (code) {
    case kVideoImpl11:
    case kVideoImpl12:
        return m_qtErrorText;
    case kVideoImpl13:
        return kNotInstalledText;
    default:
        return VideoStreamSource::GetErrorText(code);
    }
}

// ---------------------------------------------------------------------------------------
// Audio

struct AudioStreamSourceQT::Impl {
    quil::ff::FormatPtr fmt;
    AVStream* st = nullptr;
    int index = -1;
    MovieClock clock;
    int64_t length = 0; // blocks of 1/10000 s
    quil::ff::CodecPtr dec;
    quil::ff::SwrPtr swr;
    quil::ff::PacketPtr pkt;
    quil::ff::FramePtr frame;
    int64_t lead = 0;             // blocks of silence before the sound track starts
    std::vector<int16_t> samples; // the sound from block `lead` on, converted so far
    std::vector<int16_t> scratch;
    bool started = false, done = false;
    int inRate = 0, inFormat = -1;
    AVChannelLayout inLayout{};

    ~Impl() { av_channel_layout_uninit(&inLayout); }

    int convert(const uint8_t** in, int count) {
        // Room for what the converter holds plus what this input makes, with a margin.
        const int64_t room =
            av_rescale_rnd(swr_get_delay(swr.get(), inRate) + count, 10000, inRate, AV_ROUND_UP) +
            64;
        if (room > (int64_t(1) << 26)) {
            return AVERROR_INVALIDDATA;
        }
        scratch.resize(size_t(room));
        uint8_t* out = reinterpret_cast<uint8_t*>(scratch.data());
        const int got = swr_convert(swr.get(), &out, int(scratch.size()), in, count);
        if (got < 0) {
            return got;
        }
        samples.insert(samples.end(), scratch.begin(), scratch.begin() + got);
        return 0;
    }

    int startConverter(const AVFrame* f, bool first) {
        inRate = f->sample_rate;
        inFormat = f->format;
        av_channel_layout_uninit(&inLayout);
        if (av_channel_layout_copy(&inLayout, &f->ch_layout) < 0) {
            return AVERROR(ENOMEM);
        }
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        SwrContext* s = nullptr;
        int rc = swr_alloc_set_opts2(&s, &mono, AV_SAMPLE_FMT_S16, 10000,
                                     const_cast<AVChannelLayout*>(&f->ch_layout),
                                     AVSampleFormat(f->format), f->sample_rate, 0, nullptr);
        swr.reset(s);
        if (rc < 0) {
            return rc;
        }
        // Mono is the plain mean of all channels, so nothing can clip.
        const int n = std::max(f->ch_layout.nb_channels, 1);
        std::vector<double> matrix(size_t(n), 1.0 / n);
        rc = swr_set_matrix(swr.get(), matrix.data(), n);
        if (rc < 0) {
            return rc;
        }
        rc = swr_init(swr.get());
        if (rc < 0) {
            return rc;
        }
        if (!first) {
            return 0;
        }
        // Sound that starts after the movie does begins with silence.
        int64_t t = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
        if (t != AV_NOPTS_VALUE) {
            const int64_t us = av_rescale_q(t, st->time_base, AV_TIME_BASE_Q) - clock.originUs;
            const int64_t silence = av_rescale(std::max<int64_t>(us, 0), 10000, AV_TIME_BASE);
            lead = std::min<int64_t>(silence, length);
        }
        return 0;
    }

    int take(const AVFrame* f) {
        if (f->sample_rate <= 0 || f->sample_rate > kMaxSampleRate ||
            f->ch_layout.nb_channels <= 0) {
            return AVERROR_INVALIDDATA;
        }
        if (swr && (f->sample_rate != inRate || f->format != inFormat ||
                    av_channel_layout_compare(&f->ch_layout, &inLayout) != 0)) {
            // The sound changes format midway: finish the old converter, go on with a new one.
            const int rc = convert(nullptr, 0);
            if (rc < 0) {
                return rc;
            }
            swr.reset();
        }
        if (!swr) {
            const bool first = !started;
            started = true;
            const int rc = startConverter(f, first);
            if (rc < 0) {
                return rc;
            }
        }
        return convert(const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    }

    // Converts until at least `upTo` samples exist or the sound ends. 0 or an error code.
    int extend(int64_t upTo) {
        while (!done && lead + int64_t(samples.size()) < upTo) {
            int rc = avcodec_receive_frame(dec.get(), frame.get());
            if (rc == 0) {
                rc = take(frame.get());
                av_frame_unref(frame.get());
                if (rc < 0) {
                    return rc;
                }
                continue;
            }
            if (rc == AVERROR_EOF) {
                if (swr) {
                    rc = convert(nullptr, 0);
                    if (rc < 0) {
                        return rc;
                    }
                }
                done = true;
                break;
            }
            if (rc != AVERROR(EAGAIN)) {
                return rc;
            }
            rc = av_read_frame(fmt.get(), pkt.get());
            if (rc < 0) {
                avcodec_send_packet(dec.get(), nullptr); // end, or a damaged tail
                continue;
            }
            if (pkt->stream_index == index) {
                rc = avcodec_send_packet(dec.get(), pkt.get());
                if (rc < 0 && rc != AVERROR_INVALIDDATA && rc != AVERROR(EAGAIN)) {
                    av_packet_unref(pkt.get());
                    return rc;
                }
            }
            av_packet_unref(pkt.get());
        }
        return 0;
    }
};

AudioStreamSourceQT::AudioStreamSourceQT() = default;
AudioStreamSourceQT::~AudioStreamSourceQT() {
    Close();
}

void AudioStreamSourceQT::Close() {
    m.reset();
}

bool AudioStreamSourceQT::IsOpen() {
    return m != nullptr;
}

int AudioStreamSourceQT::InitLibrary() {
    const int16_t rc = InitQuickTime();
    if (uint16_t(rc) == 60035) {
        return kAudioImpl14;
    }
    return rc != 0 ? SetMacOSError(rc) : 0; // the converter is always there
}

int AudioStreamSourceQT::SetMacOSError(int code) {
    std::snprintf(m_qtErrorText, sizeof m_qtErrorText, "QuickTime Macintosh OS error %ld",
                  long(code));
    return kAudioImpl12;
}

int AudioStreamSourceQT::SetQuickDrawError(int code) {
    std::snprintf(m_qtErrorText, sizeof m_qtErrorText, "QuickTime QuickDraw error %ld", long(code));
    return kAudioImpl13;
}

int AudioStreamSourceQT::Open(const char* name) {
    const int init = InitLibrary();
    if (init != 0) {
        return init;
    }
    if (!name || !*name) {
        return kAudioNoFileName;
    }
    Close();
    std::string path;
    if (!fullPath(name, path)) {
        return kAudioFileMissing;
    }
    auto impl = std::make_unique<Impl>();
    int rc = quil::ff::openInput(path.c_str(), nullptr, impl->fmt);
    if (rc < 0) {
        return SetMacOSError(rc);
    }
    impl->index = quil::ff::firstStream(impl->fmt.get(), AVMEDIA_TYPE_AUDIO);
    if (impl->index < 0) {
        return kAudioNoAudio;
    }
    impl->st = impl->fmt->streams[impl->index];
    if (impl->st->codecpar->sample_rate < 0 || impl->st->codecpar->sample_rate > kMaxSampleRate) {
        return SetMacOSError(AVERROR_INVALIDDATA);
    }
    // Sound nothing can decode is refused now rather than after the pictures are encoded.
    const AVCodec* codec = avcodec_find_decoder(impl->st->codecpar->codec_id);
    if (!codec) {
        return SetMacOSError(AVERROR_DECODER_NOT_FOUND);
    }
    impl->dec.reset(avcodec_alloc_context3(codec));
    impl->pkt.reset(av_packet_alloc());
    impl->frame.reset(av_frame_alloc());
    if (!impl->dec || !impl->pkt || !impl->frame) {
        return kAudioOutOfMemory;
    }
    rc = avcodec_parameters_to_context(impl->dec.get(), impl->st->codecpar);
    if (rc >= 0) {
        impl->dec->pkt_timebase = impl->st->time_base;
        rc = avcodec_open2(impl->dec.get(), codec, nullptr);
    }
    if (rc < 0) {
        return SetMacOSError(rc);
    }
    impl->clock = movieClock(impl->fmt.get());
    impl->length =
        std::min<int64_t>(impl->clock.durationTicks * 10000 / impl->clock.timeScale, INT32_MAX);
    m = std::move(impl);
    return kAudioOk;
}

int AudioStreamSourceQT::GetInfo(AudioStreamInfo* info) {
    if (!IsOpen()) {
        return kAudioNotOpen;
    }
    info->rate = m->clock.timeScale * 10000;
    info->scale = m->clock.timeScale;
    info->length = GetLength();
    info->bitsPerSample = 16;
    info->blockAlign = 2;
    info->channels = 1;
    info->samplesPerSec = 10000;
    info->formatTag = 0;
    return kAudioOk;
}

int AudioStreamSourceQT::GetStart() {
    return 0;
}

int AudioStreamSourceQT::GetLength() {
    return IsOpen() ? int(m->length) : 0;
}

int AudioStreamSourceQT::failRead(int location, const char* text, int code) {
    char caption[32];
    std::snprintf(caption, sizeof caption, "%s line %d", "AQT", location);
    showMediaMessage(caption, text);
    return SetMacOSError(code);
}

int AudioStreamSourceQT::Read(int firstBlock, int blockCount, void* buffer, int bufferSize,
                              int* bytesRead, int* blocksRead) {
    if (bytesRead) {
        *bytesRead = 0;
    }
    if (blocksRead) {
        *blocksRead = 0;
    }
    if (!IsOpen()) {
        return kAudioNotOpen;
    }
    if (firstBlock < 0 || blockCount <= 0 || firstBlock >= m->length) {
        return kAudioOk; // nothing of the movie lies there
    }
    const int64_t n = std::min<int64_t>(blockCount, m->length - firstBlock);
    if (!buffer) {
        if (bytesRead) {
            *bytesRead = int(std::min<int64_t>(n * 2, INT32_MAX));
        }
        if (blocksRead) {
            *blocksRead = int(n);
        }
        return kAudioOk;
    }
    const int rc = m->extend(firstBlock + n);
    if (rc < 0) {
        char text[128];
        std::snprintf(text, sizeof text, "Quicktime Audio Error:  Quicktime returned error %d", rc);
        return failRead(6, text, rc);
    }
    const int64_t fit = std::min<int64_t>(n, std::max(bufferSize, 0) / 2);
    // Before and after the sound track the movie is silent.
    uint8_t* out = static_cast<uint8_t*>(buffer);
    const int64_t have = int64_t(m->samples.size());
    for (int64_t i = 0; i < fit; ++i) {
        const int64_t k = firstBlock + i - m->lead;
        const uint16_t v = k >= 0 && k < have ? uint16_t(m->samples[size_t(k)]) : 0;
        out[2 * i] = uint8_t(v & 0xFF);
        out[2 * i + 1] = uint8_t(v >> 8);
    }
    if (bytesRead) {
        *bytesRead = int(fit * 2);
    }
    if (blocksRead) {
        *blocksRead = int(fit);
    }
    if (fit < n) {
        char caption[32];
        std::snprintf(caption, sizeof caption, "%s line %d", "AQT", 7);
        showMediaMessage(caption, "Quicktime Audio Error:  Sound buffer too small");
        return kAudioBufferTooSmall;
    }
    return kAudioOk;
}

const char* AudioStreamSourceQT::GetErrorText(unsigned code) {
    switch (code) {
    case kAudioImpl12:
    case kAudioImpl13:
        return m_qtErrorText;
    case kAudioImpl14:
        return kNotInstalledText;
    case kAudioImpl15:
        return "QuickTime movie sound export components are not available.  In order to load "
               "QuickTime audio, please reinstall QuickTime, making sure that the QuickTime "
               "Authoring package is selected.";
    default:
        return AudioStreamSource::GetErrorText(code);
    }
}
