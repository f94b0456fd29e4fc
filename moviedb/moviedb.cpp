// Database header encoding and decoding, error texts and the record list byte swap.
#include "moviedb/moviedb.h"

#include "moviedb/byteorder.h"

#include <algorithm>
#include <ctime>

namespace quil {

std::string dbCodeText(uint32_t code) {
    std::string text(4, '?');
    for (int i = 0; i < 4; ++i) {
        const auto c = uint8_t(code >> (24 - 8 * i));
        if (c >= 32 && c <= 126) {
            text[size_t(i)] = char(c);
        }
    }
    return text;
}

const char* movieDbErrorText(MovieDbError error) {
    switch (error) {
    case MovieDbError::Ok:
        return "no error";
    case MovieDbError::OpenFailed:
        return "cannot open the file";
    case MovieDbError::NotRegularFile:
        return "not a regular file";
    case MovieDbError::EmptyFile:
        return "the file is empty";
    case MovieDbError::TruncatedHeader:
        return "the file is shorter than a database header";
    case MovieDbError::NoRecords:
        return "the database holds no records";
    case MovieDbError::TruncatedList:
        return "the record list runs past the end of the file";
    case MovieDbError::Unfinished:
        return "unfinished movie: its record list was never written";
    case MovieDbError::RecordInHeader:
        return "a record starts inside the database header or record list";
    case MovieDbError::OffsetPastEnd:
        return "a record starts past the end of the file";
    case MovieDbError::DecreasingOffsets:
        return "the record offsets are out of order";
    case MovieDbError::FileTooLarge:
        return "the file is too large for a movie database";
    case MovieDbError::ReadError:
        return "read error";
    case MovieDbError::SeekError:
        return "seek error";
    case MovieDbError::WriteError:
        return "write error";
    case MovieDbError::BadRecordCount:
        return "the record count must be 1 to 65535";
    case MovieDbError::NotAtStart:
        return "the output stream is not at its start";
    case MovieDbError::TooManyRecords:
        return "more records than the record list holds";
    case MovieDbError::IncompleteList:
        return "not every record of the record list was written";
    case MovieDbError::NotStarted:
        return "the database header was not written";
    }
    return "unknown error";
}

PalmDbHeader PalmDbHeader::forMovie(std::string_view name, uint32_t type, uint16_t recordCount,
                                    uint32_t palmTime) {
    PalmDbHeader h;
    const size_t nul = name.find('\0');
    h.name = std::string(name.substr(0, nul)).substr(0, kDbNameSize - 1);
    h.creationDate = h.modificationDate = h.backupDate = palmTime;
    h.modificationNumber = 1;
    h.type = type;
    h.creator = kDbCreator;
    h.recordCount = recordCount;
    return h;
}

std::array<uint8_t, kPalmHeaderSize> PalmDbHeader::encode() const {
    std::array<uint8_t, kPalmHeaderSize> b{};
    const size_t n = std::min(name.size(), size_t(kDbNameSize - 1));
    for (size_t i = 0; i < n && name[i] != '\0'; ++i) {
        b[i] = uint8_t(name[i]);
    }
    storeBE16(&b[32], attributes);
    storeBE16(&b[34], version);
    storeBE32(&b[36], creationDate);
    storeBE32(&b[40], modificationDate);
    storeBE32(&b[44], backupDate);
    storeBE32(&b[48], modificationNumber);
    storeBE32(&b[52], appInfoOffset);
    storeBE32(&b[56], sortInfoOffset);
    storeBE32(&b[60], type);
    storeBE32(&b[64], creator);
    storeBE32(&b[68], uniqueIdSeed);
    storeBE32(&b[72], nextRecordList);
    // The count goes out as two single bytes, high byte first.
    b[76] = uint8_t(recordCount >> 8);
    b[77] = uint8_t(recordCount & 0xFF);
    return b;
}

PalmDbHeader PalmDbHeader::decode(std::span<const uint8_t> bytes) {
    PalmDbHeader h;
    size_t len = 0;
    while (len < size_t(kDbNameSize) && bytes[len] != 0) {
        ++len;
    }
    h.name.assign(reinterpret_cast<const char*>(bytes.data()), len);
    h.attributes = getBE16(bytes, 32);
    h.version = getBE16(bytes, 34);
    h.creationDate = getBE32(bytes, 36);
    h.modificationDate = getBE32(bytes, 40);
    h.backupDate = getBE32(bytes, 44);
    h.modificationNumber = getBE32(bytes, 48);
    h.appInfoOffset = getBE32(bytes, 52);
    h.sortInfoOffset = getBE32(bytes, 56);
    h.type = getBE32(bytes, 60);
    h.creator = getBE32(bytes, 64);
    h.uniqueIdSeed = getBE32(bytes, 68);
    h.nextRecordList = getBE32(bytes, 72);
    h.recordCount = getBE16(bytes, 76);
    return h;
}

uint32_t palmTimeNow() {
    return uint32_t(uint64_t(std::time(nullptr)) + kPalmEpochOffset);
}

void SwapRecordList(RecordListEntry* list, int count) {
    for (int i = 0; i < count; ++i) {
        list[i].offset = swap32(list[i].offset);
        list[i].attributesAndId = swap32(list[i].attributesAndId);
    }
}

} // namespace quil
