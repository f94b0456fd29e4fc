// The frame coder: turns one picture of pixel codes into one frame payload that fits a byte
// budget, and keeps the encoder's copy of the decoded pictures in step with the player's.
//
// Key frames carry the whole picture (half resolution unless the picture is 160 wide).
// Delta frames start from the cheapest of keep / fill / motion copy for every 8x8 block,
// then spend the byte goal greedily: the block with the largest weighted error is refined
// next (initial coding -> two-colour pattern -> split into quadrants; 2x2 -> raw pixels).
// The eight most used fill colours get one-byte opcodes, patterns that did not pay for
// themselves fall back to their initial coding, and equal opcodes are written as runs. The
// payload just written is then decoded with the player's decoder into the picture pair, so
// both sides see the same pictures.
//
// Use, once per frame in frame order (the engine owns the picture pair and the budget):
//
//   FrameCoder coder(width, rows, lookup, 0);       // lookup built from the movie colours,
//                                                   // 0: use up to two cores
//   FrameInput in;
//   in.picture = codes;                             // width x rows pixel codes
//   in.written = pair[n & 1]; in.other = n ? pair[(n + 1) & 1] : nullptr;
//   in.budget = target + carry / 2; in.nBytesFloor = ...; in.nBytesCeiling = ...;
//   in.frameIndex = n; in.keyFrameInterval = k;
//   FrameCodeResult r = coder.encodeFrame(payload, in);  // payload: 65,536 bytes
//   if (n == 0) copy pair[0] into pair[1];
//
// The coder keeps only the error history of the last four delta frames between calls, so one
// FrameCoder serves one movie; lookup must outlive it. Its output does not depend on the
// number of threads. Every payload fits the 65,536-byte buffer: no byte goal passes 65,520
// (frames 1 to 3, whose budget is otherwise taken as it comes, included). A payload of more
// than 65,280 bytes has 256 pages, which the 8-bit length in pages holds as 0 (the count
// kept to 8 bits); the record list gives the true length.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "encoder/codec/colorlookup.h"
#include "encoder/codec/framecoder_kernels.h"
#include "encoder/codec/payload_writer.h"
#include "encoder/codec/workpair.h"
#include "moviedb/payload_decoder.h"

namespace quil {

struct FrameInput {
    const uint8_t* picture = nullptr; // width x rows pixel codes of this frame
    uint8_t* written = nullptr;       // pair member to decode into (frame n-2 or the last key)
    uint8_t* other = nullptr;         // the other member (frame n-1); nullptr for frame 0 only
    bool fUseFastEncoding = false;
    int32_t nBytesFloor = 0;
    int32_t nBytesCeiling = 0; // 0 means 65,520
    int32_t budget = 0;        // this frame's target plus half the byte carry
    int continuation = 0;      // continuation flag of the header; the engine passes 0
    int frameIndex = 0;        // 0-based
    int keyFrameInterval = 0;  // 0: only frame 0 is a key frame
};

struct FrameCodeResult {
    size_t length = 0;    // payload bytes written, at most 65,536
    double quality = 1.0; // 0..1, 1 for key frames
    bool keyFrame = false;
};

class FrameCoder {
  public:
    static constexpr size_t kPayloadBufferSize = 65536;
    static constexpr int32_t kMaxGoal = 65520;

    // width and rows are multiples of 8. threads: how many threads share the work of a delta
    // frame (1 = the calling thread only, 2 = it and a helper, 0 = one per core up to 2).
    FrameCoder(int width, int rows, const ColorLookup& lookup, int threads = 1);

    // Codes one frame into payload (kPayloadBufferSize bytes).
    FrameCodeResult encodeFrame(uint8_t* payload, const FrameInput& in);

    // Forces the plain searches that define the results (no pruning by bounds, no row
    // tables); the output is the same byte for byte, only slower. For tests.
    void usePlainSearch(bool plain) { m_plain = plain; }

    int width() const { return m_width; }
    int rows() const { return m_rows; }
    const std::array<int64_t, 4>& errorHistory() const { return m_history; }

    // The node store and queue are exposed to tests through these two hooks only.
    struct Stats {
        int32_t goal = 0;
        int64_t initialTotal = 0;
        int refinements = 0;
    };
    const Stats& lastStats() const { return m_stats; }

    struct Node {
        int32_t position = 0;
        uint8_t level = 0;  // 2: 8x8, 1: 4x4, 0: 2x2
        uint8_t length = 0; // bytes its coding adds to the stream
        uint8_t opcode = 0;
        uint8_t border = 0;
        std::array<uint8_t, 4> operands{};
        uint8_t initialOpcode = 0;
        uint8_t initialOperand = 0;
        int32_t distortion = 0;
        int64_t initialPriority = 0;
        int64_t priority = 0;
        int32_t parent = -1;
        int32_t quadrants = -1; // first of four consecutive nodes
    };

  private:
    size_t encodeKeyFrame(uint8_t* payload, const FrameInput& in);
    size_t encodeDeltaFrame(uint8_t* payload, const FrameInput& in, double& quality);

