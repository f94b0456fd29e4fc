// Small media files made at test time with the ffmpeg program, in one temporary folder per
// test run. Every video frame carries its own index: the picture is 64 x 48, its top two
// bands hold the eight bits of the index as black and white 16 x 16 squares (bit 0 at the
// top left) and its bottom band is red on the left and blue on the right, so a picture that
// comes out upside down or mirrored does not read as any index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class VBitmap;

namespace testmedia {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// The folder, made on first use and removed when the test program ends.
const std::string& dir();
// Runs a shell command; true when it exits with 0.
bool run(const std::string& command);

// A clip of `frames` indexed pictures at `fps`, encoded with the ffmpeg output arguments
// `args` (for example "-c:v mjpeg -q:v 2") into dir()/name. Made once per run.
std::string indexedClip(const std::string& name, int frames, int fps, const std::string& args,
                        const std::string& audioArgs = "");
// The 16-bit signed sample of channel c at sample i of the test sound.
int16_t testSample(int64_t i, int c);
// Sound of `seconds` at `rate` with `channels` (testSample), encoded with `args`.
std::string soundFile(const std::string& name, int rate, int channels, double seconds,
                      const std::string& args);
// A copy of the first `bytes` bytes of a file (a fraction of its size when bytes < 1).
std::string prefixCopy(const std::string& from, const std::string& name, double bytes);
// A file holding the given bytes.
std::string bytesFile(const std::string& name, const std::string& bytes);

// The index a bottom-up 32-bit picture of the clip shows, or -1 when it shows none.
int indexOf(const VBitmap& picture);

// The bytes of a RIFF file's "data" chunk (the sample blocks of a WAV file).
std::vector<uint8_t> wavData(const std::string& path);

} // namespace testmedia
