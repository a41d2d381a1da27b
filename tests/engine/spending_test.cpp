// Spending percentiles from a wealth distribution, against the percentiles
// of the spending of every path listed one by one: ruined paths spend their
// annuity income, which may lie above the floor, so spending need not follow
// wealth's order there.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "engine/model/spending.h"

namespace quorrel {
namespace {

using engine::Model;
using engine::SpendingRule;

struct SpendingCase {
    const char* name;
    SpendingRule rule;
    double rate, floor, ceiling;
    double ruined, annuity_income;
    std::vector<std::pair<double, double>> wealth;  // (wealth, probability), ruin aside
};

class SpendingPercentiles : public ::testing::TestWithParam<SpendingCase> {};

TEST_P(SpendingPercentiles, AsTheSortedSpendingOfEveryPath) {
    const SpendingCase& c = GetParam();
    Model m;
    m.spending_rule = c.rule;
    m.spending_rate = c.rate;
    m.spending_floor = c.floor;
    m.spending_ceiling = c.ceiling;
    // P(wealth <= level), ruin counting as wealth 0.
    const WealthBelow below = [&c](double level) {
        double p = c.ruined;
        for (const auto& [x, w] : c.wealth) p += x <= level ? w : 0;
        return p;
    };
    // Every path's spending, sorted, with its probability.
    std::vector<std::pair<double, double>> spent = {{c.annuity_income, c.ruined}};
    for (const auto& [x, w] : c.wealth) {
        const double s = c.rule == SpendingRule::fixed
                             ? 1.0
                             : std::min(std::max(c.rate * x, c.floor), c.ceiling);
        spent.emplace_back(s, w);
    }
    std::sort(spent.begin(), spent.end());
    for (double q : {0.05, 0.25, 0.45, 0.55, 0.77}) {
        double cumulative = 0, expected = spent.back().first;
        for (const auto& [s, w] : spent) {
            cumulative += w;
            if (cumulative >= q - 1e-12) {
                expected = s;
                break;
            }
        }
        EXPECT_NEAR(spending_quantile(m, below, c.annuity_income, q, 100), expected, 1e-10)
            << "q " << q;
    }
    // At the floor: wealth up to floor / rate, ruin included; the fixed rule has none.
    const double at_floor =
        c.rule == SpendingRule::fixed ? 0.0 : below(c.floor / c.rate);
    EXPECT_EQ(spending_at_floor(m, below), at_floor);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpendingPercentiles,
    ::testing::Values(
        SpendingCase{"percent_annuity_below_floor", SpendingRule::percent, 0.05, 0.6, 1.5, 0.1,
                     0.2, {{5, 0.2}, {15, 0.3}, {25, 0.2}, {40, 0.2}}},
        // Ruined paths spend 0.7, more than the floor's 0.6.
        SpendingCase{"percent_annuity_above_floor", SpendingRule::percent, 0.05, 0.6, 1.5, 0.3,
                     0.7, {{5, 0.1}, {15, 0.3}, {25, 0.2}, {40, 0.1}}},
        SpendingCase{"percent_ruin_beyond_the_median", SpendingRule::percent, 0.04, 0.5, 2, 0.6,
                     0.1, {{30, 0.2}, {60, 0.2}}},
        SpendingCase{"fixed", SpendingRule::fixed, 0, 1, 1, 0.3, 0.4, {{5, 0.4}, {30, 0.3}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorrel
