// The preview bitmap description: header fields and the 6 x 7 x 6 colour cube.
#include "encoder/engine/movieencoder.h"

#include <gtest/gtest.h>

namespace {

TEST(PreviewBitmap, ConstructorDescribesA320By720ByteBuffer) {
    OrbanwickMovieEncoder engine;
    const PreviewBitmapHeader& h = engine.GetPreviewBitmapInfo()->header;
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 320);
    EXPECT_EQ(h.biHeight, 720);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 230400u);
    EXPECT_EQ(h.biXPelsPerMeter, 40);
    EXPECT_EQ(h.biYPelsPerMeter, 40);
    EXPECT_EQ(h.biClrUsed, 256u);
    EXPECT_EQ(h.biClrImportant, 256u);
}

TEST(PreviewBitmap, SetupChangesSizeAndKeepsTheCube) {
    OrbanwickMovieEncoder engine;
    engine.SetupPreviewBitmap(216, 576, 16);
    const PreviewBitmapInfo& info = *engine.GetPreviewBitmapInfo();
    EXPECT_EQ(info.header.biWidth, 216);
    EXPECT_EQ(info.header.biHeight, 576);
    EXPECT_EQ(info.header.biBitCount, 16);
    EXPECT_EQ(info.header.biSizeImage, 216u * 576u * 2u);
    struct {
        int index;
        int red, green, blue;
    } const entries[] = {
        {0, 0, 0, 0},      {5, 0, 0, 255},    {6, 0, 42, 0},     {12, 0, 85, 0},
        {18, 0, 127, 0},   {41, 0, 255, 255}, {42, 51, 0, 0},    {127, 153, 0, 51},
        {251, 255, 255, 255},
    };
    for (const auto& e : entries) {
        SCOPED_TRACE(e.index);
        const PreviewRgbQuad& q = info.colors[size_t(e.index)];
        EXPECT_EQ(q.rgbRed, e.red);
        EXPECT_EQ(q.rgbGreen, e.green);
        EXPECT_EQ(q.rgbBlue, e.blue);
        EXPECT_EQ(q.rgbReserved, 0);
    }
}

} // namespace
