#include "encoder/app/core/resolutionlogic.h"

#include "encoder/app/core/choices.h"
#include "encoder/app/core/fieldnumbers.h"
#include "encoder/engine/encodingjob.h"
#include "encoder/media/streamsource.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace {
constexpr std::array<const char*, 18> kQualityWords = {
    "very low quality",
    "low quality",
    "medium quality",
    "high quality",
    "very high quality",
    "maximum quality",
    "maximum quality",
    "maximum quality",
    "maximum quality",
    "WARNING - excessively high data rate",
    "WARNING - excessively high data rate",
    "WARNING - excessively high data rate",
    "WARNING - excessively high data rate",
    "WARNING - excessively high data rate",
    "WARNING - excessively high data rate",
    "WARNING - excessively high data rate",
    "WARNING - excessively high data rate",
    "WARNING - excessively high data rate",
};

constexpr int32_t kMaxCeiling = 9000;

int screenIndexForHeight(int32_t height) {
    switch (height) {
    case 384:
        return 3;
    case 320:
        return 2;
    case 240:
        return 1;
    default:
        return 0;
    }
}

int colorIndexFor(const EncodingParameters& p) {
    if (p.fUseGrayscale) {
        return 0;
    }
    if (p.nColorDepth > 24) {
        return 4;
    }
    if (p.nColorDepth == 24) {
        return 3;
    }
    return p.nColorDepth == 16 ? 2 : 1;
}

int seekIndexFor(int32_t seconds) {
    if (seconds >= 60) {
        return 5;
    }
    if (seconds >= 30) {
        return 4;
    }
    if (seconds >= 20) {
        return 3;
    }
    if (seconds >= 10) {
        return 2;
    }
    return seconds >= 5 ? 1 : 0;
}

template <typename... Args> std::string format(const char* fmt, Args... args) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, fmt, args...);
    return buffer;
}
} // namespace

int QualityIndex(int d, int width, int height) {
    const int64_t m = int64_t{d} * (width <= 160 ? 6400 : 10000);
    const int64_t area = int64_t{width} * height;
    if (area <= 0 || m < area) {
        return 0;
    }
    return int(std::min<int64_t>(m / area - 1, int64_t(kQualityWords.size()) - 1));
}

const char* QualityWord(int index) {
    return kQualityWords[size_t(std::clamp(index, 0, int(kQualityWords.size()) - 1))];
}

int EstimatedSeekFrames(int frames, double fps, int keyFrameInterval, bool compressed) {
    if (!compressed) {
        return frames;
    }
    if (keyFrameInterval == 0) {
        return 1;
    }
    const double spacing = std::max(keyFrameInterval * fps, double((frames + 59) / 60));
    return int(frames / spacing + 1);
}

int EstimatedFileSize(int frames, int seekFrames, int d, int width, int height, int audioBlocks) {
    const int64_t full = width == 160 ? int64_t{height} * 160 : int64_t{width} * height / 4;
    const double size = double(int64_t{frames - seekFrames} * d * 100 + seekFrames * (full + 768)) +
                        double(audioBlocks) * 32768.0;
    return int(size);
}

ResolutionLogic::ResolutionLogic(OrbanwickMovieEncoder& engine, const MainWindowFields& fields,
                                 PreviewBuffers previews)
    : m_engine(engine), m_previews(previews), m_openWidth(engine.nScreenWidth),
      m_openHeight(engine.nScreenHeight), m_openDepth(engine.nColorDepth) {
    EncodingJob::OpenSourcesForMode(engine, fields.encodemode, fields.source_file,
                                    fields.asource_file, true);
    load();
}

void ResolutionLogic::updateTrackRange() {
    m_trackMaximum = m_engine.nScreenWidth > 160 ? 65 : 30;
    m_trackPosition = std::clamp(m_trackPosition, trackMinimum(), m_trackMaximum);
}

void ResolutionLogic::load() {
    m_trackPosition = (m_engine.nBytesTarget + 50) / 100;
    updateTrackRange();
    m_colorIndex = colorIndexFor(m_engine);
    m_screenIndex = screenIndexForHeight(m_engine.nScreenHeight);
    m_seekIndex = seekIndexFor(m_engine.nKeyFrameInterval);
    m_rateText = std::to_string(m_engine.nMaxFrameRate);
    m_manual = m_engine.nMaxFrameRate != 0;
    m_compress = !m_engine.fUncompressedVideo;
    recompute();
}

int ResolutionLogic::requestedRate() const {
    if (!m_manual) {
        return 0;
    }
    const auto rate = ReadUnsignedField(m_rateText);
    return rate ? int(std::min<uint32_t>(*rate, 0x7fffffff)) : 0;
}

