// The refined figures against the simulation: the rule of agreement at its
// edges, which figure of the record each verdict belongs to, and the default
// case, whose refined figures a simulation bears out.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "engine/stages/cross_check.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/refined/refined.h"
#include "engine_test_support.h"

namespace quorrel {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct RuleCase {
    const char* name;
    double figure, error_estimate;
    McEstimate simulated;
    double floor;
    Agreement expected;
};

class AgreementRule : public ::testing::TestWithParam<RuleCase> {};

TEST_P(AgreementRule, ThreeStandardErrorsPlusTheEstimate) {
    const RuleCase& c = GetParam();
    EXPECT_EQ(compare_with_simulation(c.figure, c.error_estimate, c.simulated, c.floor),
              c.expected);
}

// 3 x 0.01 + 0.002 = 0.032 is the allowance of the first cases.
INSTANTIATE_TEST_SUITE_P(
    Cases, AgreementRule,
    ::testing::Values(
        RuleCase{"equal", 0.4, 0.002, {0.4, 0.01}, 0, Agreement::agrees},
        RuleCase{"just_inside_above", 0.4319, 0.002, {0.4, 0.01}, 0, Agreement::agrees},
        RuleCase{"just_outside_above", 0.4321, 0.002, {0.4, 0.01}, 0, Agreement::disagrees},
        RuleCase{"just_inside_below", 0.3681, 0.002, {0.4, 0.01}, 0, Agreement::agrees},
        RuleCase{"just_outside_below", 0.3679, 0.002, {0.4, 0.01}, 0, Agreement::disagrees},
        // Without its error estimate the figure would be 1.1 standard errors
        // too far; with it, inside.
        RuleCase{"estimate_widens", 0.5, 0.005, {0.4877, 0.003}, 0, Agreement::agrees},
        RuleCase{"estimate_zero", 0.5, 0, {0.4877, 0.003}, 0, Agreement::disagrees},
        // No path ruined among 10,000: zero standard error. A figure of
        // 2/10,000 still agrees through the floor of one path in n; 4 do not.
        RuleCase{"zero_se_floor_inside", 2e-4, 0, {0, 0}, 1e-4, Agreement::agrees},
        RuleCase{"zero_se_floor_outside", 4e-4, 0, {0, 0}, 1e-4, Agreement::disagrees},
        RuleCase{"zero_se_floor_all_ruined", 1 - 2e-4, 0, {1, 0}, 1e-4, Agreement::agrees},
        RuleCase{"zero_se_no_floor", 0.001, 0, {0, 0}, 0, Agreement::disagrees},
        RuleCase{"zero_se_equal", 0, 0, {0, 0}, 0, Agreement::agrees},
        // A floor below the standard error changes nothing.
        RuleCase{"floor_below_se", 0.4321, 0.002, {0.4, 0.01}, 1e-4, Agreement::disagrees},
        RuleCase{"se_not_estimated", 0.4, 0.002, {0.4, kNaN}, 0, Agreement::unknown},
        RuleCase{"se_infinite", 0.4, 0.002, {0.4, kInf}, 0, Agreement::unknown},
        RuleCase{"figure_not_a_number", kNaN, 0.002, {0.4, 0.01}, 0, Agreement::unknown},
        RuleCase{"estimate_not_a_number", 0.4, kNaN, {0.4, 0.01}, 0, Agreement::unknown}),
    [](const auto& info) { return std::string(info.param.name); });

// A refined record equal to its "simulation" but for the named figures.
struct Pair {
    ResultsRecord record;
    MonteCarloResults mc;
};

Pair agreeing_pair(long paths) {
    Pair p;
    p.record.refined = true;
    p.mc.paths = paths;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            p.record.ruin_grid[r][c] = 0.1 * (r + 1) + 0.01 * c;
            p.mc.ruin[r][c] = {p.record.ruin_grid[r][c], 0.002};
        }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            p.record.estate_grid[r][c] = 1.0 + r + 0.1 * c;
            p.mc.estate[r][c] = {p.record.estate_grid[r][c], 0.01};
        }
    p.record.expected_ruin_age = 95;
    p.mc.expected_ruin_age = {95, 0.1};
    for (int i = 0; i < 20; ++i) {
        p.record.expected_income[i] = 1 - 0.01 * i;
        p.mc.expected_income[i] = {p.record.expected_income[i], 0.001};
    }
    return p;
}

TEST(CrossCheck, EachVerdictBelongsToItsOwnFigure) {
    Pair p = agreeing_pair(10000);
    EXPECT_FALSE(cross_check(p.record, p.mc).any_disagreement());

    p.record.ruin_grid[2][3] += 0.007;  // 3.5 standard errors
    p.record.ruin_error[1][2] = 0.01;   // wide enough for the next one
    p.record.ruin_grid[1][2] += 0.015;
    p.record.estate_grid[0][1] += 0.031;
    p.record.expected_ruin_age -= 0.31;
    p.record.expected_income[17] += 0.0031;
    // A zero standard error of a probability or an income falls back to
    // one path in 10,000; an estate's does not.
    p.mc.ruin[0][0] = {0, 0};
    p.record.ruin_grid[0][0] = 2.5e-4;
    p.mc.expected_income[0] = {1, 0};
    p.record.expected_income[0] = 1 - 2.5e-4;
    p.mc.estate[2][2] = {0, 0};
    p.record.estate_grid[2][2] = 1e-6;

    const CrossCheck check = cross_check(p.record, p.mc);
    EXPECT_TRUE(check.any_disagreement());
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(check.ruin[r][c] == Agreement::disagrees, r == 2 && c == 3) << r << c;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(check.estate[r][c] == Agreement::disagrees,
                      (r == 0 && c == 1) || (r == 2 && c == 2))
                << r << c;
    EXPECT_EQ(check.expected_ruin_age, Agreement::disagrees);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(check.expected_income[i] == Agreement::disagrees, i == 17) << i;
}

TEST(CrossCheck, StandardFiguresHaveNoVerdict) {
    Pair p = agreeing_pair(10000);
    p.record.refined = false;
    p.record.ruin_grid[0][0] = 0.9;
    const CrossCheck check = cross_check(p.record, p.mc);
    EXPECT_FALSE(check.any_disagreement());
    for (const auto& row : check.ruin)
        for (Agreement a : row) EXPECT_EQ(a, Agreement::unknown);
    EXPECT_EQ(check.expected_ruin_age, Agreement::unknown);
}

// The default case's refined figures against a simulation of 20,000 paths:
// every figure agrees, and moving the lifetime figure by five of its
// standard errors is caught.
TEST(CrossCheck, DefaultCaseAgreesWithItsSimulation) {
    AnalysisState state = test::default_state();
    MonteCarloOptions options;
    options.paths = 20000;
    options.seed = 5;
    const MonteCarloResults mc = run_monte_carlo(state, options);
    test::RecordingSink sink;
    RefinedResults refined;
    compute_refined_results(state, sink, refined);
    ResultsRecord record = refined.record;
    record.refined = true;
    record.ruin_error = refined.ruin_error;
    record.estate_error = refined.estate_error;
    record.expected_ruin_age_error = refined.expected_ruin_age_error;
    record.expected_income_error = refined.expected_income_error;

    CrossCheck check = cross_check(record, mc);
    EXPECT_FALSE(check.any_disagreement());
    for (const auto& row : check.ruin)
        for (Agreement a : row) EXPECT_NE(a, Agreement::unknown);
    EXPECT_EQ(check.expected_ruin_age, Agreement::agrees);

    record.ruin_grid[0][3] += 5 * mc.ruin[0][3].standard_error + refined.ruin_error[0][3];
    check = cross_check(record, mc);
    EXPECT_EQ(check.ruin[0][3], Agreement::disagrees);
}

}  // namespace
}  // namespace quorrel
