// The desktop program: the title screen first, the input screen behind it.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "core/analysis_state.h"
#include "screens/front/front_page.h"
#include "screens/platform.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quorrel");
    QApplication::setApplicationVersion("1.0");

    quorrel::AnalysisState state;
    quorrel::FrontPage front(state, quorrel::desktop_platform());
    QObject::connect(&front, &quorrel::FrontPage::exit_requested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    front.show();
    return app.exec();
}
