// The PDF report of the default case read back with the poppler tools: its
// text holds every figure of the four result tabs, it has four A4 pages with
// embedded fonts, and the results screen writes and previews it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "analysis/case_summary.h"
#include "analysis/defaults.h"
#include "record/number_format.h"
#include "record/published_figures.h"
#include "analysis/pipeline.h"
#include "results_app.h"
#include "screens/recording_platform.h"
#include "screens/results/out_put.h"
#include "report/report_document.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

// Output of a poppler tool, empty when it is missing or failed.
QString run_tool(const QString& tool, const QStringList& arguments) {
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool have_poppler() { return !QStandardPaths::findExecutable("pdftotext").isEmpty(); }

// True when one line of `text` holds the words in this order.
bool line_holds(const QString& text, const std::vector<std::string>& words) {
    for (const QString& line : text.split('\n')) {
        qsizetype at = 0;
        bool all = true;
        for (const std::string& w : words) {
            at = line.indexOf(QString::fromStdString(w), at);
            if (at < 0) {
                all = false;
                break;
            }
            at += static_cast<qsizetype>(w.size());
        }
        if (all) return true;
    }
    return false;
}

struct Figures {
    AnalysisState state;
    ResultsRecord results;
};

// One calculation of the default inputs and one report of it for the suite.
class ReportPdfTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        testing::ensure_application();
        case_ = new Figures;
        apply_input_defaults(case_->state);
        QuietHooks hooks;
        completed_ =
            run_calculation(case_->state, hooks, case_->results) == CalculationOutcome::completed;
        dir_ = new QTemporaryDir;
        path_ = dir_->filePath("default case.pdf");
        reason_ = write_report_pdf(path_, case_->state, case_->results,
                                   {"Default client", QDateTime(QDate(2026, 3, 4), QTime(5, 6))});
        text_ = run_tool("pdftotext", {"-layout", path_, "-"});
    }
    static void TearDownTestSuite() {
        delete case_;
        delete dir_;
    }
    void SetUp() override {
        ASSERT_TRUE(completed_);
        ASSERT_EQ(reason_, "");
        if (!have_poppler()) GTEST_SKIP() << "poppler-utils not installed";
        ASSERT_FALSE(text_.isEmpty());
    }

    static Figures* case_;
    static bool completed_;
    static QTemporaryDir* dir_;
    static QString path_;
    static std::string reason_;
    static QString text_;
};

Figures* ReportPdfTest::case_ = nullptr;
bool ReportPdfTest::completed_ = false;
QTemporaryDir* ReportPdfTest::dir_ = nullptr;
QString ReportPdfTest::path_;
std::string ReportPdfTest::reason_;
QString ReportPdfTest::text_;

// A line of the report: what it shows, and the words it must hold in order,
// taken from the record and the state.
struct ReportLine {
    const char* what;
    std::function<std::vector<std::string>(const AnalysisState&, const ResultsRecord&)> words;
};

void PrintTo(const ReportLine& line, std::ostream* os) { *os << line.what; }

std::vector<std::string> probability_row(const ResultsRecord& r, int row) {
    std::vector<std::string> words{kRuinFigures.row_captions[static_cast<std::size_t>(row)]};
    for (int col = 0; col < 4; ++col) words.push_back(r.cells.at(ruin_cell_names()[row][col]));
    return words;
}

std::vector<std::string> estate_row(const ResultsRecord& r, int row) {
    std::vector<std::string> words{kEstateFigures.row_captions[static_cast<std::size_t>(row)]};
    for (int col = 0; col < 3; ++col) words.push_back(r.cells.at(estate_cell_names()[row][col]));
    return words;
}

std::vector<std::string> amount_row(const AnalysisState& s, const ResultsRecord& r, int row) {
    std::vector<std::string> words{kEstateFigures.row_captions[static_cast<std::size_t>(row)]};
    for (int col = 0; col < 3; ++col)
        words.push_back("$" + format_grouped0(std::stod(r.cells.at(estate_cell_names()[row][col])) *
                                              s.net_investable_wealth));
    return words;
}

std::string whole(double v) { return format_grouped0(v); }

const ReportLine kLines[] = {
    {"title", [](auto&, auto&) { return std::vector<std::string>{"Retirement Ruin and Quorrel"}; }},
    {"case name", [](auto&, auto&) { return std::vector<std::string>{"Case: Default client"}; }},
    {"date", [](auto&, auto&) { return std::vector<std::string>{"Date: 2026-03-04 05:06"}; }},
    {"age input",
     [](auto& s, auto&) {
         return std::vector<std::string>{"Current Age:", whole(s.current_age)};
     }},
    {"wealth input",
     [](auto& s, auto&) {
         return std::vector<std::string>{"Liquid Retirement Wealth:", "$" + whole(s.liquid_wealth)};
     }},
    {"stock mean",
     [](auto& s, auto&) {
         return std::vector<std::string>{"1.) Equity /", format_percent2(s.mean_stock),
                                         format_percent2(s.dev_stock)};
     }},
    {"NIW",
     [](auto& s, auto&) {
         return std::vector<std::string>{"Your Net Investable Wealth (NIW) is :",
                                         "$" + whole(s.net_investable_wealth)};
     }},
    {"deficit",
     [](auto& s, auto&) {
         return std::vector<std::string>{"Your Net Consumption Deficit is:",
                                         "$" + whole(s.consumption_deficit)};
     }},
    {"probabilities at 0%", [](auto&, auto& r) { return probability_row(r, 0); }},
    {"probabilities at 10%", [](auto&, auto& r) { return probability_row(r, 1); }},
    {"probabilities at 25%", [](auto&, auto& r) { return probability_row(r, 2); }},
    {"probabilities at 50%", [](auto&, auto& r) { return probability_row(r, 3); }},
    {"estates at 10 years", [](auto&, auto& r) { return estate_row(r, 0); }},
    {"estates at 20 years", [](auto&, auto& r) { return estate_row(r, 1); }},
    {"estates at 30 years", [](auto&, auto& r) { return estate_row(r, 2); }},
    {"amounts at 10 years", [](auto& s, auto& r) { return amount_row(s, r, 0); }},
    {"amounts at 20 years", [](auto& s, auto& r) { return amount_row(s, r, 1); }},
    {"amounts at 30 years", [](auto& s, auto& r) { return amount_row(s, r, 2); }},
    {"first income horizon",
     [](auto&, auto& r) {
         return std::vector<std::string>{"2.5",  "67.5", format_plain2(r.expected_income[0]),
                                         "27.5", "92.5", format_plain2(r.expected_income[10])};
     }},
    {"life expectancy",
     [](auto& s, auto&) {
         return std::vector<std::string>{"Life Expectancy:",
                                         whole(std::floor(s.expected_death_age) + 1)};
     }},
    {"90th percentile",
     [](auto& s, auto& r) {
         return std::vector<std::string>{"90th Percentile:",
                                         whole(r.ninetieth_percentile_index + s.current_age)};
     }},
    {"expected ruin age",
     [](auto&, auto& r) {
         return std::vector<std::string>{"Expected Ruin Age:",
                                         whole(std::floor(r.expected_ruin_age) + 1)};
     }},
    {"ruin age on the chart",
     [](auto&, auto& r) {
         return std::vector<std::string>{"Expected Ruin Age is " +
                                         whole(std::floor(r.expected_ruin_age) + 1)};
     }},
    {"explanation of the probabilities",
     [](auto&, auto&) {
         return std::vector<std::string>{"What is the probability that your net investable"};
     }},
    {"explanation of the survival chart",
     [](auto&, auto&) {
         return std::vector<std::string>{"The above graph displays the probability of surviving"};
     }},
    {"page numbers",
     [](auto&, auto&) {
         return std::vector<std::string>{"Default client", "Page 4 of 4"};
     }},
};

class ReportPdfLineTest : public ReportPdfTest, public ::testing::WithParamInterface<ReportLine> {};

TEST_P(ReportPdfLineTest, TextHoldsTheLine) {
    const std::vector<std::string> words = GetParam().words(case_->state, case_->results);
    EXPECT_TRUE(line_holds(text_, words)) << "missing: " << ::testing::PrintToString(words);
}

INSTANTIATE_TEST_SUITE_P(DefaultCase, ReportPdfLineTest, ::testing::ValuesIn(kLines));

TEST_F(ReportPdfTest, FourA4PagesWithEmbeddedFonts) {
    const QString info = run_tool("pdfinfo", {path_});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+4\\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains("(A4)")) << info.toStdString();
    // One page each: the inputs, the two tables' tabs, each chart's tab.
    for (int page = 1; page <= 4; ++page)
        EXPECT_TRUE(text_.contains(QString("Page %1 of 4").arg(page)));
    EXPECT_EQ(text_.count("Page "), 4);
    EXPECT_EQ(text_.count("Probability Results"), 1);  // no text drawn twice across pages

    const QStringList fonts = run_tool("pdffonts", {path_}).split('\n', Qt::SkipEmptyParts);
    ASSERT_GT(fonts.size(), 2);  // two heading lines, then one line per font
    for (qsizetype i = 2; i < fonts.size(); ++i) {
        const QStringList columns = fonts[i].split(' ', Qt::SkipEmptyParts);
        ASSERT_GE(columns.size(), 7);
        EXPECT_EQ(columns[columns.size() - 5], "yes") << fonts[i].toStdString();  // emb
    }
    // Both charts are paths, not pictures.
    const QStringList images =
        run_tool("pdfimages", {"-list", path_}).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(images.size(), 2);  // the heading lines only
}

