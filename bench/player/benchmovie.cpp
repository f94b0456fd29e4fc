#include "benchmovie.h"

#include "encoder/codec/payload_writer.h"

#include <random>

namespace quil::bench {
namespace {

BlockCode randomBlock(std::mt19937& rng, int size) {
    const int kind = int(rng() % 100);
    if (kind < 40) {
        return motionBlock(size, int(rng() % 225));
    }
    if (kind < 60) {
        return keepBlock(size);
    }
    if (kind < 75) {
        return fillBlock(size, uint8_t(rng()));
    }
    if (kind < 90 && size > 2) {
        return patternBlock(size, uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
    }
    if (size == 2) {
        return rawBlock(uint8_t(rng()), uint8_t(rng()), uint8_t(rng()), uint8_t(rng()));
    }
    return splitBlock(size);
}

void addBlock(std::mt19937& rng, int size, std::vector<BlockCode>& blocks) {
    const BlockCode block = randomBlock(rng, size);
    blocks.push_back(block);
    if (block.opcode == kOpSplit && size > 2) {
        for (int q = 0; q < 4; ++q) {
            addBlock(rng, size / 2, blocks);
        }
    }
}

} // namespace

std::vector<std::vector<uint8_t>> makeFramePayloads(int width, int rows, int frames,
                                                    int keyInterval) {
    std::mt19937 rng(7);
    std::vector<std::vector<uint8_t>> out;
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> payload(200000);
        size_t n = 0;
        if (f == 0 || (keyInterval > 0 && f % keyInterval == 0)) {
            std::vector<uint8_t> pixels(keyPixelDataSize(width, rows));
            for (auto& p : pixels) {
                p = uint8_t(17 + rng() % 128);
            }
            n = writeKeyFrame(payload, pixels, nullptr);
        } else {
            std::vector<BlockCode> blocks;
            for (int b = 0; b < (width / 8) * (rows / 8); ++b) {
                addBlock(rng, 8, blocks);
            }
            n = writeDeltaFrame(payload, {1, 2, 3, 4, 5, 6, 7, 8}, blocks);
        }
        payload.resize(n);
        out.push_back(std::move(payload));
    }
    return out;
}

} // namespace quil::bench
