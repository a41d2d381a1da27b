// Input changes of the cases the engines are checked and timed on, shared by
// refined_check, the benchmarks and the simulation tests. Each applies to a
// state holding the input screen's defaults.
#pragma once

#include "record/analysis_state.h"

namespace quorrel::check_cases {

// Riskless cash for ten years, then 60/40 stocks and nominal bonds.
inline void cash_then_sixty_forty(AnalysisState& s) {
    s.weight_stock = s.weight_nomi_bond = s.weight_real_bond = s.weight_estate = 0;
    s.weight_cash = 1;
    s.later_weight_stock = 0.6;
    s.later_weight_nomi_bond = 0.4;
    s.later_weight_real_bond = s.later_weight_cash = s.later_weight_estate = 0;
    s.later_allocation_years = 10;
}

// Coefficients that change every step: a CPI-linked and a nominal pension, a
// 2% COLA, 100,000 on each of the three annuities (AIR 4%), target 60,000.
inline void pensions_and_annuities(AnalysisState& s) {
    s.pension_cpi_income = 10000;
    s.pension_nominal_income = 8000;
    s.cola_rate = 0.02;
    s.purchase_nominal = 100000;
    s.purchase_cpi = 100000;
    s.purchase_variable = 100000;
    s.air_rate = 0.04;
    s.target_income = 60000;
}

}  // namespace quorrel::check_cases
