#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "analysis/report.h"
#include "engine/refined/refined.h"
#include "engine/stages/ruin_table.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

struct AccuracyRun {
    AnalysisState state;
    ResultsRecord results;
    QuietHooks hooks;
    CalculationOutcome outcome;
};

AccuracyRun calculate(Accuracy accuracy) {
    AccuracyRun run;
    apply_input_defaults(run.state);
    run.outcome = run_calculation(run.state, run.hooks, run.results, accuracy);
    return run;
}

TEST(RefinedPipeline, RefinedAccuracyGivesTheRefinedEngineFiguresAndTheStandardStaysAsItWas) {
    AccuracyRun standard = calculate(Accuracy::standard);
    AccuracyRun refined = calculate(Accuracy::refined);
    ASSERT_EQ(standard.outcome, CalculationOutcome::completed);
    ASSERT_EQ(refined.outcome, CalculationOutcome::completed);

    // The same 25 cells in the same order, the standard ones as the
    // reference implementation shows them.
    EXPECT_EQ(refined.hooks.published, standard.hooks.published);
    EXPECT_EQ(standard.results.cells.at("Text3"), "2.6%");
    EXPECT_EQ(standard.results.cells.at("Text5"), "9.3%");
    EXPECT_FALSE(standard.results.refined);
    EXPECT_TRUE(refined.results.refined);

    // The refined figures are the refined engine's on the state the engine
    // prepares from the same inputs.
    AnalysisState inputs;
    apply_input_defaults(inputs);
    AnalysisState prepared = prepared_for_engine(inputs);
    IgnoringSink sink;
    RefinedResults direct;
    compute_refined_results(prepared, sink, direct);
    EXPECT_EQ(refined.results.cells, direct.record.cells);
    EXPECT_EQ(refined.results.ruin_grid, direct.record.ruin_grid);
    EXPECT_EQ(refined.results.ruin_error, direct.ruin_error);
    EXPECT_EQ(refined.results.expected_ruin_age, direct.record.expected_ruin_age);
    EXPECT_EQ(refined.results.expected_income, direct.record.expected_income);
    EXPECT_EQ(refined.results.survival_curve, standard.results.survival_curve);
    EXPECT_EQ(refined.results.cells.at("Text3"), "1.6%");

    // The report: one more line at the end in refined mode, nothing else changed
    // but the figures.
    const auto standard_lines = report_lines(standard.state, standard.results, "800,000", "date");
    const auto refined_lines = report_lines(refined.state, refined.results, "800,000", "date");
    ASSERT_EQ(standard_lines.size(), 58u);
    ASSERT_EQ(refined_lines.size(), 59u);
    EXPECT_EQ(refined_lines.back(), "\"" + refined.results.scheme_line + "\"");
    EXPECT_EQ(refined_lines.back().rfind("\"Refined accuracy: ", 0), 0u);
    EXPECT_EQ(refined_lines[0], standard_lines[0]);
}

}  // namespace
}  // namespace quorrel