    void blockSums(int size, size_t from, size_t to, std::vector<uint64_t>& runs,
                   std::vector<uint64_t>& out) const;
    void initialCoding(Node& node, int size, int hint) const;
    void mapFill(Node& node) const;
    int32_t bestColor(const uint8_t* block, int size, uint8_t& color) const;
    int32_t bestMotion(int32_t position, int size, int32_t startScore, int hint,
                       uint8_t& entry) const;
    template <int S>
    int32_t bestMotionSized(int32_t position, int32_t startScore, int hint, uint8_t& entry) const;
    struct PatternChoice {
        int32_t error = 0;
        uint8_t pattern = 0, c0 = 0, c1 = 0;
    };
    // The best of the 256 patterns (the earliest of equal errors).
    PatternChoice bestPattern(const uint8_t* block, int size) const;
    template <int S> PatternChoice bestPatternSized(const uint8_t* block) const;
    PatternChoice bestPatternPlain(const uint8_t* block, int size) const;
    uint8_t fillOpcode(uint8_t color) const { return m_frequentMap[color]; }

    void refine(int32_t index);
    bool takeAhead(std::atomic<uint8_t>* states, int32_t index);
    void publishAhead();
    void lookahead(const Node* nodes);
    bool workAhead(const Node* nodes, const int* order);
    void computeAhead(const Node* nodes, int32_t index, bool split) const;
    void codeQuadrants(const Node& block, int32_t index, Node* quadrants) const;
    void split(int32_t index);
    void push(int32_t index);
    int32_t pop();
    void siftDown(size_t i);
    void frequentColorPass(uint8_t* table);
    size_t writeStream(uint8_t* out, size_t capacity, int64_t& distortion);

    int m_width;
    int m_rows;
    const ColorLookup& m_lookup;
    int m_threads;
    bool m_plain = false;
    PayloadDecoder m_decoder;
    std::array<int32_t, 256> m_red{}, m_green{}, m_blue{};
    std::array<uint32_t, 256> m_redBlueOf{}, m_greenOf{}; // channel words of each code
    // Motion candidates in search order: source offset dy * W + dx, cost, entry.
    struct Candidate {
        int32_t offset;
        int32_t cost;
        uint8_t entry;
    };
    std::array<Candidate, 225> m_candidates{};
    // The same offsets and costs as arrays for the search kernels.
    alignas(32) std::array<int32_t, kMotionCandidateSlots> m_searchOffsets{}, m_searchCosts{};
    std::array<uint8_t, 225> m_orderOf{}; // entry -> position in the search order
    int32_t m_minOffset = 0, m_maxOffset = 0;

    // Per delta frame.
    const FrameInput* m_in = nullptr;
    std::vector<Node> m_nodes;
    std::vector<int32_t> m_heap; // 1-based; m_heap[0] unused
    std::vector<int32_t> m_emit;
    std::vector<BlockCode> m_blocks;
    std::vector<uint8_t> m_half;
    std::vector<uint32_t> m_otherRedBlue, m_otherGreen; // the motion source as channel words
    // Channel sums (red | green << 16 | blue << 32) of the motion source's 8x8 and 4x4
    // blocks, by top-left position; for the fast search's lower bounds.
    std::vector<uint64_t> m_otherSums8, m_otherSums4;
    static constexpr int kPrepareBands = 6;
    std::array<std::vector<uint64_t>, kPrepareBands> m_bandRuns; // scratch for blockSums
    std::array<uint64_t, 256> m_packedOf{};  // red | green << 16 | blue << 32 of each code
    int64_t m_byteCount = 0;
    bool m_raiseOnEntry = false;
    std::array<uint8_t, 256> m_frequentMap{};

    std::array<int64_t, 4> m_history{}; // newest last
    std::vector<int16_t> m_lastMotion;  // per 8x8 block: its motion entry last frame, or -1
    Stats m_stats;
    std::unique_ptr<WorkPair> m_pair;

    // Look-ahead in the refinement loop: after each pop the loop lists the nodes at the top of
    // the queue, likely to come next, and the helper works out their next step (a pattern
    // search, or the quadrant codings of a split) while the loop does the current one. Both
    // only depend on the pictures, so the loop takes a finished result as if it had computed
    // it, and computes whatever the helper has not started. States per node and step:
    // 0 free, 1 being worked out (by either thread), 2 ready, 3 left to the loop.
    struct Ahead {
        PatternChoice pattern;
        std::array<Node, 4> quadrants;
    };
    static constexpr int kAheadList = 6;
    std::unique_ptr<Ahead[]> m_ahead;
    std::unique_ptr<std::atomic<uint8_t>[]> m_patternState, m_splitState;
    size_t m_aheadDirty = 0; // states to clear before the next frame's loop
    std::array<std::atomic<uint32_t>, kAheadList> m_aheadList{};
    std::atomic<bool> m_aheadStop{false};
    bool m_lookahead = false;
};

} // namespace quil
