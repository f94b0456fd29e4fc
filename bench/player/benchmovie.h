// Frame payloads that look like a coded movie's, for the player benchmarks: key frames of
// noise every keyInterval frames, delta frames mixing motion copies, keep blocks, fills,
// patterns and splits.
#pragma once

#include <cstdint>
#include <vector>

namespace quil::bench {

std::vector<std::vector<uint8_t>> makeFramePayloads(int width, int rows, int frames,
                                                    int keyInterval);

// Writes a movie database file with those frames and, when audioRecords > 0, 8-bit audio
// records of a tone; returns false when it cannot be written.
bool writeBenchMovie(const char* path, int width, int rows, int colorMode, double rate,
                     int keyInterval, const std::vector<std::vector<uint8_t>>& frames,
                     int audioRecords);

} // namespace quil::bench
