// The solve and the annuity sweep on a household: they solve for and rank by
// the household's lifetime ruin (before the last death), the one its refined
// calculation shows.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/decision_tools.h"
#include "analysis/defaults.h"
#include "engine/refined/household.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

AnalysisState household_inputs(double spouse_age, double survivor_spending,
                               double spouse_pension) {
    AnalysisState s;
    apply_input_defaults(s);
    s.spouse_age = spouse_age;
    s.survivor_spending = survivor_spending;
    s.spouse_pension_cpi_income = spouse_pension;
    return s;
}

// The household's whole refined calculation, as Calculate runs it.
ResultsRecord household_record(const AnalysisState& inputs) {
    AnalysisState s = prepared_for_engine(inputs);
    IgnoringSink sink;
    RefinedResults out;
    compute_household_results(s, sink, out);
    return out.record;
}

struct HouseholdSolveCase {
    const char* name;
    SolveFor mode;
    double probability;
    double spouse_age;
    double survivor_spending;
    double spouse_pension;
};

class HouseholdSolve : public ::testing::TestWithParam<HouseholdSolveCase> {};

TEST_P(HouseholdSolve, TheSolvedAmountFedBackGivesTheChosenProbability) {
    const HouseholdSolveCase& c = GetParam();
    AnalysisState inputs = household_inputs(c.spouse_age, c.survivor_spending, c.spouse_pension);
    if (c.survivor_spending == 1) inputs.survivor_share = 1;
    const SpendingSolution solution = solve_sustainable_spending(inputs, c.mode, c.probability);
    ASSERT_TRUE(solution.found) << solution.message;
    (c.mode == SolveFor::income ? inputs.target_income : inputs.liquid_wealth) = solution.value;
    const ResultsRecord r = household_record(inputs);
    EXPECT_NEAR(r.ruin_grid[0][3], c.probability, kSolveProbabilityTolerance);
    EXPECT_NEAR(solution.lifetime_ruin, r.ruin_grid[0][3], 1e-12);
    if (c.survivor_spending < 1) return;
    // The figure solved for is the household's, not the person's alone: with
    // the whole target and every pension kept by a survivor, the money must
    // last to the later of two deaths, so the answer asks more than the
    // single life's.
    const SpendingSolution alone =
        solve_sustainable_spending(household_inputs(0, 0.7, 0), c.mode, c.probability);
    ASSERT_TRUE(alone.found) << alone.message;
    if (c.mode == SolveFor::income)
        EXPECT_LT(solution.value, alone.value);
    else
        EXPECT_GT(solution.value, alone.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HouseholdSolve,
    ::testing::Values(HouseholdSolveCase{"income_spouse_62", SolveFor::income, 0.05, 62, 0.7, 0},
                      HouseholdSolveCase{"wealth_spouse_66_full_survivor_terms",
                                         SolveFor::wealth, 0.05, 66, 1, 0},
                      HouseholdSolveCase{"wealth_spouse_70_low_survivor_spending",
                                         SolveFor::wealth, 0.10, 70, 0.5, 0},
                      HouseholdSolveCase{"income_spouse_58_pension", SolveFor::income, 0.20, 58,
                                         0.8, 6000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HouseholdAnnuitySweep, ShareZeroIsThePlainHouseholdCalculation) {
    const AnalysisState inputs = household_inputs(62, 0.7, 0);
    const AnnuitySweep sweep = sweep_annuitization(inputs, AnnuityKind::cpi);
    ASSERT_TRUE(sweep.refused.empty()) << sweep.refused;
    ASSERT_EQ(sweep.points.size(), 21u);
    const ResultsRecord plain = household_record(inputs);
    const SweepPoint& zero = sweep.points[0];
    EXPECT_EQ(zero.lifetime_ruin, plain.ruin_grid[0][3]);
    EXPECT_EQ(zero.ruin_10, plain.ruin_grid[0][0]);
    EXPECT_EQ(zero.ruin_20, plain.ruin_grid[0][1]);
    EXPECT_EQ(zero.ruin_30, plain.ruin_grid[0][2]);
    for (int h = 0; h < 3; ++h)
        EXPECT_DOUBLE_EQ((&zero.median_estate_10)[h], plain.estate_grid[h][1] * 800000) << h;
    // At 65 the income chart's horizons are 2.5 years apart: the 8th and
    // 12th fall on 20 and 30 years.
    EXPECT_EQ(zero.expected_income_20, plain.expected_income[7]);
    EXPECT_EQ(zero.expected_income_30, plain.expected_income[11]);
    // The joint-and-survivor CPI annuity only removes risk: the household's
    // lifetime ruin falls with the share.
    for (std::size_t k = 1; k < sweep.points.size(); ++k)
        EXPECT_LE(sweep.points[k].lifetime_ruin, sweep.points[k - 1].lifetime_ruin + 1e-9) << k;
    ASSERT_GE(sweep.best, 0);
    for (const SweepPoint& p : sweep.points)
        EXPECT_GE(p.lifetime_ruin, sweep.points[sweep.best].lifetime_ruin);
}

// A household under a spending rule is refused by the tools in the words
// the analysis uses.
TEST(HouseholdAnnuitySweep, ASpendingRuleIsRefusedAsTheAnalysisRefusesIt) {
    AnalysisState inputs = household_inputs(62, 0.7, 0);
    inputs.spending_rule = 1;
    EXPECT_EQ(sweep_annuitization(inputs, AnnuityKind::cpi).refused, kHouseholdSpendingMessage);
}

// The tools run the refined engine, which has no guardrails: a guardrails
// case is refused by both tools and both solves rather than answered as if
// it spent by the fixed rule.
TEST(GuardrailsTools, TheSolvesAndTheSweepAreRefused) {
    AnalysisState inputs;
    apply_input_defaults(inputs);
    inputs.spending_rule = kGuardrailsRule;
    for (SolveFor mode : {SolveFor::income, SolveFor::wealth}) {
        const SpendingSolution solved = solve_sustainable_spending(inputs, mode, 0.05);
        EXPECT_FALSE(solved.found);
        EXPECT_EQ(solved.message, kGuardrailsToolMessage);
    }
    EXPECT_EQ(sweep_annuitization(inputs, AnnuityKind::cpi).refused, kGuardrailsToolMessage);
}

}  // namespace
}  // namespace quorrel
