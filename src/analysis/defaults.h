// The inputs a new analysis starts from. The input screen selects the same
// list positions when it loads and the command line starts from this record,
// both taking them from the input catalogue.
#pragma once

#include "record/analysis_state.h"
#include "analysis/input_catalogue.h"

namespace quorrel {

// Writes the market preset (0 U.S.A, 1 Canada) into the nine assumption
// fields and market_country.
void apply_market_preset(AnalysisState& state, int country);

// Writes every input field as the input screen's loading leaves it, with the
// mortality tables loaded. net_investable_wealth and consumption_deficit stay 0.
void apply_input_defaults(AnalysisState& state);

}  // namespace quorrel
