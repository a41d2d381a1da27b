#include "engine/model/refined_model.h"

#include <cmath>

namespace quorrel::refined {

RefinedModel RefinedModel::from_state(const AnalysisState& s) {
    RefinedModel m;
    m.current_mu = s.current_expected_return;
    m.later_mu = s.later_expected_return;
    m.current_sigma = s.current_standard_deviation;
    m.later_sigma = s.later_standard_deviation;
    m.later_years = static_cast<double>(s.later_allocation_years);
    m.real_income_ratio = s.real_income_ratio;
    m.nominal_income_ratio = s.nominal_income_ratio;
    m.variable_income_ratio = s.variable_income_ratio;
    m.cola_rate = s.cola_rate;
    m.air_rate = s.air_rate;
    m.implied_inflation = s.implied_inflation;
    m.current_age = s.current_age;
    m.lambda = s.ruin_lambda;
    m.modal_age = s.ruin_modal_age;
    m.dispersion = s.ruin_dispersion;
    return m;
}

double RefinedModel::exposure(double t) const {
    return 1 + variable_income_ratio * std::exp(-(implied_inflation + air_rate) * t);
}

double RefinedModel::net_income(double t) const {
    return -1 + real_income_ratio +
           nominal_income_ratio * std::exp((cola_rate - implied_inflation) * t);
}

bool RefinedModel::coefficients_constant_in_time() const {
    const bool exposure_fixed = variable_income_ratio == 0 || implied_inflation + air_rate == 0;
    const bool income_fixed = nominal_income_ratio == 0 || cola_rate == implied_inflation;
    return exposure_fixed && income_fixed;
}

double RefinedModel::survival(double t) const {
    const double b = dispersion;
    return std::exp(-lambda * t + std::exp((current_age - modal_age) / b) * (1 - std::exp(t / b)));
}

double RefinedModel::conditional_survival(double t, double horizon) const {
    if (t >= horizon) return 0;
    const double s_end = survival(horizon);
    return (survival(t) - s_end) / (1 - s_end);
}

}  // namespace quorrel::refined
