// The lane kernel on SSE2 vectors of two doubles: every x86-64 processor has
// them. Up to five vectors (ten lanes) per forward batch: beyond a few
// vectors the node loop is bound by throughput, not by the division chain.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/errors.h"
#include "engine/lane_kernel.h"
#include "engine/scheme_common.h"

#include "engine/lane_kernel_body.h"

namespace quorrel::engine_detail {

typedef double Sse2Vector __attribute__((vector_size(16)));

const KernelSet& sse2_kernels() {
    static const KernelSet set = kernel_set<Sse2Vector, 5, 2>("sse2");
    return set;
}

}  // namespace quorrel::engine_detail
