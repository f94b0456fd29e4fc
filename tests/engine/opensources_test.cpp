// The notices OpenSources shows on its way: the size warning for a video file of 2 GB or more
// (the search goes on), and a missing QuickTime-style library for ".mov" files.
#include "encoder/engine/movieencoder.h"
#include "encoder/media/mediamessage.h"
#include "fakesources.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class TypedVideo : public InfoOnlyVideoSource {
public:
    uint32_t type = kSourceTypeVideoQT;
    uint32_t GetSourceType() override { return type; }
};

class TypedAudio : public InfoOnlyAudioSource {
public:
    uint32_t type = kSourceTypeAudioQT;
    int result = kAudioImpl14;
    uint32_t GetSourceType() override { return type; }
    int Open(const char*) override { return result; }
};

struct Notices {
    std::vector<std::string> seen;
    Notices() {
        setMediaMessageHandler([this](const char* caption, const char* text) {
            seen.push_back(std::string(caption) + ": " + text);
        });
    }
    ~Notices() { setMediaMessageHandler({}); }
};

std::string tempFile(const std::string& name, off_t size) {
    const std::string path = std::filesystem::temp_directory_path() /
                             ("quil-open-" + std::to_string(::getpid()) + "-" + name);
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fclose(f);
    EXPECT_EQ(::truncate(path.c_str(), size), 0);
    return path;
}

TEST(OpenSources, WarnsAboutVideoFilesOfTwoGigabytesAndGoesOn) {
    Notices notices;
    InfoOnlyVideoSource video;
    video.info = {15, 1, 30, 64, 48};
    OrbanwickMovieEncoder engine;
    engine.SetSourceLists({&video}, {});
    const std::string small = tempFile("small.avi", 1000);
    const std::string big = tempFile("big.avi", 2147483647);
    EXPECT_EQ(engine.OpenSources("", small.c_str()), nullptr);
    EXPECT_TRUE(notices.seen.empty());
    EXPECT_EQ(engine.OpenSources("", big.c_str()), nullptr);
    ASSERT_EQ(notices.seen.size(), 1u);
    EXPECT_EQ(notices.seen[0].rfind("Video file too large: The selected video file is larger than 2 "
                                    "Gigabytes, and may be unreadable", 0), 0u);
    EXPECT_TRUE(engine.HasVideo());
    std::remove(small.c_str());
    std::remove(big.c_str());
}

TEST(OpenSources, MissingQuickTimeLibraryIsShownOncePerMovFile) {
    Notices notices;
    TypedVideo video;
    video.openResult = kVideoImpl13;
    TypedAudio audio;
    OrbanwickMovieEncoder engine;
    engine.SetSourceLists({&video}, {&audio});
    const std::string mov = tempFile("clip.MOV", 100);
    EXPECT_NE(engine.OpenSources(mov.c_str(), mov.c_str()), nullptr);
    ASSERT_EQ(notices.seen.size(), 1u); // the audio's code 14 is not shown again
    EXPECT_EQ(notices.seen[0].rfind("QuickTime Video Source Initialization Error: ", 0), 0u);
    notices.seen.clear();
    engine.CloseSources();
    EXPECT_NE(engine.OpenSources(mov.c_str(), ""), nullptr);
    ASSERT_EQ(notices.seen.size(), 1u);
    EXPECT_EQ(notices.seen[0].rfind("QuickTime Audio Source Initialization Error: ", 0), 0u);
    const std::string avi = tempFile("clip.avi", 100);
    notices.seen.clear();
    engine.OpenSources(avi.c_str(), avi.c_str());
    EXPECT_TRUE(notices.seen.empty());
    std::remove(mov.c_str());
    std::remove(avi.c_str());
}

} // namespace
