// The frame buffers and colour tables that live as long as the engine and are reused by
// every job.
#pragma once

#include "encoder/codec/colorcount.h"
#include "encoder/codec/colorlookup.h"
#include "encoder/codec/colormode.h"

#include <cstdint>
#include <vector>

struct EngineTables {
    std::vector<uint8_t> current;    // the frame being encoded, in its stored pixel format
    std::vector<uint8_t> referenceA; // the decoder's view of the even frames
    std::vector<uint8_t> referenceB; // and of the odd ones
    quil::MovieColorTable colors{};  // the movie colour table, entry 0 white
    quil::ColorAnalysis analysis;
    quil::ColorLookup lookup;

    explicit EngineTables(size_t frameBytes)
        : current(frameBytes), referenceA(frameBytes), referenceB(frameBytes) {}
};
