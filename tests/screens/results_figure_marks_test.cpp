// The amber mark on figures a person should not take at their word:
// standard probabilities out of order, and refined figures that "Check by
// simulation" does not bear out. Marked cells keep their texts, get the
// tooltip saying why, and a line under their grid says what the marks mean.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <functional>
#include <string>

#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "engine/simulation/monte_carlo.h"
#include "results_app.h"
#include "screens/recording_platform.h"
#include "screens/results/grid_marks.h"
#include "screens/results/out_put.h"
#include "screen_helpers.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

using Tips = std::array<std::array<QString, 4>, 4>;

QColor plain_base() { return QLineEdit().palette().color(QPalette::Base); }

// Every cell of both grids: marked exactly where a tip is expected, with
// that tip.
void expect_marks(const OutPut& screen, const Tips& ruin_tips,
                  const std::array<std::array<QString, 3>, 3>& estate_tips) {
    const auto check = [&](const char* name, const QString& tip) {
        const QLineEdit* box = screen.findChild<QLineEdit*>(name);
        ASSERT_NE(box, nullptr) << name;
        EXPECT_EQ(box->palette().color(QPalette::Base),
                  tip.isEmpty() ? plain_base() : grid_mark_colour())
            << name;
        // A refined cell's tip leads with its error estimate; the marks follow.
        QString shown = box->toolTip();
        static const QRegularExpression estimate("^Error estimate: [^\n]*(\n\n)?");
        shown.remove(estimate);
        EXPECT_EQ(shown, tip) << name;
    };
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) check(ruin_cell_names()[r][c], ruin_tips[r][c]);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) check(estate_cell_names()[r][c], estate_tips[r][c]);
}

struct OrderCase {
    const char* name;
    std::function<void(ResultsRecord&)> make;
    std::function<void(Tips&)> tips;
    const char* note;  // under the probability grid; nullptr: hidden
};

class ResultsOrderMarks : public ::testing::TestWithParam<OrderCase> {
protected:
    static void SetUpTestSuite() { testing::ensure_application(); }
};

TEST_P(ResultsOrderMarks, OutOfOrderCellsCarryTheMarkAndTheTip) {
    const OrderCase& c = GetParam();
    AnalysisState state;
    state.current_age = 65;
    ResultsRecord results;
    for (const auto& row : ruin_cell_names())
        for (const char* n : row) results.cells[n] = "50.0%";
    c.make(results);
    testing::RecordingPlatform platform;
    OutPut screen(state, results, platform, "0");
    Tips tips;
    c.tips(tips);
    expect_marks(screen, tips, {});
    for (const auto& row : ruin_cell_names())
        for (const char* n : row)
            EXPECT_EQ(screen.findChild<QLineEdit*>(n)->text(), QString("50.0%")) << n;
    const QLabel* note = screen.findChild<QLabel*>("grid_marks_note(0)");
    EXPECT_EQ(note->isHidden(), c.note == nullptr);
    if (c.note) {
        EXPECT_EQ(note->text(), QString(c.note));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResultsOrderMarks,
    ::testing::Values(OrderCase{"none", [](ResultsRecord&) {}, [](Tips&) {}, nullptr},
                      OrderCase{"falling_row",
                                [](ResultsRecord& r) {
                                    r.ruin_out_of_order[1] = {true, true, true, false};
                                },
                                [](Tips& t) { t[1][0] = t[1][1] = t[1][2] = kRuinOutOfOrderTip; },
                                kOrderMarksNote},
                      OrderCase{"with_a_barrier_row",
                                [](ResultsRecord& r) {
                                    r.barrier_at_start[3].fill(true);
                                    r.ruin_out_of_order[0][3] = r.ruin_out_of_order[1][3] = true;
                                },
                                [](Tips& t) {
                                    t[3].fill(kBarrierAtStartTip);
                                    t[0][3] = t[1][3] = kRuinOutOfOrderTip;
                                },
                                kGridAndOrderMarksNote}),
    [](const auto& info) { return std::string(info.param.name); });

using testing::wait_for_simulation;

constexpr long kPaths = 4000;

// The default case at refined accuracy with its 10% lifetime probability
// and its 20-year Good percentile moved off what the screen's simulation
// will show, by 3.5 standard errors beyond the error estimate.
struct Moved {
    AnalysisState state;
    ResultsRecord results;
};

const Moved& moved() {
    static const Moved m = [] {
        Moved out;
        apply_input_defaults(out.state);
        QuietHooks hooks;
        EXPECT_EQ(run_calculation(out.state, hooks, out.results, Accuracy::refined),
                  CalculationOutcome::completed);
        MonteCarloOptions options;
        options.paths = kPaths;
        options.seed = kCheckSeed;
        const MonteCarloResults mc = run_monte_carlo(out.state, options);
        ResultsRecord& r = out.results;
        r.ruin_grid[1][3] =
            mc.ruin[1][3].value + 3.5 * mc.ruin[1][3].standard_error + r.ruin_error[1][3];
        r.estate_grid[1][2] =
            mc.estate[1][2].value - 3.5 * mc.estate[1][2].standard_error - r.estate_error[1][2];
        return out;
    }();
    return m;
}

struct CheckCase {
    const char* name;
    bool refined;
};

class ResultsCheckMarks : public ::testing::TestWithParam<CheckCase> {
protected:
    static void SetUpTestSuite() { testing::ensure_application(); }
};

TEST_P(ResultsCheckMarks, DisagreeingRefinedCellsAreMarkedAfterTheCheck) {
    const bool refined = GetParam().refined;
    ResultsRecord results = moved().results;
    results.refined = refined;
    testing::RecordingPlatform platform;
    OutPut screen(moved().state, results, platform, "800,000");
    screen.set_simulation_paths(kPaths);
    expect_marks(screen, {}, {});
    const QLabel* notes[2] = {screen.findChild<QLabel*>("check_note(0)"),
                              screen.findChild<QLabel*>("check_note(1)")};
    for (const QLabel* note : notes) EXPECT_TRUE(note->isHidden());

    screen.findChild<QPushButton*>("check_by_simulation")->click();
    wait_for_simulation(screen);
    ASSERT_FALSE(screen.simulation_running());
    EXPECT_TRUE(platform.messages.empty());

    Tips ruin_tips;
    std::array<std::array<QString, 3>, 3> estate_tips;
    if (refined) {
        ruin_tips[1][3] = kDisagreesTip;
        estate_tips[1][2] = kDisagreesTip;
    }
    expect_marks(screen, ruin_tips, estate_tips);
    for (const QLabel* note : notes) {
        EXPECT_EQ(note->isHidden(), !refined);
        if (refined) {
            EXPECT_EQ(note->text(), QString(kDisagreesNote));
        }
    }

    // A second check marks the same cells once, not twice.
    screen.findChild<QPushButton*>("check_by_simulation")->click();
    wait_for_simulation(screen);
    expect_marks(screen, ruin_tips, estate_tips);
}

INSTANTIATE_TEST_SUITE_P(Accuracies, ResultsCheckMarks,
                         ::testing::Values(CheckCase{"refined", true},
                                           // No error estimate, no verdict.
                                           CheckCase{"standard", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorrel
