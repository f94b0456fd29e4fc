// Key and delta frame coding. Invariants worth knowing:
// - m_byteCount is the stream estimate (16 + the lengths of all current codings); the real
//   stream is never longer (runs and reverted patterns only shrink it) and the real header is
//   8 bytes longer than the estimate's start, so with a goal of at most 65,520 and at most
//   5 bytes per refinement step a payload never exceeds 65,533 bytes. Its length in pages is
//   then 256 for anything past 65,280 bytes, stored as 0 in the 8-bit field.
// - The node store is reserved for every block split to 2x2 before coding starts, so node
//   references stay valid while quadrants are added.
#include "encoder/codec/framecoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <thread>

#include "encoder/codec/framecoder_kernels.h"
#include "encoder/codec/payload_writer.h"
#include "moviedb/payload_format.h"
#include "moviedb/payload_tables.h"

namespace quil {

namespace {

constexpr uint8_t kZeroVector = kOpMotionZero;

constexpr double kQualityDivisor = 4993920000.0; // 160 * 160 * 3 * 255^2

// Candidates in search order: 112, then 112 - i, 112 + i for i = 1..112.
constexpr std::array<uint8_t, 225> kMotionOrder = [] {
    std::array<uint8_t, 225> order{};
    order[0] = kZeroVector;
    for (int i = 1; i <= 112; ++i) {
        order[size_t(2 * i - 1)] = uint8_t(kZeroVector - i);
        order[size_t(2 * i)] = uint8_t(kZeroVector + i);
    }
    return order;
}();

} // namespace

FrameCoder::FrameCoder(int width, int rows, const ColorLookup& lookup, int threads)
    : m_width(width), m_rows(rows), m_lookup(lookup), m_decoder(width, rows) {
    if (threads <= 0) {
        threads = int(std::min(2u, std::max(1u, std::thread::hardware_concurrency())));
    }
    m_threads = std::min(threads, 2);
    for (size_t k = 0; k < kMotionOrder.size(); ++k) {
        const MotionVector v = kMotionVectors[kMotionOrder[k]];
        Candidate& c = m_candidates[k];
        c.offset = int32_t(v.dy) * width + v.dx;
        c.cost = std::max(std::abs(int(v.dx)), std::abs(int(v.dy))) + ((v.dx & 1) ? 8 : 0);
        c.entry = kMotionOrder[k];
        m_searchOffsets[k] = c.offset;
        m_searchCosts[k] = c.cost;
        m_orderOf[c.entry] = uint8_t(k);
        m_minOffset = std::min(m_minOffset, c.offset);
        m_maxOffset = std::max(m_maxOffset, c.offset);
    }
    const size_t blocks = size_t(width / 8) * size_t(rows / 8);
    m_nodes.reserve(blocks * 21);
    m_heap.reserve(blocks * 21 + 1);
    m_emit.reserve(blocks * 21);
    m_lastMotion.assign(blocks, -1);
    m_pair = std::make_unique<WorkPair>(m_threads > 1);
    if (m_threads > 1) {
        m_ahead = std::make_unique<Ahead[]>(blocks * 21);
        m_patternState = std::make_unique<std::atomic<uint8_t>[]>(blocks * 21);
        m_splitState = std::make_unique<std::atomic<uint8_t>[]>(blocks * 21);
        for (size_t i = 0; i < blocks * 21; ++i) {
            m_patternState[i].store(0, std::memory_order_relaxed);
            m_splitState[i].store(0, std::memory_order_relaxed);
        }
    }
}

FrameCodeResult FrameCoder::encodeFrame(uint8_t* payload, const FrameInput& in) {
    // The lookup may have been rebuilt since the last frame.
    for (size_t i = 0; i < 256; ++i) {
        const ColorEntry& c = m_lookup.colors()[i];
        m_red[i] = c.red;
        m_green[i] = c.green;
        m_blue[i] = c.blue;
        m_redBlueOf[i] = redBlueWord(c.red, c.blue);
        m_greenOf[i] = greenWord(c.green);
        m_packedOf[i] = uint64_t(c.red) | uint64_t(c.green) << 16 | uint64_t(c.blue) << 32;
    }
    FrameCodeResult result;
    const bool key = in.other == nullptr ||
                     (in.keyFrameInterval > 0 && in.frameIndex % in.keyFrameInterval == 0);
    result.keyFrame = key;
    if (key) {
        result.length = encodeKeyFrame(payload, in);
        result.quality = 1.0;
    } else {
        result.length = encodeDeltaFrame(payload, in, result.quality);
    }
    return result;
}

size_t FrameCoder::encodeKeyFrame(uint8_t* payload, const FrameInput& in) {
    const size_t W = size_t(m_width), H = size_t(m_rows);
    const std::span<const uint8_t> picture(in.picture, W * H);
    std::span<const uint8_t> pixels = picture;
    if (W == 160) {
        std::memcpy(in.written, in.picture, W * H);
    } else {
        m_half.resize(keyPixelDataSize(m_width, m_rows));
        makeHalfResolution(picture, m_width, m_rows, m_lookup.colors(), m_lookup.grid(),
                           m_lookup.lookup(), m_half);
        const uint8_t* half = m_half.data();
        for (size_t y = 0; y < H; y += 2) {
            for (size_t x = 0; x < W; x += 2) {
                uint8_t* w = in.written + y * W + x;
                w[0] = w[1] = w[W] = w[W + 1] = *half++;
            }
        }
        pixels = m_half;
    }
    if (in.other) {
        std::memcpy(in.other, in.written, W * H);
    }
    return writeKeyFrame(std::span<uint8_t>(payload, kPayloadBufferSize), pixels,
                         in.other ? nullptr : &m_lookup.colors(), uint8_t(in.continuation ? 1 : 0));
}

// ---- Block decisions ------------------------------------------------------------------

int32_t FrameCoder::bestColor(const uint8_t* block, int size, uint8_t& color) const {
    const size_t W = size_t(m_width);
    const uint8_t first = block[0];
    bool uniform = true;
    int32_t r = 0, g = 0, b = 0;
    for (int y = 0; y < size; ++y) {
        const uint8_t* row = block + size_t(y) * W;
        for (int x = 0; x < size; ++x) {
            const uint8_t c = row[x];
            uniform &= c == first;
            r += m_red[c];
            g += m_green[c];
            b += m_blue[c];
        }
    }
    if (uniform) {
        color = first;
        return 0;
    }
    const int n = size * size;
    const int log2n = size == 8 ? 6 : (size == 4 ? 4 : 2);
    if (m_lookup.fineGrid()) {
        const int shift = log2n + 3;
        color =
            m_lookup.codeForCell((r + n / 4) >> shift, (g + n / 4) >> shift, (b + n / 4) >> shift);
    } else {
        const int shift = log2n + 4;
        color =
            m_lookup.codeForCell((r + n / 2) >> shift, (g + n / 2) >> shift, (b + n / 2) >> shift);
    }
    const int32_t* d = m_lookup.distanceRow(color);
    int32_t error = 0;
    for (int y = 0; y < size; ++y) {
        const uint8_t* row = block + size_t(y) * W;
        for (int x = 0; x < size; ++x) {
            error += d[row[x]];
        }
    }
    return error;
}

// Returns the lowest score 16 E + cost below startScore (startScore itself when no candidate
// gets below it, entry then unchanged); on equal scores the candidate earlier in the search
// order wins. hint, a motion entry or -1, is tried first: a good early score lets every other
// candidate be dropped as soon as its partial score shows it cannot win. The winner is the
// same as in the plain walk through the search order, which the plain search keeps.
int32_t FrameCoder::bestMotion(int32_t position, int size, int32_t startScore, int hint,
                               uint8_t& entry) const {
    switch (size) {
    case 8:
        return bestMotionSized<8>(position, startScore, hint, entry);
    case 4:
        return bestMotionSized<4>(position, startScore, hint, entry);
    default:
        return bestMotionSized<2>(position, startScore, hint, entry);
    }
}

// Sums of the S x S blocks of the motion source by their top-left positions from..to-1,
// those whose block lies inside the pixel array; a block may run past a row's end into the
// next rows, as motion sources do. Each channel's sum stays below 2^16 in its own 16 bits, so
// the sums add and subtract as plain 64-bit numbers. runs is scratch.
void FrameCoder::blockSums(int S, size_t from, size_t to, std::vector<uint64_t>& runs,
                           std::vector<uint64_t>& out) const {
    const size_t count = size_t(m_width) * size_t(m_rows);
    const size_t W = size_t(m_width), s = size_t(S);
    const size_t span = (s - 1) * W;
    if (count < span + s) {
        return;
    }
    to = std::min(to, count - span - (s - 1));
    if (from >= to) {
        return;
    }
    const uint8_t* other = m_in->other;
    // Runs of S pixels from each position up to the last row of the last block, then S of
    // those runs a row apart.
    const size_t runCount = to - from + span;
    runs.resize(runCount);
    uint64_t run = 0;
    for (size_t i = 0; i < s; ++i) {
        run += m_packedOf[other[from + i]];
    }
    runs[0] = run;
    for (size_t i = 1; i < runCount; ++i) {
        run += m_packedOf[other[from + i + s - 1]] - m_packedOf[other[from + i - 1]];
        runs[i] = run;
    }
    for (size_t p = from; p < to && p < from + W; ++p) {
        uint64_t sum = 0;
        for (size_t y = 0; y < s; ++y) {
            sum += runs[p - from + y * W];
        }
        out[p] = sum;
    }
    for (size_t p = from + W; p < to; ++p) {
        out[p] = out[p - W] + runs[p - from + span] - runs[p - from - W];
    }
}

template <int S>
int32_t FrameCoder::bestMotionSized(int32_t position, int32_t startScore, int hint,
                                    uint8_t& entry) const {
    const size_t W = size_t(m_width);
    const int64_t limit = int64_t(m_width) * m_rows;
    const int64_t extent = int64_t(S - 1) * m_width + (S - 1);
    // Blocks far enough from the picture's ends admit every candidate.
    const bool inside = position + m_minOffset >= 0 && position + m_maxOffset + extent < limit;
    const int first = m_plain || hint < 0 ? -1 : int(m_orderOf[size_t(hint)]);
    const int64_t startKey = int64_t(startScore) * 256;
    // The fast search hands 8x8 and 4x4 blocks to a kernel working on channel words.
    if constexpr (S == 8 || S == 4) {
        if (!m_plain) {
            alignas(32) std::array<uint32_t, S * S> curRedBlue, curGreen;
            MotionSearch search{};
            for (int y = 0; y < S; ++y) {
                for (int x = 0; x < S; ++x) {
                    const uint8_t c = m_in->picture[size_t(position) + size_t(y) * W + size_t(x)];
                    const size_t i = size_t(y * S + x);
                    curRedBlue[i] = m_redBlueOf[c];
                    curGreen[i] = m_greenOf[c];
                    search.curSums[0] += m_red[c];
                    search.curSums[1] += m_green[c];
                    search.curSums[2] += m_blue[c];
                }
            }
            search.cur = ChannelPixels{curRedBlue.data(), curGreen.data()};
            search.source = ChannelPixels{m_otherRedBlue.data(), m_otherGreen.data()};
            search.sums = S == 8 ? m_otherSums8.data() : m_otherSums4.data();
            search.pitch = W;
            search.position = position;
            search.extent = extent;
            search.limit = limit;
            search.inside = inside;
            search.offsets = m_searchOffsets.data();
            search.costs = m_searchCosts.data();
            search.count = int(m_candidates.size());
            search.first = first;
            const CoderKernels& kernels = coderKernels();
            const int64_t bestKey = S == 8 ? kernels.searchMotion8(search, startKey)
                                           : kernels.searchMotion4(search, startKey);
            if (bestKey < startKey) {
                entry = m_candidates[size_t(bestKey & 255)].entry;
                return int32_t(bestKey / 256);
            }
            return startScore;
        }
    }
    // The plain search sums distance-table rows, one per pixel of the current block.
    std::array<const int32_t*, S * S> rowOf;
    for (int y = 0; y < S; ++y) {
        for (int x = 0; x < S; ++x) {
            const uint8_t c = m_in->picture[size_t(position) + size_t(y) * W + size_t(x)];
            rowOf[size_t(y * S + x)] = m_lookup.distanceRow(c);
        }
    }
    int64_t bestKey = startKey;
    auto evaluate = [&](int k) {
        const Candidate& c = m_candidates[size_t(k)];
        // Wins only with score * 256 + k < bestKey, that is score < bound.
        const int64_t bound64 = (bestKey - k + 255) / 256;
        const int32_t bound =
            int32_t(std::min<int64_t>(bound64, std::numeric_limits<int32_t>::max()));
        if (c.cost >= bound) {
            return;
        }
        const int64_t start = int64_t(position) + c.offset;
        if (!inside && (start < 0 || start + extent >= limit)) {
            return;
        }
        int32_t score = c.cost;
        const uint8_t* src = m_in->other + start;
        for (int y = 0; y < S && score < bound; ++y) {
            const int32_t* const* rows = &rowOf[size_t(y * S)];
            const uint8_t* b = src + size_t(y) * W;
            int32_t e = 0;
            for (int x = 0; x < S; ++x) {
                e += rows[x][b[x]];
            }
            score += 16 * e;
        }
        if (score < bound) {
            bestKey = int64_t(score) * 256 + k;
            entry = c.entry;
        }
    };

    if (first >= 0) {
        evaluate(first);
    }
    for (int k = 0; k < int(m_candidates.size()) && bestKey != 0; ++k) {
        if (k != first) {
            evaluate(k);
        }
    }
    return bestKey < startKey ? int32_t(bestKey / 256) : startScore;
}

FrameCoder::PatternChoice FrameCoder::bestPatternPlain(const uint8_t* block, int size) const {
    const size_t W = size_t(m_width);
    const int n = size * size;
    std::array<uint8_t, 64> px{};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            px[size_t(y * size + x)] = block[size_t(y) * W + size_t(x)];
        }
    }
    const int shift = m_lookup.fineGrid() ? 3 : 4;
    int32_t best = std::numeric_limits<int32_t>::max();
    PatternChoice choice;
    for (int t = 0; t < 256; ++t) {
        const uint64_t bits = size == 8 ? kPatterns8x8[size_t(t)] : kPatterns4x4[size_t(t)];
        int32_t sum[2][3] = {{0, 0, 0}, {0, 0, 0}};
        int count[2] = {0, 0};
        for (int i = 0; i < n; ++i) {
            const int set = int((bits >> i) & 1);
            const uint8_t c = px[size_t(i)];
            sum[set][0] += m_red[c];
            sum[set][1] += m_green[c];
            sum[set][2] += m_blue[c];
            ++count[set];
        }
        uint8_t code[2];
        for (int k = 0; k < 2; ++k) {
            const int m = count[k];
            if (m == 0) {
                continue;
            }
            code[k] = m_lookup.codeForCell(((sum[k][0] + m / 2) / m) >> shift,
                                           ((sum[k][1] + m / 2) / m) >> shift,
                                           ((sum[k][2] + m / 2) / m) >> shift);
        }
        // A side without pixels takes the other side's colour.
        if (count[0] == 0) {
            code[0] = code[1];
        }
        if (count[1] == 0) {
            code[1] = code[0];
        }
        const int32_t* d0 = m_lookup.distanceRow(code[0]);
        const int32_t* d1 = m_lookup.distanceRow(code[1]);
        int32_t error = 0;
        for (int y = 0; y < size && error < best; ++y) {
            for (int x = 0; x < size; ++x) {
                const int i = y * size + x;
                error += ((bits >> i) & 1) ? d1[px[size_t(i)]] : d0[px[size_t(i)]];
            }
        }
        if (error < best) {
            best = error;
            choice = PatternChoice{error, uint8_t(t), code[0], code[1]};
            if (best == 0) {
                break;
            }
        }
    }
    return choice;
}

