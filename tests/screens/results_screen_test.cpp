// The results screen with a hand-made results record: every field, the tabs,
// Return and window close, printing, the charts on screen and saving.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <memory>

#include "results_app.h"
#include "screens/recording_platform.h"
#include "report/chart_geometry.h"
#include "screens/results/chart_view.h"
#include "screens/results/out_put.h"
#include "screen_helpers.h"

namespace quorrel {
namespace {

using testing::RecordingPlatform;

// A caption as shown: the mnemonic marker is not part of it.
using testing::shown_caption;

ResultsRecord sample_results() {
    ResultsRecord r;
    int k = 0;
    for (const auto& row : ruin_cell_names())
        for (const char* name : row) r.cells[name] = std::to_string(10 + k++) + ".5%";
    for (const auto& row : estate_cell_names())
        for (const char* name : row) r.cells[name] = std::to_string(k++) + ".25";
    r.expected_ruin_age = 88.4;
    for (int t = 0; t <= 45; ++t) r.survival_curve.push_back(1.0 - t / 45.0);
    r.ninetieth_percentile_index = 27;
    for (int i = 0; i < 20; ++i) r.expected_income[i] = 1.0 - 0.02 * i;
    return r;
}

AnalysisState sample_state() {
    AnalysisState s;
    s.current_age = 65;
    s.survival_years = 45;
    s.gender_text = "Female";
    s.expected_death_age = 86.0;
    s.net_investable_wealth = 1234567.5;
    s.consumption_deficit = 41999.5;
    s.target_income = 60000;
    s.expected_ruin_age = 88.4;
    s.later_allocation_years = 10;
    return s;
}

class ResultsScreenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::ensure_application(); }
    void SetUp() override {
        state = sample_state();
        results = sample_results();
        screen = std::make_unique<OutPut>(state, results, platform, "1,500,000");
    }

    QString field(const char* name) const {
        if (auto* box = screen->findChild<QLineEdit*>(name)) return box->text();
        if (auto* label = screen->findChild<QLabel*>(name)) return label->text();
        ADD_FAILURE() << "no field " << name;
        return {};
    }
    QPushButton* command(const char* name) const {
        auto* b = screen->findChild<QPushButton*>(name);
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    bool frame_visible(int i) const {
        return !screen->findChild<QFrame*>(QString("Frame1(%1)").arg(i))->isHidden();
    }

    AnalysisState state;
    ResultsRecord results;
    RecordingPlatform platform;
    std::unique_ptr<OutPut> screen;
};

TEST_F(ResultsScreenTest, CaptionTabsAndButtons) {
    EXPECT_EQ(screen->windowTitle(), "Quorrel - Results and Analysis");
    screen->set_case_name("Smith");
    EXPECT_EQ(screen->windowTitle(), "Quorrel - Smith - Results and Analysis");
    auto* tabs = screen->findChild<QTabBar*>("TabStrip1");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 5);
    EXPECT_EQ(shown_caption(tabs->tabText(0)), "Probability Results");
    EXPECT_EQ(shown_caption(tabs->tabText(1)), "Projected Wealth ");
    EXPECT_EQ(shown_caption(tabs->tabText(2)), "Projected Consumption");
    EXPECT_EQ(shown_caption(tabs->tabText(3)), "Mortality Parameters");
    EXPECT_EQ(shown_caption(tabs->tabText(4)), "Spending");
    EXPECT_EQ(shown_caption(command("Command3")->text()), "Save Results");
    EXPECT_EQ(shown_caption(command("Command1")->text()), "Return");
    for (const char* name : {"Command5", "Command7", "Command2", "Command8"})
        EXPECT_EQ(shown_caption(command(name)->text()), "Print Screen");
    EXPECT_EQ(shown_caption(command("Command6")->text()), "Graph");
    EXPECT_EQ(shown_caption(command("Command4")->text()), "Graph");
    // Each tab's buttons sit on its own frame.
    EXPECT_TRUE(screen->findChild<QFrame*>("Frame1(3)")->isAncestorOf(command("Command6")));
    EXPECT_TRUE(screen->findChild<QFrame*>("Frame1(4)")->isAncestorOf(command("Command8")));
}

