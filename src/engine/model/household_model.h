// The household of two lives: the person and a spouse, whose deaths are
// independent. Its wealth follows the single-life process with the
// withdrawal and incomes of the state the household is in.
#pragma once

#include <array>

#include "record/analysis_state.h"
#include "engine/model/model.h"

namespace quorrel::engine {

// Both alive, only the person alive, only the spouse alive.
enum HouseholdState { kBoth = 0, kPersonOnly = 1, kSpouseOnly = 2 };
inline constexpr int kHouseholdStates = 3;

struct HouseholdModel {
    // Each state's wealth process (its withdrawal and incomes); the
    // allocations, the market and the person's death law are those of the
    // prepared state in every one.
    std::array<Model, kHouseholdStates> states;
    LifeLaw person, spouse;

    // From the prepared state (prepare_engine_stages has run) of a household.
    // The person's pensions are paid in full while the person lives and at
    // the survivor share to a surviving spouse; the spouse's CPI-linked
    // pension in full while the spouse lives and at the share to a surviving
    // person; the annuities (joint and survivor) in full while both live and
    // at the share while one survives. The withdrawal is 1 while both live
    // and the survivor spending while one survives.
    static HouseholdModel from_state(const AnalysisState& state);

    // Probability of each state t years from today, under the lifetime
    // figures' laws (each life truncated at kLifetimeEndAge).
    std::array<double, kHouseholdStates> state_probabilities(double t) const;
    // Probability that at least one is alive at t (truncated laws).
    double someone_alive(double t) const;
    // Years until both are certainly dead: the later of the two horizons.
    double last_horizon() const { return std::max(person.horizon(), spouse.horizon()); }
};

}  // namespace quorrel::engine
