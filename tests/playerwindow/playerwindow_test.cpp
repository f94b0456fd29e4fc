// The player window on the offscreen platform: layout before and after a movie, the frame as
// drawn against the decoded picture scaled nearest-neighbour into the picture rectangle, the
// position control's label, and the silent-playback warning without a sound server.
#include "moviefixture.h"

#include "player/window/quilplayer.h"
#include "player/window/veskpositioncontrol.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QSlider>
#include <QTimer>

#include <filesystem>
#include <fstream>

namespace quil::test {
namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "playerwindow_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // No sound server: playback goes silent.
        qputenv("PULSE_SERVER", "unix:/nonexistent/quillreel-test");
        return new QApplication(argc, argv);
    }();
    return *instance;
}

std::string saveMovie(const std::string& name, const FixtureMovie& movie) {
    const auto path = std::filesystem::temp_directory_path() / name;
    const std::vector<uint8_t> bytes = writeMovie(movie);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    return path.string();
}

class PlayerWindow : public testing::Test {
protected:
    void SetUp() override { app(); }
};

TEST_F(PlayerWindow, BeforeAnyMovieThePictureAreaIsBlackAround160By160) {
    QuilPlayer player;
    player.show();
    QApplication::processEvents();
    EXPECT_EQ(player.windowTitle(), QStringLiteral("Quillreel Player for Windows"));
    const QRect r = player.pictureRect();
    EXPECT_EQ(r.width(), r.height());
    const QImage shot = player.pictureWidget()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(r.center()), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(5, 5), QColor(Qt::black));
}

TEST_F(PlayerWindow, ShowsTheDecodedFrameScaledIntoThePictureRectangle) {
    // A 160x160 checkerboard of 8x8 squares in colours 1 and 2.
    std::vector<uint8_t> pixels(160 * 160);
    for (int y = 0; y < 160; ++y) {
        for (int x = 0; x < 160; ++x) {
            pixels[size_t(y) * 160 + size_t(x)] = uint8_t(1 + ((x / 8 + y / 8) & 1));
        }
    }
    std::vector<uint32_t> palette(254, 0);
    palette[0] = 0xFF8000; // index 1
    palette[1] = 0x0040FF; // index 2
    FixtureMovie fixture;
    fixture.rate = 15;
    fixture.frames = {keyFrameWithPixels(160, 160, pixels, palette)};
    const std::string path = saveMovie("quil-window-checker.pdb", fixture);

    QuilPlayer player;
    player.resize(640, 520);
    player.show();
    ASSERT_TRUE(player.openFile(QString::fromStdString(path)));
    QApplication::processEvents();
    EXPECT_EQ(player.windowTitle().toStdString(), "Quillreel Player for Windows - [" + path + "]");
    EXPECT_EQ(player.positionControl()->labelText(), QStringLiteral(" Frame 0 (0:00:00.000)"));

    const QRect r = player.pictureRect();
    const QImage shot = player.pictureWidget()->grab().toImage();
    shot.save(QString::fromStdString((std::filesystem::temp_directory_path() / "quil-window-checker.png").string()));
    const double sx = r.width() / 160.0, sy = r.height() / 160.0;
    int mismatches = 0;
    for (int y = 0; y < 160; y += 3) {
        for (int x = 0; x < 160; x += 3) {
            const QPoint at(r.left() + int((x + 0.5) * sx), r.top() + int((y + 0.5) * sy));
            const QColor expected = pixels[size_t(y) * 160 + size_t(x)] == 1 ? QColor(0xFF, 0x80, 0) : QColor(0, 0x40, 0xFF);
            mismatches += shot.pixelColor(at) != expected;
        }
    }
    EXPECT_EQ(mismatches, 0);
    // Black outside the picture, inside the edge.
    EXPECT_EQ(shot.pixelColor(r.left() - 2, r.center().y()), QColor(Qt::black));
}

TEST_F(PlayerWindow, PositionLabelFollowsTheControl) {
    FixtureMovie fixture = countingMovie(40, 10);
    fixture.rate = 15;
    const std::string path = saveMovie("quil-window-label.pdb", fixture);
    QuilPlayer player;
    player.show();
    ASSERT_TRUE(player.openFile(QString::fromStdString(path)));
    VeskPositionControl* control = player.positionControl();
    control->setPosition(30);
    EXPECT_EQ(control->labelText(), QStringLiteral(" Frame 30 (0:00:02.000)"));
    EXPECT_EQ(control->slider()->maximum(), 39);

    player.resize(300, 300);
    QApplication::processEvents();
    const QLabel* label = control->findChild<QLabel*>(QStringLiteral("positionLabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->width(), control->width() - 80);
}

TEST_F(PlayerWindow, WithoutASoundServerPlaysSilentlyAndWarnsOnce) {
    FixtureMovie fixture = countingMovie(40, 10);
    fixture.audio = {std::vector<uint8_t>(32768, 128)};
    const std::string path = saveMovie("quil-window-sound.pdb", fixture);
    QuilPlayer player;
    player.show();
    ASSERT_TRUE(player.openFile(QString::fromStdString(path)));
    QStringList seen;
    auto closeBoxes = [&seen] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen << box->windowTitle() + ": " + box->text();
            box->done(QMessageBox::Ok);
        }
    };
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, closeBoxes);
    closer.start(20);
    for (int run = 0; run < 2; ++run) {
        player.session().engine().button(PositionButton::Play);
        EXPECT_TRUE(player.session().engine().isPlaying());
        player.session().engine().button(PositionButton::Stop);
    }
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0], QStringLiteral("Quillreel Player Warning: Audio hardware is busy or unavailable -- "
                                      "playback will be silent."));
}

} // namespace
} // namespace quil::test
