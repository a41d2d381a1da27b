#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "record/number_format.h"
#include "record/results.h"
#include "engine/standard/engine_internal.h"
#include "engine/stages/ruin_table.h"
#include "engine/standard/solver.h"
#include "engine_test_support.h"

namespace quorrel {
namespace {

using engine_detail::QuantileSearch;

const std::vector<std::string> kRuinOrder = {
    "Text2",  "Text3",  "Text4",  "Text6",  "Text7", "Text29", "Text31", "Text32",
    "Text33", "Text35", "Text36", "Text37", "Text5", "Text30", "Text34", "Text38"};
const std::vector<std::string> kEstateOrder = {"Text54(0)", "Text55(0)", "Text56(0)",
                                               "Text57(0)", "Text58(0)", "Text59(0)",
                                               "Text60(0)", "Text61(0)", "Text62(0)"};

struct StageRun {
    AnalysisState state;
    test::RecordingSink sink;
    ResultsRecord results;
    long solves = 0;
};

StageRun run_stages(const AnalysisState& prepared, EngineMode mode) {
    StageRun run;
    run.state = prepared;
    const long before = solver_call_count();
    run.results.expected_income = build_expected_income_curve(run.state, {}, mode);
    compute_ruin_table(run.state, run.sink, run.results, {}, mode);
    compute_estate_quantiles(run.state, run.sink, run.results, {}, mode);
    run.solves = solver_call_count() - before;
    return run;
}

TEST(ExpectedRuinAge, StepSumOfTheNoRuinProbability) {
    EXPECT_EQ(expected_ruin_age_from(65, {0, 0, 0, 0, 0, 0, 0}), 130);
    EXPECT_EQ(expected_ruin_age_from(90, {0, 0, 0, 0, 0, 0, 0}), 130);
    EXPECT_EQ(expected_ruin_age_from(65, {1, 1, 1, 1, 1, 1, 1}), 65);
    // Six half-weighted 5-year blocks and a half-weighted 35-year block.
    EXPECT_DOUBLE_EQ(expected_ruin_age_from(65, {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}),
                     65 + 15 + 17.5);
    // At 90 the last block runs from 30 to 40 years; at 50 from 30 to 80.
    EXPECT_DOUBLE_EQ(expected_ruin_age_from(90, {1, 1, 1, 1, 1, 1, 0}), 100);
    EXPECT_DOUBLE_EQ(expected_ruin_age_from(50, {1, 1, 1, 1, 1, 1, 0}), 100);
    EXPECT_DOUBLE_EQ(expected_ruin_age_from(65, {0, 1, 1, 1, 1, 1, 1}), 70);
}

TEST(QuantileSearchTest, StepsAndStops) {
    // 0.1 steps far from the target, 0.05 steps within 0.1 of it; the
    // published multiple is one step above the one that ended the search.
    QuantileSearch s;
    const int evaluations = engine_detail::quantile_search(
        0.75, false, s, [](double c) { return c < 2.95 ? 0.0 : 0.8; });
    EXPECT_EQ(evaluations, 31);
    EXPECT_EQ(format_plain2(s.c), "3.05");
    EXPECT_EQ(s.p, 0.8);

    // A search that starts at or above q - 0.03 evaluates nothing.
    QuantileSearch done{1.5, 0.48};
    EXPECT_EQ(engine_detail::quantile_search(0.5, false, done, [](double) { return 0.0; }), 0);
    EXPECT_EQ(done.c, 1.5);

    // The capped search leaves once c passes 9: 9.10 at most.
    QuantileSearch capped;
    EXPECT_EQ(engine_detail::quantile_search(0.75, true, capped, [](double) { return 0.0; }), 91);
    EXPECT_EQ(format_plain2(capped.c), "9.10");
}

TEST(RuinTable, PublishesInOrderAndFillsTheRecord) {
    const StageRun run = run_stages(test::default_state(), EngineMode::fast);
    ASSERT_EQ(run.sink.order.size(), 25u);
    for (std::size_t k = 0; k < kRuinOrder.size(); ++k) EXPECT_EQ(run.sink.order[k], kRuinOrder[k]);
    for (std::size_t k = 0; k < kEstateOrder.size(); ++k)
        EXPECT_EQ(run.sink.order[16 + k], kEstateOrder[k]);

    const auto& g = run.results.ruin_grid;
    const auto& names = ruin_cell_names();
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            EXPECT_EQ(run.sink.cells.at(names[row][col]), format_percent1(g[row][col]));
            EXPECT_GE(g[row][col], 0);
            EXPECT_LE(g[row][col], 1);
            if (row > 0) {
                EXPECT_GE(g[row][col], g[row - 1][col]);  // a higher level is reached sooner
            }
            if (col > 0 && col < 3) {
                EXPECT_GE(g[row][col], g[row][col - 1]);  // a longer horizon
            }
        }
    }
    EXPECT_EQ(run.state.ruin_probability_10, g[0][0]);
    EXPECT_EQ(run.state.ruin_probability_20, g[0][1]);
    EXPECT_EQ(run.state.ruin_probability_30, g[0][2]);
    EXPECT_EQ(run.results.expected_ruin_age, run.state.expected_ruin_age);
    EXPECT_GT(run.state.expected_ruin_age, 65);
    EXPECT_LT(run.state.expected_ruin_age, 130);

