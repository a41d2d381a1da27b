// The desktop program: the title screen first, the input screen behind it.
#include <QApplication>
#include <QLocale>
#include <cstdio>
#include <cstring>

#include "record/analysis_state.h"
#include "analysis/report.h"
#include "screens/front/front_page.h"
#include "screens/front/program_arguments.h"
#include "screens/input/in_put.h"
#include "screens/platform.h"

// Under the leak checker: the font configuration library's caches and the
// D-Bus library's connection buffer live until the process ends and are not
// leaks of ours. (Read by the sanitizer runtime; unused in other builds.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}

namespace {

// --help and --version print and end: no window system is needed for them.
bool only_prints(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0) return true;
    return false;
}

int print_and_end(const quorrel::ProgramArguments& arguments) {
    std::fputs(arguments.output.toLocal8Bit().constData(), stdout);
    std::fputs(arguments.error.toLocal8Bit().constData(), stderr);
    return arguments.exit_code;
}

}  // namespace

int main(int argc, char** argv) {
    quorrel::ignore_file_size_signal();
    if (only_prints(argc, argv)) {
        QCoreApplication text_only(argc, argv);
        QCoreApplication::setApplicationName(quorrel::kProgramName);
        QCoreApplication::setApplicationVersion(quorrel::program_version());
        return print_and_end(quorrel::parse_program_arguments(QCoreApplication::arguments()));
    }
    QApplication app(argc, argv);
    // Qt has set the process locale from the environment; the program's
    // figures are written with a point whatever it is, and so are Qt's own
    // number widgets (the what-if window's probability).
    QLocale::setDefault(QLocale::c());
    QApplication::setApplicationName(quorrel::kProgramName);
    QApplication::setApplicationVersion(quorrel::program_version());
    QApplication::setWindowIcon(quorrel::program_icon());

    const quorrel::ProgramArguments arguments =
        quorrel::parse_program_arguments(QApplication::arguments());
    if (arguments.finished) return print_and_end(arguments);

    // The one record of the analysis, for the whole run.
    quorrel::AnalysisState state;
    quorrel::FrontPage front(state, quorrel::desktop_platform());
    QObject::connect(&front, &quorrel::FrontPage::exit_requested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!arguments.case_file.isEmpty()) {
        // A case named on the command line: straight to its inputs. One that
        // cannot be read is said so there, over the defaults.
        front.front_page_Form_Click();
        front.input_screen().open_case(arguments.case_file);
    } else {
        quorrel::centre_on_screen(front);
        front.show();
    }
    return app.exec();
}
