// The values of the command line's options as typed: the inputs of the
// catalogue (one input, or several as one list separated by commas), the
// number of simulated paths and the seed. No calculation: the batch CSV, the
// single run and the fuzz target read values alike through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "record/analysis_state.h"
#include "analysis/input_catalogue.h"

namespace quorrel {

// A malformed or out-of-range option value; its text is the whole message.
class OptionError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws the OptionError "OPTION: 'TEXT' is not EXPECTED".
[[noreturn]] void refuse_value(const std::string& option, const std::string& text,
                               const std::string& expected);

// One command-line option of the input catalogue: a single input, or
// several given as one list separated by commas.
struct InputOption {
    std::vector<std::size_t> rows;
    std::string text;
};

const InputRow& row_at(std::size_t i);
// Every input option, in catalogue order, with no text.
std::vector<InputOption> catalogue_options();
// Writes the option's text into the record; throws OptionError when the
// input (or one of the list's inputs) cannot take it.
void apply_option(const InputOption& option, AnalysisState& s);

// A whole number as typed (thousands may be grouped); nullopt otherwise.
std::optional<double> whole_number(const std::string& text);
// The value of --seed; throws OptionError unless 0 to 2^64 - 1.
std::uint64_t seed_value(const std::string& text);

}  // namespace quorrel