TEST_F(ResultsScreenTest, EveryCellShowsTheRecord) {
    for (const auto& [name, text] : results.cells)
        EXPECT_EQ(field(name.c_str()).toStdString(), text) << name;
    EXPECT_EQ(field("Text42"), " 65");
    EXPECT_EQ(field("Text43"), "87");  // Int(86.0) + 1
    EXPECT_EQ(field("Text44(0)"), "92");
    EXPECT_EQ(field("Text44(1)"), "Female");
    EXPECT_EQ(field("Text1"), "1,234,568");
    EXPECT_EQ(field("Label9"), "1,234,568");
    EXPECT_EQ(field("Text45"), "42,000");
    EXPECT_EQ(field("Label15"), "60,000");
    EXPECT_EQ(screen->findChild<QLabel*>("Label9")->toolTip(), "Net Investable Wealth");
    EXPECT_EQ(screen->findChild<QLabel*>("Label15")->toolTip(), "Real Target Income");
    EXPECT_EQ(field("Label12"), "Expected Ruin Age is 89");
    EXPECT_EQ(field("Label19(2)"), " 75");
    EXPECT_EQ(field("Label14(2)"), " 75");
    EXPECT_EQ(field("Label10(1)"), "1.00");
}

TEST_F(ResultsScreenTest, CaptionsOfTheGrids) {
    const std::pair<const char*, const char*> captions[] = {
        {"Label1", "Your Net Investable Wealth (NIW) is :"},
        {"Label36", "Your Net Consumption Deficit is:"},
        {"Label2", "Probability"},
        {"Label3", "NIW hits"},
        {"Label4", "10 Years"},
        {"Label7", "Lifetime"},
        {"Label25", "0% of initial NIW"},
        {"Label28", "50 % of initial NIW"},
        {"Label47", "Bad (25%)"},
        {"Label49", "Good (75%)"},
        {"Label46", "30 years:"},
        {"Label8(0)", "X "},
        {"Label13", "Expected Income Conditional on Survival "},
        {"Label33", "Current Age:"},
        {"Label35", "90th Percentile:"},
        {"Label22", "The probability of Survival"},
        {"Label16", "X"}};
    for (const auto& [name, text] : captions) EXPECT_EQ(field(name), text) << name;
}

TEST_F(ResultsScreenTest, ExplanationsBeginAndEndAsWritten) {
    const auto text = [&](const char* name) {
        auto* box = screen->findChild<QPlainTextEdit*>(name);
        EXPECT_NE(box, nullptr) << name;
        EXPECT_TRUE(box->isReadOnly());
        return box ? box->toPlainText() : QString();
    };
    EXPECT_TRUE(text("Text20").startsWith(
        "    What is the probability that your net investable wealth (NIW) -- from which you "
        "are financing "));
    EXPECT_TRUE(
        text("Text20").endsWith("A large number indicates a low probability that your consumption "
                                "strategy is sustainable."));
    EXPECT_TRUE(
        text("Text24").startsWith(" The above table provides a statistical range for the net "
                                  "investable wealth (NIW) process"));
    EXPECT_EQ(text("Text8"),
              "The above graph displays the amount of income you can expect to be receiving at "
              "various points - specified as a multiple of your consumption target -- assuming "
              "you survive to the given age.");
    EXPECT_EQ(
        text("Text25"),
        " The above graph displays the probability of surviving to any given age based on "
        "the mortality table selected, as well as the age at which ruin is expected to occur.");
}

TEST_F(ResultsScreenTest, TabsShowTheirFrame) {
    EXPECT_TRUE(frame_visible(1));
    EXPECT_FALSE(frame_visible(2));
    EXPECT_FALSE(frame_visible(3));
    EXPECT_FALSE(frame_visible(4));
    auto* tabs = screen->findChild<QTabBar*>("TabStrip1");
    tabs->setCurrentIndex(3);
    EXPECT_FALSE(frame_visible(1));
    EXPECT_TRUE(frame_visible(4));
    tabs->setCurrentIndex(3);  // the current tab again: nothing changes
    EXPECT_TRUE(frame_visible(4));
    tabs->setCurrentIndex(1);
    EXPECT_TRUE(frame_visible(2));
    EXPECT_FALSE(frame_visible(4));
    EXPECT_FALSE(frame_visible(3));
}

