// Windows the screens open besides themselves: the help windows of the input
// pages and the desktop's save dialog for the report.
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include "screens/front/help_screen.h"
#include "screens/input_fixture.h"

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

}  // namespace
}  // namespace quorrel::testing
