// The title screen: the input screen loads behind it, the prompt follows the
// pointer, a click opens the input screen.
#include <QAction>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

#include <vector>

#include "screens/front/front_page.h"
#include "screens/front/help_screen.h"
#include "screens/front/program_arguments.h"
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
    for (const Case& c :
         {Case{Qt::Key_Space, Qt::NoModifier, true}, Case{Qt::Key_Return, Qt::NoModifier, true},
          Case{Qt::Key_Escape, Qt::NoModifier, true}, Case{Qt::Key_Q, Qt::NoModifier, true},
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

// The command line: a case file to open, --help and --version, and one-line
// refusals of anything else.
TEST(ProgramArguments, FileHelpVersionAndMistakes) {
    struct Case {
        QStringList arguments;
        const char* case_file;
        bool finished;
        int exit_code;
        const char* output_contains;
        const char* error_contains;
    };
    for (const Case& c :
         {Case{{"quorrel"}, "", false, 0, "", ""},
          Case{{"quorrel", "Smith 2026.json"}, "Smith 2026.json", false, 0, "", ""},
          Case{{"quorrel", "--version"}, "", true, 0, "Quorrel ", ""},
          Case{{"quorrel", "--help"}, "", true, 0, "[FILE]", ""},
          Case{{"quorrel", "-h"}, "", true, 0, "--version", ""},
          Case{{"quorrel", "a.json", "b.json"}, "", true, 2, "", "one case file at most"},
          Case{{"quorrel", "--colour"}, "", true, 2, "", "Unknown option 'colour'"}}) {
        const ProgramArguments a = parse_program_arguments(c.arguments);
        const std::string what = c.arguments.join(" ").toStdString();
        EXPECT_EQ(a.case_file.toStdString(), c.case_file) << what;
        EXPECT_EQ(a.finished, c.finished) << what;
        EXPECT_EQ(a.exit_code, c.exit_code) << what;
        EXPECT_TRUE(a.output.contains(c.output_contains)) << what << ": " << a.output.toStdString();
        EXPECT_TRUE(a.error.contains(c.error_contains)) << what << ": " << a.error.toStdString();
        // A refusal is one line.
        if (!a.error.isEmpty()) {
            EXPECT_EQ(a.error.count('\n'), 1) << what;
        }
    }
    EXPECT_EQ(parse_program_arguments({"quorrel", "--version"}).output,
              "Quorrel " + program_version() + "\n");
    EXPECT_NE(program_version(), "unknown");
}

// The Help menu opens every help page, the new ones included, and the About
// box names the version and credits the mortality data.
TEST(HelpMenu, EveryPageAndTheAboutBox) {
    ensure_application();
    AnalysisState state;
    RecordingPlatform platform;
    InPut screen(state, platform);
    for (int page = 1; page <= kHelpPages; ++page) {
        auto* action = screen.findChild<QAction*>(QStringLiteral("mnuHelp(%1)").arg(page));
        ASSERT_NE(action, nullptr) << page;
        action->trigger();
        HelpScreen* help = screen.help_screen(page);
        ASSERT_NE(help, nullptr) << page;
        EXPECT_EQ(help->windowTitle(), help_caption(page));
        EXPECT_TRUE(help_caption(page).startsWith(action->text().chopped(3))) << page;
        help->close();
    }
    const std::vector<std::vector<const char*>> topics = {
        {"Refined accuracy", "error", "\u00b1", "next"},
        {"200,000", "standard error", "three standard errors"},
        {"one to three", "accuracy", "CSV", "Cancel"},
        {"largest target income", "smallest liquid wealth", "Refined accuracy", "5%"},
        {".json", "quorrel FILE", "quorrel-cli", "last used"},
        {"None", "survivor spending", "survivor share", "joint-and-survivor", "Refined accuracy",
         "second death"}};
    for (int page = 6; page <= kHelpPages; ++page)
        for (const char* topic : topics[static_cast<size_t>(page - 6)])
            EXPECT_TRUE(help_text(page).contains(QString::fromUtf8(topic))) << page << " " << topic;

    screen.findChild<QAction*>("mnuAbout")->trigger();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "About Quorrel");
    EXPECT_TRUE(platform.messages[0].text.startsWith("Quorrel " + program_version()));
    for (const char* credit : {"Licence", "Society of Actuaries", "MortalityTables"})
        EXPECT_TRUE(platform.messages[0].text.contains(credit)) << credit;
    // The window icon is the installed one, read from the built-in copy at
    // each size (a missing file gives a null image).
    const QIcon icon = program_icon();
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QImage shown = icon.pixmap(size, size).toImage();
        ASSERT_FALSE(shown.isNull()) << size;
        EXPECT_EQ(shown.size(), QSize(size, size));
        EXPECT_EQ(shown, QImage(QString(QUORREL_PACKAGING_ICONS "/org.quorrel.Quorrel-%1.png").arg(size))
                             .convertToFormat(shown.format()))
            << size;
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
