// The refined engine: every figure of a calculation from a converged scheme
// of the same model. Per ruin level, one forward sweep at two resolutions
// (spacing 0.1 and time step 0.02 years, then half of both), combined by
// Richardson extrapolation; their difference is the error estimate.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "record/analysis_state.h"
#include "record/results.h"
#include "engine/model/model.h"
#include "engine/refined/refined_sweep.h"
#include "engine/standard/solver.h"

namespace quorrel {

namespace refined {

// One ruin level's sweep at both resolutions (and, when asked, a third at
// half the fine spacing and step), run side by side.
struct LevelSweeps {
    SweepResult coarse, fine, finest;
};
LevelSweeps sweep_level(const engine::Model& model, double x0, double barrier, double end,
                        double top, const std::vector<double>& snapshot_times = {},
                        bool finest = false);

// The wealth multiple (of today's wealth x0) below which wealth lies with
// probability q under `below` (the probability that wealth is below a level
// or was exhausted); 0 when exhaustion alone reaches q, the top's multiple
// (and *at_top) when even the top is not enough.
double wealth_quantile(const std::function<double(double level)>& below, double x0, double top,
                       double q, bool* at_top = nullptr);

// The grid top every sweep of a calculation shares: the expected ruin age's
// horizon, 130 - age years (at least 30).
double level_top(const engine::Model& model, double x0);

}  // namespace refined

// A figure from the two resolutions.
struct RefinedValue {
    double value = 0;
    double error_estimate = 0;  // |fine - coarse|
};

// Richardson extrapolation of a second-order figure, kept inside [lower,
// upper]. When the correction would reach a bound (the coarse figure is not
// yet in the asymptotic range) the fine figure is kept unextrapolated.
RefinedValue richardson(double coarse, double fine, double lower = 0, double upper = 1);

// Two resolutions that disagree by more than this (times max(1, |scale|):
// probabilities as they are, multiples above 1 relatively, the ruin age on a
// scale of 25 years) are not trusted to extrapolate: the figure comes from the
// fine and a third, finer resolution instead.
inline constexpr double kFinestThreshold = 2e-3;
bool needs_finest(const RefinedValue& value, double scale);
// A level's ruin probabilities (10, 20, 30 years, lifetime) go to the third
// resolution together when any of them needs it: where one disagrees the
// scheme is not yet in its asymptotic range for that level, and the others'
// agreement can be chance.
bool ruin_needs_finest(const std::array<double, 4>& coarse, const std::array<double, 4>& fine);

struct RefinedResults {
    // Cells, grids, expected ruin age and expected income as the standard
    // stages fill them (the survival figures are the pipeline's).
    ResultsRecord record;
    std::array<std::array<double, 4>, 4> ruin_error{};
    std::array<std::array<double, 3>, 3> estate_error{};
    double expected_ruin_age_error = 0;
    std::array<double, 20> expected_income_error{};
    // In today's money, and the probabilities, as the record's spending figures.
    std::array<std::array<double, 3>, 3> spending_error{};
    std::array<double, 3> spending_at_floor_error{};
    std::array<double, 20> expected_spending_error{};
    // Grid facts of the level-0 sweep at the coarse resolution.
    int coarse_nodes = 0;
    int fine_nodes = 0;
    double grid_top = 0;     // in years of target income
    double top_loss = 0;     // largest mass lost through the top by a sweep's end
    double mass_defect = 0;  // largest |ruined + on the grid + through the top - 1|
    // Levels with a figure that needed the third resolution.
    std::array<bool, 4> finest_used{};
    int sweeps = 0;
};

// Ruin probabilities [level][horizon] (10, 20, 30 years, lifetime) put in
// order: never lower at a later horizon (the lifetime column aside), never
// lower at a higher level. A figure raised to its neighbour has its error
// estimate widened by the correction.
void put_in_order(std::array<std::array<double, 4>, 4>& grid,
                  std::array<std::array<double, 4>, 4>& error);

// One line naming the scheme, for the results screen and the report.
std::string refined_scheme_line(const RefinedResults& results);

// Every figure of the calculation, refined: the 16 ruin probabilities, the
// expected ruin age (integral of the no-ruin probability to 130 - age), the
// nine estate multiples (true percentiles of wealth, exhaustion counting as
// below) and the expected-income curve. Writes ruin_probability_10/20/30 and
// expected_ruin_age into the state and publishes the 25 cells in the
// standard order. Needs the prepared state (engine inputs and ruin mortality
// parameters). Throws SolverError when the scheme fails.
void compute_refined_results(AnalysisState& state, ResultSink& sink, RefinedResults& out,
                             const EventPump& pump = {});

// The lifetime ruin probability at the 0% level alone, refined (one sweep
// per resolution): what the decision tools solve for. Equal to the Lifetime
// figure of compute_refined_results on the same state.
RefinedValue refined_lifetime_ruin(const AnalysisState& state);
// The same for a model and today's wealth in years of target income (a
// model whose death law is changed, as the tests do).
RefinedValue refined_lifetime_ruin(const engine::Model& model, double x0);

// The 0% level's figures alone, each equal to compute_refined_results' on
// the same state: lifetime ruin, ruin within 10, 20 and 30 years, and the
// median wealth at 10, 20 and 30 years as a multiple of today's.
struct RefinedLevelZero {
    RefinedValue lifetime;
    std::array<RefinedValue, 3> ruin{};
    std::array<RefinedValue, 3> median{};
};
RefinedLevelZero refined_level_zero(const AnalysisState& state);

}  // namespace quorrel