    const auto& enames = estate_cell_names();
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            EXPECT_EQ(run.sink.cells.at(enames[row][col]),
                      format_plain2(run.results.estate_grid[row][col]));
            if (col > 0) {
                EXPECT_GE(run.results.estate_grid[row][col], run.results.estate_grid[row][col - 1]);
            }
        }
    }
    // With no pension or annuity the expected income is 1 - p.
    for (double e : run.results.expected_income) {
        EXPECT_GE(e, 0);
        EXPECT_LE(e, 1);
    }
    EXPECT_GE(run.results.expected_income[0], run.results.expected_income[19]);
}

TEST(RuinTable, FastPathGivesTheReferenceFigures) {
    const AnalysisState scenarios[] = {
        test::default_state(),
        test::prepared_state([](AnalysisState& s) {
            s.current_age = 90;
            s.purchase_nominal = 100000;
            s.purchase_variable = 150000;
            s.pension_cpi_income = 6000;
            s.cola_rate = 0.02;
            s.weight_copy_stock = s.weight_stock = 0.6;
            s.weight_copy_cash = s.weight_cash = 0;
            s.weight_copy_estate = s.weight_estate = 0;
        }),
        test::prepared_state([](AnalysisState& s) {
            s.current_age = 50;
            s.liquid_wealth = 1400000;
            s.later_allocation_years = 10;
            s.later_weight_copy_stock = s.later_weight_stock = 0.2;
        }),
    };
    for (const AnalysisState& prepared : scenarios) {
        const StageRun fast = run_stages(prepared, EngineMode::fast);
        const StageRun reference = run_stages(prepared, EngineMode::reference);
        EXPECT_EQ(fast.results.ruin_grid, reference.results.ruin_grid);
        EXPECT_EQ(fast.results.expected_ruin_age, reference.results.expected_ruin_age);
        EXPECT_EQ(fast.results.expected_income, reference.results.expected_income);
        EXPECT_EQ(fast.sink.order, reference.sink.order);
        EXPECT_EQ(fast.sink.cells, reference.sink.cells);
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                EXPECT_NEAR(fast.results.estate_grid[row][col],
                            reference.results.estate_grid[row][col], 1e-12);
            }
        }
        // The reference path makes one solve per figure and search step.
        EXPECT_LT(fast.solves, reference.solves);
    }
}

TEST(RuinTable, NoRuinGivesAnExpectedRuinAgeOf130) {
    // An income of twice the target and no market risk: wealth only grows.
    AnalysisState s = test::linear_decline_state(20);
    s.real_income_ratio = 2;
    StageRun run = run_stages(s, EngineMode::fast);
    EXPECT_EQ(run.state.expected_ruin_age, 130);
    for (const auto& row : run.results.ruin_grid) {
        for (double p : row) EXPECT_EQ(p, 0);
    }
    EXPECT_EQ(run.sink.cells.at("Text5"), "0.0%");
    for (double e : run.results.expected_income) EXPECT_EQ(e, 1);
}

