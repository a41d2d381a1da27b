// The household's three-state sweep: with the survivor's spending and
// income equal to the couple's it is one wealth process under the last
// survivor's death law, which the single-life engine computes on its own;
// probability is conserved state by state; less survivor spending never
// means more ruin; and a plain simulation of two death times and the
// wealth between them finds the split lifetime figures where the sweeps do.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/model/household_model.h"
#include "engine/refined/household.h"
#include "engine/refined/refined.h"
#include "engine/refined/refined_sweep.h"
#include "engine_test_support.h"

namespace quorrel {
namespace {

using engine::HouseholdModel;
using engine::Model;

struct HouseholdCase {
    const char* name;
    double age, spouse_age;
    int gender, spouse_gender;
    bool pensions_and_annuities;
};

AnalysisState household_state(const HouseholdCase& c, double spending, double share,
                              double spouse_pension) {
    return test::prepared_state([&](AnalysisState& s) {
        s.current_age = c.age;
        s.gender_code = static_cast<std::int16_t>(c.gender);
        s.spouse_age = c.spouse_age;
        s.spouse_gender_code = static_cast<std::int16_t>(c.spouse_gender);
        s.survivor_spending = spending;
        s.survivor_share = share;
        s.spouse_pension_cpi_income = spouse_pension;
        if (c.pensions_and_annuities) {
            s.pension_cpi_income = 10000;
            s.pension_nominal_income = 8000;
            s.cola_rate = 0.02;
            s.purchase_nominal = 100000;
            s.purchase_cpi = 100000;
            s.purchase_variable = 100000;
            s.air_rate = 0.04;
            s.target_income = 60000;
        }
    });
}

// The single-life model under the last survivor's law of the two lives.
Model last_survivor_model(const AnalysisState& s) {
    const HouseholdModel h = HouseholdModel::from_state(s);
    Model m = h.states[engine::kBoth];
    m.last_survivor_with = h.spouse;
    return m;
}

refined::SweepSpec sweep_for(const HouseholdModel& h, double x0, double barrier,
                             int refinement) {
    refined::SweepSpec sweep;
    sweep.x0 = x0;
    sweep.barrier = barrier;
    sweep.end = std::max(h.last_horizon(), 30.0);
    sweep.base_spacing = std::clamp((x0 - barrier) / 40, 0.1 / 40, 0.1);
    sweep.refinement = refinement;
    sweep.top = refined::household_sweep_top(h, x0, 0.1, sweep.end + kTailYears);
    return sweep;
}

class HouseholdReduction : public ::testing::TestWithParam<HouseholdCase> {};

// Survivor spending and share at 100%, no spouse pension: the three states
// share one process, so the household's lifetime ruin is the single-life
// sweep's ruin weighted by the last survivor's truncated survival, and the
// part while both lived is weighted by both surviving. Per resolution the
// two computations agree to rounding; the whole calculation agrees with the
// single-life refined figure within their error estimates.
TEST_P(HouseholdReduction, LifetimeRuinIsTheSingleLifeUnderTheLastSurvivorLaw) {
    const AnalysisState s = household_state(GetParam(), 1, 1, 0);
    const HouseholdModel h = HouseholdModel::from_state(s);
    const Model single = last_survivor_model(s);
    const double x0 = s.wealth_ratio;
    for (const double level : {0.0, 0.25}) {
        for (const int refinement : {1, 2}) {
            const refined::SweepSpec sweep = sweep_for(h, x0, level * x0, refinement);
            const refined::HouseholdSweepResult two = refined::run_household_sweep(h, sweep);
            const refined::SweepResult one = refined::run_sweep(single, sweep);
            const double horizon = single.lifetime_horizon();
            EXPECT_NEAR(two.ruin_both + two.ruin_survivor, one.lifetime_ruin(single, horizon),
                        1e-10)
                << "level " << level << " refinement " << refinement;
            double both = 0;
            for (std::size_t k = 1; k < one.t.size(); ++k) {
                const double mid = 0.5 * (one.t[k - 1] + one.t[k]);
                both += (one.ruin[k] - one.ruin[k - 1]) * h.person.truncated_survival(mid) *
                        h.spouse.truncated_survival(mid);
            }
            EXPECT_NEAR(two.ruin_both, both, 1e-10);
            EXPECT_GT(two.ruin_survivor, 0);
        }
    }

    AnalysisState state = s;
    test::RecordingSink sink;
    RefinedResults out;
    compute_household_results(state, sink, out);
    const RefinedValue reference = refined_lifetime_ruin(single, x0);
    EXPECT_NEAR(out.record.ruin_grid[0][3], reference.value,
                out.ruin_error[0][3] + reference.error_estimate + 1e-9);
    EXPECT_NEAR(out.record.household.lifetime_ruin_both[0] +
                    out.record.household.lifetime_ruin_survivor[0],
                out.record.ruin_grid[0][3], 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Couples, HouseholdReduction,
    ::testing::Values(HouseholdCase{"defaults_spouse_62", 65, 62, 0, 1, false},
                      HouseholdCase{"older_wife", 70, 78, 0, 1, false},
                      HouseholdCase{"incomes_and_annuities", 68, 66, 1, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct ConservationCase {
    HouseholdCase lives;
    double spending, share, spouse_pension;
};

class HouseholdConservation : public ::testing::TestWithParam<ConservationCase> {};

// Each state's probability as the sweep tracks it (wealth on the grid,
// exhausted and lost through the top) equals the product of the two death
// laws at every snapshot; the lifetime figures are probabilities; and a
// survivor who spends less is never ruined more often.
TEST_P(HouseholdConservation, StatesKeepTheirProbabilityAndLessSpendingMeansLessRuin) {
    const ConservationCase& c = GetParam();
    const AnalysisState s = household_state(c.lives, c.spending, c.share, c.spouse_pension);
    const HouseholdModel h = HouseholdModel::from_state(s);
    refined::SweepSpec sweep = sweep_for(h, s.wealth_ratio, 0, 1);
    sweep.snapshot_times = {5, 10, 20, 30};
    const refined::HouseholdSweepResult r = refined::run_household_sweep(h, sweep);
    EXPECT_LT(r.state_mass_defect, refined::kMassTolerance);
    EXPECT_LT(r.conditional.mass_defect, refined::kMassTolerance);
    const double lifetime = r.ruin_both + r.ruin_survivor;
    // Crank-Nicolson may absorb a negative flux of the order of rounding.
    EXPECT_GE(r.ruin_both, -1e-14);
    EXPECT_GE(r.ruin_survivor, -1e-14);
    EXPECT_LE(lifetime, 1);
    for (const double T : {10.0, 20.0, 30.0}) {
        const auto present = h.state_probabilities(T);
        for (int k = 0; k < engine::kHouseholdStates; ++k)
            EXPECT_LE(r.ruined_by(k, T), present[k] + 1e-12);
        // Ruined by T and someone alive then cannot exceed ruined by T.
        EXPECT_LE(r.conditional.ruin_by(T) * h.someone_alive(T), lifetime + 1e-12);
    }

    const auto lifetime_at = [&](double spending) {
        const AnalysisState t = household_state(c.lives, spending, c.share, c.spouse_pension);
        const HouseholdModel m = HouseholdModel::from_state(t);
        const refined::HouseholdSweepResult q =
            refined::run_household_sweep(m, sweep_for(m, t.wealth_ratio, 0, 1));
        return std::pair{q.ruin_both, q.ruin_survivor};
    };
    const auto less = lifetime_at(c.spending * 0.5);
    // While both live nothing changes; a survivor's ruin falls.
    EXPECT_NEAR(less.first, r.ruin_both, 1e-12);
    EXPECT_LT(less.second, r.ruin_survivor);
}

INSTANTIATE_TEST_SUITE_P(
    Couples, HouseholdConservation,
    ::testing::Values(
        ConservationCase{{"younger_wife_pension", 66, 58, 0, 1, false}, 0.7, 0.6, 12000},
        ConservationCase{{"older_husband", 62, 71, 1, 0, true}, 0.8, 0.5, 0},
        ConservationCase{{"both_old", 84, 88, 2, 2, true}, 0.6, 0.0, 5000}),
    [](const auto& info) { return std::string(info.param.lives.name); });

// Wealth by Euler steps of 0.01 years along each path, with the two death
// times drawn from the truncated laws and the state's spending and incomes
// between them; ruin before the last death counted by who was alive. An
// independent check of the states' terms (who keeps which income): the
// sweeps must agree within 3.5 standard errors, their error estimates and
// the Euler scheme's bias from watching the barrier only at its steps.
TEST(HouseholdSimulation, SplitLifetimeRuinAgreesWithPlainPaths) {
    const HouseholdCase lives{"pension_husband", 67, 63, 0, 1, false};
    // The husband's pension, a fifth of it to his widow: who survives
    // matters.
    AnalysisState s = household_state(lives, 0.6, 0.2, 0);
    s = test::prepared_state([&](AnalysisState& t) {
        t = s;
        t.pension_cpi_income = 16000;
        t.purchase_cpi = 50000;
        t.target_income = 52000;
    });
    // The process and the terms from the record itself, not from the
    // household's model.
    const Model base = Model::from_state(s);
    const engine::LifeLaw person{s.current_age, s.ruin_lambda, s.ruin_modal_age,
                                 s.ruin_dispersion};
    const engine::LifeLaw spouse{s.spouse_age, s.spouse_ruin_lambda, s.spouse_ruin_modal_age,
                                 s.spouse_ruin_dispersion};
    const double pension = s.pension_cpi_income / s.target_income;
    const double annuity = s.acquired_cpi_income / s.target_income;
    const double share = s.survivor_share, spending = s.survivor_spending;
    const double net_income[3] = {pension + annuity - 1,
                                  pension + share * annuity - spending,
                                  share * pension + share * annuity - spending};
    AnalysisState state = s;
    test::RecordingSink sink;
    RefinedResults out;
    compute_household_results(state, sink, out);
    const HouseholdFigures& f = out.record.household;

    std::mt19937_64 random(20261210);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform;
    const auto death = [&](const engine::LifeLaw& life) {
        const double u = uniform(random);
        double lo = 0, hi = life.horizon();
        for (int i = 0; i < 60; ++i) {
            const double mid = 0.5 * (lo + hi);
            (life.truncated_survival(mid) > u ? lo : hi) = mid;
        }
        return 0.5 * (lo + hi);
    };
    constexpr int kPaths = 6000;
    constexpr double dt = 0.01;
    int both = 0, survivor = 0;
    for (int path = 0; path < kPaths; ++path) {
        const double tp = death(person), ts = death(spouse);
        double x = s.wealth_ratio;
        for (double t = 0; t < std::max(tp, ts); t += dt) {
            const int k = t < std::min(tp, ts) ? engine::kBoth
                          : t < tp             ? engine::kPersonOnly
                                               : engine::kSpouseOnly;
            x += (base.mu(t) * x + net_income[k]) * dt +
                 base.sigma(t) * std::sqrt(dt) * x * normal(random);
            if (x <= 0) {
                ++(k == engine::kBoth ? both : survivor);
                break;
            }
        }
    }
    const auto agrees = [&](int hits, double value, double error, const char* what) {
        const double p = static_cast<double>(hits) / kPaths;
        const double se = std::sqrt(p * (1 - p) / kPaths);
        EXPECT_NEAR(value, p, 3.5 * se + error + 0.003) << what;
    };
    agrees(both, f.lifetime_ruin_both[0], f.lifetime_ruin_both_error[0], "while both alive");
    agrees(survivor, f.lifetime_ruin_survivor[0], f.lifetime_ruin_survivor_error[0],
           "while a survivor lived");
    EXPECT_GT(f.lifetime_ruin_survivor[0], 0.01);
}

}  // namespace
}  // namespace quorrel
