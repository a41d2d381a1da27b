// The shaded boxes of page 3 (acquired incomes, deficit, net investable
// wealth) say when they show figures of inputs that have changed since.
#include <QRadioButton>

#include "screens/input_fixture.h"
#include "screens/results/out_put.h"

namespace quorrel::testing {
namespace {

const char* const kShaded[5] = {"Text6", "Text7", "Text8", "Text9", "ind_invest_wealth"};

enum class Control { list, option, amount };

struct Change {
    const char* name;
    Control control;
    const char* widget;
    const char* value;  // item, or text typed into the amount box
    bool stale;         // the change makes the figures out of date
};

class FiguresTest : public InputScreenTest, public ::testing::WithParamInterface<Change> {
protected:
    void SetUp() override {
        InputScreenTest::SetUp();
        tabs()->setCurrentIndex(2);
        ASSERT_TRUE(activate(screen.get()));
    }
    void make(const Change& c) {
        switch (c.control) {
            case Control::list: select(c.widget, c.value); break;
            case Control::option: child<QRadioButton>(c.widget)->setChecked(true); break;
            case Control::amount: type_and_leave(c.widget, c.value, box("Text3")); break;
        }
    }
    // Every shaded box shows the mark of stale figures, or none shows it.
    void expect_stale(bool stale, const char* when) {
        EXPECT_EQ(screen->figures_stale(), stale) << when;
        for (const char* name : kShaded) {
            EXPECT_EQ(box(name)->font().italic(), stale) << name << " " << when;
            EXPECT_EQ(box(name)->toolTip().contains("Out of date"), stale) << name << " " << when;
            const QColor text = box(name)->palette().color(QPalette::Text);
            EXPECT_EQ(text == screen->palette().color(QPalette::Text), !stale)
                << name << " " << when;
        }
    }
};

TEST_P(FiguresTest, ChangeMarksTheFiguresUntilTheNextGo) {
    const Change& c = GetParam();
    button("Command6")->click();
    const QString wealth = box("ind_invest_wealth")->text();
    expect_stale(false, "after Go");
    make(c);
    const bool refused = !platform.messages.empty();
    expect_stale(c.stale, "after the change");
    EXPECT_EQ(box("ind_invest_wealth")->text(), wealth);  // the old figure is still shown
    if (refused) box(c.widget)->setText("0");
    button("Command6")->click();
    expect_stale(false, "after the next Go");
}

INSTANTIATE_TEST_SUITE_P(
    Changes, FiguresTest,
    ::testing::Values(Change{"age", Control::list, "ind_current_age", "70", true},
                      Change{"cola_pair", Control::list, "Combo1(1)", "2%", true},
                      Change{"yield_curve", Control::list, "Combo4(7)", "2.00%", true},
                      Change{"ruin_table", Control::option, "prob_iam2000", nullptr, true},
                      Change{"market", Control::list, "Combo5", "Canada", true},
                      Change{"allocation", Control::list, "Combo6(4)", "25%", true},
                      Change{"wealth", Control::amount, "Text11", "900,000", true},
                      Change{"same_wealth_retyped", Control::amount, "Text11", "800000", false},
                      Change{"refused_amount", Control::amount, "Text5", "abc", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InputScreenTest, BlankBoxesAreNotMarkedAndCalculateBringsFiguresUpToDate) {
    select("ind_current_age", "70");  // nothing shown yet: nothing out of date
    EXPECT_FALSE(screen->figures_stale());
    EXPECT_FALSE(box("Text9")->font().italic());
    button("Command6")->click();
    select("ind_current_age", "71");
    ASSERT_TRUE(screen->figures_stale());
    button("Command1")->click();
    ASSERT_NE(screen->results_screen(), nullptr);
    EXPECT_FALSE(screen->figures_stale());
    EXPECT_FALSE(box("Text9")->font().italic());
    EXPECT_TRUE(box("Text9")->toolTip().isEmpty());
}

TEST_F(InputScreenTest, RefusedCalculationKeepsTheMarkOfTheFiguresItLeaves) {
    button("Command6")->click();
    select("Combo6(0)", "30%");  // the allocation no longer adds up
    ASSERT_TRUE(screen->figures_stale());
    button("Command1")->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(screen->figures_stale());  // the Go step never ran
}

}  // namespace
}  // namespace quorrel::testing