namespace {

// floor(x / m) == (x * kReciprocal[m]) >> 32 for 0 <= x < 2^20 and 1 <= m <= 64.
constexpr std::array<uint64_t, 65> kReciprocal = [] {
    std::array<uint64_t, 65> r{};
    for (uint64_t m = 1; m <= 64; ++m) {
        r[m] = ((uint64_t(1) << 32) + m - 1) / m;
    }
    return r;
}();

inline int divideSmall(int32_t x, int m) {
    return int((uint64_t(uint32_t(x)) * kReciprocal[size_t(m)]) >> 32);
}

// The row masks the patterns of one block size use (each row of a pattern is one of a few
// edges), closed under dropping the lowest bit, so that every mask's pixel sums are one
// addition away from another's. Slot 0 is the empty mask; a mask's slot follows its base's.
struct PatternRows {
    static constexpr int kMaxSlots = 256;
    int count = 0;
    std::array<uint8_t, kMaxSlots> base{}; // slot of the mask without its lowest bit
    std::array<uint8_t, kMaxSlots> bit{};  // that bit's column
    std::array<std::array<uint8_t, 8>, 256> slot{}; // pattern -> slot of each of its rows
};

PatternRows makePatternRows(int size) {
    auto rowOf = [size](int t, int y) {
        const uint64_t bits = size == 8 ? kPatterns8x8[size_t(t)] : kPatterns4x4[size_t(t)];
        return int((bits >> (y * size)) & ((1u << size) - 1));
    };
    std::array<bool, 256> used{};
    for (int t = 0; t < 256; ++t) {
        for (int y = 0; y < size; ++y) {
            used[size_t(rowOf(t, y))] = true;
        }
    }
    used[0] = true;
    for (int m = 255; m > 0; --m) {
        if (used[size_t(m)]) {
            used[size_t(m & (m - 1))] = true;
        }
    }
    PatternRows rows;
    std::array<uint8_t, 256> slotOf{};
    for (int m = 0; m < 256; ++m) {
        if (used[size_t(m)]) {
            const size_t k = size_t(rows.count++);
            slotOf[size_t(m)] = uint8_t(k);
            rows.base[k] = slotOf[size_t(m & (m - 1))];
            rows.bit[k] = uint8_t(m ? std::countr_zero(unsigned(m)) : 0);
        }
    }
    for (int t = 0; t < 256; ++t) {
        for (int y = 0; y < size; ++y) {
            rows.slot[size_t(t)][size_t(y)] = slotOf[size_t(rowOf(t, y))];
        }
    }
    return rows;
}

const PatternRows& patternRows(int size) {
    static const PatternRows rows8 = makePatternRows(8);
    static const PatternRows rows4 = makePatternRows(4);
    return size == 8 ? rows8 : rows4;
}

} // namespace

// Same results as bestPatternPlain: the sums under each pattern come from per-row tables of
// every bit combination, and each pixel's distance to a code is looked up once per code.
FrameCoder::PatternChoice FrameCoder::bestPattern(const uint8_t* block, int size) const {
    return size == 8 ? bestPatternSized<8>(block) : bestPatternSized<4>(block);
}

template <int size>
FrameCoder::PatternChoice FrameCoder::bestPatternSized(const uint8_t* block) const {
    const size_t W = size_t(m_width);
    const int n = size * size;
    // Sums of red, green, blue and the pixel count, added four at a time.
    typedef int32_t Sum __attribute__((vector_size(16)));
    // rowSums[y * slots + k]: sums over the pixels of row y under the k-th row mask the
    // patterns use.
    const PatternRows& rows = patternRows(size);
    const int slots = rows.count;
    alignas(16) std::array<Sum, 8 * PatternRows::kMaxSlots> rowSums;
    std::array<uint8_t, 64> px;
    Sum total = {0, 0, 0, 0};
    int64_t squares[3] = {0, 0, 0};
    for (int y = 0; y < size; ++y) {
        Sum* rs = &rowSums[size_t(y * slots)];
        const uint8_t* row = block + size_t(y) * W;
        Sum pixel[8];
        for (int x = 0; x < size; ++x) {
            const uint8_t c = row[x];
            const int32_t r = m_red[c], g = m_green[c], b = m_blue[c];
            pixel[x] = Sum{r, g, b, 1};
            squares[0] += r * r;
            squares[1] += g * g;
            squares[2] += b * b;
            total += pixel[x];
            px[size_t(y * size + x)] = c;
        }
        rs[0] = Sum{0, 0, 0, 0};
        for (int k = 1; k < slots; ++k) {
            rs[k] = rs[rows.base[size_t(k)]] + pixel[rows.bit[size_t(k)]];
        }
    }
    // A pattern cannot beat the best so far when the spread of its sides' pixels around their
    // own means already costs as much. For a side of m pixels with channel sums S, any code is
    // at least the squared deviations Q - S^2 / m away (Q the sum of squares), less the
    // rounding of each pixel's distance (at most 127/256), so with w the channel weights
    //   256 error >= sum w Q - sum w (S0^2 / m0 + S1^2 / m1) - 127 n.
    // The pattern is passed over when that reaches 256 best, in integers:
    //   sum w (S0^2 m1 + S1^2 m0) <= R m0 m1,  R = sum w Q - 127 n - 256 best.
    const int64_t weightedSquares = 77 * squares[0] + 150 * squares[1] + 29 * squares[2];
    auto weighted = [](const Sum& a, int64_t ma, const Sum& b, int64_t mb) {
        const int64_t ar = a[0], ag = a[1], ab = a[2], br = b[0], bg = b[1], bb = b[2];
        return 77 * (ar * ar * ma + br * br * mb) + 150 * (ag * ag * ma + bg * bg * mb) +
               29 * (ab * ab * ma + bb * bb * mb);
    };
    const int shift = m_lookup.fineGrid() ? 3 : 4;
    auto codeOf = [&](const Sum& s) {
        const int m = s[3];
        return m_lookup.codeForCell(divideSmall(s[0] + m / 2, m) >> shift,
                                    divideSmall(s[1] + m / 2, m) >> shift,
                                    divideSmall(s[2] + m / 2, m) >> shift);
    };
    // Each pixel's distance to a code, gathered once per code the search meets.
    const PatternErrorFn patternError = coderKernels().patternError;
    std::array<int16_t, 256> slotOf;
    slotOf.fill(-1);
    std::array<std::array<int32_t, 64>, 256> errors;
    int codes = 0;
    auto errorsOf = [&](uint8_t code) -> const int32_t* {
        int16_t& slot = slotOf[code];
        if (slot < 0) {
            slot = int16_t(codes++);
            const int32_t* d = m_lookup.distanceRow(code);
            int32_t* e = errors[size_t(slot)].data();
            for (int i = 0; i < n; ++i) {
                e[i] = d[px[size_t(i)]];
            }
        }
        return errors[size_t(slot)].data();
    };
    auto spreadBound = [&](int32_t best) {
        return weightedSquares - 127 * int64_t(n) - 256 * int64_t(best);
    };
    // A pattern with an empty side takes the whole block's spread.
    const int64_t totalSpread = weighted(total, 1, total, 0);
    auto passedOver = [&](const Sum& set, int32_t best) {
        const Sum clear = total - set;
        const int64_t m0 = clear[3], m1 = set[3], R = spreadBound(best);
        return m0 != 0 && m1 != 0 ? weighted(clear, m1, set, m0) <= R * m0 * m1
                                  : totalSpread <= R * n;
    };
    // The same test four patterns at a time, in doubles: every sum and product in it is an
    // integer below 2^53, so the doubles hold them exactly and the test decides as the
    // integers would. Bit j of the result is set when pattern j may still beat best.
    typedef double Wide __attribute__((vector_size(32)));
    auto openOf = [&](const Sum* sets, int32_t best) {
        const int64_t R = spreadBound(best);
        Wide s[4];
        for (int c = 0; c < 4; ++c) {
            s[c] = Wide{double(sets[0][c]), double(sets[1][c]), double(sets[2][c]),
                        double(sets[3][c])};
        }
        const Wide m1 = s[3], m0 = double(n) - m1;
        const Wide cr = double(total[0]) - s[0], cg = double(total[1]) - s[1],
                   cb = double(total[2]) - s[2];
        const Wide spread = 77 * (cr * cr * m1 + s[0] * s[0] * m0) +
                            150 * (cg * cg * m1 + s[1] * s[1] * m0) +
                            29 * (cb * cb * m1 + s[2] * s[2] * m0);
        const auto over = spread <= double(R) * m0 * m1; // lanes of all ones where true
        unsigned open = 0;
        for (int j = 0; j < 4; ++j) {
            const bool emptySide = sets[j][3] == 0 || sets[j][3] == n;
            const bool skip = emptySide ? passedOver(sets[j], best) : over[j] != 0;
            open |= unsigned(skip ? 0 : 1) << j;
        }
        return open;
    };
    int32_t best = std::numeric_limits<int32_t>::max();
    PatternChoice choice;
    std::array<Sum, 4> sets;
    for (int group = 0; group < 256 && best != 0; group += 4) {
        for (int j = 0; j < 4; ++j) {
            // Added as a tree: a chain of additions would wait on each one.
            const uint8_t* slot = rows.slot[size_t(group + j)].data();
            auto row = [&](int y) { return rowSums[size_t(y * slots + slot[y])]; };
            Sum set = (row(0) + row(1)) + (row(2) + row(3));
            if constexpr (size == 8) {
                set += (row(4) + row(5)) + (row(6) + row(7));
            }
            sets[size_t(j)] = set;
        }
        const int32_t groupBest = best;
        const unsigned open =
            best == std::numeric_limits<int32_t>::max() ? 15u : openOf(sets.data(), best);
        for (int j = 0; j < 4 && best != 0; ++j) {
            if (!((open >> j) & 1)) {
                continue;
            }
            const int t = group + j;
            const Sum set = sets[size_t(j)];
            const Sum clear = total - set;
            // A pattern of this group that won has tightened the test for the rest.
            if (best != groupBest && passedOver(set, best)) {
                continue;
            }
            const uint64_t bits = size == 8 ? kPatterns8x8[size_t(t)] : kPatterns4x4[size_t(t)];
            uint8_t code0, code1;
            if (clear[3] == 0) {
                code0 = code1 = codeOf(set);
            } else if (set[3] == 0) {
                code0 = code1 = codeOf(clear);
            } else {
                code0 = codeOf(clear);
                code1 = codeOf(set);
            }
            const int32_t error = patternError(errorsOf(code0), errorsOf(code1), bits, n);
            if (error < best) {
                best = error;
                choice = PatternChoice{error, uint8_t(t), code0, code1};
            }
        }
    }
    return choice;
}

