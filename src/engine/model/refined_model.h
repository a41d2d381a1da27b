// The wealth process and the death law as the refined engine and the
// simulation read them: one frozen copy of the coefficients, so that worker
// threads never touch the analysis state.
#pragma once

#include "record/analysis_state.h"

namespace quorrel::refined {

struct RefinedModel {
    double current_mu = 0, later_mu = 0;
    double current_sigma = 0, later_sigma = 0;
    double later_years = 0;  // today's allocation while t <= later_years
    double real_income_ratio = 0, nominal_income_ratio = 0, variable_income_ratio = 0;
    double cola_rate = 0, air_rate = 0, implied_inflation = 0;
    // Gompertz-Makeham law of the remaining lifetime from current_age.
    double current_age = 65;
    double lambda = 0, modal_age = 0, dispersion = 1;

    // The coefficients of the prepared state (prepare_engine_inputs and
    // select_ruin_parameters have run).
    static RefinedModel from_state(const AnalysisState& state);

    bool later_regime(double t) const { return t > later_years; }
    double mu(double t) const { return later_regime(t) ? later_mu : current_mu; }
    double sigma(double t) const { return later_regime(t) ? later_sigma : current_sigma; }
    // Exposure multiplier m(t) of the variable annuity.
    double exposure(double t) const;
    // The part of the drift that does not grow with wealth: pensions and
    // annuities less the withdrawal of 1 a year.
    double net_income(double t) const;
    // True when exposure and net income are the same at every time, so the
    // scheme's matrices change only with the allocation.
    bool coefficients_constant_in_time() const;

    // Probability of being alive t years from today.
    double survival(double t) const;
    // Probability of being alive at t for a life certain to die before
    // horizon (the lifetime figures' death law, truncated at age 110).
    double conditional_survival(double t, double horizon) const;
};

}  // namespace quorrel::refined
