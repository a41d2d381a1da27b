#include "engine/lane_kernel.h"

namespace quorrel::engine_detail {

namespace {

const KernelSet& chosen_kernels() {
    static const KernelSet& set = __builtin_cpu_supports("avx2") ? avx2_kernels() : sse2_kernels();
    return set;
}

}  // namespace

int max_forward_lanes() { return chosen_kernels().max_forward_lanes; }
int max_adjoint_lanes() { return chosen_kernels().max_adjoint_lanes; }
int vector_lanes() { return chosen_kernels().vector_lanes; }

void solve_lanes(const WealthModel& model, const LaneJob& job) {
    chosen_kernels().solve(model, job);
}
void adjoint_lanes(const WealthModel& model, const AdjointJob& job) {
    chosen_kernels().adjoint(model, job);
}

}  // namespace quorrel::engine_detail
