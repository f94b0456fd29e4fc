// The two file formats the export writes: PNG pictures (8-bit RGB, compressed with zlib)
// and 16-bit PCM WAV sound.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quil::cli {

// pixels: width x height values 0x..RRGGBB, rows top down. False when the file cannot be
// written.
bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels);

// Streams 16-bit mono samples into a WAV file whose sizes are filled in by finish().
class WavWriter {
public:
    ~WavWriter();
    bool open(const std::string& path, int samplesPerSecond);
    bool write(const int16_t* samples, size_t count);
    bool finish();

private:
    std::FILE* m_file = nullptr;
    uint64_t m_bytes = 0;
};

} // namespace quil::cli