void FrameCoder::mapFill(Node& node) const {
    if (node.opcode == kOpFill) {
        node.opcode = fillOpcode(node.operands[0]);
        node.length = node.opcode == kOpFill ? 2 : 1;
        node.initialOpcode = node.opcode;
    }
}

void FrameCoder::initialCoding(Node& node, int size, int hint) const {
    const size_t W = size_t(m_width);
    const uint8_t* cur = m_in->picture + node.position;
    const uint8_t* old = m_in->written + node.position;
    int32_t keepError = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            keepError +=
                m_lookup.distance(cur[size_t(y) * W + size_t(x)], old[size_t(y) * W + size_t(x)]);
        }
    }
    node.operands = {0, 0, 0, 0};
    node.quadrants = -1;
    if (keepError == 0) {
        node.opcode = kOpKeep;
        node.priority = 0;
        node.distortion = 0;
    } else {
        const int64_t keepWeight = size == 2 ? 75 : 250;
        const int64_t fillWeight = size == 8 ? 1960 : (size == 4 ? 1225 : 131);
        const int64_t motionWeight = size == 2 ? 75 : 250;
        uint8_t color = 0, entry = kZeroVector;
        const int32_t fillError = bestColor(cur, size, color);
        const int64_t K = keepWeight * keepError;
        const int64_t F = fillWeight * fillError;
        // Motion only wins below T = K (keep wins ties) or F + 1 (fill loses ties), so the
        // search need not look at scores whose M would reach T.
        int32_t startScore = std::numeric_limits<int32_t>::max();
        if (!m_plain) {
            const int64_t T = K <= F ? K : F + 1;
            const int64_t bound = 16 * ((T + motionWeight - 1) / motionWeight);
            startScore = int32_t(std::min<int64_t>(bound, startScore));
        }
        const int32_t score = bestMotion(node.position, size, startScore, hint, entry);
        const int64_t M =
            score < startScore ? motionWeight * (score / 16) : std::numeric_limits<int64_t>::max();
        const int32_t motionError = score / 16;
        if (K <= F && K <= M) {
            node.opcode = kOpKeep;
            node.priority = K;
            node.distortion = keepError;
        } else if (F < M) {
            node.opcode = kOpFill; // mapFill gives frequent colours their opcode
            node.operands[0] = color;
            node.priority = F;
            node.distortion = fillError;
        } else {
            node.opcode = entry;
            node.priority = M;
            node.distortion = motionError;
        }
    }
    node.length = node.opcode == kOpFill ? 2 : 1;
    node.initialOpcode = node.opcode;
    node.initialOperand = node.operands[0];
    node.initialPriority = node.priority;
}

