// A household's refined figures set against its simulation: every figure a
// single person's check judges, and the split lifetime ruin.
#pragma once

#include <array>

#include "record/results.h"
#include "engine/simulation/household_simulation.h"
#include "engine/stages/cross_check.h"

namespace quorrel {

struct HouseholdCrossCheck {
    CrossCheck figures;
    // By ruin level: ruin while both were alive, while a survivor lived.
    std::array<Agreement, 4> lifetime_ruin_both{}, lifetime_ruin_survivor{};

    bool any_disagreement() const;
};

HouseholdCrossCheck cross_check_household(const ResultsRecord& results,
                                          const HouseholdSimulationResults& simulated);

}  // namespace quorrel
