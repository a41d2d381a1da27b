// Expected real return and standard deviation of the portfolio, today and
// after the change of allocation.
#pragma once

#include "record/analysis_state.h"

namespace quorrel {

void current_portfolio_return(AnalysisState& state);
void later_portfolio_return(AnalysisState& state);
void current_portfolio_deviation(AnalysisState& state);
void later_portfolio_deviation(AnalysisState& state);

// The four above in the order a calculation runs them.
void compute_portfolio_statistics(AnalysisState& state);

}  // namespace quorrel