// ---- Refinement queue -----------------------------------------------------------------

void FrameCoder::push(int32_t index) {
    Node& node = m_nodes[size_t(index)];
    if (m_raiseOnEntry && node.border) {
        node.priority += node.priority / 4;
    }
    m_heap.push_back(index);
    size_t i = m_heap.size() - 1;
    while (i > 1 && m_nodes[size_t(m_heap[i / 2])].priority < node.priority) {
        m_heap[i] = m_heap[i / 2];
        i /= 2;
    }
    m_heap[i] = index;
}

void FrameCoder::siftDown(size_t i) {
    const size_t count = m_heap.size() - 1;
    const int32_t moving = m_heap[i];
    const int64_t p = m_nodes[size_t(moving)].priority;
    for (;;) {
        size_t child = 2 * i;
        if (child > count) {
            break;
        }
        if (child + 1 <= count &&
            m_nodes[size_t(m_heap[child])].priority < m_nodes[size_t(m_heap[child + 1])].priority) {
            ++child;
        }
        if (!(p < m_nodes[size_t(m_heap[child])].priority)) {
            break;
        }
        m_heap[i] = m_heap[child];
        i = child;
    }
    m_heap[i] = moving;
}

int32_t FrameCoder::pop() {
    const int32_t top = m_heap[1];
    const int32_t last = m_heap.back();
    m_heap.pop_back();
    if (m_heap.size() > 1) {
        m_heap[1] = last;
        siftDown(1);
    }
    return top;
}

