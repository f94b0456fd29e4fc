// Base behaviour shared by every video and audio source: error texts, OS error texts and
// the choice of output frame rate.
#include "encoder/media/streamsource.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kVideoErrorTexts[] = {
    "No error",
    "The video stream isn't open",
    "An out-of-memory error occurred while processing the specified video file",
    "The video file wasn't specified",
    "The video file doesn't exist",
    "The file doesn't contain video data",
    ("The video file is corrupt, in an unsupported format, or cannot be converted due to DRM "
     "or legal restrictions (e.g. MPEG-2 or MPEG-4)"),
    "An error occurred while reading from the video file",
    "An error occurred while opening the video file",
    "Unknown error",
};

constexpr const char* kAudioErrorTexts[] = {
    "No error",
    "An out-of-memory error occurred while processing the specified audio file",
    "The audio file wasn't specified",
    "The audio file doesn't exist",
    "The file doesn't contain audio data",
    ("The audio file is corrupt, compressed, or--like MPEG-Layer III data--does not conform to "
     "the AVI format specification required by Video for Windows."),
    "An error occurred while reading from the audio file",
    "An error occurred while opening the audio file",
    "The audio stream isn't open",
    "Specified data buffer is too small, not all data returned",
    "Unknown error",
};

} // namespace

void FormatOSErrorText(int osError, const char* prefix, char* out, size_t outSize) {
    if (outSize == 0) {
        return;
    }
    char system[1024];
    const char* text = nullptr;
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    text = strerror_r(osError, system, sizeof system);
#else
    text = strerror_r(osError, system, sizeof system) == 0 ? system : nullptr;
#endif
    // glibc answers an unknown code with "Unknown error N": the system has no text for it.
    if (text == nullptr || *text == '\0' || std::strncmp(text, "Unknown error", 13) == 0) {
        std::snprintf(out, outSize, "OS error 0x%x", unsigned(osError));
        return;
    }
    std::snprintf(out, outSize, "%s%s", prefix, text);
    for (char* p = out; *p; ++p) {
        if (*p == '\r' || *p == '\n') {
            *p = ' ';
        }
    }
    size_t n = std::strlen(out);
    while (n > 0 && (out[n - 1] == ' ' || out[n - 1] == '\t')) {
        out[--n] = '\0';
    }
}

VideoStreamSource::VideoStreamSource() {
    m_unknownText[0] = '\0';
    m_osErrorText[0] = '\0';
}

VideoStreamSource::~VideoStreamSource() = default;

int VideoStreamSource::InitLibrary() { return 0; }

void VideoStreamSource::SetFlipRows(bool flip) { m_flipRows = flip; }

void VideoStreamSource::ComputeFrameStep(int requestedFps, double* chosenFps, int* frameCount,
                                         double* step, int* nativeFps) {
    VideoStreamInfo info;
    const int rc = GetInfo(&info);
    if (rc != 0 || info.rate == 0 || info.scale == 0) {
        // Nothing to step through: no frames rather than a division by zero.
        *chosenFps = 0.0;
        *frameCount = 0;
        *step = 1.0;
        if (nativeFps) {
            *nativeFps = 0;
        }
        return;
    }
    const double fps = double(info.rate) / double(info.scale);
    *frameCount = info.length;
    if (nativeFps) {
        *nativeFps = int(fps);
    }
    double chosen = fps;
    if (requestedFps != 0) {
        if (double(requestedFps) < fps) {
            chosen = requestedFps;
        } else {
            *chosenFps = fps;
            *step = 1.0;
            return;
        }
    } else if (fps > 15.0) {
        chosen = fps / std::ceil(fps / 12.0 + 0.5);
    }
    *chosenFps = chosen;
    *step = double(info.rate) / (chosen * double(info.scale));
    *frameCount = int(double(info.length) / *step);
}

const char* VideoStreamSource::GetErrorText(unsigned code) {
    if (code < std::size(kVideoErrorTexts)) {
        return kVideoErrorTexts[code];
    }
    if (code == kVideoOSError) {
        return m_osErrorText;
    }
    std::snprintf(m_unknownText, sizeof m_unknownText, "Unknown ErrCode %d", int(code));
    return m_unknownText;
}

int VideoStreamSource::SetOSError(int osError) {
    FormatOSErrorText(osError, "", m_osErrorText, sizeof m_osErrorText);
    return kVideoOSError;
}

AudioStreamSource::AudioStreamSource() {
    m_unknownText[0] = '\0';
    m_osErrorText[0] = '\0';
}

AudioStreamSource::~AudioStreamSource() = default;

int AudioStreamSource::InitLibrary() { return 0; }

const char* AudioStreamSource::GetErrorText(unsigned code) {
    if (code < std::size(kAudioErrorTexts)) {
        return kAudioErrorTexts[code];
    }
    if (code == kAudioOSError) {
        return m_osErrorText;
    }
    std::snprintf(m_unknownText, sizeof m_unknownText, "Unknown ErrCode %d", int(code));
    return m_unknownText;
}

int AudioStreamSource::SetErrorV(int code, va_list args) {
    if (code == kAudioOSError) {
        const int osError = va_arg(args, int);
        FormatOSErrorText(osError, "OS Error: ", m_osErrorText, sizeof m_osErrorText);
    }
    return code;
}

int AudioStreamSource::SetError(int code, ...) {
    va_list args;
    va_start(args, code);
    const int rc = SetErrorV(code, args);
    va_end(args);
    return rc;
}

void AudioStreamSource::SetOSError(int osError) {
    FormatOSErrorText(osError, "", m_osErrorText, sizeof m_osErrorText);
}
