#include "engine/standard/lane_kernel.h"

#include <vector>

namespace quorrel::engine_detail {

namespace {

// What the processor runs, narrowest first, found once.
const std::vector<const KernelSet*>& supported() {
    static const std::vector<const KernelSet*> sets =
        engine::runnable_sets(sse2_kernels(), &avx2_kernels, &avx512_kernels);
    return sets;
}

const KernelSet& chosen_kernels() {
    const KernelSet* set = KernelOverride::forced();
    return set ? *set : *supported().back();
}

// A job of no more lanes than one vector of a narrower set holds runs there:
// its time is the latency of the division chain, which is shorter on narrow
// vectors (a single solve measured here: SSE2 2.9 ms, AVX2 3.1, AVX-512 3.4).
const KernelSet& kernels_for(std::size_t lanes) {
    if (const KernelSet* set = KernelOverride::forced()) return *set;
    for (const KernelSet* set : supported()) {
        if (lanes <= static_cast<std::size_t>(set->vector_lanes)) return *set;
    }
    return *supported().back();
}

}  // namespace

std::vector<const KernelSet*> supported_kernel_sets() { return supported(); }

int max_forward_lanes() { return chosen_kernels().max_forward_lanes; }
int max_adjoint_lanes() { return chosen_kernels().max_adjoint_lanes; }
int vector_lanes() { return chosen_kernels().vector_lanes; }

void solve_lanes(const Model& model, const LaneJob& job) {
    kernels_for(job.requests.size()).solve(model, job);
}
void adjoint_lanes(const Model& model, const AdjointJob& job) {
    kernels_for(job.T.size()).adjoint(model, job);
}

}  // namespace quorrel::engine_detail
