// quillreel export: a movie's frames as PNG files in display colours and its sound as a
// 16-bit WAV file, decoded with the player's own code, plus an optional contact sheet.
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace quil::cli {

struct ExportOptions {
    std::string movie;
    std::string framesDir;  // empty: no frame files
    std::string wavPath;    // empty: no sound file
    std::string sheetPath;  // empty: no contact sheet
    int sheetColumns = 4;
    int sheetFrames = 16;
    std::optional<std::string> password;
};

// Returns the exit status: 0 everything asked for was written, 1 otherwise.
int RunExport(const ExportOptions& options, std::ostream& out, std::ostream& err);

} // namespace quil::cli
