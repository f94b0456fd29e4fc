// The audio options dialog's state: the four audio flags and the volume boost as the dialog
// shows them, loaded from and written back to the encoding parameters.
#pragma once

#include "encoder/engine/params.h"

#include <string>

struct AudioOptionsState {
    bool hifi = false;
    bool adpcm = false;
    bool prefilter = false;
    bool boost = false;
    std::string boostText; // the boost field, digits only
};

AudioOptionsState LoadAudioOptions(const EncodingParameters& params);
// OK: every flag from its box; the boost from the field when it starts with a number.
void ApplyAudioOptions(const AudioOptionsState& state, EncodingParameters& params);
