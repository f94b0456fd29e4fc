// make_movie OUT.pdb: writes a small finished movie database with the movie database writer
// (header record, two grayscale frame records), for the install checks to classify.
#include "moviedb/byteorder.h"
#include "moviedb/moviedb.h"
#include "moviedb/moviedbwriter.h"
#include "moviedb/movieheader.h"

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_movie OUT.pdb\n");
        return 2;
    }
    std::FILE* f = std::fopen(argv[1], "wb");
    if (f == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    quil::MovieHeader h;
    h.width = 160;
    h.rows = 120;
    h.bitsPerPixel = 8;
    h.colorMode = quil::kColorModeGrayscale;
    h.setFrameRate(10.0);
    h.frameCount = 2;
    h.title = "Packaging check";
    quil::MovieDbWriter w(f);
    std::vector<uint8_t> frame(64, 0x55);
    quil::putBE16(frame, 0, 1);
    bool ok = w.begin("Packaging check", quil::kDbTypeMovie, 3) == quil::MovieDbError::Ok &&
              w.writeMovieHeader(h) == quil::MovieDbError::Ok &&
              w.writeRecord(frame) == quil::MovieDbError::Ok &&
              w.writeRecord(frame) == quil::MovieDbError::Ok && w.finish() == quil::MovieDbError::Ok;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "make_movie: could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
