#include <iostream>

#include "cli/cli.h"
#include "analysis/report.h"

// Under the leak checker: the font configuration library that the PDF
// report loads keeps its caches until the process ends; not a leak of ours.
// (Read by the sanitizer runtime; unused in other builds.)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

int main(int argc, char** argv) {
    quorrel::ignore_file_size_signal();
    return quorrel::run_cli(argc, argv, std::cout, std::cerr);
}
