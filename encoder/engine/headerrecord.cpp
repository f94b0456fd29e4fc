// The movie header record of both kinds of movie.
#include "encoder/engine/engineparts.h"

#include "moviedb/moviedbwriter.h"
#include "moviedb/movieheader.h"

#include <algorithm>

quil::MovieDbError WriteHeaderRecord(quil::MovieDbWriter& writer, const HeaderRecordFields& f) {
    quil::MovieHeader h;
    if (f.audioOnly) {
        h = quil::MovieHeader::audioOnly(uint8_t(f.audioFormat), f.hasAudio,
                                         uint16_t(std::clamp(f.frameCount, 0, 65535)));
    } else {
        h.width = uint16_t(f.width);
        h.rows = uint16_t(f.rows);
        h.bitsPerPixel = uint16_t(f.bitsPerPixel);
        h.audioFormat = uint8_t(f.audioFormat);
        h.colorMode = uint8_t(f.colorMode);
        h.setFrameRate(f.fps);
        h.keyFrameInterval = uint16_t(f.keyFrameInterval);
        h.frameCount = uint16_t(f.frameCount);
        if (f.hasAudio) {
            h.flags |= quil::kMovieFlagHasAudio;
            h.firstAudioRecord = uint16_t(f.firstAudioRecord);
        }
    }
    if (f.loop) {
        h.flags |= quil::kMovieFlagLoop;
    }
    if (f.hold) {
        h.flags |= quil::kMovieFlagHold;
    }
    h.title = f.title;
    h.author = f.author;
    return writer.writeMovieHeader(h);
}
