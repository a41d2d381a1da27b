#include "valuation/joint_annuity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "record/errors.h"
#include "valuation/gompertz.h"
#include "valuation_test_support.h"

namespace quorrel {
namespace {

constexpr AnnuityKind kKinds[] = {AnnuityKind::cpi_linked, AnnuityKind::nominal_cola,
                                  AnnuityKind::variable};

// Sloped curves, a COLA and an AIR, so every bucket and every kind discounts
// differently; `shift` moves the real curve (below zero for some buckets).
AnalysisState curves(double shift) {
    AnalysisState s;
    load_mortality_tables(s);
    s.real_rate_1 = 0.005 + shift, s.real_rate_2 = 0.01 + shift, s.real_rate_3 = 0.015 + shift;
    s.real_rate_4 = 0.02 + shift, s.real_rate_5 = 0.022 + shift, s.real_rate_6 = 0.025 + shift;
    s.nominal_rate_1 = 0.03, s.nominal_rate_2 = 0.035, s.nominal_rate_3 = 0.04;
    s.nominal_rate_4 = 0.043, s.nominal_rate_5 = 0.046, s.nominal_rate_6 = 0.05;
    s.cola_rate = 0.015;
    s.air_rate = 0.04;
    return s;
}

// Years the single-life curve factor counts at this age.
double horizon(AnnuityKind kind, double age) {
    if (kind == AnnuityKind::variable) return 1e9;
    return age > 80 ? 20 : (age < 70 ? 100 - age : 1e9);
}

TEST(JointAnnuity, QuadratureOfOneLifeIsItsClosedForm) {
    struct Row {
        int table_code, gender, age, projection;
    };
    // GAM 1983 (code 1) male at 90 has a dispersion near 1 year; the ages
    // straddle the horizons at 70 and 80.
    const Row rows[] = {{1, 0, 90, 0}, {1, 1, 81, 0}, {1, 2, 50, 10}, {2, 0, 65, 0},
                        {2, 1, 69, 5}, {2, 0, 70, 0}, {2, 1, 80, 20}, {2, 2, 86, 0}};
    for (double shift : {0.0, -0.012}) {
        AnalysisState s = curves(shift);
        for (const Row& row : rows) {
            s.annuity_table_code = row.table_code;
            s.annuity_projection_years = row.projection;
            const AnnuityLife life = annuity_table_life(s, row.gender, row.age);
            for (AnnuityKind kind : kKinds) {
                const double closed = single_life_annuity_factor(s, kind, life);
                EXPECT_NEAR(all_alive_annuity_factor(s, kind, {&life, 1}), closed, 1e-10 * closed)
                    << row.table_code << " " << row.gender << " " << row.age << " kind "
                    << static_cast<int>(kind) << " shift " << shift;
            }
        }
    }
}

// With one dispersion b the joint hazard is lambda_p + lambda_s +
// (e^((x_p - m_p)/b) + e^((x_s - m_s)/b)) e^(t/b) / b, a Gompertz-Makeham law
// at any reference age x with lambda = lambda_p + lambda_s and
// m = x - b ln(e^((x_p - m_p)/b) + e^((x_s - m_s)/b)), which for equal ages
// is -b ln(e^(-m_p/b) + e^(-m_s/b)), below both modal ages. The reference is
// the life with the earlier horizon, so the closed form stops where the
// joint payments do.
TEST(JointAnnuity, JointOfOneDispersionIsTheCombinedLawsClosedForm) {
    struct Row {
        double x_p, lambda_p, m_p, x_s, lambda_s, m_s, b;
    };
    const Row rows[] = {{65, 0, 85.7217, 62, 0, 89.5, 10.7821},
                        {72, 0.004, 88, 68, 0.002, 91, 9.5},
                        {85, 0.001, 92, 78, 0.003, 90, 8},
                        {55, 0, 84, 90, 0, 95, 10},
                        {90, 0, 101.8705, 88, 0, 100.5, 1.0014},
                        // A joint force of mortality near 28 a year from the start.
                        {90, 0.1, 82, 85, 0.11, 80, 2.08}};
    const AnalysisState s = curves(0);
    for (const Row& r : rows) {
        const AnnuityLife both[] = {{r.x_p, {r.lambda_p, r.m_p, r.b}},
                                    {r.x_s, {r.lambda_s, r.m_s, r.b}}};
        for (AnnuityKind kind : kKinds) {
            const double x = horizon(kind, r.x_p) <= horizon(kind, r.x_s) ? r.x_p : r.x_s;
            const double u = (r.x_p - r.m_p) / r.b, v = (r.x_s - r.m_s) / r.b;
            const double m = x - r.b * (std::max(u, v) + std::log1p(std::exp(-std::fabs(u - v))));
            const AnnuityLife joint{x, {r.lambda_p + r.lambda_s, m, r.b}};
            const double closed = single_life_annuity_factor(s, kind, joint);
            EXPECT_NEAR(all_alive_annuity_factor(s, kind, both), closed, 1e-10 * closed)
                << r.x_p << " " << r.x_s << " kind " << static_cast<int>(kind);
        }
    }
}

// Pairs of table lives with different dispersions and horizons.
TEST(JointAnnuity, SurvivorShareOrdersTheFactor) {
    struct Row {
        int table_code, gender_p, age_p, gender_s, age_s;
    };
    const Row rows[] = {{2, 0, 65, 1, 62}, {1, 0, 90, 1, 75}, {2, 0, 69, 1, 72}, {1, 0, 82, 1, 55}};
    AnalysisState s = curves(0);
    for (const Row& row : rows) {
        s.annuity_table_code = row.table_code;
        const AnnuityLife p = annuity_table_life(s, row.gender_p, row.age_p);
        const AnnuityLife q = annuity_table_life(s, row.gender_s, row.age_s);
        for (AnnuityKind kind : kKinds) {
            SCOPED_TRACE(::testing::Message()
                         << row.age_p << " " << row.age_s << " kind " << static_cast<int>(kind));
            const double a_p = single_life_annuity_factor(s, kind, p);
            const double a_q = single_life_annuity_factor(s, kind, q);
            const double joint = joint_survivor_factor(s, kind, p, q, 0);
            const double last = joint_survivor_factor(s, kind, p, q, 1);
            EXPECT_LT(joint, std::min(a_p, a_q));
            EXPECT_GT(last, std::max(a_p, a_q));
            EXPECT_NEAR(last, a_p + a_q - joint, 1e-13 * last);
            EXPECT_NEAR(joint_survivor_factor(s, kind, p, q, 0.5), 0.5 * (a_p + a_q), 1e-13 * last);
            for (int step = 1; step <= 10; ++step) {
                EXPECT_GE(joint_survivor_factor(s, kind, p, q, step / 10.0),
                          joint_survivor_factor(s, kind, p, q, (step - 1) / 10.0))
                    << step;
            }
        }
        // The flat-rate joint life against Simpson's rule on the product of
        // the two survival functions, which shares no code with the above.
        auto S = [](const AnnuityLife& l, double t) {
            return survival_probability(l.age, t, l.law.lambda, l.law.modal_age, l.law.dispersion);
        };
        const double reference =
            test::simpson([&](double t) { return std::exp(-s.air_rate * t) * S(p, t) * S(q, t); },
                          0, 160 - std::min(p.age, q.age), 32000);
        const AnnuityLife both[] = {p, q};
        EXPECT_NEAR(all_alive_annuity_factor(s, AnnuityKind::variable, both), reference,
                    1e-9 * reference);
    }
    const AnnuityLife p = annuity_table_life(s, 0, 65);
    for (double share : {-0.01, 1.01, std::nan("")}) {
        EXPECT_THROW(joint_survivor_factor(s, AnnuityKind::variable, p, p, share), ValuationError);
    }
}

}  // namespace
}  // namespace quorrel
