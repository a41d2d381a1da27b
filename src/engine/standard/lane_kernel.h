// The fused kernel of the fast paths. Up to max_forward_lanes() solves on one
// grid advance together, one SIMD lane each, so that the divisions of the
// elimination (a serial chain within one solve) overlap across lanes. Every
// lane does the arithmetic of the reference scheme and gets its values to
// the last bit (a zero may differ in sign). The body is compiled once per
// instruction set (lane_kernel_body.h); the widest one the processor runs is
// chosen when the program starts.
#pragma once

#include <span>
#include <vector>

#include "engine/instruction_sets.h"
#include "engine/standard/engine_internal.h"

namespace quorrel::engine_detail {

// Forward solves of requests sharing one grid; out[l] for requests[l].
struct LaneJob {
    const Grid* grid = nullptr;
    std::span<const double> X2;  // squares of the grid's nodes
    std::span<const SolveRequest> requests;
    std::span<const int> barriers;  // barrier node of each request
    std::span<double> out;
    const EventPump* pump = nullptr;  // once per time step, or null
};

// Adjoint sweeps of wealth-below solves on one grid (barrier grid.ib), one
// per horizon T[l]: barrier_part[l] and the adjoint weights of rows 1..n in
// weights[l][1..n].
struct AdjointJob {
    const Grid* grid = nullptr;
    std::span<const double> X2;
    double g = 0, t0 = 0;
    std::span<const double> T;
    const EventPump* pump = nullptr;
    std::span<double> barrier_part;
    std::span<std::vector<double>> weights;
};

// Lanes one job may hold.
int max_forward_lanes();
int max_adjoint_lanes();
// Doubles in one SIMD vector of the chosen instruction set.
int vector_lanes();

void solve_lanes(const Model& model, const LaneJob& job);
void adjoint_lanes(const Model& model, const AdjointJob& job);

// The entry points of one instruction set.
struct KernelSet {
    const char* name;
    int vector_lanes;
    int max_forward_lanes;
    int max_adjoint_lanes;
    void (*solve)(const Model&, const LaneJob&);
    void (*adjoint)(const Model&, const AdjointJob&);
};
const KernelSet& sse2_kernels();
// Call only where the processor has AVX2, or AVX-512 (F, DQ and VL).
const KernelSet& avx2_kernels();
const KernelSet& avx512_kernels();

// The instruction sets this processor runs, narrowest first. Batches are cut
// for the widest; a job that fits in one vector of a narrower set runs on
// that one, unless a test chooses a set for every job.
std::vector<const KernelSet*> supported_kernel_sets();

// While one lives, the solves of this process use the set it names.
using KernelOverride = engine::SetOverride<KernelSet>;

}  // namespace quorrel::engine_detail
