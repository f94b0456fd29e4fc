// What `quillreel info` prints about a movie database: the database header, the movie
// header record and a summary of the frame and audio records. Kept apart from the command
// line so that tests and the fuzz target can drive it with any reader.
#pragma once

#include "moviedb/moviedbreader.h"

#include <optional>
#include <ostream>
#include <string>

namespace quil::cli {

struct InfoOptions {
    std::string label;                   // how the file is named in messages
    std::optional<std::string> password; // unscrambles a copy of a protected header
    int openErrno = 0;                   // errno of a failed open, 0 when not known
};

enum InfoExit : int {
    kInfoOk = 0,         // the movie was described
    kInfoError = 1,      // unreadable or malformed; one line on err says why
    kInfoUnfinished = 2, // described as far as possible: its record list was never written
};

// Describes the database the reader was opened on; openStatus is what open() returned.
// Returns an InfoExit code.
int writeMovieInfo(MovieDbReader& reader, MovieDbError openStatus, const InfoOptions& options,
                   std::ostream& out, std::ostream& err);

} // namespace quil::cli
