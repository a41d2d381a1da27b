// The long rate lists: a popup of about 20 items rather than the screen's
// height, and typing a rate's digits picks it.
#include <QAbstractItemView>
#include <QKeyEvent>
#include <QScreen>

#include "screens/input_fixture.h"

namespace quorrel::testing {
namespace {

struct RateList {
    const char* list;
    int page;            // 1..5
    const char* typed;   // digits typed while the list has the focus
    const char* picked;  // the item shown afterwards
};

class RateListTest : public InputScreenTest, public ::testing::WithParamInterface<RateList> {};

TEST_P(RateListTest, PopupShowsAboutTwentyItems) {
    const RateList& c = GetParam();
    tabs()->setCurrentIndex(c.page - 1);
    ASSERT_TRUE(activate(screen.get()));
    QComboBox* l = list(c.list);
    l->showPopup();
    QCoreApplication::processEvents();
    QAbstractItemView* view = l->view();
    ASSERT_TRUE(view->isVisible());
    const int row = view->sizeHintForRow(0);
    ASSERT_GT(row, 0);
    const double rows_shown = static_cast<double>(view->viewport()->height()) / row;
    EXPECT_GE(rows_shown, 18) << c.list;
    EXPECT_LE(rows_shown, 21) << c.list;
    l->hidePopup();
}

TEST_P(RateListTest, TypingTheDigitsOfARatePicksIt) {
    const RateList& c = GetParam();
    tabs()->setCurrentIndex(c.page - 1);
    ASSERT_TRUE(activate(screen.get()));
    QComboBox* l = list(c.list);
    l->setFocus(Qt::TabFocusReason);
    for (const char* ch = c.typed; *ch != '\0'; ++ch) {
        QKeyEvent press(QEvent::KeyPress, *ch, Qt::NoModifier, QString(QChar(*ch)));
        QApplication::sendEvent(l, &press);
    }
    EXPECT_EQ(l->currentText(), c.picked) << c.typed;

    // The same with the list open: the digits move to the rate, Enter picks it.
    l->setCurrentIndex(0);
    l->showPopup();
    QCoreApplication::processEvents();
    for (const char* ch = c.typed; *ch != '\0'; ++ch) {
        // '0'..'9' and '.' have the key codes of their characters.
        QKeyEvent press(QEvent::KeyPress, *ch, Qt::NoModifier, QString(QChar(*ch)));
        QApplication::sendEvent(l->view(), &press);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(l->view(), &enter);
    QCoreApplication::processEvents();
    EXPECT_FALSE(l->view()->isVisible());
    EXPECT_EQ(l->currentText(), c.picked) << c.typed << " with the list open";
}

INSTANTIATE_TEST_SUITE_P(Lists, RateListTest,
                         ::testing::Values(RateList{"Combo4(0)", 2, "7.3", "7.30%"},
                                           RateList{"Combo4(11)", 2, "12", "12.00%"},
                                           RateList{"stock_mean", 5, "8.5", "8.50%"},
                                           RateList{"estate_dev", 5, "25", "25.00%"},
                                           RateList{"Combo6(2)", 4, "45", "45%"}),
                         [](const auto& info) {
                             std::string name = info.param.list;
                             std::erase_if(name, [](char ch) { return ch == '(' || ch == ')'; });
                             return name;
                         });

}  // namespace
}  // namespace quorrel::testing
