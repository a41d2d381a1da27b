// "Compare..." on the results screen: the files picked, the cases read and
// calculated, the window with a column per case, its printout and its CSV.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "default_calculation.h"
#include "results_app.h"
#include "screens/recording_platform.h"
#include "screens/results/compare_window.h"
#include "screens/results/out_put.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

// The other cases are calculated on a worker: lets the event loop run until
// the comparison has ended, as it does while the person waits.
void wait_for_comparison(const OutPut& screen) {
    QElapsedTimer clock;
    clock.start();
    while (screen.comparison_running() && clock.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
}

// Stands in for saved case files: each name changes the defaults its way.
std::string read_fake_case(const QString& path, AnalysisState& state) {
    const QString name = QFileInfo(path).fileName();
    if (name == "same.json")
        ;  // the defaults, as the case on screen
    else if (name == "older.json")
        state.current_age = 70;
    else if (name == "richer.json")
        state.liquid_wealth = 1000000;
    else if (name == "stocks.json")
        state.mean_stock = 0.09;
    else if (name == "no target.json")
        state.target_income = 0;
    else
        return "not a case file";
    return {};
}

struct CompareCase {
    const char* what;
    QStringList files;
    std::vector<std::string> case_names;  // the window's columns; empty: no window
    const char* message;                  // the one message shown, or ""
};

void PrintTo(const CompareCase& c, std::ostream* os) { *os << c.what; }

class CompareTest : public ::testing::TestWithParam<CompareCase> {
protected:
    static void SetUpTestSuite() {
        testing::ensure_application();
        const testing::DefaultCalculation& d = testing::default_calculation();
        ASSERT_EQ(d.outcome, CalculationOutcome::completed);
        state_ = &d.state;
        results_ = &d.results;
    }
    static const AnalysisState* state_;
    static const ResultsRecord* results_;
    testing::RecordingPlatform platform;
};
const AnalysisState* CompareTest::state_ = nullptr;
const ResultsRecord* CompareTest::results_ = nullptr;

TEST_P(CompareTest, PicksReadsAndShows) {
    const CompareCase& c = GetParam();
    OutPut screen(*state_, *results_, platform, "800,000");
    screen.set_case_name("Smith");
    screen.set_case_reader(read_fake_case);
    platform.next_open_names.clear();
    for (const QString& f : c.files) platform.next_open_names << "/cases/" + f;
    screen.findChild<QPushButton*>("compare_cases")->click();
    wait_for_comparison(screen);

    ASSERT_EQ(platform.open_requests, QStringList{"Quorrel case (*.json)"});
    if (*c.message) {
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, c.message);
        EXPECT_EQ(platform.messages[0].title, "Results and Analysis");
    } else {
        EXPECT_TRUE(platform.messages.empty());
    }
    auto* window = qobject_cast<CompareWindow*>(screen.compare_window());
    if (c.case_names.empty()) {
        EXPECT_EQ(window, nullptr);
        return;
    }
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "Compare Cases");
    EXPECT_EQ(window->comparison().case_names, c.case_names);
    // The calculations ran behind a progress window, at the scheme on screen,
    // which the window names.
    ASSERT_EQ(platform.progress_titles.size(), 1);
    EXPECT_TRUE(platform.progress_titles[0].contains("at standard accuracy"))
        << platform.progress_titles[0].toStdString();
    EXPECT_EQ(platform.progress_open, 0);
    EXPECT_EQ(window->comparison().accuracy, "standard");
    EXPECT_EQ(window->findChild<QLabel*>("comparison_accuracy")->text(),
              "Every case was calculated at standard accuracy.");

    // One column for the item, one per case, a difference after each other case.
    const auto* table = window->findChild<QTableWidget*>("comparison_table");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->columnCount(), static_cast<int>(1 + 2 * c.case_names.size() - 1));
    EXPECT_EQ(table->horizontalHeaderItem(1)->text(), "Smith");
    // The current case's figures in its column: the 0% row's lifetime cell.
    bool found = false;
    for (int row = 0; row < table->rowCount(); ++row)
        if (table->item(row, 0) && table->item(row, 0)->text() == "0% of initial NIW, Lifetime") {
            EXPECT_EQ(table->item(row, 1)->text().toStdString(), results_->cells.at("Text5"));
            found = true;
        }
    EXPECT_TRUE(found);
}

INSTANTIATE_TEST_SUITE_P(
    Files, CompareTest,
    ::testing::Values(
        CompareCase{"cancelled", {}, {}, ""},
        CompareCase{"one case", {"older.json"}, {"Smith", "older"}, ""},
        CompareCase{"three cases",
                    {"older.json", "richer.json", "stocks.json"},
                    {"Smith", "older", "richer", "stocks"},
                    ""},
        CompareCase{"four cases",
                    {"older.json", "richer.json", "stocks.json", "older.json"},
                    {},
                    "Please choose one to three saved cases to compare."},
        CompareCase{"an unreadable file",
                    {"older.json", "notes.json"},
                    {},
                    "The case /cases/notes.json cannot be compared:\nnot a case file"},
        CompareCase{"a case the calculation refuses",
                    {"no target.json"},
                    {},
                    "The case /cases/no target.json cannot be compared:\n"
                    "ERROR: Real target income should be greater than zero. Please try again!!!"}));

