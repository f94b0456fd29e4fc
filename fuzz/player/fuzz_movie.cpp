// Loads arbitrary bytes as a movie (answering a password prompt once, then cancelling),
// decodes every frame in order and a few out of order, converts truecolor pictures for
// display, and decodes all of the sound.
#include "player/core/movie.h"

#include "moviedb/display_tables.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

class FuzzPrompt : public quil::PlayerPrompt {
public:
    int asked = 0;
    void showMessage(const std::string&, const std::string&, quil::PromptIcon) override {}
    std::optional<std::string> askPassword(const std::string&) override {
        return asked++ == 0 ? std::optional<std::string>("password") : std::nullopt;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzPrompt prompt;
    quil::Movie movie(prompt);
    if (!movie.Load(quil::openMovieBytes({data, size}))) {
        return 0;
    }
    // A movie with frames has a picture that fits 320 x 576; the others' geometry means nothing.
    std::vector<uint32_t> pixels(movie.hasFrames() ? size_t(movie.width()) * size_t(movie.rows()) : 0);
    for (int f = 0; f < movie.frameCount(); ++f) {
        const uint8_t* picture = movie.GetFrame(f);
        if (picture && movie.isTruecolor()) {
            quil::convertTruecolorToRgb32(picture, movie.width(), movie.rows() * 2 / 3, movie.truecolorVariant(),
                                          pixels.data(), movie.width());
        }
    }
    if (movie.frameCount() > 0) {
        (void)movie.GetFrame(movie.frameCount() / 2);
        (void)movie.GetFrame(0);
    }
    std::vector<int16_t> samples(4096);
    movie.SeekAudio(int64_t(size));
    while (movie.decodeAudio(samples.data(), int(samples.size())) > 0) {
    }
    (void)movie.positionSetup();
    return 0;
}
