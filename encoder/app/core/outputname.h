// The output file suggested when a video source is chosen: the source path with its
// extension replaced by ".pdb", or ".pdb" appended when the file name has no extension.
// Only a '.' inside the file name counts: a dot in a folder name ("clips.old/movie") is
// not an extension. A path whose extension starts at byte 255 or later is left as it is.
#pragma once

#include <string>

std::string DeriveOutputName(const std::string& sourcePath);
