#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "check_cases.h"
#include "engine/refined/refined.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/simulation/path_lanes.h"
#include "engine_test_support.h"

namespace quorrel {
namespace {

// ---- The refined engine against the simulation ------------------------------------

struct SimulationCase {
    std::string name;
    std::function<void(AnalysisState&)> change;
};

std::vector<SimulationCase> simulation_cases() {
    return {
        {"defaults", [](AnalysisState&) {}},
        {"cash_then_sixty_forty", check_cases::cash_then_sixty_forty},
        // Coefficients that change every year: a nominal pension losing value
        // and a variable annuity, with a larger spending need.
        {"pensions_and_annuities",
         [](AnalysisState& s) {
             s.target_income = 60000;
             s.pension_nominal_income = 8000;
             s.pension_cpi_income = 5000;
             s.purchase_nominal = 50000;
             s.purchase_cpi = 50000;
             s.purchase_variable = 50000;
             s.air_rate = 0.04;
         }},
    };
}

class RefinedAgainstSimulation : public ::testing::TestWithParam<SimulationCase> {};

TEST_P(RefinedAgainstSimulation, EveryFigureWithinThreeStandardErrors) {
    AnalysisState state = test::prepared_state(GetParam().change);
    MonteCarloOptions options;
    options.paths = 20000;
    options.seed = 11;
    const MonteCarloResults mc = run_monte_carlo(state, options);
    ASSERT_FALSE(mc.cancelled);
    ASSERT_EQ(mc.paths, 20000);

    test::RecordingSink sink;
    RefinedResults refined;
    compute_refined_results(state, sink, refined);
    const double n = static_cast<double>(mc.paths);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            // The simulation's standard error if the refined figure is the truth,
            // plus a little for the simulation's own time step.
            const double p = refined.record.ruin_grid[r][c];
            const double se = std::sqrt(p * (1 - p) / n);
            EXPECT_NEAR(mc.ruin[r][c].value, p, 3 * se + 3e-4) << "row " << r << " col " << c;
        }
    }
    for (int h = 0; h < 3; ++h) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(mc.estate[h][k].value, refined.record.estate_grid[h][k],
                        3 * mc.estate[h][k].standard_error + 0.005)
                << "horizon " << h << " quantile " << k;
        }
    }
    EXPECT_NEAR(mc.expected_ruin_age.value, refined.record.expected_ruin_age,
                3 * mc.expected_ruin_age.standard_error + 0.02);
    for (int i = 0; i < 20; ++i) {
        EXPECT_NEAR(mc.expected_income[i].value, refined.record.expected_income[i],
                    3 * mc.expected_income[i].standard_error + 3e-4)
            << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RefinedAgainstSimulation, ::testing::ValuesIn(simulation_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(RefinedAgainstSimulationLifetime, ExponentialDeathWithConstantSpending) {
    // mu 7%, sigma 20%, a death rate of ln 2 / 28.1 and 20 years of spending.
    // The literature's moment-matched reciprocal-gamma figure for this case
    // is 26.8%; the process itself gives about 29.3%, which the simulation,
    // drawing each death time, confirms.
    engine::Model m;
    m.current_mu = m.later_mu = 0.07;
    m.current_sigma = m.later_sigma = 0.20;
    m.later_years = 5;
    m.current_age = 65;
    m.lambda = std::log(2.0) / 28.1;
    m.modal_age = 1e4;
    m.dispersion = 10;
    const double horizon = 250;
    const refined::LevelSweeps s =
        refined::sweep_level(m, 20, 0, horizon, refined::sweep_top(m, 20, 0.1, 30));
    const RefinedValue v =
        richardson(s.coarse.lifetime_ruin(m, horizon), s.fine.lifetime_ruin(m, horizon));

    SimulationHorizons h;
    h.lifetime = horizon;
    h.tail = horizon;
    for (int i = 0; i < 20; ++i) h.income[i] = i + 1;
    MonteCarloOptions options;
    options.paths = 20000;
    options.dt = 0.05;
    const MonteCarloResults mc = simulate_wealth_paths(m, 20, h, options);
    const double se = std::sqrt(v.value * (1 - v.value) / 20000);
    EXPECT_NEAR(mc.ruin[0][3].value, v.value, 3 * se + 5e-4);
    EXPECT_NEAR(v.value, 0.293, 1e-3);
}

// ---- Reproducibility, cancelling, progress -------------------------------------------

// Every estate percentile has a standard error whatever the number of
// paths, including a run of a single block, and the error agrees with the
// spread of the percentile over independent seeds.
TEST(MonteCarlo, EstateStandardErrorsForFewPaths) {
    const AnalysisState state = test::default_state();
    for (const long paths : {1000L, 1024L, 1025L, 2048L, 3000L}) {
        MonteCarloOptions options;
        options.paths = paths;
        const MonteCarloResults r = run_monte_carlo(state, options);
        for (int h = 0; h < 3; ++h)
            for (int k = 0; k < 3; ++k)
                // Zero where a percentile is ruin (no estate) in every group.
                EXPECT_TRUE(std::isfinite(r.estate[h][k].standard_error) &&
                            r.estate[h][k].standard_error >= 0)
                    << paths << " paths, horizon " << h << ", percentile " << k;
    }

    constexpr int kSeeds = 40;
    double sum = 0, sum2 = 0, reported = 0;
    for (int seed = 1; seed <= kSeeds; ++seed) {
        MonteCarloOptions options;
        options.paths = 1000;
        options.seed = static_cast<std::uint64_t>(seed);
        const MonteCarloResults r = run_monte_carlo(state, options);
        const double median = r.estate[0][1].value;
        sum += median;
        sum2 += median * median;
        reported += r.estate[0][1].standard_error;
    }
    const double mean = sum / kSeeds;
    const double spread = std::sqrt((sum2 - kSeeds * mean * mean) / (kSeeds - 1));
    reported /= kSeeds;
    EXPECT_GT(reported, 0.6 * spread);
    EXPECT_LT(reported, 1.6 * spread);
}

// Every figure and standard error of a run, to compare runs to the bit.
std::vector<double> every_figure(const MonteCarloResults& r) {
    std::vector<double> v;
    const auto add = [&v](const McEstimate& e) {
        v.push_back(e.value);
        v.push_back(e.standard_error);
    };
    for (const auto& row : r.ruin)
        for (const McEstimate& e : row) add(e);
    for (const auto& row : r.estate)
        for (const McEstimate& e : row) add(e);
    add(r.expected_ruin_age);
    for (const McEstimate& e : r.income_ruin) add(e);
    for (const McEstimate& e : r.expected_income) add(e);
    return v;
}

// Path i draws from (seed, i, step) alone: the threads, the instruction set
// the lanes run on and a path count that leaves a part-filled vector change
// nothing, to the bit; the seed changes the figures.
TEST(MonteCarlo, SameSeedSameFiguresWhateverTheThreadsAndInstructionSet) {
    const AnalysisState state = test::prepared_state(simulation_cases()[2].change);
    MonteCarloOptions options;
    options.paths = 3001;
    options.seed = 5;
    options.threads = 1;
    const std::vector<double> reference = every_figure(run_monte_carlo(state, options));
    for (const unsigned threads : {2u, 16u}) {
        options.threads = threads;
        EXPECT_EQ(every_figure(run_monte_carlo(state, options)), reference)
            << threads << " threads";
    }
    for (const simulation_detail::PathKernels* kernels :
         simulation_detail::supported_path_kernels()) {
        const simulation_detail::PathKernelOverride use(*kernels);
        options.threads = 2;
        EXPECT_EQ(every_figure(run_monte_carlo(state, options)), reference) << kernels->name;
    }
    options.seed = 6;
    EXPECT_NE(every_figure(run_monte_carlo(state, options)), reference);
}

// The step each rule's paths take unless told one, and a step told is taken
// as told: the figures at the default are those at that step given.
struct StepCase {
    const char* name;
    std::int16_t rule;
    double told, taken;
};

class SimulationStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(SimulationStep, EachRuleTakesItsOwnStepUnlessTold) {
    const StepCase& c = GetParam();
    const AnalysisState state = test::prepared_state([&](AnalysisState& s) {
        s.spending_rule = c.rule;
        s.spending_rate = 0.05;
    });
    MonteCarloOptions options;
    options.paths = 600;
    options.seed = 9;
    options.dt = c.told;
    const MonteCarloResults mc = run_monte_carlo(state, options);
    EXPECT_EQ(mc.dt, c.taken);
    options.dt = c.taken;
    EXPECT_EQ(every_figure(run_monte_carlo(state, options)), every_figure(mc));
}

INSTANTIATE_TEST_SUITE_P(Rules, SimulationStep,
                         ::testing::Values(StepCase{"fixed", 0, 0, kFixedSpendingStep},
                                           StepCase{"percent", 1, 0, kFirstOrderStep},
                                           StepCase{"guardrails", 2, 0, kFixedSpendingStep},
                                           StepCase{"fixed_told", 0, 0.1, 0.1},
                                           StepCase{"percent_told", 1, 0.25, 0.25}),
                         [](const auto& info) { return std::string(info.param.name); });

// Beyond the last horizon of the other figures the paths take longer steps
// for the expected ruin age alone: a run whose tail ends there has every
// other figure to the bit, and the expected ruin age less (fewer years to
// live through), for every rule.
TEST(SimulationTail, LongerStepsChangeOnlyTheExpectedRuinAge) {
    for (const std::int16_t rule : {0, 1, 2}) {
        const AnalysisState state = test::prepared_state([&](AnalysisState& s) {
            s.spending_rule = rule;
            s.spending_rate = 0.05;
        });
        const engine::Model model = engine::Model::from_state(state);
        SimulationHorizons h;
        h.lifetime = model.lifetime_horizon();
        for (int i = 1; i <= 20; ++i)
            h.income[i - 1] = expected_income_horizon(state.current_age, i);
        h.tail = std::ceil(std::max(h.lifetime, h.income[19]));
        MonteCarloOptions options;
        options.paths = 2000;
        options.seed = 4;
        const MonteCarloResults short_tail =
            simulate_wealth_paths(model, state.wealth_ratio, h, options);
        h.tail = model.tail_horizon();
        const MonteCarloResults long_tail =
            simulate_wealth_paths(model, state.wealth_ratio, h, options);
        std::vector<double> a = every_figure(short_tail), b = every_figure(long_tail);
        // The expected ruin age's value and error follow the ruin and estate grids.
        constexpr std::ptrdiff_t kRuinAge = 2 * (16 + 9);
        a.erase(a.begin() + kRuinAge, a.begin() + kRuinAge + 2);
        b.erase(b.begin() + kRuinAge, b.begin() + kRuinAge + 2);
        EXPECT_EQ(a, b) << rule;
        EXPECT_LT(short_tail.expected_ruin_age.value, long_tail.expected_ruin_age.value) << rule;
    }
}

// The lifetime figures take each path's chance of outliving its owner; one
// drawn death per path estimates the same, with more noise. Both agree within
// their combined standard errors, and the integrated errors are less than
// half the drawn ones for the same paths.
TEST(MonteCarlo, LifetimeByTheDeathLawAgreesWithDrawnDeathsAtLessThanHalfTheError) {
    for (const auto& c : simulation_cases()) {
        const AnalysisState state = test::prepared_state(c.change);
        MonteCarloOptions options;
        options.paths = 40000;
        options.seed = 17;
        options.drawn_death = true;
        const MonteCarloResults r = run_monte_carlo(state, options);
        for (int row = 0; row < 4; ++row) {
            const McEstimate integrated = r.ruin[row][3], drawn = r.lifetime_drawn_death[row];
            EXPECT_NEAR(integrated.value, drawn.value,
                        3 * std::hypot(integrated.standard_error, drawn.standard_error))
                << c.name << ", row " << row;
            // Integrating the death law and taking out the early returns'
            // control each halve the error at least where the other does least.
            EXPECT_LT(integrated.standard_error, 0.5 * drawn.standard_error)
                << c.name << ", row " << row;
        }
    }
}

TEST(MonteCarlo, CancelFromTheProgressCallbackStopsTheRun) {
    const AnalysisState state = test::default_state();
    std::atomic<bool> cancel{false};
    std::vector<double> fractions;
    MonteCarloOptions options;
    options.paths = 50000000;  // hours of work unless the cancel works
    options.cancel = &cancel;
    options.progress = [&](double f) {
        fractions.push_back(f);
        if (fractions.size() == 3) cancel = true;
    };
    const MonteCarloResults r = run_monte_carlo(state, options);
    EXPECT_TRUE(r.cancelled);
    ASSERT_GE(fractions.size(), 3u);
    for (std::size_t k = 0; k < fractions.size(); ++k) {
        EXPECT_GE(fractions[k], 0);
        EXPECT_LT(fractions[k], 0.01);
        if (k > 0) {
            EXPECT_GE(fractions[k], fractions[k - 1]);
        }
    }
}

}  // namespace
}  // namespace quorrel
