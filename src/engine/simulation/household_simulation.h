// Simulation of a household of two lives, as a check of the refined
// household's figures. Each path draws the first death (its time and whose
// it is) from the two truncated death laws, and its wealth follows the
// both-alive state's process until then and the survivor's after. The last
// death is not drawn: every figure takes, for each path, the chance that the
// survivor is still alive when the figure needs it (S(t) / S(first death)
// under the survivor's law), which removes that death's share of the
// variance at no cost. Path i draws its random numbers from (seed, i, step)
// alone, with the same Philox streams, normals and Brownian-bridge crossing
// test as the single-life simulation, so the figures are the same on any
// number of threads.
#pragma once

#include <array>

#include "record/analysis_state.h"
#include "engine/model/household_model.h"
#include "engine/simulation/monte_carlo.h"

namespace quorrel {

struct HouseholdHorizons {
    // Where the ruin probabilities and estates "at 10, 20 and 30 years" and
    // the expected income of each income horizon are read.
    std::array<double, 3> grid{10, 20, 30};
    std::array<double, 20> income{};
};

struct HouseholdSimulationResults {
    // The figures as a single person's simulation gives them, each among the
    // households with someone alive at its horizon: the ruin grid (its
    // lifetime column ruin before the last death), the estates, and the
    // expected income as a multiple of the need of the state the household
    // is in. No expected ruin age (NaN).
    MonteCarloResults figures;
    // By ruin level as the grid's rows: ruin while both were alive, and
    // while a survivor lived.
    std::array<McEstimate, 4> lifetime_ruin_both{}, lifetime_ruin_survivor{};
};

HouseholdSimulationResults simulate_household_paths(const engine::HouseholdModel& model, double x0,
                                                    const HouseholdHorizons& horizons,
                                                    const MonteCarloOptions& options);

// The prepared state of a household, simulated at the refined engine's
// reading times.
HouseholdSimulationResults run_household_monte_carlo(const AnalysisState& state,
                                                     const MonteCarloOptions& options);

}  // namespace quorrel
