#include "encoder/engine/encodingjob.h"

#include "encoder/media/streamsource.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kCaptionError = "Quillreel Encoder Error";
constexpr const char* kCaptionWarning = "Quillreel Encoder Warning";
constexpr const char* kCaptionVideoError = "Video Encoding Error";

bool endsWithNoCase(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) {
            return false;
        }
    }
    return true;
}

bool isMpegSystemName(const std::string& s) {
    return s.size() > 4 && (endsWithNoCase(s, ".mpg") || endsWithNoCase(s, ".mpeg"));
}

bool isMp3Name(const std::string& s) { return s.size() > 4 && endsWithNoCase(s, ".mp3"); }

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string cut(const std::string& s, size_t n) { return s.size() > n ? s.substr(0, n) : s; }

} // namespace

EncodingJob::EncodingJob(OrbanwickMovieEncoder& engine, JobHost& host, MpegAudioTools tools)
    : m_engine(engine), m_host(host), m_tools(std::move(tools)) {}

EncodingJob::~EncodingJob() { wait(); }

void EncodingJob::wait() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::string EncodingJob::temporaryFile() const {
    std::lock_guard lock(m_mutex);
    return m_tempFile;
}

void EncodingJob::setTemporaryFile(const std::string& path) {
    std::lock_guard lock(m_mutex);
    m_tempFile = path;
}

void EncodingJob::deleteTemporaryFile() {
    std::lock_guard lock(m_mutex);
    if (!m_tempFile.empty()) {
        std::remove(m_tempFile.c_str());
        m_tempFile.clear();
    }
}

void EncodingJob::requestStop() {
    m_engine.RequestStop();
    deleteTemporaryFile();
}

void EncodingJob::closeOutput() {
    std::lock_guard lock(m_mutex);
    if (m_output) {
        std::fclose(m_output);
        m_output = nullptr;
    }
}

bool EncodingJob::refuse(const std::string& caption, const std::string& text) {
    m_host.refuse(caption, text);
    deleteTemporaryFile();
    m_host.setControlsEnabled(true);
    return false;
}

std::string EncodingJob::AdjustedAudioPath(int mode, const std::string& videoPath,
                                           const std::string& audioPath) {
    std::string audio;
    switch (mode) {
    case kEncodeVideoWithAudio:
        audio = videoPath;
        break;
    case kEncodeVideoOnly:
        break;
    default:
        audio = audioPath;
        break;
    }
    if (isMpegSystemName(audio)) {
        audio += ".mp3.wav";
    } else if (isMp3Name(audio)) {
        audio += ".wav";
    }
    return audio;
}

const char* EncodingJob::OpenSourcesForMode(OrbanwickMovieEncoder& engine, int mode,
                                            const std::string& videoPath,
                                            const std::string& audioPath, bool videoOnly) {
    const std::string video = mode == kEncodeAudioOnly ? std::string() : videoPath;
    const std::string audio = videoOnly ? std::string() : AdjustedAudioPath(mode, videoPath, audioPath);
    engine.CloseSources();
    const char* error = engine.OpenSources(audio.c_str(), video.c_str());
    if (error) {
        engine.CloseSources();
    }
    return error;
}

