#include "valuation/acquired_income.h"

#include "valuation/annuity.h"
#include "valuation/joint_annuity.h"
#include "valuation/mortality_tables.h"

namespace quorrel {

void compute_acquired_income(AnalysisState& s) {
    s.implied_inflation = s.nominal_rate_1 - s.real_rate_1;

    const GompertzMakehamParams p =
        select_mortality_parameters(s, annuity_table_for_code(s.annuity_table_code), s.gender_code,
                                    s.current_age, s.annuity_projection_years);
    s.annuity_lambda = p.lambda;
    s.annuity_modal_age = p.modal_age;
    s.annuity_dispersion = p.dispersion;

    // Pricing may throw; nothing below is written then.
    double real = 0, cola = 0, variable = 0;
    if (has_spouse(s)) {
        // Joint and survivor on both lives: in full while both live, at the
        // survivor share while either lives alone.
        const AnnuityLife person{s.current_age, p};
        const AnnuityLife spouse = annuity_table_life(s, s.spouse_gender_code, s.spouse_age);
        const auto factor = [&](AnnuityKind kind) {
            return joint_survivor_factor(s, kind, person, spouse, s.survivor_share);
        };
        real = factor(AnnuityKind::cpi_linked);
        cola = factor(AnnuityKind::nominal_cola);
        variable = factor(AnnuityKind::variable);
    } else {
        real = real_annuity_factor(s, s.current_age, s.annuity_lambda, s.annuity_modal_age,
                                   s.annuity_dispersion);
        cola = cola_annuity_factor(s, s.current_age, s.annuity_lambda, s.annuity_modal_age,
                                   s.annuity_dispersion);
        variable = annuity_tail_value(0, s.air_rate, s.current_age, s.annuity_lambda,
                                      s.annuity_modal_age, s.annuity_dispersion);
    }
    s.variable_annuity_factor = variable;

    s.acquired_nominal_income = s.purchase_nominal / cola;
    s.acquired_cpi_income = s.purchase_cpi / real;
    s.acquired_variable_income = s.purchase_variable / s.variable_annuity_factor;

    s.consumption_deficit = s.target_income - s.pension_nominal_income - s.pension_cpi_income -
                            s.pension_variable_income - s.acquired_nominal_income -
                            s.acquired_cpi_income - s.acquired_variable_income;

    s.net_investable_wealth =
        s.liquid_wealth - s.purchase_nominal - s.purchase_cpi - s.purchase_variable;
}

}  // namespace quorrel
