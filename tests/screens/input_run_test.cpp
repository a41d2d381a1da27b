// "Go", "Calculate", Print Screen, Help and Exit on the input screen.
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <limits>

#include "record/number_format.h"
#include "screens/front/help_screen.h"
#include "screens/input_fixture.h"
#include "screens/results/out_put.h"

namespace quorrel::testing {
namespace {

class CalculateTest : public InputScreenTest {
protected:
    // Commits an amount through the box's own handler.
    void enter(const QString& name, const QString& text) {
        box(name)->setText(text);
        const QString handler = "in_put_" + name + "_LostFocus";
        if (name == "Text10")
            screen->in_put_Text10_LostFocus();
        else if (name == "Text11")
            screen->in_put_Text11_LostFocus();
        else if (name == "Text5")
            screen->in_put_Text5_LostFocus();
        else
            FAIL() << handler.toStdString();
    }
    void expect_refused_with(const QString& text) {
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, text);
        EXPECT_EQ(platform.messages[0].title, "Input Individual Information");
        EXPECT_EQ(platform.messages[0].icon, MessageIcon::critical);
        EXPECT_EQ(screen->results_screen(), nullptr);
        EXPECT_TRUE(platform.busy_calls.empty());
        EXPECT_FALSE(screen->calculation_running());
        EXPECT_TRUE(screen->isVisible());
        EXPECT_TRUE(tabs()->isEnabled());
        EXPECT_TRUE(button("Command1")->isEnabled());
    }
    void SetUp() override {
        InputScreenTest::SetUp();
        screen->show();
    }
};

TEST_F(CalculateTest, RefusesAnIncompleteAllocation) {
    select("Combo6(0)", "30%");
    button("Command1")->click();
    expect_refused_with("ERROR: The assest allocation must sum to 100%, Please try again!!!");
}

TEST_F(CalculateTest, RefusesAZeroTargetIncome) {
    enter("Text10", "0");
    button("Command1")->click();
    expect_refused_with(
        "ERROR: Real target income should be greater than zero. Please try again!!!");
}

TEST_F(CalculateTest, RefusesANegativeNetInvestableWealth) {
    enter("Text5", "900,000");
    button("Command1")->click();
    expect_refused_with(
        "ERROR: Net investable wealth should be greater than zero. Please try again!!!");
    // The Go step of the calculation ran and shows its figures.
    EXPECT_EQ(box("ind_invest_wealth")->text(), "-100,000");
}

TEST_F(CalculateTest, RefusesAWealthOfSixtyYearsOfIncome) {
    enter("Text10", "10,000");
    button("Command1")->click();
    expect_refused_with(
        "ERROR: Ruin Probability is Zero...Please Reduce Initial Wealth or Increase Target "
        "Consumption!!!");
}

TEST_F(CalculateTest, GoFillsTheFiveShadedBoxes) {
    child<QRadioButton>("annu_iam2000")->setChecked(true);
    select("Combo2(0)", "4%");
    for (const char* name : {"Text5", "ind_annu_income", "Text2"}) box(name)->setText("100,000");
    button("Command6")->click();
    EXPECT_TRUE(platform.messages.empty());
    // About 8,904, 7,416 and 8,137 a year (100,000 over 11.2303, 13.4849, 12.2897).
    EXPECT_NEAR(state.acquired_nominal_income, 8904.5, 1);
    EXPECT_NEAR(state.acquired_cpi_income, 7415.7, 1);
    EXPECT_NEAR(state.acquired_variable_income, 8136.9, 1);
    const auto shown = [](double v) { return QString::fromStdString(format_grouped0(v)); };
    EXPECT_EQ(box("Text6")->text(), shown(state.acquired_nominal_income));
    EXPECT_EQ(box("Text7")->text(), "7,416");
    EXPECT_EQ(box("Text8")->text(), "8,137");
    EXPECT_EQ(box("Text9")->text(),
              QString::fromStdString(format_grouped0(state.consumption_deficit)));
    EXPECT_NEAR(state.consumption_deficit, 40000 - 8904.6 - 7415.7 - 8136.9, 2);
    EXPECT_EQ(box("ind_invest_wealth")->text(), "500,000");
    EXPECT_EQ(state.net_investable_wealth, 500000);
}

TEST_F(CalculateTest, FailedGoStepShowsItsWarningAndChangesNothing) {
    // A broken annuity table makes the pricing fail.
    state.gam1983_male_dispersion.fill(std::numeric_limits<double>::quiet_NaN());
    box("Text5")->setText("100,000");
    screen->in_put_Text5_LostFocus();
    const AnalysisState before = state;
    button("Command6")->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "VELD WARNING");
    EXPECT_EQ(platform.messages[0].text,
              "The variable does not make sense, please change some of them!");
    EXPECT_EQ(box("Text6")->text(), " ");
    EXPECT_EQ(box("ind_invest_wealth")->text(), "");
    EXPECT_EQ(state.implied_inflation, before.implied_inflation);
    EXPECT_EQ(state.annuity_modal_age, before.annuity_modal_age);
    EXPECT_EQ(state.net_investable_wealth, before.net_investable_wealth);

