// The pictures the player shows are the encoder's: for movies made by the engine, every frame
// the player's movie object decodes, in order and after seeks, equals the engine's own
// reconstruction (its compressed preview) in palette, grayscale and truecolor modes.
#include "../engine/enginetestkit.h"
#include "../engine/fakesources.h"

#include "player/core/movie.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

class SilentPrompt : public quil::PlayerPrompt {
public:
    void showMessage(const std::string&, const std::string&, quil::PromptIcon) override {}
    std::optional<std::string> askPassword(const std::string&) override { return std::nullopt; }
};

uint32_t Moving(int frame, int x, int y) {
    const bool square = x >= (frame * 3) % 48 && x < (frame * 3) % 48 + 10 && y >= 8 && y < 20;
    return square ? 0x00F0E010u : uint32_t((((x * 4 + frame * 5) & 255) << 16) | (((y * 5) & 255) << 8) | ((x + y + frame) & 255));
}

TEST(PlayerPictures, EqualTheEnginesReconstruction) {
    struct Case {
        const char* name;
        int depth;
        bool gray;
        int width, height, rows, keyInterval;
    };
    const Case cases[] = {
        {"Std Color Palette", 11, false, 160, 160, 160, 0},
        {"Ext Color Palette, seek points", 16, false, 320, 240, 240, 1},
        {"Grayscale", 16, true, 160, 160, 160, 0},
        {"Truecolor, seek points", 24, false, 320, 240, 360, 1},
        {"Truecolor Plus", 25, false, 216, 384, 576, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestVideo video({10, 1, 31, 64, 48}, Moving);
        RecordingEngine e;
        e.nColorDepth = c.depth;
        e.fUseGrayscale = c.gray;
        e.nScreenWidth = c.width;
        e.nScreenHeight = c.height;
        e.nMaxFrameRate = 10;
        e.nKeyFrameInterval = c.keyInterval; // seconds: every 10 frames at 10 fps
        e.SetSources(&video.source, nullptr);
        std::vector<uint8_t> sourcePreview(320 * 720), compressedPreview(320 * 720);
        e.SetPreviewBuffers(sourcePreview.data(), compressedPreview.data());
        std::vector<std::vector<uint8_t>> pictures;
        e.onReport = [&](const Report& r) {
            if (r.code == kProgressEncoding && (r.b & 0xFFFF) != 0) {
                std::vector<uint8_t> top(size_t(c.width) * c.rows);
                for (int row = 0; row < c.rows; ++row) {
                    std::memcpy(&top[size_t(row) * c.width], &compressedPreview[size_t(c.rows - 1 - row) * 320],
                                size_t(c.width));
                }
                pictures.push_back(std::move(top));
            }
        };
        TempMovie file;
        FILE* out = file.openForWriting();
        ASSERT_NE(out, nullptr);
        e.EncodeVideoMovie(out, "Pictures", c.width, c.height, c.depth, false, false, false, 0.f, 0.f, 0, 0);
        std::fclose(out);
        ASSERT_EQ(e.count(kProgressComplete), 1);
        ASSERT_EQ(pictures.size(), 30u);

        SilentPrompt prompt;
        quil::Movie movie(prompt);
        ASSERT_TRUE(movie.Load(file.path()));
        ASSERT_EQ(movie.frameCount(), 30);
        ASSERT_EQ(movie.rows(), c.rows);
        std::vector<uint8_t> shown(size_t(c.width) * c.rows);
        // In order, then backwards (every step back seeks from a key frame), then a jump.
        std::vector<int> order;
        for (int f = 0; f < 30; ++f) {
            order.push_back(f);
        }
        for (int f = 28; f >= 0; f -= 3) {
            order.push_back(f);
        }
        order.push_back(25);
        for (int f : order) {
            SCOPED_TRACE(f);
            ASSERT_TRUE(movie.showFrame(f, shown.data(), c.width));
            ASSERT_TRUE(shown == pictures[size_t(f)]);
        }
    }
}

} // namespace
