// MPEG system streams: the walker that copies the audio packets of a program stream (or
// the frames of an audio elementary stream) into one MPEG audio file, and the pack probe.
#pragma once

#include "encoder/media/mpeg/mp3towav.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace quil::mpeg {

// Returns 0 when at least one block was recognised, 1 otherwise (input not openable, output
// not creatable, or no recognisable block). An empty output name walks without writing.
// Quiet suppresses every line except "Extracting MPEG audio block at ...".
int ExtractMpegAudio(const std::string& input, bool quiet, const std::string& output,
                     const StatusSink& status = {});

// Pack type at the file's current position: 0 not a system stream (or unknown pack type),
// 1 MPEG-1, 2 MPEG-2. Prints nothing; the position is restored.
int ProbeMpegVideo(std::FILE* file);

// The same walk over bytes in memory, writing the extracted audio to out (may be null).
int ExtractMpegAudioFromMemory(const uint8_t* data, size_t size, bool quiet, std::FILE* out,
                               const StatusSink& status = {});

// How the encoding job treats an audio path: ".mpg" and ".mpeg" are system streams whose
// audio is extracted first, ".mp3" is decoded directly (case-insensitive; the name must be
// longer than 4 characters).
enum class MpegAudioKind { None, SystemStream, Mp3 };
MpegAudioKind mpegAudioKind(const std::string& path);
// The temporary files: the extracted audio of a movie, and the decoded WAV of an MP3.
std::string extractedAudioName(const std::string& moviePath); // path + ".mp3"
std::string decodedWavName(const std::string& mp3Path);       // path + ".wav"

} // namespace quil::mpeg
