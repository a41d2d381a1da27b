// What the command line's case options share with its single run: the input
// options by name, one calculation with its message, and the batch and
// comparison runs built on them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "record/analysis_state.h"
#include "analysis/pipeline.h"
#include "record/results.h"

namespace quorrel {

// An input option named with or without its leading "--".
bool is_input_option(const std::string& name);
// Writes the given input options over the record, the market first. Returns
// the refusal (one line, naming the option) or an empty string.
std::string apply_option_texts(const std::vector<std::pair<std::string, std::string>>& given,
                               AnalysisState& state);

// Runs the calculation, a household's at refined accuracy whatever was asked.
// Returns its message, or an empty string when it completed.
std::string calculate(AnalysisState& state, ResultsRecord& results,
                      Accuracy accuracy = Accuracy::standard, const SimulationRun& simulation = {});

// Every case of a batch file ("-": standard input), one JSON object per line
// in the file's order, streamed: memory stays bounded at any length.
// Returns the exit status: 1 when any case was refused, the file unreadable,
// its header refused or it holds no case; 2 for an empty name.
// `first_row` numbers the first CSV row, for one part of a split batch.
int run_batch(const std::string& path, std::ostream& out, std::ostream& err, bool progress,
              Accuracy accuracy = Accuracy::standard, long first_row = 1);
// The same from a stream; `folder` is where a list's relative names are
// found, `size` the input's length when known (for the progress bar), or 0.
int run_batch(std::istream& in, const std::string& shown_name,
              const std::filesystem::path& folder, std::uintmax_t size, std::ostream& out,
              std::ostream& err, bool progress, Accuracy accuracy = Accuracy::standard,
              long first_row = 1);

struct NamedCase {
    std::string name;
    AnalysisState state;
};
// The first case beside each other one: aligned columns, or one JSON array.
// Returns the exit status.
int run_compare(NamedCase current, const std::vector<std::string>& files, bool json,
                std::ostream& out, std::ostream& err, Accuracy accuracy = Accuracy::standard);

}  // namespace quorrel
