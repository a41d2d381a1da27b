// Case files on the input screen: save and open round trips with the command
// line's files, refusals that change nothing, the Save / Discard / Cancel
// question before inputs are lost, and a save that fails part-way.
#include <sys/resource.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QRadioButton>
#include <fstream>
#include <sstream>

#include "analysis/case_file.h"
#include "analysis/input_catalogue.h"
#include "record/number_format.h"
#include "analysis/report.h"
#include "screens/input_fixture.h"
#include "screens/results/out_put.h"

namespace quorrel::testing {
namespace {

// Every field an input writes, by the catalogue, and the Go step's figures.
void expect_same_record(const AnalysisState& a, const AnalysisState& b) {
    for (const InputRow& row : input_catalogue()) {
        if (row.number != nullptr) {
            EXPECT_EQ(a.*row.number, b.*row.number) << row.key;
        }
        if (row.copy != nullptr) {
            EXPECT_EQ(a.*row.copy, b.*row.copy) << row.key;
        }
        if (row.code != nullptr) {
            EXPECT_EQ(a.*row.code, b.*row.code) << row.key;
        }
        if (row.text != nullptr) {
            EXPECT_EQ(a.*row.text, b.*row.text) << row.key;
        }
    }
    EXPECT_EQ(a.cola_rate_mirror, b.cola_rate_mirror);
    EXPECT_EQ(a.air_rate_mirror, b.air_rate_mirror);
    EXPECT_EQ(a.acquired_nominal_income, b.acquired_nominal_income);
    EXPECT_EQ(a.acquired_cpi_income, b.acquired_cpi_income);
    EXPECT_EQ(a.acquired_variable_income, b.acquired_variable_income);
    EXPECT_EQ(a.consumption_deficit, b.consumption_deficit);
    EXPECT_EQ(a.net_investable_wealth, b.net_investable_wealth);
}

std::string file_text(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_text(const QString& path, const std::string& text) {
    std::ofstream(path.toStdString(), std::ios::binary) << text;
}

class CaseFileTest : public InputScreenTest {
protected:
    void SetUp() override {
        InputScreenTest::SetUp();
        QSettings("Quorrel", "Quorrel").remove("recent_cases");
        ASSERT_TRUE(folder.isValid());
    }
    QString path(const char* name) const { return QDir(folder.path()).filePath(name); }
    QAction* action(const char* name) { return child<QAction>(name); }

    // Inputs away from the defaults on every page, an amount with a fraction,
    // Canada with an assumption of the user's own.
    void choose_a_case() {
        child<QRadioButton>("prob_rp2000")->setChecked(true);
        child<QRadioButton>("annu_iam2000")->setChecked(true);
        select("prob_proj_num", "12");
        select("Combo4(2)", "4.30%");
        select("Combo4(9)", "1.70%");
        tabs()->setCurrentIndex(2);
        ASSERT_TRUE(activate(screen.get()));
        select("ind_current_age", "72");
        select("ind_sex", "Female");
        select("Combo1(1)", "3%");
        select("Combo2(0)", "6%");
        type_and_leave("Text11", "654,321.75", box("Text1"));
        type_and_leave("Text1", "5000", box("Text3"));
        type_and_leave("Text5", "100000", box("Text3"));
        select("Combo5", "Canada");
        select("stock_mean", "5.50%");
        select("advisory_fee", "0.75%");
        select("Combo3", "15");
        select("Combo6(0)", "40%");
        select("Combo6(3)", "0%");
        ASSERT_TRUE(platform.messages.empty());
        button("Command6")->click();
    }

    QTemporaryDir folder;
};

TEST_F(CaseFileTest, SavedCaseOpensInAFreshScreenWithTheSameRecord) {
    choose_a_case();
    EXPECT_TRUE(screen->inputs_modified());
    platform.next_file_name = path("client.json");
    action("mnuSaveAs")->trigger();
    ASSERT_TRUE(platform.messages.empty());
    EXPECT_EQ(screen->case_path(), path("client.json"));
    EXPECT_FALSE(screen->inputs_modified());
    EXPECT_FALSE(screen->isWindowModified());
    EXPECT_EQ(screen->windowTitle(), "Quorrel - client[*] - Input Individual Information");

    // The command line's reader takes the file and finds the record's inputs.
    const CaseReadResult read = read_case_file(path("client.json").toStdString());
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.values, case_values(state).values);
    EXPECT_EQ(read.name, "client");

    AnalysisState fresh;
    InPut other(fresh, platform);
    platform.next_open_names = {path("client.json")};
    other.findChild<QAction*>("mnuOpen")->trigger();
    ASSERT_TRUE(platform.messages.empty());
    expect_same_record(fresh, state);
    EXPECT_FALSE(other.inputs_modified());
    for (const char* name : {"Text11", "Text1", "Text5", "Text9", "ind_invest_wealth", "Text6"})
        EXPECT_EQ(other.findChild<QLineEdit*>(name)->text(), box(name)->text()) << name;
    for (const char* name :
         {"stock_mean", "stock_dev", "Combo5", "Combo1(0)", "Combo6(3)", "advisory_fee"})
        EXPECT_EQ(other.findChild<QComboBox*>(name)->currentIndex(), list(name)->currentIndex())
            << name;
    EXPECT_EQ(InPut::recent_cases().value(0), path("client.json"));
}

TEST_F(CaseFileTest, CommandLineCaseOpensAsItsRecord) {
    // What `quorrel-cli --save-case` writes: the core's writer over a record.
    AnalysisState cli;
    InputValues values = default_input_values();
    values[input_index("current_age")].index = 80 - 50;
    values[input_index("market")].index = 1;
    values[input_index("dev_estate_percent")].index = 150;
    values[input_index("target_income")].amount = 52500.5;
    values[input_index("purchase_cpi")].amount = 70000;
    values[input_index("advisory_fee_percent")].index = 30;
    write_inputs(cli, values);
    ASSERT_EQ(write_case_file(path("cli.json").toStdString(), cli), "");

    ASSERT_TRUE(screen->open_case(path("cli.json")));
    ASSERT_TRUE(platform.messages.empty());
    EXPECT_EQ(case_values(state).values, values);
    for (const InputRow& row : input_catalogue()) {
        if (row.number != nullptr) {
            EXPECT_EQ(state.*row.number, cli.*row.number) << row.key;
        }
        if (row.code != nullptr) {
            EXPECT_EQ(state.*row.code, cli.*row.code) << row.key;
        }
    }
    EXPECT_EQ(list("estate_dev")->currentText(), "15.00%");
    EXPECT_EQ(list("advisory_fee")->currentText(), "1.50%");
    EXPECT_EQ(box("Text10")->text(), "52,501");
    EXPECT_EQ(screen->windowTitle(), "Quorrel - cli[*] - Input Individual Information");
    // The Go step ran on the case's inputs.
    EXPECT_EQ(box("ind_invest_wealth")->text(),
              QString::fromStdString(format_grouped0(state.net_investable_wealth)));
    EXPECT_EQ(state.liquid_wealth - state.purchase_cpi, state.net_investable_wealth);
}

struct BadFile {
    const char* name;
    const char* text;     // nullptr: the file does not exist
    const char* message;  // a part of the one message
};

class BadFileTest : public CaseFileTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadFileTest, RefusedFileChangesNothing) {
    const BadFile& c = GetParam();
    choose_a_case();
    platform.next_file_name = path("good.json");
    action("mnuSaveAs")->trigger();
    select("ind_current_age", "75");  // a change not yet saved
    const AnalysisState before = state;
    const QString title = screen->windowTitle();
    const QString shown = box("Text11")->text();
    const QString bad = path("bad.json");
    if (c.text != nullptr) write_text(bad, c.text);

    platform.next_save_choice = SaveChoice::discard;
    platform.next_open_names = {bad};
    action("mnuOpen")->trigger();

    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.messages[0].text.contains(c.message))
        << platform.messages[0].text.toStdString();
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::critical);
    EXPECT_EQ(platform.messages[0].title, "Input Individual Information");
    expect_same_record(state, before);
    EXPECT_EQ(state.current_age, 75);
    EXPECT_EQ(screen->case_path(), path("good.json"));
    EXPECT_TRUE(screen->inputs_modified());
    EXPECT_EQ(screen->windowTitle(), title);
    EXPECT_EQ(box("Text11")->text(), shown);
}

// The default case's text with the value of `key` replaced (nullptr: the
// key's line left out).
std::string with_value(const std::string& key, const char* value) {
    std::string text = case_text(default_input_values());
    const std::size_t at = text.find("\"" + key + "\": ");
    const std::size_t end = text.find_first_of(",\n", at);
    if (value == nullptr)
        text.erase(text.rfind('\n', at) + 1, text.find('\n', at) - text.rfind('\n', at));
    else
        text.replace(at, end - at, "\"" + key + "\": " + value);
    return text;
}

const std::string kNotCase = with_value("format", "\"spreadsheet\"");
const std::string kNewer = with_value("version", "2");
const std::string kUnknown = with_value("current_age", "65, \"shoe_size\": 9");
const std::string kOffList = with_value("mean_stock_percent", "7.05");

