#include "engine/model/wealth_model.h"

#include <cmath>

#include "engine/standard/engine_internal.h"

namespace quorrel {

void prepare_engine_inputs(AnalysisState& s) {
    s.real_income_ratio = (s.acquired_cpi_income + s.pension_cpi_income) / s.target_income;
    s.nominal_income_ratio =
        (s.acquired_nominal_income + s.pension_nominal_income) / s.target_income;
    // All wealth spent on annuities: a tiny positive wealth keeps the ratios defined.
    if (s.net_investable_wealth == 0) s.net_investable_wealth = 1e-7;
    s.variable_value_ratio =
        (s.variable_annuity_factor * s.pension_variable_income + s.purchase_variable) /
        s.target_income / s.net_investable_wealth;
    s.variable_income_ratio = s.variable_value_ratio / s.variable_annuity_factor;
    s.wealth_ratio = s.net_investable_wealth / s.target_income;
}

AllocationRegime allocation_regime(const AnalysisState& state, double t) {
    return engine_detail::WealthModel(state).regime(t);
}

double exposure_multiplier(const AnalysisState& state, double t) {
    return engine_detail::WealthModel(state).exposure(t);
}

double wealth_drift(const AnalysisState& state, double g, double t, double x) {
    return engine_detail::WealthModel(state).drift(g, t, x);
}

double wealth_diffusion(const AnalysisState& state, double t, double x) {
    return engine_detail::WealthModel(state).diffusion(t, x);
}

double annuity_income_ratio(const AnalysisState& state, double T) {
    const double mu = state.later_allocation_years < T ? state.later_expected_return
                                                       : state.current_expected_return;
    return state.nominal_income_ratio * std::exp((state.cola_rate - state.implied_inflation) * T) +
           state.real_income_ratio +
           state.net_investable_wealth * state.variable_income_ratio *
               std::exp((mu - state.air_rate - state.implied_inflation) * T);
}

double expected_income_ratio(double annuity_income, double p) {
    const double e = annuity_income * p + (1 - p);
    return e > 1 ? 1 : e;
}

namespace engine_detail {

WealthModel::WealthModel(const AnalysisState& s)
    : current_mu(s.current_expected_return),
      later_mu(s.later_expected_return),
      current_sigma(s.current_standard_deviation),
      later_sigma(s.later_standard_deviation),
      later_years(static_cast<double>(s.later_allocation_years)),
      real_income_ratio(s.real_income_ratio),
      nominal_income_ratio(s.nominal_income_ratio),
      variable_income_ratio(s.variable_income_ratio),
      cola_rate(s.cola_rate),
      air_rate(s.air_rate),
      implied_inflation(s.implied_inflation),
      current_age(s.current_age),
      ruin_lambda(s.ruin_lambda),
      ruin_modal_age(s.ruin_modal_age),
      ruin_dispersion(s.ruin_dispersion) {}

AllocationRegime WealthModel::regime(double t) const {
    // The switch year itself still belongs to today's allocation.
    if (t <= later_years) return {current_mu, current_sigma};
    return {later_mu, later_sigma};
}

double WealthModel::exposure(double t) const {
    return 1 + variable_income_ratio * std::exp(-(implied_inflation + air_rate) * t);
}

double WealthModel::inflation_factor(double t) const {
    return std::exp((cola_rate - implied_inflation) * t);
}

double WealthModel::drift(double g, double t, double x) const {
    const double mu = regime(t).mu;
    return mu * x * exposure(t) - std::exp(g * t) + real_income_ratio +
           nominal_income_ratio * inflation_factor(t);
}

double WealthModel::diffusion(double t, double x) const {
    const double sigma = regime(t).sigma;
    return 0.5 * (sigma * sigma) * (x * x) * exposure(t);
}

}  // namespace engine_detail
}  // namespace quorrel
