// Runs a simulation's paths in blocks over the engine's threads: the
// blocks are taken in turn by whichever thread is free, each thread keeps
// its own tally, and the tallies are merged at the end, so that (with sums
// kept exactly) the figures do not depend on the number of threads.
#pragma once

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <chrono>
#include <cstddef>
#include <mutex>

#include "engine/parallel.h"
#include "engine/simulation/monte_carlo.h"

namespace quorrel::simulation_detail {

// Runs paths 0 .. paths - 1 in blocks of block_paths, run_block(first,
// count, tally) each, reporting progress and watching for a cancel on the
// calling thread about every 50 ms. False when cancelled; a failure on a
// thread stops the others and is rethrown here.
template <class Tally, class RunBlock>
bool run_path_blocks(long paths, long block_paths, const MonteCarloOptions& options, Tally& total,
                     RunBlock&& run_block) {
    const long blocks = (paths + block_paths - 1) / block_paths;
    std::atomic<bool> stop{false};
    std::atomic<long> next_block{0};
    std::atomic<long> done_paths{0};
    std::mutex mutex;

    const unsigned threads = static_cast<unsigned>(std::min<long>(
        options.threads ? options.threads : engine::worker_count(static_cast<std::size_t>(blocks)),
        blocks));
    const auto cancelled = [&] { return options.cancel && options.cancel->load(); };
    auto last_report = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    const EventPump watch = [&] {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_report < std::chrono::milliseconds(50)) return;
        last_report = now;
        if (options.progress)
            options.progress(static_cast<double>(done_paths.load()) / static_cast<double>(paths));
        if (cancelled()) stop = true;
    };
    const auto work = [&](std::size_t, const EventPump& pump) {
        // The figures are defined in the default floating-point environment
        // (rounding to nearest, no flushing of tiny numbers), whatever the
        // thread's creator has set; the caller's own comes back afterwards.
        std::fenv_t caller;
        std::feholdexcept(&caller);
        std::fesetenv(FE_DFL_ENV);
        Tally tally;
        try {
            for (;;) {
                const long b = next_block.fetch_add(1);
                if (b >= blocks || stop.load() || cancelled()) break;
                const long first = b * block_paths;
                const long count = std::min(block_paths, paths - first);
                run_block(first, count, tally);
                done_paths.fetch_add(count);
                if (pump) pump();
            }
        } catch (...) {
            stop = true;
            std::fesetenv(&caller);
            throw;
        }
        std::fesetenv(&caller);
        std::lock_guard<std::mutex> lock(mutex);
        total.merge(tally);
    };
    engine::run_parallel(static_cast<std::size_t>(threads), threads, work, watch);
    return !stop.load() && !cancelled() && done_paths.load() >= paths;
}

}  // namespace quorrel::simulation_detail
