#include "encoder/app/core/choices.h"

#include <cstdio>
#include <cstring>

void ApplySamplePreset(EncodingParameters& p, size_t index) {
    const SamplePreset& s = kSamplePresets.at(index);
    p.nScreenWidth = s.width;
    p.nScreenHeight = s.height;
    p.nMaxFrameRate = s.nMaxFrameRate;
    p.nColorDepth = s.nColorDepth;
    p.fUseGrayscale = s.fUseGrayscale;
    p.nBytesTarget = s.nBytesTarget;
    p.fUncompressedVideo = false;
}

std::optional<size_t> ColorModeIndex(const EncodingParameters& p) {
    if (p.fUseGrayscale) {
        return 0;
    }
    for (size_t i = 1; i < kColorModes.size(); ++i) {
        if (kColorModes[i].nColorDepth == p.nColorDepth) {
            return i;
        }
    }
    return std::nullopt;
}

CompletionTexts FormatCompletion(const CompletionRecord& r, int encodemode) {
    CompletionTexts t;
    t.name.assign(r.dbname, strnlen(r.dbname, sizeof r.dbname));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%dK", int((int64_t(r.fileSize) + 512) >> 10));
    t.size = buf;
    const double rate = r.frameRate > 0 ? r.frameRate : 10.0;
    const long hundredths = long(double(r.frameCount) * 100.0 / rate + 0.5);
    const long s = hundredths / 100;
    const long minutes = s / 60;
    if (minutes != 0) {
        std::snprintf(buf, sizeof buf, "%ld:%02ld.%02ld", minutes, s % 60, hundredths % 100);
    } else {
        std::snprintf(buf, sizeof buf, "%02ld.%02ld sec.", s % 60, hundredths % 100);
    }
    t.time = buf;
    if (encodemode == kEncodeAudioOnly) {
        t.rate = "--";
        t.quality = "--";
    } else {
        std::snprintf(buf, sizeof buf, "%.2f fps", r.frameRate);
        t.rate = buf;
        std::snprintf(buf, sizeof buf, "%.2f%%", r.meanQuality * 100.0);
        t.quality = buf;
    }
    return t;
}
