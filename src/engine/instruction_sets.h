// The run-time choice among kernels built for SSE2, AVX2 and AVX-512, for
// each family of kernels (the standard scheme's, the simulation's paths):
// the sets this processor runs, narrowest first, and a set a test can force.
#pragma once

#include <atomic>
#include <vector>

namespace quorrel::engine {

// Of AVX-512 the kernels use the F, DQ and VL parts.
inline bool runs_avx2() { return __builtin_cpu_supports("avx2"); }
inline bool runs_avx512() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl");
}

// The family's kernels this processor runs, narrowest first. The wider sets
// are asked for only where the processor has them.
template <class Kernels>
std::vector<const Kernels*> runnable_sets(const Kernels& sse2, const Kernels& (*avx2)(),
                                          const Kernels& (*avx512)()) {
    std::vector<const Kernels*> found{&sse2};
    if (runs_avx2()) found.push_back(&avx2());
    if (runs_avx512()) found.push_back(&avx512());
    return found;
}

// While one lives, the family uses `kernels` (tests compare the sets with
// each other). Not for use while kernels of the family run on other threads.
template <class Kernels>
class SetOverride final {
public:
    explicit SetOverride(const Kernels& kernels) : previous_(forced_.exchange(&kernels)) {}
    ~SetOverride() { forced_.store(previous_); }
    SetOverride(const SetOverride&) = delete;
    SetOverride& operator=(const SetOverride&) = delete;

    // The forced set, or null.
    static const Kernels* forced() { return forced_.load(std::memory_order_relaxed); }

private:
    inline static std::atomic<const Kernels*> forced_{nullptr};
    const Kernels* previous_;
};

}  // namespace quorrel::engine
