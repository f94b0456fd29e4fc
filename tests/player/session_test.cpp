// The open command and the display picture, over movie files written to a temporary folder.
#include "fakes.h"
#include "moviefixture.h"

#include "player/core/session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace quil::test {
namespace {

class FakeControl : public PositionControlModel {
public:
    int pos = 0, minimum = -1, maximum = -1;
    int32_t duration = 12345;
    int position() const override { return pos; }
    void setPosition(int p) override { pos = p; }
    void setRange(int lo, int hi) override {
        minimum = lo;
        maximum = hi;
    }
    void setUnitDuration(int32_t us) override { duration = us; }
};

class Session : public testing::Test {
protected:
    RecordingPrompt prompt;
    FakeAudioOutput audio;
    FakeClock clock;
    FakeControl control;
    int repaints = 0;
    PlayerSession session{prompt, audio, clock, control, [this] { ++repaints; }};
    std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                   ("quil-session-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                    "-" + std::to_string(reinterpret_cast<uintptr_t>(this)));

    void SetUp() override { std::filesystem::create_directories(folder); }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string save(const std::string& name, const FixtureMovie& movie) {
        const std::vector<uint8_t> bytes = writeMovie(movie);
        const std::string path = (folder / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
        return path;
    }
};

TEST_F(Session, OpeningSetsTitleControlAndShowsFrameZero) {
    FixtureMovie fixture = countingMovie(30, 10);
    std::vector<uint32_t> palette(254, 0x336699);
    fixture.frames[0] = keyFrame(160, 160, 1, palette);
    fixture.rate = 15;
    const std::string path = save("a.pdb", fixture);
    control.pos = 17;
    ASSERT_TRUE(session.open(path));
    EXPECT_EQ(session.title(), "Quillreel Player for Windows - [" + path + "]");
    EXPECT_EQ(control.minimum, 0);
    EXPECT_EQ(control.maximum, 29);
    EXPECT_EQ(control.duration, 66667);
    EXPECT_EQ(control.pos, 0);
    ASSERT_EQ(session.pictureWidth(), 160);
    ASSERT_EQ(session.pictureHeight(), 160);
    EXPECT_EQ(session.picture()[0], 0xFF336699u);
    EXPECT_EQ(session.picture()[160 * 160 - 1], 0xFF336699u);
    EXPECT_GE(repaints, 1);

    control.pos = 5;
    session.engine().positionEvent(PositionEvent::Moved);
    EXPECT_EQ(session.movie().currentFrame(), 5);
}

TEST_F(Session, OpeningASecondMovieWhileOnePlaysStopsPlaybackFirst) {
    FixtureMovie first = countingMovie(30, 10);
    first.audio = {std::vector<uint8_t>(32768, 128)};
    ASSERT_TRUE(session.open(save("a.pdb", first)));
    session.engine().start();
    clock.now += 10;
    session.engine().tick();
    ASSERT_TRUE(session.engine().isPlaying());
    ASSERT_TRUE(audio.opened);

    FixtureMovie second;
    second.colorMode = 2;
    second.audio = {std::vector<uint8_t>(32768, 128)};
    ASSERT_TRUE(session.open(save("b.pdb", second)));
    EXPECT_FALSE(session.engine().isPlaying());
    EXPECT_FALSE(audio.opened);
    EXPECT_EQ(control.maximum, 32768 / 1000 - 1);
    EXPECT_EQ(control.duration, -100000);
    EXPECT_TRUE(session.picture().empty()); // audio only: the picture area stays black
}

TEST_F(Session, AFailedOpenLeavesNoMovie) {
    ASSERT_TRUE(session.open(save("a.pdb", countingMovie(3, 0))));
    EXPECT_FALSE(session.open((folder / "missing.pdb").string()));
    EXPECT_EQ(session.title(), "Quillreel Player for Windows");
    EXPECT_FALSE(session.movie().hasFrames());
    EXPECT_TRUE(session.picture().empty());
    session.engine().start();
    session.engine().tick(); // nothing to play, nothing to crash on
    EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(Session, TruecolorPictureIsTwoThirdsOfTheRows) {
    FixtureMovie fixture;
    fixture.width = 320;
    fixture.rows = 360;
    fixture.colorMode = 5;
    fixture.frames = {keyFrame(320, 360, 0, std::vector<uint32_t>(254, 0))};
    ASSERT_TRUE(session.open(save("t.pdb", fixture)));
    EXPECT_EQ(session.pictureWidth(), 320);
    EXPECT_EQ(session.pictureHeight(), 240);
    EXPECT_EQ(session.picture().size(), 320u * 240u);
}

} // namespace
} // namespace quil::test