TEST_F(CompareTest, WindowPrintsAndWritesCsv) {
    OutPut screen(*state_, *results_, platform, "800,000");
    screen.set_case_reader(read_fake_case);
    platform.next_open_names = QStringList{"/cases/richer.json"};
    screen.findChild<QPushButton*>("compare_cases")->click();
    wait_for_comparison(screen);
    auto* window = qobject_cast<CompareWindow*>(screen.compare_window());
    ASSERT_NE(window, nullptr);
    QTemporaryDir dir;

    platform.next_file_name = dir.filePath("side by side");
    window->findChild<QPushButton*>("export_csv")->click();
    QFile csv(dir.filePath("side by side.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(csv.readAll().toStdString(), comparison_csv(window->comparison()));
    EXPECT_EQ(platform.dialog_requests.back(), "Unsaved case comparison " +
                                                   QDate::currentDate().toString("yyyy-MM-dd") +
                                                   ".csv|CSV file (*.csv)|csv");

    platform.next_file_name = dir.filePath("missing/side.csv");
    window->findChild<QPushButton*>("export_csv")->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "Compare Cases");
    EXPECT_TRUE(
        platform.messages[0].text.startsWith("The comparison could not be written to the file\n"));

    window->findChild<QPushButton*>("print_comparison")->click();
    ASSERT_EQ(platform.previews, QStringList{"Print Comparison"});
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("comparison.pdf"));
    platform.last_preview(printer);
    if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "no pdftotext";
    QProcess text;
    text.start("pdftotext", {"-layout", dir.filePath("comparison.pdf"), "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(printed.contains("Unsaved case")) << printed.toStdString();
    EXPECT_TRUE(printed.contains("richer"));
    EXPECT_TRUE(printed.contains("Liquid Retirement Wealth"));
    EXPECT_TRUE(printed.contains("+$200,000"));
    EXPECT_TRUE(printed.contains("Page 1 of"));
    EXPECT_TRUE(printed.contains("Every case was calculated at standard accuracy."));

    window->findChild<QPushButton*>("close_comparison")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(screen.compare_window(), nullptr);
}

// With refined figures on screen, a case compared with its own saved inputs
// differs nowhere: every case is calculated at the scheme on screen.
TEST_F(CompareTest, RefinedFiguresAreComparedAtRefinedAccuracy) {
    AnalysisState state;
    apply_input_defaults(state);
    ResultsRecord refined;
    QuietHooks hooks;
    ASSERT_EQ(run_calculation(state, hooks, refined, Accuracy::refined),
              CalculationOutcome::completed);
    OutPut screen(state, refined, platform, "800,000");
    screen.set_case_reader(read_fake_case);
    platform.next_open_names = QStringList{"/cases/same.json"};
    screen.findChild<QPushButton*>("compare_cases")->click();
    EXPECT_TRUE(screen.comparison_running());  // the screen is not held up meanwhile
    wait_for_comparison(screen);
    ASSERT_TRUE(platform.messages.empty()) << platform.messages[0].text.toStdString();
    auto* window = qobject_cast<CompareWindow*>(screen.compare_window());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->comparison().accuracy, "refined");
    EXPECT_TRUE(platform.progress_titles[0].contains("at refined accuracy"));
    int figures = 0;
    for (const ComparisonRow& row : window->comparison().rows) {
        ASSERT_EQ(row.values.size(), 2u);
        EXPECT_EQ(row.values[0], row.values[1]) << row.caption;
        figures += row.section != kCalculationSection && row.section != kDifferingInputs;
    }
    EXPECT_EQ(figures, 18 + 18 + 3);
    EXPECT_TRUE(comparison_csv(window->comparison()).find("Calculation,Accuracy,Refined,Refined") !=
                std::string::npos);
}

// Cancel stops the calculations: no window, no message.
TEST_F(CompareTest, CancelledComparisonSaysNothing) {
    OutPut screen(*state_, *results_, platform, "800,000");
    screen.set_case_reader(read_fake_case);
    platform.next_open_names = QStringList{"/cases/older.json", "/cases/richer.json"};
    platform.on_progress = [&](double) { platform.cancel_progress(); };
    screen.findChild<QPushButton*>("compare_cases")->click();
    platform.cancel_progress();  // as soon as the window is up
    wait_for_comparison(screen);
    EXPECT_FALSE(screen.comparison_running());
    EXPECT_EQ(screen.compare_window(), nullptr);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(platform.progress_open, 0);
}

}  // namespace
}  // namespace quorrel
