// Preview pictures: the stored rows come back upright, palette codes take the preview colour
// cube, the picture is centred in its pane, and stored sizes that do not fit the buffer draw
// nothing.
#include "encoder/app/previewpane.h"
#include "encoder/engine/movieencoder.h"

#include <gtest/gtest.h>

#include <vector>

TEST(PanePicture, PaletteRowsAreUprightInCubeColoursAndCentred) {
    OrbanwickMovieEncoder engine;
    engine.nColorDepth = 16;
    engine.nScreenWidth = 160;
    engine.nScreenHeight = 160;
    std::vector<uint8_t> buffer(OrbanwickMovieEncoder::kFrameBufferBytes, 0);
    // The top row of the picture is the buffer's row 159 (rows are kept bottom-up).
    std::fill_n(buffer.begin() + 159 * OrbanwickMovieEncoder::kPreviewRowBytes, 160, uint8_t(5));
    const PanePicture p =
        RenderPanePicture(buffer.data(), engine, *engine.GetPreviewBitmapInfo(), {200, 160});
    ASSERT_EQ(p.image.size(), QSize(160, 160));
    EXPECT_EQ(p.topLeft, QPoint(20, 0));
    EXPECT_EQ(p.image.pixel(10, 0), qRgb(0, 0, 255)); // entry 5: blue 5 x 51
    EXPECT_EQ(p.image.pixel(10, 159), qRgb(0, 0, 0));
}

TEST(PanePicture, SizesOutsideTheBufferDrawNothing) {
    struct Case {
        int width, height, depth;
    };
    const Case cases[] = {
        {640, 240, 16}, {320, 722, 16}, {320, 480 + 2, 25}, {0, 240, 16}, {-320, 240, 25}};
    std::vector<uint8_t> buffer(OrbanwickMovieEncoder::kFrameBufferBytes, 7);
    for (const Case& c : cases) {
        OrbanwickMovieEncoder engine;
        engine.nScreenWidth = c.width;
        engine.nScreenHeight = c.height;
        engine.nColorDepth = c.depth;
        const PanePicture p =
            RenderPanePicture(buffer.data(), engine, *engine.GetPreviewBitmapInfo(), {240, 180});
        EXPECT_TRUE(p.image.isNull()) << c.width << "x" << c.height;
    }
}
