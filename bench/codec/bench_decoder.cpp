// Decoding speed of the frame payload decoder on one core: sequences of 320x240 delta frames
// made with the payload writer in the proportions a coder produces at a few thousand bytes
// per frame (mostly motion copies and keep blocks, some fills and patterns, some blocks
// split down to raw 2x2 pixels). Figures: frames_per_second and bytes_per_frame counters.
// Figures taken on a shared machine vary with its load.
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "encoder/codec/payload_writer.h"
#include "moviedb/payload_decoder.h"
#include "moviedb/payload_tables.h"

namespace {

using namespace quil;

class SequenceMaker {
  public:
    SequenceMaker(int w, int h, int detail) : m_w(w), m_h(h), m_detail(detail), m_rng(17) {}

    std::vector<uint8_t> frame() {
        m_blocks.clear();
        for (int y = 0; y < m_h; y += 8) {
            for (int x = 0; x < m_w; x += 8) {
                block(size_t(y * m_w + x), 8);
            }
        }
        std::vector<uint8_t> payload(1 << 17);
        payload.resize(writeDeltaFrame(payload, {1, 2, 3, 4, 5, 6, 7, 8}, m_blocks));
        return payload;
    }

  private:
    bool inside(size_t p, int s, int entry) const {
        const MotionVector mv = kMotionVectors[size_t(entry)];
        const ptrdiff_t src = ptrdiff_t(p) + mv.dy * m_w + mv.dx;
        return src >= 0 && src + ptrdiff_t((s - 1) * (m_w + 1)) < ptrdiff_t(m_w * m_h);
    }
    uint8_t motion(size_t p, int s) {
        // Motion of a panning camera: a few nearby vectors dominate.
        const int entry = int(112 + int(m_rng() % 31) - 15);
        return inside(p, s, entry) ? uint8_t(entry) : kOpMotionZero;
    }
    void block(size_t p, int s) {
        const int pick = int(m_rng() % 100);
        const size_t h = size_t(s / 2);
        const size_t quads[4] = {p, p + h, p + h * size_t(m_w) + h, p + h * size_t(m_w)};
        if (s == 8 && pick < m_detail) {
            const int mask = int(m_rng() % 4) == 0 ? int(m_rng() % 16) : 0;
            m_blocks.push_back(splitMaskBlock(mask));
            for (int k = 0; k < 4; ++k) {
                if (mask & (1 << k)) {
                    const size_t q = quads[k];
                    const size_t qs[4] = {q, q + 2, q + 2 * size_t(m_w) + 2, q + 2 * size_t(m_w)};
                    for (size_t c : qs) {
                        block(c, 2);
                    }
                } else {
                    block(quads[k], 4);
                }
            }
            return;
        }
        const uint8_t c = uint8_t(1 + m_rng() % 254);
        if (s == 2) {
            if (pick < 50) {
                m_blocks.push_back(rawBlock(c, uint8_t(c + 1), uint8_t(c + 2), uint8_t(c + 3)));
            } else if (pick < 80) {
                m_blocks.push_back(fillBlock(2, c));
            } else {
                m_blocks.push_back(motionBlock(2, motion(p, 2)));
            }
            return;
        }
        if (pick < 50) {
            m_blocks.push_back(motionBlock(s, motion(p, s)));
        } else if (pick < 70) {
            m_blocks.push_back(keepBlock(s));
        } else if (pick < 80) {
            m_blocks.push_back(fillBlock(s, c));
        } else if (pick < 88) {
            m_blocks.push_back(frequentBlock(s, int(m_rng() % 8)));
        } else {
            m_blocks.push_back(patternBlock(s, uint8_t(m_rng()), c, uint8_t(c + 9)));
        }
    }

    int m_w, m_h, m_detail;
    std::mt19937 m_rng;
    std::vector<BlockCode> m_blocks;
};

// Argument: percentage of 8x8 blocks that are split (detail, and bytes per frame).
void BM_DecodeDelta320x240(benchmark::State& state) {
    const int w = 320, h = 240;
    SequenceMaker maker(w, h, int(state.range(0)));
    std::vector<std::vector<uint8_t>> frames;
    size_t bytes = 0;
    for (int i = 0; i < 32; ++i) {
        frames.push_back(maker.frame());
        bytes += frames.back().size();
    }
    PicturePair pair(w, h);
    size_t n = 0;
    for (auto _ : state) {
        const PayloadResult r = pair.decodeFrame(frames[n++ % frames.size()]);
        benchmark::DoNotOptimize(r.end);
        benchmark::DoNotOptimize(pair.latest().data());
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes_per_frame"] = double(bytes) / double(frames.size());
}
BENCHMARK(BM_DecodeDelta320x240)->Arg(10)->Arg(25)->Arg(50);

void BM_DecodeKey320x240(benchmark::State& state) {
    const int w = 320, h = 240;
    std::vector<uint8_t> half(keyPixelDataSize(w, h));
    for (size_t i = 0; i < half.size(); ++i) {
        half[i] = uint8_t(i * 7);
    }
    std::vector<uint8_t> payload(65536);
    payload.resize(writeKeyFrame(payload, half, nullptr));
    PicturePair pair(w, h);
    for (auto _ : state) {
        benchmark::DoNotOptimize(pair.decodeFrame(payload).end);
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeKey320x240);

} // namespace
