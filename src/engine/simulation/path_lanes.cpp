#include "engine/simulation/path_lanes.h"

#include <atomic>

#include <Random123/philox.h>

namespace quorrel::simulation_detail {

namespace {

bool has_avx512() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl");
}

const std::vector<const PathKernels*>& supported() {
    static const std::vector<const PathKernels*> sets = [] {
        std::vector<const PathKernels*> found{&sse2_path_kernels()};
        if (__builtin_cpu_supports("avx2")) found.push_back(&avx2_path_kernels());
        if (has_avx512()) found.push_back(&avx512_path_kernels());
        return found;
    }();
    return sets;
}

std::atomic<const PathKernels*> overridden{nullptr};

}  // namespace

std::vector<const PathKernels*> supported_path_kernels() { return supported(); }

const PathKernels& chosen_path_kernels() {
    const PathKernels* set = overridden.load(std::memory_order_relaxed);
    return set ? *set : *supported().back();
}

PathKernelOverride::PathKernelOverride(const PathKernels& kernels)
    : previous_(overridden.exchange(&kernels)) {}
PathKernelOverride::~PathKernelOverride() { overridden.store(previous_); }

void philox_block(const std::uint32_t key[2], const std::uint32_t counter[4], std::uint32_t out[4]) {
    const r123::Philox4x32::ctr_type c = {{counter[0], counter[1], counter[2], counter[3]}};
    const r123::Philox4x32::key_type k = {{key[0], key[1]}};
    const r123::Philox4x32::ctr_type r = r123::Philox4x32()(c, k);
    for (int j = 0; j < 4; ++j) out[j] = r[static_cast<std::size_t>(j)];
}

}  // namespace quorrel::simulation_detail
