// Feeds arbitrary bytes to the MPEG system stream walker (system and elementary streams).
#include "encoder/media/mpeg/mpegsystem.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* out = std::fopen("/dev/null", "wb");
    size_t lines = 0;
    quil::mpeg::ExtractMpegAudioFromMemory(data, size, false, out, [&](const std::string& line) {
        if (line.size() > 255)
            __builtin_trap();
        ++lines;
    });
    if (out)
        std::fclose(out);
    return 0;
}
