#include "encoder/codec/workpair.h"

namespace quil {

namespace {

// The claim word: generation << 32 | task count << 16 | next unclaimed task. The count rides
// in the word so that a claim is always checked against its own batch's count: the caller
// stores the next batch's task, context and count before it publishes its word.
constexpr uint64_t kIndexMask = 0xFFFFu;
constexpr int kMaxTasks = 0xFFFF;

inline int countOf(uint64_t word) {
    return int((word >> 16) & 0xFFFFu);
}

// Spins a while, then gives the processor away, so that a descheduled partner on a busy
// machine gets to finish.
class Backoff {
  public:
    void pause() {
        if (++m_spins < 4096) {
            cpuPause();
        } else {
            std::this_thread::yield();
        }
    }

  private:
    int m_spins = 0;
};

} // namespace

WorkPair::WorkPair(bool helper) {
    if (helper) {
        m_thread = std::thread(&WorkPair::helperLoop, this);
    }
}

WorkPair::~WorkPair() {
    if (m_thread.joinable()) {
        m_state.store(2, std::memory_order_release);
        m_state.notify_one();
        m_thread.join();
    }
}

void WorkPair::begin() {
    if (m_thread.joinable()) {
        m_state.store(1, std::memory_order_release);
        m_state.notify_one();
    }
}

void WorkPair::end() {
    if (m_thread.joinable()) {
        m_state.store(0, std::memory_order_release);
    }
}

void WorkPair::run(int count, Task task, void* context) {
    // Batches too large for the claim word (far beyond what the coder makes) stay on the
    // caller.
    if (!m_thread.joinable() || count <= 1 || count > kMaxTasks ||
        m_state.load(std::memory_order_relaxed) != 1) {
        for (int i = 0; i < count; ++i) {
            task(context, i);
        }
        return;
    }
    uint64_t word = publish(count, task, context);
    int mine = 0;
    for (;;) {
        const int index = int(word & kIndexMask);
        if (index >= count) {
            break;
        }
        if (m_claim.compare_exchange_weak(word, word + 1, std::memory_order_acq_rel)) {
            task(context, index);
            ++mine;
            word = m_claim.load(std::memory_order_relaxed);
        }
    }
    Backoff backoff;
    while (m_helperDone.load(std::memory_order_acquire) != count - mine) {
        backoff.pause();
    }
}

uint64_t WorkPair::publish(int count, Task task, void* context) {
    m_task.store(task, std::memory_order_relaxed);
    m_context.store(context, std::memory_order_relaxed);
    m_helperDone.store(0, std::memory_order_relaxed);
    const uint64_t generation = (m_claim.load(std::memory_order_relaxed) >> 32) + 1;
    const uint64_t word = generation << 32 | uint64_t(count) << 16;
    m_claim.store(word, std::memory_order_release);
    return word;
}

void WorkPair::startBackground(Task task, void* context) {
    m_background = 0;
    if (!m_thread.joinable() || m_state.load(std::memory_order_relaxed) != 1) {
        return;
    }
    m_background = publish(1, task, context);
}

void WorkPair::joinBackground() {
    if (m_background == 0) {
        return;
    }
    uint64_t word = m_background;
    if (!m_claim.compare_exchange_strong(word, word + 1, std::memory_order_acq_rel)) {
        // Taken: wait for it to return.
        Backoff backoff;
        while (m_helperDone.load(std::memory_order_acquire) != 1) {
            backoff.pause();
        }
    }
    m_background = 0;
}

void WorkPair::helperLoop() {
    uint64_t seen = 0; // generation of the last batch looked at
    Backoff idle;
    for (;;) {
        const int state = m_state.load(std::memory_order_acquire);
        if (state == 2) {
            return;
        }
        if (state == 0) {
            m_state.wait(0, std::memory_order_acquire);
            idle = Backoff{};
            continue;
        }
        uint64_t word = m_claim.load(std::memory_order_acquire);
        const uint64_t generation = word >> 32;
        if (generation == seen) {
            idle.pause();
            continue;
        }
        idle = Backoff{};
        // Read under this generation. While a task of this batch is unclaimed the caller
        // cannot move on, so a successful claim below means these are the batch's own.
        const Task task = m_task.load(std::memory_order_relaxed);
        void* const context = m_context.load(std::memory_order_relaxed);
        const int count = countOf(word);
        for (;;) {
            const int index = int(word & kIndexMask);
            if ((word >> 32) != generation || index >= count) {
                break;
            }
            if (m_claim.compare_exchange_weak(word, word + 1, std::memory_order_acq_rel)) {
                task(context, index);
                m_helperDone.fetch_add(1, std::memory_order_release);
                word = m_claim.load(std::memory_order_acquire);
            }
        }
        seen = generation;
    }
}

} // namespace quil
