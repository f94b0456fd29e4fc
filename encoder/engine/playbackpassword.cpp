#include "encoder/engine/playbackpassword.h"

#include "encoder/engine/params.h"
#include "moviedb/password.h"

#include <array>
#include <cstdio>

std::string ApplyPlaybackPassword(const std::string& path, const std::string& password,
                                  int encodemode) {
    if (password.empty()) {
        return {};
    }
    const std::string failure =
        "The playback password could not be applied: the movie \"" + path +
        "\" could not be reopened or rewritten. It is not protected.";
    FILE* f = std::fopen(path.c_str(), "rb+");
    if (!f) {
        return failure;
    }
    // Read everything first, so that a file too short to hold the header is left untouched
    // rather than marked protected with a readable header.
    unsigned char count[2] = {};
    bool ok = std::fseek(f, 76, SEEK_SET) == 0 && std::fread(count, 1, 2, f) == 2;
    const long headerAt = 78 + 8 * long((count[0] << 8) | count[1]);
    std::array<uint8_t, quil::kScrambledAreaSize> area{};
    ok = ok && std::fseek(f, headerAt, SEEK_SET) == 0 &&
         std::fread(area.data(), 1, area.size(), f) == area.size();
    if (ok) {
        quil::scrambleHeaderArea(area, password);
        ok = std::fseek(f, 60, SEEK_SET) == 0 &&
             std::fwrite(encodemode == kEncodeAudioOnly ? "PWav" : "PMov", 1, 4, f) == 4 &&
             std::fseek(f, headerAt, SEEK_SET) == 0 &&
             std::fwrite(area.data(), 1, area.size(), f) == area.size();
    }
    ok = std::fflush(f) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    return ok ? std::string() : failure;
}
