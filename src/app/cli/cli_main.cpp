#include <iostream>

#include "app/cli/cli.h"
#include "core/report.h"

int main(int argc, char** argv) {
    quorrel::ignore_file_size_signal();
    return quorrel::run_cli(argc, argv, std::cout, std::cerr);
}
