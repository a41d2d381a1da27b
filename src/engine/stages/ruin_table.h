// The result stages: the probability grid with the expected ruin age, the
// estate percentiles, and the expected-income curve.
#pragma once

#include <array>

#include "record/analysis_state.h"
#include "record/results.h"
#include "engine/standard/solver.h"

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

// The level-0 ruin probabilities of the expected ruin age, by horizon: 5,
// 10, 15, 20, 25, 30 years and 130 - current_age.
using LevelZeroRuin = std::array<double, 7>;

// Step sum of the no-ruin probability: six 5-year blocks to year 30 and one
// block from year 30 to 130 - current_age.
double expected_ruin_age_from(double current_age, const LevelZeroRuin& p);

// The nine estate multiples into results.estate_grid, published in order.
// Must follow compute_ruin_table of the same calculation.
void compute_estate_quantiles(const AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                              const EventPump& pump = {});
void compute_estate_quantiles(const AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                              const EventPump& pump, EngineMode mode);

// Expected income as a fraction of the target at the horizons
// expected_income_horizon(current_age, i), i = 1..20.
std::array<double, 20> build_expected_income_curve(const AnalysisState& state,
                                                   const EventPump& pump = {});
std::array<double, 20> build_expected_income_curve(const AnalysisState& state,
                                                   const EventPump& pump, EngineMode mode);

// What the engine needs after the portfolio statistics: its ratios
// (prepare_engine_inputs) and the ruin mortality parameters of the lifetime
// solves (select_ruin_parameters).
void prepare_engine_stages(AnalysisState& state);

// The state a calculation on `inputs` hands to the result stages, made
// without a screen: the Go step (compute_acquired_income), the portfolio
// statistics and prepare_engine_stages, on a copy. Checks nothing: the inputs
// must be ones the pipeline admits.
AnalysisState prepared_for_engine(const AnalysisState& inputs);

// The result stages of a calculation in their order: the expected-income
// curve into results.expected_income, the ruin table, the estate quantiles.
// The fast path solves the level-0 horizons the curve and the table share
// once.
void run_result_stages(AnalysisState& state, ResultSink& sink, ResultsRecord& results,
                       const EventPump& pump = {}, EngineMode mode = EngineMode::fast);

}  // namespace quorrel
