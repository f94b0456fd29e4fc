// The container: what the writer puts in the file, what the reader accepts and rejects,
// and the reader's record cache.
#include "moviedb/byteorder.h"
#include "moviedb/moviedbreader.h"
#include "moviedb/moviedbwriter.h"
#include "moviedb/movieheader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using quil::MovieDbError;
using Bytes = std::vector<uint8_t>;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

Bytes readAll(std::FILE* f) {
    std::fflush(f);
    std::fseek(f, 0, SEEK_END);
    Bytes b(size_t(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(b.data(), 1, b.size(), f), b.size());
    return b;
}

Bytes record(size_t size, uint8_t seed) {
    Bytes r(size);
    for (size_t i = 0; i < size; ++i) {
        r[i] = uint8_t(seed + i * 7);
    }
    return r;
}

constexpr uint32_t kTime = 0xE1234567u;

// A movie of F frame records and A audio records, as the engine lays one out.
struct Movie {
    quil::MovieHeader header;
    std::vector<Bytes> records; // record 0 excluded
};

Movie sampleMovie(int frames, int audio) {
    Movie m;
    m.header.width = 160;
    m.header.rows = 160;
    m.header.bitsPerPixel = 8;
    m.header.setFrameRate(15.0);
    m.header.frameCount = uint16_t(frames);
    m.header.title = "T";
    if (audio > 0) {
        m.header.flags |= quil::kMovieFlagHasAudio;
        m.header.firstAudioRecord = uint16_t(frames + 1);
    }
    for (int i = 0; i < frames; ++i) {
        Bytes r = record(size_t(20 + 13 * i), uint8_t(i));
        quil::putBE16(r, 0, i == 0 ? 1 : 2);
        m.records.push_back(r);
    }
    for (int i = 0; i < audio; ++i) {
        m.records.push_back(record(32768, uint8_t(100 + i)));
    }
    return m;
}

Bytes writeMovie(const Movie& m, const std::string& name = "movie",
                 uint32_t type = quil::kDbTypeMovie) {
    File f(std::tmpfile());
    quil::MovieDbWriter w(f.get());
    EXPECT_EQ(w.begin(name, type, int(m.records.size()) + 1, kTime), MovieDbError::Ok);
    EXPECT_EQ(w.writeMovieHeader(m.header), MovieDbError::Ok);
    for (const Bytes& r : m.records) {
        EXPECT_EQ(w.writeRecord(r), MovieDbError::Ok);
    }
    EXPECT_EQ(w.finish(), MovieDbError::Ok);
    EXPECT_EQ(w.position(), std::ftell(f.get())) << "finish leaves the stream at its end";
    return readAll(f.get());
}

TEST(MovieDbWriter, DatabaseHeaderFields) {
    const Bytes db = writeMovie(sampleMovie(2, 0));
    ASSERT_GE(db.size(), 78u + 24);
    EXPECT_EQ(std::string(db.begin(), db.begin() + 6), std::string("movie\0", 6));
    EXPECT_EQ(quil::getBE16(db, 32), 0);
    EXPECT_EQ(quil::getBE16(db, 34), 0);
    for (size_t at : {36, 40, 44}) {
        EXPECT_EQ(quil::getBE32(db, at), kTime) << "all three dates are the same";
    }
    EXPECT_EQ(quil::getBE32(db, 48), 1u);
    EXPECT_EQ(quil::getBE32(db, 52) | quil::getBE32(db, 56), 0u);
    EXPECT_EQ(std::string(db.begin() + 60, db.begin() + 68), "MvieQlRl");
    EXPECT_EQ(quil::getBE32(db, 68) | quil::getBE32(db, 72), 0u);
    EXPECT_EQ(quil::getBE16(db, 76), 3);
    // Record 0 right after the list, no pad; attributes and IDs zero.
    EXPECT_EQ(quil::getBE32(db, 78), 78u + 8 * 3);
    for (size_t e = 0; e < 3; ++e) {
        EXPECT_EQ(quil::getBE32(db, 78 + 8 * e + 4), 0u);
    }
    EXPECT_EQ(quil::getBE16(db, 78 + 24 + 2), 44) << "the movie header's length field";
}

TEST(MovieDbWriter, DatabaseNameIsCutTo31Characters) {
    struct Case {
        std::string name;
        std::string stored;
    };
    const std::string long40(40, 'x');
    const Case cases[] = {
        {"", ""},
        {std::string(30, 'a'), std::string(30, 'a')},
        {std::string(31, 'b'), std::string(31, 'b')},
        {long40, long40.substr(0, 31)},
        {std::string("ab\0cd", 5), "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes db = writeMovie(sampleMovie(0, 0), c.name);
        std::string field(db.begin(), db.begin() + 32);
        EXPECT_EQ(field, c.stored + std::string(32 - c.stored.size(), '\0'));
        quil::MovieDbReader reader;
        ASSERT_EQ(reader.openMemory(db), MovieDbError::Ok);
        EXPECT_EQ(reader.header().name, c.stored);
    }
}

TEST(MovieDbWriter, RecordsReadBackInOrder) {
    struct Case {
        int frames, audio;
        uint32_t type;
    };
    const Case cases[] = {
        {0, 0, quil::kDbTypeMovie},
        {3, 0, quil::kDbTypeMovie},
        {2, 2, quil::kDbTypeMovie},
        {0, 2, quil::kDbTypeWave},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames, " << c.audio << " audio");
        Movie m = sampleMovie(c.frames, c.audio);
        if (c.frames == 0) {
            m.header = quil::MovieHeader::audioOnly(quil::kAudioFormatStandard, c.audio > 0, 66);
        }
        const Bytes db = writeMovie(m, "m", c.type);
        quil::MovieDbReader reader;
        ASSERT_EQ(reader.openMemory(db), MovieDbError::Ok);
        const int n = c.frames + c.audio + 1;
        ASSERT_EQ(reader.count(), n);
        EXPECT_EQ(reader.header().type, c.type);
        EXPECT_EQ(reader.offset(0), 78u + 8 * n);
        EXPECT_EQ(reader.fileLength(), db.size());

        quil::RecordRef r0(reader, 0);
        ASSERT_TRUE(r0);
        quil::MovieHeader h;
        ASSERT_EQ(quil::MovieHeader::decode(r0.bytes(), h), quil::MovieHeaderError::Ok);
        EXPECT_EQ(h.firstAudioRecord, c.audio > 0 ? c.frames + 1 : 0);
        EXPECT_EQ(h.hasAudio(), c.audio > 0);
        for (int i = 1; i < n; ++i) {
            quil::RecordRef r(reader, i);
            ASSERT_TRUE(r);
            const Bytes& want = m.records[size_t(i - 1)];
            EXPECT_EQ(Bytes(r.bytes().begin(), r.bytes().end()), want) << "record " << i;
        }
    }
}

TEST(MovieDbWriter, RefusesToWriteAnIncompleteList) {
    File f(std::tmpfile());
    quil::MovieDbWriter w(f.get());
    ASSERT_EQ(w.begin("m", quil::kDbTypeMovie, 3, kTime), MovieDbError::Ok);
    ASSERT_EQ(w.writeMovieHeader(quil::MovieHeader{}), MovieDbError::Ok);
    ASSERT_EQ(w.writeRecord(record(5, 1)), MovieDbError::Ok);
    EXPECT_EQ(w.finish(), MovieDbError::IncompleteList);
    EXPECT_EQ(w.writeRecord(record(5, 1)), MovieDbError::IncompleteList) << "the first error stays";
    // The placeholder list is still there, so the file reads as unfinished.
    quil::MovieDbReader reader;
    EXPECT_EQ(reader.openMemory(readAll(f.get())), MovieDbError::Unfinished);
    EXPECT_EQ(reader.header().recordCount, 3);
    EXPECT_FALSE(reader.isOpen());
}

TEST(MovieDbWriter, RejectsMisuse) {
    {
        File f(std::tmpfile());
        quil::MovieDbWriter w(f.get());
        EXPECT_EQ(w.begin("m", quil::kDbTypeMovie, 0, kTime), MovieDbError::BadRecordCount);
    }
    {
        File f(std::tmpfile());
        quil::MovieDbWriter w(f.get());
        EXPECT_EQ(w.begin("m", quil::kDbTypeMovie, 65536, kTime), MovieDbError::BadRecordCount);
    }
    {
        File f(std::tmpfile());
        quil::MovieDbWriter w(f.get());
        EXPECT_EQ(w.writeRecord(record(3, 0)), MovieDbError::NotStarted);
    }
    {
        File f(std::tmpfile());
        std::fputs("x", f.get());
        quil::MovieDbWriter w(f.get());
        EXPECT_EQ(w.begin("m", quil::kDbTypeMovie, 1, kTime), MovieDbError::NotAtStart);
    }
    {
        File f(std::tmpfile());
        quil::MovieDbWriter w(f.get());
        ASSERT_EQ(w.begin("m", quil::kDbTypeMovie, 1, kTime), MovieDbError::Ok);
        ASSERT_EQ(w.writeMovieHeader(quil::MovieHeader{}), MovieDbError::Ok);
        EXPECT_EQ(w.writeRecord(record(3, 0)), MovieDbError::TooManyRecords);
    }
}

TEST(MovieDbWriter, ReportsAWriteErrorOnTheFinalFlush) {
    // /dev/full accepts buffered writes and fails when they reach it.
    File f(std::fopen("/dev/full", "wb"));
    if (!f) {
        GTEST_SKIP() << "no /dev/full";
    }
    quil::MovieDbWriter w(f.get());
    ASSERT_EQ(w.begin("m", quil::kDbTypeMovie, 1, kTime), MovieDbError::Ok);
    ASSERT_EQ(w.writeMovieHeader(quil::MovieHeader{}), MovieDbError::Ok);
    EXPECT_EQ(w.finish(), MovieDbError::WriteError);
}

TEST(MovieDbWriter, OffsetsFilledByDirectWritersAreAccepted) {
    File f(std::tmpfile());
    quil::MovieDbWriter w(f.get());
    ASSERT_EQ(w.begin("m", quil::kDbTypeWave, 2, kTime), MovieDbError::Ok);
    ASSERT_EQ(w.writeMovieHeader(quil::MovieHeader::audioOnly(0, true, 1)), MovieDbError::Ok);
    // Code that writes straight to the stream notes its own offsets in the list.
    w.recordList()[1].offset = uint32_t(w.position());
    std::fputs("abc", f.get());
    ASSERT_EQ(w.finish(), MovieDbError::Ok);
    quil::MovieDbReader reader;
    ASSERT_EQ(reader.openMemory(readAll(f.get())), MovieDbError::Ok);
    EXPECT_EQ(reader.size(1), 3u);
}

TEST(SwapRecordList, GivesBigEndianBytes) {
    quil::RecordListEntry e[2] = {{0x01020304u, 0}, {0xA0B0C0D0u, 0x00000005u}};
    quil::SwapRecordList(e, 2);
    const auto* b = reinterpret_cast<const uint8_t*>(e);
    const Bytes want = {1, 2, 3, 4, 0, 0, 0, 0, 0xA0, 0xB0, 0xC0, 0xD0, 0, 0, 0, 5};
    EXPECT_EQ(Bytes(b, b + 16), want);
    quil::SwapRecordList(e, 2);
    EXPECT_EQ(e[1].offset, 0xA0B0C0D0u);
}

// A database of N records with the given offsets (file order), total length bytes.
Bytes rawDatabase(uint16_t n, std::vector<uint32_t> offsets, size_t length) {
    Bytes db(length, 0xEE);
    std::fill(db.begin(), db.begin() + std::min<size_t>(length, 78 + 8 * offsets.size()), 0);
    if (length >= 78) {
        quil::putBE16(db, 76, n);
    }
    for (size_t i = 0; i < offsets.size() && 78 + 8 * i + 8 <= length; ++i) {
        quil::putBE32(db, 78 + 8 * i, offsets[i]);
    }
    return db;
}

TEST(MovieDbReader, RejectsMalformedDatabases) {
    struct Case {
        const char* what;
        Bytes bytes;
        MovieDbError error;
    };
    const Case cases[] = {
        {"empty", {}, MovieDbError::EmptyFile},
        {"one byte", Bytes(1, 0), MovieDbError::TruncatedHeader},
        {"truncated header", Bytes(77, 0), MovieDbError::TruncatedHeader},
        {"no records", rawDatabase(0, {}, 100), MovieDbError::NoRecords},
        {"count larger than the file", rawDatabase(20, {94, 95}, 150), MovieDbError::TruncatedList},
        {"count of 65535", rawDatabase(65535, {}, 4096), MovieDbError::TruncatedList},
        {"list cut in its last entry", rawDatabase(2, {94, 100}, 93), MovieDbError::TruncatedList},
        {"placeholder list", rawDatabase(2, {0, 0}, 150), MovieDbError::Unfinished},
        {"record 0 in the header", rawDatabase(2, {0, 100}, 150), MovieDbError::RecordInHeader},
        {"record 0 inside the list", rawDatabase(2, {90, 100}, 150), MovieDbError::RecordInHeader},
        {"offset past the end", rawDatabase(2, {94, 151}, 150), MovieDbError::OffsetPastEnd},
        {"offset far past the end", rawDatabase(2, {94, 0xFFFFFFFFu}, 150),
         MovieDbError::OffsetPastEnd},
        {"decreasing offsets", rawDatabase(3, {102, 120, 110}, 150),
         MovieDbError::DecreasingOffsets},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        quil::MovieDbReader reader;
        EXPECT_EQ(reader.openMemory(c.bytes), c.error);
        EXPECT_FALSE(reader.isOpen());
        EXPECT_EQ(reader.count(), 0);
        EXPECT_EQ(reader.get(0), nullptr);
    }
}

TEST(MovieDbReader, AcceptsEdgeLayouts) {
    struct Case {
        const char* what;
        Bytes bytes;
        std::vector<uint32_t> sizes;
    };
    const Case cases[] = {
        // Other writers leave two pad bytes before record 0; the gap is not a record.
        {"pad before record 0", rawDatabase(2, {96, 100}, 110), {4, 10}},
        {"empty records", rawDatabase(3, {102, 102, 110}, 110), {0, 8, 0}},
        {"last record empty", rawDatabase(1, {86}, 86), {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        quil::MovieDbReader reader;
        ASSERT_EQ(reader.openMemory(c.bytes), MovieDbError::Ok);
        ASSERT_EQ(size_t(reader.count()), c.sizes.size());
        for (int i = 0; i < reader.count(); ++i) {
            EXPECT_EQ(reader.size(i), c.sizes[size_t(i)]);
            const uint8_t* r = reader.get(i);
            EXPECT_NE(r, nullptr) << "an empty record still reads";
            reader.release(r);
        }
    }
}

TEST(MovieDbReader, CacheCountsUses) {
    const Bytes db = writeMovie(sampleMovie(2, 0));
    quil::MovieDbReader reader;
    ASSERT_EQ(reader.openMemory(db), MovieDbError::Ok);
    const uint8_t* a = reader.get(1);
    const uint8_t* b = reader.get(1);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(reader.useCount(1), 2);
    reader.release(a);
    EXPECT_EQ(reader.useCount(1), 1);
    reader.release(nullptr);
    const uint8_t foreign = 0;
    reader.release(&foreign);
    EXPECT_EQ(reader.useCount(1), 1);
    reader.release(b);
    EXPECT_EQ(reader.useCount(1), 0);
    reader.release(b); // a second release of a freed record is ignored
    EXPECT_EQ(reader.get(-1), nullptr);
    EXPECT_EQ(reader.get(reader.count()), nullptr);
    EXPECT_EQ(reader.size(reader.count()), 0u);
    EXPECT_EQ(reader.size(-1), 0u);
}

TEST(MovieDbReader, ReadsFromAFileLikeFromMemory) {
    const Movie m = sampleMovie(3, 1);
    const Bytes db = writeMovie(m);
    const std::string path =
        testing::TempDir() + "/reader_file_" + std::to_string(getpid()) + ".pdb";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(db.data()), long(db.size()));

    quil::MovieDbReader reader;
    EXPECT_EQ(reader.open(path + ".missing"), MovieDbError::OpenFailed);
    ASSERT_EQ(reader.open(path), MovieDbError::Ok);
    ASSERT_EQ(reader.count(), 5);
    for (int i = 1; i < 5; ++i) {
        quil::RecordRef r(reader, i);
        ASSERT_TRUE(r);
        EXPECT_EQ(Bytes(r.bytes().begin(), r.bytes().end()), m.records[size_t(i - 1)]);
    }
    // A file cut short after it was opened fails in get() instead of returning stale bytes.
    ASSERT_EQ(truncate(path.c_str(), off_t(reader.offset(4) + 10)), 0);
    EXPECT_EQ(reader.get(4), nullptr);
    EXPECT_NE(reader.get(1), nullptr);
    reader.close();
    EXPECT_EQ(reader.count(), 0);
    std::remove(path.c_str());
}

} // namespace
