// Placeholder until the frame pipeline is wired: a job reports that it cannot run.
#include "encoder/engine/movieencoder.h"

void OrbanwickMovieEncoder::EncodeVideoMovie(FILE*, const char*, int, int, int, bool, bool, bool,
                                             float, float, int, int) {
    ReportProgress(kProgressFailed, 0, reinterpret_cast<intptr_t>("Video encoding is not available."));
}

void OrbanwickMovieEncoder::EncodeAudioMovie(FILE*, const char*) {
    ReportProgress(kProgressFailed, 0, reinterpret_cast<intptr_t>("Audio encoding is not available."));
}
