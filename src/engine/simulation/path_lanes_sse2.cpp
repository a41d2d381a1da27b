// The path kernel on SSE2 vectors of two doubles: every x86-64 processor has
// them.
#include "engine/simulation/path_lanes_prelude.h"

#include "engine/simulation/path_lanes_body.h"

namespace quorrel::simulation_detail {
const PathKernels& sse2_path_kernels() { return path_kernels_of<16>("sse2"); }
}  // namespace quorrel::simulation_detail
