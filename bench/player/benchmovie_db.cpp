#include "benchmovie.h"

#include "moviedb/moviedbwriter.h"
#include "moviedb/movieheader.h"

#include <cmath>
#include <cstdio>

namespace quil::bench {

bool writeBenchMovie(const char* path, int width, int rows, int colorMode, double rate,
                     int keyInterval, const std::vector<std::vector<uint8_t>>& frames,
                     int audioRecords) {
    MovieHeader header;
    header.width = uint16_t(width);
    header.rows = uint16_t(rows);
    header.bitsPerPixel = colorMode >= kColorModeTruecolor ? 16 : 8;
    header.colorMode = uint8_t(colorMode);
    header.setFrameRate(rate);
    header.keyFrameInterval = uint16_t(keyInterval);
    header.frameCount = uint16_t(frames.size());
    if (audioRecords > 0) {
        header.flags |= kMovieFlagHasAudio;
        header.firstAudioRecord = uint16_t(frames.size() + 1);
    }
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        return false;
    }
    MovieDbWriter writer(file);
    bool ok = writer.begin("bench", kDbTypeMovie, int(1 + frames.size()) + audioRecords) ==
                  MovieDbError::Ok &&
              writer.writeMovieHeader(header) == MovieDbError::Ok;
    for (const auto& frame : frames) {
        ok = ok && writer.writeRecord(frame) == MovieDbError::Ok;
    }
    std::vector<uint8_t> audio(32768);
    for (size_t k = 0; k < audio.size(); ++k) {
        audio[k] = uint8_t(
            128 + std::lround(60 * std::sin(2 * 3.14159265358979 * 440.0 * double(k) / 10000.0)));
    }
    for (int a = 0; a < audioRecords; ++a) {
        ok = ok && writer.writeRecord(audio) == MovieDbError::Ok;
    }
    ok = writer.finish() == MovieDbError::Ok && ok;
    return std::fclose(file) == 0 && ok;
}

} // namespace quil::bench
