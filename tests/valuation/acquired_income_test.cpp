#include <gtest/gtest.h>

#include <cmath>

#include "record/errors.h"
#include "record/number_format.h"
#include "valuation/acquired_income.h"
#include "valuation/annuity.h"
#include "valuation/mortality_tables.h"
#include "valuation_test_support.h"

namespace quorrel {
namespace {

// IAM 2000 male aged 65, no projection, real curve flat 3%, nominal flat 5%,
// COLA 0, AIR 4%.
AnalysisState sample_person() {
    AnalysisState s;
    load_mortality_tables(s);
    s.current_age = 65;
    s.gender_code = 0;
    s.annuity_table_code = 2;
    s.annuity_projection_years = 0;
    test::set_flat_curves(s, 0.03, 0.05);
    s.cola_rate = 0;
    s.air_rate = 0.04;
    s.liquid_wealth = 1000000;
    s.target_income = 60000;
    s.pension_nominal_income = 10000;
    s.pension_cpi_income = 5000;
    s.pension_variable_income = 1000;
    return s;
}

TEST(AcquiredIncome, QuotedIncomesOfOneHundredThousandEach) {
    AnalysisState s = sample_person();
    s.purchase_nominal = s.purchase_cpi = s.purchase_variable = 100000;
    compute_acquired_income(s);
    EXPECT_EQ(s.annuity_lambda, 0.0);
    EXPECT_EQ(s.annuity_modal_age, 85.7217);
    EXPECT_EQ(s.annuity_dispersion, 10.7821);
    EXPECT_NEAR(s.variable_annuity_factor, 12.2897, 5e-5);
    // 100,000 / 11.230255 = 8,904.52 shows as 8,905 (half away from zero on
    // the unrounded factor; 8,904 would come from dividing by 11.2303).
    EXPECT_NEAR(s.acquired_nominal_income, 8904.52, 0.01);
    EXPECT_EQ(format_grouped0(s.acquired_nominal_income), "8,905");
    EXPECT_EQ(format_grouped0(s.acquired_cpi_income), "7,416");
    EXPECT_EQ(format_grouped0(s.acquired_variable_income), "8,137");
    // Deficit: target less the three pensions less the three incomes, in that order.
    EXPECT_DOUBLE_EQ(s.consumption_deficit, 60000 - 10000 - 5000 - 1000 -
                                                s.acquired_nominal_income - s.acquired_cpi_income -
                                                s.acquired_variable_income);
    EXPECT_EQ(s.net_investable_wealth, 700000);
    EXPECT_NEAR(s.implied_inflation, 0.02, 1e-15);
}

TEST(AcquiredIncome, NothingBoughtLeavesWealthAndDeficit) {
    AnalysisState s = sample_person();
    compute_acquired_income(s);
    EXPECT_EQ(s.acquired_nominal_income, 0.0);
    EXPECT_EQ(s.acquired_cpi_income, 0.0);
    EXPECT_EQ(s.acquired_variable_income, 0.0);
    EXPECT_EQ(s.net_investable_wealth, s.liquid_wealth);
    EXPECT_EQ(s.consumption_deficit, 44000);
}

TEST(AcquiredIncome, ImpliedInflationUsesOnlyTheFirstBuckets) {
    AnalysisState s = sample_person();
    s.nominal_rate_1 = 0.045;
    s.real_rate_1 = 0.02;
    s.nominal_rate_6 = 0.09;
    s.real_rate_6 = 0.0;
    compute_acquired_income(s);
    EXPECT_NEAR(s.implied_inflation, 0.025, 1e-15);
}

TEST(AcquiredIncome, OverspendingAndOverfundingAreNotChecked) {
    AnalysisState s = sample_person();
    s.purchase_cpi = 900000;
    s.purchase_variable = 300000;
    compute_acquired_income(s);
    EXPECT_EQ(s.net_investable_wealth, -200000);
    EXPECT_EQ(format_grouped0(s.net_investable_wealth), "-200,000");
    EXPECT_LT(s.consumption_deficit, 0);  // pensions and annuities above the target
}

TEST(AcquiredIncome, GamMaleNinetyPricesEvenWhenNothingIsBought) {
    AnalysisState s = sample_person();
    s.annuity_table_code = 1;
    s.current_age = 90;
    compute_acquired_income(s);
    EXPECT_EQ(s.annuity_modal_age, 101.8705);
    EXPECT_GT(s.variable_annuity_factor, 0);
    EXPECT_EQ(s.net_investable_wealth, s.liquid_wealth);
    s.purchase_cpi = 50000;
    compute_acquired_income(s);
    const double real = real_annuity_factor(s, 90, 0.3187, 101.8705, 1.0014);
    EXPECT_NEAR(real, test::survival_integral(0, 20, 0.03, 90, 0.3187, 101.8705, 1.0014), 1e-7);
    EXPECT_DOUBLE_EQ(s.acquired_cpi_income, 50000 / real);
}

TEST(AcquiredIncome, ProjectionRaisesModalAgeAndLowersIncome) {
    AnalysisState s = sample_person();
    s.purchase_cpi = 100000;
    compute_acquired_income(s);
    const double static_income = s.acquired_cpi_income;
    s.annuity_projection_years = 30;
    compute_acquired_income(s);
    EXPECT_NEAR(s.annuity_modal_age, 85.7217 + 2.01, 1e-12);
    EXPECT_LT(s.acquired_cpi_income, static_income);
}

// On a pricing failure the steps before it have run and nothing after it is
// written.
TEST(AcquiredIncome, PricingFailureWritesNothingAfterTheFailingStep) {
    AnalysisState s = sample_person();
    s.purchase_nominal = s.purchase_cpi = s.purchase_variable = 1000;
    s.real_rate_3 = std::nan("");
    s.nominal_rate_1 = 0.06;
    s.acquired_cpi_income = -1;
    s.variable_annuity_factor = -2;
    s.consumption_deficit = -3;
    s.net_investable_wealth = -4;
    EXPECT_THROW(compute_acquired_income(s), ValuationError);
    EXPECT_NEAR(s.implied_inflation, 0.03, 1e-15);  // step 1 ran
    EXPECT_EQ(s.annuity_modal_age, 85.7217);        // step 2 ran
    EXPECT_EQ(s.variable_annuity_factor, -2);
    EXPECT_EQ(s.acquired_cpi_income, -1);
    EXPECT_EQ(s.consumption_deficit, -3);
    EXPECT_EQ(s.net_investable_wealth, -4);

    // The variable price is the last of step 3: a bad AIR leaves its factor.
    s = sample_person();
    s.air_rate = std::nan("");
    s.variable_annuity_factor = -2;
    EXPECT_THROW(compute_acquired_income(s), ValuationError);
    EXPECT_EQ(s.variable_annuity_factor, -2);
}

}  // namespace
}  // namespace quorrel
