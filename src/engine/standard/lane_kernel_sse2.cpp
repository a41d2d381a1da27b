// The lane kernel on SSE2 vectors of two doubles: every x86-64 processor has
// them. Up to five vectors (ten lanes) per forward batch: beyond a few
// vectors the node loop is bound by throughput, not by the division chain.
#include "engine/standard/lane_kernel_prelude.h"

#include "engine/standard/lane_kernel_body.h"

namespace quorrel::engine_detail {
const KernelSet& sse2_kernels() { return kernels_of<16, 5, 2>("sse2"); }
}  // namespace quorrel::engine_detail
