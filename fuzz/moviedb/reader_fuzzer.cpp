// Arbitrary bytes as a movie database: open, every record through the cache, the movie
// header record decoded, and the password applied to a copy.
#include "moviedb/moviedbreader.h"
#include "moviedb/movieheader.h"
#include "moviedb/password.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quil::MovieDbReader reader;
    if (reader.openMemory({data, size}) == quil::MovieDbError::Ok) {
        uint64_t total = 0;
        for (int i = 0; i < reader.count(); ++i) {
            total += reader.size(i);
            const uint8_t* a = reader.get(i);
            const uint8_t* b = reader.get(i);
            if (a == nullptr || a != b || reader.offset(i) + uint64_t(reader.size(i)) > size) {
                __builtin_trap();
            }
            if (reader.size(i) != 0 &&
                std::memcmp(a, data + reader.offset(i), reader.size(i)) != 0) {
                __builtin_trap();
            }
            if (i == 0) {
                quil::MovieHeader h;
                (void)quil::MovieHeader::decode({a, reader.size(0)}, h);
            }
            reader.release(a);
            reader.release(b);
            reader.release(b);
        }
        if (reader.count() > 0 && reader.offset(0) + total != size) {
            __builtin_trap(); // the records cover the file from record 0 to the end
        }
    }
    std::vector<uint8_t> copy(data, data + size);
    (void)quil::protectMovieDatabase(copy, "pw", quil::kDbTypeProtectedMovie);
    return 0;
}
