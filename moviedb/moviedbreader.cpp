// The record reader. Every length is checked against the file before it is used, so a
// damaged or hostile file fails in open() or get() and is never read out of bounds.
#include "moviedb/moviedbreader.h"

#include "moviedb/byteorder.h"

#include <cstring>
#include <new>
#include <sys/stat.h>
#include <sys/types.h>

namespace quil {

MovieDbReader::~MovieDbReader() {
    close();
}

void MovieDbReader::close() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_memory.clear();
    m_memory.shrink_to_fit();
    m_fromMemory = false;
    m_open = false;
    m_offsets.clear();
    m_cache.clear();
    m_byData.clear();
}

MovieDbError MovieDbReader::fail(MovieDbError error) {
    const PalmDbHeader header = m_header;
    close();
    m_header = header;
    return error;
}

bool MovieDbReader::readAt(uint64_t offset, uint8_t* out, size_t count) {
    if (m_fromMemory) {
        if (offset > m_memory.size() || count > m_memory.size() - offset) {
            return false;
        }
        if (count != 0) {
            std::memcpy(out, m_memory.data() + offset, count);
        }
        return true;
    }
    if (m_file == nullptr || offset > uint64_t(INT64_MAX) ||
        fseeko(m_file, off_t(offset), SEEK_SET) != 0) {
        return false;
    }
    return std::fread(out, 1, count, m_file) == count;
}

MovieDbError MovieDbReader::open(const std::string& path) {
    close();
    m_header = {};
    m_file = std::fopen(path.c_str(), "rb");
    if (m_file == nullptr) {
        return MovieDbError::OpenFailed;
    }
    struct stat st {};
    if (fstat(fileno(m_file), &st) != 0 || !S_ISREG(st.st_mode)) {
        return fail(MovieDbError::NotRegularFile);
    }
    if (fseeko(m_file, 0, SEEK_END) != 0) {
        return fail(MovieDbError::SeekError);
    }
    const off_t length = ftello(m_file);
    if (length < 0 || fseeko(m_file, 0, SEEK_SET) != 0) {
        return fail(MovieDbError::SeekError);
    }
    return openCommon(uint64_t(length));
}

MovieDbError MovieDbReader::openMemory(std::span<const uint8_t> bytes) {
    close();
    m_header = {};
    try {
        m_memory.assign(bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        return fail(MovieDbError::ReadError);
    }
    m_fromMemory = true;
    return openCommon(m_memory.size());
}

MovieDbError MovieDbReader::openCommon(uint64_t length) {
    if (length == 0) {
        return fail(MovieDbError::EmptyFile);
    }
    if (length < uint64_t(kPalmHeaderSize)) {
        return fail(MovieDbError::TruncatedHeader);
    }
    if (length > uint64_t(UINT32_MAX)) {
        return fail(MovieDbError::FileTooLarge);
    }
    uint8_t head[kPalmHeaderSize];
    if (!readAt(0, head, sizeof head)) {
        return fail(MovieDbError::ReadError);
    }
    m_header = PalmDbHeader::decode(head);
    const uint32_t n = m_header.recordCount;
    if (n == 0) {
        return fail(MovieDbError::NoRecords);
    }
    const uint64_t listEnd = uint64_t(kRecordListOffset) + uint64_t(kRecordEntrySize) * n;
    if (listEnd > length) {
        return fail(MovieDbError::TruncatedList);
    }
    std::vector<uint8_t> list(size_t(kRecordEntrySize) * n);
    if (!readAt(kRecordListOffset, list.data(), list.size())) {
        return fail(MovieDbError::ReadError);
    }
    bool allZero = true;
    for (uint8_t b : list) {
        allZero = allZero && b == 0;
    }
    if (allZero) {
        return fail(MovieDbError::Unfinished);
    }
    m_offsets.resize(size_t(n) + 1);
    uint64_t previous = listEnd;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t offset = loadBE32(&list[size_t(i) * kRecordEntrySize]);
        if (offset > length) {
            return fail(MovieDbError::OffsetPastEnd);
        }
        if (offset < previous) {
            return fail(i == 0 ? MovieDbError::RecordInHeader : MovieDbError::DecreasingOffsets);
        }
        m_offsets[i] = offset;
        previous = offset;
    }
    m_offsets[n] = uint32_t(length);
    m_cache.resize(n);
    m_open = true;
    return MovieDbError::Ok;
}

const uint8_t* MovieDbReader::get(int i) {
    if (!m_open || i < 0 || i >= count()) {
        return nullptr;
    }
    std::unique_ptr<CachedRecord>& slot = m_cache[size_t(i)];
    if (slot) {
        ++slot->useCount;
        return slot->bytes.data();
    }
    auto record = std::unique_ptr<CachedRecord>(new (std::nothrow) CachedRecord);
    if (!record) {
        return nullptr;
    }
    try {
        // One spare byte keeps data() unique and non-null for an empty record.
        record->bytes.resize(size_t(size(i)) + 1);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    if (!readAt(offset(i), record->bytes.data(), size(i))) {
        return nullptr;
    }
    record->useCount = 1;
    record->index = i;
    const uint8_t* data = record->bytes.data();
    m_byData[data] = i;
    slot = std::move(record);
    return data;
}

void MovieDbReader::release(const uint8_t* record) {
    if (record == nullptr) {
        return;
    }
    const auto it = m_byData.find(record);
    if (it == m_byData.end()) {
        return;
    }
    std::unique_ptr<CachedRecord>& slot = m_cache[size_t(it->second)];
    if (--slot->useCount <= 0) {
        m_byData.erase(it);
        slot.reset();
    }
}

int MovieDbReader::useCount(int i) const {
    if (i < 0 || size_t(i) >= m_cache.size() || !m_cache[size_t(i)]) {
        return 0;
    }
    return m_cache[size_t(i)]->useCount;
}

} // namespace quil
