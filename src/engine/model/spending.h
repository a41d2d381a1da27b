// Spending figures of a horizon from the distribution of wealth there. Under
// the percent rule spending is c(x) = min(max(rate x, floor), ceiling), which
// never falls as wealth rises, so its distribution follows from wealth's; a
// path whose wealth has run out spends its pensions' and annuities' income.
#pragma once

#include <functional>

#include "record/analysis_state.h"
#include "record/results.h"
#include "engine/model/model.h"

namespace quorrel {

// below(level): probability that wealth (years of target income) is below
// `level` or ran out before; below(0) is the probability that it ran out.
using WealthBelow = std::function<double(double level)>;

// The smallest spending s (years of target income) with P(spending <= s) >= q,
// where a ruined path spends `annuity_income`. `top`: wealth above which the
// distribution holds nothing.
double spending_quantile(const engine::Model& model, const WealthBelow& below,
                         double annuity_income, double q, double top);

// Probability that the percent rule spends its floor: wealth below floor /
// rate, running out included. 0 under the fixed rule, which has no floor.
double spending_at_floor(const engine::Model& model, const WealthBelow& below);

// The spending figures of the fixed rule from the ruin probabilities at 10,
// 20 and 30 years (ruin_grid's first row) and the expected income: spending
// is the target while wealth lasts, the annuity income after.
void fill_fixed_spending(const AnalysisState& state, ResultsRecord& results);

}  // namespace quorrel