// ---- Refinement -----------------------------------------------------------------------

// The initial codings of a block's four quadrants (top left, top right, bottom right, bottom
// left), each search starting from the block's own motion.
void FrameCoder::codeQuadrants(const Node& block, int32_t index, Node* quadrants) const {
    const size_t W = size_t(m_width);
    const int half = (2 << block.level) / 2;
    const int32_t offsets[4] = {0, half, int32_t(half * W) + half, int32_t(half * W)};
    const int hint = block.initialOpcode <= kOpMotionLast ? block.initialOpcode : -1;
    for (int k = 0; k < 4; ++k) {
        Node& q = quadrants[k];
        q = Node{};
        q.position = block.position + offsets[k];
        q.level = uint8_t(block.level - 1);
        q.border = block.border;
        q.parent = index;
        initialCoding(q, half, hint);
    }
}

void FrameCoder::split(int32_t index) {
    const int32_t first = int32_t(m_nodes.size());
    const bool ready = takeAhead(m_splitState.get(), index);
    m_nodes.resize(m_nodes.size() + 4); // within the reserved store: index stays valid
    if (ready) {
        std::copy_n(m_ahead[size_t(index)].quadrants.begin(), 4, &m_nodes[size_t(first)]);
    } else {
        codeQuadrants(m_nodes[size_t(index)], index, &m_nodes[size_t(first)]);
    }
    for (int k = 0; k < 4; ++k) {
        Node& q = m_nodes[size_t(first + k)];
        mapFill(q);
        m_byteCount += q.length;
    }
    Node& node = m_nodes[size_t(index)];
    node.quadrants = first;
    node.priority = 0;
    node.distortion = 0;
    if (node.level == 1) {
        node.opcode = kOpSplit;
        node.length = 0;
        Node& parent = m_nodes[size_t(node.parent)];
        parent.opcode = uint8_t(parent.opcode + (1 << (index - parent.quadrants)));
    } else {
        node.opcode = kOpSplitMask;
        node.length = 1;
        m_byteCount += 1;
    }
    for (int k = 0; k < 4; ++k) {
        if (m_nodes[size_t(first + k)].priority > 0) {
            push(first + k);
        }
    }
}

void FrameCoder::refine(int32_t index) {
    Node& node = m_nodes[size_t(index)];
    m_byteCount -= node.length;
    ++m_stats.refinements;
    if (node.level == 0) {
        const size_t W = size_t(m_width);
        const uint8_t* cur = m_in->picture + node.position;
        node.opcode = kOpSplit;
        node.operands = {cur[0], cur[1], cur[W], cur[W + 1]};
        node.length = 5;
        node.priority = 0;
        node.distortion = 0;
        m_byteCount += 5;
        return;
    }
    if (node.opcode == kOpPattern || (node.level == 2 && m_in->fUseFastEncoding)) {
        split(index);
        return;
    }
    const int size = node.level == 2 ? 8 : 4;
    const uint8_t* block = m_in->picture + node.position;
    const PatternChoice choice = takeAhead(m_patternState.get(), index)
                                     ? m_ahead[size_t(index)].pattern
                                 : m_plain ? bestPatternPlain(block, size)
                                           : bestPattern(block, size);
    const uint8_t t = choice.pattern, c0 = choice.c0, c1 = choice.c1;
    const int32_t error = choice.error;
    const int64_t weight = c0 == c1 ? (size == 8 ? 1960 : 1225) : (size == 8 ? 437 : 131);
    node.opcode = kOpPattern;
    node.operands = {t, c0, c1, 0};
    node.length = 4;
    node.distortion = error;
    node.priority = int64_t(error) * weight;
    m_byteCount += 4;
    if (node.priority > 0) {
        push(index);
    }
}

// True when the helper has the node's step ready (waiting for it if it is at work); false
// when the loop must compute it, the helper then kept off it.
bool FrameCoder::takeAhead(std::atomic<uint8_t>* states, int32_t index) {
    if (!m_lookahead) {
        return false;
    }
    std::atomic<uint8_t>& state = states[index];
    uint8_t s = 0;
    if (state.compare_exchange_strong(s, 3, std::memory_order_acq_rel)) {
        return false;
    }
    // While the helper finishes it, take on other listed steps.
    static constexpr int kOrder[kAheadList] = {0, 1, 2, 3, 4, 5};
    while (s == 1) {
        s = state.load(std::memory_order_acquire);
        if (s == 1 && !workAhead(m_nodes.data(), kOrder)) {
            cpuPause();
        }
    }
    return s == 2;
}

// Lists the nodes most likely to come next with work to do: the largest of the queue's first
// seven entries, which hold its three largest.
void FrameCoder::publishAhead() {
    std::array<int32_t, 7> top{};
    int count = 0;
    for (size_t h = 1; h < m_heap.size() && count < 7; ++h) {
        const int32_t i = m_heap[h];
        if (m_nodes[size_t(i)].level > 0) {
            top[size_t(count++)] = i;
        }
    }
    std::stable_sort(top.begin(), top.begin() + count, [this](int32_t a, int32_t b) {
        return m_nodes[size_t(a)].priority > m_nodes[size_t(b)].priority;
    });
    for (int j = 0; j < kAheadList; ++j) {
        uint32_t word = 0;
        if (j < count) {
            const Node& node = m_nodes[size_t(top[size_t(j)])];
            const bool split =
                node.opcode == kOpPattern || (node.level == 2 && m_in->fUseFastEncoding);
            word = uint32_t(top[size_t(j)]) * 2 + (split ? 1 : 0) + 1;
        }
        m_aheadList[size_t(j)].store(word, std::memory_order_release);
    }
}

