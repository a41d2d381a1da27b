// The results windows by keyboard: every button has a mnemonic no other
// control shown with it shares, which presses it, as Enter does when it has
// the focus; Ctrl+Tab and Ctrl+Shift+Tab step through the tabs; every tab
// stop is a control one can see.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTabBar>
#include <memory>

#include "analysis/defaults.h"
#include "screens/input_fixture.h"
#include "screens/results/out_put.h"
#include "screen_helpers.h"
#include "screens/results/what_if_window.h"

namespace quorrel {
namespace {

using testing::RecordingPlatform;

void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent down(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &down);
    QKeyEvent up(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &up);
}

using testing::shown_caption;

// The mnemonics of every button and tab a person sees now in `window`.
QList<QKeySequence> visible_mnemonics(const QWidget& window) {
    QList<QKeySequence> keys;
    for (const QAbstractButton* b : window.findChildren<QAbstractButton*>())
        if (b->isVisible()) keys << QKeySequence::mnemonic(b->text());
    for (const QLabel* l : window.findChildren<QLabel*>())
        if (l->isVisible() && l->buddy()) keys << QKeySequence::mnemonic(l->text());
    for (const QTabBar* bar : window.findChildren<QTabBar*>())
        for (int i = 0; i < bar->count(); ++i) keys << QKeySequence::mnemonic(bar->tabText(i));
    return keys;
}

struct ButtonCase {
    const char* name;
    int tab;  // 0-based tab shown; the bottom row is on every tab
    const char* caption;
    Qt::Key letter;
};

class ResultsKeyboardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::ensure_application(); }
    void SetUp() override {
        apply_input_defaults(state);
        state.current_age = 65;
        screen = std::make_unique<OutPut>(state, results, platform, "800,000");
        screen->set_simulation_paths(2048);
    }
    void TearDown() override {
        screen.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QTabBar* tabs() const { return screen->findChild<QTabBar*>("TabStrip1"); }
    void settle() {
        QElapsedTimer clock;
        clock.start();
        while (screen->simulation_running() && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
    }

    AnalysisState state;
    ResultsRecord results;
    RecordingPlatform platform;
    std::unique_ptr<OutPut> screen;
};

class ResultsButtonKeysTest : public ResultsKeyboardTest,
                              public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(ResultsButtonKeysTest, MnemonicIsUniqueAndEnterAndMnemonicPressIt) {
    const ButtonCase& c = GetParam();
    ASSERT_TRUE(testing::activate(screen.get()));
    tabs()->setCurrentIndex(c.tab);
    auto* button = screen->findChild<QPushButton*>(c.name);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible());
    EXPECT_EQ(shown_caption(button->text()), c.caption);
    const QKeySequence mnemonic = QKeySequence::mnemonic(button->text());
    EXPECT_EQ(mnemonic, QKeySequence(Qt::ALT | c.letter));
    EXPECT_EQ(visible_mnemonics(*screen).count(mnemonic), 1) << button->text().toStdString();

    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    button->setFocus(Qt::TabFocusReason);
    press(button, Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(clicks, 1) << "Enter";
    settle();

    ASSERT_TRUE(testing::activate(screen.get()));
    tabs()->setCurrentIndex(c.tab);
    press(QApplication::focusWidget() ? QApplication::focusWidget() : screen.get(), c.letter,
          Qt::AltModifier);
    // A mnemonic presses its button visibly: the click follows a moment later.
    QElapsedTimer clock;
    clock.start();
    while (clicks < 2 && clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(clicks, 2) << "mnemonic";
    settle();
}

INSTANTIATE_TEST_SUITE_P(
    EveryButton, ResultsButtonKeysTest,
    ::testing::Values(ButtonCase{"Command3", 0, "Save Results", Qt::Key_S},
                      ButtonCase{"export_pdf", 1, "Export PDF...", Qt::Key_E},
                      ButtonCase{"print_report", 2, "Print Report...", Qt::Key_O},
                      ButtonCase{"compare_cases", 3, "Compare...", Qt::Key_A},
                      ButtonCase{"check_by_simulation", 0, "Check by simulation", Qt::Key_H},
                      ButtonCase{"what_if", 1, "What if", Qt::Key_I},
                      ButtonCase{"Command1", 2, "Return", Qt::Key_R},
                      ButtonCase{"Command5", 0, "Print Screen", Qt::Key_N},
                      ButtonCase{"Command7", 1, "Print Screen", Qt::Key_N},
                      ButtonCase{"Command2", 2, "Print Screen", Qt::Key_N},
                      ButtonCase{"Command6", 2, "Graph", Qt::Key_G},
                      ButtonCase{"Command8", 3, "Print Screen", Qt::Key_N},
                      ButtonCase{"Command4", 3, "Graph", Qt::Key_G}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResultsKeyboardTest, TabsHaveUniqueMnemonicsAndCtrlTabStepsThroughThem) {
    ASSERT_TRUE(testing::activate(screen.get()));
    for (int t = 0; t < 5; ++t) {
        tabs()->setCurrentIndex(t);
        const QList<QKeySequence> keys = visible_mnemonics(*screen);
        for (const QKeySequence& k : keys) {
            EXPECT_FALSE(k.isEmpty()) << "tab " << t;
            EXPECT_EQ(keys.count(k), 1) << "tab " << t << " " << k.toString().toStdString();
        }
    }
    tabs()->setCurrentIndex(0);
    for (int expected : {1, 2, 3, 4, 0}) {
        press(QApplication::focusWidget() ? QApplication::focusWidget() : screen.get(), Qt::Key_Tab,
              Qt::ControlModifier);
        EXPECT_EQ(tabs()->currentIndex(), expected);
    }
    for (int expected : {4, 3}) {
        press(QApplication::focusWidget() ? QApplication::focusWidget() : screen.get(),
              Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(tabs()->currentIndex(), expected);
    }
    // Alt and a tab's letter shows it.
    press(screen.get(), Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(tabs()->currentIndex(), 3);
    press(screen.get(), Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(tabs()->currentIndex(), 4);
}

TEST_F(ResultsKeyboardTest, EveryTabStopIsAVisibleControl) {
    ASSERT_TRUE(testing::activate(screen.get()));
    for (int t = 0; t < 5; ++t) {
        tabs()->setCurrentIndex(t);
        QSet<QWidget*> expected{tabs()};
        for (QPushButton* b : screen->findChildren<QPushButton*>())
            if (b->isVisible()) expected.insert(b);
        tabs()->setFocus(Qt::TabFocusReason);
        QSet<QWidget*> reached;
        for (int k = 0; k < 40; ++k) {
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            EXPECT_TRUE(expected.contains(focus))
                << "tab " << t << ": " << focus->metaObject()->className() << " "
                << focus->objectName().toStdString();
            reached.insert(focus);
            press(focus, Qt::Key_Tab, Qt::NoModifier);
        }
        EXPECT_EQ(reached, expected) << "tab " << t;
    }
}

// The desktop's keys: Ctrl+S saves, Ctrl+P prints the report, Escape and
// Ctrl+W return; Tab reaches the bottom row in the order it stands, "Return" last.
struct DesktopKey {
    const char* what;
    int key;
    Qt::KeyboardModifiers modifiers;
    int dialogs, previews, returns;
};

class ResultsDesktopKeysTest : public ResultsKeyboardTest,
                               public ::testing::WithParamInterface<DesktopKey> {};

TEST_P(ResultsDesktopKeysTest, KeyRunsItsCommand) {
    const DesktopKey& c = GetParam();
    int returns = 0;
    QObject::connect(screen.get(), &OutPut::returned, [&] { ++returns; });
    ASSERT_TRUE(testing::activate(screen.get()));
    for (int t : {0, 3}) {  // from any tab
        if (returns > 0) break;
        tabs()->setCurrentIndex(t);
        press(QApplication::focusWidget() ? QApplication::focusWidget() : screen.get(), c.key,
              c.modifiers);
    }
    const int presses = c.returns > 0 ? 1 : 2;
    EXPECT_EQ(platform.dialog_requests.size(), c.dialogs * presses) << c.what;
    EXPECT_EQ(platform.previews.size(), c.previews * presses) << c.what;
    EXPECT_EQ(returns, c.returns) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ResultsDesktopKeysTest,
    ::testing::Values(DesktopKey{"save", Qt::Key_S, Qt::ControlModifier, 1, 0, 0},
                      DesktopKey{"print", Qt::Key_P, Qt::ControlModifier, 0, 1, 0},
                      DesktopKey{"escape", Qt::Key_Escape, Qt::NoModifier, 0, 0, 1},
                      DesktopKey{"close", Qt::Key_W, Qt::ControlModifier, 0, 0, 1}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ResultsKeyboardTest, TabReachesTheBottomRowInItsOrderReturnLast) {
    ASSERT_TRUE(testing::activate(screen.get()));
    tabs()->setFocus(Qt::TabFocusReason);
    QStringList order;
    const QStringList row{"Command3",      "export_pdf",          "print_report",
                          "compare_cases", "check_by_simulation", "what_if",
                          "Command1"};
    for (int k = 0; k < 20; ++k) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        if (row.contains(focus->objectName()) && !order.contains(focus->objectName()))
            order << focus->objectName();
        press(focus, Qt::Key_Tab, Qt::NoModifier);
    }
    EXPECT_EQ(order, row);
}

TEST(WhatIfKeyboardTest, EveryControlHasItsOwnMnemonic) {
    testing::ensure_application();
    AnalysisState state;
    apply_input_defaults(state);
    RecordingPlatform platform;
    WhatIfWindow window(state, platform);
    window.show();
    const QList<QKeySequence> keys = visible_mnemonics(window);
    EXPECT_GE(keys.size(), 9);
    for (const QKeySequence& k : keys) {
        EXPECT_FALSE(k.isEmpty());
        EXPECT_EQ(keys.count(k), 1) << k.toString().toStdString();
    }
}

}  // namespace
}  // namespace quorrel
