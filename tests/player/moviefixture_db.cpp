// The container half of the fixtures: the movie header record and the database, written with
// the movie database writer to a temporary stream and read back as bytes.
#include "moviefixture.h"

#include "moviedb/moviedbwriter.h"
#include "moviedb/movieheader.h"
#include "moviedb/password.h"

#include <cstdio>
#include <stdexcept>

namespace quil::test {

std::vector<uint8_t> writeMovie(const FixtureMovie& movie) {
    MovieHeader header;
    const bool audioOnly = movie.colorMode == kColorModeAudioOnly;
    if (audioOnly) {
        header = MovieHeader::audioOnly(uint8_t(movie.audioFormat), !movie.audio.empty(),
                                        uint16_t(movie.frameCountField < 0 ? 0 : movie.frameCountField));
    } else {
        header.width = uint16_t(movie.width);
        header.rows = uint16_t(movie.rows);
        header.bitsPerPixel = movie.colorMode >= kColorModeTruecolor ? 16 : 8;
        header.audioFormat = uint8_t(movie.audioFormat);
        header.colorMode = uint8_t(movie.colorMode);
        header.setFrameRate(movie.rate);
        if (!movie.periodValid) {
            header.flags &= uint16_t(~kMovieFlagPeriodValid);
        }
        header.keyFrameInterval = uint16_t(movie.keyInterval);
        header.frameCount = uint16_t(movie.frameCountField < 0 ? movie.frames.size() : size_t(movie.frameCountField));
        if (!movie.audio.empty()) {
            header.flags |= kMovieFlagHasAudio;
            header.firstAudioRecord = uint16_t(movie.frames.size() + 1);
        }
    }
    header.title = "Fixture";

    std::FILE* file = std::tmpfile();
    if (!file) {
        throw std::runtime_error("no temporary file");
    }
    MovieDbWriter writer(file);
    const int count = int(1 + movie.frames.size() + movie.audio.size());
    bool ok = writer.begin("fixture", audioOnly ? kDbTypeWave : kDbTypeMovie, count) == MovieDbError::Ok &&
              writer.writeMovieHeader(header) == MovieDbError::Ok;
    for (const auto& record : movie.frames) {
        ok = ok && writer.writeRecord(record) == MovieDbError::Ok;
    }
    for (const auto& record : movie.audio) {
        ok = ok && writer.writeRecord(record) == MovieDbError::Ok;
    }
    ok = ok && writer.finish() == MovieDbError::Ok;
    std::vector<uint8_t> bytes;
    if (ok) {
        const long length = std::ftell(file);
        bytes.resize(size_t(length));
        std::rewind(file);
        ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    std::fclose(file);
    if (!ok) {
        throw std::runtime_error("fixture movie not written");
    }
    if (!movie.password.empty() &&
        protectMovieDatabase(bytes, movie.password, audioOnly ? kDbTypeProtectedWave : kDbTypeProtectedMovie) !=
            MovieDbError::Ok) {
        throw std::runtime_error("fixture movie not protected");
    }
    return bytes;
}

} // namespace quil::test