TEST(RuinTable, CertainRuinGivesTheCurrentAgeAndNoEstateSearch) {
    // All wealth spent on annuities: the start node is the barrier.
    AnalysisState s = test::linear_decline_state(20);
    s.net_investable_wealth = 0;
    prepare_engine_inputs(s);
    ASSERT_EQ(s.wealth_ratio, 1e-7 / 40000);
    for (EngineMode mode : {EngineMode::fast, EngineMode::reference}) {
        AnalysisState state = s;
        test::RecordingSink sink;
        ResultsRecord results;
        compute_ruin_table(state, sink, results, {}, mode);
        EXPECT_EQ(state.expected_ruin_age, 65);
        EXPECT_EQ(sink.cells.at("Text2"), "100.0%");
        EXPECT_EQ(sink.cells.at("Text38"), "100.0%");

        const long before = solver_call_count();
        compute_estate_quantiles(state, sink, results, {}, mode);
        EXPECT_EQ(solver_call_count(), before);  // P_T >= 0.75: no wealth solve
        for (const char* cell :
             {"Text54(0)", "Text55(0)", "Text56(0)", "Text60(0)", "Text61(0)", "Text62(0)"}) {
            EXPECT_EQ(sink.cells.at(cell), "0.00") << cell;
        }
    }
}

TEST(EstateQuantiles, CasesByTheHorizonRuinProbability) {
    AnalysisState base = test::default_state();
    test::RecordingSink ignored;
    ResultsRecord ignored_results;
    compute_ruin_table(base, ignored, ignored_results);
    ASSERT_LT(base.ruin_probability_20, 0.25);

    // 0.25 exactly: Bad shows zero, the Median search starts from c = 0.
    // 0.6: Bad and Median zero; 0.75: all three zero.
    AnalysisState s = base;
    s.ruin_probability_10 = 0.6;
    s.ruin_probability_20 = 0.25;
    s.ruin_probability_30 = 0.75;
    for (EngineMode mode : {EngineMode::fast, EngineMode::reference}) {
        test::RecordingSink sink;
        ResultsRecord results;
        compute_estate_quantiles(s, sink, results, {}, mode);
        EXPECT_EQ(sink.order, kEstateOrder);
        EXPECT_EQ(sink.cells.at("Text54(0)"), "0.00");
        EXPECT_EQ(sink.cells.at("Text55(0)"), "0.00");
        EXPECT_NE(sink.cells.at("Text56(0)"), "0.00");
        EXPECT_EQ(sink.cells.at("Text57(0)"), "0.00");
        EXPECT_GE(results.estate_grid[1][1], 0.05);
        EXPECT_GE(results.estate_grid[1][2], results.estate_grid[1][1]);
        for (const char* cell : {"Text60(0)", "Text61(0)", "Text62(0)"})
            EXPECT_EQ(sink.cells.at(cell), "0.00");
    }

    // The full 20-year searches from the real probabilities: the Median
    // search continues from where the Bad one stopped, so the figures rise.
    test::RecordingSink sink;
    ResultsRecord results;
    compute_estate_quantiles(base, sink, results);
    EXPECT_GE(results.estate_grid[1][0], 0.05);
    EXPECT_GE(results.estate_grid[1][1], results.estate_grid[1][0]);
    EXPECT_GE(results.estate_grid[1][2], results.estate_grid[1][1]);
}

TEST(EstateQuantiles, TwentyYearGoodFigureIsCappedAt910) {
    // No net withdrawal and a log-normal wealth multiple with median about
    // 6.5 after 20 years: its 75% point (about 10) lies above the cap.
    AnalysisState s = test::linear_decline_state(20);
    s.current_expected_return = s.later_expected_return = 0.1048;
    s.current_standard_deviation = s.later_standard_deviation = 0.15;
    s.real_income_ratio = 1;
    test::RecordingSink sink;
    ResultsRecord results;
    compute_ruin_table(s, sink, results);
    ASSERT_LT(s.ruin_probability_20, 0.25);
    compute_estate_quantiles(s, sink, results);
    EXPECT_LT(results.estate_grid[1][1], 9);
    // The search left as soon as c passed 9, short of its target.
    const double good = results.estate_grid[1][2];
    EXPECT_GT(good, 9);
    EXPECT_LE(good, 9.1 + 1e-9);
    EXPECT_EQ(sink.cells.at("Text59(0)"), format_plain2(good));
    EXPECT_LT(wealth_below_probability(s, 0, 20, good * 20, 0, 20), 0.72);
    EXPECT_GT(results.estate_grid[2][2], 9.1);  // no cap at 30 years
}

