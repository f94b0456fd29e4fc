// The audio options: flags and the volume boost field.
#include "encoder/app/core/audiooptionslogic.h"

#include <gtest/gtest.h>

TEST(AudioOptions, LoadAndApplyFlagsAndBoost) {
    EncodingParameters p;
    p.bAudioHifi = true;
    p.nAudioBoostVal = 150;
    AudioOptionsState s = LoadAudioOptions(p);
    EXPECT_TRUE(s.hifi);
    EXPECT_FALSE(s.adpcm);
    EXPECT_EQ(s.boostText, "150");

    struct Case {
        const char* text;
        int32_t expected;
    };
    for (const Case c : {Case{"250", 250}, Case{"", 150}, Case{"0", 0}, Case{"99999999999", 2147483647}}) {
        p.nAudioBoostVal = 150;
        s = {false, true, true, true, c.text};
        ApplyAudioOptions(s, p);
        EXPECT_EQ(p.nAudioBoostVal, c.expected) << c.text;
        EXPECT_FALSE(p.bAudioHifi);
        EXPECT_TRUE(p.bUseADPCM);
        EXPECT_TRUE(p.bEnablePrefilter);
        EXPECT_TRUE(p.bAudioBoost);
    }
}
