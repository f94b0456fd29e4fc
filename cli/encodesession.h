// What `quillreel encode` runs once its options are parsed: the settings are built from the
// options, one job runs on the standard sources, and its reports become messages on standard
// error and a progress display.
#pragma once

#include "encoder/engine/encodingjob.h"
#include "encoder/engine/params.h"

#include <CLI/CLI.hpp>

#include <string>

namespace quil::cli {

struct EncodeOptions {
    std::string input;
    std::string audio;
    bool videoOnly = false;
    bool audioOnly = false;
    JobFields fields;
    EncodingParameters params;
    std::string preset;
    std::string screen;
    std::string color;
    bool uncompressed = false;
    bool fast = false;
    int target = 0, floor = 0, ceiling = 0, boost = 0;
    CLI::Option* targetOption = nullptr;
    CLI::Option* floorOption = nullptr;
    CLI::Option* ceilingOption = nullptr;
    CLI::Option* boostOption = nullptr;
    std::string fps;
    std::string seek;
    bool overwrite = false;
    bool neverOverwrite = false;
    std::string progress = "auto";
};

// The list of presets for the help text.
std::string PresetHelp();

// Turns the options into the job's fields and the engine's parameters; on a bad value
// returns false with the message in error.
bool BuildSettings(const EncodeOptions& options, JobFields& fields, EncodingParameters& params,
                   std::string& error);

int RunEncode(const EncodeOptions& options);

} // namespace quil::cli
