// The advisory fee: the same figures, to the bit, as every asset class's mean
// lowered by the fee, in each scheme; the variable annuity's income left as it
// is; and ruin that never becomes less likely as the fee rises.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "engine/model/wealth_model.h"
#include "engine/simulation/monte_carlo.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

struct FeeCalculation {
    AnalysisState state;
    ResultsRecord results;
};

FeeCalculation calculated(AnalysisState s, Accuracy accuracy) {
    FeeCalculation c{std::move(s), {}};
    QuietHooks hooks;
    EXPECT_EQ(run_calculation(c.state, hooks, c.results, accuracy), CalculationOutcome::completed)
        << hooks.message;
    return c;
}

AnalysisState with_fee(AnalysisState s, int fee_index) {
    write_input(s, input_row("advisory_fee_percent"), {.index = fee_index});
    return s;
}

// The same case without a fee, each mean lowered by what the fee list gives.
AnalysisState means_lowered(AnalysisState s, int fee_index) {
    AnalysisState fee;
    write_input(fee, input_row("advisory_fee_percent"), {.index = fee_index});
    for (double AnalysisState::*mean :
         {&AnalysisState::mean_stock, &AnalysisState::mean_nomi_bond,
          &AnalysisState::mean_real_bond, &AnalysisState::mean_cash, &AnalysisState::mean_estate})
        s.*mean = s.*mean - fee.advisory_fee;
    return s;
}

struct FeeCase {
    const char* name;
    std::vector<InputChange> changes;
    int fee_index;  // 20 is 1%
};

class FeeAsLowerMeans : public ::testing::TestWithParam<FeeCase> {};

TEST_P(FeeAsLowerMeans, SameFiguresToTheBitInEveryScheme) {
    const FeeCase& c = GetParam();
    const AnalysisState base = case_of(c.changes);
    for (Accuracy accuracy : {Accuracy::standard, Accuracy::refined}) {
        const FeeCalculation fee = calculated(with_fee(base, c.fee_index), accuracy);
        const FeeCalculation lower = calculated(means_lowered(base, c.fee_index), accuracy);
        const bool refined = accuracy == Accuracy::refined;
        EXPECT_EQ(fee.results.ruin_grid, lower.results.ruin_grid) << refined;
        EXPECT_EQ(fee.results.estate_grid, lower.results.estate_grid) << refined;
        EXPECT_EQ(fee.results.expected_ruin_age, lower.results.expected_ruin_age) << refined;
        EXPECT_EQ(fee.results.expected_income, lower.results.expected_income) << refined;
        EXPECT_EQ(fee.results.cells, lower.results.cells) << refined;
        EXPECT_EQ(fee.results.ruin_error, lower.results.ruin_error) << refined;
        EXPECT_EQ(fee.results.estate_error, lower.results.estate_error) << refined;
        if (refined) continue;

        // The fee must change something, or the comparison above proves nothing.
        const FeeCalculation none = calculated(base, accuracy);
        EXPECT_GT(fee.results.ruin_grid[0][3], none.results.ruin_grid[0][3]);

        // The simulation of the same seed walks the same paths.
        MonteCarloOptions options;
        options.paths = 2000;
        options.seed = 11;
        options.threads = 1;
        const MonteCarloResults a = run_monte_carlo(fee.state, options);
        const MonteCarloResults b = run_monte_carlo(lower.state, options);
        for (std::size_t row = 0; row < 4; ++row)
            for (std::size_t col = 0; col < 4; ++col)
                EXPECT_EQ(a.ruin[row][col].value, b.ruin[row][col].value) << row << " " << col;
        EXPECT_EQ(a.estate[1][1].value, b.estate[1][1].value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FeeAsLowerMeans,
    ::testing::Values(FeeCase{"defaults", {}, 20},
                      FeeCase{"pensions_and_a_switch", kPensionsAndSwitch, 25},
                      FeeCase{"canada_older_highest_fee",
                              {{"market", {.index = 1}}, {"current_age", {.index = 25}}},
                              60}),
    [](const auto& info) { return std::string(info.param.name); });

// A variable annuity's income follows the return before the fee; lowering
// the means instead lowers it.
TEST(AdvisoryFee, VariableAnnuityIncomeIsNotCharged) {
    const AnalysisState base = case_of({{"purchase_variable", {.amount = 150000}},
                                        {"pension_variable_income", {.amount = 3000}},
                                        {"air_percent", {.index = 1}}});
    const FeeCalculation none = calculated(base, Accuracy::standard);
    const FeeCalculation fee = calculated(with_fee(base, 40), Accuracy::standard);
    const FeeCalculation lower = calculated(means_lowered(base, 40), Accuracy::standard);
    for (double T : {5.0, 10.0, 20.0, 30.0}) {
        const double untouched = annuity_income_ratio(none.state, T);
        EXPECT_NEAR(annuity_income_ratio(fee.state, T), untouched, 1e-13 * untouched) << T;
        EXPECT_LT(annuity_income_ratio(lower.state, T), untouched * (1 - 1e-3)) << T;
    }
    EXPECT_GT(fee.results.ruin_grid[0][3], none.results.ruin_grid[0][3]);
}

// A higher fee leaves less to live on: no ruin probability falls, beyond the
// refined figures' own error estimates.
TEST(AdvisoryFee, RuinNeverFallsAsTheFeeRises) {
    const std::vector<std::vector<InputChange>> cases = {
        {},
        {{"pension_cpi_income", {.amount = 12000}}, {"market", {.index = 1}}},
    };
    const int fees[] = {0, 10, 20, 40, 60};  // 0%, 0.5%, 1%, 2%, 3%
    for (std::size_t k = 0; k < cases.size(); ++k) {
        std::vector<FeeCalculation> runs;
        for (int fee : fees)
            runs.push_back(calculated(with_fee(case_of(cases[k]), fee), Accuracy::refined));
        for (std::size_t i = 1; i < runs.size(); ++i) {
            const ResultsRecord& lo = runs[i - 1].results;
            const ResultsRecord& hi = runs[i].results;
            for (std::size_t row = 0; row < 4; ++row)
                for (std::size_t col = 0; col < 4; ++col)
                    EXPECT_GE(
                        hi.ruin_grid[row][col],
                        lo.ruin_grid[row][col] - lo.ruin_error[row][col] - hi.ruin_error[row][col])
                        << "case " << k << " fee " << fees[i] << " cell " << row << "," << col;
        }
        // Three points a year over a lifetime matter.
        EXPECT_GT(runs.back().results.ruin_grid[0][3], runs.front().results.ruin_grid[0][3] + 0.05)
            << "case " << k;
    }
}

}  // namespace
}  // namespace quorrel
