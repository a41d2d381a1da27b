// Engine internals shared by the solver, the result stages, their tests and
// the benchmark: the solve requests, the straightforward one-solve-at-a-time
// path and the batched fast paths.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "record/analysis_state.h"
#include "engine/standard/grid.h"
#include "engine/standard/solver.h"
#include "engine/model/model.h"

namespace quorrel::engine_detail {

using engine::Model;

// One solve: its kind and the five arguments of the solvers. Written with
// designated initialisers, e.g. {.kind = SolveKind::lifetime_ruin, .x0 = x0, .T = T}.
struct SolveRequest {
    SolveKind kind = SolveKind::ruin_by_horizon;
    double g = 0, x0 = 0, level = 0, t0 = 0, T = 0;
};

// One solve exactly as the scheme reads: arrays built per solve, the rows
// assembled per step and handed to tridag. The yardstick of the fast paths.
double reference_solve(const AnalysisState& state, const SolveRequest& request,
                       const EventPump& pump = {});

// One solve by the fused kernel: same arithmetic, no per-step work outside
// the node loop, no allocation per step.
double fast_solve(const Model& model, const SolveRequest& request,
                  const EventPump& pump = {});

// Solves every request and writes out[k] for requests[k], each figure equal
// to fast_solve's. Requests on the same grid (same x0 and grid size) share
// batches whatever their kind, level and horizon. The work is split over the
// worker threads (see engine::run_parallel) and batched into SIMD lanes; `pump`
// runs on the calling thread only, once per time step of its own batches and
// every few milliseconds while it waits for the workers.
void solve_batch(const Model& model, const std::vector<SolveRequest>& requests,
                 std::vector<double>& out, const EventPump& pump = {});

// Work to run beside a batch of solves, on the worker with the lightest
// share, and what it weighs in SIMD vectors of forward solves. It runs on a
// worker thread: it must not touch the caller's event loop, and what it
// throws fails the whole batch.
struct SideTask {
    std::function<void()> run;
    double vectors = 0;
};
void solve_batch(const Model& model, const std::vector<SolveRequest>& requests,
                 std::vector<double>& out, const EventPump& pump, const SideTask& side);

// The wealth-below probability of one horizon as a function of the level.
// The scheme is linear in its terminal values and its matrices do not depend
// on the level, so one adjoint sweep per horizon and grid gives every level's
// probability as a sum over the nodes below the level.
class WealthBelowCurve final {
public:
    WealthBelowCurve() = default;
    // Probability for `level`; the level's grid must be the one this curve
    // was built for (see uses_wide_grid).
    double probability(double level) const;

private:
    friend void build_wealth_below_curves(const Model&, double, double, double, bool,
                                          const std::vector<double>&,
                                          std::vector<WealthBelowCurve>&, const EventPump&, bool);
    std::vector<double> X;       // nodes of the solved rows, ascending
    std::vector<double> prefix;  // prefix[r]: sum of the adjoint weights of rows 1..r
    double barrier_part = 0;     // what the held barrier contributes
    bool trivial = false;        // the start node is at or below the barrier
    double x0 = 0;
    double T = 0;
    friend void count_curve(const WealthBelowCurve&);
};

// Builds the curves of the horizons `T` (same g, x0, t0) on the narrow or the
// wide wealth-below grid, over the worker threads. A `speculative` build, of
// curves that may turn out not to be needed, runs on the calling thread and
// leaves the solve count alone: its user counts each curve it reads
// (count_curve).
void build_wealth_below_curves(const Model& model, double g, double x0, double t0,
                               bool wide_grid, const std::vector<double>& T,
                               std::vector<WealthBelowCurve>& curves, const EventPump& pump = {},
                               bool speculative = false);
// Whether the solve's matrix stays the same from one time step to the next
// (the first two steps compared), so that the kernel factors it once.
bool matrices_repeat(const Model& model, const SolveRequest& request);

// Counts a speculatively built curve as the solve it stands for.
void count_curve(const WealthBelowCurve& curve);

// What one adjoint sweep of `rows` rows weighs against a forward vector on
// the ruin grid: its elimination is one serial chain, bound by the latency of
// the division rather than by the divider's throughput.
double adjoint_sweep_vectors(int rows);

// Adds n solves to the process-wide count of solver_call_count.
void count_solves(long n);

// Where a quantile search stands within one estate horizon.
struct QuantileSearch {
    double c = 0;       // trial multiple of today's wealth
    double p = 0;       // last probability found
    double tried = -1;  // the multiple p belongs to; negative before the first
};

// Steps c up until the probability that wealth ends below c times today's
// wealth reaches q - 0.03; `capped` leaves the loop once c passes 9. An
// uncapped search also leaves once `saturated`(c) says that no larger c can
// change the probability (the level lies above every node), where it could
// otherwise never end; a capped one always runs to its bound. Returns the number of probabilities
// evaluated; throws SolverError if the search runs away all the same.
int quantile_search(double q, bool capped, QuantileSearch& search,
                    const std::function<double(double c)>& probability_below,
                    const std::function<bool(double c)>& saturated = {});

}  // namespace quorrel::engine_detail
