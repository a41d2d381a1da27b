// Windows the screens open besides themselves: the help windows of the input
// pages and the desktop's save dialog for the report.
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "default_calculation.h"
#include "screens/front/help_screen.h"
#include "screens/input_fixture.h"
#include "screens/results/out_put.h"

namespace quorrel::testing {
namespace {

// A help window minimised by the user comes back when its Help button is
// pressed again, as the same window.
struct HelpButton {
    const char* button;
    int page;
};

class HelpWindowTest : public InputScreenTest, public ::testing::WithParamInterface<HelpButton> {};

TEST_P(HelpWindowTest, MinimisedHelpComesBackOnItsButton) {
    const HelpButton& c = GetParam();
    screen->show();
    button(c.button)->click();
    HelpScreen* help = screen->help_screen(c.page);
    ASSERT_NE(help, nullptr);
    help->showMinimized();
    ASSERT_TRUE(help->isMinimized());

    button(c.button)->click();
    EXPECT_EQ(screen->help_screen(c.page), help);
    EXPECT_FALSE(help->isMinimized());
    EXPECT_TRUE(help->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Pages, HelpWindowTest,
                         ::testing::Values(HelpButton{"Command4", 1}, HelpButton{"Command3", 2},
                                           HelpButton{"Command5", 3}, HelpButton{"Command7", 4},
                                           HelpButton{"Command8", 5}));

// The desktop's save dialog, driven as a user would: a file name is chosen
// and accepted. Choosing an existing report must not ask to replace it, since
// the report is appended.
struct SaveChoice {
    const char* name;
    bool exists;
};

class SaveDialogTest : public ::testing::TestWithParam<SaveChoice> {
protected:
    static void SetUpTestSuite() { ensure_application(); }
};

TEST_P(SaveDialogTest, ReturnsTheChoiceWithoutAskingToReplace) {
    const SaveChoice& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(c.name);
    if (c.exists) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\"an earlier report\"\r\n");
    }

    QString title;
    QStringList asked;  // texts of any message box that came up
    // Accepts the dialog once it is up; answers and records any question.
    QTimer driver;
    int ticks = 0;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        ++ticks;
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* w : windows) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (dialog == nullptr || !dialog->isVisible()) continue;
            if (ticks > 200) {  // never hang the suite
                dialog->reject();
            } else if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
                asked << box->text();
                box->done(QMessageBox::Yes);
                return;
            }
        }
        for (QWidget* w : windows) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            if (dialog == nullptr || !dialog->isVisible() || ticks > 200) continue;
            title = dialog->windowTitle();
            // Typed into the file name box, as a user would.
            if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
            // Queued, as the Save button would: a question it raises must not
            // stop this timer.
            QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        }
    });
    driver.start(20);
    const QString chosen =
        desktop_platform().save_file_name(nullptr, QString(), "text file (*.txt)");
    // A question would come up after the dialog's accept; give it its moment.
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    driver.stop();

    EXPECT_EQ(chosen.toStdString(), path.toStdString());
    EXPECT_TRUE(asked.isEmpty()) << asked.join(" | ").toStdString();
    EXPECT_TRUE(title.contains("added to the end of an existing file")) << title.toStdString();
    if (c.exists) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), "\"an earlier report\"\r\n");  // choosing is not writing
    }
}

INSTANTIATE_TEST_SUITE_P(Choices, SaveDialogTest,
                         ::testing::Values(SaveChoice{"earlier.txt", true},
                                           SaveChoice{"new.txt", false}),
                         [](const auto& info) {
                             return std::string(info.param.exists ? "existing" : "new");
                         });

// What a driven dialog showed: where it started, the questions it asked.
struct DrivenDialog {
    QString chosen;
    QString start_folder;
    QStringList asked;
};

// Opens a dialog through `open` and, once it is up, types `path` and accepts
// it; any question is answered Yes and recorded.
DrivenDialog drive_dialog(const std::function<QString()>& open, const QString& path) {
    DrivenDialog seen;
    QTimer driver;
    int ticks = 0;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        ++ticks;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (dialog == nullptr || !dialog->isVisible()) continue;
            if (ticks > 200) {
                dialog->reject();
            } else if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
                seen.asked << box->text();
                // A click: the box reports the button pressed, not a done() code.
                if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                    yes->click();
                else
                    box->accept();
                return;
            } else if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
                if (seen.start_folder.isEmpty()) seen.start_folder = files->directory().path();
                if (auto* name = files->findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
                QMetaObject::invokeMethod(files, "accept", Qt::QueuedConnection);
            }
        }
    });
    driver.start(20);
    seen.chosen = open();
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return seen;
}

