// The playback-password keystream.
#include "moviedb/password.h"

#include "moviedb/byteorder.h"

#include <cstdio>

namespace quil {

uint32_t updateKeystream(uint32_t state, std::string_view password) {
    for (const char ch : password) {
        const auto c = uint8_t(ch);
        if (c < 33 || c > 126) {
            continue;
        }
        // Bits 4 to 19 of the 32-bit product.
        state = (((uint32_t(c | 0x20) ^ state) * 0x8111u) >> 4) & 0xFFFFu;
    }
    return state;
}

void scrambleHeaderArea(std::span<uint8_t, kScrambledAreaSize> area, std::string_view password) {
    uint32_t s = kKeystreamSeed;
    for (size_t k = 0; k < kScrambledAreaSize / 2; ++k) {
        s = updateKeystream(s, password);
        area[2 * k] ^= uint8_t(s);
        area[2 * k + 1] ^= uint8_t(s >> 8);
    }
}

bool isProtectedType(uint32_t type) {
    return type == kDbTypeProtectedMovie || type == kDbTypeProtectedWave;
}

MovieDbError protectMovieDatabase(std::span<uint8_t> database, std::string_view password,
                                  uint32_t protectedType) {
    if (password.empty()) {
        return MovieDbError::Ok;
    }
    if (database.size() < size_t(kPalmHeaderSize)) {
        return MovieDbError::TruncatedHeader;
    }
    const size_t n = getBE16(database, kRecordCountOffset);
    const size_t area = size_t(kRecordListOffset) + size_t(kRecordEntrySize) * n;
    if (area + kScrambledAreaSize > database.size()) {
        return MovieDbError::TruncatedList;
    }
    putBE32(database, kTypeOffset, protectedType);
    scrambleHeaderArea(database.subspan(area).first<kScrambledAreaSize>(), password);
    return MovieDbError::Ok;
}

MovieDbError protectMovieFile(const std::string& path, std::string_view password,
                              uint32_t protectedType) {
    if (password.empty()) {
        return MovieDbError::Ok;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb+");
    if (f == nullptr) {
        return MovieDbError::OpenFailed;
    }
    // Everything is read and checked before the first byte is written.
    uint8_t head[kPalmHeaderSize];
    uint8_t area[kScrambledAreaSize];
    MovieDbError result = MovieDbError::Ok;
    if (std::fread(head, 1, sizeof head, f) != sizeof head) {
        result = MovieDbError::TruncatedHeader;
    } else {
        const long at = long(kRecordListOffset) + long(kRecordEntrySize) * loadBE16(head + 76);
        if (std::fseek(f, at, SEEK_SET) != 0 ||
            std::fread(area, 1, sizeof area, f) != sizeof area) {
            result = MovieDbError::TruncatedList;
        } else {
            scrambleHeaderArea(area, password);
            uint8_t type[4];
            storeBE32(type, protectedType);
            const bool written = std::fseek(f, kTypeOffset, SEEK_SET) == 0 &&
                                 std::fwrite(type, 1, 4, f) == 4 &&
                                 std::fseek(f, at, SEEK_SET) == 0 &&
                                 std::fwrite(area, 1, sizeof area, f) == sizeof area;
            if (!written) {
                result = MovieDbError::WriteError;
            }
        }
    }
    if (std::fclose(f) != 0 && result == MovieDbError::Ok) {
        result = MovieDbError::WriteError;
    }
    return result;
}

} // namespace quil
