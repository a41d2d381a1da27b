// The simulation before the path lanes, for the benchmark only.
#pragma once

#include "engine/simulation/monte_carlo.h"

namespace quorrel::old_simulation {

MonteCarloResults simulate_wealth_paths(const engine::Model& model, double x0,
                                        const SimulationHorizons& horizons,
                                        const MonteCarloOptions& options);
MonteCarloResults run_monte_carlo(const AnalysisState& state, const MonteCarloOptions& options);

}  // namespace quorrel::old_simulation
