// The lane kernel on AVX2 vectors of four doubles, chosen at run time on
// processors that have them. Only the instruction set differs from the SSE2
// build: no fused multiply-adds, the same operations in the same order, so
// the figures are the same to the bit.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "engine/lane_kernel.h"
#include "engine/scheme_common.h"

// Everything above keeps the default instruction set; only the kernel body
// below, all of it internal to this file, is built for AVX2.
#pragma GCC push_options
#pragma GCC target("avx2")

#include "engine/lane_kernel_body.h"

namespace quorrel::engine_detail {

typedef double Avx2Vector __attribute__((vector_size(32)));

const KernelSet& avx2_kernels() {
    static const KernelSet set = kernel_set<Avx2Vector, 5, 1>("avx2");
    return set;
}

}  // namespace quorrel::engine_detail

#pragma GCC pop_options
