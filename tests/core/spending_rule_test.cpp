// The percent spending rule: a rule that always spends the target is the
// fixed rule, figure for figure; without floor, ceiling or income wealth is a
// geometric Brownian motion whose spending has a lognormal closed form; and
// the refined figures agree with a simulation of the same rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <boost/math/distributions/normal.hpp>

#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/stages/cross_check.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

struct Calculated {
    AnalysisState state;
    ResultsRecord results;
};

Calculated calculated(AnalysisState s) {
    Calculated c{std::move(s), {}};
    QuietHooks hooks;
    EXPECT_EQ(run_calculation(c.state, hooks, c.results, Accuracy::refined),
              CalculationOutcome::completed)
        << hooks.message;
    return c;
}

AnalysisState percent(AnalysisState s, double floor, double ceiling, int rate_index = 30) {
    write_input(s, input_row("spending_rule"), {.index = 1});
    write_input(s, input_row("spending_rate_percent"), {.index = rate_index});
    s.spending_floor = floor;
    s.spending_ceiling = ceiling;
    return s;
}

MonteCarloResults simulated(const AnalysisState& prepared, long paths, std::uint64_t seed,
                            double dt = 0) {
    MonteCarloOptions options;
    options.paths = paths;
    options.seed = seed;
    options.dt = dt;
    return run_monte_carlo(prepared, options);
}

struct RuleCase {
    const char* name;
    std::vector<InputChange> changes;
};

class TargetBetweenFloorAndCeiling : public ::testing::TestWithParam<RuleCase> {};

// Floor = ceiling = target: the rule spends 1 at every wealth, and every
// sweep, every figure and every simulated path is the fixed rule's.
TEST_P(TargetBetweenFloorAndCeiling, IsTheFixedRuleFigureForFigure) {
    const AnalysisState base = case_of(GetParam().changes);
    const Calculated fixed = calculated(base);
    const Calculated same = calculated(percent(base, base.target_income, base.target_income));
    const ResultsRecord& a = fixed.results;
    const ResultsRecord& b = same.results;
    EXPECT_EQ(a.ruin_grid, b.ruin_grid);
    EXPECT_EQ(a.ruin_error, b.ruin_error);
    EXPECT_EQ(a.estate_grid, b.estate_grid);
    EXPECT_EQ(a.estate_error, b.estate_error);
    EXPECT_EQ(a.expected_ruin_age, b.expected_ruin_age);
    EXPECT_EQ(a.expected_income, b.expected_income);
    EXPECT_EQ(a.cells, b.cells);
    EXPECT_EQ(a.spending_grid, b.spending_grid);
    // The percent rule sums spending over the wealth distribution, the
    // fixed rule takes the target for every path that still has wealth.
    for (std::size_t i = 0; i < 20; ++i)
        EXPECT_NEAR(a.expected_spending[i], b.expected_spending[i], 1e-9) << i;

    // At one step: the rules' own steps differ.
    const MonteCarloResults mf = simulated(fixed.state, 4000, 5, kFirstOrderStep);
    const MonteCarloResults mp = simulated(same.state, 4000, 5, kFirstOrderStep);
    for (std::size_t row = 0; row < 4; ++row)
        for (std::size_t col = 0; col < 4; ++col)
            EXPECT_EQ(mf.ruin[row][col].value, mp.ruin[row][col].value) << row << " " << col;
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t col = 0; col < 3; ++col)
            EXPECT_EQ(mf.estate[row][col].value, mp.estate[row][col].value) << row << " " << col;

    // The default floor and ceiling must change the figures, or the
    // comparison above proves nothing.
    const Calculated other = calculated(percent(base, 0, 0));
    EXPECT_NE(other.results.ruin_grid[0][2], a.ruin_grid[0][2]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TargetBetweenFloorAndCeiling,
    ::testing::Values(RuleCase{"defaults", {}},
                      RuleCase{"pensions_and_a_switch", kPensionsAndSwitch},
                      // All in cash today: no volatility until the switch, the
                      // certain path followed exactly.
                      RuleCase{"cash_then_stocks",
                               {{"weight_stock_percent", {.index = 0}},
                                {"weight_nomi_bond_percent", {.index = 0}},
                                {"weight_real_bond_percent", {.index = 0}},
                                {"weight_cash_percent", {.index = 100}},
                                {"weight_estate_percent", {.index = 0}},
                                {"later_allocation_years", {.index = 1}}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct GbmCase {
    const char* name;
    int rate_index;  // 30 is 5%
    std::vector<InputChange> changes;
};

class NoFloorNoCeiling : public ::testing::TestWithParam<GbmCase> {};

// Spending r X with no floor, ceiling or income: X is a geometric Brownian
// motion with drift mu - r, so spending at T is lognormal: its q-percentile
// is r x0 exp((mu - r - sigma^2/2) T + sigma sqrt(T) z_q), its mean
// r x0 exp((mu - r) T). (A floor of one cent a year stands for none.)
TEST_P(NoFloorNoCeiling, SpendingIsLognormal) {
    const GbmCase& c = GetParam();
    const Calculated run = calculated(percent(case_of(c.changes), 0.01, 1e12, c.rate_index));
    const AnalysisState& s = run.state;
    const ResultsRecord& r = run.results;
    ASSERT_EQ(s.current_expected_return, s.later_expected_return);
    ASSERT_EQ(s.current_standard_deviation, s.later_standard_deviation);
    const double mu = s.current_expected_return, sigma = s.current_standard_deviation;
    const double rate = s.spending_rate;
    const double start = rate * s.net_investable_wealth;  // spending today, money a year
    const boost::math::normal normal;
    const double q[3] = {0.25, 0.5, 0.75};
    for (std::size_t h = 0; h < 3; ++h) {
        const double T = kGridHorizons[h];
        for (std::size_t k = 0; k < 3; ++k) {
            const double z = boost::math::quantile(normal, q[k]);
            const double exact =
                start * std::exp((mu - rate - 0.5 * sigma * sigma) * T + sigma * std::sqrt(T) * z);
            EXPECT_NEAR(r.spending_grid[h][k], exact, 1e-5 * exact + r.spending_error[h][k])
                << T << " years, q " << q[k];
        }
        EXPECT_LT(r.spending_at_floor[h], 1e-9) << T;
        EXPECT_LT(r.ruin_grid[0][h], 1e-9) << T;
    }
    for (int i = 1; i <= 20; ++i) {
        const double T = expected_income_horizon(s.current_age, i);
        const double exact = rate * s.wealth_ratio * std::exp((mu - rate) * T);
        const auto k = static_cast<std::size_t>(i - 1);
        EXPECT_NEAR(r.expected_spending[k], exact, 1e-9 * exact + r.expected_spending_error[k])
            << T;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoFloorNoCeiling,
    ::testing::Values(GbmCase{"defaults_at_5", 30, {}},
                      GbmCase{"stocks_at_8", 60,
                              {{"weight_stock_percent", {.index = 60}},
                               {"weight_nomi_bond_percent", {.index = 10}},
                               {"weight_real_bond_percent", {.index = 10}},
                               {"weight_cash_percent", {.index = 10}},
                               {"weight_estate_percent", {.index = 10}},
                               {"later_weight_stock_percent", {.index = 60}},
                               {"later_weight_nomi_bond_percent", {.index = 10}},
                               {"later_weight_real_bond_percent", {.index = 10}},
                               {"later_weight_cash_percent", {.index = 10}},
                               {"later_weight_estate_percent", {.index = 10}}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct SimulatedCase {
    const char* name;
    std::vector<InputChange> changes;
    double floor, ceiling;  // money a year; 0: the defaults relative to the target
    int rate_index;
};

class AgainstTheSimulation : public ::testing::TestWithParam<SimulatedCase> {};

// Every refined figure within three of the simulation's standard errors plus
// its own error estimate, and the spending percentiles as the rule applied
// to the simulated wealth percentiles.
TEST_P(AgainstTheSimulation, RefinedFiguresAgree) {
    const SimulatedCase& c = GetParam();
    const Calculated run = calculated(percent(case_of(c.changes), c.floor, c.ceiling, c.rate_index));
    const MonteCarloResults mc = simulated(run.state, 40000, 3);
    const CrossCheck check = cross_check(run.results, mc);
    const auto text = [](Agreement a) { return a == Agreement::disagrees ? "disagrees" : "ok"; };
    for (std::size_t row = 0; row < 4; ++row)
        for (std::size_t col = 0; col < 4; ++col)
            EXPECT_NE(check.ruin[row][col], Agreement::disagrees)
                << "ruin " << row << "," << col << ": " << run.results.ruin_grid[row][col]
                << " simulated " << mc.ruin[row][col].value;
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t col = 0; col < 3; ++col)
            EXPECT_NE(check.estate[row][col], Agreement::disagrees)
                << "estate " << row << "," << col << ": " << run.results.estate_grid[row][col]
                << " simulated " << mc.estate[row][col].value;
    EXPECT_NE(check.expected_ruin_age, Agreement::disagrees) << text(check.expected_ruin_age);
    // The share of paths below floor / rate, counted path by path.
    for (std::size_t h = 0; h < 3; ++h)
        EXPECT_NE(check.spending_at_floor[h], Agreement::disagrees)
            << "at floor " << h << ": " << run.results.spending_at_floor[h] << " simulated "
            << mc.spending_at_floor[h].value;

    // Spending never falls as wealth rises, so the simulated wealth
    // percentile gives the simulated spending percentile.
    const AnalysisState& s = run.state;
    const double floor = c.floor > 0 ? c.floor : 0.75 * s.target_income;
    const double ceiling = c.ceiling > 0 ? c.ceiling : 1.5 * s.target_income;
    const auto spend = [&](double multiple) {
        return std::min(std::max(s.spending_rate * multiple * s.net_investable_wealth, floor),
                        ceiling);
    };
    for (std::size_t h = 0; h < 3; ++h)
        for (std::size_t k = 0; k < 3; ++k) {
            const McEstimate& w = mc.estate[h][k];
            if (!(w.value > 0)) continue;
            const double slope = s.spending_rate * s.net_investable_wealth;
            const double allowed = 3 * slope * w.standard_error + run.results.spending_error[h][k] +
                                   slope * run.results.estate_error[h][k] + 1e-6 * ceiling;
            EXPECT_NEAR(run.results.spending_grid[h][k], spend(w.value), allowed)
                << "spending " << h << "," << k;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AgainstTheSimulation,
    ::testing::Values(SimulatedCase{"defaults", {}, 0, 0, 30},
                      SimulatedCase{"pensions_switch_own_bounds", kPensionsAndSwitch, 24000, 52000,
                                    45},
                      SimulatedCase{"older_high_rate_low_floor",
                                    {{"current_age", {.index = 20}},
                                     {"liquid_wealth", {.amount = 500000}}},
                                    12000,
                                    0,
                                    70}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorrel
