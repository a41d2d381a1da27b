#include <iostream>

#include "app/cli/cli.h"

int main(int argc, char** argv) { return quorrel::run_cli(argc, argv, std::cout, std::cerr); }
