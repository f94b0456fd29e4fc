// Constructor defaults of the encoding parameters and the header codes derived from them.
#include "encoder/engine/params.h"
#include "moviedb/muldiv.h"

#include <gtest/gtest.h>

namespace {

TEST(EncodingParameters, Defaults) {
    EncodingParameters p;
    EXPECT_EQ(p.nBytesCeiling, 8000);
    EXPECT_EQ(p.nBytesTarget, 4000);
    EXPECT_EQ(p.nBytesFloor, 2000);
    EXPECT_EQ(p.nColorDepth, 25);
    EXPECT_EQ(p.nScreenWidth, 320);
    EXPECT_EQ(p.nScreenHeight, 240);
    EXPECT_EQ(p.nMaxFrameRate, 15);
    EXPECT_EQ(p.nAudioBoostVal, 150);
    EXPECT_EQ(p.nKeyFrameInterval, 0);
    EXPECT_EQ(p.nFrameEnd, 0);
    EXPECT_EQ(p.rCropFactor, 0.0);
    EXPECT_FALSE(p.fUseGrayscale || p.fUncompressedVideo || p.bAudioHifi || p.bUseADPCM ||
                 p.bEnablePrefilter || p.bAudioBoost || p.looping || p.holding);
    EXPECT_TRUE(p.title.empty() && p.author.empty());
}

struct HeaderCase {
    int depth;
    bool gray, hifi, adpcm;
    int height;
    int colorCode, bits, rows, audioCode, perRecord;
};

TEST(EncodingParameters, HeaderCodes) {
    const HeaderCase cases[] = {
        {11, false, false, false, 240, 0, 8, 240, 0, 32768},
        {16, true, false, false, 160, 1, 8, 160, 0, 32768},
        {16, false, false, true, 240, 3, 8, 240, 1, 65536},
        {24, false, true, true, 240, 4, 16, 360, 2, 32768},
        {25, false, false, false, 320, 5, 16, 480, 0, 32768},
        {25, false, false, false, 161, 5, 16, 241, 0, 32768},
        {24, true, false, false, 240, 1, 8, 240, 0, 32768},
    };
    for (const HeaderCase& c : cases) {
        EncodingParameters p;
        p.nColorDepth = c.depth;
        p.fUseGrayscale = c.gray;
        p.bAudioHifi = c.hifi;
        p.bUseADPCM = c.adpcm;
        p.nScreenHeight = c.height;
        SCOPED_TRACE(c.depth);
        EXPECT_EQ(p.colorModeCode(), c.colorCode);
        EXPECT_EQ(p.bitsPerStoredPixel(), c.bits);
        EXPECT_EQ(p.frameRows(), c.rows);
        EXPECT_EQ(p.audioFormatCode(), c.audioCode);
        EXPECT_EQ(p.audioSamplesPerRecord(), c.perRecord);
    }
}

TEST(MulDiv, RoundsToNearestAndRefusesOverflow) {
    EXPECT_EQ(quil::MulDiv(44100, 65536, 10000), 289014);
    EXPECT_EQ(quil::MulDiv(7, 1, 2), 4);
    EXPECT_EQ(quil::MulDiv(-7, 1, 2), -4);
    EXPECT_EQ(quil::MulDiv(5, 3, 0), -1);
    EXPECT_EQ(quil::MulDiv(0x40000000, 4, 1), -1);
}

} // namespace
