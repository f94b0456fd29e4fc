// Feeds arbitrary bytes as a frame record to the payload decoder at every picture size the
// encoder makes (palette and truecolor row counts), twice in a row so that the second frame
// decodes against the first. Buffers are exactly width x rows bytes, so any step outside
// them is caught by the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "moviedb/payload_decoder.h"

namespace {

struct Size {
    int w, h;
};

constexpr Size kSizes[] = {
    {160, 160}, {160, 240}, // 160x160, palette and truecolor rows
    {320, 240}, {320, 360}, // 320x240
    {320, 320}, {320, 480}, // 320x320
    {216, 384}, {216, 576}, // 216x384
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The record on the heap at its exact size.
    const std::vector<uint8_t> record(data, data + size);
    for (const Size& s : kSizes) {
        quil::PicturePair pair(s.w, s.h);
        for (int pass = 0; pass < 2; ++pass) {
            int frames = 0;
            const quil::PayloadResult r = pair.decodeRecord(record, &frames);
            if (r.end > record.size()) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
