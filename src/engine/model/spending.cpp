#include "engine/model/spending.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/model/wealth_model.h"

namespace quorrel {

using engine::Model;

namespace {

// P(spending <= s): the ruined paths' mass where their income is at most s,
// and the paths with wealth whose spending is at most s. Spending never
// falls below its value at wealth 0, reaches the ceiling from wealth
// ceiling / rate on (everything under the fixed rule, which spends 1).
double spending_below_or_at(const Model& m, const WealthBelow& below, double ruined,
                            double annuity_income, double s) {
    double p = annuity_income <= s ? ruined : 0;
    if (s < m.spending_at_zero()) return p;
    const bool at_ceiling = !m.spending_follows_wealth() || s >= m.spending_ceiling;
    const double with_wealth = at_ceiling ? 1.0 : below(s / m.spending_rate);
    return p + std::max(0.0, with_wealth - ruined);
}

}  // namespace

double spending_quantile(const Model& m, const WealthBelow& below, double annuity_income,
                         double q, double top) {
    const double ruined = below(0);
    auto P = [&](double s) { return spending_below_or_at(m, below, ruined, annuity_income, s); };
    const double c0 = m.spending_at_zero();
    const double c_top = m.spending_follows_wealth()
                             ? std::min(std::max(m.spending_rate * top, m.spending_floor),
                                        m.spending_ceiling)
                             : 1.0;
    double lo = std::min(annuity_income, c0);
    double hi = std::max(annuity_income, c_top);
    if (P(lo) >= q) return lo;
    if (!(P(hi) >= q)) return hi;
    // P jumps at the atoms (ruin's income, the floor, the ceiling), so the
    // search is by halving: it closes on the jump where the quantile sits.
    for (int k = 0; k < 200 && hi - lo > 1e-13 * std::max(1.0, hi); ++k) {
        const double mid = 0.5 * (lo + hi);
        (P(mid) >= q ? hi : lo) = mid;
    }
    return hi;
}

double spending_at_floor(const Model& m, const WealthBelow& below) {
    if (!m.spending_follows_wealth() || !(m.spending_rate > 0)) return 0;
    return below(m.spending_floor / m.spending_rate);
}

void fill_fixed_spending(const AnalysisState& s, ResultsRecord& r) {
    const Model m = Model::from_state(s);
    constexpr double q[3] = {0.25, 0.5, 0.75};
    for (int h = 0; h < 3; ++h) {
        const double ruined = r.ruin_grid[0][static_cast<std::size_t>(h)];
        const WealthBelow below = [ruined](double) { return ruined; };
        const double income = annuity_income_ratio(s, kGridHorizons[static_cast<std::size_t>(h)]);
        for (int k = 0; k < 3; ++k)
            r.spending_grid[h][k] = s.target_income * spending_quantile(m, below, income, q[k], 0);
        r.spending_at_floor[h] = 0;
    }
    r.expected_spending = r.expected_income;
}

}  // namespace quorrel
