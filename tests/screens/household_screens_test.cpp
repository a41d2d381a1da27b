// A household on the desktop: the Household page's controls write the record
// and show a case's values again, a spouse locks the refined scheme, and the
// results screen, the report and the PDF carry the household's figures.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "analysis/case_file.h"
#include "analysis/case_summary.h"
#include "analysis/input_catalogue.h"
#include "analysis/report.h"
#include "default_calculation.h"
#include "record/number_format.h"
#include "report/report_document.h"
#include "screens/input_fixture.h"
#include "screens/results/chart_view.h"
#include "screens/results/out_put.h"

namespace quorrel::testing {
namespace {

// A household control, the item or text a person gives it (never its
// default), and the record field it must then hold.
struct HouseholdControl {
    const char* control;
    const char* given;
    double (*field)(const AnalysisState&);
    double expected;
};

const HouseholdControl kHouseholdControls[] = {
    {"spouse_current_age", "62", [](const AnalysisState& s) { return s.spouse_age; }, 62},
    {"spouse_sex", "Male",
     [](const AnalysisState& s) { return static_cast<double>(s.spouse_gender_code); },
     static_cast<double>(input_row("spouse_gender").code_base)},
    {"survivor_spending", "55%", [](const AnalysisState& s) { return s.survivor_spending; }, 0.55},
    {"survivor_share", "45%", [](const AnalysisState& s) { return s.survivor_share; }, 0.45},
    {"spouse_pension_cpi", "12,345",
     [](const AnalysisState& s) { return s.spouse_pension_cpi_income; }, 12345},
};

class HouseholdPageTest : public InputScreenTest {
protected:
    // Every household input set through its control, to a value other than
    // its default.
    void enter_household() {
        tabs()->setCurrentIndex(InPut::tab_of_page(kHouseholdPage));
        ASSERT_TRUE(activate(screen.get()));  // the amount box is left by a focus change
        for (const HouseholdControl& c : kHouseholdControls) {
            if (screen->findChild<QComboBox*>(c.control) != nullptr) {
                select(c.control, c.given);
            } else {
                type_and_leave(c.control, c.given, list("survivor_spending"));
            }
        }
    }
};

TEST_F(HouseholdPageTest, StandsAfterIndividualInformationWithItsHelp) {
    EXPECT_EQ(tabs()->count(), 6);
    EXPECT_EQ(tabs()->tabText(2), "Individual Information");
    EXPECT_EQ(tabs()->tabText(3), "Household");
    tabs()->setCurrentIndex(3);
    EXPECT_EQ(screen->current_page(), kHouseholdPage);
    for (const char* group : {"Spouse", "When one of you has died"}) {
        bool found = false;
        for (QGroupBox* g : screen->findChildren<QGroupBox*>())
            found = found || g->title() == group;
        EXPECT_TRUE(found) << group;
    }
    button("Command14")->click();
    ASSERT_NE(screen->help_screen(kHouseholdHelpPage), nullptr);
    EXPECT_EQ(screen->help_screen(kHouseholdHelpPage)->windowTitle(), "Household Help");
}

// Each control writes its field; a case file saved from them and opened in a
// new screen shows every value again, in the controls and in the record.
TEST_F(HouseholdPageTest, ControlsWriteTheRecordAndACaseReadsBack) {
    enter_household();
    for (const HouseholdControl& c : kHouseholdControls)
        EXPECT_DOUBLE_EQ(c.field(state), c.expected) << c.control;
    for (const InputRow& row : input_catalogue()) {
        if (row.household) {
            EXPECT_NE(read_input(state, row), default_value(row)) << row.key << " kept its default";
        }
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("household.json");
    ASSERT_EQ(write_case_file(path.toStdString(), state), "");
    screen.reset();
    AnalysisState fresh;
    screen = std::make_unique<InPut>(fresh, platform);
    EXPECT_EQ(fresh.spouse_age, 0);  // a new screen has no spouse
    ASSERT_TRUE(screen->open_case(path));
    for (const HouseholdControl& c : kHouseholdControls) {
        EXPECT_DOUBLE_EQ(c.field(fresh), c.expected) << c.control;
        QWidget* w = screen->findChild<QWidget*>(c.control);
        ASSERT_NE(w, nullptr) << c.control;
        const QString shown = qobject_cast<QComboBox*>(w)
                                  ? qobject_cast<QComboBox*>(w)->currentText()
                                  : qobject_cast<QLineEdit*>(w)->text();
        EXPECT_EQ(shown, c.given) << c.control;
    }
    EXPECT_TRUE(screen->accuracy_locked());  // the opened case has a spouse
}

// A spouse ticks and locks "Refined accuracy" with its note; "None" gives
// back whatever the person had chosen, and the lock is never remembered as
// the person's choice.
struct LockCase {
    const char* name;
    bool chosen_before;
};

class AccuracyLockTest : public HouseholdPageTest,
                         public ::testing::WithParamInterface<LockCase> {};

TEST_P(AccuracyLockTest, SpouseLocksAndNoneGivesBack) {
    auto* box = child<QCheckBox>("refined_accuracy");
    auto* note = child<QLabel>("household_accuracy_note");
    box->setChecked(GetParam().chosen_before);
    screen->show();
    EXPECT_FALSE(note->isVisible());
    select("spouse_current_age", "70");
    EXPECT_TRUE(box->isChecked());
    EXPECT_FALSE(box->isEnabled());
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), kHouseholdAccuracyNote);
    select("spouse_current_age", "58");  // another age keeps the lock
    EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(QSettings("Quorrel", "Quorrel").value("refined_accuracy", false).toBool(),
              GetParam().chosen_before);
    select("spouse_current_age", "None");
    EXPECT_EQ(box->isChecked(), GetParam().chosen_before);
    EXPECT_TRUE(box->isEnabled());
    EXPECT_FALSE(note->isVisible());
    EXPECT_EQ(state.spouse_age, 0);
}

INSTANTIATE_TEST_SUITE_P(Choices, AccuracyLockTest,
                         ::testing::Values(LockCase{"standard_before", false},
                                           LockCase{"refined_before", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The default person with a spouse of 62, calculated once for the suite.
const DefaultCalculation& household_calculation() {
    static const DefaultCalculation done = [] {
        DefaultCalculation d;
        apply_input_defaults(d.state);
        write_input(d.state, input_row("spouse_age"), {.index = 62 - 50 + 1});
        QuietHooks hooks;
        d.outcome = run_calculation(d.state, hooks, d.results, Accuracy::refined);
        return d;
    }();
    return done;
}

struct ResultsCase {
    const char* name;
    const DefaultCalculation& (*calculation)();
    bool household;
};

class HouseholdResultsTest : public ::testing::TestWithParam<ResultsCase> {
protected:
    static void SetUpTestSuite() { ensure_application(); }
};

// For a household the split lifetime cells add up to the lifetime column, the
// survival chart has four curves with their legend and no ruin age, and the
// mortality tab has the last death; a single person's screen has none of it.
TEST_P(HouseholdResultsTest, HouseholdFiguresWhereAPersonsStand) {
    const DefaultCalculation& d = GetParam().calculation();
    ASSERT_EQ(d.outcome, CalculationOutcome::completed);
    ASSERT_EQ(d.results.household.present, GetParam().household);
    RecordingPlatform platform;
    OutPut screen(d.state, d.results, platform, "800,000");
    const bool hh = GetParam().household;

    for (int r = 0; r < 4; ++r) {
        auto* both = screen.findChild<QLineEdit*>(QString("lifetime_both(%1)").arg(r));
        auto* survivor = screen.findChild<QLineEdit*>(QString("lifetime_survivor(%1)").arg(r));
        ASSERT_EQ(both != nullptr, hh) << r;
        ASSERT_EQ(survivor != nullptr, hh) << r;
        if (!hh) continue;
        const double sum = parse_amount(both->text().chopped(1).toStdString()).value() +
                           parse_amount(survivor->text().chopped(1).toStdString()).value();
        EXPECT_NEAR(sum, 100 * d.results.ruin_grid[r][3], 0.011) << r;
    }

    auto* chart = screen.findChild<ChartView*>("Picture1");
    ASSERT_NE(chart, nullptr);
    const ChartGeometry& g = chart->chart();
    EXPECT_EQ(g.more_curves.size(), hh ? 3u : 0u);
    EXPECT_EQ(g.marker.has_value(), !hh);
    for (int k = 0; k < 4; ++k) {
        const ChartText* key = g.text("legend(" + std::to_string(k) + ")");
        ASSERT_EQ(key != nullptr, hh) << k;
        if (hh) {
            EXPECT_NE(key->text.find(kSurvivalLegend[k]), std::string::npos);
        }
    }
    if (hh) {
        // Curves in order: both alive never above either life, either life
        // never above at least one.
        const HouseholdFigures& h = d.results.household;
        for (std::size_t t = 0; t < h.survival_either.size(); ++t) {
            EXPECT_LE(h.survival_both[t],
                      std::min(h.survival_person[t], h.survival_spouse[t]) + 1e-12);
            EXPECT_GE(h.survival_either[t],
                      std::max(h.survival_person[t], h.survival_spouse[t]) - 1e-12);
        }
        EXPECT_NE(g.note.find("while a survivor lived"), std::string::npos);
        EXPECT_EQ(screen.findChild<QLineEdit*>("last_death_age")->text().toStdString(),
                  fixed_text(h.expected_last_death_age, 1));
        EXPECT_GT(h.last_death_age_90, h.expected_last_death_age);
    } else {
        EXPECT_EQ(screen.findChild<QLineEdit*>("last_death_age"), nullptr);
    }
    const QString scheme = screen.findChild<QLabel*>("scheme_line")->text();
    EXPECT_EQ(scheme.contains("Household"), hh);
}

INSTANTIATE_TEST_SUITE_P(Cases, HouseholdResultsTest,
                         ::testing::Values(ResultsCase{"household", household_calculation, true},
                                           ResultsCase{"single", default_calculation, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The tools the command line refuses for a household say so in one line and
// open nothing.
TEST(HouseholdResults, RefusedToolsSayWhy) {
    ensure_application();
    const DefaultCalculation& d = household_calculation();
    ASSERT_EQ(d.outcome, CalculationOutcome::completed);
    RecordingPlatform platform;
    OutPut screen(d.state, d.results, platform, "800,000");
    for (const auto& [button, tool] : {std::pair{"compare_cases", "Compare"},
                                       {"what_if", "What if"},
                                       {"check_by_simulation", "Check by simulation"}}) {
        platform.messages.clear();
        screen.findChild<QPushButton*>(button)->click();
        ASSERT_EQ(platform.messages.size(), 1u) << button;
        EXPECT_EQ(platform.messages[0].text.toStdString(), household_tool_refusal(tool) + ".");
    }
    EXPECT_EQ(screen.what_if_window(), nullptr);
    EXPECT_FALSE(screen.simulation_running());
}

// A single person's case compared with a household's file: refused in the
// same words before anything is calculated.
TEST(HouseholdResults, ComparingWithAHouseholdCaseSaysWhy) {
    ensure_application();
    const DefaultCalculation& d = default_calculation();
    RecordingPlatform platform;
    OutPut screen(d.state, d.results, platform, "800,000");
    screen.set_case_reader([](const QString&, AnalysisState& other) {
        write_input(other, input_row("spouse_age"), {.index = 10});
        return std::string();
    });
    platform.next_open_names = {"/cases/couple.json"};
    screen.findChild<QPushButton*>("compare_cases")->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text.toStdString(),
              "The case /cases/couple.json cannot be compared:\n" +
                  household_tool_refusal("Compare") + ".");
    EXPECT_FALSE(screen.comparison_running());
    EXPECT_EQ(screen.compare_window(), nullptr);
}

// The text report and the PDF hold the household's inputs and figures; a
// single person's report has no household line.
TEST(HouseholdReport, TextAndPdfHoldTheHouseholdLines) {
    ensure_application();
    const DefaultCalculation& d = household_calculation();
    ASSERT_EQ(d.outcome, CalculationOutcome::completed);
    const HouseholdFigures& h = d.results.household;
    const std::vector<std::string> lines = report_lines(d.state, d.results, "800,000", "now");
    const auto holds = [&lines](const std::string& words) {
        for (const std::string& l : lines)
            if (l.find(words) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(holds("Spouse's Age : " + str_form(62) + "   Spouse's Gender : Female"));
    EXPECT_TRUE(holds("Survivor Spending :  70%   Survivor Share :  60%"));
    EXPECT_TRUE(holds("while both were alive :  " + format_percent2(h.lifetime_ruin_both[0])));
    EXPECT_TRUE(holds("while a survivor lived :  " + format_percent2(h.lifetime_ruin_survivor[0])));
    const DefaultCalculation& single = default_calculation();
    for (const std::string& l : report_lines(single.state, single.results, "800,000", "now"))
        EXPECT_EQ(l.find("Spouse"), std::string::npos) << l;

    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        GTEST_SKIP() << "poppler-utils not installed";
    QTemporaryDir dir;
    const QString path = dir.filePath("household.pdf");
    ASSERT_EQ(write_report_pdf(path, d.state, d.results, {"Couple", QDateTime::currentDateTime()}),
              "");
    QProcess pdftotext;
    pdftotext.start("pdftotext", {path, "-"});
    ASSERT_TRUE(pdftotext.waitForFinished(30000));
    // One line of words: the PDF breaks its paragraphs where the page does.
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
    for (const std::string& words :
         {std::string("Spouse's Age:"), std::string("Survivor Share:"),
          std::string("while both were alive"), format_percent2(h.lifetime_ruin_survivor[0]),
          fixed_text(h.expected_last_death_age, 1), std::string(kSurvivalLegend[3])})
        EXPECT_TRUE(text.contains(QString::fromStdString(words))) << words;
    EXPECT_FALSE(text.contains("Expected Ruin Age"));
    EXPECT_FALSE(text.contains("ruin is expected"));
    EXPECT_TRUE(text.contains("both of you and at least one of you are alive"));
}

}  // namespace
}  // namespace quorrel::testing
