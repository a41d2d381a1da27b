// "Check by simulation" and the scheme line on the results screen: the
// simulated figures shown are those of the simulation itself, Cancel leaves
// the screen as it was, and closing the screen mid-run is safe.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <memory>

#include "analysis/case_summary.h"
#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "default_calculation.h"
#include "engine/simulation/monte_carlo.h"
#include "results_app.h"
#include "screens/recording_platform.h"
#include "screens/results/background_job.h"
#include "screens/results/out_put.h"
#include "screen_helpers.h"
#include "screens/results/simulation_check.h"

namespace quorrel {
namespace {

// What a person sees of the screen: every text and whether it is shown.
QStringList snapshot(const QWidget& screen) {
    QStringList seen;
    for (const QLineEdit* box : screen.findChildren<QLineEdit*>())
        seen << box->objectName() + "=" + box->text();
    for (const QLabel* l : screen.findChildren<QLabel*>())
        seen << l->objectName() + "=" + l->text() + (l->isHidden() ? " hidden" : " shown");
    for (const QPushButton* b : screen.findChildren<QPushButton*>())
        seen << b->objectName() + (b->isEnabled() ? " enabled" : " disabled");
    return seen;
}

using testing::wait_for_simulation;

class ResultsSimulationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::ensure_application();
        const testing::DefaultCalculation& d = testing::default_calculation();
        state_ = &d.state;
        results_ = &d.results;
        outcome_ = d.outcome;
    }
    void SetUp() override {
        ASSERT_EQ(outcome_, CalculationOutcome::completed);
        screen = std::make_unique<OutPut>(*state_, *results_, platform, "800,000");
    }
    QPushButton* check() const { return screen->findChild<QPushButton*>("check_by_simulation"); }
    QLabel* shown(const QString& name) const { return screen->findChild<QLabel*>(name); }

    static const AnalysisState* state_;
    static const ResultsRecord* results_;
    static CalculationOutcome outcome_;
    testing::RecordingPlatform platform;
    std::unique_ptr<OutPut> screen;
};

const AnalysisState* ResultsSimulationTest::state_ = nullptr;
const ResultsRecord* ResultsSimulationTest::results_ = nullptr;
CalculationOutcome ResultsSimulationTest::outcome_ = CalculationOutcome::failed;

