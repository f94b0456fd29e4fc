// The engine object: sources, stop flag, preview description and frame range. The two
// encode operations live in encodevideo.cpp and encodeaudio.cpp.
#include "encoder/engine/movieencoder.h"

#include "encoder/engine/engineparts.h"
#include "encoder/engine/enginetables.h"
#include "encoder/engine/framerules.h"
#include "encoder/media/streamsource.h"
#include "encoder/media/vbitmap.h"

#include "encoder/media/mediamessage.h"

#include <cctype>
#include <cstring>
#include <sys/stat.h>
#include <utility>

namespace {

// Paths of at least five characters ending in ".mov", in any case.
bool EndsWithMov(const char* path) {
    const size_t n = std::strlen(path);
    if (n < 5) {
        return false;
    }
    const char* end = path + n - 4;
    return end[0] == '.' && std::tolower(static_cast<unsigned char>(end[1])) == 'm' &&
           std::tolower(static_cast<unsigned char>(end[2])) == 'o' &&
           std::tolower(static_cast<unsigned char>(end[3])) == 'v';
}

} // namespace

OrbanwickMovieEncoder::OrbanwickMovieEncoder()
    : m_tables(std::make_unique<EngineTables>(size_t(kFrameBufferBytes))) {
    SetupPreviewBitmap(320, 720, 8);
}

OrbanwickMovieEncoder::~OrbanwickMovieEncoder() = default;

AudioStreamSource* OrbanwickMovieEncoder::GetAudioSource() { return m_audioSource; }

VideoStreamSource* OrbanwickMovieEncoder::GetVideoSource() { return m_videoSource; }

void OrbanwickMovieEncoder::CloseSources() {
    if (m_videoSource) {
        m_videoSource->Close();
        m_videoSource = nullptr;
    }
    if (m_audioSource) {
        m_audioSource->Close();
        m_audioSource = nullptr;
    }
}

namespace {

bool FileReadable(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        return false;
    }
    std::fclose(f);
    return true;
}

} // namespace

const char* OrbanwickMovieEncoder::OpenSources(const char* audioFile, const char* videoFile) {
    bool quickTimeMissing = false;
    if (videoFile && *videoFile) {
        if (m_videoSource) {
            m_videoSource->Close();
            m_videoSource = nullptr;
        }
        if (m_videoSourceList.empty()) {
            return "Internal Error: A video file was specified but the list of video stream "
                   "sources is empty.";
        }
        if (!FileReadable(videoFile)) {
            return "The specified video file doesn't exist";
        }
        struct stat st;
        if (::stat(videoFile, &st) != 0 || st.st_size >= 2147483647) {
            showMediaMessage(
                "Video file too large",
                "The selected video file is larger than 2 Gigabytes, and may be unreadable due to "
                "size limitations in Video for Windows and most versions of Quicktime.  If blank "
                "frames are encountered, try converting the file to a compressed format like Intel "
                "Indeo.  This can be done using the free program VirtualDub "
                "(http://www.virtualdub.org).");
        }
        const bool mov = EndsWithMov(videoFile);
        bool noVideo = false;
        for (VideoStreamSource* candidate : m_videoSourceList) {
            const int rc = candidate->Open(videoFile);
            if (rc == kVideoOk) {
                m_videoSource = candidate;
                break;
            }
            if (rc == kVideoNoVideo) {
                noVideo = true;
                break;
            }
            if (mov && rc == kVideoImpl13 && candidate->GetSourceType() == kSourceTypeVideoQT) {
                showMediaMessage("QuickTime Video Source Initialization Error", candidate->GetErrorText(rc));
                quickTimeMissing = true;
            }
        }
        if (!m_videoSource && !noVideo) {
            return m_videoSourceList.front()->GetErrorText(kVideoBadFormat);
        }
    }
    if (audioFile && *audioFile) {
        if (m_audioSource) {
            m_audioSource->Close();
            m_audioSource = nullptr;
        }
        if (m_audioSourceList.empty()) {
            return "Internal Error: An audio file was specified but the list of audio stream "
                   "sources is empty.";
        }
        if (!FileReadable(audioFile)) {
            return "The specified audio file doesn't exist";
        }
        const bool mov = EndsWithMov(audioFile);
        for (AudioStreamSource* candidate : m_audioSourceList) {
            const int rc = candidate->Open(audioFile);
            if (rc == kAudioOk) {
                m_audioSource = candidate;
                return nullptr;
            }
            if (rc == kAudioNoAudio) {
                return nullptr;
            }
            if (mov && candidate->GetSourceType() == kSourceTypeAudioQT &&
                (rc == kAudioImpl15 || (rc == kAudioImpl14 && !quickTimeMissing))) {
                showMediaMessage("QuickTime Audio Source Initialization Error", candidate->GetErrorText(rc));
            }
        }
        return m_audioSourceList.front()->GetErrorText(kAudioBadFormat);
    }
    return nullptr;
}

