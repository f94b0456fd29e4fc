// The movie database container: a Palm OS record database whose 78-byte header is followed
// directly (no pad) by N record list entries of 8 bytes and then the records back to back,
// record 0 being the movie header record. A record's size is the distance to the next
// record's offset; the last record runs to the end of the file. Every integer is big-endian.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quil {

inline constexpr int kPalmHeaderSize = 78;
inline constexpr int kRecordCountOffset = 76;
inline constexpr int kRecordListOffset = 78;
inline constexpr int kRecordEntrySize = 8;
inline constexpr int kTypeOffset = 60;
inline constexpr int kMaxRecords = 65535;
inline constexpr int kDbNameSize = 32; // at most 31 characters and a NUL
// Seconds from 1904-01-01 (the handheld's epoch) to 1970-01-01.
inline constexpr uint32_t kPalmEpochOffset = 2082844800u;

// A four-character code, first character in the top byte (the order the file stores it in).
consteval uint32_t dbCode(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}
inline constexpr uint32_t kDbTypeMovie = dbCode("Mvie");
inline constexpr uint32_t kDbTypeWave = dbCode("Wave");
inline constexpr uint32_t kDbTypeProtectedMovie = dbCode("PMov");
inline constexpr uint32_t kDbTypeProtectedWave = dbCode("PWav");
inline constexpr uint32_t kDbCreator = dbCode("QlRl");

// The four characters of a code; bytes outside 32..126 show as '?'.
std::string dbCodeText(uint32_t code);

enum class MovieDbError {
    Ok = 0,
    OpenFailed,        // the file cannot be opened (errno tells why)
    NotRegularFile,    // a directory, pipe or device
    EmptyFile,         // zero bytes
    TruncatedHeader,   // shorter than the 78-byte header
    NoRecords,         // record count 0: not even a movie header record
    TruncatedList,     // the record list runs past the end of the file
    Unfinished,        // the record list is still the all-zero placeholder
    RecordInHeader,    // record 0 starts inside the header or the record list
    OffsetPastEnd,     // a record starts beyond the end of the file
    DecreasingOffsets, // a record starts before the one listed ahead of it
    FileTooLarge,      // beyond what 32-bit record offsets can address
    ReadError,
    SeekError,
    WriteError,
    BadRecordCount, // writer: N outside 1..65535
    NotAtStart,     // writer: the stream is not at offset 0
    TooManyRecords, // writer: more records begun than announced
    IncompleteList, // writer: fewer records written than announced, or offsets out of order
    NotStarted,     // writer: begin() was not called or failed
};

// A one-line description, lower case, for messages such as "movie.pdb: <text>".
const char* movieDbErrorText(MovieDbError error);

// The fields of the 78-byte database header.
struct PalmDbHeader {
    std::string name; // up to the first NUL of the 32-byte field
    uint16_t attributes = 0;
    uint16_t version = 0;
    uint32_t creationDate = 0; // seconds since 1904-01-01
    uint32_t modificationDate = 0;
    uint32_t backupDate = 0;
    uint32_t modificationNumber = 0;
    uint32_t appInfoOffset = 0;
    uint32_t sortInfoOffset = 0;
    uint32_t type = 0;
    uint32_t creator = 0;
    uint32_t uniqueIdSeed = 0;
    uint32_t nextRecordList = 0;
    uint16_t recordCount = 0;

    // The header as this system writes it: the name cut to 31 characters, all three dates
    // equal, modification number 1, creator "QlRl", everything else 0.
    static PalmDbHeader forMovie(std::string_view name, uint32_t type, uint16_t recordCount,
                                 uint32_t palmTime);
    std::array<uint8_t, kPalmHeaderSize> encode() const;
    // bytes must hold at least 78 bytes.
    static PalmDbHeader decode(std::span<const uint8_t> bytes);
};

// The current time in seconds since 1904-01-01, as the dates of a new database.
uint32_t palmTimeNow();

// One record list entry in memory: offset and the zero word of attributes and unique ID.
// Held in host order while a movie is written; SwapRecordList turns it into file order.
struct RecordListEntry {
    uint32_t offset = 0;
    uint32_t attributesAndId = 0;
};
static_assert(sizeof(RecordListEntry) == kRecordEntrySize);

// Converts count entries between host order and file order, in place.
void SwapRecordList(RecordListEntry* list, int count);

} // namespace quil
