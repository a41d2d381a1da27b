// The title screen: the input screen loads behind it, the prompt follows the
// pointer, a click opens the input screen.
#include <QLabel>
#include <QKeyEvent>
#include <QMouseEvent>

#include <vector>

#include "screens/front/front_page.h"
#include "screens/front/help_screen.h"
#include "screens/input_fixture.h"

namespace quorrel::testing {
namespace {

TEST(FrontPage, LoadsTheInputScreenHiddenAndOpensItOnAClick) {
    ensure_application();
    AnalysisState state;
    RecordingPlatform platform;
    FrontPage front(state, platform);
    front.show();
    EXPECT_EQ(front.windowTitle(), "Quorrel");
    EXPECT_FALSE(front.input_screen().isVisible());
    EXPECT_EQ(state.target_income, 40000);  // the input screen's loading ran
    EXPECT_EQ(state.nominal_rate_3, 0.05);

    auto* prompt = front.findChild<QLabel*>("Label1");
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(prompt->text(), "Please click anywhere to continue...");

    const QPointF at(200, 120);
    QMouseEvent move(QEvent::MouseMove, at, front.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&front, &move);
    EXPECT_EQ(prompt->pos(), QPoint(230, 120));
    front.front_page_Form_MouseMove(10, 400);
    EXPECT_EQ(prompt->pos(), QPoint(40, 400));

    QMouseEvent press(QEvent::MouseButtonPress, at, front.mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, front.mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&front, &press);
    QApplication::sendEvent(&front, &release);
    EXPECT_FALSE(front.isVisible());
    EXPECT_TRUE(front.input_screen().isVisible());
    EXPECT_EQ(front.input_screen().current_page(), 1);
}

// Any key leaves the title screen as a click does; a modifier alone does not.
TEST(FrontPage, AnyKeyLeavesIt) {
    ensure_application();
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        bool leaves;
    };
    for (const Case& c : {Case{Qt::Key_Space, Qt::NoModifier, true},
                          Case{Qt::Key_Return, Qt::NoModifier, true},
                          Case{Qt::Key_Escape, Qt::NoModifier, true},
                          Case{Qt::Key_Q, Qt::NoModifier, true},
                          Case{Qt::Key_Shift, Qt::ShiftModifier, false},
                          Case{Qt::Key_Control, Qt::ControlModifier, false}}) {
        AnalysisState state;
        RecordingPlatform platform;
        FrontPage front(state, platform);
        front.show();
        QKeyEvent down(QEvent::KeyPress, c.key, c.modifiers);
        QApplication::sendEvent(&front, &down);
        EXPECT_EQ(front.isVisible(), !c.leaves) << c.key;
        EXPECT_EQ(front.input_screen().isVisible(), c.leaves) << c.key;
    }
}

TEST(FrontPage, TitleImageIsAGreyCardOfTheStatedSize) {
    ensure_application();
    const QPixmap image = title_image();
    EXPECT_EQ(image.deviceIndependentSize().toSize(), QSize(719, 521));
    const QImage pixels = image.toImage();
    const qreal r = image.devicePixelRatio();
    const QColor corner = pixels.pixelColor(QPoint(2, 2) * r);
    const QColor card = pixels.pixelColor(QPoint(100, 300) * r);
    for (const QColor& c : {corner, card}) {
        EXPECT_LT(std::abs(c.red() - c.green()), 16);  // grey, not coloured
        EXPECT_LT(std::abs(c.red() - c.blue()), 16);
    }
    EXPECT_GT(card.lightness(), corner.lightness() + 40);  // a light card on a darker ground
}

TEST(HelpTexts, CoverTheirPagesTopics) {
    const std::vector<std::vector<const char*>> topics = {
        {"GAM 1983", "IAM 2000", "UP 1994", "RP2000", "projection", "static table"},
        {"nominal", "real", "six breakpoints", "5-year", "5%", "3%", "web site"},
        {"liquid", "Real Target Income (RTI)", "(COLA)", "(CPI)", "(AIR)", "GO button", "deficit",
         "(NIW)", "(SWiP)"},
        {"five asset classes", "variable payout annuity", "balanced", "once"},
        {"after inflation", "historical", "correlations", "log-normally"}};
    for (int page = 1; page <= 5; ++page) {
        const QString text = help_text(page);
        EXPECT_TRUE(text.startsWith("    ")) << page;
        EXPECT_FALSE(text.startsWith("     ")) << page;
        EXPECT_TRUE(text.endsWith("\n")) << page;
        for (const char* topic : topics[page - 1])
            EXPECT_TRUE(text.contains(topic, Qt::CaseInsensitive)) << page << ": " << topic;
        // Hard line breaks keep lines near 80 characters (the first sentence
        // of the first text is kept whole).
        const QStringList lines = text.split('\n');
        for (int i = page == 1 ? 1 : 0; i < lines.size(); ++i)
            EXPECT_LE(lines[i].size(), 90) << page << ": " << lines[i].toStdString();
    }
}

}  // namespace
}  // namespace quorrel::testing
