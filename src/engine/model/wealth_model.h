// The net investable wealth as a diffusion in years of real target income.
#pragma once

#include "record/analysis_state.h"

namespace quorrel {

// Turns the money amounts into the engine's ratios (wealth_ratio and the
// income ratios); an exactly zero net_investable_wealth becomes 1e-7.
void prepare_engine_inputs(AnalysisState& state);

struct AllocationRegime {
    double mu = 0;     // expected real return
    double sigma = 0;  // standard deviation
};

// Today's allocation while t <= later_allocation_years, the later one after.
AllocationRegime allocation_regime(const AnalysisState& state, double t);
double exposure_multiplier(const AnalysisState& state, double t);
double wealth_drift(const AnalysisState& state, double g, double t, double x);
double wealth_diffusion(const AnalysisState& state, double t, double x);

// The pensions' and annuities' income at horizon T as a fraction of the
// target: the nominal part eroded by inflation beyond its COLA, the CPI part
// as it is, the variable part grown at the horizon's return above its AIR.
double annuity_income_ratio(const AnalysisState& state, double T);
// The income to expect at a horizon where wealth has run out with
// probability p: the annuity income then, the full target otherwise; never
// more than the target.
double expected_income_ratio(double annuity_income, double p);

}  // namespace quorrel