    // Inside a calculation the same failure ends it with the same message.
    platform.messages.clear();
    button("Command1")->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "VELD WARNING");
    EXPECT_EQ(screen->results_screen(), nullptr);
    EXPECT_TRUE(screen->isVisible());
    EXPECT_EQ(state.weight_sum, before.weight_sum);
    EXPECT_EQ(state.net_investable_wealth, before.net_investable_wealth);
    EXPECT_FALSE(screen->calculation_running());
    EXPECT_TRUE(tabs()->isEnabled());
}

TEST_F(CalculateTest, CompletedCalculationHandsOverToTheResultsScreen) {
    bool checked_during_run = false;
    int nested_attempts = 0;
    platform.on_process_events = [&] {
        if (checked_during_run) return;
        checked_during_run = true;
        // The window stays live but nothing can change the record.
        EXPECT_TRUE(screen->calculation_running());
        EXPECT_FALSE(tabs()->isEnabled());
        EXPECT_FALSE(button("Command1")->isEnabled());
        EXPECT_FALSE(button("Command2")->isEnabled());
        EXPECT_TRUE(child<QTimer>("Timer1")->isActive());
        EXPECT_FALSE(child<QWidget>("Picture1")->isHidden());
        EXPECT_FALSE(child<QWidget>("Picture2")->isHidden());
        // A second "Calculate" (even one that reaches the handler) starts nothing.
        ++nested_attempts;
        screen->in_put_Command1_Click();
        screen->in_put_Timer1_Timer();
    };
    const QString wealth_text = box("Text11")->text();
    QElapsedTimer clock;
    clock.start();
    button("Command1")->click();

    std::printf("calculation took %lld ms\n", static_cast<long long>(clock.elapsed()));
    EXPECT_TRUE(checked_during_run);
    EXPECT_EQ(nested_attempts, 1);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_GT(platform.pump_calls, 0);
    EXPECT_EQ(platform.busy_calls, (std::vector<bool>{true, false}));
    OutPut* results = screen->results_screen();
    ASSERT_NE(results, nullptr);
    EXPECT_TRUE(results->isVisible());
    EXPECT_FALSE(screen->isVisible());
    EXPECT_FALSE(screen->calculation_running());
    EXPECT_FALSE(child<QTimer>("Timer1")->isActive());
    EXPECT_TRUE(child<QWidget>("Picture2")->isHidden());
    EXPECT_TRUE(child<QWidget>("Picture1")->isHidden());
    EXPECT_EQ(state.progress_frame, 0);
    EXPECT_GT(state.ruin_probability_30, 0);

    // "Return" brings the input screen back with everything as it was.
    emit results->returned();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(screen->results_screen(), nullptr);
    EXPECT_TRUE(screen->isVisible());
    EXPECT_EQ(box("Text11")->text(), wealth_text);
    EXPECT_EQ(state.target_income, 40000);
    EXPECT_EQ(list("Combo6(3)")->currentText(), "20%");
    EXPECT_TRUE(tabs()->isEnabled());
}

TEST_F(CalculateTest, FailedStageShowsItsMessageAndRestoresTheRecord) {
    // A broken ruin table makes the solver fail part-way through the stages.
    state.up1994_male_modal_age.fill(std::numeric_limits<double>::quiet_NaN());
    state.up1994_male_dispersion.fill(std::numeric_limits<double>::quiet_NaN());
    const AnalysisState before = state;
    button("Command1")->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].title, "Input Individual Information");
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::critical);
    EXPECT_EQ(screen->results_screen(), nullptr);
    EXPECT_TRUE(screen->isVisible());
    EXPECT_FALSE(screen->calculation_running());
    EXPECT_TRUE(tabs()->isEnabled());
    EXPECT_TRUE(child<QWidget>("Picture2")->isHidden());
    EXPECT_EQ(platform.busy_calls.size() % 2, 0u);  // the pointer is back
    // Figures the stages wrote before failing are undone.
    EXPECT_EQ(state.current_expected_return, before.current_expected_return);
    EXPECT_EQ(state.wealth_ratio, before.wealth_ratio);
    EXPECT_EQ(state.net_investable_wealth, before.net_investable_wealth);
    EXPECT_EQ(state.target_income, before.target_income);
    EXPECT_EQ(box("ind_invest_wealth")->text(), "");  // as shown before the run
}

TEST_F(CalculateTest, ClosingDuringARunEndsTheProgramAfterIt) {
    bool exited = false;
    QObject::connect(screen.get(), &InPut::exit_requested, [&] { exited = true; });
    bool tried = false;
    platform.on_process_events = [&] {
        if (tried) return;
        tried = true;
        EXPECT_FALSE(screen->close());  // refused while the stages run
        EXPECT_FALSE(exited);
    };
    button("Command1")->click();
    EXPECT_TRUE(tried);
    EXPECT_TRUE(exited);
}

TEST_F(CalculateTest, PrintScreenWithoutPrinterShowsItsMessage) {
    for (const char* name :
         {"Command13", "Command12", "Command11", "Command15", "Command9", "Command10"}) {
        platform.messages.clear();
        platform.printed.clear();
        button(name)->click();
        ASSERT_EQ(platform.printed.size(), 1u) << name;
        EXPECT_EQ(platform.printed[0], screen.get());  // the whole window
        ASSERT_EQ(platform.messages.size(), 1u) << name;
        EXPECT_EQ(platform.messages[0].text,
                  "This screen can't be printed. Please check the Printer.");
        EXPECT_EQ(platform.messages[0].title, "Input Individual Information");
        EXPECT_EQ(platform.messages[0].icon, MessageIcon::critical);
    }
    platform.printer_available = true;
    platform.messages.clear();
    button("Command9")->click();
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(CalculateTest, HelpScreensOpenOncePerPageAndLeaveTheInputsAlone) {
    const std::pair<const char*, const char*> buttons[5] = {
        {"Command4", "Mortality Tables Help"},
        {"Command3", "Annuity Valuation Rates Help"},
        {"Command5", "Individual Information Help"},
        {"Command7", "Investment and Portfolio Asset Allocation Help"},
        {"Command8", "Financial Economic Assumptions Help"}};
    const char* first_words[5] = {
        "    In this panel, select the mortality table that is to be used as the basis for the "
        "calculations in the program.",
        "    This program prices immediate life annuities based on the mortality tables",
        "    In this panel you should input your current age and gender as well as your liquid",
        "    In this panel you are asked to input the investment asset allocation",
        "    This panel displays the default expected return and standard"};
    for (int page = 1; page <= 5; ++page) {
        button(buttons[page - 1].first)->click();
        HelpScreen* help = screen->help_screen(page);
        ASSERT_NE(help, nullptr);
        EXPECT_TRUE(help->isVisible());
        EXPECT_TRUE(help->isWindow());
        EXPECT_EQ(help->windowTitle(), buttons[page - 1].second);
        auto* text = help->findChild<QPlainTextEdit*>("Text1");
        ASSERT_NE(text, nullptr);
        EXPECT_TRUE(text->isReadOnly());
        EXPECT_TRUE(text->toPlainText().startsWith(first_words[page - 1])) << page;
        button(buttons[page - 1].first)->click();
        EXPECT_EQ(screen->help_screen(page), help);  // the same screen again
    }
    const AnalysisState before = state;
    auto* ret = screen->help_screen(3)->findChild<QPushButton*>("Command1");
    ASSERT_NE(ret, nullptr);
    EXPECT_EQ(ret->text(), "Return");
    ret->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(screen->help_screen(3), nullptr);
    EXPECT_NE(screen->help_screen(2), nullptr);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(screen->help_screen(2), &escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(screen->help_screen(2), nullptr);
    EXPECT_NE(screen->help_screen(1), nullptr);
    EXPECT_EQ(state.target_income, before.target_income);
    EXPECT_EQ(state.current_age, before.current_age);
}

TEST_F(CalculateTest, ExitEndsTheProgramAndClosesTheHelpScreens) {
    bool exited = false;
    QObject::connect(screen.get(), &InPut::exit_requested, [&] { exited = true; });
    button("Command7")->click();
    ASSERT_NE(screen->help_screen(4), nullptr);
    button("Command2")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(exited);
    EXPECT_FALSE(screen->isVisible());
    EXPECT_EQ(screen->help_screen(4), nullptr);
}

}  // namespace
}  // namespace quorrel::testing
