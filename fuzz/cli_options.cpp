// The values of the command line's options: lines of "<option byte><text>",
// where the byte picks an input option of the catalogue. Every value is
// taken or refused with one line naming the option, and a refusal leaves the
// record as it was. The last text is also read as --monte-carlo and --seed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_cases.h"
#include "cli/cli_option_values.h"
#include "analysis/input_catalogue.h"

namespace {

bool same_inputs(const quorrel::AnalysisState& a, const quorrel::AnalysisState& b) {
    for (const quorrel::InputRow& row : quorrel::input_catalogue())
        if (quorrel::read_input(a, row) != quorrel::read_input(b, row)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<quorrel::InputOption> options = quorrel::catalogue_options();
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::pair<std::string, std::string>> given;
    std::string last;
    std::vector<std::size_t> picked;
    for (std::size_t at = 0; at < input.size();) {
        std::size_t end = input.find('\n', at);
        if (end == std::string::npos) end = input.size();
        const std::string line = input.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        const auto pick = static_cast<unsigned char>(line[0]) % options.size();
        last = line.substr(1);
        picked.push_back(pick);
        given.emplace_back(quorrel::row_at(options[pick].rows.front()).option, last);
    }
    quorrel::AnalysisState state;
    const quorrel::AnalysisState before = state;
    const std::string refusal = quorrel::apply_option_texts(given, state);
    if (!refusal.empty()) {
        if (refusal.find('\n') != std::string::npos || refusal.rfind("--", 0) != 0)
            __builtin_trap();
        if (!same_inputs(state, before)) __builtin_trap();
    } else {
        // Whatever was taken is a value the catalogue can hold.
        for (const std::size_t k : picked)
            for (const std::size_t row : options[k].rows)
                if (!quorrel::read_input(state, quorrel::row_at(row))) __builtin_trap();
    }
    (void)quorrel::whole_number(last);
    try {
        (void)quorrel::seed_value(last);
    } catch (const quorrel::OptionError& e) {
        if (std::string(e.what()).find('\n') != std::string::npos) __builtin_trap();
    }
    return 0;
}
