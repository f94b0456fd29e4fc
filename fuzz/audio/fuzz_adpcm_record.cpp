// An audio record from a movie file, decoded as the player does: in pieces of any size,
// with the trailer parsed when the record is long enough.
#include "moviedb/adpcm.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const size_t piece = 1 + data[0] * 37u;
    const std::span<const uint8_t> record(data + 1, size - 1);
    const auto codes = record.first(std::min(record.size(), quil::kAdpcmRecordCodeBytes));
    const size_t capacity = quil::AdpcmRecordCapacity(record.size());
    quil::AdpcmState state;
    std::vector<int16_t> out(piece);
    for (size_t k = 0; k < capacity;) {
        const size_t got = quil::AdpcmDecodeSamples(codes, k, piece, state, out.data());
        if (got == 0) {
            __builtin_trap();
        }
        k += got;
    }
    if (state.index > 88) {
        __builtin_trap();
    }
    quil::AdpcmState trailer;
    if (quil::AdpcmParseTrailer(record, trailer) && trailer.index > 88) {
        __builtin_trap();
    }
    return 0;
}
