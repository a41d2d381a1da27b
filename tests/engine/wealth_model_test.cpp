#include <gtest/gtest.h>

#include <cmath>

#include "engine/model/wealth_model.h"
#include "engine_test_support.h"

namespace quorrel {
namespace {

TEST(PrepareEngineInputs, RatiosOfTheTargetIncome) {
    AnalysisState s;
    s.target_income = 40000;
    s.net_investable_wealth = 800000;
    s.variable_annuity_factor = 12.5;
    prepare_engine_inputs(s);
    EXPECT_EQ(s.wealth_ratio, 20);
    EXPECT_EQ(s.real_income_ratio, 0);
    EXPECT_EQ(s.nominal_income_ratio, 0);
    EXPECT_EQ(s.variable_value_ratio, 0);
    EXPECT_EQ(s.variable_income_ratio, 0);

    s.pension_cpi_income = 30000;
    s.acquired_cpi_income = 10000;
    s.pension_nominal_income = 2000;
    s.acquired_nominal_income = 8000;
    s.pension_variable_income = 1000;
    s.purchase_variable = 50000;
    prepare_engine_inputs(s);
    EXPECT_EQ(s.real_income_ratio, 1);
    EXPECT_EQ(s.nominal_income_ratio, 0.25);
    // (12.5 x 1000 + 50000) / 40000 / 800000, divided as written.
    EXPECT_EQ(s.variable_value_ratio, (12.5 * 1000 + 50000) / 40000.0 / 800000.0);
    EXPECT_EQ(s.variable_income_ratio, s.variable_value_ratio / 12.5);
}

TEST(PrepareEngineInputs, ZeroWealthBecomesATinyPositiveWealth) {
    AnalysisState s;
    s.target_income = 40000;
    s.net_investable_wealth = 0;
    s.variable_annuity_factor = 10;
    s.purchase_variable = 400000;
    prepare_engine_inputs(s);
    EXPECT_EQ(s.net_investable_wealth, 1e-7);
    EXPECT_EQ(s.wealth_ratio, 1e-7 / 40000);
    EXPECT_EQ(s.variable_value_ratio, 400000 / 40000.0 / 1e-7);

    // A negative wealth passes through.
    s.net_investable_wealth = -40000;
    prepare_engine_inputs(s);
    EXPECT_EQ(s.wealth_ratio, -1);
}

TEST(WealthModel, CoefficientsAndTheAllocationSwitch) {
    AnalysisState s;
    s.current_expected_return = 0.05;
    s.later_expected_return = 0.03;
    s.current_standard_deviation = 0.12;
    s.later_standard_deviation = 0.08;
    s.later_allocation_years = 5;
    // The switch year itself still uses today's allocation.
    EXPECT_EQ(allocation_regime(s, 5).mu, 0.05);
    EXPECT_EQ(allocation_regime(s, 5).sigma, 0.12);
    EXPECT_EQ(allocation_regime(s, std::nextafter(5.0, 6.0)).mu, 0.03);
    EXPECT_EQ(allocation_regime(s, std::nextafter(5.0, 6.0)).sigma, 0.08);

    // No income and no variable annuity: m = 1 and the drift is mu x - 1.
    EXPECT_EQ(exposure_multiplier(s, 7), 1);
    EXPECT_DOUBLE_EQ(wealth_drift(s, 0, 2, 20), 0.05 * 20 - 1);
    EXPECT_DOUBLE_EQ(wealth_diffusion(s, 2, 20), 0.5 * 0.12 * 0.12 * 400);

    // A CPI-linked income equal to the target: no net withdrawal.
    s.real_income_ratio = 1;
    EXPECT_DOUBLE_EQ(wealth_drift(s, 0, 2, 20), 0.05 * 20);

    // Nominal income loses value at inflation less COLA; with COLA equal
    // to inflation it keeps it.
    s.real_income_ratio = 0;
    s.nominal_income_ratio = 0.5;
    s.implied_inflation = 0.02;
    s.cola_rate = 0;
    EXPECT_DOUBLE_EQ(wealth_drift(s, 0, 10, 0), -1 + 0.5 * std::exp(-0.2));
    s.cola_rate = 0.02;
    EXPECT_DOUBLE_EQ(wealth_drift(s, 0, 10, 0), -0.5);

    s.variable_income_ratio = 0.3;
    s.air_rate = 0.04;
    EXPECT_DOUBLE_EQ(exposure_multiplier(s, 10), 1 + 0.3 * std::exp(-0.06 * 10));
    EXPECT_DOUBLE_EQ(wealth_diffusion(s, 10, 20), 0.5 * 0.0064 * 400 * (1 + 0.3 * std::exp(-0.6)));
}

}  // namespace
}  // namespace quorrel