TEST(EstateQuantiles, SearchesEndWhenTheLevelLeavesTheGrid) {
    // Wealth grows far beyond the top node (x0 + 200): the probability of
    // ending below any level stays small, since paths that leave the grid
    // count as above it. The searches stop at the top node instead of
    // spinning for ever.
    AnalysisState s = test::linear_decline_state(20);
    s.current_expected_return = s.later_expected_return = 0.15;
    s.current_standard_deviation = s.later_standard_deviation = 0.05;
    s.real_income_ratio = 1;
    for (EngineMode mode : {EngineMode::fast, EngineMode::reference}) {
        AnalysisState state = s;
        test::RecordingSink sink;
        ResultsRecord results;
        compute_ruin_table(state, sink, results, {}, mode);
        compute_estate_quantiles(state, sink, results, {}, mode);
        // 30 years: the Bad search ends one step after the first trial level
        // above 220 (11 x 20); the next two evaluate once more each.
        const auto& row = results.estate_grid[2];
        EXPECT_GT(row[0], 11.05);
        EXPECT_LT(row[0], 11.25);
        EXPECT_NEAR(row[1], row[0] + 0.1, 1e-9);
        EXPECT_NEAR(row[2], row[1] + 0.1, 1e-9);
    }

    QuantileSearch q;
    const int evaluations = engine_detail::quantile_search(
        0.5, false, q, [](double) { return 0.1; }, [](double c) { return c > 1.95; });
    EXPECT_EQ(evaluations, 21);  // c = 0, 0.1, ..., 2.0
    EXPECT_EQ(format_plain2(q.c), "2.10");
}

TEST(ExpectedIncome, HorizonsAndAnnuityIncome) {
    // Age 65: step Int(45 / 10) + 1 = 5, horizons 2.5, 5, ..., 50.
    AnalysisState s = test::linear_decline_state(20);
    const auto income = build_expected_income_curve(s);
    // Linear decline from 20: p(T) is the transport probability, income 1 - p.
    EXPECT_GT(income[0], 1 - 1e-9);    // T = 2.5
    EXPECT_LT(income[19], 1e-9);       // T = 50
    EXPECT_NEAR(income[7], 0.5, 0.1);  // T = 20: half the paths have run out

    // A CPI income of half the target: after ruin half the target remains.
    AnalysisState half = s;
    half.real_income_ratio = 0.5;
    half.wealth_ratio = 1e-7;  // ruined at once
    const auto floor_income = build_expected_income_curve(half);
    for (double e : floor_income) EXPECT_DOUBLE_EQ(e, 0.5);

    // An income above the target is clamped to 1.
    AnalysisState rich = half;
    rich.real_income_ratio = 1.5;
    for (double e : build_expected_income_curve(rich)) EXPECT_EQ(e, 1);

    // The later return applies to horizons beyond the switch year only.
    AnalysisState variable = half;
    variable.real_income_ratio = 0;
    variable.variable_income_ratio = 1e-6;
    variable.net_investable_wealth = 100000;
    variable.current_expected_return = 0.05;
    variable.later_expected_return = 0.01;
    variable.later_allocation_years = 10;
    const auto v = build_expected_income_curve(variable);
    EXPECT_DOUBLE_EQ(v[3], 0.1 * std::exp((0.05 - 0) * 10));    // T = 10: today's return
    EXPECT_DOUBLE_EQ(v[4], 0.1 * std::exp((0.01 - 0) * 12.5));  // T = 12.5: the later one

    // Age 90: step 3, horizons 1.5 .. 30; age 50: step 7, horizons 3.5 .. 70.
    AnalysisState old = s;
    old.current_age = 90;
    const auto at90 = build_expected_income_curve(old);
    EXPECT_NEAR(at90[19], 1 - ruin_probability_by_horizon(old, 0, 20, 0, 0, 30), 1e-15);
    AnalysisState young = s;
    young.current_age = 50;
    const auto at50 = build_expected_income_curve(young);
    EXPECT_NEAR(at50[0], 1 - ruin_probability_by_horizon(young, 0, 20, 0, 0, 3.5), 1e-15);
}

}  // namespace
}  // namespace quorrel
