// The /p, /r and /x switches and the output name suggested for a chosen source.
#include "encoder/app/core/cmdline.h"
#include "encoder/app/core/outputname.h"

#include <gtest/gtest.h>

namespace {

TEST(PresetSwitch, ThreeStringsSetSourceOutputAndName) {
    const PresetSwitch p = ParsePresetSwitch("quillreel-encoder /p\"a.avi\",\"b.pdb\",\"Clip\"");
    EXPECT_EQ(p.source, "a.avi");
    EXPECT_EQ(p.output, "b.pdb");
    EXPECT_EQ(p.name, "Clip");
}

TEST(PresetSwitch, EachStepTakesEffectOnItsOwn) {
    const PresetSwitch one = ParsePresetSwitch("x /p\"only.avi\"");
    EXPECT_EQ(one.source, "only.avi");
    EXPECT_FALSE(one.output.has_value());
    EXPECT_FALSE(one.name.has_value());
    const PresetSwitch two = ParsePresetSwitch("x /p\"a.avi\",\"b.pdb\"");
    EXPECT_EQ(two.output, "b.pdb");
    EXPECT_FALSE(two.name.has_value());
    EXPECT_FALSE(ParsePresetSwitch("x /p a.avi").source.has_value());
    EXPECT_FALSE(ParsePresetSwitch("x/p\"a.avi\"").source.has_value());
    EXPECT_FALSE(ParsePresetSwitch("x /p\"unterminated").source.has_value());
    EXPECT_FALSE(ParsePresetSwitch("x /p\"a\"").output.has_value());
}

TEST(PresetSwitch, ArgumentsFromAShellAreJoinedBackIntoTheQuotedForm) {
    struct Case {
        std::vector<std::string> args;
        std::string source, output, name;
    };
    const Case cases[] = {
        {{"enc", "/p", "\"a.avi\",\"b.pdb\",\"Clip\""}, "a.avi", "b.pdb", "Clip"},
        {{"enc", "/p", "my clip.avi", "out dir/b.pdb", "Clip Two", "/r"}, "my clip.avi", "out dir/b.pdb", "Clip Two"},
        {{"enc", "/p\"a.avi\",\"b.pdb\",\"C\""}, "a.avi", "b.pdb", "C"},
        {{"enc", "/p", "/home/me/a.avi", "/tmp/b.pdb", "Clip", "/x"}, "/home/me/a.avi", "/tmp/b.pdb", "Clip"},
    };
    for (const Case& c : cases) {
        const std::string cmd = JoinCommandLine(c.args);
        SCOPED_TRACE(cmd);
        const PresetSwitch p = ParsePresetSwitch(cmd);
        EXPECT_EQ(p.source, c.source);
        EXPECT_EQ(p.output, c.output);
        EXPECT_EQ(p.name, c.name);
    }
    EXPECT_TRUE(HasUnattendedSwitch(JoinCommandLine({"enc", "/p", "a", "b", "c", "/r", "/x"})));
    EXPECT_TRUE(HasQuitSwitch(JoinCommandLine({"enc", "/r", "/x"})));
    EXPECT_FALSE(HasUnattendedSwitch("enc/r"));
    EXPECT_FALSE(HasQuitSwitch("enc /X"));
}

TEST(OutputName, ReplacesTheFileNamesExtensionOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"/home/me/clip.avi", "/home/me/clip.pdb"},
        {"/home/me/clip", "/home/me/clip.pdb"},
        {"/home/me/clips.old/movie", "/home/me/clips.old/movie.pdb"},
        {"/home/me/clips.old/movie.tar.mov", "/home/me/clips.old/movie.tar.pdb"},
        {"clip.mpg", "clip.pdb"},
        {"", ".pdb"},
        {"/" + std::string(260, 'a') + ".avi", "/" + std::string(260, 'a') + ".avi"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(DeriveOutputName(in), out) << in;
    }
}

} // namespace
