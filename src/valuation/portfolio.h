// Expected real return and standard deviation of the portfolio, today and
// after the change of allocation.
#pragma once

#include "core/analysis_state.h"

namespace quorrel {

void current_portfolio_return(AnalysisState& state);
void later_portfolio_return(AnalysisState& state);
void current_portfolio_deviation(AnalysisState& state);
void later_portfolio_deviation(AnalysisState& state);

}  // namespace quorrel
