// The "What if" window: the solver shows what the core's solver finds and
// hands it to the input screen, the sweep shows and exports the core's sweep,
// Cancel changes nothing, and a plan with no answer says so.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <memory>

#include "analysis/decision_tools.h"
#include "analysis/defaults.h"
#include "record/number_format.h"
#include "screens/input_fixture.h"
#include "screens/results/chart_view.h"
#include "screens/results/out_put.h"
#include "screens/results/sweep_chart.h"
#include "screens/results/what_if_window.h"

namespace quorrel {
namespace {

using testing::RecordingPlatform;

void wait_until_idle(const WhatIfWindow& window) {
    QElapsedTimer clock;
    clock.start();
    while (window.busy() && clock.elapsed() < 300000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}

QStringList window_snapshot(const QWidget& window) {
    QStringList seen;
    for (const QLabel* l : window.findChildren<QLabel*>())
        seen << l->objectName() + "=" + l->text();
    for (const QPushButton* b : window.findChildren<QPushButton*>())
        seen << b->objectName() + (b->isEnabled() ? " on" : " off");
    for (const QTableWidget* t : window.findChildren<QTableWidget*>())
        seen << t->objectName() + " rows " + QString::number(t->rowCount());
    return seen;
}

class WhatIfTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::ensure_application(); }
    void SetUp() override {
        apply_input_defaults(inputs);
        window = std::make_unique<WhatIfWindow>(inputs, platform);
    }
    template <class T>
    T* child(const char* name) const {
        T* w = window->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }

    AnalysisState inputs;
    RecordingPlatform platform;
    std::unique_ptr<WhatIfWindow> window;
};

struct SolveCase {
    const char* name;
    SolveFor mode;
    double percent;
    const char* key;
};

class WhatIfSolveTest : public WhatIfTest, public ::testing::WithParamInterface<SolveCase> {};

TEST_P(WhatIfSolveTest, ShowsTheCoreSolutionAndHandsItOn) {
    const SolveCase& c = GetParam();
    child<QDoubleSpinBox>("target_probability")->setValue(c.percent);
    child<QRadioButton>(c.mode == SolveFor::income ? "solve_income" : "solve_wealth")
        ->setChecked(true);
    EXPECT_FALSE(button("use_solved")->isEnabled());
    button("solve")->click();
    EXPECT_TRUE(window->busy());
    wait_until_idle(*window);
    ASSERT_TRUE(window->solution().has_value());

    const SpendingSolution direct = solve_sustainable_spending(inputs, c.mode, c.percent / 100);
    ASSERT_TRUE(direct.found) << direct.message;
    EXPECT_EQ(window->solution()->value, direct.value);
    EXPECT_EQ(window->solution()->lifetime_ruin, direct.lifetime_ruin);
    EXPECT_TRUE(child<QLabel>("solve_result")
                    ->text()
                    .contains(QString::fromStdString(format_grouped0(direct.value))));
    EXPECT_TRUE(platform.messages.empty());

    QString key;
    double value = -1;
    QObject::connect(window.get(), &WhatIfWindow::amount_chosen, [&](const QString& k, double v) {
        key = k;
        value = v;
    });
    ASSERT_TRUE(button("use_solved")->isEnabled());
    button("use_solved")->click();
    EXPECT_EQ(key, c.key);
    EXPECT_EQ(value, direct.value);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, WhatIfSolveTest,
    ::testing::Values(SolveCase{"income_at_5", SolveFor::income, 5, kTargetIncomeKey},
                      SolveCase{"wealth_at_10", SolveFor::wealth, 10, kLiquidWealthKey}),
    [](const auto& info) { return std::string(info.param.name); });

struct NoAnswerCase {
    const char* name;
    SolveFor mode;
    double AnalysisState::*field;
    double value;
};

class WhatIfNoAnswerTest : public WhatIfTest, public ::testing::WithParamInterface<NoAnswerCase> {};

TEST_P(WhatIfNoAnswerTest, SaysWhyAndOffersNothing) {
    const NoAnswerCase& c = GetParam();
    inputs.*c.field = c.value;
    child<QRadioButton>(c.mode == SolveFor::income ? "solve_income" : "solve_wealth")
        ->setChecked(true);
    button("solve")->click();
    wait_until_idle(*window);
    const SpendingSolution direct = solve_sustainable_spending(inputs, c.mode, 0.05);
    ASSERT_FALSE(direct.found);
    ASSERT_FALSE(direct.message.empty());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text.toStdString(), direct.message);
    EXPECT_EQ(platform.messages[0].title, kWhatIfTitle);
    EXPECT_EQ(child<QLabel>("solve_result")->text().toStdString(), "No answer: " + direct.message);
    EXPECT_FALSE(button("use_solved")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Plans, WhatIfNoAnswerTest,
    ::testing::Values(NoAnswerCase{"pensions_cover_the_target", SolveFor::wealth,
                                   &AnalysisState::pension_cpi_income, 400000},
                      NoAnswerCase{"a_nominal_pension_covers_it", SolveFor::wealth,
                                   &AnalysisState::pension_nominal_income, 2000000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WhatIfTest, CancelLeavesTheWindowAsItWas) {
    for (const char* start : {"solve", "run_sweep"}) {
        const QStringList before = window_snapshot(*window);
        platform.on_progress = [&](double) { platform.cancel_progress(); };
        button(start)->click();
        wait_until_idle(*window);
        EXPECT_EQ(platform.progress_open, 0) << start;
        EXPECT_EQ(window_snapshot(*window), before) << start;
        EXPECT_FALSE(window->solution().has_value()) << start;
        EXPECT_FALSE(window->sweep().has_value()) << start;
        EXPECT_TRUE(platform.messages.empty()) << start;
    }
}

TEST_F(WhatIfTest, SweepShowsChartsTableAndExportsTheCoreSweep) {
    button("run_sweep")->click();
    wait_until_idle(*window);
    ASSERT_TRUE(window->sweep().has_value());
    const AnnuitySweep direct = sweep_annuitization(inputs, AnnuityKind::cpi, 0.05);
    ASSERT_EQ(direct.points.size(), 21u);
    EXPECT_EQ(window->sweep()->best, direct.best);

    auto* table = child<QTableWidget>("sweep_table");
    ASSERT_EQ(table->rowCount(), 21);
    for (int r = 0; r < 21; ++r)
        EXPECT_EQ(table->item(r, 2)->text().toStdString(),
                  format_percent2(direct.points[r].lifetime_ruin))
            << r;
    EXPECT_TRUE(table->item(direct.best, 0)->font().bold());

    // The chart marks the best share, and draws both curves through every share.
    const ChartGeometry& g = child<ChartView>("sweep_chart")->chart();
    ASSERT_TRUE(g.marker.has_value());
    EXPECT_EQ(g.marker->from.x, sweep_chart(direct).marker->from.x);
    EXPECT_EQ(g.curve.points.size(), 21u);
    ASSERT_EQ(g.more_curves.size(), 1u);
    EXPECT_EQ(g.more_curves[0].points.size(), 21u);

    QTemporaryDir dir;
    platform.next_file_name = dir.filePath("sweep");
    button("export_sweep")->click();
    QFile written(dir.filePath("sweep.csv"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray csv = written.readAll();
    EXPECT_EQ(csv.toStdString(), sweep_csv(direct));
    EXPECT_EQ(csv.count('\n'), 22);
    EXPECT_TRUE(platform.dialog_requests.last().endsWith("annuity_sweep_cpi.csv|CSV file (*.csv)"));
}

TEST(WhatIfCsvTest, OneHandCheckedLine) {
    AnnuitySweep sweep;
    SweepPoint p;
    p.share = 0.35;
    p.purchase = 280000;
    p.lifetime_ruin = 0.0423456789;
    p.ruin_10 = 0;
    p.ruin_20 = 0.0125;
    p.ruin_30 = 0.03;
    p.median_estate_10 = 612345.678;
    p.median_estate_20 = 500000;
    p.median_estate_30 = 0.004;
    p.expected_income_20 = 0.9999996;
    p.expected_income_30 = 1;
    sweep.points.push_back(p);
    const std::string csv = sweep_csv(sweep);
    EXPECT_EQ(csv.substr(csv.find('\n') + 1),
              "35,280000.00,0.042346,0.000000,0.012500,0.030000,612345.68,500000.00,0.00,1.000000,"
              "1.000000\n");
    EXPECT_EQ(csv.substr(0, csv.find(',')), "share_percent");
}

struct AxisTopCase {
    double value, top;
};
class NiceAxisTopTest : public ::testing::TestWithParam<AxisTopCase> {};
TEST_P(NiceAxisTopTest, SmallestRoundTop) {
    EXPECT_DOUBLE_EQ(nice_axis_top(GetParam().value), GetParam().top);
}
INSTANTIATE_TEST_SUITE_P(Tops, NiceAxisTopTest,
                         ::testing::Values(AxisTopCase{0, 1}, AxisTopCase{0.043, 0.05},
                                           AxisTopCase{0.05, 0.05}, AxisTopCase{0.11, 0.2},
                                           AxisTopCase{0.21, 0.25}, AxisTopCase{612345, 1000000},
                                           AxisTopCase{1800000, 2000000}));

// The results screen opens the window, passes its amount on and returns.
TEST_F(WhatIfTest, ResultsScreenPassesTheAmountOnAndReturns) {
    ResultsRecord results;
    OutPut screen(inputs, results, platform, "0");
    screen.show();
    QString key;
    double value = 0;
    int returns = 0;
    QObject::connect(&screen, &OutPut::input_amount_chosen, [&](const QString& k, double v) {
        key = k;
        value = v;
        EXPECT_EQ(returns, 0);  // the amount arrives before the input screen is shown
    });
    QObject::connect(&screen, &OutPut::returned, [&] { ++returns; });
    screen.findChild<QPushButton*>("what_if")->click();
    WhatIfWindow* opened = screen.what_if_window();
    ASSERT_NE(opened, nullptr);
    EXPECT_TRUE(opened->isVisible());
    screen.findChild<QPushButton*>("what_if")->click();  // the same window again
    EXPECT_EQ(screen.what_if_window(), opened);
    emit opened->amount_chosen(kLiquidWealthKey, 912345);
    EXPECT_EQ(key, kLiquidWealthKey);
    EXPECT_EQ(value, 912345);
    EXPECT_EQ(returns, 1);
}

// On the input screen the amount is committed through its box: the record
// and the Go step's boxes follow.
class WhatIfInputTest : public testing::InputScreenTest {};

TEST_F(WhatIfInputTest, SolvedAmountIsCommittedThroughItsBox) {
    screen->show();
    screen->in_put_Command1_Click();
    OutPut* results = screen->results_screen();
    ASSERT_NE(results, nullptr);
    const QString wealth_before = box("ind_invest_wealth")->text();
    emit results->input_amount_chosen(kTargetIncomeKey, 61234);
    EXPECT_EQ(box("Text10")->text(), "61,234");
    EXPECT_EQ(state.target_income, 61234);
    EXPECT_EQ(box("Text9")->text().toStdString(), format_grouped0(state.consumption_deficit));
    emit results->input_amount_chosen(kLiquidWealthKey, 912345);
    EXPECT_EQ(box("Text11")->text(), "912,345");
    EXPECT_EQ(state.liquid_wealth, 912345);
    EXPECT_EQ(box("ind_invest_wealth")->text().toStdString(),
              format_grouped0(state.net_investable_wealth));
    EXPECT_NE(box("ind_invest_wealth")->text(), wealth_before);
    EXPECT_TRUE(platform.messages.empty());
}

// A solved amount ticks "Refined accuracy", with a note, so that the next
// Calculate shows the lifetime ruin the solve found, not the standard
// scheme's figure for it.
TEST_F(WhatIfInputTest, SolvedAmountIsCalculatedAtTheSolvesAccuracy) {
    const AnalysisState inputs = state;
    const SpendingSolution solved = solve_sustainable_spending(inputs, SolveFor::wealth, 0.05);
    ASSERT_TRUE(solved.found) << solved.message;
    auto* refined = child<QCheckBox>("refined_accuracy");
    auto* note = child<QLabel>("accuracy_note");
    ASSERT_FALSE(refined->isChecked());
    screen->show();
    screen->in_put_Command1_Click();
    ASSERT_NE(screen->results_screen(), nullptr);
    emit screen->results_screen()->input_amount_chosen(kLiquidWealthKey, solved.value);
    EXPECT_TRUE(refined->isChecked());
    EXPECT_TRUE(note->isVisibleTo(screen.get()));
    EXPECT_TRUE(note->text().contains("Refined accuracy")) << note->text().toStdString();

    if (screen->results_screen() != nullptr) emit screen->results_screen()->returned();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    screen->in_put_Command1_Click();
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text.toStdString();
    const ResultsRecord& r = screen->last_results();
    EXPECT_TRUE(r.refined);
    // The whole-dollar amount moves the figure by far less than a cell's digit.
    EXPECT_NEAR(r.ruin_grid[0][3], solved.lifetime_ruin, 5e-4);
    EXPECT_FALSE(note->isVisibleTo(screen.get()));  // said once, gone with the calculation
}

}  // namespace
}  // namespace quorrel
