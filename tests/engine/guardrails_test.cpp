// The guardrails spending rule in the simulation: guardrails that can never
// change spending give the fixed rule's figures path for path; without
// volatility the reviews follow a sequence computed here year by year from
// the closed form of wealth under constant spending; the figures do not
// depend on the threads or the instruction set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "engine/model/model.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/simulation/path_lanes.h"
#include "engine_test_support.h"

namespace quorrel {
namespace {

using engine::Model;
using engine::SpendingRule;

AnalysisState guardrails(AnalysisState s, double upper, double lower, double cut, double raise,
                         double floor, double ceiling) {
    s.spending_rule = 2;
    s.guardrail_upper = upper;
    s.guardrail_lower = lower;
    s.spending_cut = cut;
    s.spending_raise = raise;
    s.spending_floor = floor;
    s.spending_ceiling = ceiling;
    return s;
}

MonteCarloResults run(const AnalysisState& s, long paths, unsigned threads = 0) {
    MonteCarloOptions options;
    options.paths = paths;
    options.seed = 7;
    options.threads = threads;
    return run_monte_carlo(s, options);
}

void expect_same(const McEstimate& a, const McEstimate& b, const char* what) {
    EXPECT_EQ(a.value, b.value) << what;
    EXPECT_EQ(a.standard_error, b.standard_error) << what;
}

struct NeverFires {
    const char* name;
    double upper, lower, cut, raise;
    double floor_share, ceiling_share;  // of the target
    bool pensions;
};

class GuardrailsThatNeverFire : public ::testing::TestWithParam<NeverFires> {};

// Spending stays at the target on every path, so each path is the fixed
// rule's to the bit, and every figure with it. The share at the floor is
// the ruined share (a ruined path counts as at the floor), or everyone when
// the floor is the target.
TEST_P(GuardrailsThatNeverFire, EqualTheFixedRuleFigureForFigure) {
    const NeverFires& c = GetParam();
    const AnalysisState base = test::prepared_state([&c](AnalysisState& s) {
        if (c.pensions) {
            s.pension_cpi_income = 9000;
            s.pension_nominal_income = 5000;
        }
    });
    const AnalysisState rails =
        guardrails(base, c.upper, c.lower, c.cut, c.raise, c.floor_share * base.target_income,
                   c.ceiling_share * base.target_income);
    const MonteCarloResults fixed = run(base, 6000);
    const MonteCarloResults g = run(rails, 6000);
    for (int r = 0; r < 4; ++r)
        for (int col = 0; col < 4; ++col) expect_same(g.ruin[r][col], fixed.ruin[r][col], "ruin");
    for (int h = 0; h < 3; ++h)
        for (int k = 0; k < 3; ++k) {
            expect_same(g.estate[h][k], fixed.estate[h][k], "estate");
            EXPECT_NEAR(g.spending[h][k].value, fixed.spending[h][k].value, 1e-9) << h << k;
            EXPECT_NEAR(g.spending[h][k].standard_error, fixed.spending[h][k].standard_error, 1e-9);
        }
    expect_same(g.expected_ruin_age, fixed.expected_ruin_age, "ruin age");
    const Model m = Model::from_state(base);
    for (int h = 0; h < 3; ++h) {
        const double floor_share = c.floor_share == 1 ? 1.0 : fixed.ruin[0][h].value;
        EXPECT_EQ(g.spending_at_floor[h].value, floor_share) << h;
    }
    // Spending 1 while wealth lasts and the pensions after: the fixed rule's
    // expected income, from the same paths.
    for (int i = 0; i < 20; ++i) {
        const double horizon = expected_income_horizon(base.current_age, i + 1);
        const double p = g.income_ruin[i].value;
        EXPECT_NEAR(g.expected_spending[i].value, 1 - p + p * m.annuity_income(horizon), 1e-9) << i;
    }
    EXPECT_GT(fixed.ruin[0][2].value, 0.001);  // the case does reach ruin
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GuardrailsThatNeverFire,
    ::testing::Values(NeverFires{"no_cut_no_raise", 1.0, 1.0, 0, 0, 0.75, 1.5, false},
                      NeverFires{"floor_is_ceiling_is_target", 0.2, 0.2, 0.1, 0.1, 1, 1, true},
                      NeverFires{"no_cut_no_raise_pensions", 0.05, 0.05, 0, 0, 0.5, 2, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Without volatility: the review sequence by hand ----------------------------

struct Deterministic {
    const char* name;
    double x0, mu;
    double upper, lower, cut, raise, floor, ceiling;  // floor, ceiling: of the target
    int fewest_changes;  // the case must move spending at least this often
};

class GuardrailsWithoutVolatility : public ::testing::TestWithParam<Deterministic> {};

// With sigma 0 and constant spending s over a year, wealth follows
// x' = mu x - s: x(t) = x e^(mu t) - s (e^(mu t) - 1) / mu. Stepping a year
// at a time with the review at its end gives the spending at 10, 20 and 30
// years and the time wealth runs out, which every path of the simulation
// (0.02-year trapezoid steps) must reproduce.
TEST_P(GuardrailsWithoutVolatility, FollowTheReviewsComputedYearByYear) {
    const Deterministic& c = GetParam();
    Model m;
    m.current_mu = m.later_mu = c.mu;
    m.current_sigma = m.later_sigma = 0;
    m.current_age = 65;
    m.lambda = 0.0005;
    m.modal_age = 88;
    m.dispersion = 9.5;
    m.spending_rule = SpendingRule::guardrails;
    m.guardrail_upper = c.upper;
    m.guardrail_lower = c.lower;
    m.spending_cut = c.cut;
    m.spending_raise = c.raise;
    m.spending_floor = c.floor;
    m.spending_ceiling = c.ceiling;
    SimulationHorizons horizons;
    horizons.lifetime = horizons.tail = 45;
    for (int i = 0; i < 20; ++i) horizons.income[i] = 2.0 * (i + 1);

    const auto grow = [&c](double x, double s, double t) {
        const double e = std::exp(c.mu * t);
        return x * e - s * (e - 1) / c.mu;
    };
    const double initial = 1 / c.x0;
    double x = c.x0, s = 1, ruin_time = std::numeric_limits<double>::infinity();
    double spending_at[3] = {0, 0, 0};
    int changes = 0;
    double closest = 1;  // the nearest a review came to a guardrail, relatively
    for (int year = 1; year <= 45 && ruin_time > 45; ++year) {
        const double next = grow(x, s, 1);
        if (next <= 0) {
            // e^(mu t) = s / (s - mu x) where wealth reaches 0.
            ruin_time = year - 1 + std::log(s / (s - c.mu * x)) / c.mu;
            break;
        }
        x = next;
        const double rate = s / x, high = initial * (1 + c.upper), low = initial * (1 - c.lower);
        closest = std::min({closest, std::fabs(rate / high - 1), std::fabs(rate / low - 1)});
        const double before = s;
        if (rate > high) s *= 1 - c.cut;
        else if (rate < low) s *= 1 + c.raise;
        s = std::min(std::max(s, c.floor), c.ceiling);
        changes += s != before;
        if (year % 10 == 0 && year <= 30) spending_at[year / 10 - 1] = s;
    }
    ASSERT_GE(changes, c.fewest_changes);
    ASSERT_GT(closest, 1e-4) << "a review too near a guardrail for the step's error";

    MonteCarloOptions options;
    options.paths = 64;
    const MonteCarloResults mc = simulate_wealth_paths(m, c.x0, horizons, options);
    for (int h = 0; h < 3; ++h) {
        const bool ruined = ruin_time <= kGridHorizons[static_cast<std::size_t>(h)];
        EXPECT_EQ(mc.ruin[0][h].value, ruined ? 1.0 : 0.0) << h;
        const double expected = ruined ? 0.0 : spending_at[h];
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(mc.spending[h][k].value, expected, 1e-12) << h << k;
        EXPECT_EQ(mc.spending_at_floor[h].value, ruined || spending_at[h] <= c.floor ? 1.0 : 0.0);
    }
    const double simulated_ruin = mc.expected_ruin_age.value - m.current_age;
    EXPECT_NEAR(simulated_ruin, std::min(ruin_time, horizons.tail), 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GuardrailsWithoutVolatility,
    ::testing::Values(
        // Wealth falls, the rate climbs past the upper guardrail: cuts down to the floor.
        Deterministic{"cuts_to_the_floor", 15, 0.03, 0.2, 0.2, 0.1, 0.1, 0.75, 1.5, 3},
        // Wealth grows faster than spending: raises up to the ceiling.
        Deterministic{"raises_to_the_ceiling", 25, 0.06, 0.2, 0.2, 0.1, 0.1, 0.75, 1.5, 3},
        // Narrow guardrails and large steps, cut and raise in turn.
        Deterministic{"narrow_rails", 22, 0.045, 0.05, 0.05, 0.15, 0.07, 0.5, 2, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Threads and instruction sets -----------------------------------------------

// Each path's draws depend on (seed, path, step) alone: 1 and 2 threads and
// every instruction set give the same figures to the bit.
TEST(Guardrails, SameFiguresOnAnyThreadsAndInstructionSet) {
    const AnalysisState base = test::default_state();
    const AnalysisState s = guardrails(base, 0.2, 0.2, 0.1, 0.1, 0, 0);
    const MonteCarloResults one = run(s, 5000, 1);
    EXPECT_GT(one.spending_at_floor[2].value, 0.05);  // the guardrails do fire
    std::vector<MonteCarloResults> others = {run(s, 5000, 2)};
    for (const auto* kernels : simulation_detail::supported_path_kernels()) {
        const simulation_detail::PathKernelOverride use(*kernels);
        others.push_back(run(s, 5000, 2));
    }
    for (const MonteCarloResults& o : others) {
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 4; ++col) expect_same(o.ruin[r][col], one.ruin[r][col], "ruin");
        for (int h = 0; h < 3; ++h) {
            for (int k = 0; k < 3; ++k) {
                expect_same(o.estate[h][k], one.estate[h][k], "estate");
                expect_same(o.spending[h][k], one.spending[h][k], "spending");
            }
            expect_same(o.spending_at_floor[h], one.spending_at_floor[h], "floor");
        }
        for (int i = 0; i < 20; ++i) expect_same(o.expected_spending[i], one.expected_spending[i], "curve");
    }
}

}  // namespace
}  // namespace quorrel
