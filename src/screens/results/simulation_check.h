// "Check by simulation" on the results screen: the texts shown below each
// cell once the simulation of the same wealth process has run.
#pragma once

#include <QString>

#include "engine/simulation/monte_carlo.h"

namespace quorrel {

// "8.72% ± 0.07": the simulated probability and one standard error, in
// percentage points, one decimal finer than the cell.
QString simulated_probability_text(const McEstimate& estimate);
// "1.23 ± 0.01": a simulated estate multiple and one standard error.
QString simulated_multiple_text(const McEstimate& estimate);
// The line under both grids once a simulation has been shown.
QString simulation_note(long paths, std::uint64_t seed);

}  // namespace quorrel
