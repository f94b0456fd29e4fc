// Batch task lines: the layout of a written line and the round trip of every field.
#include "encoder/app/core/batchtasks.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

std::tm stamp() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 9;
    t.tm_hour = 8;
    t.tm_min = 5;
    t.tm_sec = 3;
    return t;
}

TEST(TaskLine, LayoutOfAWrittenLine) {
    MainWindowFields f = DefaultMainWindowFields();
    f.source_file = "/v/a.avi";
    f.output_file = "/out/b.pdb";
    f.encodemode = 2;
    EncodingParameters p;
    const std::string line = FormatTaskLine(f, p, stamp());
    const std::string nb = "\xC2\xA0";
    const std::string expected =
        "Created:" + nb + "2026-12-9" + nb + "at" + nb + "08:05:03," + nb + nb + nb + "Format:" + nb +
        "320x240" + nb + "15fps" + nb + "4000bpf," + nb + nb + nb + "Target" + nb + "file:" + nb +
        "b.pdb" + std::string(35, ' ') + "2 /v/a.avi, , /out/b.pdb, Unnamed" + nb + "movie, , , , " +
        "0 0 320 240 25 0 0 8000 4000 2000 0 15 0 0 0 0.000000 0.000000 0.000000 0 0 0 0 0 0 0 150 \n";
    EXPECT_EQ(line, expected);
}

TEST(TaskLine, EveryFieldRoundTrips) {
    MainWindowFields f;
    f.source_file = "/home/me/Été à Paris/Été à Paris.avi";
    f.asource_file = "/home/me/son ^ bruit\xC2\xA0" "fin.wav"; // a real no-break space and a caret
    f.output_file = "/tmp/out dir/Ġood movie.pdb";
    f.dbname = "Clip, with comma";
    f.author = "";
    f.title = "two  spaces ";
    f.password = "pw\nx";
    f.looping = true;
    f.holding = false;
    f.encodemode = 1;
    EncodingParameters p;
    p.nScreenWidth = 216;
    p.nScreenHeight = 384;
    p.nColorDepth = 16;
    p.fUseFastEncoding = true;
    p.fUseGrayscale = true;
    p.nBytesCeiling = 9000;
    p.nBytesTarget = 3100;
    p.nBytesFloor = 1550;
    p.fUncompressedVideo = true;
    p.nMaxFrameRate = 0;
    p.nKeyFrameInterval = 10;
    p.nFrameStart = 12;
    p.nFrameEnd = 345;
    p.rCropFactor = 0.25;
    p.rBrightness = -0.125;
    p.rContrast = 0.5;
    p.fFlipImageVertically = true;
    p.fRotateImageSideways = true;
    p.bUseADPCM = true;
    p.bAudioBoost = true;
    p.nAudioBoostVal = 200;

    std::string line = FormatTaskLine(f, p, stamp());
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    line.pop_back();

    MainWindowFields g = DefaultMainWindowFields();
    EncodingParameters q;
    ASSERT_TRUE(ParseTaskLine(line, g, q));
    EXPECT_EQ(g.source_file, f.source_file);
    EXPECT_EQ(g.asource_file, f.asource_file);
    EXPECT_EQ(g.output_file, f.output_file);
    EXPECT_EQ(g.dbname, f.dbname);
    EXPECT_EQ(g.author, "");
    EXPECT_EQ(g.title, f.title);
    EXPECT_EQ(g.password, f.password);
    EXPECT_EQ(g.looping, true);
    EXPECT_EQ(g.holding, false);
    EXPECT_EQ(g.encodemode, 1);
    EXPECT_EQ(q.nScreenWidth, 216);
    EXPECT_EQ(q.nScreenHeight, 384);
    EXPECT_EQ(q.nColorDepth, 16);
    EXPECT_TRUE(q.fUseFastEncoding && q.fUseGrayscale && q.fUncompressedVideo);
    EXPECT_EQ(q.nBytesCeiling, 9000);
    EXPECT_EQ(q.nBytesTarget, 3100);
    EXPECT_EQ(q.nBytesFloor, 1550);
    EXPECT_EQ(q.nMaxFrameRate, 0);
    EXPECT_EQ(q.nKeyFrameInterval, 10);
    EXPECT_EQ(q.nFrameStart, 12);
    EXPECT_EQ(q.nFrameEnd, 345);
    EXPECT_EQ(q.rCropFactor, 0.25);
    EXPECT_EQ(q.rBrightness, -0.125);
    EXPECT_EQ(q.rContrast, 0.5);
    EXPECT_TRUE(q.fFlipImageVertically && !q.fFlipImageHorizontally && q.fRotateImageSideways);
    EXPECT_TRUE(!q.bAudioHifi && q.bUseADPCM && !q.bEnablePrefilter && q.bAudioBoost);
    EXPECT_EQ(q.nAudioBoostVal, 200);
}

