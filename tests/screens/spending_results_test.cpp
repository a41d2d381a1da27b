// The results screen's Spending tab: its figures are the record's, with
// their error estimates (a simulation's standard errors) in the tooltips,
// and its chart plots them against its own axis; the fixed rule gets one
// plain sentence instead.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <memory>

#include "analysis/case_summary.h"
#include "analysis/defaults.h"
#include "record/number_format.h"
#include "report/chart_geometry.h"
#include "report/explanations.h"
#include "results_app.h"
#include "screens/recording_platform.h"
#include "screens/results/chart_view.h"
#include "screens/results/out_put.h"

namespace quorrel {
namespace {

// Figures no calculation gives, so that a screen deriving its own cannot match.
ResultsRecord spending_results() {
    ResultsRecord r;
    r.refined = true;
    const double grid[3][3] = {{31234.4, 38765.6, 47000.5}, {30500, 35010.2, 44999.4}, {0, 0, 0}};
    for (std::size_t h = 0; h < 3; ++h)
        for (std::size_t k = 0; k < 3; ++k) {
            r.spending_grid[h][k] = grid[h][k];
            r.spending_error[h][k] = 10.0 * (h + 1) + k;
        }
    r.spending_at_floor = {0.125, 0.2501, 0.75};
    r.spending_at_floor_error = {0.0011, 0.0022, 0.0033};
    return r;
}

struct TabCase {
    const char* name;
    int rule;
    const char* error_kind;
};

class SpendingTabTest : public ::testing::TestWithParam<TabCase> {
protected:
    static void SetUpTestSuite() { testing::ensure_application(); }
    void SetUp() override {
        apply_input_defaults(state);
        state.current_age = 65;
        state.target_income = 40000;
        state.spending_rule = static_cast<std::int16_t>(GetParam().rule);
        state.spending_floor = 30000;
        results = spending_results();
        // The last horizon's figures stand on the floor.
        results.spending_grid[2] = {30000, 30000, 30000};
        screen = std::make_unique<OutPut>(state, results, platform, "800,000");
    }
    QLineEdit* cell(const std::string& name) {
        auto* box = screen->findChild<QLineEdit*>(QString::fromStdString(name));
        EXPECT_NE(box, nullptr) << name;
        return box;
    }

    AnalysisState state;
    ResultsRecord results;
    testing::RecordingPlatform platform;
    std::unique_ptr<OutPut> screen;
};

TEST_P(SpendingTabTest, FiguresAreTheRecordsWithTheirErrors) {
    const char* const keys[3] = {"p25", "median", "p75"};
    for (std::size_t h = 0; h < 3; ++h) {
        const std::string index = "(" + std::to_string(h) + ")";
        for (std::size_t k = 0; k < 3; ++k) {
            QLineEdit* box = cell(std::string("spending_") + keys[k] + index);
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text().toStdString(), format_grouped0(results.spending_grid[h][k]));
            EXPECT_EQ(box->toolTip().toStdString(),
                      std::string(GetParam().error_kind) + ": \u00b1" +
                          fixed_text(results.spending_error[h][k], 0) + " dollars a year");
            EXPECT_FALSE(box->accessibleName().isEmpty());
        }
        QLineEdit* floor = cell("spending_at_floor" + index);
        ASSERT_NE(floor, nullptr);
        EXPECT_EQ(floor->text().toStdString(), format_percent1(results.spending_at_floor[h]));
        EXPECT_EQ(floor->toolTip().toStdString(),
                  std::string(GetParam().error_kind) + ": \u00b1" +
                      fixed_text(100 * results.spending_at_floor_error[h], 2) +
                      " percentage points");
    }
    EXPECT_EQ(cell("spending_median(0)")->text(), "38,766");
    EXPECT_EQ(cell("spending_at_floor(1)")->text(), "25.0%");
    EXPECT_EQ(screen->findChild<QLabel*>("spending_fixed_note"), nullptr);
}

// The chart against its own axis: each plotted figure sits where the value
// captions put it, at the age caption of its horizon.
TEST_P(SpendingTabTest, ChartPlotsTheRecordAgainstItsAxis) {
    auto* view = screen->findChild<ChartView*>("Picture3");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->accessibleName(), "Spending chart");
    const ChartGeometry& g = view->chart();
    // Value captions 0 and 1 give the scale; each stands centred on its tick.
    const ChartText* zero = g.text("spending_value(0)");
    const ChartText* one = g.text("spending_value(1)");
    ASSERT_TRUE(zero && one);
    const double v1 = *parse_amount(one->text);
    const auto y_of = [&](double v) {
        return zero->top + (one->top - zero->top) * v / v1 + 6;
    };
    ASSERT_EQ(g.curve.points.size(), 3u);
    ASSERT_EQ(g.bands.size(), 1u);
    ASSERT_EQ(g.bands[0].outline.size(), 6u);
    ASSERT_EQ(g.guides.size(), 1u);
    for (std::size_t h = 0; h < 3; ++h) {
        const ChartText* age = g.text("spending_age(" + std::to_string(2 * h + 2) + ")");
        ASSERT_NE(age, nullptr);
        EXPECT_EQ(age->text, str_form(state.current_age + 10.0 * (h + 1)));
        EXPECT_NEAR(g.curve.points[h].x, age->left + 8, 1e-9) << h;
        EXPECT_NEAR(g.curve.points[h].y, y_of(results.spending_grid[h][1]), 1e-9) << h;
        EXPECT_NEAR(g.bands[0].outline[h].y, y_of(results.spending_grid[h][0]), 1e-9) << h;
        EXPECT_NEAR(g.bands[0].outline[5 - h].y, y_of(results.spending_grid[h][2]), 1e-9) << h;
    }
    // The floor line at the floor, where the last horizon's figures stand.
    EXPECT_NEAR(g.guides[0].from.y, y_of(30000), 1e-9);
    EXPECT_NEAR(g.guides[0].from.y, g.curve.points[2].y, 1e-9);
    // The highest figure is on the scale, below its top.
    EXPECT_GT(g.bands[0].outline[5].y, g.plot.top);
}

INSTANTIATE_TEST_SUITE_P(Rules, SpendingTabTest,
                         ::testing::Values(TabCase{"percent", 1, "Error estimate"},
                                           TabCase{"guardrails", 2,
                                                   "Standard error of the simulation"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SpendingTab, FixedRuleSaysSoInOneSentence) {
    testing::ensure_application();
    AnalysisState state;
    apply_input_defaults(state);
    testing::RecordingPlatform platform;
    OutPut screen(state, spending_results(), platform, "800,000");
    auto* tabs = screen.findChild<QTabBar*>("TabStrip1");
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabText(4), "Spen&ding");
    auto* note = screen.findChild<QLabel*>("spending_fixed_note");
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), explanations::kFixedSpending);
    EXPECT_EQ(screen.findChild<ChartView*>("Picture3"), nullptr);
    EXPECT_EQ(screen.findChild<QLineEdit*>("spending_median(0)"), nullptr);
}

}  // namespace
}  // namespace quorrel