bool OrbanwickMovieEncoder::HasAudio() { return m_audioSource && m_audioSource->IsOpen(); }

bool OrbanwickMovieEncoder::HasVideo() { return m_videoSource && m_videoSource->IsOpen(); }

void OrbanwickMovieEncoder::ComputeFrameRange(int requestedFps, double* fps, int* frameCount,
                                              double* step, int* audioRecordCount, int* nativeFps,
                                              int* firstFrame, int* endFrame) {
    double chosenFps = 0.0;
    double frameStep = 1.0;
    int outputFrames = 0;
    if (m_videoSource) {
        m_videoSource->ComputeFrameStep(requestedFps, &chosenFps, &outputFrames, &frameStep,
                                        nativeFps);
    } else if (nativeFps) {
        *nativeFps = 0;
    }
    const OutputFrameRange range = ConvertFrameRange(*firstFrame, *endFrame, frameStep, outputFrames);
    *fps = chosenFps;
    *step = frameStep;
    *frameCount = range.frameCount;
    *firstFrame = range.first;
    *endFrame = range.end;
    *audioRecordCount = HasAudio() ? AudioRecordCountForFrames(range.frameCount, chosenFps,
                                                               audioSamplesPerSecond(),
                                                               audioSamplesPerRecord())
                                   : 0;
}

const PreviewBitmapInfo* OrbanwickMovieEncoder::GetPreviewBitmapInfo() { return &m_previewInfo; }

void OrbanwickMovieEncoder::ClearStop() { m_stop.store(false); }

void OrbanwickMovieEncoder::RequestStop() { m_stop.store(true); }

void OrbanwickMovieEncoder::SetupPreviewBitmap(int width, int height, int bitsPerPixel) {
    FillPreviewBitmapInfo(m_previewInfo, width, height, bitsPerPixel);
}

void OrbanwickMovieEncoder::ReportProgress(int, intptr_t, intptr_t) {}

void OrbanwickMovieEncoder::SwapRecordList(quil::RecordListEntry* list, int count) {
    quil::SwapRecordList(list, count);
}

void OrbanwickMovieEncoder::ComputeFitRect(int sourceWidth, int sourceHeight, double cropFactor,
                                           PixelRect* destination, SourceRect* source,
                                           int targetWidth, int targetHeight) {
    ::ComputeFitRect(sourceWidth, sourceHeight, cropFactor, destination, source, targetWidth,
                     targetHeight);
}

void OrbanwickMovieEncoder::SetSources(VideoStreamSource* video, AudioStreamSource* audio) {
    m_videoSource = video;
    m_audioSource = audio;
}

void OrbanwickMovieEncoder::SetSourceLists(std::vector<VideoStreamSource*> video,
                                           std::vector<AudioStreamSource*> audio) {
    m_videoSourceList = std::move(video);
    m_audioSourceList = std::move(audio);
}

void OrbanwickMovieEncoder::SetPreviewBuffers(uint8_t* sourcePreview, uint8_t* compressedPreview) {
    m_sourcePreview = sourcePreview;
    m_compressedPreview = compressedPreview;
}

void OrbanwickMovieEncoder::SetClock(ProgressClock clock) { m_clock = std::move(clock); }