// One listed node's next step, into its look-ahead slot (whoever claimed it).
void FrameCoder::computeAhead(const Node* nodes, int32_t index, bool split) const {
    const Node& node = nodes[index];
    Ahead& ahead = m_ahead[size_t(index)];
    const int size = 2 << node.level;
    if (!split) {
        ahead.pattern = bestPattern(m_in->picture + node.position, size);
    } else {
        codeQuadrants(node, index, ahead.quadrants.data());
    }
}

// Claims and computes one listed step nobody has started; false when there is none.
bool FrameCoder::workAhead(const Node* nodes, const int* order) {
    for (int j = 0; j < kAheadList; ++j) {
        const uint32_t word = m_aheadList[size_t(order[j])].load(std::memory_order_acquire);
        if (word == 0) {
            continue;
        }
        const int32_t index = int32_t((word - 1) / 2);
        const bool split = ((word - 1) & 1) != 0;
        std::atomic<uint8_t>& state = (split ? m_splitState : m_patternState)[index];
        uint8_t s = 0;
        if (state.load(std::memory_order_relaxed) != 0 ||
            !state.compare_exchange_strong(s, 1, std::memory_order_acq_rel)) {
            continue;
        }
        computeAhead(nodes, index, split);
        state.store(2, std::memory_order_release);
        return true;
    }
    return false;
}

// The helper's side of the look-ahead; nodes is the node store, which does not move during
// the loop. A listed node's position, level, border and initial opcode are settled before it
// is listed.
void FrameCoder::lookahead(const Node* nodes) {
    // The loop itself will soon pop the first listed node: the helper starts further down.
    static constexpr int kOrder[kAheadList] = {1, 2, 3, 4, 5, 0};
    while (!m_aheadStop.load(std::memory_order_acquire)) {
        if (!workAhead(nodes, kOrder)) {
            cpuPause();
        }
    }
}

void FrameCoder::frequentColorPass(uint8_t* table) {
    std::array<int32_t, 256> counts{};
    for (const Node& node : m_nodes) {
        if (node.opcode == kOpFill) {
            ++counts[node.operands[0]];
        }
    }
    std::array<uint8_t, 256> order{};
    for (int i = 0; i < 256; ++i) {
        order[size_t(i)] = uint8_t(255 - i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](uint8_t a, uint8_t b) { return counts[a] > counts[b]; });
    for (int k = 0; k < 8; ++k) {
        table[k] = order[size_t(k)];
        m_frequentMap[order[size_t(k)]] = uint8_t(246 + k);
    }
    for (Node& node : m_nodes) {
        if (node.opcode == kOpFill && m_frequentMap[node.operands[0]] != kOpFill) {
            node.opcode = m_frequentMap[node.operands[0]];
            node.length = 1;
            m_byteCount -= 1;
        }
    }
}

// ---- Finalising and writing -----------------------------------------------------------

size_t FrameCoder::writeStream(uint8_t* out, size_t capacity, int64_t& distortion) {
    m_emit.clear();
    distortion = 0;
    const int32_t blocks = int32_t((m_width / 8) * (m_rows / 8));
    // Pre-order walk with an explicit stack (at most 1 + 3 + 3 entries deep).
    std::array<int32_t, 16> stack{};
    for (int32_t b = 0; b < blocks; ++b) {
        int top = 0;
        stack[size_t(top++)] = b;
        while (top > 0) {
            const int32_t i = stack[size_t(--top)];
            Node& node = m_nodes[size_t(i)];
            if (node.opcode == kOpPattern) {
                if (node.initialPriority < node.priority) {
                    node.opcode = node.initialOpcode;
                    node.operands[0] = node.initialOperand;
                    node.length = node.opcode == kOpFill ? 2 : 1;
                    node.distortion = int32_t(node.priority / 200);
                } else if (node.operands[1] == node.operands[2]) {
                    const uint8_t c = node.operands[1];
                    node.opcode = fillOpcode(c);
                    node.operands[0] = c;
                    node.length = node.opcode == kOpFill ? 2 : 1;
                }
            }
            if (node.length > 0) {
                m_emit.push_back(i);
            }
            distortion += node.distortion;
            if (node.quadrants >= 0) {
                for (int k = 3; k >= 0; --k) {
                    stack[size_t(top++)] = node.quadrants + k;
                }
            }
        }
    }

    m_blocks.clear();
    for (const int32_t i : m_emit) {
        const Node& node = m_nodes[size_t(i)];
        m_blocks.push_back(BlockCode{uint8_t(2 << node.level), node.opcode, node.operands});
    }
    // Cannot run short with goals up to 65,520, see the file note.
    return writeBlockStream(m_blocks, std::span<uint8_t>(out, capacity));
}

// ---- Delta frame ----------------------------------------------------------------------

