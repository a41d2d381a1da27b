// The household's simulation (the first death drawn, the survivor's
// integrated) against the refined household: every figure of four
// households within three combined standard errors plus the error estimate;
// the same figures on one thread and two; and the standard error it reports
// against the spread of its figures over seeds.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "household_cases.h"
#include "engine/refined/household.h"
#include "engine/simulation/household_simulation.h"
#include "engine/stages/household_cross_check.h"
#include "engine_test_support.h"

namespace quorrel {
namespace {

using check_cases::household_check_cases;

AnalysisState household_case_state(std::size_t index) {
    return test::prepared_state(household_check_cases()[index].change);
}

HouseholdSimulationResults simulated_household(const AnalysisState& s, long paths,
                                               std::uint64_t seed, unsigned threads = 0) {
    MonteCarloOptions options;
    options.paths = paths;
    options.seed = seed;
    options.threads = threads;
    return run_household_monte_carlo(s, options);
}

// Every estimate of a run, value and standard error, in one list.
std::vector<double> every_estimate(const HouseholdSimulationResults& r) {
    std::vector<double> v;
    const auto put = [&v](const McEstimate& e) {
        v.push_back(e.value);
        v.push_back(e.standard_error);
    };
    for (const auto& row : r.figures.ruin)
        for (const McEstimate& e : row) put(e);
    for (const auto& row : r.figures.estate)
        for (const McEstimate& e : row) put(e);
    for (const McEstimate& e : r.figures.expected_income) put(e);
    for (int level = 0; level < 4; ++level) {
        put(r.lifetime_ruin_both[static_cast<std::size_t>(level)]);
        put(r.lifetime_ruin_survivor[static_cast<std::size_t>(level)]);
    }
    return v;
}

class HouseholdAgainstSimulation : public ::testing::TestWithParam<std::size_t> {};

// The refined figures and the simulated ones are computed by different
// means from the same model (a forward sweep of three densities moving at
// the death rates; paths with a drawn first death): each ruin probability,
// estate, expected income and split lifetime ruin must agree within three
// of the simulation's standard errors plus the refined error estimate.
// About 90 figures a household are judged at once, so at this path count
// a seed may show one beyond three standard errors by chance (seed 7 shows
// two of the 360, at 3.2 and 3.3); the seed is fixed, and a fault in the
// states' terms moves figures by many standard errors.
TEST_P(HouseholdAgainstSimulation, EveryFigureAgreesWithinThreeStandardErrors) {
    const AnalysisState s = household_case_state(GetParam());
    AnalysisState state = s;
    test::RecordingSink sink;
    RefinedResults refined;
    compute_household_results(state, sink, refined);
    refined.record.refined = true;  // as the pipeline marks it
    const HouseholdSimulationResults mc = simulated_household(s, 20000, 5);
    ASSERT_FALSE(mc.figures.cancelled);
    ASSERT_EQ(mc.figures.paths, 20000);
    const HouseholdCrossCheck check = cross_check_household(refined.record, mc);

    const ResultsRecord& r = refined.record;
    const auto judged = [&](Agreement a, const std::string& what, double figure,
                            const McEstimate& m) {
        EXPECT_EQ(a, Agreement::agrees) << what << ": refined " << figure << ", simulated "
                                        << m.value << " +- " << m.standard_error;
    };
    for (std::size_t l = 0; l < 4; ++l) {
        for (std::size_t h = 0; h < 4; ++h)
            judged(check.figures.ruin[l][h], "ruin " + std::to_string(l) + "," + std::to_string(h),
                   r.ruin_grid[l][h], mc.figures.ruin[l][h]);
        judged(check.lifetime_ruin_both[l], "while both alive " + std::to_string(l),
               r.household.lifetime_ruin_both[l], mc.lifetime_ruin_both[l]);
        judged(check.lifetime_ruin_survivor[l], "while a survivor lived " + std::to_string(l),
               r.household.lifetime_ruin_survivor[l], mc.lifetime_ruin_survivor[l]);
        // The lifetime column is the split's sum, path by path.
        EXPECT_NEAR(mc.figures.ruin[l][3].value,
                    mc.lifetime_ruin_both[l].value + mc.lifetime_ruin_survivor[l].value, 1e-12);
    }
    for (std::size_t h = 0; h < 3; ++h)
        for (std::size_t k = 0; k < 3; ++k)
            judged(check.figures.estate[h][k], "estate " + std::to_string(h) + "," + std::to_string(k),
                   r.estate_grid[h][k], mc.figures.estate[h][k]);
    for (std::size_t i = 0; i < 20; ++i)
        judged(check.figures.expected_income[i], "expected income " + std::to_string(i),
               r.expected_income[i], mc.figures.expected_income[i]);
    // A household shows no expected ruin age, so none is judged.
    EXPECT_EQ(check.figures.expected_ruin_age, Agreement::unknown);
    EXPECT_FALSE(check.any_disagreement());
}

INSTANTIATE_TEST_SUITE_P(Households, HouseholdAgainstSimulation,
                         ::testing::Range<std::size_t>(0, household_check_cases().size()),
                         [](const auto& info) {
                             return std::string(household_check_cases()[info.param].name);
                         });

// Path i's numbers depend on the seed and i alone, and every sum is kept in
// fixed point: one thread and two give the same figures to the bit, and
// another seed gives others.
TEST(HouseholdSimulation, SameSeedSameFiguresOnOneThreadAndTwo) {
    const AnalysisState s = household_case_state(2);
    const auto one = every_estimate(simulated_household(s, 3000, 11, 1));
    const auto two = every_estimate(simulated_household(s, 3000, 11, 2));
    ASSERT_EQ(one.size(), two.size());
    for (std::size_t k = 0; k < one.size(); ++k) {
        if (std::isnan(one[k])) {
            EXPECT_TRUE(std::isnan(two[k])) << k;
            continue;
        }
        EXPECT_EQ(one[k], two[k]) << k;
    }
    EXPECT_NE(one, every_estimate(simulated_household(s, 3000, 12, 2)));
}

// The standard errors the simulation reports against the spread of its
// figures over independent seeds: a ruin probability among the households
// alive at 20 years (a ratio of weighted sums) and the ruin while a survivor
// lived (the survivor's death integrated). With 24 seeds the spread is
// known to about 15%.
TEST(HouseholdSimulation, StandardErrorMatchesTheSpreadOverSeeds) {
    const AnalysisState s = household_case_state(2);
    constexpr int kSeeds = 24;
    double sum[2] = {}, sum2[2] = {}, se2[2] = {};
    for (int seed = 1; seed <= kSeeds; ++seed) {
        const HouseholdSimulationResults r = simulated_household(s, 1500, 1000 + seed);
        const McEstimate e[2] = {r.figures.ruin[3][1], r.lifetime_ruin_survivor[0]};
        for (int f = 0; f < 2; ++f) {
            sum[f] += e[f].value;
            sum2[f] += e[f].value * e[f].value;
            se2[f] += e[f].standard_error * e[f].standard_error;
        }
    }
    for (int f = 0; f < 2; ++f) {
        const double mean = sum[f] / kSeeds;
        const double spread = std::sqrt((sum2[f] - kSeeds * mean * mean) / (kSeeds - 1));
        const double reported = std::sqrt(se2[f] / kSeeds);
        ASSERT_GT(mean, 0.02) << f;
        EXPECT_GT(spread / reported, 0.65) << f;
        EXPECT_LT(spread / reported, 1.45) << f;
    }
}

}  // namespace
}  // namespace quorrel
