// The one thread pool of the engine and the command line.
//
// Our own small pool rather than oneTBB: the work handed to it is a few
// coarse tasks per call (about one per core: SIMD batches, refined sweeps,
// batch rows), the calling thread must take part and alone run the event
// loop's pump, and a failure must come back in task order; a pool of
// std::threads per call does all of that in a page, and thread start-up is
// lost in tasks of milliseconds and more.
#pragma once

#include <cstddef>
#include <functional>

namespace quorrel {

// Lets the event loop run once; empty when nobody needs it.
using EventPump = std::function<void()>;

namespace engine {

// Threads worth using for `units` independent pieces of work: the
// processor's hardware threads, at most `units`, at least 1.
unsigned worker_count(std::size_t units);

// Runs task(0, ...) .. task(tasks - 1, ...) on `threads` threads, the
// calling thread one of them: it runs task 0, then like every other thread
// takes the lowest index not yet taken. A task on the calling thread is
// handed `pump` to call as it goes, one on another thread an empty pump.
// While the calling thread waits for the others, it runs `pump` every 3 ms.
//
// A task that throws stops the run: no further task starts, the running
// ones finish, and then the exception of the lowest failed index is
// rethrown on the calling thread (the pump's own failure while waiting
// stops the run too, and is rethrown when no task failed). Without a thread
// to be had, the calling thread runs the tasks the helpers would have.
using ParallelTask = std::function<void(std::size_t index, const EventPump& pump)>;
void run_parallel(std::size_t tasks, unsigned threads, const ParallelTask& task,
                  const EventPump& pump = {});

}  // namespace engine
}  // namespace quorrel
