// The refined figures set against a simulation of the same wealth process:
// a figure agrees when it lies within three of the simulation's standard
// errors plus its own error estimate of the simulated figure.
#pragma once

#include <array>

#include "record/results.h"
#include "engine/simulation/monte_carlo.h"

namespace quorrel {

// unknown: the simulation gave no standard error to judge by, or the figure
// is not a number.
enum class Agreement { agrees, disagrees, unknown };

// |figure - simulated.value| <= 3 x max(standard error, floor) + error_estimate.
// The floor stands in for a standard error the sample could not show: a
// proportion of none (or all) of n paths has a standard error of zero,
// although a probability up to about 3/n gives that outcome often.
Agreement compare_with_simulation(double figure, double error_estimate, const McEstimate& simulated,
                                  double standard_error_floor = 0);

struct CrossCheck {
    // [row][col] as ResultsRecord::ruin_grid and estate_grid.
    std::array<std::array<Agreement, 4>, 4> ruin{};
    std::array<std::array<Agreement, 3>, 3> estate{};
    Agreement expected_ruin_age = Agreement::unknown;
    std::array<Agreement, 20> expected_income{};
    // [row][col] as ResultsRecord::spending_grid, and by horizon.
    std::array<std::array<Agreement, 3>, 3> spending{};
    std::array<Agreement, 3> spending_at_floor{};

    bool any_disagreement() const;
};

// Every figure of a refined record against the simulation of its state.
// A standard record has no error estimate: every figure is then unknown.
CrossCheck cross_check(const ResultsRecord& results, const MonteCarloResults& simulated);

}  // namespace quorrel
