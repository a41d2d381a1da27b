#include "valuation/mortality_tables.h"

#include <cmath>

namespace quorrel {

// Generated from data/mortality/gm_parameters.csv (mortality_data.cpp).
void fill_mortality_arrays(AnalysisState& state);

namespace {

struct ParameterArrays {
    const MortalityArray* lambda;
    const MortalityArray* modal_age;
    const MortalityArray* dispersion;
};

// gender_code 0 male, 1 female, anything else unisex.
ParameterArrays arrays_for(const AnalysisState& s, MortalityTable table, int gender_code) {
    switch (table) {
        case MortalityTable::gam1983:
            if (gender_code == 0)
                return {&s.gam1983_male_lambda, &s.gam1983_male_modal_age,
                        &s.gam1983_male_dispersion};
            if (gender_code == 1)
                return {&s.gam1983_female_lambda, &s.gam1983_female_modal_age,
                        &s.gam1983_female_dispersion};
            return {&s.gam1983_unisex_lambda, &s.gam1983_unisex_modal_age,
                    &s.gam1983_unisex_dispersion};
        case MortalityTable::up1994:
            if (gender_code == 0)
                return {&s.up1994_male_lambda, &s.up1994_male_modal_age, &s.up1994_male_dispersion};
            if (gender_code == 1)
                return {&s.up1994_female_lambda, &s.up1994_female_modal_age,
                        &s.up1994_female_dispersion};
            return {&s.up1994_unisex_lambda, &s.up1994_unisex_modal_age,
                    &s.up1994_unisex_dispersion};
        case MortalityTable::iam2000:
            if (gender_code == 0)
                return {&s.iam2000_male_lambda, &s.iam2000_male_modal_age,
                        &s.iam2000_male_dispersion};
            if (gender_code == 1)
                return {&s.iam2000_female_lambda, &s.iam2000_female_modal_age,
                        &s.iam2000_female_dispersion};
            return {&s.iam2000_unisex_lambda, &s.iam2000_unisex_modal_age,
                    &s.iam2000_unisex_dispersion};
        case MortalityTable::rp2000: break;
    }
    if (gender_code == 0)
        return {&s.rp2000_male_lambda, &s.rp2000_male_modal_age, &s.rp2000_male_dispersion};
    if (gender_code == 1)
        return {&s.rp2000_female_lambda, &s.rp2000_female_modal_age, &s.rp2000_female_dispersion};
    return {&s.rp2000_unisex_lambda, &s.rp2000_unisex_modal_age, &s.rp2000_unisex_dispersion};
}

// Row of a current age: Int(age - 50 + 1) - 1, which is age - 50 for the
// whole ages 50..90 the input screen offers. Any other age (only the command
// line can ask for one) is held to the nearest row instead of reading past
// the table; NaN reads row 0.
int row_for_age(double current_age) {
    const double row = std::floor(current_age - 50.0 + 1.0) - 1.0;
    if (!(row >= 0.0)) return 0;
    if (row > kMortalityRows - 1) return kMortalityRows - 1;
    return static_cast<int>(row);
}

}  // namespace

MortalityTable annuity_table_for_code(int annuity_table_code) {
    return annuity_table_code == 1 ? MortalityTable::gam1983 : MortalityTable::iam2000;
}

MortalityTable ruin_table_for_code(int ruin_table_code) {
    if (ruin_table_code == 1) return MortalityTable::up1994;
    if (ruin_table_code == 2) return MortalityTable::iam2000;
    return MortalityTable::rp2000;
}

void load_mortality_tables(AnalysisState& state) {
    fill_mortality_arrays(state);
    state.asset_correlation = {0.0, 0.0, 0.0, 0.5, 0.0, 0.0};
}

GompertzMakehamParams select_mortality_parameters(const AnalysisState& state, MortalityTable table,
                                                  int gender_code, double current_age,
                                                  int projection_years) {
    const ParameterArrays arrays = arrays_for(state, table, gender_code);
    const auto i = static_cast<std::size_t>(row_for_age(current_age));
    GompertzMakehamParams p;
    p.lambda = (*arrays.lambda)[i];
    p.modal_age = (*arrays.modal_age)[i] + 0.067 * static_cast<double>(projection_years);
    p.dispersion = (*arrays.dispersion)[i];
    return p;
}

}  // namespace quorrel
