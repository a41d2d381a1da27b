// Gompertz-Makeham law: special functions, survival, life expectancy and the
// figures of the mortality tab.
#pragma once

#include <cstdint>
#include <vector>

#include "record/analysis_state.h"

namespace quorrel {

double log_gamma(double x);
// Gamma(x), also for negative x that is not a whole number. Throws
// ValuationError where no finite value exists (0, negative whole numbers).
double gamma_function(double x);
// Gamma(a, z) for z > 0; an a in [0, 1e-10) is replaced by 1e-9. Throws
// ValuationError where no finite value exists.
double upper_incomplete_gamma(double a, double z);

double gompertz_hazard(double age, double m, double b);
double survival_probability(double age, double t, double lambda, double m, double b);
double mean_death_age(double age, double m, double b, double lambda);

// Sets ruin_lambda, ruin_modal_age, ruin_dispersion and expected_death_age,
// and with a spouse the spouse_ruin_ parameters of the spouse's row.
void select_ruin_parameters(AnalysisState& state);

// Sets survival_years = Int(110 - current_age) and returns the survival
// curve: element k is the probability of surviving k years (k = 0 ..
// survival_years), element 0 being 1.
std::vector<double> build_survival_curve(AnalysisState& state);

// One more than the offset of the first survival value within 0.05 of 0.1,
// or `previous` when no value qualifies.
std::int16_t find_ninetieth_percentile(const std::vector<double>& survival_curve,
                                       std::int16_t previous);

}  // namespace quorrel
