#include "encoder/app/core/audiooptionslogic.h"

#include "encoder/app/core/fieldnumbers.h"

AudioOptionsState LoadAudioOptions(const EncodingParameters& p) {
    return {p.bAudioHifi, p.bUseADPCM, p.bEnablePrefilter, p.bAudioBoost,
            std::to_string(p.nAudioBoostVal)};
}

void ApplyAudioOptions(const AudioOptionsState& s, EncodingParameters& p) {
    p.bAudioHifi = s.hifi;
    p.bUseADPCM = s.adpcm;
    p.bEnablePrefilter = s.prefilter;
    p.bAudioBoost = s.boost;
    if (const auto boost = ScanLeadingNumber(s.boostText)) {
        p.nAudioBoostVal = *boost;
    }
}
