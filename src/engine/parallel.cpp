#include "engine/parallel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace quorrel::engine {

namespace {

constexpr auto kPumpInterval = std::chrono::milliseconds(3);

// What the threads of one run share.
struct Run {
    explicit Run(std::size_t tasks) : failures(tasks) {}
    std::atomic<std::size_t> next{1};  // task 0 is the calling thread's
    std::atomic<bool> stop{false};
    std::vector<std::exception_ptr> failures;  // by task; each written by one thread
    std::mutex mutex;
    std::condition_variable finished;
    unsigned helpers_running = 0;
};

void run_task(Run& run, const ParallelTask& task, std::size_t k, const EventPump& pump) {
    try {
        task(k, pump);
    } catch (...) {
        run.failures[k] = std::current_exception();
        run.stop = true;
    }
}

void take_tasks(Run& run, const ParallelTask& task, const EventPump& pump) {
    for (;;) {
        if (run.stop.load()) return;
        const std::size_t k = run.next.fetch_add(1);
        if (k >= run.failures.size()) return;
        run_task(run, task, k, pump);
    }
}

// Waits for the helpers, pumping while they run; the pump's failure, if any.
std::exception_ptr wait_for_helpers(Run& run, const EventPump& pump) {
    std::exception_ptr failure;
    const auto all_done = [&run] { return run.helpers_running == 0; };
    std::unique_lock<std::mutex> lock(run.mutex);
    while (!all_done()) {
        if (!pump || failure) {
            run.finished.wait(lock, all_done);
            break;
        }
        if (run.finished.wait_for(lock, kPumpInterval, all_done)) break;
        lock.unlock();
        try {
            pump();
        } catch (...) {
            failure = std::current_exception();
            run.stop = true;
        }
        lock.lock();
    }
    return failure;
}

}  // namespace

unsigned worker_count(std::size_t units) {
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(hardware, units)));
}

void run_parallel(std::size_t tasks, unsigned threads, const ParallelTask& task,
                  const EventPump& pump) {
    if (tasks == 0) return;
    Run run(tasks);
    const std::size_t helpers = std::min<std::size_t>(std::max(threads, 1u), tasks) - 1;
    std::vector<std::thread> started;
    started.reserve(helpers);
    const EventPump none;
    for (std::size_t h = 0; h < helpers; ++h) {
        {
            const std::lock_guard<std::mutex> lock(run.mutex);
            ++run.helpers_running;
        }
        try {
            started.emplace_back([&run, &task, &none] {
                take_tasks(run, task, none);
                const std::lock_guard<std::mutex> lock(run.mutex);
                --run.helpers_running;
                run.finished.notify_all();
            });
        } catch (const std::system_error&) {
            const std::lock_guard<std::mutex> lock(run.mutex);
            --run.helpers_running;
            break;  // no thread to be had: the rest run here
        }
    }
    run_task(run, task, 0, pump);
    take_tasks(run, task, pump);
    // The helpers read the caller's data: wait for every one of them, also
    // when the pump fails.
    const std::exception_ptr pump_failure = wait_for_helpers(run, pump);
    for (std::thread& t : started) t.join();
    for (const std::exception_ptr& failure : run.failures) {
        if (failure) std::rethrow_exception(failure);
    }
    if (pump_failure) std::rethrow_exception(pump_failure);
}

}  // namespace quorrel::engine
