// The work pair runs every task of every batch exactly once, whether the helper takes part,
// sleeps between frames or is absent.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "encoder/codec/workpair.h"

using namespace quil;

TEST(WorkPair, EveryTaskOfEveryBatchRunsOnce) {
    for (const bool helper : {false, true}) {
        SCOPED_TRACE(helper ? "with helper" : "caller only");
        WorkPair pair(helper);
        EXPECT_EQ(pair.hasHelper(), helper);
        std::vector<std::atomic<int>> runs(8);
        for (int frame = 0; frame < 20; ++frame) {
            pair.begin();
            for (int batch = 0; batch < 500; ++batch) {
                const int count = batch % 9; // 0..8 tasks, one-task batches included
                for (auto& r : runs) {
                    r.store(0);
                }
                auto task = [&](int i) {
                    // Uneven work, so that both threads get to claim tasks.
                    volatile int spin = 0;
                    for (int k = 0; k < (i * 37 + batch) % 200; ++k) {
                        spin = spin + 1;
                    }
                    runs[size_t(i)].fetch_add(1);
                };
                pair.run(count, task);
                for (int i = 0; i < 8; ++i) {
                    ASSERT_EQ(runs[size_t(i)].load(), i < count ? 1 : 0)
                        << "frame " << frame << " batch " << batch << " task " << i;
                }
            }
            pair.end();
        }
    }
}

TEST(WorkPair, RunsOnTheCallerOutsideAFrame) {
    WorkPair pair(true);
    std::vector<int> order;
    auto task = [&](int i) { order.push_back(i); }; // not thread-safe: must stay on the caller
    pair.run(4, task);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}