TEST_F(ResultsScreenTest, ReturnAndWindowCloseEachReportOnce) {
    int returns = 0;
    QObject::connect(screen.get(), &OutPut::returned, [&] { ++returns; });
    screen->show();
    command("Command1")->click();
    EXPECT_EQ(returns, 1);
    EXPECT_FALSE(screen->isVisible());
    screen->close();  // the owner closing it afterwards is not a second return
    EXPECT_EQ(returns, 1);

    OutPut other(state, results, platform, "1,500,000");
    int closed = 0;
    QObject::connect(&other, &OutPut::returned, [&] { ++closed; });
    other.show();
    EXPECT_TRUE(other.close());
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(other.isVisible());
}

TEST_F(ResultsScreenTest, PrintScreenOnEveryTab) {
    screen->show();
    platform.printer_available = true;
    for (const char* name : {"Command5", "Command7", "Command2", "Command8"})
        command(name)->click();
    ASSERT_EQ(platform.printed.size(), 4u);
    for (QWidget* w : platform.printed) EXPECT_EQ(w, screen.get());
    EXPECT_TRUE(platform.messages.empty());

    platform.printer_available = false;
    command("Command8")->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "Results and Analysis");
    EXPECT_EQ(platform.messages[0].text, "This screen can't be printed. Please check the Printer.");
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::critical);
    // Still usable: the chart is intact and the next print goes out.
    EXPECT_EQ(screen->findChild<ChartView*>("Picture1")->chart().curve.points.size(), 46u);
    platform.printer_available = true;
    command("Command5")->click();
    EXPECT_EQ(platform.printed.size(), 6u);
    EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(ResultsScreenTest, ChartsArePaintedOnLightYellow) {
    screen->resize(760, 640);
    screen->findChild<QTabBar*>("TabStrip1")->setCurrentIndex(3);
    screen->show();
    auto* picture = screen->findChild<ChartView*>("Picture1");
    const QImage before = picture->grab().toImage();
    int red = 0, blue = 0, yellow = 0;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x) {
            const QColor c = before.pixelColor(x, y);
            if (c == QColor(255, 0, 0)) ++red;
            if (c == QColor(0, 0, 255)) ++blue;
            if (c == chart_background()) ++yellow;
        }
    EXPECT_GT(red, 100);
    EXPECT_GT(blue, 50);
    EXPECT_GT(yellow, before.width() * before.height() / 2);

    // "Graph" repaints the same picture.
    command("Command4")->click();
    EXPECT_EQ(picture->grab().toImage(), before);
    auto* income = screen->findChild<ChartView*>("Picture2");
    const auto points = income->chart().curve.points.size();
    command("Command6")->click();
    EXPECT_EQ(income->chart().curve.points.size(), points);
}

TEST_F(ResultsScreenTest, ChartCaptionsFollowTheScaledCanvas) {
    ChartView view;
    AnalysisState person = sample_state();
    view.set_geometry(survival_chart(person, results));
    // Twice the logical canvas, and a wider widget: the picture stays centred.
    view.resize(906 + 100, 490);
    view.show();
    const auto* age_caption = view.findChild<QLabel*>("Label19(1)");
    ASSERT_NE(age_caption, nullptr);
    EXPECT_EQ(age_caption->text(), " 70");
    EXPECT_EQ(age_caption->pos(), QPoint(50 + 2 * 66, 2 * 228));
    EXPECT_EQ(view.heightForWidth(906), 490);
    // Without a marker the caption is hidden but keeps its text.
    person.expected_ruin_age = results.expected_ruin_age = 110;
    view.set_geometry(survival_chart(person, results));
    const auto* ruin = view.findChild<QLabel*>("Label12");
    EXPECT_TRUE(ruin->isHidden());
    EXPECT_EQ(ruin->text(), "Expected Ruin Age is 111");
}

class ResultsSaveTest : public ResultsScreenTest {
protected:
    QStringList read_lines(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        QStringList lines = QString::fromUtf8(file.readAll()).split("\r\n");
        if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
        return lines;
    }
    QTemporaryDir dir;
};

