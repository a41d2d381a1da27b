#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <boost/math/distributions/normal.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include "record/number_format.h"
#include "engine/refined/refined.h"
#include "engine_test_support.h"

namespace quorrel {
namespace {

using engine::Model;

// A model with one allocation throughout, no annuities and no death.
Model flat_refined_model(double mu, double sigma, double real_income = 0) {
    Model m;
    m.current_mu = m.later_mu = mu;
    m.current_sigma = m.later_sigma = sigma;
    m.later_years = 5;
    m.real_income_ratio = real_income;
    m.current_age = 65;
    m.lambda = 0.01;
    m.modal_age = 1e4;  // no Gompertz part: exponential death at rate lambda
    m.dispersion = 10;
    return m;
}

// ---- The sweep's grid -------------------------------------------------------

struct GridCase {
    std::string name;
    double x0, barrier, spacing, top;
};

class RefinedGrid : public ::testing::TestWithParam<GridCase> {};

// Richardson needs the fine grid to be the coarse map at half the index step,
// central differences need the spacing to change smoothly, and the cost of a
// high top must grow only with its log.
TEST_P(RefinedGrid, FineRefinesCoarseAndTheSpacingGrowsSmoothlyToTheTop) {
    const GridCase& c = GetParam();
    const refined::SweepGrid coarse =
        refined::make_sweep_grid(c.x0, c.barrier, c.spacing, c.top, 1);
    const refined::SweepGrid fine = refined::make_sweep_grid(c.x0, c.barrier, c.spacing, c.top, 2);
    ASSERT_EQ(fine.x.size(), 2 * coarse.x.size() - 1);
    for (std::size_t k = 0; k < coarse.x.size(); ++k) ASSERT_EQ(fine.x[2 * k], coarse.x[k]) << k;
    EXPECT_EQ(fine.start, 2 * coarse.start);
    for (const refined::SweepGrid* g : {&coarse, &fine}) {
        EXPECT_EQ(g->x.front(), c.barrier);
        EXPECT_EQ(g->x[g->start], c.x0);
        EXPECT_GE(g->x.back(), c.top);
        // From today's wealth up (below it the cells may be one short first
        // cell, halved on the fine grid).
        const double growth = std::exp(refined::kStretchRate / (g == &fine ? 2 : 1));
        for (std::size_t k = static_cast<std::size_t>(g->start) + 2; k < g->x.size(); ++k) {
            const double ratio = (g->x[k] - g->x[k - 1]) / (g->x[k - 1] - g->x[k - 2]);
            ASSERT_GT(ratio, 1 - 1e-9) << "node " << k;
            ASSERT_LT(ratio, growth * (1 + 1e-9)) << "node " << k;
        }
    }
    const refined::SweepGrid doubled =
        refined::make_sweep_grid(c.x0, c.barrier, c.spacing, 2 * c.top, 1);
    EXPECT_LE(doubled.x.size(), coarse.x.size() + std::log(2) / refined::kStretchRate + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefinedGrid,
    ::testing::Values(GridCase{"defaults", 20, 0, 0.1, 3248},
                      GridCase{"level_near_wealth", 2, 1, 0.025, 500},
                      GridCase{"wealth_far_above_the_uniform_part", 50, 0, 0.1, 20000},
                      GridCase{"wealth_a_hair_above_the_barrier", 1e-4, 0, 0.0025, 800}),
    [](const ::testing::TestParamInfo<GridCase>& info) { return info.param.name; });

// ---- Ruin probabilities against closed forms --------------------------------

struct ClosedFormCase {
    std::string name;
    Model model;
    double x0, barrier, T;
    double expected;
    double tolerance;
};

// Without volatility wealth x0 e^(mu t) - (e^(mu t) - 1)/mu reaches 0 at this time.
double deterministic_ruin_time(double mu, double x0) { return -std::log(1 - mu * x0) / mu; }

std::vector<ClosedFormCase> closed_form_cases() {
    std::vector<ClosedFormCase> cases;
    // Net income 0 (a CPI-linked income equal to the withdrawal): pure GBM.
    for (const auto& [mu, sigma, f, T] : std::vector<std::array<double, 4>>{{0.05, 0.15, 0.5, 10},
                                                                            {0.03, 0.10, 0.75, 20},
                                                                            {0.07, 0.25, 0.25, 30},
                                                                            {0.0, 0.2, 0.5, 15}}) {
        cases.push_back(
            {"gbm_mu" + std::to_string(int(mu * 100)) + "_sigma" + std::to_string(int(sigma * 100)),
             flat_refined_model(mu, sigma, 1), 20, f * 20, T, test::gbm_first_passage(mu, sigma, 20, f * 20, T),
             3e-4});
    }
    // No volatility: ruin is certain just after the deterministic time and
    // impossible well before it.
    const double t_star = deterministic_ruin_time(0.03, 20);  // 30.5 years
    cases.push_back({"no_volatility_before", flat_refined_model(0.03, 0), 20, 0, t_star - 2, 0, 1e-4});
    cases.push_back({"no_volatility_after", flat_refined_model(0.03, 0), 20, 0, t_star + 2, 1, 1e-4});
    cases.push_back({"no_return_after", flat_refined_model(0, 0), 20, 0, 21, 1, 1e-4});
    return cases;
}

class RefinedClosedForm : public ::testing::TestWithParam<ClosedFormCase> {};

TEST_P(RefinedClosedForm, RuinProbabilityMatches) {
    const ClosedFormCase& c = GetParam();
    const double top = refined::sweep_top(c.model, c.x0, 0.1, 30);
    const refined::LevelSweeps s = refined::sweep_level(c.model, c.x0, c.barrier, c.T, top);
    const RefinedValue v = richardson(s.coarse.ruin_by(c.T), s.fine.ruin_by(c.T));
    EXPECT_NEAR(v.value, c.expected, c.tolerance);
    // The error estimate bounds the fine figure's error.
    EXPECT_LE(std::fabs(s.fine.ruin_by(c.T) - c.expected),
              std::max(2 * v.error_estimate, c.tolerance));
}

INSTANTIATE_TEST_SUITE_P(Cases, RefinedClosedForm, ::testing::ValuesIn(closed_form_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(RefinedClosedFormTime, NoVolatilityRuinAgeIsTheDeterministicTime) {
    // The expected ruin age integrates the no-ruin probability: with ruin at
    // a known time it is that time.
    for (double mu : {0.0, 0.03}) {
        const Model m = flat_refined_model(mu, 0);
        const refined::LevelSweeps s =
            refined::sweep_level(m, 20, 0, 65, refined::sweep_top(m, 20, 0.1, 30));
        const RefinedValue v =
            richardson(s.coarse.mean_unruined_time(65), s.fine.mean_unruined_time(65), 0, 65);
        EXPECT_NEAR(v.value, mu == 0 ? 20 : deterministic_ruin_time(mu, 20), 2e-3) << mu;
    }
}

// ---- Ruin ever against the reciprocal-gamma law ---------------------------------

struct PerpetuityCase {
    double mu, sigma, wealth;
};

class RefinedPerpetuity : public ::testing::TestWithParam<PerpetuityCase> {};

TEST_P(RefinedPerpetuity, RuinEverMatchesTheReciprocalGammaLaw) {
    // Spending 1 a year for ever from geometric Brownian motion: the present
    // value of the spending is reciprocal-gamma (shape 2 mu / sigma^2 - 1,
    // scale sigma^2 / 2), so ruin ever is P(Gamma < 2 / (sigma^2 w)). After
    // 400 years every path still standing has grown out of reach.
    const PerpetuityCase& c = GetParam();
    const Model m = flat_refined_model(c.mu, c.sigma);
    const double expected = boost::math::gamma_p(2 * c.mu / (c.sigma * c.sigma) - 1,
                                                 2 / (c.sigma * c.sigma * c.wealth));
    const refined::LevelSweeps s =
        refined::sweep_level(m, c.wealth, 0, 400, refined::sweep_top(m, c.wealth, 0.1, 30));
    const RefinedValue v = richardson(s.coarse.ruin_by(400), s.fine.ruin_by(400));
    EXPECT_NEAR(v.value, expected, 5e-4);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefinedPerpetuity,
                         ::testing::Values(PerpetuityCase{0.07, 0.20, 20},
                                           PerpetuityCase{0.06, 0.15, 30}));

// ---- Estate percentiles --------------------------------------------------------

TEST(RefinedEstate, PercentilesOfLognormalWealth) {
    // Net income 0 and no barrier reached: wealth at T is lognormal, so its
    // quartiles are known in closed form.
    const double mu = 0.04, sigma = 0.12, x0 = 20;
    const Model m = flat_refined_model(mu, sigma, 1);
    const refined::LevelSweeps s =
        refined::sweep_level(m, x0, 0, 30, refined::sweep_top(m, x0, 0.1, 30), {10, 20, 30});
    for (int k = 0; k < 3; ++k) {
        const double T = 10.0 * (k + 1);
        for (double q : {0.25, 0.5, 0.75}) {
            const double z = boost::math::quantile(boost::math::normal(), q);
            const double expected =
                std::exp((mu - 0.5 * sigma * sigma) * T + sigma * std::sqrt(T) * z);
            // Root of the extrapolated distribution, as the engine finds it.
            double lo = 0, hi = 50;
            for (int it = 0; it < 100; ++it) {
                const double mid = 0.5 * (lo + hi);
                const double F =
                    richardson(s.coarse.wealth_below(k, mid * x0), s.fine.wealth_below(k, mid * x0))
                        .value;
                (F < q ? lo : hi) = mid;
            }
            EXPECT_NEAR(lo, expected, 2e-3) << "T " << T << " q " << q;
        }
    }
}

// ---- The whole calculation ------------------------------------------------------

TEST(RefinedCalculation, PublishesEveryCellInTheStandardOrderAndFillsTheState) {
    AnalysisState state = test::default_state();
    test::RecordingSink sink;
    RefinedResults out;
    compute_refined_results(state, sink, out);
    const std::vector<std::string> order = {
        "Text2",     "Text3",     "Text4",     "Text6",     "Text7",     "Text29",    "Text31",
        "Text32",    "Text33",    "Text35",    "Text36",    "Text37",    "Text5",     "Text30",
        "Text34",    "Text38",    "Text54(0)", "Text55(0)", "Text56(0)", "Text57(0)", "Text58(0)",
        "Text59(0)", "Text60(0)", "Text61(0)", "Text62(0)"};
    ASSERT_EQ(sink.order, order);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const double p = out.record.ruin_grid[r][c];
            EXPECT_EQ(sink.cells[ruin_cell_names()[r][c]], format_percent1(p));
            EXPECT_LT(out.ruin_error[r][c], 1e-3) << r << c;
            // Lower levels are reached later: the figures fall down each column.
            if (r > 0) {
                EXPECT_GE(p, out.record.ruin_grid[r - 1][c]);
            }
            if (c > 0 && c < 3) {
                EXPECT_GE(p, out.record.ruin_grid[r][c - 1]);
            }
        }
    }
    for (int h = 0; h < 3; ++h) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(sink.cells[estate_cell_names()[h][k]],
                      format_plain2(out.record.estate_grid[h][k]));
            if (k > 0) {
                EXPECT_GE(out.record.estate_grid[h][k], out.record.estate_grid[h][k - 1]);
            }
        }
    }
    EXPECT_EQ(state.ruin_probability_20, out.record.ruin_grid[0][1]);
    EXPECT_EQ(state.expected_ruin_age, out.record.expected_ruin_age);
    // Default case: the 20-year figure the process implies is 1.64% (+- 0.01).
    EXPECT_NEAR(out.record.ruin_grid[0][1], 0.0164, 2e-4);
    // Far less than 1e-9 of the distribution reaches the top by year 30.
    EXPECT_LT(out.top_loss, 1e-9);
    for (int i = 1; i < 20; ++i)
        EXPECT_LE(out.record.expected_income[i], out.record.expected_income[i - 1]);
}

TEST(RefinedCalculation, WealthAtOrBelowTheBarrierIsRuinedAtOnce) {
    AnalysisState state = test::prepared_state([](AnalysisState& s) { s.purchase_cpi = 900000; });
    ASSERT_LT(state.wealth_ratio, 0);
    test::RecordingSink sink;
    RefinedResults out;
    compute_refined_results(state, sink, out);
    EXPECT_EQ(sink.cells["Text3"], "100.0%");
    EXPECT_EQ(sink.cells["Text5"], "100.0%");
    EXPECT_EQ(sink.cells["Text58(0)"], "0.00");
    EXPECT_EQ(state.expected_ruin_age, state.current_age);
}

TEST(Richardson, ExtrapolatesAndGuardsTheBounds) {
    struct Row {
        double coarse, fine, value, error;
    };
    for (const Row& r : {Row{0.10, 0.13, 0.14, 0.03}, Row{0.02, 0.001, 0.001, 0.019},
                         Row{0.5, 0.5, 0.5, 0}, Row{0.97, 0.999, 0.999, 0.029}, Row{0, 0, 0, 0}}) {
        const RefinedValue v = richardson(r.coarse, r.fine);
        EXPECT_NEAR(v.value, r.value, 1e-12) << r.coarse << " " << r.fine;
        EXPECT_NEAR(v.error_estimate, r.error, 1e-12);
    }
}

}  // namespace
}  // namespace quorrel
