// The input screen by keyboard: Enter presses the focused button and commits
// an amount box; every button and page tab has a mnemonic, none shared by
// two controls that are on show together.
#include <QAbstractButton>
#include <QCheckBox>
#include <QKeyEvent>
#include <QMenuBar>
#include <QRadioButton>
#include <QTabBar>
#include <map>

#include "screens/front/help_screen.h"
#include "screens/input_fixture.h"
#include "screens/results/out_put.h"

namespace quorrel::testing {
namespace {

void press(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent e(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(w, &e);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(w, &release);
}

struct EnterCase {
    const char* button;
    int page;
    const char* effect;  // what pressing it does, checked below
};

class EnterTest : public InputScreenTest, public ::testing::WithParamInterface<EnterCase> {};

TEST_P(EnterTest, EnterPressesTheFocusedButton) {
    const EnterCase& c = GetParam();
    bool exited = false;
    QObject::connect(screen.get(), &InPut::exit_requested, [&] { exited = true; });
    tabs()->setCurrentIndex(InPut::tab_of_page(c.page));
    ASSERT_TRUE(activate(screen.get()));
    QPushButton* b = button(c.button);
    b->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(b->hasFocus());
    press(b, Qt::Key_Return);
    QCoreApplication::processEvents();
    const std::string effect = c.effect;
    if (effect == "go") {
        EXPECT_EQ(box("ind_invest_wealth")->text(), "800,000");
    } else if (effect == "print") {
        EXPECT_EQ(platform.printed.size(), 1u);
    } else if (effect == "help") {
        EXPECT_NE(screen->help_screen(c.page), nullptr);
    } else if (effect == "calculate") {
        EXPECT_NE(screen->results_screen(), nullptr);
    } else if (effect == "exit") {
        EXPECT_TRUE(exited);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, EnterTest,
    ::testing::Values(EnterCase{"Command6", 3, "go"}, EnterCase{"Command11", 3, "print"},
                      EnterCase{"Command13", 1, "print"}, EnterCase{"Command9", 4, "print"},
                      EnterCase{"Command4", 1, "help"}, EnterCase{"Command8", 5, "help"},
                      EnterCase{"Command1", 2, "calculate"}, EnterCase{"Command2", 3, "exit"}),
    [](const auto& info) { return std::string(info.param.button); });

struct AmountEnterCase {
    const char* name;
    const char* typed;
    const char* shown;  // the box's text afterwards
    double stored;      // liquid_wealth afterwards
    std::size_t messages;
};

class AmountEnterTest : public InputScreenTest,
                        public ::testing::WithParamInterface<AmountEnterCase> {};

TEST_P(AmountEnterTest, EnterCommitsTheBoxAsLeavingItWould) {
    const AmountEnterCase& c = GetParam();
    tabs()->setCurrentIndex(2);
    ASSERT_TRUE(activate(screen.get()));
    QLineEdit* e = box("Text11");
    e->setFocus(Qt::MouseFocusReason);
    e->setText(c.typed);
    press(e, Qt::Key_Return);
    EXPECT_EQ(e->text(), c.shown);
    EXPECT_EQ(state.liquid_wealth, c.stored);
    EXPECT_EQ(platform.messages.size(), c.messages);
    EXPECT_TRUE(e->hasFocus());
    // Leaving afterwards changes nothing more.
    platform.messages.clear();
    box("Text1")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(state.liquid_wealth, c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AmountEnterTest,
    ::testing::Values(AmountEnterCase{"grouped", "123456", "123,456", 123456, 0},
                      AmountEnterCase{"fraction", "1234.56", "1,235", 1234.56, 0},
                      AmountEnterCase{"letters", "abc", "abc", 800000, 1},
                      AmountEnterCase{"negative", "-5", "-5", 800000, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// The mnemonic letter of a caption ("E&xit" gives x), or 0.
QChar mnemonic_of(const QString& text) {
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&') continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return QChar();
}

class MnemonicTest : public InputScreenTest, public ::testing::WithParamInterface<int> {};

TEST_P(MnemonicTest, EveryButtonAndTabHasItsOwnLetter) {
    const int page = GetParam();
    tabs()->setCurrentIndex(InPut::tab_of_page(page));
    ASSERT_TRUE(activate(screen.get()));
    std::map<QChar, QString> owners;
    const auto claim = [&](const QString& caption, const QString& who) {
        const QChar letter = mnemonic_of(caption);
        EXPECT_FALSE(letter.isNull()) << who.toStdString() << " has no mnemonic";
        if (letter.isNull()) return;
        const auto [it, fresh] = owners.emplace(letter, who);
        EXPECT_TRUE(fresh) << who.toStdString() << " and " << it->second.toStdString() << " share "
                           << QString(letter).toStdString();
    };
    for (QAbstractButton* b : screen->findChildren<QAbstractButton*>()) {
        if (qobject_cast<QRadioButton*>(b) != nullptr || !b->isVisibleTo(screen.get())) continue;
        if (qobject_cast<QTabBar*>(b->parentWidget()) != nullptr) continue;  // scroll arrows
        claim(b->text(), b->objectName());
    }
    QTabBar* bar = tabs()->tabBar();
    for (int i = 0; i < bar->count(); ++i) {
        const QString marked = bar->tabData(i).toString();
        EXPECT_EQ(QString(marked).remove('&'), bar->tabText(i));  // the caption is unchanged
        claim(marked, "tab " + bar->tabText(i));
    }
    for (QAction* menu : screen->findChild<QMenuBar*>()->actions())
        claim(menu->text(), menu->text());
    EXPECT_GE(owners.size(), 9u);

    // Alt and a tab's letter shows its page.
    // The next tab's page; leaving the allocation page is not refused, its
    // columns hold their complete defaults.
    const int other = (InPut::tab_of_page(page) + 1) % tabs()->count();
    QWidget* focus = screen->focusWidget() != nullptr ? screen->focusWidget() : screen.get();
    const QKeySequence alt_letter = QKeySequence::mnemonic(bar->tabData(other).toString());
    ASSERT_FALSE(alt_letter.isEmpty());
    QKeyEvent alt(QEvent::KeyPress, alt_letter[0].key(), alt_letter[0].keyboardModifiers());
    QApplication::sendEvent(focus, &alt);
    EXPECT_EQ(tabs()->currentIndex(), other);
}

INSTANTIATE_TEST_SUITE_P(Pages, MnemonicTest, ::testing::Values(1, 2, 3, 4, 5, kHouseholdPage),
                         [](const auto& info) { return "page" + std::to_string(info.param); });

}  // namespace
}  // namespace quorrel::testing
