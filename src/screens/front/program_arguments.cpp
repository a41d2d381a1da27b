#include "screens/front/program_arguments.h"

#include <QCommandLineParser>

#include "screens/platform.h"

namespace quorrel {

ProgramArguments parse_program_arguments(const QStringList& arguments) {
    ProgramArguments result;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Quorrel: a retirement income analyser. Opens the case FILE, if given, in the input "
        "screen.");
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument("FILE", "a case file (.json) to open", "[FILE]");
    // Qt's own options (-platform, -style ...) were taken out by QApplication.
    if (!parser.parse(arguments)) {
        result.finished = true;
        result.exit_code = 2;
        result.error = "quorrel: " + parser.errorText() + "\n";
        return result;
    }
    // QCommandLineParser::showHelp() would end the process; the text is
    // returned instead, for main() to print.
    if (parser.isSet(help)) {
        result.finished = true;
        result.output = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.finished = true;
        result.output = QString("%1 %2\n").arg(kProgramName, program_version());
        return result;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        result.finished = true;
        result.exit_code = 2;
        result.error =
            "quorrel: one case file at most, not " + QString::number(files.size()) + "\n";
        return result;
    }
    if (!files.isEmpty()) result.case_file = files.first();
    return result;
}

}  // namespace quorrel
