#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/parallel.h"

namespace quorrel {
namespace {

// Every index runs exactly once, whatever the threads and however many
// tasks, task 0 on the calling thread; a pump reaches only the tasks there.
TEST(RunParallel, EveryTaskOnceAndThePumpOnTheCallingThreadOnly) {
    const std::thread::id caller = std::this_thread::get_id();
    for (unsigned threads : {0u, 1u, 2u, 4u, 16u}) {
        for (std::size_t tasks : {0u, 1u, 3u, 100u}) {
            SCOPED_TRACE(testing::Message() << threads << " threads, " << tasks << " tasks");
            std::vector<std::atomic<int>> runs(tasks);
            std::atomic<bool> pump_elsewhere{false};
            engine::run_parallel(
                tasks, threads,
                [&](std::size_t k, const EventPump& pump) {
                    ++runs[k];
                    const bool on_caller = std::this_thread::get_id() == caller;
                    if (static_cast<bool>(pump) != on_caller || (k == 0 && !on_caller))
                        pump_elsewhere = true;
                    if (pump) pump();
                },
                [&] { pump_elsewhere = pump_elsewhere || std::this_thread::get_id() != caller; });
            for (std::size_t k = 0; k < tasks; ++k) EXPECT_EQ(runs[k].load(), 1) << k;
            EXPECT_FALSE(pump_elsewhere);
        }
    }
}

// The failure of the lowest index reaches the caller, also when a later
// index failed first; on one thread the run stops at its first failure.
struct FailureCase {
    unsigned threads;
    std::set<std::size_t> failing;
    std::size_t slow;  // fails only after 20 ms
    std::size_t expected;
};

TEST(RunParallel, RethrowsTheFirstFailureInTaskOrder) {
    const FailureCase cases[] = {{1, {0, 5}, 99, 0},
                                 {1, {6}, 99, 6},
                                 {2, {3, 7}, 3, 3},
                                 {4, {3, 7}, 3, 3},
                                 {16, {1, 2, 14}, 1, 1}};
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.threads << " threads, expecting " << c.expected);
        std::atomic<std::size_t> started{0};
        try {
            engine::run_parallel(16, c.threads, [&](std::size_t k, const EventPump&) {
                ++started;
                if (k == c.slow) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (c.failing.count(k)) throw std::runtime_error(std::to_string(k));
            });
            ADD_FAILURE() << "nothing thrown";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), std::to_string(c.expected));
        }
        if (c.threads == 1) {
            EXPECT_EQ(started.load(), *c.failing.begin() + 1);
        }
    }
}

// The pump's failure while the caller waits reaches the caller after the
// other thread's task has finished; a task's failure comes first.
TEST(RunParallel, APumpFailureReachesTheCallerAfterTheTasks) {
    for (bool task_fails : {false, true}) {
        std::atomic<bool> other_started{false}, other_finished{false};
        const auto task = [&](std::size_t, const EventPump& pump) {
            if (pump) {  // the caller's task: done once the other has started
                while (!other_started) std::this_thread::yield();
                return;
            }
            other_started = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            other_finished = true;
            if (task_fails) throw std::runtime_error("task");
        };
        const auto pump = [] { throw std::logic_error("pump"); };
        try {
            engine::run_parallel(2, 2, task, pump);
            ADD_FAILURE() << "nothing thrown";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), task_fails ? "task" : "pump");
        }
        EXPECT_TRUE(other_finished.load());
    }
}

}  // namespace
}  // namespace quorrel