TEST_F(ResultsSimulationTest, EveryCellGetsTheSimulatedFigureAndItsError) {
    constexpr long kPaths = 8192;
    screen->set_simulation_paths(kPaths);
    for (const auto& row : ruin_cell_names())
        for (const char* cell : row)
            EXPECT_TRUE(shown(QString("simulated_%1").arg(cell))->isHidden());
    check()->click();
    EXPECT_TRUE(screen->simulation_running());
    EXPECT_FALSE(check()->isEnabled());
    ASSERT_EQ(platform.progress_titles.size(), 1);
    EXPECT_TRUE(
        platform.progress_titles[0].startsWith("Check by simulation|Simulating 8,192 paths"));
    wait_for_simulation(*screen);
    ASSERT_FALSE(screen->simulation_running());
    EXPECT_EQ(platform.progress_open, 0);
    EXPECT_TRUE(check()->isEnabled());

    // The same run made directly: same seed and paths give the same figures.
    MonteCarloOptions options;
    options.paths = kPaths;
    options.seed = kCheckSeed;
    const MonteCarloResults direct = run_monte_carlo(*state_, options);
    ASSERT_FALSE(direct.cancelled);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const QLabel* l = shown(QString("simulated_%1").arg(ruin_cell_names()[r][c]));
            EXPECT_FALSE(l->isHidden());
            EXPECT_EQ(l->text(), simulated_probability_text(direct.ruin[r][c])) << r << c;
        }
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(shown(QString("simulated_%1").arg(estate_cell_names()[r][c]))->text(),
                      simulated_multiple_text(direct.estate[r][c]));
    EXPECT_EQ(shown("simulation_note(0)")->text(), simulation_note(kPaths, kCheckSeed));
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(ResultsSimulationTest, CancelStopsTheRunAndChangesNothing) {
    screen->show();
    const QStringList before = snapshot(*screen);
    QElapsedTimer since_cancel;
    // Cancel as soon as the progress window shows the first share.
    platform.on_progress = [&](double) {
        if (since_cancel.isValid()) return;
        since_cancel.start();
        platform.cancel_progress();
    };
    check()->click();
    wait_for_simulation(*screen);
    ASSERT_TRUE(since_cancel.isValid());
    RecordProperty("milliseconds_from_cancel_to_end", static_cast<int>(since_cancel.elapsed()));
    EXPECT_FALSE(screen->simulation_running());
    EXPECT_EQ(platform.progress_open, 0);
    EXPECT_EQ(snapshot(*screen), before);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(ResultsSimulationTest, ClosingTheScreenMidRunWaitsForTheWorker) {
    screen->show();
    bool started = false;
    platform.on_progress = [&](double) { started = true; };
    check()->click();
    QElapsedTimer clock;
    clock.start();
    while (!started && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(screen->simulation_running());
    EXPECT_TRUE(screen->close());
    screen.reset();
    EXPECT_EQ(platform.progress_open, 0);
}

// The progress window's estimate of the time left, at the pace so far.
TEST(TimeLeftText, AtThePaceSoFar) {
    struct Case {
        double share, elapsed;
        const char* text;
    };
    const Case cases[] = {
        {0.005, 10, ""},                        // too little done to tell
        {0.5, 0.5, ""},                         // too soon to tell
        {1.0, 10, ""},                          // nothing left
        {0.5, 1.2, "About 1 second left"},      // 1.2 s left
        {0.25, 10, "About 30 seconds left"},    // 30 s left
        {0.1, 9.95, "About 90 seconds left"},   // 89.55 s left
        {0.1, 20, "About 3 minutes left"},      // 180 s left
        {0.02, 60, "About 49 minutes left"},    // 2940 s left
    };
    for (const Case& c : cases)
        EXPECT_EQ(time_left_text(c.share, c.elapsed), QString(c.text)) << c.share << " " << c.elapsed;
}

struct SchemeCase {
    const char* name;
    bool refined;
    const char* scheme_line;
    const char* shown;
};

class ResultsSchemeLineTest : public ::testing::TestWithParam<SchemeCase> {
protected:
    static void SetUpTestSuite() { testing::ensure_application(); }
};

TEST_P(ResultsSchemeLineTest, NamesTheScheme) {
    const SchemeCase& c = GetParam();
    AnalysisState state;
    state.current_age = 65;
    ResultsRecord results;
    results.refined = c.refined;
    results.scheme_line = c.scheme_line;
    testing::RecordingPlatform platform;
    OutPut screen(state, results, platform, "0");
    const QLabel* line = screen.findChild<QLabel*>("scheme_line");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text().toStdString(), c.shown);
    // The scheme's technical account stays at hand, behind the plain words.
    EXPECT_EQ(line->toolTip().toStdString(), c.refined ? c.scheme_line : "");
    // Refined cells carry their error estimates; standard ones have none.
    results.ruin_error[0][3] = 0.00123;
    results.estate_error[1][1] = 0.0456;
    OutPut again(state, results, platform, "0");
    EXPECT_EQ(
        again.findChild<QLineEdit*>("Text5")->toolTip(),
        c.refined ? QString::fromUtf8("Error estimate: \u00b10.12 percentage points") : QString());
    EXPECT_EQ(
        again.findChild<QLineEdit*>("Text58(0)")->toolTip(),
        c.refined ? QString::fromUtf8("Error estimate: \u00b10.046 times the NIW") : QString());
}

INSTANTIATE_TEST_SUITE_P(
    Schemes, ResultsSchemeLineTest,
    ::testing::Values(
        SchemeCase{"standard", false, "", kStandardSchemeSentence},
        SchemeCase{"standard_ignores_a_stray_line", false, "Refined x", kStandardSchemeSentence},
        SchemeCase{"refined", true, "Refined accuracy: two grids.", kRefinedSchemeSentence}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorrel
