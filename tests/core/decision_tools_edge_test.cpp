// The wealth solve where the answer lies beyond 60 times the target income:
// the limit is on the wealth left after the purchases, so large purchases
// move the allowed range up, and the solve must find the answer there.
#include <gtest/gtest.h>

#include <string>

#include "analysis/decision_tools.h"
#include "analysis/defaults.h"
#include "engine/refined/refined.h"

namespace quorrel {
namespace {

struct EdgeCase {
    std::string name;
    double purchase_variable, purchase_nominal, probability;
};

class WealthSolveAtTheEdge : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(WealthSolveAtTheEdge, FindsTheWealthBeyondSixtyTimesTheTarget) {
    const EdgeCase& c = GetParam();
    AnalysisState inputs;
    apply_input_defaults(inputs);
    inputs.purchase_variable = c.purchase_variable;
    inputs.purchase_nominal = c.purchase_nominal;
    inputs.liquid_wealth = 3500000;
    const double purchases = c.purchase_variable + c.purchase_nominal;
    const SpendingSolution s =
        solve_sustainable_spending(inputs, SolveFor::wealth, c.probability);
    ASSERT_TRUE(s.found) << s.message;
    // Beyond the limit a bracket ignoring the purchases would stop at, and
    // within the one that counts them.
    EXPECT_GT(s.value, 60 * inputs.target_income);
    EXPECT_LT(s.value, purchases + 60 * inputs.target_income);
    // Fed back, the amount gives the probability; a thousand less gives more.
    AnalysisState at = inputs;
    at.liquid_wealth = s.value;
    EXPECT_NEAR(refined_lifetime_ruin(prepared_for_engine(at)).value, c.probability,
                kSolveProbabilityTolerance);
    at.liquid_wealth = s.value - 1000;
    EXPECT_GT(refined_lifetime_ruin(prepared_for_engine(at)).value, c.probability);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WealthSolveAtTheEdge,
    ::testing::Values(EdgeCase{"variable_lowest_probability", 2000000, 0,
                               kSolveLowestProbability},
                      EdgeCase{"variable_default_probability", 2200000, 0, kSolveDefaultProbability}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quorrel
