// AVI and WAV files through FFmpeg, with the codes and texts the encoder expects from the
// AVI sources. The container is identified from the file's bytes, never from its name.
#include "encoder/media/avisource.h"

#include "encoder/media/ffmpeg_internal.h"
#include "encoder/media/mediamessage.h"
#include "encoder/media/vbitmap.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kNoHandlerText = "No format handler is registered for this AVI file format";

bool fileMissing(const char* name) {
    struct stat st;
    return stat(name, &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// The file's size, or -1 when it cannot be read.
int64_t fileSize(const char* name) {
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st;
    const int rc = fstat(fd, &st);
    ::close(fd);
    return rc == 0 ? int64_t(st.st_size) : -1;
}

bool isErrno(int av) {
    return av < 0 && av > -4096;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Video

struct VideoStreamSourceAVI::Impl {
    quil::ff::FormatPtr fmt;
    quil::ff::VideoReader reader;
    BITMAPINFO dib;
};

VideoStreamSourceAVI::VideoStreamSourceAVI() = default;
VideoStreamSourceAVI::~VideoStreamSourceAVI() {
    Close();
}

void VideoStreamSourceAVI::Close() {
    m.reset();
}

bool VideoStreamSourceAVI::IsOpen() {
    return m && m->reader.isOpen();
}

int VideoStreamSourceAVI::InitLibrary() {
    return quil::ff::initLibraries() ? 0 : kVideoImpl11;
}

int VideoStreamSourceAVI::Open(const char* name) {
    if (!name || !*name) {
        return kVideoNoFileName;
    }
    Close();
    if (fileMissing(name)) {
        return kVideoFileMissing;
    }
    const int64_t size = fileSize(name);
    if (size < 0 || size >= kMaxFileBytes) {
        return kVideoBadFormat;
    }
    if (InitLibrary() != 0) {
        return kVideoImpl11;
    }
    const AVInputFormat* container = quil::ff::probeContainer(name);
    if (!quil::ff::isAviOrWav(container)) {
        return kVideoImpl11;
    }
    auto impl = std::make_unique<Impl>();
    int rc = quil::ff::openInput(name, container, impl->fmt);
    if (rc < 0) {
        if (rc == AVERROR(ENOMEM)) {
            return kVideoOutOfMemory;
        }
        if (rc == AVERROR(EIO)) {
            return kVideoReadError;
        }
        if (rc == AVERROR(EACCES) || rc == AVERROR(EPERM)) {
            return kVideoOpenError;
        }
        if (isErrno(rc) && rc != AVERROR(EINVAL)) {
            return SetOSError(-rc);
        }
        return kVideoBadFormat;
    }
    const int index = quil::ff::firstStream(impl->fmt.get(), AVMEDIA_TYPE_VIDEO);
    if (index < 0) {
        return kVideoNoVideo;
    }
    rc = impl->reader.open(impl->fmt.get(), index);
    if (rc == AVERROR(ENOMEM)) {
        return kVideoOutOfMemory;
    }
    if (rc < 0) {
        return kVideoImpl13; // nothing can decode this stream into RGB
    }
    impl->dib.bmiHeader.biWidth = impl->reader.width();
    impl->dib.bmiHeader.biHeight = -impl->reader.height(); // rows arrive top first
    impl->dib.bmiHeader.biBitCount = 32;
    m = std::move(impl);
    return kVideoOk;
}

int VideoStreamSourceAVI::GetStart() {
    return IsOpen() ? int(m->reader.startTicks()) : 0;
}

int VideoStreamSourceAVI::GetLength() {
    if (!IsOpen()) {
        return 0;
    }
    const AVStream* st = m->reader.stream();
    if (st->nb_frames > 0) {
        return int(std::min<int64_t>(st->nb_frames, INT32_MAX));
    }
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0) {
        return int(std::min<int64_t>(st->duration, INT32_MAX));
    }
    if (m->fmt->duration != AV_NOPTS_VALUE && m->fmt->duration > 0) {
        return int(std::min<int64_t>(av_rescale_q(m->fmt->duration, AV_TIME_BASE_Q, st->time_base),
                                     INT32_MAX));
    }
    return 0;
}

int VideoStreamSourceAVI::GetInfo(VideoStreamInfo* info) {
    if (!IsOpen()) {
        return kVideoNotOpen;
    }
    // Frames are one tick of the stream's time base: rate / scale frames per second.
    const AVRational tb = m->reader.stream()->time_base;
    info->rate = uint32_t(tb.den);
    info->scale = uint32_t(tb.num);
    info->length = GetLength();
    info->width = m->reader.width();
    info->height = m->reader.height();
    return kVideoOk;
}

int VideoStreamSourceAVI::GetFrame(int index, std::unique_ptr<VBitmap>& bitmap) {
    if (!IsOpen()) {
        return kVideoNotOpen;
    }
    const int64_t start = GetStart();
    if (index < start || index >= start + GetLength()) {
        return kVideoReadError;
    }
    int err = 0;
    if (!m->reader.frameAt(index, &err)) {
        return err == AVERROR(ENOMEM) ? kVideoOutOfMemory : kVideoReadError;
    }
    if (m->reader.endedBefore(index)) {
        return kVideoReadError; // the header promises frames the file does not hold
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

const char* VideoStreamSourceAVI::GetErrorText(unsigned code) {
    switch (code) {
    case kVideoOutOfMemory:
        return "An out-of-memory error occurred while processing the specified AVI video file. "
               "Make sure you have enough free memory and that you have installed the "
               "appropriate Video for Windows AVI Codec needed by this file.";
    case kVideoImpl11:
        return kNoHandlerText;
    case kVideoImpl12:
        return m_scriptErrorText;
    case kVideoImpl13:
        return "No AVI decompressor is available that can provide 32, 24, or 16-bit RGB bitmaps";
    default:
        return VideoStreamSource::GetErrorText(code);
    }
}

// ---------------------------------------------------------------------------------------
// Audio

struct AudioStreamSourceAVI::Impl {
    quil::ff::FormatPtr fmt;
    quil::ff::PacketPtr pkt;
    AVStream* st = nullptr;
    int index = -1;
    AudioStreamInfo info;
    int64_t length = 0; // sample blocks
    int64_t startTicks = 0;
    std::vector<uint8_t> pending; // whole blocks of the last packet
    int64_t pendingBlock = 0;     // block index of pending[0]
    bool positioned = false;      // pending and the demuxer follow on from each other
    bool eof = false;

    int64_t pendingEnd() const { return pendingBlock + int64_t(pending.size()) / info.blockAlign; }
    int64_t ticksToBlock(int64_t t) const {
        return av_rescale_q_rnd(t - startTicks, st->time_base,
                                AVRational{1, int(info.samplesPerSec)}, AV_ROUND_NEAR_INF);
    }
    int64_t blockToTicks(int64_t b) const {
        return startTicks + av_rescale_q(b, AVRational{1, int(info.samplesPerSec)}, st->time_base);
    }

    // Next packet of the stream into pending: 0, AVERROR_EOF or an error.
    int readPacket() {
        for (;;) {
            const int rc = av_read_frame(fmt.get(), pkt.get());
            if (rc == AVERROR_EOF) {
                eof = true;
                return rc;
            }
            if (rc < 0) {
                return rc;
            }
            if (pkt->stream_index != index) {
                av_packet_unref(pkt.get());
                continue;
            }
            const int64_t next = pendingEnd();
            pendingBlock = pkt->pts != AV_NOPTS_VALUE ? ticksToBlock(pkt->pts) : next;
            const size_t whole =
                size_t(pkt->size) / size_t(info.blockAlign) * size_t(info.blockAlign);
            pending.assign(pkt->data, pkt->data + whole);
            av_packet_unref(pkt.get());
            return 0;
        }
    }

    // Makes pending hold block `first`, or end right before it. 0 or an error.
    int position(int64_t first) {
        if (positioned && first >= pendingBlock && first <= pendingEnd()) {
            return 0;
        }
        int64_t back = 0;
        const int64_t second = int64_t(info.samplesPerSec);
        for (int attempt = 0;; ++attempt) {
            const int64_t target = first - back;
            const bool fromStart = target <= 0 || attempt >= 6;
            int rc = av_seek_frame(fmt.get(), index, fromStart ? startTicks : blockToTicks(target),
                                   AVSEEK_FLAG_BACKWARD);
            if (rc < 0 && fromStart) {
                rc = avformat_seek_file(fmt.get(), -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
            }
            pending.clear();
            positioned = false;
            eof = false;
            if (rc < 0) {
                if (fromStart) {
                    return rc;
                }
                back = std::max(2 * back, second);
                continue;
            }
            rc = readPacket();
            if (rc < 0 && rc != AVERROR_EOF) {
                return rc;
            }
            if (rc == 0 && pendingBlock > first && !fromStart) {
                back = std::max(2 * back, second);
                continue;
            }
            // Walk forward to the packet that holds `first`.
            while (rc == 0 && pendingEnd() <= first) {
                rc = readPacket();
            }
            if (rc < 0 && rc != AVERROR_EOF) {
                return rc;
            }
            positioned = true;
            return 0;
        }
    }
};

AudioStreamSourceAVI::AudioStreamSourceAVI() = default;
AudioStreamSourceAVI::~AudioStreamSourceAVI() {
    Close();
}

void AudioStreamSourceAVI::Close() {
    m.reset();
}

bool AudioStreamSourceAVI::IsOpen() {
    return m != nullptr;
}

int AudioStreamSourceAVI::InitLibrary() {
    return quil::ff::initLibraries() ? 0 : kAudioImpl12;
}

int AudioStreamSourceAVI::Open(const char* name) {
    if (!name || !*name) {
        return kAudioNoFileName;
    }
    Close();
    if (fileMissing(name)) {
        return kAudioFileMissing;
    }
    if (InitLibrary() != 0) {
        return kAudioImpl12;
    }
    const AVInputFormat* container = quil::ff::probeContainer(name);
    if (!quil::ff::isAviOrWav(container)) {
        return kAudioImpl12;
    }
    auto impl = std::make_unique<Impl>();
    int rc = quil::ff::openInput(name, container, impl->fmt);
    if (rc < 0) {
        if (rc == AVERROR(ENOMEM)) {
            return kAudioOutOfMemory;
        }
        if (rc == AVERROR(EIO)) {
            return kAudioReadError;
        }
        if (rc == AVERROR(EACCES) || rc == AVERROR(EPERM)) {
            return kAudioOpenError;
        }
        if (isErrno(rc) && rc != AVERROR(EINVAL)) {
            return SetError(kAudioOSError, -rc);
        }
        return kAudioBadFormat;
    }
    impl->index = quil::ff::firstStream(impl->fmt.get(), AVMEDIA_TYPE_AUDIO);
    if (impl->index < 0) {
        return kAudioNoAudio;
    }
    impl->st = impl->fmt->streams[impl->index];
    const AVCodecParameters* par = impl->st->codecpar;
    uint16_t tag;
    switch (par->codec_id) {
    case AV_CODEC_ID_PCM_U8:
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S32LE:
        tag = 1;
        break;
    case AV_CODEC_ID_PCM_ALAW:
        tag = 6;
        break;
    case AV_CODEC_ID_PCM_MULAW:
        tag = 7;
        break;
    default:
        return kAudioBadFormat;
    }
    const int channels = par->ch_layout.nb_channels;
    const int bits = av_get_bits_per_sample(par->codec_id);
    // Rates beyond any real recording are a damaged header (and overflow the byte rate).
    if (channels <= 0 || par->sample_rate <= 0 || par->sample_rate > 1000000 || bits <= 0) {
        return kAudioBadFormat;
    }
    if (channels > 2) {
        return kAudioImpl15;
    }
    AudioStreamInfo& info = impl->info;
    info.formatTag = tag;
    info.channels = channels;
    info.bitsPerSample = bits;
    info.blockAlign = channels * bits / 8;
    info.samplesPerSec = uint32_t(par->sample_rate);
    // Blocks per second as the AVI header states it: bytes per second over bytes per block.
    info.rate = info.samplesPerSec * uint32_t(info.blockAlign);
    info.scale = uint32_t(info.blockAlign);
    impl->startTicks = impl->st->start_time != AV_NOPTS_VALUE ? impl->st->start_time : 0;
    const AVRational perBlock{1, par->sample_rate};
    if (impl->st->duration != AV_NOPTS_VALUE && impl->st->duration > 0) {
        impl->length = av_rescale_q(impl->st->duration, impl->st->time_base, perBlock);
    } else if (impl->fmt->duration != AV_NOPTS_VALUE && impl->fmt->duration > 0) {
        impl->length = av_rescale_q(impl->fmt->duration, AV_TIME_BASE_Q, perBlock);
    }
    impl->length = std::clamp<int64_t>(impl->length, 0, INT32_MAX);
    info.length = int32_t(impl->length);
    impl->pkt.reset(av_packet_alloc());
    if (!impl->pkt) {
        return kAudioOutOfMemory;
    }
    m = std::move(impl);
    return kAudioOk;
}

int AudioStreamSourceAVI::GetInfo(AudioStreamInfo* info) {
    if (!IsOpen()) {
        return kAudioNotOpen;
    }
    *info = m->info;
    return kAudioOk;
}

int AudioStreamSourceAVI::GetStart() {
    return 0;
}

int AudioStreamSourceAVI::GetLength() {
    return IsOpen() ? int(m->length) : 0;
}

int AudioStreamSourceAVI::failRead(int result, int firstBlock, int blockCount) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "Error $%lx reading audio data from AVI file at sample %ld, count %ld.",
                  static_cast<unsigned long>(static_cast<uint32_t>(result)), long(firstBlock),
                  long(blockCount));
    showMediaMessage("AVI Audio Reading error", text);
    return kAudioReadError;
}

int AudioStreamSourceAVI::Read(int firstBlock, int blockCount, void* buffer, int bufferSize,
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
    if (firstBlock < 0 || blockCount < 0 || bufferSize < 0) {
        return failRead(AVERROR(EINVAL), firstBlock, blockCount);
    }
    const int align = m->info.blockAlign;
    int64_t n = std::min<int64_t>(blockCount, std::max<int64_t>(m->length - firstBlock, 0));
    if (n == 0) {
        return kAudioOk;
    }
    if (!buffer) { // a size query
        if (bytesRead) {
            *bytesRead = int(std::min<int64_t>(n * align, INT32_MAX));
        }
        if (blocksRead) {
            *blocksRead = int(n);
        }
        return kAudioOk;
    }
    n = std::min<int64_t>(n, bufferSize / align);
    if (n == 0) {
        return failRead(AVERROR(ENOBUFS), firstBlock, blockCount);
    }
    int rc = m->position(firstBlock);
    if (rc < 0) {
        return failRead(rc, firstBlock, blockCount);
    }
    uint8_t* out = static_cast<uint8_t*>(buffer);
    int64_t cur = firstBlock;
    const int64_t end = firstBlock + n;
    while (cur < end) {
        if (cur >= m->pendingBlock && cur < m->pendingEnd()) {
            const int64_t take = std::min(end, m->pendingEnd()) - cur;
            std::memcpy(out + (cur - firstBlock) * align,
                        m->pending.data() + (cur - m->pendingBlock) * align, size_t(take * align));
            cur += take;
            continue;
        }
        if (m->eof) {
            break;
        }
        if (cur < m->pendingBlock) {
            // A gap in the stream's time stamps: silence of the stream's own format.
            const int64_t take = std::min(end, m->pendingBlock) - cur;
            const int fill = (m->info.bitsPerSample == 8 && m->info.formatTag == 1) ? 0x80
                             : m->info.formatTag == 6                               ? 0xD5
                             : m->info.formatTag == 7                               ? 0xFF
                                                                                    : 0;
            std::memset(out + (cur - firstBlock) * align, fill, size_t(take * align));
            cur += take;
            continue;
        }
        rc = m->readPacket();
        if (rc < 0 && rc != AVERROR_EOF) {
            m->positioned = false;
            return failRead(rc, firstBlock, blockCount);
        }
    }
    if (cur == firstBlock) {
        m->positioned = false;
        return failRead(AVERROR_EOF, firstBlock, blockCount);
    }
    if (bytesRead) {
        *bytesRead = int((cur - firstBlock) * align);
    }
    if (blocksRead) {
        *blocksRead = int(cur - firstBlock);
    }
    return kAudioOk;
}

int AudioStreamSourceAVI::SetErrorV(int code, va_list args) {
    if (code == kAudioImpl13) {
        const char* text = va_arg(args, const char*);
        std::snprintf(m_scriptErrorText, sizeof m_scriptErrorText,
                      "Avisynth reported an error opening your script:\n\n%.1900s",
                      text ? text : "");
        return code;
    }
    if (code == kAudioImpl14) {
        const unsigned long tag = va_arg(args, unsigned);
        std::snprintf(m_compressedText, sizeof m_compressedText,
                      "Your audio file contains compressed audio (type 0x%lX), which we currently "
                      "cannot handle.  Please use an audio source with uncompressed (PCM) audio.",
                      tag);
        return code;
    }
    return AudioStreamSource::SetErrorV(code, args);
}

const char* AudioStreamSourceAVI::GetErrorText(unsigned code) {
    switch (code) {
    case kAudioOutOfMemory:
        return "An out-of-memory error occurred while processing the specified AVI audio file. "
               "Make sure you have enough free memory and that you have installed the "
               "appropriate Video for Windows AVI Codec needed by this file.";
    case kAudioImpl12:
        return kNoHandlerText;
    case kAudioImpl13:
        return m_scriptErrorText;
    case kAudioImpl14:
        return m_compressedText;
    case kAudioImpl15:
        return "The audio file contains PCM audio with an unusal number of channels--more than "
               "two--which we currently cannot handle. This may result from converting "
               "5.1-channel source.  Please downmix the audio to two channels or less before "
               "encoding this file.";
    default:
        return AudioStreamSource::GetErrorText(code);
    }
}