TEST_F(ReportPdfTest, ResultsScreenExportsAndPreviews) {
    testing::RecordingPlatform platform;
    OutPut screen(case_->state, case_->results, platform, "800,000");
    screen.set_case_name("Smith 2026");
    QTemporaryDir dir;

    // Cancelled: nothing written, nothing said.
    screen.findChild<QPushButton*>("export_pdf")->click();
    ASSERT_EQ(platform.dialog_requests.size(), 1);
    // The replacing dialog, not the appending one; a name from the case and the day.
    EXPECT_EQ(platform.dialog_requests[0], "Smith 2026 " +
                                               QDate::currentDate().toString("yyyy-MM-dd") +
                                               ".pdf|PDF document (*.pdf)|pdf");
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    // A name without the suffix gets it.
    platform.next_file_name = dir.filePath("smith");
    screen.findChild<QPushButton*>("export_pdf")->click();
    EXPECT_TRUE(platform.messages.empty());
    ASSERT_TRUE(QFile::exists(dir.filePath("smith.pdf")));
    EXPECT_TRUE(
        run_tool("pdftotext", {dir.filePath("smith.pdf"), "-"}).contains("Case: Smith 2026"));
    EXPECT_EQ(screen.findChild<QLabel*>("save_status")->text(),
              "The PDF report was written to " + dir.filePath("smith.pdf"));

    // A folder that does not exist: one message, the screen goes on.
    platform.next_file_name = dir.filePath("missing/smith.pdf");
    screen.findChild<QPushButton*>("export_pdf")->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "Results and Analysis");
    EXPECT_TRUE(platform.messages[0].text.startsWith(
        "The report could not be written to the file\n" + dir.filePath("missing/smith.pdf")));
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::critical);
    EXPECT_EQ(screen.findChild<QLabel*>("save_status")->text(), "");

    // The preview paints the same document on the printer it is given.
    screen.findChild<QPushButton*>("print_report")->click();
    ASSERT_EQ(platform.previews, QStringList{"Print Report"});
    ASSERT_TRUE(platform.last_preview);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("preview.pdf"));
    platform.last_preview(printer);
    ASSERT_TRUE(printer.printerState() != QPrinter::Error);
    const QString preview = run_tool("pdftotext", {"-layout", dir.filePath("preview.pdf"), "-"});
    EXPECT_TRUE(preview.contains("Case: Smith 2026"));
    EXPECT_TRUE(line_holds(preview, probability_row(case_->results, 0)));
    EXPECT_TRUE(preview.contains("Page 4 of 4"));
}

// A rule that follows wealth gets a page of its own: the rule and its terms,
// the chart and the record's figures; the fixed rule's report has none.
struct SpendingPdfCase {
    const char* name;
    int rule;
    int pages;
};

class SpendingPdfTest : public ::testing::TestWithParam<SpendingPdfCase> {};

TEST_P(SpendingPdfTest, SpendingPageOnlyForARuleFollowingWealth) {
    testing::ensure_application();
    if (!have_poppler()) GTEST_SKIP() << "poppler-utils not installed";
    AnalysisState state;
    apply_input_defaults(state);
    state.target_income = 40000;
    state.spending_rule = static_cast<std::int16_t>(GetParam().rule);
    ResultsRecord results;
    results.spending_grid = {{{31234.4, 38765.6, 47000.5}, {30500, 35010.2, 44999.4}, {0, 0, 0}}};
    results.spending_at_floor = {0.125, 0.2501, 1};
    QTemporaryDir dir;
    const QString path = dir.filePath("spending.pdf");
    ASSERT_EQ(write_report_pdf(path, state, results, {"Spender", QDateTime(QDate(2026, 3, 4), {})}),
              "");
    const QString text = run_tool("pdftotext", {"-layout", path, "-"});
    ASSERT_FALSE(text.isEmpty());
    EXPECT_TRUE(text.contains(QString("Page %1 of %1").arg(GetParam().pages)));
    const bool shown = GetParam().rule != 0;
    EXPECT_EQ(line_holds(text, {"Spending Rule:", spending_rule_caption(state)}), shown);
    EXPECT_EQ(line_holds(text, {"10 years:", "$31,234", "$38,766", "$47,001", "12.5%"}), shown);
    EXPECT_EQ(line_holds(text, {"30 years:", "$0", "$0", "$0", "100.0%"}), shown);
    EXPECT_EQ(text.contains("Real spending per year, today's dollars"), shown);  // the chart
}

INSTANTIATE_TEST_SUITE_P(Rules, SpendingPdfTest,
                         ::testing::Values(SpendingPdfCase{"fixed", 0, 4},
                                           SpendingPdfCase{"percent", 1, 5},
                                           SpendingPdfCase{"guardrails", 2, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorrel
