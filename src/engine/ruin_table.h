// The result stages: the probability grid with the expected ruin age, the
// estate percentiles, and the expected-income curve.
#pragma once

#include <array>

#include "core/analysis_state.h"
#include "core/results.h"
#include "engine/solver.h"

namespace quorrel {

// fast: batched solves on both cores and one adjoint sweep per estate
// horizon; reference: one straightforward solve at a time, every figure as
// the scheme computes it. Both give the same figures to rounding.
enum class EngineMode { fast, reference };

// Writes ruin_probability_10/20/30 and expected_ruin_age into the state,
// the 16 probabilities into results.ruin_grid and results.expected_ruin_age,
// and publishes the 16 cells in their fixed order. Needs the ruin mortality
// parameters for its lifetime solves. Throws SolverError on a failed solve.
void compute_ruin_table(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                        const EventPump& pump = {});

void compute_ruin_table(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                        const EventPump& pump, EngineMode mode);

// Step sum of the no-ruin probability: six 5-year blocks to year 30 and one
// block from year 30 to 130 - current_age.
double expected_ruin_age_from(double current_age, double p5, double p10, double p15, double p20,
                              double p25, double p30, double p_tail);

// The nine estate multiples into results.estate_grid, published in order.
// Must follow compute_ruin_table of the same calculation.
void compute_estate_quantiles(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                              const EventPump& pump = {});
void compute_estate_quantiles(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                              const EventPump& pump, EngineMode mode);

// Expected income as a fraction of the target at T = i x step / 2, i = 1..20,
// step = Int((110 - current_age) / 10) + 1.
std::array<double, 20> build_expected_income_curve(const AnalysisState& state,
                                                   const EventPump& pump = {});
std::array<double, 20> build_expected_income_curve(const AnalysisState& state, const EventPump& pump,
                                                   EngineMode mode);

}  // namespace quorrel
