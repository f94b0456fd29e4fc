// The in-memory video source behaves like a file source towards the engine.
#include "encoder/media/memorysource.h"
#include "encoder/media/vbitmap.h"

#include <gtest/gtest.h>

namespace {

TEST(MemoryVideoSource, PaintsRecordsAndFailsLikeAFileSource) {
    // Bottom row red, the rest of the picture carries the index.
    MemoryVideoSource src({30, 1, 10, 4, 3}, [](int index, VBitmap& pic) {
        MemoryVideoSource::indexPainter()(index, pic);
        pic.RectFill(0, 0, -1, 1, 0xFF0000);
    });
    std::unique_ptr<VBitmap> pic;
    EXPECT_EQ(src.GetFrame(0, pic), kVideoNotOpen);
    ASSERT_EQ(src.Open("clip.avi"), 0);
    EXPECT_EQ(src.openedName(), "clip.avi");
    double fps, step;
    int count;
    src.ComputeFrameStep(0, &fps, &count, &step, nullptr);
    EXPECT_EQ(count, 3); // 30 fps at automatic rate: every third frame

    ASSERT_EQ(src.GetFrame(7, pic), 0);
    ASSERT_EQ(pic->GetWidth(), 4);
    ASSERT_EQ(pic->GetHeight(), 3);
    EXPECT_EQ(MemoryVideoSource::indexOfPixel(pic->Row(2)[1]), 7);
    EXPECT_EQ(pic->Row(0)[0], 0xFF0000u);
    src.SetFlipRows(true);
    ASSERT_EQ(src.GetFrame(7, pic), 0);
    EXPECT_EQ(pic->Row(2)[0], 0xFF0000u);

    src.failFrame(4, kVideoReadError);
    EXPECT_EQ(src.GetFrame(4, pic), kVideoReadError);
    EXPECT_EQ(src.GetFrame(10, pic), kVideoReadError);
    EXPECT_EQ(src.requestedFrames(), (std::vector<int>{7, 7, 4, 10}));

    src.setOpenResult(kVideoNoVideo);
    EXPECT_EQ(src.Open("clip.avi"), kVideoNoVideo);
    EXPECT_FALSE(src.IsOpen());
    EXPECT_EQ(src.GetLength(), 0);
    EXPECT_EQ(src.openCount(), 2);
}

} // namespace