bool EncodingJob::start(JobFields& fields, bool unattended, bool batchRunning) {
    if (m_running.load()) {
        return false;
    }
    wait(); // a worker that has ended but was not yet joined
    m_host.setControlsEnabled(false);
    m_host.setStatusLine("");

    if (fileExists(fields.output_file) && !unattended && !batchRunning &&
        !m_host.prompt().askOkCancel(kCaptionWarning, "Overwrite existing file?", PromptIcon::Warning)) {
        m_host.setControlsEnabled(true);
        return false;
    }
    if (fields.dbname.empty() || fields.dbname.size() > 30) {
        return refuse(kCaptionError, "You must specify a Palm file name from 1 to 30 characters.");
    }

    const int mode = fields.encodemode;
    if (!fields.source_file.empty() &&
        (mode == kEncodeVideoWithAudio || (mode == kEncodeVideoSeparateAudio && fields.asource_file.empty()))) {
        fields.asource_file = fields.source_file;
    }
    if (mode != kEncodeAudioOnly && fields.source_file.empty()) {
        return refuse(kCaptionError, "You must specify a video source AVI or QuickTime file.");
    }
    if (mode != kEncodeVideoOnly && fields.asource_file.empty()) {
        return refuse(kCaptionError,
                      "You must specify an audio source AVI, QuickTime, .mp3, or .wav file.");
    }

    if (mode != kEncodeAudioOnly && m_tools.probeVideo) {
        if (FILE* f = std::fopen(fields.source_file.c_str(), "rb")) {
            const int type = m_tools.probeVideo(f);
            std::fclose(f);
            if (type == 2) {
                return refuse(kCaptionError,
                              "The selected video file is in MPEG-2 format.  Due to licensing "
                              "restrictions of the Motion Picture Experts Group, only MPEG-1 files "
                              "are supported.");
            }
        }
    }

    const std::string& audio = fields.asource_file;
    if (mode != kEncodeVideoOnly && (isMpegSystemName(audio) || isMp3Name(audio))) {
        std::string mp3 = audio;
        if (isMpegSystemName(audio)) {
            mp3 = audio + ".mp3";
            if (!m_tools.extractAudio || m_tools.extractAudio(audio, mp3) != 0) {
                std::remove(mp3.c_str());
                return refuse(kCaptionVideoError,
                              "Could not find valid audio blocks in the specified MPEG file.  Try "
                              "encoding the movie as a video-only file.");
            }
            setTemporaryFile(mp3);
        }
        const std::string wav = mp3 + ".wav";
        if (!m_tools.decodeToWav || m_tools.decodeToWav(mp3, wav) != 0) {
            std::remove(wav.c_str());
            return refuse(kCaptionVideoError,
                          "Could not decode the audio data in the specified MPEG file.  Try "
                          "encoding the movie as a video-only file.");
        }
        deleteTemporaryFile();
        setTemporaryFile(wav);
    }

    if (mode != kEncodeAudioOnly) {
        if (const char* error = OpenSourcesForMode(m_engine, mode, fields.source_file, audio, false)) {
            const std::string text = error;
            m_engine.ReportProgress(kProgressFailed, 0, reinterpret_cast<intptr_t>(text.c_str()));
            deleteTemporaryFile();
            return false;
        }
        double fps = 0, step = 0;
        int frames = 0, records = 0;
        int first = m_engine.nFrameStart, end = m_engine.nFrameEnd;
        m_engine.ComputeFrameRange(m_engine.nMaxFrameRate, &fps, &frames, &step, &records, nullptr,
                                   &first, &end);
        const bool hasAudio = m_engine.HasAudio();
        m_engine.CloseSources();
        if (int64_t(frames) + records + 1 > kMaxRecords) {
            return refuse(kCaptionVideoError,
                          "Output file is too long.  Completed Quillreel (Video frames + Audio "
                          "blocks) cannot exceed 65536 records.  Try breaking up the source movie "
                          "or encoding at a lower frame rate.");
        }
        m_host.setProgressRange(hasAudio ? 1500 : 1200);
    }

    m_running.store(true);
    m_thread = std::thread(&EncodingJob::worker, this, fields);
    return true;
}

void EncodingJob::worker(JobFields fields) {
    const std::string output = cut(fields.output_file, 259);
    const std::string dbname = cut(fields.dbname, 127);
    m_engine.author = cut(fields.author, 127);
    m_engine.title = cut(fields.title, 127);
    m_engine.holding = fields.holding;
    m_engine.looping = fields.looping;
    const int mode = fields.encodemode;

    auto fail = [this](const char* text) {
        m_engine.ReportProgress(kProgressFailed, 0, reinterpret_cast<intptr_t>(text));
    };
    auto warn = [this](const char* text) {
        m_engine.ReportProgress(kProgressWarning, 0, reinterpret_cast<intptr_t>(text));
    };

    if (const char* error =
            OpenSourcesForMode(m_engine, mode, fields.source_file, fields.asource_file, false)) {
        const std::string text = error;
        fail(text.c_str());
    } else {
        const bool hasVideo = m_engine.HasVideo();
        const bool hasAudio = m_engine.HasAudio();
        const char* noVideo = "The source video file you have selected has no video and cannot be "
                              "used as the encoding source.";
        bool ok = true;
        if (mode == kEncodeVideoOnly && !hasVideo) {
            fail(noVideo);
            ok = false;
        } else if (mode == kEncodeAudioOnly && !hasAudio) {
            fail("The source audio file you have selected has no audio and cannot be used as the "
                 "encoding source.");
            ok = false;
        } else if (mode == kEncodeVideoWithAudio || mode == kEncodeVideoSeparateAudio) {
            if (!hasVideo && !hasAudio) {
                fail(noVideo);
                ok = false;
            } else {
                if (!hasAudio) {
                    warn("The source audio file you have selected has compressed or missing audio, "
                         "or--like MPEG-Layer III--does not conform to the AVI format specification "
                         "required by Video for Windows. The generated movie will not contain audio.");
                }
                if (!hasVideo) {
                    warn("The source video file you have selected has no video and will be "
                         "ignored.  The generated movie will not contain video.");
                }
            }
        }
        if (ok) {
            FILE* out = std::fopen(output.c_str(), "wb");
            if (!out) {
                fail("Unable to create the output file.");
            } else {
                {
                    std::lock_guard lock(m_mutex);
                    m_output = out;
                }
                if (hasVideo) {
                    m_engine.EncodeVideoMovie(out, dbname.c_str(), m_engine.nScreenWidth,
                                              m_engine.nScreenHeight, m_engine.nColorDepth,
                                              m_engine.fFlipImageVertically,
                                              m_engine.fFlipImageHorizontally,
                                              m_engine.fRotateImageSideways,
                                              float(m_engine.rBrightness), float(m_engine.rContrast),
                                              m_engine.nFrameStart, m_engine.nFrameEnd);
                } else {
                    m_engine.EncodeAudioMovie(out, dbname.c_str());
                }
                closeOutput();
            }
        }
    }
    m_engine.CloseSources();
    deleteTemporaryFile();
    m_running.store(false);
}
