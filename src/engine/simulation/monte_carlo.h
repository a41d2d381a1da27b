// Simulation of the same wealth process as a check of every probability and
// percentile the engine shows. Each path follows real scaled wealth with the
// drift, volatility, exposure multiplier and allocation switch of the model;
// crossings of a ruin level between two time steps are caught by the
// Brownian-bridge probability. A lifetime figure takes, for each path, the
// chance that its owner is still alive when it first reaches the level,
// under the ruin table's Gompertz-Makeham law truncated at age 110 like the
// lifetime solver's. Path i draws its random numbers from (seed, i, step)
// alone, so the figures are the same on any number of threads and any
// instruction set; memory does not grow with the number of paths.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "record/analysis_state.h"
#include "engine/model/model.h"

namespace quorrel {

struct McEstimate {
    double value = 0;
    double standard_error = 0;
};

struct MonteCarloOptions {
    long paths = 100000;
    std::uint64_t seed = 1;
    // Years per time step; 0: the simulation's own (simulation_step()).
    double dt = 0;
    unsigned threads = 0;  // 0: every core
    // Also estimate the lifetime figures from one drawn death per path, the
    // estimator the integrated one replaced (a cross-check).
    bool drawn_death = false;
    // Set from any thread to stop; the run then returns with cancelled set.
    const std::atomic<bool>* cancel = nullptr;
    // Called on the calling thread about every 50 ms with the share of paths
    // done; may set the cancel flag.
    std::function<void(double)> progress;
};

struct MonteCarloResults {
    bool cancelled = false;
    long paths = 0;
    std::uint64_t seed = 0;
    double dt = 0;
    // [row][col] as ResultsRecord::ruin_grid: levels 0, 0.1, 0.25, 0.5 of
    // today's wealth; 10, 20, 30 years and lifetime.
    std::array<std::array<McEstimate, 4>, 4> ruin{};
    // [row][col] as ResultsRecord::estate_grid: multiples of today's wealth.
    std::array<std::array<McEstimate, 3>, 3> estate{};
    McEstimate expected_ruin_age;
    // Ruin probability at the expected-income horizons, and the expected
    // income built from it as the income curve builds it.
    std::array<McEstimate, 20> income_ruin{};
    std::array<McEstimate, 20> expected_income{};
    // With drawn_death: the lifetime column of `ruin` by drawn deaths.
    std::array<McEstimate, 4> lifetime_drawn_death{};
    // Spending at 10, 20 and 30 years, [row][col] as ResultsRecord's
    // spending_grid (run_monte_carlo: today's money; simulate_wealth_paths:
    // years of target income), read from the wealth percentiles' histograms,
    // and the share of paths spending the floor (wealth below floor / rate,
    // running out included; none under the fixed rule).
    std::array<std::array<McEstimate, 3>, 3> spending{};
    std::array<McEstimate, 3> spending_at_floor{};
    // Guardrails only: the expected spending as a multiple of the target at
    // the expected-income horizons (the step nearest each), a path that has
    // run out spending its pensions' and annuities' income.
    std::array<McEstimate, 20> expected_spending{};
};

// Horizons of one simulation; the state's are 110 - age for the lifetime
// figures and 130 - age for the expected ruin age.
struct SimulationHorizons {
    double lifetime = 45;
    double tail = 65;
    std::array<double, 20> income{};
};

// The time step a simulation takes unless told one. The fixed rule's step is
// exact in the growth and second order in the income, and spending reviewed
// yearly keeps it so: at 0.05 years its figures are those of a step four
// times finer within the standard errors of 3 x 10^6 paths. Spending that
// follows wealth within a step (the percent rule) and the household's
// switch to the survivor's spending at the step of the first death are
// first order: they keep 0.02.
inline constexpr double kFixedSpendingStep = 0.05;
inline constexpr double kFirstOrderStep = 0.02;
double simulation_step(const engine::Model& model, const MonteCarloOptions& options);

MonteCarloResults simulate_wealth_paths(const engine::Model& model, double x0,
                                        const SimulationHorizons& horizons,
                                        const MonteCarloOptions& options);

// The prepared state's calculation (engine inputs and ruin mortality
// parameters set), simulated.
MonteCarloResults run_monte_carlo(const AnalysisState& state, const MonteCarloOptions& options);

}  // namespace quorrel
