#include "engine/model/household_model.h"

namespace quorrel::engine {

HouseholdModel HouseholdModel::from_state(const AnalysisState& s) {
    HouseholdModel h;
    const Model base = Model::from_state(s);
    h.person = base.life();
    h.spouse = {s.spouse_age, s.spouse_ruin_lambda, s.spouse_ruin_modal_age,
                s.spouse_ruin_dispersion};
    const double share = s.survivor_share;
    // What each state keeps of the person's pensions, of the annuities and
    // of the spouse's pension, and its spending.
    struct Terms {
        double pension, annuity, spouse_pension, withdrawal;
    };
    const Terms terms[kHouseholdStates] = {
        {1, 1, 1, 1},
        {1, share, share, s.survivor_spending},
        {share, share, 1, s.survivor_spending},
    };
    const double target = s.target_income;
    const double wealth = s.net_investable_wealth;
    for (int k = 0; k < kHouseholdStates; ++k) {
        const Terms& t = terms[k];
        Model m = base;
        m.real_income_ratio = (t.pension * s.pension_cpi_income + t.annuity * s.acquired_cpi_income +
                               t.spouse_pension * s.spouse_pension_cpi_income) /
                              target;
        m.nominal_income_ratio =
            (t.pension * s.pension_nominal_income + t.annuity * s.acquired_nominal_income) / target;
        // As prepare_engine_inputs: the variable income per unit of wealth,
        // which scales the exposure.
        m.variable_income_ratio =
            (t.pension * s.pension_variable_income + t.annuity * s.acquired_variable_income) /
            target / wealth;
        m.withdrawal = t.withdrawal;
        h.states[k] = m;
    }
    return h;
}

std::array<double, kHouseholdStates> HouseholdModel::state_probabilities(double t) const {
    const double p = person.truncated_survival(t);
    const double s = spouse.truncated_survival(t);
    return {p * s, p * (1 - s), (1 - p) * s};
}

double HouseholdModel::someone_alive(double t) const {
    const double p = person.truncated_survival(t);
    const double s = spouse.truncated_survival(t);
    return p + s - p * s;
}

}  // namespace quorrel::engine
