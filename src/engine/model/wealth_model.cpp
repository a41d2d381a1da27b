#include "engine/model/wealth_model.h"

#include "engine/model/model.h"

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

double annuity_income_ratio(const AnalysisState& state, double T) {
    return engine::Model::from_state(state).annuity_income(T);
}

double expected_income_ratio(double annuity_income, double p) {
    const double e = annuity_income * p + (1 - p);
    return e > 1 ? 1 : e;
}

}  // namespace quorrel
