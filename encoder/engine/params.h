// The engine's settings, one field per stored setting under the same name (f and b are
// one-byte flags, n 32-bit integers, r doubles), with the defaults a new engine starts
// from. The user interface writes them between jobs; the engine only reads them while a
// job runs.
#pragma once

#include <cstdint>
#include <string>

struct EncodingParameters {
    std::string title;
    std::string author;
    int32_t nBytesCeiling = 8000;
    int32_t nBytesTarget = 4000;
    int32_t nBytesFloor = 2000;
    int32_t nColorDepth = 25;
    bool fUseGrayscale = false;
    int32_t nKeyFrameInterval = 0; // seconds, 0 = only the first frame
    int32_t nScreenWidth = 320;
    int32_t nScreenHeight = 240;
    int32_t nFrameStart = 0;
    int32_t nFrameEnd = 0; // exclusive, 0 = to the end
    double rCropFactor = 0.0;
    double rBrightness = 0.0;
    double rContrast = 0.0;
    bool fUncompressedVideo = false;
    bool fFlipImageVertically = false;
    bool fFlipImageHorizontally = false;
    bool fRotateImageSideways = false;
    bool holding = false;
    bool looping = false;
    int32_t nMaxFrameRate = 15; // 0 = automatic
    bool fUseFastEncoding = false;
    bool bAudioHifi = false;
    bool bUseADPCM = false;
    bool bEnablePrefilter = false;
    bool bAudioBoost = false;
    int32_t nAudioBoostVal = 150;

    // Audio format code of the movie header: hi-fi wins over ADPCM.
    int audioFormatCode() const { return bAudioHifi ? 2 : (bUseADPCM ? 1 : 0); }
    // Colour mode code of the movie header.
    int colorModeCode() const {
        if (fUseGrayscale) {
            return 1;
        }
        if (nColorDepth <= 12) {
            return 0;
        }
        if (nColorDepth <= 23) {
            return 3;
        }
        return nColorDepth == 24 ? 4 : 5;
    }
    // Grayscale pictures are 8-bit whatever the stored depth: a grayscale movie with the
    // truecolor row count would not play.
    bool isTruecolor() const { return !fUseGrayscale && nColorDepth >= 24; }
    int bitsPerStoredPixel() const { return isTruecolor() ? 16 : 8; }
    int frameRows() const { return isTruecolor() ? nScreenHeight + nScreenHeight / 2 : nScreenHeight; }
    int audioSamplesPerSecond() const { return bAudioHifi ? 20000 : 10000; }
    int audioSamplesPerRecord() const { return (bUseADPCM && !bAudioHifi) ? 65536 : 32768; }
};

// Settings the encoding job reads but the engine does not hold.
enum EncodeMode : int32_t {
    kEncodeVideoWithAudio = 0,
    kEncodeVideoSeparateAudio = 1,
    kEncodeVideoOnly = 2,
    kEncodeAudioOnly = 3,
};

// Filled at the end of a job and handed, by address, with the completion report.
struct CompletionRecord {
    char dbname[128] = {};
    double frameRate = 0.0;
    double meanQuality = 0.0;
    int32_t frameCount = 0;
    int32_t fileSize = 0;
};
