// Key and delta frame coding. Invariants worth knowing:
// - m_byteCount is the stream estimate (16 + the lengths of all current codings); the real
//   stream is never longer (runs and reverted patterns only shrink it) and the real header is
//   8 bytes longer than the estimate's start, so with a goal of at most 65,520 and at most
//   5 bytes per refinement step a payload never exceeds 65,533 bytes.
// - The node store is reserved for every block split to 2x2 before coding starts, so node
//   references stay valid while quadrants are added.
#include "encoder/codec/framecoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

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
    m_threads = threads;
    for (int i = 0; i < 256; ++i) {
        const ColorEntry& c = lookup.colors()[size_t(i)];
        m_red[size_t(i)] = c.red;
        m_green[size_t(i)] = c.green;
        m_blue[size_t(i)] = c.blue;
    }
    const size_t blocks = size_t(width / 8) * size_t(rows / 8);
    m_nodes.reserve(blocks * 21);
    m_heap.reserve(blocks * 21 + 1);
    m_emit.reserve(blocks * 21);
}

FrameCodeResult FrameCoder::encodeFrame(uint8_t* payload, const FrameInput& in) {
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
        color = m_lookup.codeForCell((r + n / 4) >> shift, (g + n / 4) >> shift,
                                     (b + n / 4) >> shift);
    } else {
        const int shift = log2n + 4;
        color = m_lookup.codeForCell((r + n / 2) >> shift, (g + n / 2) >> shift,
                                     (b + n / 2) >> shift);
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

int32_t FrameCoder::bestMotion(int32_t position, int size, uint8_t& entry) const {
    const int W = m_width;
    const int64_t limit = int64_t(W) * m_rows;
    const uint8_t* cur = m_in->picture + position;
    int32_t best = std::numeric_limits<int32_t>::max();
    entry = kZeroVector;
    for (const uint8_t candidate : kMotionOrder) {
        const int dx = kMotionVectors[candidate].dx, dy = kMotionVectors[candidate].dy;
        const int64_t start = int64_t(position) + int64_t(dy) * W + dx;
        if (start < 0 || start + int64_t(size - 1) * W + (size - 1) >= limit) {
            continue;
        }
        const int32_t cost = std::max(std::abs(dx), std::abs(dy)) + ((dx & 1) ? 8 : 0);
        const uint8_t* src = m_in->other + start;
        int32_t score = cost;
        for (int y = 0; y < size && score < best; ++y) {
            const uint8_t* a = cur + size_t(y) * size_t(W);
            const uint8_t* b = src + size_t(y) * size_t(W);
            int32_t e = 0;
            for (int x = 0; x < size; ++x) {
                e += m_lookup.distance(a[x], b[x]);
            }
            score += 16 * e;
        }
        if (score < best) {
            best = score;
            entry = candidate;
            if (best == 0) {
                break;
            }
        }
    }
    return best / 16;
}

int32_t FrameCoder::bestPattern(const uint8_t* block, int size, uint8_t& pattern, uint8_t& c0,
                                uint8_t& c1) const {
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
    pattern = 0;
    c0 = c1 = px[0];
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
            pattern = uint8_t(t);
            c0 = code[0];
            c1 = code[1];
            if (best == 0) {
                break;
            }
        }
    }
    return best;
}

void FrameCoder::initialCoding(Node& node, int size) const {
    const size_t W = size_t(m_width);
    const uint8_t* cur = m_in->picture + node.position;
    const uint8_t* old = m_in->written + node.position;
    int32_t keepError = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            keepError += m_lookup.distance(cur[size_t(y) * W + size_t(x)], old[size_t(y) * W + size_t(x)]);
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
        const int32_t motionError = bestMotion(node.position, size, entry);
        const int64_t K = keepWeight * keepError;
        const int64_t F = fillWeight * fillError;
        const int64_t M = motionWeight * motionError;
        if (K <= F && K <= M) {
            node.opcode = kOpKeep;
            node.priority = K;
            node.distortion = keepError;
        } else if (F < M) {
            node.opcode = fillOpcode(color);
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

void FrameCoder::split(int32_t index) {
    const size_t W = size_t(m_width);
    const int size = 2 << m_nodes[size_t(index)].level;
    const int half = size / 2;
    const int32_t first = int32_t(m_nodes.size());
    const int32_t p = m_nodes[size_t(index)].position;
    const int32_t offsets[4] = {0, half, int32_t(half * W) + half, int32_t(half * W)};
    for (int k = 0; k < 4; ++k) {
        Node& q = m_nodes.emplace_back();
        q.position = p + offsets[k];
        q.level = uint8_t(m_nodes[size_t(index)].level - 1);
        q.border = m_nodes[size_t(index)].border;
        q.parent = index;
        initialCoding(q, half);
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
    uint8_t t = 0, c0 = 0, c1 = 0;
    const int32_t error = bestPattern(m_in->picture + node.position, size, t, c0, c1);
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

    const int bw = m_width / 8, bh = m_rows / 8;
    const int32_t blocks = bw * bh;
    m_nodes.resize(size_t(blocks));
    for (int by = 0; by < bh; ++by) {
        for (int bx = 0; bx < bw; ++bx) {
            Node& node = m_nodes[size_t(by * bw + bx)];
            node.position = by * 8 * m_width + bx * 8;
            node.level = 2;
            node.border = (bx == 0 || by == 0 || bx == bw - 1 || by == bh - 1) ? 1 : 0;
        }
    }
    auto codeRange = [this](int32_t from, int32_t to) {
        for (int32_t i = from; i < to; ++i) {
            initialCoding(m_nodes[size_t(i)], 8);
        }
    };
    if (m_threads > 1 && blocks >= 64) {
        std::vector<std::thread> workers;
        const int32_t share = (blocks + m_threads - 1) / m_threads;
        for (int t = 1; t < m_threads; ++t) {
            const int32_t from = std::min(blocks, t * share);
            const int32_t to = std::min(blocks, from + share);
            workers.emplace_back(codeRange, from, to);
        }
        codeRange(0, std::min(blocks, share));
        for (std::thread& w : workers) {
            w.join();
        }
    } else {
        codeRange(0, blocks);
    }
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

    while (m_byteCount < goal && m_heap.size() > 1 && m_byteCount < in.nBytesFloor) {
        refine(pop());
    }
    std::array<uint8_t, 8> frequent{};
    frequentColorPass(frequent.data());
    while (m_byteCount < goal && m_heap.size() > 1) {
        refine(pop());
    }

    int64_t distortion = 0;
    const size_t streamLength = writeStream(payload + kDeltaHeaderSize, kPayloadBufferSize - kDeltaHeaderSize, distortion);
    size_t length = kDeltaHeaderSize + streamLength;
    const uint8_t continuation = uint8_t(in.continuation ? 1 : 0);
    if (continuation && (length & 1)) {
        payload[length++] = 0;
    }
    writeDeltaHeader(payload, frequent, length, continuation);

    const size_t size = size_t(m_width) * size_t(m_rows);
    m_decoder.decode(std::span<const uint8_t>(payload, length), std::span<uint8_t>(in.written, size),
                     std::span<uint8_t>(in.other, size));

    const double base = std::max(0.0, 1.0 - double(distortion) / kQualityDivisor);
    quality = std::pow(base, 150.0);
    m_in = nullptr;
    return length;
}

} // namespace quil
