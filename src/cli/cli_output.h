// What the command line prints: the four tabs as tables or JSON, the
// simulation's check beside them, and the decision tools' answers.
#pragma once

#include <iosfwd>
#include <string>

#include <nlohmann/json.hpp>

#include "record/analysis_state.h"
#include "analysis/decision_tools.h"
#include "record/results.h"
#include "engine/stages/cross_check.h"
#include "engine/simulation/household_simulation.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/stages/household_cross_check.h"

namespace quorrel {

// JSON text in which any byte that is not UTF-8 (a Latin-1 name from a file
// or an argument) is replaced by U+FFFD: a dump never throws.
template <class Json>
std::string json_text(const Json& j, int indent = -1) {
    return j.dump(indent, ' ', false, Json::error_handler_t::replace);
}

// The four result tabs as aligned tables. With `simulated`, a column of the
// simulated figure and its standard error beside each figure; refined
// figures that disagree with it are marked.
void print_tables(std::ostream& out, const AnalysisState& state, const ResultsRecord& results,
                  const MonteCarloResults* simulated = nullptr);

// Every input by its JSON key, in natural units of the record.
nlohmann::json inputs_json(const AnalysisState& state);

// The simulation's figures, each with its standard error, its path count
// and seed. With `check` (refined figures), each figure also says whether
// the refined one agrees with it ("agrees": true, false, or null when the
// simulation could not judge).
nlohmann::json monte_carlo_json(const MonteCarloResults& simulated,
                                const CrossCheck* check = nullptr);

// A household's simulated split lifetime ruin by level, as the "household"
// block's "lifetime_ruin" rows, each estimate with "agrees" under `check`.
nlohmann::json household_monte_carlo_json(const HouseholdSimulationResults& simulated,
                                          const HouseholdCrossCheck* check = nullptr);

// The line printed before the analysis at a solved amount, and the solve
// as JSON; `probability` is the one solved for.
std::string solve_caption(const SpendingSolution& solution, double probability);
nlohmann::json solve_json(const SpendingSolution& solution, double probability);

// The annuitization sweep as a table with its best share, and as JSON.
void print_sweep(std::ostream& out, const AnalysisState& inputs, const AnnuitySweep& sweep);
nlohmann::json sweep_json(const AnalysisState& inputs, const AnnuitySweep& sweep);

// A bar of the share done, redrawn in place on a terminal.
void draw_share_bar(std::ostream& err, double share, const std::string& label);

}  // namespace quorrel
