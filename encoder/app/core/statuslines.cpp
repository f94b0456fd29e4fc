#include "encoder/app/core/statuslines.h"

#include <algorithm>
#include <cstdio>

std::string FormatStatusLine(const EncodingParameters& p) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "  FORMAT:  %ldx%ld,  %ldfps,  %ldbpf", long(p.nScreenWidth),
                  long(p.nScreenHeight), long(p.nMaxFrameRate), long(p.nBytesTarget));
    return buf;
}

std::string VideoStatusLine(const EncodingParameters& p) {
    const long zoom = 100 - long(p.rCropFactor * 100.0);
    char buf[200];
    if (p.nFrameEnd != 0) {
        std::snprintf(buf, sizeof buf, "  VIDEO:  Frames %ld to %ld,  %ld%% zoom",
                      long(p.nFrameStart), long(p.nFrameEnd), zoom);
    } else if (p.nFrameStart != 0) {
        std::snprintf(buf, sizeof buf, "  VIDEO:  Frames %ld to End,  %ld%% zoom",
                      long(p.nFrameStart), zoom);
    } else {
        std::snprintf(buf, sizeof buf, "  VIDEO:  All Frames,  %ld%% zoom", zoom);
    }
    return buf;
}

std::string AudioStatusLine(const EncodingParameters& p) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "  AUDIO:  %s,  %s,  %ld%%", p.bAudioHifi ? "Hi-fi" : "Standard",
                  p.bUseADPCM ? "AD-PCM" : "Uncompressed",
                  long(p.bAudioBoost ? p.nAudioBoostVal : 100));
    return buf;
}

std::string SizeEstimateLine(const EncodingParameters& p, const FramePlan& plan) {
    const int64_t d = p.nBytesTarget / 100;
    const int64_t w = p.nScreenWidth, h = p.nScreenHeight;
    const int64_t frames = plan.frames;
    int64_t k = frames;
    if (!p.fUncompressedVideo) {
        if (p.nKeyFrameInterval == 0) {
            k = 1;
        } else {
            const double interval =
                std::max(double(p.nKeyFrameInterval) * plan.fps, double((frames + 59) / 60));
            k = interval > 0 ? int64_t(double(frames) / interval + 1) : frames;
        }
    }
    const int64_t full = w == 160 ? h * 160 : (w * h) / 4;
    const int64_t size = int64_t(double((frames - k) * d * 100 + k * (full + 768)) +
                                 double(plan.audioRecords) * 32768.0);
    const long seconds = plan.fps > 0 ? long(double(frames) / plan.fps) : 0;
    char buf[200];
    std::snprintf(
        buf, sizeof buf, "Estimated file size: %dK  (%d frames at %d fps, Duration: %d:%02d )",
        int((size + 1023) >> 10), int(frames), int(plan.fps), int(seconds / 60), int(seconds % 60));
    return buf;
}
