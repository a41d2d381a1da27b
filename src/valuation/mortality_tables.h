// Built-in Gompertz-Makeham parameter tables and the one selection rule.
#pragma once

#include "record/analysis_state.h"

namespace quorrel {

struct GompertzMakehamParams {
    double lambda = 0;      // age-independent force of mortality per year
    double modal_age = 0;   // years of age
    double dispersion = 0;  // years
};

enum class MortalityTable { gam1983, up1994, iam2000, rp2000 };

// annuity_table_code 1 is GAM 1983, anything else IAM 2000.
MortalityTable annuity_table_for_code(int annuity_table_code);
// ruin_table_code 1 is UP 1994, 2 IAM 2000, anything else RP2000.
MortalityTable ruin_table_for_code(int ruin_table_code);

// Fills the 36 parameter arrays and asset_correlation.
void load_mortality_tables(AnalysisState& state);

// The triple for a person of current_age (whole ages 50..90) under table and
// gender, with the modal age moved up 0.067 years per projected year.
// gender_code 0 male, 1 female, anything else unisex.
GompertzMakehamParams select_mortality_parameters(const AnalysisState& state, MortalityTable table,
                                                  int gender_code, double current_age,
                                                  int projection_years);

}  // namespace quorrel
