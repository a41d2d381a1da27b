#include <gtest/gtest.h>

#include <cmath>

#include "engine/model/model.h"
#include "engine/model/wealth_model.h"
#include "engine_test_support.h"
#include "valuation/gompertz.h"

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

TEST(Model, CoefficientsAndTheAllocationSwitch) {
    AnalysisState s;
    s.current_expected_return = 0.05;
    s.later_expected_return = 0.03;
    s.current_standard_deviation = 0.12;
    s.later_standard_deviation = 0.08;
    s.later_allocation_years = 5;
    const auto model = [&s] { return engine::Model::from_state(s); };
    // The switch year itself still uses today's allocation.
    EXPECT_EQ(model().regime(5).mu, 0.05);
    EXPECT_EQ(model().regime(5).sigma, 0.12);
    EXPECT_EQ(model().regime(std::nextafter(5.0, 6.0)).mu, 0.03);
    EXPECT_EQ(model().regime(std::nextafter(5.0, 6.0)).sigma, 0.08);

    // No income and no variable annuity: m = 1 and the drift is mu x - 1.
    EXPECT_EQ(model().exposure(7), 1);
    EXPECT_DOUBLE_EQ(model().drift(0, 2, 20), 0.05 * 20 - 1);
    EXPECT_DOUBLE_EQ(model().diffusion(2, 20), 0.5 * 0.12 * 0.12 * 400);

    // A CPI-linked income equal to the target: no net withdrawal.
    s.real_income_ratio = 1;
    EXPECT_DOUBLE_EQ(model().drift(0, 2, 20), 0.05 * 20);

    // Nominal income loses value at inflation less COLA; with COLA equal
    // to inflation it keeps it.
    s.real_income_ratio = 0;
    s.nominal_income_ratio = 0.5;
    s.implied_inflation = 0.02;
    s.cola_rate = 0;
    EXPECT_DOUBLE_EQ(model().drift(0, 10, 0), -1 + 0.5 * std::exp(-0.2));
    s.cola_rate = 0.02;
    EXPECT_DOUBLE_EQ(model().drift(0, 10, 0), -0.5);

    s.variable_income_ratio = 0.3;
    s.air_rate = 0.04;
    EXPECT_DOUBLE_EQ(model().exposure(10), 1 + 0.3 * std::exp(-0.06 * 10));
    EXPECT_DOUBLE_EQ(model().diffusion(10, 20), 0.5 * 0.0064 * 400 * (1 + 0.3 * std::exp(-0.6)));
}


// The model's death law against valuation's closed form of the same
// Gompertz-Makeham survival, and its death rates against the slopes of the
// log-survivals they stand for, over laws from young to old.
struct LawCase {
    double age, lambda, modal_age, dispersion;
};

TEST(Model, DeathLawAgreesWithTheClosedFormAndItsOwnSlopes) {
    const LawCase cases[] = {
        {50, 0, 88, 9.5}, {65, 0.001, 86, 10.2}, {72, 0.002, 84, 11}, {90, 0.0005, 92, 8}};
    for (const LawCase& c : cases) {
        engine::Model m;
        m.current_age = c.age;
        m.lambda = c.lambda;
        m.modal_age = c.modal_age;
        m.dispersion = c.dispersion;
        const double end = m.lifetime_horizon();
        const double S_end = m.solver_survival(end);
        EXPECT_EQ(m.survival(0), 1);
        EXPECT_EQ(m.conditional_survival(end, end), 0);
        EXPECT_NEAR(m.conditional_survival(0, end), 1, 1e-15);
        for (double t : {0.5, 7.25, 19.0, end - 1}) {
            SCOPED_TRACE(testing::Message() << "age " << c.age << ", t " << t);
            const double closed =
                survival_probability(c.age, t, c.lambda, c.modal_age, c.dispersion);
            EXPECT_NEAR(m.survival(t), closed, 1e-14);
            EXPECT_NEAR(m.solver_survival(t), closed, 1e-14);
            // -d/dt ln S by a central difference (relative error ~ h^2).
            const double h = 1e-4;
            const auto slope = [&](auto S) {
                return -(std::log(S(t + h)) - std::log(S(t - h))) / (2 * h);
            };
            const double hazard = slope([&](double s) { return m.survival(s); });
            const double rate = slope([&](double s) { return m.conditional_survival(s, end); });
            EXPECT_NEAR(m.hazard(t), hazard, 1e-7 * hazard);
            EXPECT_NEAR(m.truncated_death_rate(t, S_end), rate, 1e-7 * rate);
        }
    }
}

}  // namespace
}  // namespace quorrel
