// The work queue: jobs end in the order given on one thread, failures reach the one who waits, and
// the destructor finishes what was given, with threads or (refused) without.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "common/WorkQueue.h"

namespace pontrel {
namespace {

TEST(WorkQueue, JobsRunInOrderAndFailuresReachTheWaiter) {
    for (unsigned threads : {0u, 1u, 3u}) {
        SCOPED_TRACE(threads);
        WorkQueue queue(threads);
        std::vector<int> order;  // touched by one thread at a time only with at most one thread
        std::atomic<int> ran{0};
        std::vector<WorkQueue::Ticket> tickets;
        for (int i = 0; i < 20; ++i)
            tickets.push_back(queue.submit([&, i] {
                if (threads <= 1) order.push_back(i);
                ++ran;
                if (i == 7) throw std::runtime_error("job 7 failed");
            }));
        for (int i = 0; i < 20; ++i) {
            if (i == 7) {
                try {
                    queue.wait(tickets[i]);
                    ADD_FAILURE() << "the failure of job 7 was lost";
                } catch (const std::runtime_error& e) {
                    EXPECT_STREQ(e.what(), "job 7 failed");
                }
            } else {
                queue.wait(tickets[i]);
            }
        }
        EXPECT_EQ(ran, 20);
        if (threads <= 1) {
            ASSERT_EQ(order.size(), 20u);
            for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
        }
    }
}

TEST(WorkQueue, DestructionFinishesTheJobsGivenAndThreadsAreCapped) {
    std::atomic<int> ran{0};
    {
        WorkQueue queue(2);
        for (int i = 0; i < 50; ++i) queue.submit([&] { ++ran; });
    }
    EXPECT_EQ(ran, 50);
    EXPECT_LE(WorkQueue(kMaxWorkThreads + 10).threads(), kMaxWorkThreads);
    EXPECT_EQ(workThreadsFor(40, 3), 3u);
    EXPECT_EQ(workThreadsFor(40, 1000), kMaxWorkThreads);
    EXPECT_EQ(workThreadsFor(0, 0), 1u);
}

}  // namespace
}  // namespace pontrel