TEST(TaskLine, FlagCharactersOtherThanZeroReadAsOne) {
    const std::string head = "x 0 a, b, c, d, e, f, g, ";
    MainWindowFields f;
    EncodingParameters p;
    ASSERT_TRUE(ParseTaskLine(head + "0 0 320 240 25 7 x 1 2 3 Y 15 0 0 0 0.5 0 0 0 z 0 0 0 0 0 150 ", f, p));
    EXPECT_TRUE(p.fUseFastEncoding);
    EXPECT_TRUE(p.fUseGrayscale);
    EXPECT_TRUE(p.fUncompressedVideo);
    EXPECT_FALSE(p.fFlipImageVertically);
    EXPECT_TRUE(p.fFlipImageHorizontally);
    EXPECT_EQ(p.rCropFactor, 0.5);
}

TEST(TaskLine, ShortLinesChangeNothingAndBadNumbersStopTheReading) {
    MainWindowFields f = DefaultMainWindowFields();
    f.source_file = "kept";
    EncodingParameters p;
    EXPECT_FALSE(ParseTaskLine("Created: 1 a, b, c,", f, p));
    EXPECT_FALSE(ParseTaskLine("", f, p));
    EXPECT_EQ(f.source_file, "kept");
    EXPECT_EQ(f.encodemode, 0);

    ASSERT_TRUE(ParseTaskLine("x 3 a, b, c, d, e, f, g, 1 0 160 oops 11", f, p));
    EXPECT_EQ(f.source_file, "a");
    EXPECT_EQ(f.encodemode, 3);
    EXPECT_TRUE(f.looping);
    EXPECT_EQ(p.nScreenWidth, 160);
    EXPECT_EQ(p.nScreenHeight, 240); // unreadable: unchanged, and nothing after it is read
    EXPECT_EQ(p.nColorDepth, 25);
}

TEST(TaskFile, ReadWriteAppendAndLongLines) {
    const std::string path = std::filesystem::temp_directory_path() /
                             ("quil-tasks-" + std::to_string(::getpid()) + ".txt");
    std::remove(path.c_str());
    EXPECT_TRUE(ReadTaskFile(path).empty());
    const std::string longLine = "t " + std::string(5000, 'p') + " end";
    ASSERT_TRUE(AppendTaskLine(path, "first line\n"));
    ASSERT_TRUE(AppendTaskLine(path, longLine));
    {
        std::ofstream out(path, std::ios::app | std::ios::binary);
        out << "\n\r\nthird\n";
    }
    std::vector<std::string> lines = ReadTaskFile(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "first line");
    EXPECT_EQ(lines[1], longLine);
    EXPECT_EQ(lines[2], "third");
    lines.erase(lines.begin());
    ASSERT_TRUE(WriteTaskFile(path, lines));
    EXPECT_EQ(ReadTaskFile(path), lines);
    ASSERT_TRUE(WriteTaskFile(path, {}));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    std::remove(path.c_str());
}

} // namespace
