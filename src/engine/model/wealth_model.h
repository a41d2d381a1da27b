// The record's money amounts as the engine's ratios, and the income figures
// read from the model.
#pragma once

#include "record/analysis_state.h"

namespace quorrel {

// Turns the money amounts into the engine's ratios (wealth_ratio and the
// income ratios); an exactly zero net_investable_wealth becomes 1e-7.
void prepare_engine_inputs(AnalysisState& state);

// The pensions' and annuities' income at horizon T as a fraction of the
// target (engine::Model::annuity_income of the prepared state).
double annuity_income_ratio(const AnalysisState& state, double T);
// The income to expect at a horizon where wealth has run out with
// probability p: the annuity income then, the full target otherwise; never
// more than the target.
double expected_income_ratio(double annuity_income, double p);

}  // namespace quorrel
