// Arbitrary bytes through `quillreel info`, without and with a password.
#include "cli/movieinfo.h"

#include <cstddef>
#include <cstdint>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (const bool withPassword : {false, true}) {
        quil::MovieDbReader reader;
        const quil::MovieDbError status = reader.openMemory({data, size});
        quil::cli::InfoOptions options;
        options.label = "fuzz.pdb";
        if (withPassword) {
            options.password = "pw";
        }
        std::ostringstream out, err;
        const int code = quil::cli::writeMovieInfo(reader, status, options, out, err);
        if (code != quil::cli::kInfoOk && err.str().empty() && code != quil::cli::kInfoUnfinished) {
            __builtin_trap(); // every failure says why
        }
    }
    return 0;
}
