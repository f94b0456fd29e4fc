// Opening sources: each candidate in list order, the first success kept, "no stream of
// this kind" ending the search quietly, and the first candidate's text when all fail.
#include "encoder/engine/movieencoder.h"
#include "fakesources.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const kExistingFile = QUIL_SOURCE_DIR "/CMakeLists.txt";

std::string Text(const char* t) { return t ? t : "(none)"; }

TEST(OpenSources, VideoCandidatesInListOrder) {
    struct {
        const char* name;
        int first, second;
        int wantSource; // 0 none, 1 or 2
        int wantSecondCalls;
        const char* wantText;
    } const cases[] = {
        {"first opens", kVideoOk, kVideoOk, 1, 0, nullptr},
        {"second opens", kVideoBadFormat, kVideoOk, 2, 1, nullptr},
        {"no video ends the search quietly", kVideoNoVideo, kVideoOk, 0, 0, nullptr},
        {"all fail", kVideoOpenError, kVideoReadError, 0, 1,
         "The video file is corrupt, in an unsupported format, or cannot be converted due to DRM "
         "or legal restrictions (e.g. MPEG-2 or MPEG-4)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        InfoOnlyVideoSource a, b;
        a.openResult = c.first;
        b.openResult = c.second;
        OrbanwickMovieEncoder e;
        e.SetSourceLists({&a, &b}, {});
        EXPECT_EQ(Text(e.OpenSources("", kExistingFile)), Text(c.wantText));
        VideoStreamSource* want = c.wantSource == 1 ? &a : c.wantSource == 2 ? &b : nullptr;
        EXPECT_EQ(e.GetVideoSource(), want);
        EXPECT_EQ(e.HasVideo(), want != nullptr);
        EXPECT_EQ(b.openCalls, c.wantSecondCalls);
        EXPECT_EQ(e.GetAudioSource(), nullptr);
    }
}

TEST(OpenSources, AudioCandidatesAndNoAudio) {
    InfoOnlyAudioSource a, b;
    a.openResult = kAudioNoAudio;
    OrbanwickMovieEncoder e;
    e.SetSourceLists({}, {&a, &b});
    EXPECT_EQ(e.OpenSources(kExistingFile, ""), nullptr);
    EXPECT_EQ(e.GetAudioSource(), nullptr);
    EXPECT_EQ(b.openCalls, 0);

    a.openResult = kAudioBadFormat;
    b.openResult = kAudioReadError;
    EXPECT_EQ(Text(e.OpenSources(kExistingFile, "")),
              "The audio file is corrupt, compressed, or--like MPEG-Layer III data--does not "
              "conform to the AVI format specification required by Video for Windows.");

    b.openResult = kAudioOk;
    EXPECT_EQ(e.OpenSources(kExistingFile, ""), nullptr);
    EXPECT_EQ(e.GetAudioSource(), &b);
    EXPECT_TRUE(e.HasAudio());
    e.CloseSources();
    EXPECT_EQ(e.GetAudioSource(), nullptr);
    EXPECT_FALSE(b.open);
}

TEST(OpenSources, MissingFilesAndEmptyLists) {
    InfoOnlyVideoSource v;
    InfoOnlyAudioSource a;
    OrbanwickMovieEncoder e;
    EXPECT_EQ(Text(e.OpenSources("", kExistingFile)),
              "Internal Error: A video file was specified but the list of video stream sources is "
              "empty.");
    EXPECT_EQ(Text(e.OpenSources(kExistingFile, "")),
              "Internal Error: An audio file was specified but the list of audio stream sources is "
              "empty.");
    e.SetSourceLists({&v}, {&a});
    EXPECT_EQ(Text(e.OpenSources("", "/nonexistent/clip.avi")), "The specified video file doesn't exist");
    EXPECT_EQ(Text(e.OpenSources("/nonexistent/clip.wav", "")), "The specified audio file doesn't exist");
    EXPECT_EQ(v.openCalls + a.openCalls, 0);
    EXPECT_EQ(e.OpenSources("", ""), nullptr);
}

} // namespace
