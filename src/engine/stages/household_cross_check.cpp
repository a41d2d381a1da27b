#include "engine/stages/household_cross_check.h"

#include <algorithm>

namespace quorrel {

bool HouseholdCrossCheck::any_disagreement() const {
    const auto disagrees = [](Agreement a) { return a == Agreement::disagrees; };
    return figures.any_disagreement() ||
           std::any_of(lifetime_ruin_both.begin(), lifetime_ruin_both.end(), disagrees) ||
           std::any_of(lifetime_ruin_survivor.begin(), lifetime_ruin_survivor.end(), disagrees);
}

HouseholdCrossCheck cross_check_household(const ResultsRecord& r,
                                          const HouseholdSimulationResults& simulated) {
    HouseholdCrossCheck check;
    check.figures = cross_check(r, simulated.figures);
    check.lifetime_ruin_both.fill(Agreement::unknown);
    check.lifetime_ruin_survivor.fill(Agreement::unknown);
    const MonteCarloResults& mc = simulated.figures;
    if (!r.refined || !r.household.present || mc.cancelled || mc.paths <= 0) return check;
    // As the single life's proportions: one path in n is the finest step.
    const double floor = 1.0 / static_cast<double>(mc.paths);
    const HouseholdFigures& h = r.household;
    for (std::size_t level = 0; level < 4; ++level) {
        check.lifetime_ruin_both[level] =
            compare_with_simulation(h.lifetime_ruin_both[level], h.lifetime_ruin_both_error[level],
                                    simulated.lifetime_ruin_both[level], floor);
        check.lifetime_ruin_survivor[level] = compare_with_simulation(
            h.lifetime_ruin_survivor[level], h.lifetime_ruin_survivor_error[level],
            simulated.lifetime_ruin_survivor[level], floor);
    }
    return check;
}

}  // namespace quorrel
