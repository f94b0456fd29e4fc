// Decoding an MPEG audio file into a 16-bit PCM WAV file.
#pragma once

#include <functional>
#include <string>

namespace quil::mpeg {

// Receives each status line (at most 255 characters).
using StatusSink = std::function<void(const std::string&)>;

// Decodes input into a WAV file at output. Returns 0 on success, also when decoding stopped
// at a stream error (the WAV then holds what was decoded), and 5 when the input cannot be
// opened or the decoder cannot be set up. Quiet suppresses the decoder-name and stream lines.
int DecodeMp3ToWav(const std::string& input, bool quiet, const std::string& output,
                   const StatusSink& status = {});

// Formats one status line as printf does, cut to 255 characters.
std::string formatStatus(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace quil::mpeg