INSTANTIATE_TEST_SUITE_P(Files, BadFileTest,
                         ::testing::Values(BadFile{"not_json", "{ \"format\": ", "not JSON"},
                                           BadFile{"not_a_case", kNotCase.c_str(), "format"},
                                           BadFile{"newer_version", kNewer.c_str(), "version"},
                                           BadFile{"unknown_key", kUnknown.c_str(), "shoe_size"},
                                           BadFile{"value_off_its_list", kOffList.c_str(),
                                                   "mean_stock_percent"},
                                           BadFile{"no_such_file", nullptr, "cannot be read"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Leaving unsaved changes ------------------------------------------------

enum class Leave { exit_button, close_window, new_case, open_case };

struct LeaveCase {
    const char* name;
    Leave leave;
    SaveChoice choice;
    bool left;   // the step was taken
    bool saved;  // the changes reached the file
};

class LeaveTest : public CaseFileTest, public ::testing::WithParamInterface<LeaveCase> {};

TEST_P(LeaveTest, UnsavedChangesAreSavedDroppedOrKept) {
    const LeaveCase& c = GetParam();
    bool exited = false;
    QObject::connect(screen.get(), &InPut::exit_requested, [&] { exited = true; });
    ASSERT_TRUE(activate(screen.get()));
    AnalysisState other_state;
    write_inputs(other_state, default_input_values());
    other_state.current_age = 88;
    ASSERT_EQ(write_case_file(path("other.json").toStdString(), other_state), "");
    platform.next_file_name = path("mine.json");
    action("mnuSaveAs")->trigger();
    select("ind_current_age", "70");
    ASSERT_TRUE(screen->inputs_modified());
    EXPECT_TRUE(screen->isWindowModified());

    platform.next_save_choice = c.choice;
    platform.next_open_names = {path("other.json")};
    switch (c.leave) {
        case Leave::exit_button: button("Command2")->click(); break;
        case Leave::close_window: screen->close(); break;
        case Leave::new_case: action("mnuNew")->trigger(); break;
        case Leave::open_case: action("mnuOpen")->trigger(); break;
    }

    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_TRUE(platform.questions[0].text.contains("\"mine\""))
        << platform.questions[0].text.toStdString();
    EXPECT_TRUE(platform.messages.empty());
    const CaseReadResult file = read_case_file(path("mine.json").toStdString());
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file.values[input_index("current_age")].index, c.saved ? 70 - 50 : 65 - 50);
    const double age_after = c.leave == Leave::new_case    ? 65
                             : c.leave == Leave::open_case ? 88
                                                           : 70;
    if (c.leave == Leave::exit_button || c.leave == Leave::close_window) {
        EXPECT_EQ(exited, c.left);
        EXPECT_EQ(screen->isVisible(), !c.left);
    } else {
        EXPECT_EQ(state.current_age, c.left ? age_after : 70);
    }
    if (!c.left) {
        EXPECT_TRUE(screen->inputs_modified());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, LeaveTest,
    ::testing::Values(
        LeaveCase{"exit_save", Leave::exit_button, SaveChoice::save, true, true},
        LeaveCase{"exit_discard", Leave::exit_button, SaveChoice::discard, true, false},
        LeaveCase{"exit_cancel", Leave::exit_button, SaveChoice::cancel, false, false},
        LeaveCase{"close_save", Leave::close_window, SaveChoice::save, true, true},
        LeaveCase{"close_discard", Leave::close_window, SaveChoice::discard, true, false},
        LeaveCase{"close_cancel", Leave::close_window, SaveChoice::cancel, false, false},
        LeaveCase{"new_save", Leave::new_case, SaveChoice::save, true, true},
        LeaveCase{"new_discard", Leave::new_case, SaveChoice::discard, true, false},
        LeaveCase{"new_cancel", Leave::new_case, SaveChoice::cancel, false, false},
        LeaveCase{"open_save", Leave::open_case, SaveChoice::save, true, true},
        LeaveCase{"open_discard", Leave::open_case, SaveChoice::discard, true, false},
        LeaveCase{"open_cancel", Leave::open_case, SaveChoice::cancel, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CaseFileTest, NothingIsAskedWhileTheInputsAreAsSaved) {
    bool exited = false;
    QObject::connect(screen.get(), &InPut::exit_requested, [&] { exited = true; });
    EXPECT_FALSE(screen->inputs_modified());
    select("ind_current_age", "70");
    EXPECT_TRUE(screen->inputs_modified());
    EXPECT_EQ(screen->windowTitle(), "Quorrel - Input Individual Information[*]");
    select("ind_current_age", "65");  // back to what the case holds
    EXPECT_FALSE(screen->inputs_modified());
    EXPECT_EQ(screen->windowTitle(), "Quorrel - Input Individual Information");
    button("Command1")->click();  // a calculation changes no input
    ASSERT_NE(screen->results_screen(), nullptr);
    emit screen->results_screen()->returned();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(screen->inputs_modified());
    button("Command2")->click();
    EXPECT_TRUE(platform.questions.empty());
    EXPECT_TRUE(exited);
}

TEST_F(CaseFileTest, ResultsOfAnOpenedCaseCarryItsName) {
    AnalysisState a;
    write_inputs(a, default_input_values());
    ASSERT_EQ(write_case_file(path("Smith 2026.json").toStdString(), a), "");
    ASSERT_TRUE(screen->open_case(path("Smith 2026.json")));
    button("Command1")->click();
    ASSERT_NE(screen->results_screen(), nullptr);
    auto* export_pdf = screen->results_screen()->findChild<QPushButton*>("export_pdf");
    ASSERT_NE(export_pdf, nullptr);
    export_pdf->click();  // the dialog is cancelled
    ASSERT_FALSE(platform.dialog_requests.isEmpty());
    EXPECT_TRUE(platform.dialog_requests.last().startsWith(
        "Smith 2026 " + QDate::currentDate().toString("yyyy-MM-dd") + ".pdf|"))
        << platform.dialog_requests.last().toStdString();
}

TEST_F(CaseFileTest, RecentCasesOpenFromTheMenu) {
    AnalysisState a;
    write_inputs(a, default_input_values());
    for (const char* name : {"one.json", "two.json"}) {
        a.current_age += 1;
        ASSERT_EQ(write_case_file(path(name).toStdString(), a), "");
        ASSERT_TRUE(screen->open_case(path(name)));
    }
    EXPECT_EQ(InPut::recent_cases(), (QStringList{path("two.json"), path("one.json")}));
    child<QMenu>("mnuFile")->aboutToShow();
    QAction* first = action("mnuRecent(1)");
    EXPECT_EQ(first->text(), "&2 one.json");
    first->trigger();
    EXPECT_EQ(state.current_age, 66);
    EXPECT_EQ(screen->case_path(), path("one.json"));
    EXPECT_EQ(InPut::recent_cases().value(0), path("one.json"));

    // A case that has gone is said so, and leaves the list.
    QFile::remove(path("two.json"));
    child<QMenu>("mnuFile")->aboutToShow();
    action("mnuRecent(1)")->trigger();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(state.current_age, 66);
    EXPECT_EQ(InPut::recent_cases(), QStringList{path("one.json")});
}

TEST_F(CaseFileTest, SaveThatFailsPartWayKeepsTheOldFile) {
    platform.next_file_name = path("kept.json");
    action("mnuSaveAs")->trigger();
    const std::string old_text = file_text(path("kept.json"));
    ASSERT_FALSE(old_text.empty());
    select("ind_current_age", "81");

    // A file-size limit far below a case's length: the write stops part-way.
    ignore_file_size_signal();
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    action("mnuSave")->trigger();
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);

    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.messages[0].text.contains("kept as it was"));
    EXPECT_EQ(file_text(path("kept.json")), old_text);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files),
              QStringList{"kept.json"});  // no half file
    EXPECT_TRUE(screen->inputs_modified());
    action("mnuSave")->trigger();  // with room again
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_FALSE(screen->inputs_modified());
    EXPECT_EQ(
        read_case_file(path("kept.json").toStdString()).values[input_index("current_age")].index,
        81 - 50);
}

TEST_F(CaseFileTest, SavingChecksTheAmountBeingTyped) {
    tabs()->setCurrentIndex(2);
    ASSERT_TRUE(activate(screen.get()));
    box("Text10")->setFocus(Qt::MouseFocusReason);
    box("Text10")->setText("abc");  // typed, the box not yet left
    platform.next_file_name = path("typed.json");
    action("mnuSaveAs")->trigger();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "please input  a nonnegative number!!!!");
    EXPECT_FALSE(QFile::exists(path("typed.json")));
    box("Text10")->setText("61000");
    action("mnuSaveAs")->trigger();
    EXPECT_EQ(read_case_file(path("typed.json").toStdString())
                  .values[input_index("target_income")]
                  .amount,
              61000);
}

