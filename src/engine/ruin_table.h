// The result stages: the probability grid with the expected ruin age, the
// estate percentiles, and the expected-income curve.
#pragma once

#include <array>

#include "core/analysis_state.h"
#include "core/results.h"
#include "engine/solver.h"

namespace quorrel {

// Writes ruin_probability_10/20/30 and expected_ruin_age into the state,
// the 16 probabilities into results.ruin_grid and results.expected_ruin_age,
// and publishes the 16 cells in their fixed order. Needs the ruin mortality
// parameters for its lifetime solves. Throws SolverError on a failed solve.
void compute_ruin_table(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                        const EventPump& pump = {});

// The nine estate multiples into results.estate_grid, published in order.
// Must follow compute_ruin_table of the same calculation.
void compute_estate_quantiles(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                              const EventPump& pump = {});

// Expected income as a fraction of the target at T = i x step / 2, i = 1..20,
// step = Int((110 - current_age) / 10) + 1.
std::array<double, 20> build_expected_income_curve(const AnalysisState& state,
                                                   const EventPump& pump = {});

}  // namespace quorrel
