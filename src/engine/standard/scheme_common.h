// What the reference scheme and the lane kernel share: the step count, the
// pivot messages, the check of a finished value, and the per-step constants
// of one solve (the coefficients that are the same for every node).
#pragma once

#include "engine/standard/engine_internal.h"

namespace quorrel::engine_detail {

inline constexpr int kSteps = 500;

inline constexpr const char* kNotTridag = " The matrix is not tridag!!!";
inline constexpr const char* kMatrixError = " There is an error in the matrix!!!";

// The value itself, or SolverError naming the solve when it is no number.
double checked(SolveKind kind, double level, double T, double value);

// 1 up to the barrier (ruin solves), or below the level (wealth-below).
double terminal_value(const Grid& grid, const SolveRequest& rq, int ib, int i);

// What one solve fixes once.
struct LaneSetup {
    double dt = 0;
    double diffusion_scale = 0;  // 0.5 x dt / dx / dx
    double S_T = 0;
    bool lifetime = false;
};
LaneSetup lane_setup(const Model& wm, const SolveRequest& rq, double dx);

// The coefficients of one solve at time step k (t = t0 + (k - 1) dt): every
// node's row is a function of these and of the node alone, except K, the
// lifetime solve's killing factor of the right-hand side.
struct StepConstants {
    double t = 0, mu = 0, m = 0, w = 0, enir = 0, cs = 0, K = 1, dt = 0;
};
StepConstants step_constants(const Model& wm, const SolveRequest& rq, const LaneSetup& ls,
                             int k);

}  // namespace quorrel::engine_detail
