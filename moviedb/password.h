// Playback password: a keystream derived from the password scrambles the 44-byte fixed part
// of the movie header record, 22 byte pairs, and the database type becomes "PMov" or "PWav".
// Scrambling is its own inverse. Only characters 33..126 count, with bit 5 set, so letter
// case does not matter; a password without such characters leaves the state at the seed.
#pragma once

#include "moviedb/moviedb.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quil {

inline constexpr uint32_t kKeystreamSeed = 0x5D2E19C4u;
inline constexpr int kScrambledAreaSize = 44;

// Runs the state through every counted character of the password once.
uint32_t updateKeystream(uint32_t state, std::string_view password);

// XORs the area in place with the password's keystream; applying it twice restores it.
void scrambleHeaderArea(std::span<uint8_t, kScrambledAreaSize> area, std::string_view password);

bool isProtectedType(uint32_t type);

// Protects a whole database held in memory: writes protectedType at offset 60 and scrambles
// the 44 bytes at 78 + 8 * N. An empty password changes nothing. Fails, changing nothing,
// when the bytes are too short to hold that area.
[[nodiscard]] MovieDbError protectMovieDatabase(std::span<uint8_t> database,
                                                std::string_view password, uint32_t protectedType);

// The same for a finished movie file on disk, changed in place. An empty password changes
// nothing; a file that cannot be opened for update, or is too short to hold the area, is
// left as it was and the error returned.
[[nodiscard]] MovieDbError protectMovieFile(const std::string& path, std::string_view password,
                                            uint32_t protectedType);

} // namespace quil
