// The path kernel on AVX2 vectors of four doubles, chosen at run time on
// processors that have them. Only the instruction set differs from the SSE2
// build: no fused multiply-adds, the same operations in the same order, so
// the figures are the same to the bit.
#include "engine/simulation/path_lanes_prelude.h"

// Everything above keeps the default instruction set; only the kernel body
// below, all of it internal to this file, is built for AVX2.
#pragma GCC push_options
#pragma GCC target("avx2")

#include "engine/simulation/path_lanes_body.h"

namespace quorrel::simulation_detail {
const PathKernels& avx2_path_kernels() { return path_kernels_of<32>("avx2"); }
}  // namespace quorrel::simulation_detail

#pragma GCC pop_options
