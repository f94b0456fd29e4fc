// The movie database writer.
#include "moviedb/moviedbwriter.h"

#include "moviedb/movieheader.h"

#include <sys/types.h>

namespace quil {

MovieDbWriter::MovieDbWriter(std::FILE* file) : m_file(file) {}

MovieDbError MovieDbWriter::fail(MovieDbError error) {
    if (m_status == MovieDbError::Ok) {
        m_status = error;
    }
    return m_status;
}

int64_t MovieDbWriter::position() const {
    return m_file ? int64_t(ftello(m_file)) : -1;
}

MovieDbError MovieDbWriter::begin(std::string_view name, uint32_t type, int recordCount,
                                  uint32_t palmTime) {
    if (m_status != MovieDbError::Ok) {
        return m_status;
    }
    if (recordCount < 1 || recordCount > kMaxRecords) {
        return fail(MovieDbError::BadRecordCount);
    }
    if (m_file == nullptr) {
        return fail(MovieDbError::WriteError);
    }
    if (position() != 0) {
        return fail(MovieDbError::NotAtStart);
    }
    const auto header = PalmDbHeader::forMovie(name, type, uint16_t(recordCount), palmTime);
    const auto bytes = header.encode();
    if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) {
        return fail(MovieDbError::WriteError);
    }
    m_list.assign(size_t(recordCount), RecordListEntry{});
    // The placeholder: N entries of eight zero bytes.
    if (std::fwrite(m_list.data(), sizeof(RecordListEntry), m_list.size(), m_file) !=
        m_list.size()) {
        return fail(MovieDbError::WriteError);
    }
    m_started = true;
    return MovieDbError::Ok;
}

MovieDbError MovieDbWriter::beginRecord() {
    if (m_status != MovieDbError::Ok) {
        return m_status;
    }
    if (!m_started) {
        return fail(MovieDbError::NotStarted);
    }
    if (m_begun >= recordCount()) {
        return fail(MovieDbError::TooManyRecords);
    }
    const int64_t pos = position();
    if (pos < 0) {
        return fail(MovieDbError::SeekError);
    }
    if (pos > int64_t(UINT32_MAX)) {
        return fail(MovieDbError::FileTooLarge);
    }
    m_list[size_t(m_begun)].offset = uint32_t(pos);
    ++m_begun;
    return MovieDbError::Ok;
}

MovieDbError MovieDbWriter::write(std::span<const uint8_t> bytes) {
    if (m_status != MovieDbError::Ok) {
        return m_status;
    }
    if (!m_started) {
        return fail(MovieDbError::NotStarted);
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) {
        return fail(MovieDbError::WriteError);
    }
    return MovieDbError::Ok;
}

MovieDbError MovieDbWriter::writeRecord(std::span<const uint8_t> bytes) {
    if (const MovieDbError e = beginRecord(); e != MovieDbError::Ok) {
        return e;
    }
    return write(bytes);
}

MovieDbError MovieDbWriter::writeMovieHeader(const MovieHeader& header) {
    return writeRecord(header.encode());
}

MovieDbError MovieDbWriter::finish() {
    if (m_status != MovieDbError::Ok) {
        return m_status;
    }
    if (!m_started) {
        return fail(MovieDbError::NotStarted);
    }
    const int64_t end = position();
    if (end < 0) {
        return fail(MovieDbError::SeekError);
    }
    if (end > int64_t(UINT32_MAX)) {
        return fail(MovieDbError::FileTooLarge);
    }
    // Every entry must point between the end of the list and the end of the file, in
    // order; a list with a gap would send readers into the header. Such a movie keeps its
    // placeholder list and reads as unfinished.
    uint64_t previous = uint64_t(kRecordListOffset) + uint64_t(kRecordEntrySize) * m_list.size();
    for (const RecordListEntry& e : m_list) {
        if (e.offset < previous || e.offset > uint64_t(end)) {
            return fail(MovieDbError::IncompleteList);
        }
        previous = e.offset;
    }
    // Records still buffered must reach the file before the seek, so that a full disk
    // shows up as a write error here.
    if (std::fflush(m_file) != 0 || std::ferror(m_file)) {
        return fail(MovieDbError::WriteError);
    }
    std::vector<RecordListEntry> fileOrder = m_list;
    SwapRecordList(fileOrder.data(), int(fileOrder.size()));
    if (fseeko(m_file, kRecordListOffset, SEEK_SET) != 0) {
        return fail(MovieDbError::SeekError);
    }
    const size_t written =
        std::fwrite(fileOrder.data(), sizeof(RecordListEntry), fileOrder.size(), m_file);
    const bool flushed = std::fflush(m_file) == 0;
    if (written != fileOrder.size() || !flushed || std::ferror(m_file)) {
        return fail(MovieDbError::WriteError);
    }
    if (fseeko(m_file, 0, SEEK_END) != 0) {
        return fail(MovieDbError::SeekError);
    }
    return MovieDbError::Ok;
}

} // namespace quil
