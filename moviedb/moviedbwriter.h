// Writes a movie database in one sequential pass over a stream opened for writing at its
// start: the database header and a placeholder record list of N zero entries, then the
// records in list order, each one's offset taken from the stream position when it begins,
// and at the end the real record list rewritten at offset 78. Until finish() succeeds the
// list stays the zero placeholder, which readers recognise as an unfinished movie.
// The first error is kept; every later call returns it without touching the stream.
#pragma once

#include "moviedb/moviedb.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>
#include <vector>

namespace quil {

struct MovieHeader;

class MovieDbWriter {
  public:
    // The stream is not owned; it must be seekable and stay open until finish().
    explicit MovieDbWriter(std::FILE* file);

    // Writes the database header (dates = palmTime) and the placeholder list of recordCount
    // entries. recordCount must be 1..65535 and the stream at offset 0.
    [[nodiscard]] MovieDbError begin(std::string_view name, uint32_t type, int recordCount,
                                     uint32_t palmTime = palmTimeNow());
    // Starts the next record at the current stream position.
    [[nodiscard]] MovieDbError beginRecord();
    // Appends bytes to the current record.
    [[nodiscard]] MovieDbError write(std::span<const uint8_t> bytes);
    // beginRecord() and write() in one.
    [[nodiscard]] MovieDbError writeRecord(std::span<const uint8_t> bytes);
    // Record 0.
    [[nodiscard]] MovieDbError writeMovieHeader(const MovieHeader& header);
    // Rewrites the record list at offset 78 once every record has been written, flushes and
    // checks the stream for a write error, then leaves the stream at its end. A list that is
    // not complete (fewer records than announced, offsets out of order) is not written.
    [[nodiscard]] MovieDbError finish();

    MovieDbError status() const { return m_status; }
    std::FILE* file() const { return m_file; }
    int recordCount() const { return int(m_list.size()); }
    int recordsBegun() const { return m_begun; }
    // The stream position, or -1 when it cannot be told.
    int64_t position() const;
    // Host-order entries; code that writes records straight to the stream may fill offsets
    // here instead of calling beginRecord(). finish() checks them either way.
    std::span<RecordListEntry> recordList() { return m_list; }

  private:
    MovieDbError fail(MovieDbError error);

    std::FILE* m_file;
    std::vector<RecordListEntry> m_list;
    int m_begun = 0;
    bool m_started = false;
    MovieDbError m_status = MovieDbError::Ok;
};

} // namespace quil
