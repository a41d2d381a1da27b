// The lane kernel on AVX-512 vectors of eight doubles, chosen at run time on
// processors that have them. Where every step must be factored the kernel is
// bound by the divider, and a processor that divides eight lanes as fast as
// four does twice the work per division. Only the instruction set differs
// from the SSE2 build: no fused multiply-adds, the same operations in the
// same order, so the figures are the same to the bit.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "engine/lane_kernel.h"
#include "engine/scheme_common.h"

// Everything above keeps the default instruction set; only the kernel body
// below, all of it internal to this file, is built for AVX-512.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx512vl,avx2")

#include "engine/lane_kernel_body.h"

namespace quorrel::engine_detail {

typedef double Avx512Vector __attribute__((vector_size(64)));

const KernelSet& avx512_kernels() {
    static const KernelSet set = kernel_set<Avx512Vector, 3, 1>("avx512");
    return set;
}

}  // namespace quorrel::engine_detail

#pragma GCC pop_options