size_t FrameCoder::encodeDeltaFrame(uint8_t* payload, const FrameInput& in, double& quality) {
    m_in = &in;
    m_stats = Stats{};
    m_nodes.clear();
    m_heap.assign(1, 0);
    m_byteCount = 16;
    m_raiseOnEntry = false;
    m_frequentMap.fill(kOpFill);
    std::optional<WorkPairSession> session(std::in_place, *m_pair);

    const int bw = m_width / 8, bh = m_rows / 8;
    const int32_t blocks = bw * bh;
    // The fast search's view of the motion source, channel words and block sums, in bands of
    // rows shared out between the threads; the plain search reads the source's codes
    // themselves.
    const size_t pixels = size_t(m_width) * size_t(m_rows);
    const size_t bandRows = size_t((m_rows + kPrepareBands - 1) / kPrepareBands);
    auto prepare = [this, pixels, bandRows](int band) {
        const size_t from = std::min(pixels, size_t(band) * bandRows * size_t(m_width));
        const size_t to = std::min(pixels, from + bandRows * size_t(m_width));
        for (size_t i = from; i < to; ++i) {
            m_otherRedBlue[i] = m_redBlueOf[m_in->other[i]];
            m_otherGreen[i] = m_greenOf[m_in->other[i]];
        }
        blockSums(4, from, to, m_bandRuns[size_t(band)], m_otherSums4);
        blockSums(8, from, to, m_bandRuns[size_t(band)], m_otherSums8);
    };
    if (!m_plain) {
        m_otherRedBlue.resize(pixels);
        m_otherGreen.resize(pixels);
        m_otherSums4.resize(pixels);
        m_otherSums8.resize(pixels);
        m_pair->run(kPrepareBands, prepare);
    }
    m_nodes.resize(size_t(blocks));
    for (int by = 0; by < bh; ++by) {
        for (int bx = 0; bx < bw; ++bx) {
            Node& node = m_nodes[size_t(by * bw + bx)];
            node.position = by * 8 * m_width + bx * 8;
            node.level = 2;
            node.border = (bx == 0 || by == 0 || bx == bw - 1 || by == bh - 1) ? 1 : 0;
        }
    }
    // Each block's search starts from its left neighbour's motion or its own from the last
    // frame; that only speeds the search up.
    auto codeRow = [this, bw](int by) {
        for (int32_t i = by * bw; i < (by + 1) * bw; ++i) {
            int hint = m_lastMotion[size_t(i)];
            if (i % bw != 0 && m_nodes[size_t(i - 1)].opcode <= kOpMotionLast) {
                hint = m_nodes[size_t(i - 1)].opcode;
            }
            Node& node = m_nodes[size_t(i)];
            initialCoding(node, 8, hint);
            m_lastMotion[size_t(i)] =
                node.opcode <= kOpMotionLast ? int16_t(node.opcode) : int16_t(-1);
        }
    };
    // Rows of blocks go to whichever thread is free next.
    m_pair->run(bh, codeRow);
    int64_t initialTotal = 0;
    for (int32_t i = 0; i < blocks; ++i) {
        const Node& node = m_nodes[size_t(i)];
        m_byteCount += node.length;
        if (node.priority > 0) {
            m_heap.push_back(i);
            initialTotal += node.priority;
        }
    }

    // Byte goal.
    int64_t goal;
    const int32_t ceiling = in.nBytesCeiling == 0 ? kMaxGoal : in.nBytesCeiling;
    auto shiftHistory = [this](int64_t m) {
        m_history[0] = m_history[1];
        m_history[1] = m_history[2];
        m_history[2] = m_history[3];
        m_history[3] = m;
    };
    if (in.frameIndex <= 3) {
        shiftHistory(initialTotal);
        goal = in.budget;
    } else if (ceiling >= kMaxGoal) {
        goal = kMaxGoal;
    } else {
        int64_t S = m_history[0] + m_history[1] + m_history[2] + m_history[3];
        if (S <= 0) {
            S = 1;
        }
        shiftHistory(initialTotal);
        const double g = double(initialTotal) / double(S) * double(in.budget) + 0.5;
        goal = int64_t(std::clamp(g, -1e15, 1e15));
        goal = std::min<int64_t>(goal, ceiling);
        goal = std::max<int64_t>(goal, in.nBytesFloor);
    }
    // The payload buffer holds 65,536 bytes: no goal may pass 65,520 (frames 1 to 3 take the
    // budget unclamped, and a floor may exceed the ceiling).
    goal = std::min<int64_t>(goal, kMaxGoal);
    m_stats.goal = int32_t(goal);
    m_stats.initialTotal = initialTotal;

    for (size_t i = 1; i < m_heap.size(); ++i) {
        Node& node = m_nodes[size_t(m_heap[i])];
        if (node.border) {
            node.priority += node.priority / 4;
        }
    }
    for (size_t i = (m_heap.size() - 1) / 2; i >= 1; --i) {
        siftDown(i);
    }
    m_raiseOnEntry = true;

    m_lookahead = m_pair->hasHelper() && !m_plain && m_byteCount < goal && m_heap.size() > 1;
    if (m_lookahead) {
        for (size_t i = 0; i < m_aheadDirty; ++i) {
            m_patternState[i].store(0, std::memory_order_relaxed);
            m_splitState[i].store(0, std::memory_order_relaxed);
        }
        for (auto& word : m_aheadList) {
            word.store(0, std::memory_order_relaxed);
        }
        m_aheadStop.store(false, std::memory_order_relaxed);
        m_pair->startBackground(
            [](void* self, int) {
                auto* coder = static_cast<FrameCoder*>(self);
                coder->lookahead(coder->m_nodes.data());
            },
            this);
    }
    auto step = [this] {
        const int32_t index = pop();
        if (m_lookahead) {
            publishAhead();
        }
        refine(index);
    };
    while (m_byteCount < goal && m_heap.size() > 1 && m_byteCount < in.nBytesFloor) {
        step();
    }
    std::array<uint8_t, 8> frequent{};
    frequentColorPass(frequent.data());
    while (m_byteCount < goal && m_heap.size() > 1) {
        step();
    }
    if (m_lookahead) {
        m_aheadStop.store(true, std::memory_order_release);
        m_pair->joinBackground();
        m_aheadDirty = m_nodes.size();
        m_lookahead = false;
    }
    session.reset();

    int64_t distortion = 0;
    const size_t streamLength =
        writeStream(payload + kDeltaHeaderSize, kPayloadBufferSize - kDeltaHeaderSize, distortion);
    size_t length = kDeltaHeaderSize + streamLength;
    const uint8_t continuation = uint8_t(in.continuation ? 1 : 0);
    if (continuation && (length & 1)) {
        payload[length++] = 0;
    }
    writeDeltaHeader(payload, frequent, length, continuation);

    const size_t size = size_t(m_width) * size_t(m_rows);
    m_decoder.decode(std::span<const uint8_t>(payload, length),
                     std::span<uint8_t>(in.written, size), std::span<uint8_t>(in.other, size));

    const double base = std::max(0.0, 1.0 - double(distortion) / kQualityDivisor);
    quality = std::pow(base, 150.0);
    m_in = nullptr;
    return length;
}

} // namespace quil
