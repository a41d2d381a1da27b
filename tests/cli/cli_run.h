// Runs the command line in this process and keeps what it printed.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli.h"

namespace quorrel::cli_test {

struct Outcome {
    int status = -1;
    std::string out, err;
};

inline Outcome run(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"quorrel-cli"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    Outcome r;
    r.status = run_cli(static_cast<int>(argv.size()), argv.data(), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// The quorrel-cli program of this build, for the cases that run it as a
// process: $QUORREL_CLI_PROGRAM, or src/quorrel-cli beside this program's
// folder (the build's layout; the path is not compiled in, so the same
// object serves every build folder).
inline std::string cli_program() {
    if (const char* given = std::getenv("QUORREL_CLI_PROGRAM")) return given;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "src" / "quorrel-cli").string();
}

// Every line of standard output as JSON (a line that is not fails the test).
inline std::vector<nlohmann::json> json_lines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
    return lines;
}

}  // namespace quorrel::cli_test