TEST_F(ResultsSaveTest, CancelledDialogSavesNothingAndSaysNothing) {
    platform.next_file_name.clear();
    command("Command3")->click();
    ASSERT_EQ(platform.dialog_requests.size(), 1);
    // The appending dialog, a name proposed from the (unsaved) case and the day.
    EXPECT_EQ(
        platform.dialog_requests[0],
        "Quorrel report " + QDate::currentDate().toString("yyyy-MM-dd") + ".txt|text file (*.txt)");
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(ResultsSaveTest, TwoSavesToOneNameGiveTwoReports) {
    platform.next_file_name = dir.filePath("case");
    command("Command3")->click();
    command("Command3")->click();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(QFile::exists(dir.filePath("case.txt")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    const QStringList lines = read_lines(dir.filePath("case.txt"));
    ASSERT_EQ(lines.size(), 116);
    for (int start : {0, 58}) {
        EXPECT_EQ(lines[start], "\"Retirement Ruin and Quorrel\"");
        EXPECT_EQ(lines[start + 7], "\"Current Age :  65\"");
        EXPECT_EQ(lines[start + 23], "\"Liquid Retirement Wealth :  $1,500,000\"");
        EXPECT_EQ(lines[start + 43], "\"Ruin Probability in 10 years :  10.5%\"");
        EXPECT_EQ(lines[start + 57].trimmed(), "");
    }
}

TEST_F(ResultsSaveTest, NameEndingInTxtKeepsIt) {
    platform.next_file_name = dir.filePath("plan.TXT");
    command("Command3")->click();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"plan.TXT"});
    EXPECT_EQ(read_lines(dir.filePath("plan.TXT")).size(), 58);
}

TEST_F(ResultsSaveTest, UnwritablePlacesAreReported) {
    // A folder that does not exist, a name that is a folder, and a read-only
    // file system.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.txt"));
    const QString names[] = {dir.filePath("missing/case"), dir.filePath("taken"),
                             "/proc/quorrel-report"};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        platform.messages.clear();
        platform.next_file_name = name;
        command("Command3")->click();
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].title, "Results and Analysis");
        EXPECT_EQ(platform.messages[0].icon, MessageIcon::critical);
        EXPECT_TRUE(platform.messages[0].text.contains(name + ".txt"));
        EXPECT_FALSE(platform.messages[0].text.contains("Failed to Save the Results!!!"));
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("missing")));
    // The screen still saves afterwards.
    platform.messages.clear();
    platform.next_file_name = dir.filePath("after");
    command("Command3")->click();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(read_lines(dir.filePath("after.txt")).size(), 58);
}

// A save is confirmed in the status line under the buttons, naming the file
// and whether the report went to the end of an existing one; a failed or
// cancelled save leaves the line empty.
struct SaveOutcome {
    const char* chosen;    // in the temporary folder; "" cancels
    bool file_there;       // the report file exists before the save
    const char* expected;  // status line, %1 the report file; "" none
};

class ResultsSaveStatusTest : public ResultsSaveTest,
                              public ::testing::WithParamInterface<SaveOutcome> {};

TEST_P(ResultsSaveStatusTest, StatusLineNamesTheFile) {
    const SaveOutcome& c = GetParam();
    auto* status = screen->findChild<QLabel*>("save_status");
    ASSERT_NE(status, nullptr);
    // A successful save before, so that the line has something to lose.
    platform.next_file_name = dir.filePath("before");
    command("Command3")->click();
    ASSERT_FALSE(status->text().isEmpty());

    const QString file = dir.filePath(QString(c.chosen) + ".txt");
    if (c.file_there) {
        QFile existing(file);
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    }
    platform.next_file_name = *c.chosen ? dir.filePath(c.chosen) : QString();
    command("Command3")->click();
    EXPECT_EQ(status->text(), *c.expected ? QString(c.expected).arg(file) : QString());
}

INSTANTIATE_TEST_SUITE_P(
    Saves, ResultsSaveStatusTest,
    ::testing::Values(SaveOutcome{"fresh", false, "The report was saved in %1"},
                      SaveOutcome{"kept", true, "The report was added to the end of %1"},
                      SaveOutcome{"", false, ""}, SaveOutcome{"no folder/case", false, ""}));

}  // namespace
}  // namespace quorrel
