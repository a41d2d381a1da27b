// A refused amount must hold up only what it should: not "Exit", and not a
// later click of "Calculate" or "Go" once the box has been put right. The
// OnX cases also run on a bare X server (no window manager), where the focus
// events of an inactive window never come.
#include <QMouseEvent>
#include <QWindow>

#include "screens/input_fixture.h"

namespace quorrel::testing {
namespace {

// A real press and release on a widget, delivered to its window as the
// window system would, so the focus moves on the press.
void press_and_release(QWidget* w) {
    QWindow* window = w->window()->windowHandle();
    ASSERT_NE(window, nullptr);
    const QPointF at = w->mapTo(w->window(), QPointF(w->width() / 2.0, w->height() / 2.0));
    QMouseEvent press(QEvent::MouseButtonPress, at, w->window()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->window()->mapToGlobal(at),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &release);
}

class CommitTest : public InputScreenTest {
protected:
    void SetUp() override {
        InputScreenTest::SetUp();
        tabs()->setCurrentIndex(2);
        ASSERT_TRUE(activate(screen.get()));
    }
    // "abc" typed into the target income box, the focus still in it.
    void refused_text_in_target_income() {
        QLineEdit* e = box("Text10");
        e->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(e->hasFocus());
        e->setText("abc");
    }
};

// How the refused box was left before it was put right.
enum class Left { by_page_change, by_press_on_the_button };

struct LostClickCase {
    const char* name;
    Left left;
    const char* button;  // Command1 "Calculate" or Command6 "Go"
};

class OnXLostClickTest : public CommitTest, public ::testing::WithParamInterface<LostClickCase> {};

TEST_P(OnXLostClickTest, ClickAfterTheBoxIsPutRightRuns) {
    const LostClickCase& c = GetParam();
    refused_text_in_target_income();
    if (c.left == Left::by_page_change)
        tabs()->setCurrentIndex(0);
    else
        press_and_release(button(c.button));
    QCoreApplication::processEvents();
    ASSERT_EQ(platform.messages.size(), 1u);
    ASSERT_EQ(screen->current_page(), 3);
    EXPECT_EQ(screen->results_screen(), nullptr);

    // The user puts the box right and clicks; whether the box sees the focus
    // leave depends on the window system, so here it does not.
    box("Text10")->setText("50000");
    QCoreApplication::processEvents();
    button(c.button)->click();

    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(state.target_income, 50000);
    if (QString(c.button) == "Command1")
        EXPECT_NE(screen->results_screen(), nullptr);
    else
        EXPECT_EQ(box("Text9")->text(), "50,000");
}

INSTANTIATE_TEST_SUITE_P(
    Ways, OnXLostClickTest,
    ::testing::Values(
        LostClickCase{"page_change_then_Calculate", Left::by_page_change, "Command1"},
        LostClickCase{"page_change_then_Go", Left::by_page_change, "Command6"},
        LostClickCase{"pressed_Calculate_then_again", Left::by_press_on_the_button, "Command1"},
        LostClickCase{"pressed_Go_then_again", Left::by_press_on_the_button, "Command6"}),
    [](const auto& info) { return std::string(info.param.name); });

// "Exit" ends the program from any state of the amount boxes, without a
// message.
enum class ExitBy { mouse, keyboard };

struct ExitCase {
    const char* name;
    const char* box_text;  // typed into the target income box, never left
    ExitBy by;
};

class ExitTest : public CommitTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitTest, ExitAlwaysEndsTheProgram) {
    const ExitCase& c = GetParam();
    bool exited = false;
    QObject::connect(screen.get(), &InPut::exit_requested, [&] { exited = true; });
    refused_text_in_target_income();
    box("Text10")->setText(c.box_text);
    if (c.by == ExitBy::mouse)
        press_and_release(button("Command2"));
    else
        button("Command2")->click();  // its shortcut: the focus stays in the box
    QCoreApplication::processEvents();
    EXPECT_TRUE(exited);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_FALSE(screen->isVisible());
}

INSTANTIATE_TEST_SUITE_P(States, ExitTest,
                         ::testing::Values(ExitCase{"letters_mouse", "abc", ExitBy::mouse},
                                           ExitCase{"negative_mouse", "-5", ExitBy::mouse},
                                           ExitCase{"empty_mouse", "", ExitBy::mouse},
                                           ExitCase{"letters_keyboard", "abc", ExitBy::keyboard},
                                           ExitCase{"accepted_mouse", "45,000", ExitBy::mouse}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorrel::testing
