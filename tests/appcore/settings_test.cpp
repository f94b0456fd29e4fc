// The per-user settings store and the encoder's stored settings, on a private folder.
#include "encoder/app/core/settings.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class SettingsTest : public testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("quil-settings-" + std::to_string(::getpid()) + "-" +
                                              testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
    }
    void TearDown() override { fs::remove_all(m_root); }

    std::vector<unsigned char> bytesOf(const std::string& name) const {
        std::ifstream in(m_root / "Orbanwick Software/Quillreel/v1.0" / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void writeRaw(const std::string& name, const std::vector<unsigned char>& bytes) const {
        fs::create_directories(m_root / "Orbanwick Software/Quillreel/v1.0");
        std::ofstream out(m_root / "Orbanwick Software/Quillreel/v1.0" / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }

    fs::path m_root;
};

TEST_F(SettingsTest, FirstRunKeepsDefaults) {
    SettingsStore store(m_root.string());
    EncodingParameters params;
    MainWindowFields fields = DefaultMainWindowFields();
    LoadSettings(store, params, fields);
    EXPECT_EQ(fields.dbname, "Unnamed movie");
    EXPECT_TRUE(fields.source_file.empty() && fields.output_file.empty() && fields.password.empty());
    EXPECT_EQ(fields.encodemode, 0);
    EXPECT_EQ(params.nBytesCeiling, 8000);
    EXPECT_EQ(params.nBytesTarget, 4000);
    EXPECT_EQ(params.nBytesFloor, 2000);
    EXPECT_EQ(params.nMaxFrameRate, 15);
    EXPECT_EQ(params.nColorDepth, 25);
    EXPECT_EQ(params.nAudioBoostVal, 150);
}

TEST_F(SettingsTest, ValuesAreWrittenByteForByteAndOnlyForTheUser) {
    SettingsStore store(m_root.string());
    EncodingParameters params;
    params.nBytesTarget = 0x01020304;
    params.rBrightness = 0.5;
    params.fRotateImageSideways = true;
    MainWindowFields fields = DefaultMainWindowFields();
    fields.source_file = "/home/me/clip.avi";
    fields.looping = true;
    fields.encodemode = 3;
    ASSERT_EQ(SaveSettings(store, params, fields), 0);

    EXPECT_EQ(bytesOf("nBytesTarget"), (std::vector<unsigned char>{4, 3, 2, 1}));
    EXPECT_EQ(bytesOf("encodemode"), (std::vector<unsigned char>{3, 0, 0, 0}));
    EXPECT_EQ(bytesOf("fRotateImageSideways"), (std::vector<unsigned char>{1}));
    EXPECT_EQ(bytesOf("looping"), (std::vector<unsigned char>{1}));
    EXPECT_EQ(bytesOf("rBrightness"), (std::vector<unsigned char>{0, 0, 0, 0, 0, 0, 0xE0, 0x3F}));
    const auto source = bytesOf("source_file");
    ASSERT_EQ(source.size(), 260u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(source.data())), "/home/me/clip.avi");
    EXPECT_EQ(bytesOf("dbname").size(), 260u);

    const std::vector<const char*> names = {
        "source_file", "asource_file", "output_file", "dbname", "author", "title", "password",
        "looping", "holding", "fUseFastEncoding", "fUseGrayscale", "nBytesCeiling", "nBytesTarget",
        "nBytesFloor", "nMaxFrameRate", "rCropFactor", "rBrightness", "rContrast", "bUseADPCM",
        "bEnablePrefilter", "bAudioHifi", "bAudioBoost", "nAudioBoostVal", "encodemode",
        "nColorDepth", "nScreenWidth", "nScreenHeight", "nFrameStart", "nFrameEnd",
        "nKeyFrameInterval", "fFlipImageVertically", "fFlipImageHorizontally",
        "fRotateImageSideways", "fUncompressedVideo"};
    EXPECT_EQ(names.size(), 34u);
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(m_root / "Orbanwick Software/Quillreel/v1.0")) {
        ++files;
        struct stat st;
        ASSERT_EQ(::stat(e.path().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u) << e.path();
    }
    EXPECT_EQ(files, names.size());
    struct stat dir;
    ASSERT_EQ(::stat((m_root / "Orbanwick Software").c_str(), &dir), 0);
    EXPECT_EQ(dir.st_mode & 0077, 0u);

    EncodingParameters loaded;
    MainWindowFields loadedFields = DefaultMainWindowFields();
    LoadSettings(store, loaded, loadedFields);
    EXPECT_EQ(loaded.nBytesTarget, 0x01020304);
    EXPECT_EQ(loaded.rBrightness, 0.5);
    EXPECT_TRUE(loaded.fRotateImageSideways);
    EXPECT_EQ(loadedFields.source_file, "/home/me/clip.avi");
    EXPECT_TRUE(loadedFields.looping);
    EXPECT_EQ(loadedFields.encodemode, 3);
}

TEST_F(SettingsTest, LongTextsAreCutWithTheirTerminatorKept) {
    SettingsStore store(m_root.string());
    MainWindowFields fields = DefaultMainWindowFields();
    fields.title = std::string(300, 'x');
    fields.author = std::string(258, 'a') + "\xC3\xA9"; // 'é' would straddle byte 259
    EncodingParameters params;
    SaveSettings(store, params, fields);
    const auto title = bytesOf("title");
    ASSERT_EQ(title.size(), 260u);
    EXPECT_EQ(title[259], 0);
    EXPECT_EQ(title[258], 'x');
    MainWindowFields loaded;
    LoadSettings(store, params, loaded);
    EXPECT_EQ(loaded.title, std::string(259, 'x'));
    EXPECT_EQ(loaded.author, std::string(258, 'a'));
}

TEST_F(SettingsTest, OddStoredValuesLoadAsStored) {
    SettingsStore store(m_root.string());
    writeRaw("encodemode", {7, 0, 0, 0});
    writeRaw("fUseGrayscale", {0x5A});
    writeRaw("nBytesTarget", {1, 2, 3, 4, 5}); // larger than its slot: ignored
    writeRaw("title", std::vector<unsigned char>(260, 'z'));  // no terminator in the value
    EncodingParameters params;
    MainWindowFields fields = DefaultMainWindowFields();
    LoadSettings(store, params, fields);
    EXPECT_EQ(fields.encodemode, 7);
    EXPECT_TRUE(params.fUseGrayscale);
    EXPECT_EQ(params.nBytesTarget, 4000);
    EXPECT_EQ(fields.title, std::string(260, 'z'));
}

TEST(SettingsStorePaths, RefusesPathsThatLeaveTheStore) {
    SettingsStore store("/tmp/quil-root");
    EXPECT_EQ(store.fileFor("Software\\Orbanwick Software\\Quillreel\\v1.0\\dbname"),
              "/tmp/quil-root/Orbanwick Software/Quillreel/v1.0/dbname");
    EXPECT_EQ(store.fileFor("Software\\..\\x"), "");
    EXPECT_EQ(store.fileFor("Software\\a/b\\x"), "");
    EXPECT_EQ(store.fileFor("Software\\\\x"), "");
    EXPECT_EQ(store.fileFor("a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\k"), "");
    int v = 5;
    EXPECT_EQ(store.loadSetting("Software\\..\\x", 4, &v), -1);
    EXPECT_EQ(v, 5);
}

} // namespace
