// Helpers shared by the MPEG tests: temporary files, running the command-line tools that
// serve as oracles, decoding with our decoder, and the PSNR measure.
#pragma once

#include "encoder/media/mpeg/ampdecoder.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quil::mpeg::test {

std::filesystem::path tempDir();
std::vector<uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// Runs a shell command quietly; true on exit status 0.
bool run(const std::string& command);
bool haveTool(const std::string& name);

struct Decoded {
    std::vector<int16_t> pcm;
    int channels = 0;
    long sampleRate = 0;
    int lastError = 0; // the code that ended decoding
    long frames = 0;
    long crcFailures = 0;
};
Decoded decodeBytes(const std::vector<uint8_t>& bytes);
Decoded decodeFile(const std::filesystem::path& path);

// Signed 16-bit little-endian samples.
std::vector<int16_t> readPcm(const std::filesystem::path& path);
// ffmpeg's own decoding of a file to interleaved 16-bit samples.
std::vector<int16_t> ffmpegDecode(const std::filesystem::path& path);

// 10 log10(32767^2 / MSE) over the first n samples (n = the shorter length); 200 when equal.
double psnr(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t n = 0);

// The best PSNR over shifts of b against a by up to maxShift samples (in steps of step),
// compared over the overlap; overlap receives the compared length.
double alignedPsnr(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int maxShift,
                   int step, size_t* overlap = nullptr);

} // namespace quil::mpeg::test
