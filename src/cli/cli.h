// The command-line front end: one analysis from options, printed as tables or
// JSON, optionally appended to a report file.
#pragma once

#include <iosfwd>

#include <nlohmann/json.hpp>

#include "record/analysis_state.h"
#include "record/results.h"

namespace quorrel {

// Exit status: 0 done, 1 calculation refused or failed (message on err),
// 2 malformed or out-of-range option (one line on err).
int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// Every figure of a finished calculation, as --json prints it.
nlohmann::json results_json(const AnalysisState& state, const ResultsRecord& results);

}  // namespace quorrel
