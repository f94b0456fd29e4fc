#include "encoder/engine/playbackpassword.h"

#include "encoder/engine/params.h"
#include "moviedb/moviedb.h"
#include "moviedb/password.h"

std::string ApplyPlaybackPassword(const std::string& path, const std::string& password,
                                  int encodemode) {
    const quil::MovieDbError rc = quil::protectMovieFile(
        path, password,
        encodemode == kEncodeAudioOnly ? quil::kDbTypeProtectedWave : quil::kDbTypeProtectedMovie);
    if (rc == quil::MovieDbError::Ok) {
        return {};
    }
    return "The playback password could not be applied: the movie \"" + path +
           "\" could not be reopened or rewritten (" + quil::movieDbErrorText(rc) +
           "). It is not protected.";
}
