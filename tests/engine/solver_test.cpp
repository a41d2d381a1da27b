#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "record/errors.h"
#include "engine/standard/engine_internal.h"
#include "engine/standard/lane_kernel.h"
#include "engine/standard/solver.h"
#include "engine/model/wealth_model.h"
#include "engine_test_support.h"

namespace quorrel {
namespace {

using engine_detail::make_grid;
using engine_detail::reference_solve;
using engine_detail::SolveKind;
using engine_detail::SolveRequest;

// With zero return and volatility and no income, every row reads
// (1 + c) v_i - c v_(i-1) = v_i(old) with c = dt / dx: each step moves the
// ruin indicator down by a geometric number of nodes. After 500 steps the
// probability at x0 is P(N >= d) for N negative binomial (500 successes,
// success probability 1 / (1 + c)) and d the nodes between x0 and the barrier.
double transport_ruin(double c, int d) {
    const double r = 500;
    const double log_p = -std::log1p(c);
    const double log_q = std::log(c) - std::log1p(c);
    double below = 0;
    for (int n = 0; n < d; ++n) {
        below += std::exp(std::lgamma(n + r) - std::lgamma(n + 1.0) - std::lgamma(r) + r * log_p +
                          n * log_q);
    }
    return 1 - below;
}

TEST(Grid, NodesAreAProductThenADifference) {
    // 200 x 0.1 rounds to exactly 20, so node 400 is exactly 0 and is the
    // barrier; a fused multiply-add would give -1.1e-15 and move it to 401.
    const auto grid = make_grid(SolveKind::ruin_by_horizon, 20, 0);
    EXPECT_EQ(grid.M, 1201);
    EXPECT_EQ(grid.H, 600);
    EXPECT_EQ(grid.X[400], 0.0);
    EXPECT_EQ(grid.ib, 400);
    EXPECT_EQ(grid.X[600], 20.0);
    EXPECT_NEAR(grid.X[1], 20 - 59.9, 1e-12);
    EXPECT_NEAR(grid.X[1201], 20 + 60.1, 1e-12);

    // The barrier is the first node at or above the level: node 0.05.
    const auto offset = make_grid(SolveKind::ruin_by_horizon, 20.05, 0);
    EXPECT_EQ(offset.ib, 400);
    EXPECT_NEAR(offset.X[400], 0.05, 1e-12);
    EXPECT_LT(offset.X[399], 0);

    // A level below the bottom node: the bottom node is the barrier. At
    // x0 = 59.9 itself the bottom node is 59.9 - 599 x 0.1 = -7e-15, so the
    // barrier is still node 2.
    EXPECT_EQ(make_grid(SolveKind::ruin_by_horizon, 59.95, 0).ib, 1);
    EXPECT_EQ(make_grid(SolveKind::ruin_by_horizon, 59.9, 0).ib, 2);
    EXPECT_EQ(make_grid(SolveKind::ruin_by_horizon, 20, -50).ib, 1);
}

TEST(Grid, WealthBelowSwitchesToTheWideGridOnlyAboveXPlus100) {
    const auto narrow = make_grid(SolveKind::wealth_below, 20, 120);
    EXPECT_EQ(narrow.M, 1001);
    EXPECT_EQ(narrow.H, 500);
    EXPECT_EQ(narrow.dx, 0.2);
    const auto wide = make_grid(SolveKind::wealth_below, 20, std::nextafter(120.0, 200.0));
    EXPECT_EQ(wide.M, 1501);
    EXPECT_EQ(wide.H, 750);
    EXPECT_EQ(wide.dx, 400.0 / 1500);
    // Its barrier is the exhaustion level 0, whatever the level.
    EXPECT_EQ(narrow.X[narrow.ib], 0.0);
    EXPECT_GE(wide.X[wide.ib], 0.0);
    EXPECT_LT(wide.X[wide.ib - 1], 0.0);
}

TEST(Solver, LinearDeclineMatchesTheTransportClosedForm) {
    const AnalysisState s = test::linear_decline_state(20);
    for (double T : {10.0, 20.0, 23.0}) {
        const double c = (T / 500) / 0.1;
        const double expected = transport_ruin(c, 200);
        EXPECT_NEAR(ruin_probability_by_horizon(s, 0, 20, 0, 0, T), expected, 1e-9) << T;
        EXPECT_NEAR(reference_solve(s, {SolveKind::ruin_by_horizon, 0, 20, 0, 0, T}), expected,
                    1e-9)
            << T;
    }
    // Ruin by T happens iff x0 <= T, up to the smearing of the upwind scheme.
    EXPECT_LT(ruin_probability_by_horizon(s, 0, 20, 0, 0, 10), 1e-6);
    EXPECT_GT(ruin_probability_by_horizon(s, 0, 20, 0, 0, 30), 1 - 1e-6);
    // A level of 10 is reached after 10 years.
    EXPECT_NEAR(ruin_probability_by_horizon(s, 0, 20, 10, 0, 10), transport_ruin(0.2, 100), 1e-9);
}

TEST(Solver, WealthBelowAtLevelZeroIsExhaustionAlone) {
    const AnalysisState s = test::linear_decline_state(20);
    // Narrow grid, dx 0.2: node 400 is exactly 0, 100 nodes below x0.
    for (double T : {10.0, 20.0, 25.0}) {
        const double c = (T / 500) / 0.2;
        EXPECT_NEAR(wealth_below_probability(s, 0, 20, 0, 0, T), transport_ruin(c, 100), 1e-9) << T;
    }
    // Below a level: the terminal ones start at the last node under it, so
    // the indicator must travel from x0 to that node. Level 20 (= x0): one
    // node; level 5: node 424, 76 nodes down.
    EXPECT_NEAR(wealth_below_probability(s, 0, 20, 20, 0, 10), transport_ruin(0.1, 1), 1e-9);
    EXPECT_NEAR(wealth_below_probability(s, 0, 20, 5, 0, 10), transport_ruin(0.1, 76), 1e-9);
    EXPECT_LT(wealth_below_probability(s, 0, 20, 5, 0, 10), 0.01);
}

// With zero return and volatility each implicit step moves the ruin
// indicator down a geometric number of nodes (as above) and, while it has
// not reached the barrier, multiplies it by the step's 1 - q dt, q being the
// death rate of a life certain to die before T at the step's earlier time
// level. The lifetime probability is therefore the sum over the step n of
// first arrival of P(arrival at n) times the killing factors of steps 1..n-1,
// with q taken from the valuation's survival function and hazard.
double transport_lifetime_ruin(const AnalysisState& s, double T, double c, int d) {
    const double dt = T / 500;
    const double lambda = s.ruin_lambda, m = s.ruin_modal_age, b = s.ruin_dispersion;
    const double S_T = survival_probability(s.current_age, T, lambda, m, b);
    double alive = 1;  // product of the killing factors of the steps so far
    double result = 0;
    double arrived_before = 0;
    for (int n = 1; n <= 500; ++n) {
        const double log_p = -std::log1p(c), log_q = std::log(c) - std::log1p(c);
        double not_yet = 0;
        for (int j = 0; j < d; ++j) {
            not_yet += std::exp(std::lgamma(j + n) - std::lgamma(j + 1.0) - std::lgamma(n) +
                                n * log_p + j * log_q);
        }
        const double arrived = 1 - not_yet;
        result += (arrived - arrived_before) * alive;
        arrived_before = arrived;
        const double time = (n - 1) * dt;
        const double S = survival_probability(s.current_age, time, lambda, m, b);
        const double q = S * (gompertz_hazard(s.current_age + time, m, b) + lambda) / (S - S_T);
        alive *= 1 - q * dt;
    }
    return result;
}

struct LifetimeCase {
    double level;  // scaled level
    int nodes;     // nodes between x0 = 20 and the barrier on the 0.1 grid
};

void PrintTo(const LifetimeCase& c, std::ostream* os) {
    *os << "level " << c.level << ", " << c.nodes << " nodes";
}

class LifetimeClosedForm : public testing::TestWithParam<LifetimeCase> {};

TEST_P(LifetimeClosedForm, LinearDeclineAgainstTheSurvivalFunction) {
    const AnalysisState s = test::linear_decline_state(20);
    const double T = 110 - s.current_age;
    const LifetimeCase lc = GetParam();
    const double expected = transport_lifetime_ruin(s, T, (T / 500) / 0.1, lc.nodes);
    EXPECT_NEAR(lifetime_ruin_probability(s, 0, 20, lc.level, 0, T), expected, 1e-9);
    EXPECT_NEAR(reference_solve(s, {SolveKind::lifetime_ruin, 0, 20, lc.level, 0, T}), expected,
                1e-9);
    // Without the smearing of the scheme, ruin comes at 20 - level years:
    // the chance of living that long among lives ending before T.
    const double t_ruin = 20 - lc.level;
    const double S_T =
        survival_probability(s.current_age, T, s.ruin_lambda, s.ruin_modal_age, s.ruin_dispersion);
    const double S_ruin = survival_probability(s.current_age, t_ruin, s.ruin_lambda,
                                               s.ruin_modal_age, s.ruin_dispersion);
    EXPECT_NEAR(expected, (S_ruin - S_T) / (1 - S_T), 0.02);
}

INSTANTIATE_TEST_SUITE_P(Levels, LifetimeClosedForm,
                         testing::Values(LifetimeCase{0, 200}, LifetimeCase{10, 100},
                                         LifetimeCase{15, 50}));

TEST(Solver, LevelAtTheStartIsCertainRuin) {
    const AnalysisState s = test::default_state();
    const double x0 = s.wealth_ratio;
    EXPECT_EQ(ruin_probability_by_horizon(s, 0, x0, x0, 0, 10), 1.0);
    EXPECT_EQ(lifetime_ruin_probability(s, 0, x0, x0, 0, 110 - s.current_age), 1.0);
    EXPECT_EQ(reference_solve(s, {SolveKind::ruin_by_horizon, 0, x0, x0, 0, 30}), 1.0);
}

TEST(Solver, MortalityOnlyLowersTheRuinProbability) {
    const AnalysisState s = test::default_state();
    const double x0 = s.wealth_ratio;
    const double T = 110 - s.current_age;
    for (double f : {0.0, 0.25}) {
        const double lifetime = lifetime_ruin_probability(s, 0, x0, f * x0, 0, T);
        const double horizon = ruin_probability_by_horizon(s, 0, x0, f * x0, 0, T);
        EXPECT_GT(lifetime, 0);
        EXPECT_LT(lifetime, horizon);
    }
}

TEST(Solver, MakehamFunctions) {
    // With r = 0 the survival is the Gompertz-Makeham survival of the valuation.
    EXPECT_DOUBLE_EQ(makeham_survival(0, 12.5, 65, 0.001, 88, 9.5),
                     survival_probability(65, 12.5, 0.001, 88, 9.5));
    EXPECT_EQ(makeham_survival(0, 0, 65, 0.001, 88, 9.5), 1.0);
    EXPECT_DOUBLE_EQ(makeham_hazard(0, 0.001, 70, 88, 9.5),
                     std::exp((70 - 88) / 9.5) / 9.5 + 0.001);
    EXPECT_DOUBLE_EQ(makeham_hazard(0.5, 0.001, 70, 88, 9.5),
                     (std::exp((70 - 88) / 9.5) / 9.5 + 0.001) * 1.5);
    // Scaling the hazard by 1 + r shifts the modal age by b ln(1 + r).
    EXPECT_NEAR(makeham_survival(0.5, 10, 70, 0, 88, 9.5),
                survival_probability(70, 10, 0, 88 - 9.5 * std::log(1.5), 9.5), 1e-14);
}

// The kernel factors a step's matrix afresh or reuses the last one when its
// coefficients have not moved; either way every lane of every instruction
// set this processor runs must equal the reference bit for bit.
struct FastPathCase {
    const char* name;
    void (*change)(AnalysisState&);
    bool matrices_repeat;
};

class FastPaths : public ::testing::TestWithParam<FastPathCase> {};

// Requests on the ruin grid: horizons, barrier levels and both kinds.
std::vector<SolveRequest> ruin_grid_requests(const AnalysisState& s) {
    std::vector<SolveRequest> requests;
    const double x0 = s.wealth_ratio;
    for (double f : {0.0, 0.1, 0.25, 0.5}) {
        for (double T : {3.0, 10.0, 17.5, 27.5, 30.0})
            requests.push_back(
                {.kind = SolveKind::ruin_by_horizon, .x0 = x0, .level = f * x0, .T = T});
        requests.push_back({.kind = SolveKind::lifetime_ruin,
                            .x0 = x0,
                            .level = f * x0,
                            .T = 110.0 - s.current_age});
    }
    return requests;
}

// One kernel call holding the first lanes - 1 requests, so that the widest
// batch of the set and a spare lane are both exercised.
std::vector<double> one_kernel_call(const engine_detail::KernelSet& set,
                                    const engine::Model& model,
                                    const std::vector<SolveRequest>& all) {
    const auto used = std::min<std::size_t>(all.size(), set.max_forward_lanes - 1);
    const std::vector<SolveRequest> requests(all.begin(), all.begin() + used);
    const engine_detail::Grid grid = make_grid(requests[0].kind, requests[0].x0, 0.0);
    const std::vector<double> X2 = engine_detail::squares(grid);
    std::vector<int> barriers;
    for (const SolveRequest& rq : requests)
        barriers.push_back(engine_detail::barrier_index(grid, rq.level));
    std::vector<double> out(used, 0);
    set.solve(model,
              {.grid = &grid, .X2 = X2, .requests = requests, .barriers = barriers, .out = out});
    return out;
}

TEST_P(FastPaths, MatchTheReferencePath) {
    const AnalysisState s = test::prepared_state(GetParam().change);
    const engine::Model model = engine::Model::from_state(s);
    EXPECT_EQ(engine_detail::matrices_repeat(
                  model, {.kind = SolveKind::ruin_by_horizon, .x0 = s.wealth_ratio, .T = 20}),
              GetParam().matrices_repeat);
    const double x0 = s.wealth_ratio;
    ASSERT_GT(x0, 10);
    const std::vector<SolveRequest> requests = ruin_grid_requests(s);
    std::vector<double> reference;
    for (const SolveRequest& rq : requests) reference.push_back(reference_solve(s, rq));
    const std::vector<double> levels{0.0, 0.35 * x0, x0, 2.05 * x0};
    std::vector<double> below10, below20;
    for (double level : levels) {
        below10.push_back(reference_solve(s, {SolveKind::wealth_below, 0, x0, level, 0, 10}));
        below20.push_back(reference_solve(s, {SolveKind::wealth_below, 0, x0, level, 0, 20}));
    }
    const double high = x0 + 150;
    const double high20 = reference_solve(s, {SolveKind::wealth_below, 0, x0, high, 0, 20});

    const auto sets = engine_detail::supported_kernel_sets();
    ASSERT_FALSE(sets.empty());
    for (const engine_detail::KernelSet* set : sets) {
        SCOPED_TRACE(set->name);
        const engine_detail::KernelOverride chosen(*set);
        // Same arithmetic in every lane: equal to the last bit.
        std::vector<double> batched;
        engine_detail::solve_batch(model, requests, batched);
        ASSERT_EQ(batched.size(), requests.size());
        for (std::size_t k = 0; k < requests.size(); ++k) EXPECT_EQ(batched[k], reference[k]) << k;
        const std::vector<double> widest = one_kernel_call(*set, model, requests);
        for (std::size_t k = 0; k < widest.size(); ++k) EXPECT_EQ(widest[k], reference[k]) << k;
        for (std::size_t k = 0; k < requests.size(); ++k)
            EXPECT_EQ(engine_detail::fast_solve(model, requests[k]), reference[k]) << k;

        // The adjoint sweep gives every level's wealth-below probability.
        std::vector<engine_detail::WealthBelowCurve> narrow, wide;
        engine_detail::build_wealth_below_curves(model, 0, x0, 0, false, {10, 20}, narrow);
        engine_detail::build_wealth_below_curves(model, 0, x0, 0, true, {20}, wide);
        for (std::size_t c = 0; c < levels.size(); ++c) {
            EXPECT_NEAR(narrow[0].probability(levels[c]), below10[c], 1e-12) << levels[c];
            EXPECT_NEAR(narrow[1].probability(levels[c]), below20[c], 1e-12) << levels[c];
        }
        EXPECT_NEAR(wide[0].probability(high), high20, 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Solver, FastPaths,
    ::testing::Values(
        // Annuities make the exposure and the nominal income move every step.
        FastPathCase{"factored_every_step",
                     [](AnalysisState& st) {
                         st.purchase_nominal = 100000;
                         st.purchase_variable = 100000;
                         st.pension_cpi_income = 5000;
                         st.cola_rate = 0.02;
                         st.later_allocation_years = 5;
                         st.weight_copy_stock = st.weight_stock = 0.6;
                         st.weight_copy_cash = st.weight_cash = 0;
                         st.weight_copy_estate = st.weight_estate = 0;
                     },
                     false},
        FastPathCase{"factored_once", [](AnalysisState&) {}, true},
        // The matrix changes once, where the later allocation starts.
        FastPathCase{"factored_again_at_the_switch",
                     [](AnalysisState& st) {
                         st.later_allocation_years = 5;
                         st.weight_copy_stock = st.weight_stock = 0.6;
                         st.weight_copy_cash = st.weight_cash = 0;
                         st.weight_copy_estate = st.weight_estate = 0;
                     },
                     true},
        // A nominal pension alone: only the income term moves.
        FastPathCase{"nominal_pension_moves_the_drift",
                     [](AnalysisState& st) { st.pension_nominal_income = 8000; }, false}),
    [](const ::testing::TestParamInfo<FastPathCase>& info) {
        return std::string(info.param.name);
    });

TEST(Solver, NonFiniteResultsThrowSolverError) {
    AnalysisState s = test::default_state();
    s.ruin_dispersion = 0;  // the killing term is no number
    EXPECT_THROW(lifetime_ruin_probability(s, 0, s.wealth_ratio, 0, 0, 45), SolverError);
    EXPECT_THROW(reference_solve(s, {SolveKind::lifetime_ruin, 0, s.wealth_ratio, 0, 0, 45}),
                 SolverError);
    std::vector<double> out;
    EXPECT_THROW(
        engine_detail::solve_batch(engine::Model::from_state(s),
                                   {{SolveKind::ruin_by_horizon, 0, s.wealth_ratio, 0, 0, 10},
                                    {SolveKind::lifetime_ruin, 0, s.wealth_ratio, 0, 0, 45},
                                    {SolveKind::ruin_by_horizon, 0, s.wealth_ratio, 0, 0, 20}},
                                   out),
        SolverError);
    // The same failure on the worker thread reaches the caller too.
    EXPECT_THROW(
        engine_detail::solve_batch(engine::Model::from_state(s),
                                   {{SolveKind::ruin_by_horizon, 0, s.wealth_ratio, 0, 0, 10},
                                    {SolveKind::ruin_by_horizon, 0, s.wealth_ratio, 0, 0, 20},
                                    {SolveKind::lifetime_ruin, 0, s.wealth_ratio, 0, 0, 45}},
                                   out, [] {}),
        SolverError);

    AnalysisState overflow = test::default_state();
    overflow.current_expected_return = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(ruin_probability_by_horizon(overflow, 0, overflow.wealth_ratio, 0, 0, 10),
                 SolverError);
}

TEST(Solver, PumpRunsOncePerStepOnTheCallingThreadOnly) {
    const AnalysisState s = test::default_state();
    int calls = 0;
    ruin_probability_by_horizon(s, 0, s.wealth_ratio, 0, 0, 10, [&] { ++calls; });
    EXPECT_EQ(calls, 500);

    const std::thread::id caller = std::this_thread::get_id();
    int batch_calls = 0;
    bool elsewhere = false;
    std::vector<SolveRequest> requests;
    for (int i = 1; i <= 6; ++i)
        requests.push_back({SolveKind::ruin_by_horizon, 0, s.wealth_ratio, 0, 0, 5.0 * i});
    std::vector<double> out;
    engine_detail::solve_batch(engine::Model::from_state(s), requests, out, [&] {
        ++batch_calls;
        elsewhere = elsewhere || std::this_thread::get_id() != caller;
    });
    EXPECT_GE(batch_calls, 500);
    EXPECT_FALSE(elsewhere);
}

TEST(Solver, CountsEverySolve) {
    const AnalysisState s = test::default_state();
    const long before = solver_call_count();
    ruin_probability_by_horizon(s, 0, s.wealth_ratio, 0, 0, 10);
    wealth_below_probability(s, 0, s.wealth_ratio, s.wealth_ratio, 0, 10);
    EXPECT_EQ(solver_call_count() - before, 2);
}

}  // namespace
}  // namespace quorrel
