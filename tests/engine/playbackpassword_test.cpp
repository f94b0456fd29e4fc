// Applying the playback password to a finished movie file.
#include "encoder/engine/playbackpassword.h"
#include "encoder/engine/params.h"
#include "moviedb/moviedbreader.h"
#include "moviedb/moviedbwriter.h"
#include "moviedb/movieheader.h"
#include "moviedb/password.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

std::string writeMovie(const std::string& path, uint32_t type) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    quil::MovieDbWriter w(f);
    EXPECT_EQ(w.begin("Clip", type, 3), quil::MovieDbError::Ok);
    quil::MovieHeader h;
    h.width = 160;
    h.rows = 160;
    h.bitsPerPixel = 8;
    h.frameCount = 2;
    h.setFrameRate(15.0);
    h.title = "Title";
    EXPECT_EQ(w.writeMovieHeader(h), quil::MovieDbError::Ok);
    const uint8_t frame[] = {0, 1, 2, 3};
    EXPECT_EQ(w.writeRecord(frame), quil::MovieDbError::Ok);
    EXPECT_EQ(w.writeRecord(frame), quil::MovieDbError::Ok);
    EXPECT_EQ(w.finish(), quil::MovieDbError::Ok);
    std::fclose(f);
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PlaybackPassword, ProtectsTypeAndHeaderThatTheKeystreamRestores) {
    const std::string path = std::filesystem::temp_directory_path() / ("quil-pw-" + std::to_string(::getpid()) + ".pdb");
    for (int mode : {kEncodeVideoWithAudio, kEncodeAudioOnly}) {
        const std::string before = writeMovie(path, mode == kEncodeAudioOnly ? quil::kDbTypeWave : quil::kDbTypeMovie);
        ASSERT_EQ(ApplyPlaybackPassword(path, "Secret Word", mode), "");
        const std::string after = readAll(path);
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(after.substr(60, 4), mode == kEncodeAudioOnly ? "PWav" : "PMov");
        const size_t at = 78 + 8 * 3;
        EXPECT_NE(after.substr(at, 44), before.substr(at, 44));
        EXPECT_EQ(after.substr(at + 44), before.substr(at + 44)); // strings and records untouched
        std::array<uint8_t, 44> area;
        std::memcpy(area.data(), after.data() + at, 44);
        quil::scrambleHeaderArea(area, "sECRETwORD"); // case and spaces do not count
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(area.data()), 44), before.substr(at, 44));
    }
    std::remove(path.c_str());
}

TEST(PlaybackPassword, EmptyPasswordLeavesTheMovieAsItIs) {
    const std::string path = std::filesystem::temp_directory_path() / ("quil-pw0-" + std::to_string(::getpid()) + ".pdb");
    const std::string before = writeMovie(path, quil::kDbTypeMovie);
    EXPECT_EQ(ApplyPlaybackPassword(path, "", kEncodeVideoOnly), "");
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(before.substr(60, 4), "Mvie");
    std::remove(path.c_str());
}

TEST(PlaybackPassword, AFileThatCannotBeRewrittenIsReportedNotLeftSilentlyOpen) {
    const std::string dir = std::filesystem::temp_directory_path() / ("quil-pwro-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string before = writeMovie(dir + "/movie.pdb", quil::kDbTypeMovie);
    // Something in the movie's place that cannot be opened for update, even by root.
    std::filesystem::create_directories(dir + "/taken.pdb");
    const std::string msg = ApplyPlaybackPassword(dir + "/taken.pdb", "pw", kEncodeVideoOnly);
    EXPECT_NE(msg.find("could not be reopened"), std::string::npos) << msg;
    EXPECT_NE(ApplyPlaybackPassword(dir + "/missing.pdb", "pw", kEncodeVideoOnly), "");
    // A file too short to hold its header is not marked protected.
    const std::string shortPath = dir + "/short.pdb";
    std::ofstream(shortPath, std::ios::binary) << before.substr(0, 90);
    EXPECT_NE(ApplyPlaybackPassword(shortPath, "pw", kEncodeVideoOnly), "");
    EXPECT_EQ(readAll(shortPath).substr(60, 4), "Mvie");
    std::filesystem::remove_all(dir);
}

} // namespace
