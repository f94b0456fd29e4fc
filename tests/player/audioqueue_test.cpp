// The audio output queue over a fake device: buffer hand-over, reclaiming played buffers,
// flushing a partial buffer, waiting when no buffer is free, the silent state and the clock.
#include "fakes.h"

#include <gtest/gtest.h>

namespace quil::test {
namespace {

class FakeDevice : public AudioDevice {
public:
    bool openSucceeds = true;
    std::vector<AudioBuffer*> submitted;
    std::vector<std::vector<uint8_t>> contents;
    int64_t played = 0;
    int waits = 0;
    bool paused = false;
    int resets = 0;

    bool open(int) override { return openSucceeds; }
    void close() override {}
    void pause() override { paused = true; }
    void restart() override { paused = false; }
    void reset() override {
        ++resets;
        for (auto* buffer : submitted) {
            buffer->done = true;
        }
        played = 0;
    }
    void submit(AudioBuffer& buffer) override {
        submitted.push_back(&buffer);
        contents.emplace_back(buffer.data.begin(), buffer.data.begin() + long(buffer.length));
    }
    int64_t playedSamples() override { return played; }
    bool waitForDone(int) override {
        // Plays the oldest buffer that is not yet done.
        ++waits;
        for (auto* buffer : submitted) {
            if (!buffer->done) {
                buffer->done = true;
                return true;
            }
        }
        return false;
    }
};

TEST(AudioOutputQueue, HandsFullBuffersToTheDeviceAndReclaimsPlayedOnes) {
    FakeDevice device;
    AudioOutputQueue queue(device);
    ASSERT_TRUE(queue.open(10000));
    EXPECT_TRUE(device.paused);
    EXPECT_EQ(queue.state(), AudioOutputQueue::State::Paused);
    EXPECT_EQ(queue.freeBytes(), 32768);

    std::vector<uint8_t> bytes(12000);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = uint8_t(i * 7);
    }
    ASSERT_TRUE(queue.write(bytes.data(), bytes.size(), -1));
    ASSERT_EQ(device.submitted.size(), 1u);
    EXPECT_EQ(device.contents[0], std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8192));
    EXPECT_EQ(queue.freeBytes(), 32768 - 12000);
    EXPECT_FALSE(queue.reclaim());

    device.submitted[0]->done = true;
    EXPECT_TRUE(queue.reclaim());
    EXPECT_EQ(queue.freeBytes(), 32768 - 12000 + 8192);

    queue.flush(); // the 3808 bytes left, padded with silence
    ASSERT_EQ(device.submitted.size(), 2u);
    EXPECT_EQ(device.contents[1].size(), 8192u);
    EXPECT_EQ(std::vector<uint8_t>(device.contents[1].begin(), device.contents[1].begin() + 3808),
              std::vector<uint8_t>(bytes.begin() + 8192, bytes.end()));
    EXPECT_EQ(device.contents[1].back(), 0);
    EXPECT_EQ(queue.freeBytes(), 32768 - 8192);
}

TEST(AudioOutputQueue, WaitsForThePlayedBufferWhenNoneIsFree) {
    FakeDevice device;
    AudioOutputQueue queue(device);
    ASSERT_TRUE(queue.open(20000));
    std::vector<uint8_t> bytes(5 * 8192, 1);
    ASSERT_TRUE(queue.write(bytes.data(), bytes.size(), -1));
    EXPECT_EQ(device.waits, 1);
    EXPECT_EQ(device.submitted.size(), 5u);
    EXPECT_EQ(device.submitted[4], device.submitted[0]); // the played buffer came back

    FakeDevice stuck; // a device that never finishes a buffer
    AudioOutputQueue second(stuck);
    ASSERT_TRUE(second.open(10000));
    ASSERT_TRUE(second.write(bytes.data(), 4 * 8192, 0));
    for (auto* buffer : stuck.submitted) {
        buffer->done = false;
    }
    stuck.submitted.clear();
    EXPECT_FALSE(second.write(bytes.data(), 8192, 10));
}

TEST(AudioOutputQueue, PositionCountsOnlyWhilePlaying) {
    FakeDevice device;
    AudioOutputQueue queue(device);
    EXPECT_EQ(queue.positionMs(), -1);
    ASSERT_TRUE(queue.open(20000));
    device.played = 5000;
    EXPECT_EQ(queue.positionMs(), -1); // paused
    queue.restart();
    EXPECT_EQ(queue.positionMs(), 250);
    device.played = -1;
    EXPECT_EQ(queue.positionMs(), -1);
    queue.stop();
    EXPECT_EQ(queue.state(), AudioOutputQueue::State::Paused);
    EXPECT_EQ(device.resets, 1);
    EXPECT_EQ(queue.positionMs(), -1);
    queue.close();
    EXPECT_EQ(queue.state(), AudioOutputQueue::State::Closed);
}

TEST(AudioOutputQueue, SilentQueueAcceptsAndDropsEverything) {
    FakeDevice device;
    device.openSucceeds = false;
    AudioOutputQueue queue(device);
    EXPECT_FALSE(queue.open(10000));
    queue.markSilent();
    EXPECT_TRUE(queue.isSilent());
    std::vector<uint8_t> bytes(100000);
    EXPECT_TRUE(queue.write(bytes.data(), bytes.size(), -1));
    queue.restart();
    queue.flush();
    EXPECT_TRUE(device.submitted.empty());
    EXPECT_EQ(queue.positionMs(), -1);
    queue.close();
    EXPECT_FALSE(queue.isSilent());
}

} // namespace
} // namespace quil::test
