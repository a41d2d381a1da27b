// The desktop program's command line: `quorrel [FILE]`, --help and --version.
#pragma once

#include <QString>
#include <QStringList>

namespace quorrel {

struct ProgramArguments {
    QString case_file;  // empty: start on the title screen with the defaults
    // Set when the program ends at once: what to print and the exit status
    // (--help and --version print to standard output and end with 0, a
    // mistake prints one line to standard error and ends with 2).
    bool finished = false;
    int exit_code = 0;
    QString output;
    QString error;
};

// `arguments` as QCoreApplication::arguments() gives them, the program first.
ProgramArguments parse_program_arguments(const QStringList& arguments);

}  // namespace quorrel
