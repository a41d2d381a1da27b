// The three solvers as the rest of the program calls them, and the solve
// count.
#include "engine/standard/solver.h"

#include <atomic>

#include "engine/standard/engine_internal.h"

namespace quorrel {

using engine::Model;
using engine_detail::SolveKind;

namespace {

std::atomic<long> g_solver_calls{0};

}  // namespace

long solver_call_count() { return g_solver_calls.load(); }

namespace {

double solve_one(const AnalysisState& state, SolveKind kind, double g, double x0, double level,
                 double t0, double T, const EventPump& pump) {
    return engine_detail::fast_solve(
        Model::from_state(state),
        {.kind = kind, .g = g, .x0 = x0, .level = level, .t0 = t0, .T = T}, pump);
}

}  // namespace

double ruin_probability_by_horizon(const AnalysisState& state, double g, double x0, double level,
                                   double t0, double T, const EventPump& pump) {
    return solve_one(state, SolveKind::ruin_by_horizon, g, x0, level, t0, T, pump);
}

double wealth_below_probability(const AnalysisState& state, double g, double x0, double level,
                                double t0, double T, const EventPump& pump) {
    return solve_one(state, SolveKind::wealth_below, g, x0, level, t0, T, pump);
}

double lifetime_ruin_probability(const AnalysisState& state, double g, double x0, double level,
                                 double t0, double T, const EventPump& pump) {
    return solve_one(state, SolveKind::lifetime_ruin, g, x0, level, t0, T, pump);
}

namespace engine_detail {

void count_solves(long n) { g_solver_calls.fetch_add(n); }

}  // namespace engine_detail
}  // namespace quorrel
