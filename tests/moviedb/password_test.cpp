// The playback-password keystream and the protection of a database held in memory.
#include "moviedb/byteorder.h"
#include "moviedb/password.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <numeric>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Area = std::array<uint8_t, quil::kScrambledAreaSize>;

Area sampleArea() {
    Area a{};
    std::iota(a.begin(), a.end(), uint8_t(1));
    return a;
}

Area scrambled(std::string_view password) {
    Area a = sampleArea();
    quil::scrambleHeaderArea(a, password);
    return a;
}

TEST(Password, KeystreamOfAKnownPassword) {
    // XOR of a zero area is the keystream itself; a player elsewhere must derive the same.
    Area a{};
    quil::scrambleHeaderArea(a, "Quill");
    const std::string expected = "6ee195b7617f6b8064797bbede8e1e5ee92060264c5d1252799a853f6e308c98"
                                 "00bd047eb7789a5fac86d04f";
    std::string hex;
    for (uint8_t b : a) {
        static const char* digits = "0123456789abcdef";
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    EXPECT_EQ(hex, expected);
}

TEST(Password, EquivalentPasswordsGiveTheSameKeystream) {
    struct Case {
        const char* a;
        const char* b;
    };
    const Case same[] = {
        {"Secret", "sECRET"},       // letter case
        {"se cret", "secret"},      // spaces do not count
        {"sec\tret\x7f", "secret"}, // control characters and DEL do not count
        {"secr\xe9t\xff", "secrt"}, // characters above 126 do not count
        {"a@b[", "a`b{"},           // pairs that differ only in bit 5
    };
    for (const Case& c : same) {
        SCOPED_TRACE(c.a);
        EXPECT_EQ(scrambled(c.a), scrambled(c.b));
    }
    // The ends of the counted range count.
    EXPECT_NE(scrambled("!"), scrambled(""));
    EXPECT_NE(scrambled("~"), scrambled(""));
    EXPECT_NE(scrambled("secret"), scrambled("secreu"));
    EXPECT_NE(scrambled("ab"), scrambled("ba"));
}

TEST(Password, ApplyingTwiceRestoresTheBytes) {
    for (const char* pw : {"x", "Quill reel 2026", "\x01"}) {
        Area a = sampleArea();
        quil::scrambleHeaderArea(a, pw);
        quil::scrambleHeaderArea(a, pw);
        EXPECT_EQ(a, sampleArea()) << pw;
    }
}

TEST(Password, NoCountedCharacterXorsEveryPairWithTheSeed) {
    EXPECT_EQ(quil::updateKeystream(quil::kKeystreamSeed, " \t\x80\xfe"), quil::kKeystreamSeed);
    Area a = scrambled("   ");
    const Area plain = sampleArea();
    for (size_t k = 0; k < a.size(); k += 2) {
        EXPECT_EQ(a[k], plain[k] ^ 0xC4);
        EXPECT_EQ(a[k + 1], plain[k + 1] ^ 0x19);
    }
}

// A minimal database: header with N = 2, a list, a 44-byte area and a 3-byte string area.
std::vector<uint8_t> tinyDatabase() {
    std::vector<uint8_t> db(78 + 16 + 47, 0);
    quil::putBE32(db, 60, quil::kDbTypeMovie);
    quil::putBE16(db, 76, 2);
    for (size_t i = 94; i < db.size(); ++i) {
        db[i] = uint8_t(i);
    }
    return db;
}

TEST(Password, ProtectsTheHeaderAreaOfADatabase) {
    std::vector<uint8_t> db = tinyDatabase();
    const std::vector<uint8_t> plain = db;
    ASSERT_EQ(quil::protectMovieDatabase(db, "pw", quil::kDbTypeProtectedMovie),
              quil::MovieDbError::Ok);
    EXPECT_EQ(quil::getBE32(db, 60), quil::kDbTypeProtectedMovie);
    EXPECT_TRUE(quil::isProtectedType(quil::getBE32(db, 60)));
    Area area;
    std::copy_n(plain.begin() + 94, 44, area.begin());
    quil::scrambleHeaderArea(area, "pw");
    EXPECT_TRUE(std::equal(area.begin(), area.end(), db.begin() + 94));
    // Everything outside the type and the area is untouched, the string area included.
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 60, db.begin()));
    EXPECT_TRUE(std::equal(plain.begin() + 64, plain.begin() + 94, db.begin() + 64));
    EXPECT_TRUE(std::equal(plain.begin() + 138, plain.end(), db.begin() + 138));
}

TEST(Password, EmptyPasswordOrShortDatabaseChangesNothing) {
    std::vector<uint8_t> db = tinyDatabase();
    const std::vector<uint8_t> plain = db;
    EXPECT_EQ(quil::protectMovieDatabase(db, "", quil::kDbTypeProtectedMovie),
              quil::MovieDbError::Ok);
    EXPECT_EQ(db, plain);

    db.resize(78 + 16 + 43);
    const std::vector<uint8_t> cut = db;
    EXPECT_NE(quil::protectMovieDatabase(db, "pw", quil::kDbTypeProtectedWave),
              quil::MovieDbError::Ok);
    EXPECT_EQ(db, cut);
    std::vector<uint8_t> stub(10, 0);
    EXPECT_NE(quil::protectMovieDatabase(stub, "pw", quil::kDbTypeProtectedWave),
              quil::MovieDbError::Ok);
}

TEST(Password, ProtectsAFileOnDiskLikeInMemory) {
    const std::string path = testing::TempDir() + "/protect_" + std::to_string(getpid()) + ".pdb";
    const auto store = [&](const std::vector<uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    const auto load = [&] {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    };
    std::vector<uint8_t> want = tinyDatabase();
    store(want);
    ASSERT_EQ(quil::protectMovieFile(path, "pw", quil::kDbTypeProtectedWave),
              quil::MovieDbError::Ok);
    ASSERT_EQ(quil::protectMovieDatabase(want, "pw", quil::kDbTypeProtectedWave),
              quil::MovieDbError::Ok);
    EXPECT_EQ(load(), want);

    std::vector<uint8_t> cut = tinyDatabase();
    cut.resize(78 + 16 + 43);
    store(cut);
    EXPECT_NE(quil::protectMovieFile(path, "pw", quil::kDbTypeProtectedWave),
              quil::MovieDbError::Ok);
    EXPECT_EQ(load(), cut) << "a short file is left as it was";
    EXPECT_EQ(quil::protectMovieFile(path + ".missing", "pw", quil::kDbTypeProtectedWave),
              quil::MovieDbError::OpenFailed);
    std::remove(path.c_str());
}

} // namespace
