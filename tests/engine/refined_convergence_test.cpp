// The refined scheme's order and the honesty of its error estimates. Halving
// both steps of a second-order scheme quarters the change of every figure;
// and a figure from the two published resolutions must lie within its own
// error estimate of the same figure from two finer ones.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/refined/refined.h"
#include "engine/refined/refined_sweep.h"
#include "engine_test_support.h"

namespace quorrel {
namespace {

using engine::Model;
using refined::SweepResult;

// The published resolutions: spacing 0.1 and step 0.02 years, then half of both.
constexpr double kSpacing = 0.1;
constexpr double kStep = 0.02;

SweepResult sweep_at(const Model& m, double x0, double end, double top, int refinement) {
    refined::SweepSpec sweep;
    sweep.x0 = x0;
    sweep.barrier = 0;
    sweep.end = end;
    sweep.dt = kStep;
    sweep.base_spacing = kSpacing;
    sweep.refinement = refinement;
    sweep.top = top;
    return refined::run_sweep(m, sweep);
}

// One allocation, steady withdrawals, Gompertz-Makeham death: every
// coefficient smooth.
Model smooth_model() {
    Model m;
    m.current_mu = m.later_mu = 0.05;
    m.current_sigma = m.later_sigma = 0.15;
    m.later_years = 5;
    m.real_income_ratio = 0.2;
    m.current_age = 65;
    m.lambda = 0.0005;
    m.modal_age = 88;
    m.dispersion = 9.5;
    return m;
}

struct OrderFigure {
    std::string name;
    double (*of)(const SweepResult&, const Model&);
};

TEST(RefinedConvergence, HalvingBothStepsQuartersTheChange) {
    const Model m = smooth_model();
    const double x0 = 14, horizon = 45;
    const double top = refined::sweep_top(m, x0, kSpacing, 30);
    std::vector<SweepResult> s;
    for (int refinement : {1, 2, 4}) s.push_back(sweep_at(m, x0, horizon, top, refinement));
    const std::vector<OrderFigure> figures = {
        {"ruin by 10", [](const SweepResult& r, const Model&) { return r.ruin_by(10); }},
        {"ruin by 20", [](const SweepResult& r, const Model&) { return r.ruin_by(20); }},
        {"ruin by 30", [](const SweepResult& r, const Model&) { return r.ruin_by(30); }},
        {"lifetime",
         [](const SweepResult& r, const Model& model) {
             return r.lifetime_ruin(model, 45);
         }},
        {"mean unruined time",
         [](const SweepResult& r, const Model&) { return r.mean_unruined_time(45); }},
    };
    for (const OrderFigure& f : figures) {
        const double a = f.of(s[0], m), b = f.of(s[1], m), c = f.of(s[2], m);
        // Well above rounding, so that the ratio measures the scheme.
        ASSERT_GT(std::fabs(b - c), 1e-9) << f.name;
        const double ratio = (a - b) / (b - c);
        EXPECT_GT(ratio, 3.0) << f.name << ": " << a << " " << b << " " << c;
        EXPECT_LT(ratio, 5.5) << f.name << ": " << a << " " << b << " " << c;
    }
}

// Cases of the whole calculation, each figure of the 0% level checked
// against the extrapolation of refinements 2 and 4 (sixteen times the work,
// an error about sixteen times smaller).
struct HonestyCase {
    std::string name;
    void (*change)(AnalysisState&);
};

class RefinedErrorEstimate : public ::testing::TestWithParam<HonestyCase> {};

TEST_P(RefinedErrorEstimate, FiguresLieWithinTheirErrorOfAFinerExtrapolation) {
    AnalysisState state = test::prepared_state(GetParam().change);
    test::RecordingSink sink;
    RefinedResults out;
    compute_refined_results(state, sink, out);

    const Model m = Model::from_state(state);
    const double x0 = state.wealth_ratio;
    const double t_life = 110 - state.current_age, t_tail = t_life + 20;
    const double top = refined::level_top(m, x0);
    const SweepResult fine = sweep_at(m, x0, std::max(t_tail, 30.0), top, 2);
    const SweepResult finest = sweep_at(m, x0, std::max(t_tail, 30.0), top, 4);

    struct Row {
        std::string name;
        double refined, error, coarse_of_reference, fine_of_reference;
    };
    std::vector<Row> rows;
    for (int h = 0; h < 3; ++h) {
        rows.push_back({"ruin by " + std::to_string(10 * (h + 1)), out.record.ruin_grid[0][h],
                        out.ruin_error[0][h], fine.ruin_by(kGridHorizons[h]),
                        finest.ruin_by(kGridHorizons[h])});
    }
    rows.push_back({"lifetime", out.record.ruin_grid[0][3], out.ruin_error[0][3],
                    fine.lifetime_ruin(m, t_life), finest.lifetime_ruin(m, t_life)});
    rows.push_back({"expected ruin age", out.record.expected_ruin_age - state.current_age,
                    out.expected_ruin_age_error, fine.mean_unruined_time(t_tail),
                    finest.mean_unruined_time(t_tail)});
    for (const Row& r : rows) {
        const double reference = richardson(r.coarse_of_reference, r.fine_of_reference, 0, 1e9).value;
        // A figure that is exact already needs no estimate.
        EXPECT_LE(std::fabs(r.refined - reference), std::max(r.error, 1e-9))
            << r.name << ": refined " << r.refined << ", reference " << reference;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefinedErrorEstimate,
    ::testing::Values(HonestyCase{"defaults", [](AnalysisState&) {}},
                      HonestyCase{"age_eighty_richer",
                                  [](AnalysisState& s) {
                                      s.current_age = 80;
                                      s.liquid_wealth = 600000;
                                      s.target_income = 45000;
                                  }}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace quorrel
