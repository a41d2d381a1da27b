#include "analysis/defaults.h"

#include "valuation/mortality_tables.h"

namespace quorrel {

void apply_market_preset(AnalysisState& s, int country) {
    write_input(s, input_row("market"), {.index = country == 0 ? 0 : 1});
}

void apply_input_defaults(AnalysisState& s) {
    s.progress_frame = 0;
    write_inputs(s, default_input_values());
    // The default allocations are complete, as the checks would find them.
    s.weight_sum = 1;
    s.later_weight_sum = 1;
    load_mortality_tables(s);
}

}  // namespace quorrel
