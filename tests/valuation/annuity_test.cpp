#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "record/errors.h"
#include "valuation/annuity.h"
#include "valuation/gompertz.h"
#include "valuation/mortality_tables.h"
#include "valuation_test_support.h"

namespace quorrel {
namespace {

// IAM 2000, male, age 65, no projection.
constexpr double kM = 85.7217;
constexpr double kB = 10.7821;

// Independent reference for every factor below: Simpson's rule on the
// survival integral (test support), which never touches the incomplete
// gamma function of the closed form.

TEST(Annuity, QuotedFactorsIamTwoThousandMaleSixtyFive) {
    AnalysisState s;
    test::set_flat_curves(s, 0.03, 0.05);

    const double real = real_annuity_factor(s, 65, 0, kM, kB);
    EXPECT_NEAR(real, 13.4849, 5e-5);
    // Payments to age 100: 35 years.
    EXPECT_NEAR(real, test::survival_integral(0, 35, 0.03, 65, 0, kM, kB), 1e-8);

    const double whole_life = annuity_tail_value(0, 0.03, 65, 0, kM, kB);
    EXPECT_NEAR(whole_life, 13.5058, 5e-5);
    EXPECT_NEAR(whole_life, test::survival_integral(0, -1, 0.03, 65, 0, kM, kB), 1e-8);

    s.cola_rate = 0;
    const double cola = cola_annuity_factor(s, 65, 0, kM, kB);
    EXPECT_NEAR(cola, 11.2303, 5e-5);
    EXPECT_NEAR(cola, test::survival_integral(0, 35, 0.05, 65, 0, kM, kB), 1e-8);
    // A COLA of 2% on a 5% curve is the real factor at 3%.
    s.cola_rate = 0.02;
    EXPECT_NEAR(cola_annuity_factor(s, 65, 0, kM, kB), real, 1e-9);

    const double variable = annuity_tail_value(0, 0.04, 65, 0, kM, kB);
    EXPECT_NEAR(variable, 12.2897, 5e-5);
    EXPECT_NEAR(variable, test::survival_integral(0, -1, 0.04, 65, 0, kM, kB), 1e-8);
}

TEST(Annuity, TailValueIsTheIntegralFromT) {
    // With lambda > 0 and from a later start.
    for (double t : {5.0, 20.0, 33.0}) {
        EXPECT_NEAR(annuity_tail_value(t, 0.025, 70, 0.012, 88.2, 9.1),
                    test::survival_integral(t, -1, 0.025, 70, 0.012, 88.2, 9.1), 1e-8)
            << t;
    }
    // A negative real rate is priced too.
    EXPECT_NEAR(annuity_tail_value(0, -0.01, 60, 0, kM, kB),
                test::survival_integral(0, -1, -0.01, 60, 0, kM, kB), 1e-7);
}

// Each bucket's rate discounts its own band of maturities, with the horizon
// depending on the age: to age 100 below 70, for life from 70 to 80, twenty
// years above 80.
TEST(Annuity, BucketsAndHorizonsOfTheCurveFactor) {
    AnalysisState s;
    s.real_rate_1 = 0.01;
    s.real_rate_2 = 0.015;
    s.real_rate_3 = 0.02;
    s.real_rate_4 = 0.03;
    s.real_rate_5 = 0.035;
    s.real_rate_6 = 0.04;
    const double rates[6] = {0.01, 0.015, 0.02, 0.03, 0.035, 0.04};
    const double lambda = 0.004, m = 87.0, b = 9.5;
    constexpr double kForever = 1e9;
    for (double age : {55.0, 69.0, 70.0, 75.0, 80.0, 81.0, 90.0}) {
        const double horizon = age > 80 ? 20 : (age < 70 ? 100 - age : kForever);
        double expected = 0;
        for (int k = 0; k < 6; ++k) {
            const double lo = 5.0 * k;
            const double hi = std::min(k == 5 ? kForever : 5.0 * (k + 1), horizon);
            if (hi <= lo) continue;
            expected +=
                test::survival_integral(lo, hi == kForever ? -1 : hi, rates[k], age, lambda, m, b);
        }
        EXPECT_NEAR(real_annuity_factor(s, age, lambda, m, b), expected, 1e-8) << age;
    }
}

TEST(Annuity, FlatCurveFactorAgainstTailValuesByAge) {
    AnalysisState s;
    test::set_flat_curves(s, 0.03, 0.03);
    const double lambda = 0.002, m = 89.0, b = 9.0;
    for (double age : {70.0, 73.0, 80.0}) {
        EXPECT_NEAR(real_annuity_factor(s, age, lambda, m, b),
                    annuity_tail_value(0, 0.03, age, lambda, m, b), 1e-12)
            << age;
    }
    for (double age : {80.5, 81.0, 86.0, 90.0}) {
        EXPECT_NEAR(real_annuity_factor(s, age, lambda, m, b),
                    annuity_tail_value(0, 0.03, age, lambda, m, b) -
                        annuity_tail_value(20, 0.03, age, lambda, m, b),
                    1e-12)
            << age;
    }
    EXPECT_NEAR(real_annuity_factor(s, 60, lambda, m, b),
                annuity_tail_value(0, 0.03, 60, lambda, m, b) -
                    annuity_tail_value(40, 0.03, 60, lambda, m, b),
                1e-12);
}

// Every row of every table prices, at ages 50 to 90, on the curve and for
// life, and agrees with the quadrature. This covers the GAM 1983 male at 90
// (z near 3,400 twenty years on), which the 100-term series could not price.
TEST(Annuity, EveryRowPricesAndMatchesQuadrature) {
    AnalysisState s;
    load_mortality_tables(s);
    test::set_flat_curves(s, 0.03, 0.05);
    int rows = 0;
    for (MortalityTable table : {MortalityTable::gam1983, MortalityTable::iam2000,
                                 MortalityTable::up1994, MortalityTable::rp2000}) {
        for (int gender : {0, 1, 2}) {
            for (int age = 50; age <= 90; ++age) {
                const GompertzMakehamParams p =
                    select_mortality_parameters(s, table, gender, age, 0);
                const double end = age > 80 ? 20 : (age < 70 ? 100.0 - age : -1);
                const double factor =
                    real_annuity_factor(s, age, p.lambda, p.modal_age, p.dispersion);
                EXPECT_NEAR(
                    factor,
                    test::survival_integral(0, end, 0.03, age, p.lambda, p.modal_age, p.dispersion),
                    1e-7 * factor)
                    << static_cast<int>(table) << " " << gender << " " << age;
                const double life =
                    annuity_tail_value(0, 0.04, age, p.lambda, p.modal_age, p.dispersion);
                EXPECT_NEAR(
                    life,
                    test::survival_integral(0, -1, 0.04, age, p.lambda, p.modal_age, p.dispersion),
                    1e-7 * life)
                    << static_cast<int>(table) << " " << gender << " " << age;
                ++rows;
            }
        }
    }
    EXPECT_EQ(rows, 492);
}

TEST(Annuity, GamMaleNearNinetyCloseToWholeLife) {
    AnalysisState s;
    load_mortality_tables(s);
    test::set_flat_curves(s, 0.03, 0.05);
    for (int age : {88, 89, 90}) {
        const auto p = select_mortality_parameters(s, MortalityTable::gam1983, 0, age, 0);
        const double curve = real_annuity_factor(s, age, p.lambda, p.modal_age, p.dispersion);
        const double life = annuity_tail_value(0, 0.03, age, p.lambda, p.modal_age, p.dispersion);
        // Twenty years of payments: at most the whole-life value, and hardly
        // less at these ages (survival to 108 and beyond is tiny).
        EXPECT_LE(curve, life) << age;
        EXPECT_GT(curve, life * (1 - 1e-3)) << age;
    }
}

TEST(Annuity, NumericFailuresThrowValuationError) {
    const double nan = std::nan("");
    EXPECT_THROW(annuity_tail_value(0, nan, 65, 0, kM, kB), ValuationError);
    EXPECT_THROW(annuity_tail_value(0, 0.03, 65, 0, kM, 0), ValuationError);
    EXPECT_THROW(annuity_tail_value(0, 0.03, nan, 0, kM, kB), ValuationError);
    // A rate so negative that the value passes the range of a double.
    EXPECT_THROW(annuity_tail_value(0, -50, 65, 0, kM, kB), ValuationError);
    AnalysisState s;
    test::set_flat_curves(s, 0.03, 0.05);
    s.real_rate_6 = nan;
    EXPECT_THROW(real_annuity_factor(s, 65, 0, kM, kB), ValuationError);
    EXPECT_NO_THROW(cola_annuity_factor(s, 65, 0, kM, kB));
}

}  // namespace
}  // namespace quorrel