TEST_F(CaseFileTest, MenuCommandsCarryTheStandardShortcuts) {
    struct Row {
        const char* name;
        QKeySequence::StandardKey key;
        const char* where_the_desktop_has_none;
    };
    const Row rows[] = {{"mnuNew", QKeySequence::New, "Ctrl+N"},
                        {"mnuOpen", QKeySequence::Open, "Ctrl+O"},
                        {"mnuSave", QKeySequence::Save, "Ctrl+S"},
                        {"mnuSaveAs", QKeySequence::SaveAs, "Ctrl+Shift+S"},
                        {"mnuExit", QKeySequence::Quit, "Ctrl+Q"}};
    for (const Row& row : rows) {
        const QList<QKeySequence> desktop = QKeySequence::keyBindings(row.key);
        const QList<QKeySequence> expected =
            desktop.isEmpty() ? QList<QKeySequence>{QKeySequence(row.where_the_desktop_has_none)}
                              : desktop;
        EXPECT_EQ(action(row.name)->shortcuts(), expected) << row.name;
    }
    // The keys work from anywhere in the window, the menu closed.
    ASSERT_TRUE(activate(screen.get()));
    select("ind_current_age", "70");
    platform.next_save_choice = SaveChoice::cancel;
    QKeyEvent key(QEvent::KeyPress, Qt::Key_N, Qt::ControlModifier);
    QApplication::sendEvent(list("Combo4(0)"), &key);
    EXPECT_EQ(platform.questions.size(), 1u);  // New asked first
}

}  // namespace
}  // namespace quorrel::testing
