#include "analysis/decision_tools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/defaults.h"
#include "engine/refined/refined.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

AnalysisState default_inputs() {
    AnalysisState s;
    apply_input_defaults(s);
    return s;
}

// The whole refined calculation on `inputs`, as Calculate runs it.
RefinedResults full_refined(const AnalysisState& inputs) {
    AnalysisState s = prepared_for_engine(inputs);
    IgnoringSink sink;
    RefinedResults out;
    compute_refined_results(s, sink, out);
    return out;
}

struct SolveCase {
    SolveFor mode;
    double probability;
    double pension_cpi;
};

class SpendingSolve : public ::testing::TestWithParam<SolveCase> {};

TEST_P(SpendingSolve, TheSolvedAmountFedBackGivesTheChosenProbability) {
    const SolveCase& c = GetParam();
    AnalysisState inputs = default_inputs();
    inputs.pension_cpi_income = c.pension_cpi;
    const SpendingSolution solution = solve_sustainable_spending(inputs, c.mode, c.probability);
    ASSERT_TRUE(solution.found) << solution.message;
    EXPECT_EQ(solution.value, std::floor(solution.value));
    EXPECT_LT(solution.iterations, 30);
    (c.mode == SolveFor::income ? inputs.target_income : inputs.liquid_wealth) = solution.value;
    const double lifetime = full_refined(inputs).record.ruin_grid[0][3];
    EXPECT_NEAR(lifetime, c.probability, kSolveProbabilityTolerance);
    EXPECT_NEAR(solution.lifetime_ruin, lifetime, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Cases, SpendingSolve,
                         ::testing::Values(SolveCase{SolveFor::income, 0.05, 0},
                                           SolveCase{SolveFor::income, 0.01, 0},
                                           SolveCase{SolveFor::income, 0.30, 8000},
                                           SolveCase{SolveFor::wealth, 0.05, 0},
                                           SolveCase{SolveFor::wealth, 0.20, 12000}));

TEST(SpendingSolveLimits, NoAnswerIsExplained) {
    struct Row {
        SolveFor mode;
        double probability;
        double pension_cpi;
        const char* message_start;
        double liquid_wealth = 0;  // 0: the default
        double purchase_cpi = 0;
    };
    for (const Row& r :
         {Row{SolveFor::wealth, 0.05, 40000, "No wealth is needed"},
          // The purchase is paid from the wealth, so it is never "no wealth".
          Row{SolveFor::wealth, 0.05, 0,
              "The annuity purchases alone need $800,000; no wealth beyond them is needed", 0,
              800000},
          Row{SolveFor::wealth, 0.05, 40000,
              "The annuity purchases alone need $1,000; no wealth beyond them is needed", 0, 1000},
          Row{SolveFor::income, 0.001, 0,
              "The lifetime ruin probability to solve for must be between"},
          Row{SolveFor::wealth, 0.6, 0,
              "The lifetime ruin probability to solve for must be between"},
          // All wealth in the annuity: the probability jumps from 0 past the target.
          Row{SolveFor::income, 0.05, 0,
              "No target income gives a lifetime ruin probability of 5.00%", 100000, 100000}}) {
        AnalysisState inputs = default_inputs();
        inputs.pension_cpi_income = r.pension_cpi;
        if (r.liquid_wealth > 0) inputs.liquid_wealth = r.liquid_wealth;
        inputs.purchase_cpi = r.purchase_cpi;
        const SpendingSolution s = solve_sustainable_spending(inputs, r.mode, r.probability);
        EXPECT_FALSE(s.found);
        EXPECT_EQ(s.message.rfind(r.message_start, 0), 0u) << s.message;
    }
}

TEST(RefinedMonotone, MoreWealthNeverRaisesTheRuinProbability) {
    double previous_life = 2, previous_20 = 2;
    for (double wealth :
         {300000.0, 450000.0, 600000.0, 750000.0, 800000.0, 812345.0, 900000.0, 1200000.0}) {
        AnalysisState inputs = default_inputs();
        inputs.liquid_wealth = wealth;
        const RefinedLevelZero f = refined_level_zero(prepared_for_engine(inputs));
        EXPECT_LE(f.lifetime.value, previous_life) << wealth;
        EXPECT_LE(f.ruin[1].value, previous_20) << wealth;
        previous_life = f.lifetime.value;
        previous_20 = f.ruin[1].value;
    }
}

TEST(AnnuitySweepTest, ShareZeroIsThePlainCalculationAndAllWealthInACpiAnnuityCoversTheTarget) {
    const AnalysisState inputs = default_inputs();
    const AnnuitySweep sweep = sweep_annuitization(inputs, AnnuityKind::cpi);
    ASSERT_EQ(sweep.points.size(), 21u);
    const RefinedResults plain = full_refined(inputs);
    const SweepPoint& zero = sweep.points[0];
    EXPECT_EQ(zero.purchase, 0);
    EXPECT_EQ(zero.lifetime_ruin, plain.record.ruin_grid[0][3]);
    EXPECT_EQ(zero.ruin_10, plain.record.ruin_grid[0][0]);
    EXPECT_EQ(zero.ruin_20, plain.record.ruin_grid[0][1]);
    EXPECT_EQ(zero.ruin_30, plain.record.ruin_grid[0][2]);
    EXPECT_DOUBLE_EQ(zero.median_estate_20, plain.record.estate_grid[1][1] * 800000);

    // All 800,000 in a CPI-linked annuity buys 800,000 / 11.3925 = 70,222 a
    // year against a target of 40,000: nothing can run out, the whole target
    // is met, and the surplus of 0.7555 targets a year, saved at the
    // portfolio's 3.3%, grows to 0.7555 (e^(0.033 x 20) - 1) / 0.033 = 21.6
    // targets (862,000) in 20 years; volatility puts the median a few percent
    // below that.
    const SweepPoint& all = sweep.points[20];
    EXPECT_EQ(all.share, 1);
    EXPECT_EQ(all.purchase, 800000);
    EXPECT_LT(all.lifetime_ruin, 1e-9);
    EXPECT_EQ(all.expected_income_20, 1);
    EXPECT_EQ(all.expected_income_30, 1);
    EXPECT_NEAR(all.median_estate_20, 0.97 * 862000, 0.03 * 862000);
    // A CPI-linked annuity only removes risk here, so the lifetime figure
    // falls with the share, and the best share is the first that removes it.
    for (std::size_t k = 1; k < sweep.points.size(); ++k) {
        EXPECT_LE(sweep.points[k].lifetime_ruin, sweep.points[k - 1].lifetime_ruin + 1e-9) << k;
    }
    ASSERT_TRUE(sweep.first_below.has_value());
    EXPECT_LT(sweep.points[*sweep.first_below].lifetime_ruin, 0.05);
    EXPECT_GE(sweep.points[*sweep.first_below - 1].lifetime_ruin, 0.05);
    ASSERT_GT(sweep.best, 0);
    EXPECT_LT(sweep.points[sweep.best].lifetime_ruin, sweep.points[sweep.best - 1].lifetime_ruin);
    for (const SweepPoint& p : sweep.points)
        EXPECT_GE(p.lifetime_ruin, sweep.points[sweep.best].lifetime_ruin);
}

TEST(DecisionTools, CancelStopsBeforeTheNextTrial) {
    std::atomic<bool> cancel{true};
    ToolControl control;
    control.cancel = &cancel;
    EXPECT_TRUE(
        solve_sustainable_spending(default_inputs(), SolveFor::income, 0.05, control).cancelled);
    EXPECT_TRUE(
        sweep_annuitization(default_inputs(), AnnuityKind::nominal, 0.05, control).cancelled);
    EXPECT_EQ(annuity_kind_from_name("variable"), AnnuityKind::variable);
    EXPECT_FALSE(annuity_kind_from_name("gold").has_value());
}

}  // namespace
}  // namespace quorrel
