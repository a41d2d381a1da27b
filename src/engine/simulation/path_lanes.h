// The simulation's paths in vector lanes: several paths step together, one
// per lane, with the random numbers of path i at step k drawn from Philox
// 4x32-10 at a counter made of (k, i) under a key made of the seed, so that
// nothing a path draws depends on the lanes, the threads or the order in
// which paths run. The kernels are built for SSE2, AVX2 and AVX-512 and
// chosen at run time, as the lane kernel of the standard scheme is (our own
// dispatch over GCC vector types rather than a SIMD library: the engine
// already builds and tests it, and the kernel needs nothing but arithmetic,
// comparisons and bit operations); every set gives the same figures to the
// bit.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/instruction_sets.h"

namespace quorrel::engine {
struct Model;
}

namespace quorrel::simulation_detail {

// Per time step, the same for every path: the log growth and the variance of
// log growth of the step, and half the net income of the step (the trapezoid
// rule over the step with the growth factor applied to its first half); the
// step's start and length in years, half its length, and whether guardrails
// review spending at its end.
struct StepCoefficients {
    double log_drift;
    double vol;
    double vol2;
    double half_income;
    double t0;
    double dt;
    double half_dt;
    bool review;
};

// The coefficients of `steps` steps of dt years from today under a model,
// each taken at the step's middle, then of `tail_steps` steps of tail_dt.
std::vector<StepCoefficients> step_coefficients(const engine::Model& m, double dt, long steps,
                                                double tail_dt = 0, long tail_steps = 0);

// Streams of a path's counters: one Philox block gives the normals of four
// steps, another the uniforms of the four levels' bridge tests at one step,
// another the death time of the drawn-death estimator.
enum Stream : std::uint32_t { kNormalStream = 0, kBridgeStream = 1, kDeathStream = 2 };

struct PathTables {
    std::vector<StepCoefficients> steps;
    double x0 = 0;
    double levels[4] = {};      // ruin levels in wealth, highest first
    long horizon_step[3] = {};  // steps after which the estate is noted
    std::uint32_t key[2] = {};  // the seed
    // The percent rule: each step's income gains half_dt (1 - c(x)) with
    // c(x) = min(max(rate x, floor), ceiling) at the step's start, which
    // leaves the fixed rule's step (c = 1) as it is to the bit.
    bool percent = false;
    double rate = 0, floor = 1, ceiling = 1;
    // Guardrails: each path carries its spending (years of target income),
    // which spends like the percent rule's c; after each step that ends a
    // year it is multiplied by cut when spending / wealth is above
    // rail_high, by raise when below rail_low, then kept between the floor
    // and the ceiling. With the spending at 1 the step is the fixed rule's
    // to the bit.
    bool guardrails = false;
    double rail_high = 0, rail_low = 0, cut = 1, raise = 1, start = 1;
    long income_step[20] = {};  // steps after which spending is noted for the income curve
    // Each path sums vol z over its first control_steps steps (fewer when it
    // ends sooner): a control variate of mean exactly 0, whatever the path
    // did, for the lifetime figures.
    long control_steps = 0;
};

// Where one path ended: the time each level was first reached (infinity when
// never), highest level first, and wealth over today's at the estate
// horizons (0 once every level is reached).
struct PathEnd {
    double tau[4];
    double wealth[3];
    double spending[3];  // guardrails: spending at the estate horizons, after their review
    double curve[20];    // guardrails: spending at the income curve's horizons
    double control;      // the sum of vol z over the path's first control_steps steps
};

struct PathKernels {
    const char* name;
    int lanes;
    // Follows paths first .. first + count - 1 into end[0 .. count - 1],
    // `lanes` at a time.
    void (*follow)(const PathTables& tables, std::uint64_t first, int count, PathEnd* end);
};

const PathKernels& sse2_path_kernels();
// Call only where the processor has AVX2, or AVX-512 (F, DQ and VL).
const PathKernels& avx2_path_kernels();
const PathKernels& avx512_path_kernels();

// The widest set this processor runs, unless a test chose one.
const PathKernels& chosen_path_kernels();
const std::vector<const PathKernels*>& supported_path_kernels();

// While one lives, the simulation follows its paths on the set it names.
using PathKernelOverride = engine::SetOverride<PathKernels>;

// One Philox 4x32-10 block, for the scalar parts and the tests.
void philox_block(const std::uint32_t key[2], const std::uint32_t counter[4], std::uint32_t out[4]);

}  // namespace quorrel::simulation_detail
