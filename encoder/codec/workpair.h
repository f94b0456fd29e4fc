// The calling thread and one helper thread sharing work: batches of small independent tasks
// (the frame coder's rows of initial codings and the preparation of its motion source), and
// one long background task (the refinement loop's look-ahead). Tasks take microseconds, so
// the helper spins for work while a frame is being coded (between begin() and end()) and
// sleeps otherwise.
//
//   WorkPair pair(true);              // false: every task runs on the calling thread
//   pair.begin();
//   pair.run(4, [&](int i) { ... });  // returns once tasks 0..3 have all run
//   pair.end();
//
// A task runs exactly once, on either thread, so tasks that only write their own results
// give the same outcome whichever thread takes them. The caller takes tasks too: run() only
// waits for tasks the helper has already started, never for the helper to wake up.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace quil {

// One pause of a spin-wait loop.
inline void cpuPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

class WorkPair {
  public:
    explicit WorkPair(bool helper);
    ~WorkPair();
    WorkPair(const WorkPair&) = delete;
    WorkPair& operator=(const WorkPair&) = delete;

    bool hasHelper() const { return m_thread.joinable(); }

    // The helper looks for work from begin() until end().
    void begin();
    void end();

    using Task = void (*)(void* context, int index);
    void run(int count, Task task, void* context);

    template <class F>
    void run(int count, F& f) {
        run(count, [](void* c, int i) { (*static_cast<F*>(c))(i); }, &f);
    }

    // Hands the helper one long task and returns at once; joinBackground() waits for it to
    // return once the caller has told it to (through its context). A task the helper has not
    // taken by then never runs, and without a helper none does: it may only be work that
    // the caller would otherwise do itself. No run() in between.
    void startBackground(Task task, void* context);
    void joinBackground();

  private:
    void helperLoop();
    uint64_t publish(int count, Task task, void* context);

    // Generation, task count and next unclaimed task of the current batch (see the .cpp); a
    // task is claimed by advancing the word with the batch's generation still in place.
    std::atomic<uint64_t> m_claim{0};
    std::atomic<int> m_helperDone{0};
    std::atomic<Task> m_task{nullptr};
    std::atomic<void*> m_context{nullptr};
    std::atomic<int> m_state{0}; // 0 idle, 1 frame in progress, 2 shutting down
    std::thread m_thread;
    uint64_t m_background = 0; // claim word of the background batch, 0 when none
};

// Brackets a frame's use of the pair, ending it on every way out.
class WorkPairSession {
  public:
    explicit WorkPairSession(WorkPair& pair) : m_pair(pair) { m_pair.begin(); }
    ~WorkPairSession() { m_pair.end(); }
    WorkPairSession(const WorkPairSession&) = delete;
    WorkPairSession& operator=(const WorkPairSession&) = delete;

  private:
    WorkPair& m_pair;
};

} // namespace quil
