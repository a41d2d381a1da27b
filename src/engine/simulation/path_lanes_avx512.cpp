// The path kernel on AVX-512 vectors of eight doubles, chosen at run time on
// processors that have them; 64-bit lane products (Philox) and conversions
// are single instructions there. Only the instruction set differs from the
// SSE2 build: no fused multiply-adds, the same operations in the same order,
// so the figures are the same to the bit.
#include "engine/simulation/path_lanes_prelude.h"

// Everything above keeps the default instruction set; only the kernel body
// below, all of it internal to this file, is built for AVX-512.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx2")

#include "engine/simulation/path_lanes_body.h"

namespace quorrel::simulation_detail {
const PathKernels& avx512_path_kernels() { return path_kernels_of<64>("avx512"); }
}  // namespace quorrel::simulation_detail

#pragma GCC pop_options
