// A household on the desktop: the Household page's controls write the record
// and show a case's values again, a spouse locks the refined scheme, and the
// results screen, the report and the PDF carry the household's figures.
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "analysis/case_file.h"
#include "analysis/case_comparison.h"
#include "analysis/case_summary.h"
#include "analysis/decision_tools.h"
#include "engine/simulation/household_simulation.h"
#include "analysis/input_catalogue.h"
#include "analysis/report.h"
#include "default_calculation.h"
#include "record/number_format.h"
#include "report/chart_geometry.h"
#include "report/report_document.h"
#include "screens/input_fixture.h"
#include "screens/results/chart_view.h"
#include "screens/results/compare_window.h"
#include "screens/results/out_put.h"
#include "screens/results/simulation_check.h"
#include "screens/results/what_if_window.h"
#include "screens/screen_helpers.h"

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

// The survival chart of a household runs until the younger one is 110: its
// curves hold a point a year to then, the last at that many years on the
// axis's scale, and the ten age steps (captions of the person's age) reach
// at least that far; a spouse older than the person leaves the person's axis.
TEST(HouseholdChart, SurvivalAxisRunsUntilTheYoungerIsAHundredAndTen) {
    struct Row {
        double person, spouse;
        int step;  // Int((110 - younger) / 10) + 1
    };
    for (const Row& row : {Row{65, 62, 5}, Row{65, 70, 5}, Row{60, 50, 7}, Row{80, 55, 6}}) {
        AnalysisState s;
        apply_input_defaults(s);
        s.current_age = row.person;
        s.spouse_age = row.spouse;
        s.survival_years = static_cast<std::int16_t>(110 - row.person);
        ResultsRecord r;
        r.household.present = true;
        r.household.spouse_age = row.spouse;
        const int years = static_cast<int>(110 - std::min(row.person, row.spouse));
        for (int t = 0; t <= years; ++t) {
            const double v = 1 - static_cast<double>(t) / (years + 1);
            r.household.survival_person.push_back(v);
            r.household.survival_spouse.push_back(v);
            r.household.survival_both.push_back(v * v);
            r.household.survival_either.push_back(v);
        }
        r.survival_curve.assign(static_cast<std::size_t>(110 - row.person) + 1, 0.5);
        const ChartGeometry g = survival_chart(s, r);
        EXPECT_EQ(g.step, row.step) << row.person << " " << row.spouse;
        EXPECT_GE(10 * g.step, years);
        ASSERT_EQ(g.curve.points.size(), static_cast<std::size_t>(years) + 1) << row.spouse;
        for (const ChartPolyline& more : g.more_curves)
            EXPECT_EQ(more.points.size(), g.curve.points.size());
        EXPECT_DOUBLE_EQ(g.curve.points.back().x, g.plot.left + 34.0 * years / row.step);
        EXPECT_EQ(g.text("Label19(10)")->text, str_form(row.person + 10 * row.step));
    }
}

// "Check by simulation" on a household: the household's own simulation
// (two deaths per path) on the worker with its progress, every grid cell and
// both parts of the split lifetime ruin shown with their standard errors,
// the same as a direct run of the same seed and paths; the two parts add up
// to the simulated lifetime column.
TEST(HouseholdResults, CheckBySimulationShowsTheSplitLifetimeRuin) {
    ensure_application();
    const DefaultCalculation& d = household_calculation();
    ASSERT_EQ(d.outcome, CalculationOutcome::completed);
    RecordingPlatform platform;
    OutPut screen(d.state, d.results, platform, "800,000");
    constexpr long kPaths = 4096;
    screen.set_simulation_paths(kPaths);
    screen.findChild<QPushButton*>("check_by_simulation")->click();
    EXPECT_TRUE(screen.simulation_running());
    ASSERT_EQ(platform.progress_titles.size(), 1);
    EXPECT_TRUE(platform.progress_titles[0].startsWith("Check by simulation|Simulating 4,096"));
    wait_for_simulation(screen);
    ASSERT_FALSE(screen.simulation_running());
    EXPECT_TRUE(platform.messages.empty());

    MonteCarloOptions options;
    options.paths = kPaths;
    options.seed = kCheckSeed;
    const HouseholdSimulationResults direct = run_household_monte_carlo(d.state, options);
    const auto text = [&screen](const QString& name) {
        const QLabel* l = screen.findChild<QLabel*>("simulated_" + name);
        EXPECT_NE(l, nullptr) << name.toStdString();
        return l && !l->isHidden() ? l->text() : QString();
    };
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(text(ruin_cell_names()[r][c]),
                      simulated_probability_text(direct.figures.ruin[r][c]));
        const McEstimate &both = direct.lifetime_ruin_both[r],
                         &survivor = direct.lifetime_ruin_survivor[r];
        EXPECT_EQ(text(QString("lifetime_both(%1)").arg(r)), simulated_probability_text(both));
        EXPECT_EQ(text(QString("lifetime_survivor(%1)").arg(r)),
                  simulated_probability_text(survivor));
        EXPECT_GT(both.standard_error, 0) << r;
        EXPECT_NEAR(both.value + survivor.value, direct.figures.ruin[r][3].value, 1e-12) << r;
    }
}

// "What if" on a household opens the window on the household's inputs: its
// solve is the core's household solve.
TEST(HouseholdResults, WhatIfSolvesForTheHousehold) {
    ensure_application();
    const DefaultCalculation& d = household_calculation();
    RecordingPlatform platform;
    OutPut screen(d.state, d.results, platform, "800,000");
    screen.findChild<QPushButton*>("what_if")->click();
    EXPECT_TRUE(platform.messages.empty());
    WhatIfWindow* window = screen.what_if_window();
    ASSERT_NE(window, nullptr);
    window->findChild<QDoubleSpinBox*>("target_probability")->setValue(10);
    window->findChild<QPushButton*>("solve")->click();
    QElapsedTimer clock;
    clock.start();
    while (window->busy() && clock.elapsed() < 300000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(window->solution().has_value());
    const SpendingSolution direct = solve_sustainable_spending(d.state, SolveFor::income, 0.10);
    ASSERT_TRUE(direct.found) << direct.message;
    EXPECT_EQ(window->solution()->value, direct.value);
    EXPECT_NEAR(window->solution()->lifetime_ruin, 0.10, kSolveProbabilityTolerance);
    EXPECT_TRUE(platform.messages.empty());
}

// Compare on a household: the single person's case (refined, as the figures
// on screen) and another household side by side, the household rows with the
// on-screen figures and "-" in the single person's column. And a single
// person's standard figures compared with a household's file: the household
// is calculated refined, and the window says the schemes differ.
TEST(HouseholdResults, CompareShowsTheHouseholdRows) {
    ensure_application();
    const DefaultCalculation& d = household_calculation();
    RecordingPlatform platform;
    OutPut screen(d.state, d.results, platform, "800,000");
    screen.set_case_reader([](const QString& path, AnalysisState& other) {
        if (path.endsWith("older couple.json"))
            write_input(other, input_row("spouse_age"), {.index = 70 - 50 + 1});
        return std::string();
    });
    platform.next_open_names = {"/cases/single.json", "/cases/older couple.json"};
    screen.findChild<QPushButton*>("compare_cases")->click();
    QElapsedTimer clock;
    clock.start();
    while (screen.comparison_running() && clock.elapsed() < 300000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(platform.messages.empty())
        << platform.messages[0].text.toStdString();
    auto* window = qobject_cast<CompareWindow*>(screen.compare_window());
    ASSERT_NE(window, nullptr);
    const CaseComparison& c = window->comparison();
    EXPECT_EQ(c.accuracy, "refined");
    const auto row = [&c](const std::string& caption) -> const ComparisonRow* {
        for (const ComparisonRow& r : c.rows)
            if (r.caption == caption) return &r;
        return nullptr;
    };
    const HouseholdFigures& h = d.results.household;
    const ComparisonRow* both = row("Lifetime ruin while both were alive, 0% of initial NIW");
    ASSERT_NE(both, nullptr);
    EXPECT_EQ(both->section, kHouseholdSection);
    ASSERT_EQ(both->values.size(), 3u);
    EXPECT_EQ(both->values[0], format_percent2(h.lifetime_ruin_both[0]));
    EXPECT_EQ(both->values[1], kNotApplicable);
    EXPECT_NE(both->values[2], kNotApplicable);
    EXPECT_TRUE(both->differences[1].empty());
    const ComparisonRow* last = row("Your age at the last death, expected");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->values[0], fixed_text(h.expected_last_death_age, 1));
    // The spouse's age differs: the single person has none.
    const ComparisonRow* spouse = row("Spouse: Spouse's Age");
    ASSERT_NE(spouse, nullptr);
    EXPECT_EQ(spouse->values[1], kNotApplicable);
    EXPECT_EQ(spouse->values[2], "70");
    // A household has no expected ruin age; the single person has one.
    const ComparisonRow* ruin_age = row("Expected Ruin Age");
    ASSERT_NE(ruin_age, nullptr);
    EXPECT_EQ(ruin_age->values[0], kNotApplicable);
    EXPECT_NE(ruin_age->values[1], kNotApplicable);

    const DefaultCalculation& single = default_calculation();
    RecordingPlatform other_platform;
    OutPut standard(single.state, single.results, other_platform, "800,000");
    standard.set_case_reader([](const QString&, AnalysisState& other) {
        write_input(other, input_row("spouse_age"), {.index = 62 - 50 + 1});
        return std::string();
    });
    other_platform.next_open_names = {"/cases/couple.json"};
    standard.findChild<QPushButton*>("compare_cases")->click();
    clock.restart();
    while (standard.comparison_running() && clock.elapsed() < 300000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(other_platform.messages.empty())
        << other_platform.messages[0].text.toStdString();
    auto* mixed = qobject_cast<CompareWindow*>(standard.compare_window());
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(mixed->comparison().accuracy, "mixed");
    const ComparisonRow* split = nullptr;
    for (const ComparisonRow& r : mixed->comparison().rows)
        if (r.caption == "Lifetime ruin while a survivor lived, 0% of initial NIW") split = &r;
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(split->values[0], kNotApplicable);
    EXPECT_EQ(split->values[1], format_percent2(h.lifetime_ruin_survivor[0]));
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
