// The Go step: annuity prices, acquired incomes, consumption deficit, net
// investable wealth and implied inflation.
#pragma once

#include "record/analysis_state.h"

namespace quorrel {

// Throws ValuationError when pricing fails; then no field after the failing
// step has been written.
void compute_acquired_income(AnalysisState& state);

}  // namespace quorrel
