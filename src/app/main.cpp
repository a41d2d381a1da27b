// The desktop program: the title screen first, the input screen behind it.
#include <QApplication>
#include <QScreen>
#include <algorithm>

#include "core/analysis_state.h"
#include "core/report.h"
#include "screens/front/front_page.h"
#include "screens/input/in_put.h"
#include "screens/platform.h"

namespace {

void centre_on_screen(QWidget& window) {
    if (const QScreen* screen = window.screen()) {
        const QRect area = screen->availableGeometry();
        QRect frame(QPoint(0, 0), window.size());
        frame.moveCenter(area.center());
        window.move(std::max(frame.left(), area.left()), std::max(frame.top(), area.top()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    quorrel::ignore_file_size_signal();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorrel");
    QApplication::setApplicationVersion("1.0");

    // The one record of the analysis, for the whole run.
    quorrel::AnalysisState state;
    quorrel::FrontPage front(state, quorrel::desktop_platform());
    QObject::connect(&front, &quorrel::FrontPage::exit_requested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    centre_on_screen(front);
    centre_on_screen(front.input_screen());
    front.show();
    return app.exec();
}
