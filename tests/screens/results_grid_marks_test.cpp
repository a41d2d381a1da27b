// Cells the grid decides are marked on the results screen: each flagged
// cell, and only it, has the mark and the tooltip, and a line under its grid
// says what to do; the texts stay as the record has them.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <functional>
#include <type_traits>

#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "results_app.h"
#include "screens/recording_platform.h"
#include "screens/results/grid_marks.h"
#include "screens/results/out_put.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

// The screen renders a record it never writes.
static_assert(std::is_constructible_v<OutPut, const AnalysisState&, const ResultsRecord&, Platform&,
                                      QString>);

struct MarksCase {
    const char* name;
    // Fills the state and the record the screen shows.
    std::function<void(AnalysisState&, ResultsRecord&)> make;
    bool expect_barrier;
    bool expect_estate;
};

void calculated(AnalysisState& state, ResultsRecord& results, double wealth, double pension_cpi) {
    apply_input_defaults(state);
    state.liquid_wealth = wealth;
    state.pension_cpi_income = pension_cpi;
    QuietHooks hooks;
    ASSERT_EQ(run_calculation(state, hooks, results), CalculationOutcome::completed);
}

class ResultsGridMarksTest : public ::testing::TestWithParam<MarksCase> {
protected:
    static void SetUpTestSuite() { testing::ensure_application(); }
};

TEST_P(ResultsGridMarksTest, FlaggedCellsAndOnlyThoseAreMarked) {
    const MarksCase& c = GetParam();
    AnalysisState state;
    ResultsRecord results;
    c.make(state, results);
    ASSERT_EQ(any_barrier_at_start(results), c.expect_barrier);
    ASSERT_EQ(any_estate_at_grid_limit(results), c.expect_estate);
    testing::RecordingPlatform platform;
    OutPut screen(state, results, platform, "0");
    const QColor plain = QLineEdit().palette().color(QPalette::Base);

    const auto check = [&](const char* name, bool flagged, const char* tip) {
        const QLineEdit* box = screen.findChild<QLineEdit*>(name);
        ASSERT_NE(box, nullptr) << name;
        EXPECT_EQ(box->text().toStdString(), results.cells[name]) << name;
        EXPECT_EQ(box->palette().color(QPalette::Base), flagged ? grid_mark_colour() : plain)
            << name;
        // A refined cell's tip leads with its error estimate; the mark follows.
        QString shown = box->toolTip();
        static const QRegularExpression estimate("^Error estimate: [^\n]*(\n\n)?");
        shown.remove(estimate);
        EXPECT_EQ(shown, flagged ? QString(tip) : QString()) << name;
    };
    for (int r = 0; r < 4; ++r)
        for (int col = 0; col < 4; ++col)
            check(ruin_cell_names()[r][col], results.barrier_at_start[r][col], kBarrierAtStartTip);
    const char* estate_tip = results.refined ? kRefinedEstateAtGridLimitTip : kEstateAtGridLimitTip;
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            check(estate_cell_names()[r][col], results.estate_at_grid_limit[r][col], estate_tip);

    const QLabel* under_probabilities = screen.findChild<QLabel*>("grid_marks_note(0)");
    const QLabel* under_estates = screen.findChild<QLabel*>("grid_marks_note(1)");
    EXPECT_EQ(!under_probabilities->isHidden(), c.expect_barrier);
    EXPECT_EQ(!under_estates->isHidden(), c.expect_estate);
    if (c.expect_barrier) {
        EXPECT_EQ(under_probabilities->text(), kGridMarksNote);
    }
    if (c.expect_estate) {
        EXPECT_EQ(under_estates->text(), results.refined ? kRefinedGridMarksNote : kGridMarksNote);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResultsGridMarksTest,
    ::testing::Values(
        MarksCase{"defaults",
                  [](AnalysisState& s, ResultsRecord& r) { calculated(s, r, 800000, 0); }, false,
                  false},
        // Net investable wealth below 0.1 x target: the 0% row's barrier is today's node.
        MarksCase{"wealth_3999_pension_400000",
                  [](AnalysisState& s, ResultsRecord& r) { calculated(s, r, 3999, 400000); }, true,
                  false},
        MarksCase{"estate_ceiling_standard",
                  [](AnalysisState& s, ResultsRecord& r) {
                      s.current_age = 65;
                      r.estate_at_grid_limit[2][1] = r.estate_at_grid_limit[2][2] = true;
                      for (const auto& row : estate_cell_names())
                          for (const char* n : row) r.cells[n] = "11.40";
                  },
                  false, true},
        MarksCase{"estate_ceiling_refined",
                  [](AnalysisState& s, ResultsRecord& r) {
                      s.current_age = 65;
                      r.refined = true;
                      r.estate_at_grid_limit[0][2] = true;
                  },
                  false, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorrel
