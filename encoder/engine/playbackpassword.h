// Protects a finished movie with a playback password: the type code becomes "PMov" (or
// "PWav" for an audio-only job) and the movie header's fixed part is scrambled in place.
#pragma once

#include <string>

// Writes the protected type code and scrambles the movie header of a finished movie with the
// password. An empty password leaves the file as it is. Returns an empty text on success,
// else the message to show.
std::string ApplyPlaybackPassword(const std::string& path, const std::string& password,
                                  int encodemode);