void ResolutionLogic::recompute() {
    const int d = m_trackPosition;
    const int w = m_engine.nScreenWidth, h = m_engine.nScreenHeight;
    m_targetLine = format("Target %d bytes per frame - %s", d * 100, QualityWord(QualityIndex(d, w, h)));

    VideoStreamSource* video = m_engine.GetVideoSource();
    if (!video || !video->IsOpen()) {
        return;
    }
    double fps = 0, step = 0;
    int frames = 0, audioBlocks = 0, sourceRate = 0;
    int first = m_engine.nFrameStart, end = m_engine.nFrameEnd;
    m_engine.ComputeFrameRange(requestedRate(), &fps, &frames, &step, &audioBlocks, &sourceRate,
                               &first, &end);
    const int k = EstimatedSeekFrames(frames, fps, m_engine.nKeyFrameInterval, m_compress);
    const int size = EstimatedFileSize(frames, k, d, w, h, audioBlocks);
    const int seconds = fps != 0 ? int(frames / fps) : 0;
    m_estimateLine = format("Estimated file size: %dK  (%d frames at %d fps, Duration: %d:%02d )",
                            (size + 1023) >> 10, frames, int(fps), seconds / 60, seconds % 60);
    m_automaticText = format("&Automatic. (Current source is %d fps)", sourceRate);
    m_rateLine = format("Rate:  %d fps ", int(fps));
}

void ResolutionLogic::chooseScreenSize(int index) {
    if (index < 0 || size_t(index) >= kScreenSizes.size()) {
        return;
    }
    m_screenIndex = index;
    m_engine.nScreenWidth = kScreenSizes[size_t(index)].width;
    m_engine.nScreenHeight = kScreenSizes[size_t(index)].height;
    updateTrackRange();
    recompute();
}

void ResolutionLogic::chooseColorMode(int index) {
    if (index >= 0 && size_t(index) < kColorModes.size()) {
        m_colorIndex = index;
    }
}

void ResolutionLogic::setCompress(bool on) {
    m_compress = on;
    recompute();
}

void ResolutionLogic::setManual(bool manual) {
    m_manual = manual;
    recompute();
}

void ResolutionLogic::setRateText(const std::string& text) {
    m_rateText = text;
    recompute();
}

void ResolutionLogic::chooseSeekPoints(int index) {
    if (index < 0 || size_t(index) >= kSeekPoints.size()) {
        return;
    }
    m_seekIndex = index;
    m_engine.nKeyFrameInterval = kSeekPoints[size_t(index)].seconds;
    recompute();
}

void ResolutionLogic::choosePreset(int item) {
    if (item < 1 || size_t(item) > kSamplePresets.size()) {
        return;
    }
    ApplySamplePreset(m_engine, size_t(item - 1));
    load();
}

void ResolutionLogic::setTrackPosition(int position) {
    m_trackPosition = std::clamp(position, trackMinimum(), m_trackMaximum);
    recompute();
}

int ResolutionLogic::accept() {
    EncodingParameters& p = m_engine;
    p.fUseFastEncoding = false;
    const int d = m_trackPosition;
    p.nBytesTarget = d * 100;
    p.nBytesCeiling = d * 200;
    p.nBytesFloor = d * 100 / 2;
    const ColorModeChoice& mode = kColorModes[size_t(m_colorIndex)];
    p.nColorDepth = mode.nColorDepth;
    p.fUseGrayscale = mode.fUseGrayscale;
    p.nScreenWidth = kScreenSizes[size_t(m_screenIndex)].width;
    p.nScreenHeight = kScreenSizes[size_t(m_screenIndex)].height;
    if (p.nScreenWidth != m_openWidth || p.nScreenHeight != m_openHeight ||
        p.nColorDepth != m_openDepth) {
        for (uint8_t* buffer : {m_previews.source, m_previews.compressed}) {
            if (buffer) {
                std::memset(buffer, 0, OrbanwickMovieEncoder::kFrameBufferBytes);
            }
        }
    }
    p.nKeyFrameInterval = kSeekPoints[size_t(m_seekIndex)].seconds;
    p.fUncompressedVideo = !m_compress;
    p.nBytesCeiling = std::min(p.nBytesCeiling, kMaxCeiling);
    if (m_manual) {
        if (const auto rate = ReadUnsignedField(m_rateText)) {
            p.nMaxFrameRate = int32_t(std::min<uint32_t>(*rate, 0x7fffffff));
        }
    } else {
        p.nMaxFrameRate = 0;
    }
    m_engine.CloseSources();
    return 1;
}

int ResolutionLogic::reject() {
    m_engine.CloseSources();
    return 0;
}
