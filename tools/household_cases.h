// Households the refined engine is checked against the simulation on,
// shared by household_check and the engine tests. Each applies to a state
// holding the input screen's defaults (gender code 0 male, 1 female).
#pragma once

#include <functional>
#include <vector>

#include "check_cases.h"
#include "record/analysis_state.h"

namespace quorrel::check_cases {

struct HouseholdCheckCase {
    const char* name;
    std::function<void(AnalysisState&)> change;
};

inline const std::vector<HouseholdCheckCase>& household_check_cases() {
    static const std::vector<HouseholdCheckCase> cases = {
        // A wife of 63 and a husband of 72 with a CPI-linked pension, 60%
        // of it to his widow.
        {"older_husband",
         [](AnalysisState& s) {
             s.current_age = 63;
             s.gender_code = 1;
             s.spouse_age = 72;
             s.spouse_gender_code = 0;
             s.spouse_pension_cpi_income = 15000;
             s.survivor_spending = 0.7;
             s.survivor_share = 0.6;
         }},
        // A husband of 66 and a wife of 58 with her own pension.
        {"younger_wife_pension",
         [](AnalysisState& s) {
             s.current_age = 66;
             s.gender_code = 0;
             s.spouse_age = 58;
             s.spouse_gender_code = 1;
             s.spouse_pension_cpi_income = 12000;
             s.survivor_spending = 0.75;
             s.survivor_share = 0.5;
         }},
        // Pensions and all three annuities bought, as joint and survivor
        // annuities on a husband of 68 and a wife of 65.
        {"annuities_bought",
         [](AnalysisState& s) {
             pensions_and_annuities(s);
             s.current_age = 68;
             s.gender_code = 0;
             s.spouse_age = 65;
             s.spouse_gender_code = 1;
             s.survivor_spending = 0.7;
             s.survivor_share = 0.6;
         }},
        // A survivor who spends 40% of the couple's target.
        {"low_survivor_spending",
         [](AnalysisState& s) {
             s.spouse_age = 62;
             s.spouse_gender_code = 1;
             s.survivor_spending = 0.4;
             s.survivor_share = 0.6;
         }},
    };
    return cases;
}

}  // namespace quorrel::check_cases
