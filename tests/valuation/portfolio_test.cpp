#include <gtest/gtest.h>

#include <cmath>

#include "valuation/mortality_tables.h"
#include "valuation/portfolio.h"

namespace quorrel {
namespace {

AnalysisState market() {
    AnalysisState s;
    load_mortality_tables(s);  // fills the correlations
    s.mean_stock = 0.07;
    s.mean_nomi_bond = 0.03;
    s.mean_real_bond = 0.025;
    s.mean_cash = 0.01;
    s.mean_estate = 0.05;
    s.dev_stock = 0.2;
    s.dev_nomi_bond = 0.08;
    s.dev_real_bond = 0.06;
    s.dev_estate = 0.15;
    return s;
}

void run_all(AnalysisState& s) {
    current_portfolio_return(s);
    later_portfolio_return(s);
    current_portfolio_deviation(s);
    later_portfolio_deviation(s);
}

TEST(Portfolio, AllCash) {
    AnalysisState s = market();
    s.weight_cash = 1;
    s.later_weight_cash = 1;
    run_all(s);
    EXPECT_EQ(s.current_expected_return, 0.01);
    EXPECT_EQ(s.later_expected_return, 0.01);
    EXPECT_EQ(s.current_standard_deviation, 0.0);
    EXPECT_EQ(s.later_standard_deviation, 0.0);
}

TEST(Portfolio, BondsAreCorrelatedStocksAndEstateAreNot) {
    AnalysisState s = market();
    s.weight_nomi_bond = s.weight_real_bond = 0.5;
    s.later_weight_stock = s.later_weight_estate = 0.5;
    run_all(s);
    const double d2 = 0.08, d3 = 0.06;
    EXPECT_NEAR(s.current_standard_deviation,
                std::sqrt(0.25 * d2 * d2 + 0.25 * d3 * d3 + 0.25 * d2 * d3), 1e-15);
    EXPECT_NEAR(s.later_standard_deviation, std::sqrt(0.25 * 0.2 * 0.2 + 0.25 * 0.15 * 0.15),
                1e-15);
    EXPECT_NEAR(s.current_expected_return, 0.5 * 0.03 + 0.5 * 0.025, 1e-15);
    EXPECT_NEAR(s.later_expected_return, 0.5 * 0.07 + 0.5 * 0.05, 1e-15);
}

TEST(Portfolio, WeightsNotSummingToOneAreUsedUnchanged) {
    AnalysisState s = market();
    s.weight_stock = 1;
    s.weight_estate = 1;
    s.weight_cash = 0.5;
    current_portfolio_return(s);
    current_portfolio_deviation(s);
    EXPECT_NEAR(s.current_expected_return, 0.07 + 0.05 + 0.005, 1e-15);
    EXPECT_NEAR(s.current_standard_deviation, std::hypot(0.2, 0.15), 1e-15);
    // Nothing else is touched.
    EXPECT_EQ(s.later_expected_return, 0.0);
    EXPECT_EQ(s.later_standard_deviation, 0.0);
}

}  // namespace
}  // namespace quorrel
