// The player's view of a movie database: random access to records with the record cache's
// get/release discipline. Every record handed out stays valid until it is released; a
// record that cannot be read comes back as nullopt (an empty record is a valid, empty span).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace quil {

class MovieRecords {
public:
    virtual ~MovieRecords() = default;
    virtual int count() const = 0;
    // Size of record index in bytes, known without reading it; 0 for an index out of range.
    virtual uint32_t size(int index) const = 0;
    virtual std::optional<std::span<const uint8_t>> get(int index) = 0;
    virtual void release(int index) = 0;
};

} // namespace quil
