// Random access to the records of a movie database, from a file or from bytes in memory.
// open() reads the record count and the offset of every record and checks the list before
// anything else is read: the list must fit in the file, record 0 must start after the list,
// offsets must not decrease and none may lie past the end. The file length ends the last
// record. Records are loaded on demand into a use-counted cache: get() loads a record or
// adds a use, release() drops a use and frees the record at zero.
#pragma once

#include "moviedb/moviedb.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace quil {

class MovieDbReader {
  public:
    MovieDbReader() = default;
    ~MovieDbReader();
    MovieDbReader(const MovieDbReader&) = delete;
    MovieDbReader& operator=(const MovieDbReader&) = delete;

    // Closes whatever was open first. On failure the reader is closed; header() is still
    // filled when the failure came after the database header (Unfinished, for example).
    [[nodiscard]] MovieDbError open(const std::string& path);
    // Reads from a copy of bytes.
    [[nodiscard]] MovieDbError openMemory(std::span<const uint8_t> bytes);
    // Frees every record (pointers from get() become invalid) and closes the file.
    void close();

    bool isOpen() const { return m_open; }
    const PalmDbHeader& header() const { return m_header; }
    int count() const { return int(m_offsets.empty() ? 0 : m_offsets.size() - 1); }
    // i in 0..count(); offset(count()) is the file length. 0 outside that range.
    uint32_t offset(int i) const {
        return i >= 0 && size_t(i) < m_offsets.size() ? m_offsets[size_t(i)] : 0;
    }
    // Bytes of record i, 0 when there is no record i.
    uint32_t size(int i) const {
        return i >= 0 && i < count() ? m_offsets[size_t(i) + 1] - m_offsets[size_t(i)] : 0;
    }
    uint32_t fileLength() const { return m_offsets.empty() ? 0 : m_offsets.back(); }

    // The bytes of record i (size(i) of them), or null when i is out of range or the record
    // cannot be read. Each successful get() needs one release().
    const uint8_t* get(int i);
    // Drops one use of a record from get(); null and unknown pointers are ignored.
    void release(const uint8_t* record);
    // Uses of record i currently held, 0 when it is not loaded.
    int useCount(int i) const;

  private:
    struct CachedRecord {
        int useCount = 0;
        int index = 0;
        std::vector<uint8_t> bytes;
    };

    MovieDbError openCommon(uint64_t length);
    MovieDbError fail(MovieDbError error);
    bool readAt(uint64_t offset, uint8_t* out, size_t count);

    std::FILE* m_file = nullptr;
    std::vector<uint8_t> m_memory;
    bool m_fromMemory = false;
    bool m_open = false;
    PalmDbHeader m_header;
    std::vector<uint32_t> m_offsets; // count() + 1 entries
    std::vector<std::unique_ptr<CachedRecord>> m_cache;
    std::unordered_map<const uint8_t*, int> m_byData;
};

// Holds one use of a record for as long as it lives.
class RecordRef {
  public:
    RecordRef(MovieDbReader& reader, int index)
        : m_reader(&reader), m_data(reader.get(index)), m_size(m_data ? reader.size(index) : 0) {}
    ~RecordRef() { m_reader->release(m_data); }
    RecordRef(const RecordRef&) = delete;
    RecordRef& operator=(const RecordRef&) = delete;

    explicit operator bool() const { return m_data != nullptr; }
    std::span<const uint8_t> bytes() const { return {m_data, m_size}; }

  private:
    MovieDbReader* m_reader;
    const uint8_t* m_data;
    size_t m_size;
};

} // namespace quil