// The dialogs of files written whole (Export PDF, Compare's CSV, a case file,
// the sweep's CSV) ask before an existing file is replaced, and every dialog
// starts in the folder the last one was left in.
struct ReplaceChoice {
    const char* dialog;
    bool exists;
};

class ReplaceDialogTest : public ::testing::TestWithParam<ReplaceChoice> {
protected:
    static void SetUpTestSuite() {
        ensure_application();
        use_private_settings();
    }
};

TEST_P(ReplaceDialogTest, AsksBeforeReplacingAndStartsInTheLastFolder) {
    const ReplaceChoice& c = GetParam();
    QTemporaryDir last, elsewhere;
    const QString path = last.filePath("figures.pdf");
    if (c.exists) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("older");
    }
    remember_folder_of(last.filePath("an earlier choice.json"));
    Platform& desktop = desktop_platform();
    const std::string which = c.dialog;
    const auto open = [&]() -> QString {
        if (which == "replace")
            return desktop.replace_file_name(nullptr, "figures.pdf", "PDF document (*.pdf)", "pdf");
        return desktop.export_file_name(nullptr, "Export", "figures.pdf", "PDF document (*.pdf)");
    };
    const DrivenDialog seen = drive_dialog(open, path);
    EXPECT_EQ(QFileInfo(seen.chosen).absoluteFilePath(), QFileInfo(path).absoluteFilePath());
    EXPECT_EQ(QFileInfo(seen.start_folder).canonicalFilePath(),
              QFileInfo(last.path()).canonicalFilePath());
    EXPECT_EQ(seen.asked.size(), c.exists ? 1 : 0) << seen.asked.join(" | ").toStdString();

    // The folder chosen now is where the next dialog starts.
    const DrivenDialog next = drive_dialog(
        [&] { return desktop.replace_file_name(nullptr, "next.csv", "CSV file (*.csv)", "csv"); },
        elsewhere.filePath("next.csv"));
    EXPECT_EQ(QFileInfo(next.start_folder).canonicalFilePath(),
              QFileInfo(last.path()).canonicalFilePath());
    EXPECT_EQ(in_last_folder("x.txt"), QDir(elsewhere.path()).filePath("x.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Dialogs, ReplaceDialogTest,
    ::testing::Values(ReplaceChoice{"replace", true}, ReplaceChoice{"replace", false},
                      ReplaceChoice{"export", true}, ReplaceChoice{"export", false}),
    [](const auto& info) {
        return std::string(info.param.dialog) + (info.param.exists ? "_existing" : "_new");
    });

// On a bare X server the keyboard would fall to the root window after a
// modal dialog, after Calculate and after Return: the window and the control
// that had the focus get it back each time.
class OnXFocusTest : public InputScreenTest {
protected:
    static std::string where_focus_is() {
        const QWidget* active = QApplication::activeWindow();
        const QWidget* focus = QApplication::focusWidget();
        return "active " + (active ? active->objectName().toStdString() : std::string("none")) +
               ", focus " + (focus ? focus->objectName().toStdString() : std::string("none"));
    }
    // Waits for the window system to settle on `window` and `focus`.
    static bool settles_on(QWidget* window, QWidget* focus) {
        QElapsedTimer clock;
        clock.start();
        while ((QApplication::activeWindow() != window ||
                (focus && QApplication::focusWidget() != focus)) &&
               clock.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return QApplication::activeWindow() == window &&
               (!focus || QApplication::focusWidget() == focus);
    }
};

TEST_F(OnXFocusTest, KeyboardComesBackAfterMessagesCalculateAndReturn) {
    ASSERT_TRUE(activate(screen.get()));
    tabs()->setCurrentIndex(2);  // the page of the wealth box
    QLineEdit* wealth = box("Text11");
    ASSERT_TRUE(wealth->isVisible());
    wealth->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(settles_on(screen.get(), wealth));

    QTimer closer;  // answers the message once it is up
    QObject::connect(&closer, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) b->accept();
    });
    closer.start(50);
    desktop_platform().show_message(screen.get(), "Input Individual Information", "A message",
                                    MessageIcon::none);
    closer.stop();
    EXPECT_TRUE(settles_on(screen.get(), wealth)) << "after a message: " << where_focus_is();

    QPushButton* calculate = button("Command1");
    calculate->setFocus(Qt::TabFocusReason);
    calculate->click();
    ASSERT_NE(screen->results_screen(), nullptr);
    EXPECT_TRUE(settles_on(screen->results_screen(), nullptr))
        << "after Calculate: " << where_focus_is();
    emit screen->results_screen()->returned();
    EXPECT_TRUE(settles_on(screen.get(), calculate)) << "after Return: " << where_focus_is();
}

