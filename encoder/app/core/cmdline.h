// The encoder's command-line switches, searched as plain substrings of the whole command
// line: /p "video","output","name" presets the fields, /r runs one job unattended, /x quits
// when the job is done or a message was logged.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct PresetSwitch {
    std::optional<std::string> source;  // video and audio source
    std::optional<std::string> output;  // output file
    std::optional<std::string> name;    // Palm name and title
};

// Each step that finds its string takes effect even if a later one fails.
PresetSwitch ParsePresetSwitch(const std::string& commandLine);
bool HasUnattendedSwitch(const std::string& commandLine); // " /r"
bool HasQuitSwitch(const std::string& commandLine);       // " /x"

// Rebuilds one command-line string from the program's arguments. A shell removes the double
// quotes of /p "a.avi","b.pdb","Clip"; they are put back, so that both that form and
// /p a.avi b.pdb Clip (three separate arguments) preset the fields.
std::string JoinCommandLine(const std::vector<std::string>& args);
