// Prices of immediate life annuities under the Gompertz-Makeham law.
#pragma once

#include "record/analysis_state.h"

namespace quorrel {

// Value today at the flat force r of 1 a year paid continuously from t on
// while a person now aged `age` lives. Throws ValuationError on a numeric
// failure.
double annuity_tail_value(double t, double r, double age, double lambda, double m, double b);

// Curve-based factors over the six maturity buckets of the state's curves.
double real_annuity_factor(const AnalysisState& state, double age, double lambda, double m,
                           double b);
double cola_annuity_factor(const AnalysisState& state, double age, double lambda, double m,
                           double b);

}  // namespace quorrel
