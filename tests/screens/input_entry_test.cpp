// Amount boxes: checked when they lose the focus, two messages, the focus
// back in the box, and no refused value reaching "Go" or "Calculate".
#include <QKeyEvent>

#include "screens/input_fixture.h"

namespace quorrel::testing {
namespace {

const QString kTwoBlanks = "please input  a nonnegative number!!!!";
const QString kBlankBefore = "please input a nonnegative number !!!!";

class AmountBoxTest : public InputScreenTest {
protected:
    void SetUp() override {
        InputScreenTest::SetUp();
        tabs()->setCurrentIndex(2);
        ASSERT_TRUE(activate(screen.get()));
        next = box("Text1");
    }
    QWidget* next = nullptr;
};

TEST_F(AmountBoxTest, AcceptedAmountsAreStoredAndShownGrouped) {
    type_and_leave("Text11", "800000", next);
    EXPECT_EQ(state.liquid_wealth, 800000);
    EXPECT_EQ(box("Text11")->text(), "800,000");

    type_and_leave("Text11", "1234.56", next);
    EXPECT_EQ(state.liquid_wealth, 1234.56);
    EXPECT_EQ(box("Text11")->text(), "1,235");

    type_and_leave("Text10", "  55,000.5 ", next);
    EXPECT_EQ(state.target_income, 55000.5);
    EXPECT_EQ(box("Text10")->text(), "55,001");

    type_and_leave("Text2", "0", next);
    EXPECT_EQ(state.purchase_variable, 0);
    EXPECT_EQ(box("Text2")->text(), "0");

    // No upper bound.
    type_and_leave("ind_annu_income", "123456789012", next);
    EXPECT_EQ(state.purchase_cpi, 123456789012.0);
    EXPECT_TRUE(platform.messages.empty());

    // Each box feeds its own field.
    type_and_leave("Text3", "1,000", box("Text10"));
    type_and_leave("Text4", "2,000", next);
    type_and_leave("Text5", "3,000", next);
    type_and_leave("Text1", "4,000", box("Text10"));
    EXPECT_EQ(state.pension_cpi_income, 1000);
    EXPECT_EQ(state.pension_variable_income, 2000);
    EXPECT_EQ(state.purchase_nominal, 3000);
    EXPECT_EQ(state.pension_nominal_income, 4000);
}

TEST_F(AmountBoxTest, RefusedTextKeepsTheFieldAndTheFocus) {
    struct Case {
        const char* text;
        const QString* message;
    };
    const Case cases[] = {{"abc", &kTwoBlanks},   {"", &kTwoBlanks},     {"nan", &kTwoBlanks},
                          {"inf", &kTwoBlanks},   {"0x10", &kTwoBlanks}, {"1e5", &kTwoBlanks},
                          {"12,34", &kTwoBlanks}, {"-5", &kBlankBefore}, {"-0.01", &kBlankBefore}};
    for (const Case& c : cases) {
        platform.messages.clear();
        type_and_leave("Text11", c.text, next);
        ASSERT_EQ(platform.messages.size(), 1u) << c.text;
        EXPECT_EQ(platform.messages[0].text, *c.message) << c.text;
        EXPECT_EQ(platform.messages[0].title, "Input Individual Information");
        EXPECT_EQ(platform.messages[0].icon, MessageIcon::critical);
        EXPECT_EQ(state.liquid_wealth, 800000) << c.text;
        EXPECT_TRUE(box("Text11")->hasFocus()) << c.text;
        EXPECT_EQ(box("Text11")->text(), c.text);  // the refused text stays visible
    }
}

TEST_F(AmountBoxTest, NoMessageLoopBetweenTwoRefusedBoxes) {
    // Text11 holds refused text already; leaving Text10 (also refused) for it
    // must not bounce the focus between the two with a message each time.
    box("Text11")->setText("xyz");
    type_and_leave("Text10", "abc", box("Text11"));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(box("Text10")->hasFocus());
    QCoreApplication::processEvents();
    EXPECT_EQ(platform.messages.size(), 1u);
    // Getting the focus back raises nothing; leaving again raises the message again.
    next->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(platform.messages.size(), 2u);
    EXPECT_TRUE(box("Text10")->hasFocus());
    box("Text10")->setText("40000");
    next->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(state.target_income, 40000);
}

TEST_F(AmountBoxTest, RefusedBoxLeftForCalculateVoidsThatClick) {
    type_and_leave("Text10", "abc", button("Command1"), Qt::MouseFocusReason);
    button("Command1")->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kTwoBlanks);
    EXPECT_TRUE(platform.busy_calls.empty());
    EXPECT_EQ(screen->results_screen(), nullptr);
    EXPECT_TRUE(box("Text10")->hasFocus());
    EXPECT_EQ(state.target_income, 40000);

    // Pressed from the keyboard with the focus still in the box: checked now.
    button("Command1")->click();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, kTwoBlanks);
    EXPECT_EQ(screen->results_screen(), nullptr);
}

TEST_F(AmountBoxTest, RefusedBoxLeftForGoVoidsThatClick) {
    const QString before = box("Text9")->text();
    type_and_leave("Text5", "-100", button("Command6"), Qt::MouseFocusReason);
    button("Command6")->click();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kBlankBefore);
    EXPECT_EQ(box("Text9")->text(), before);
    EXPECT_EQ(state.net_investable_wealth, 0);
    EXPECT_EQ(state.purchase_nominal, 0);
}

TEST_F(AmountBoxTest, TextTypedButNotLeftIsCheckedBeforeGo) {
    QLineEdit* e = box("Text5");
    e->setFocus(Qt::MouseFocusReason);
    e->setText("100,000");
    button("Command6")->click();  // keyboard: the focus never left the box
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(state.purchase_nominal, 100000);
    EXPECT_EQ(box("ind_invest_wealth")->text(), "700,000");
}

TEST_F(AmountBoxTest, RefusedBoxHiddenByAPageChangeComesBack) {
    QLineEdit* e = box("Text10");
    e->setFocus(Qt::MouseFocusReason);
    e->setText("abc");
    tabs()->setCurrentIndex(0);  // hides the box with the focus in it
    QCoreApplication::processEvents();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(screen->current_page(), 3);
    EXPECT_TRUE(e->hasFocus());
    EXPECT_EQ(state.target_income, 40000);
}

TEST_F(AmountBoxTest, TabKeyWalksThePageInReadingOrderAndCommits) {
    QLineEdit* target = box("Text10");
    target->setFocus(Qt::MouseFocusReason);
    target->setText("52000");
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(target, &tab);
    EXPECT_TRUE(box("Text11")->hasFocus());
    EXPECT_EQ(state.target_income, 52000);
    EXPECT_EQ(target->text(), "52,000");
    QKeyEvent tab2(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(box("Text11"), &tab2);
    EXPECT_TRUE(box("Text1")->hasFocus());
}

}  // namespace
}  // namespace quorrel::testing