// Every window fits the screen's free area (800 x 600 on the offscreen
// platform) with its commands in view, and comes back where it was left.
struct FittingWindow {
    const char* name;
    std::vector<const char*> commands;  // must be wholly inside the window
};

class WindowFitTest : public InputScreenTest, public ::testing::WithParamInterface<FittingWindow> {
protected:
    std::unique_ptr<QWidget> open(const std::string& which) {
        if (which == "input") return std::make_unique<InPut>(state, platform);
        const DefaultCalculation& d = default_calculation();
        return std::make_unique<OutPut>(d.state, d.results, platform, "800,000");
    }
};

TEST_P(WindowFitTest, FitsTheScreenAndComesBackWhereItWasLeft) {
    const FittingWindow& c = GetParam();
    QSettings("Quorrel", "Quorrel").remove("geometry");
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    std::unique_ptr<QWidget> window = open(c.name);
    window->show();
    QCoreApplication::processEvents();
    const QRect placed = window->geometry();
    EXPECT_TRUE(area.contains(placed))
        << c.name << " " << placed.x() << "," << placed.y() << " " << placed.width() << "x"
        << placed.height() << " on " << area.x() << "," << area.y() << " " << area.width() << "x"
        << area.height();
    // On an 800 x 600 screen the window is made that size at most, and its
    // commands stay in view (the pages scroll instead).
    window->resize(800, 600);
    QCoreApplication::processEvents();
    EXPECT_LE(window->width(), 800) << c.name;
    EXPECT_LE(window->height(), 600) << c.name;
    for (const char* name : c.commands) {
        auto* command = window->findChild<QWidget*>(name);
        ASSERT_NE(command, nullptr) << name;
        EXPECT_TRUE(command->isVisible()) << name;
        const QRect at(command->mapTo(window.get(), QPoint(0, 0)), command->size());
        EXPECT_TRUE(window->rect().contains(at)) << c.name << ": " << name;
    }

    // Left smaller and elsewhere, it opens there next time.
    const QRect left(area.topLeft() + QPoint(20, 30), QSize(area.width() - 60, area.height() - 80));
    window->setGeometry(left);
    QCoreApplication::processEvents();
    const QRect where = window->geometry();
    window->hide();
    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    window = open(c.name);
    EXPECT_EQ(window->geometry(), where) << c.name;
    window.reset();
    QSettings("Quorrel", "Quorrel").remove("geometry");
}

INSTANTIATE_TEST_SUITE_P(
    Windows, WindowFitTest,
    ::testing::Values(FittingWindow{"input", {"Command1", "Command2", "refined_accuracy"}},
                      FittingWindow{"results",
                                    {"Command3", "export_pdf", "print_report", "compare_cases",
                                     "check_by_simulation", "what_if", "Command1"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Proposed names and where they start.
TEST(FileNames, ProposedFromTheCaseAndTheDate) {
    ensure_application();
    use_private_settings();
    const QDate day(2026, 12, 10);
    struct Case {
        const char* case_name;
        const char* suffix;
        const char* expected;
    };
    for (const Case& c :
         {Case{"Smith", "pdf", "Smith 2026-12-10.pdf"},
          Case{"", "txt", "Quorrel report 2026-12-10.txt"},
          Case{"  ", "", "Quorrel report 2026-12-10"}, Case{"a/b:c?", "csv", "abc 2026-12-10.csv"}})
        EXPECT_EQ(proposed_file_name(c.case_name, day, c.suffix), c.expected) << c.case_name;

    QTemporaryDir dir;
    remember_folder_of(dir.filePath("gone/x.pdf"));  // a folder that does not exist
    EXPECT_EQ(in_last_folder("a.pdf"), "a.pdf");
    remember_folder_of(dir.filePath("x.pdf"));
    EXPECT_EQ(in_last_folder("a.pdf"), QDir(dir.path()).filePath("a.pdf"));
    EXPECT_EQ(in_last_folder("/elsewhere/a.pdf"), "/elsewhere/a.pdf");  // names its own folder
    remember_folder_of(QString());                                      // a cancel changes nothing
    EXPECT_EQ(in_last_folder("a.pdf"), QDir(dir.path()).filePath("a.pdf"));
}

}  // namespace
}  // namespace quorrel::testing
