// Simulation of the same wealth process, path by path, as a check of every
// probability and percentile the engine shows. Each path follows real scaled
// wealth with the drift, volatility, exposure multiplier and allocation
// switch of the model; crossings of a ruin level between two time steps are
// caught by the Brownian-bridge probability; the lifetime figures draw a
// death time from the ruin table's Gompertz-Makeham law (truncated at age
// 110, like the lifetime solver's).
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
    double dt = 0.02;      // years per time step
    unsigned threads = 0;  // 0: every core
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
};

// Horizons of one simulation; the state's are 110 - age for the lifetime
// figures and 130 - age for the expected ruin age.
struct SimulationHorizons {
    double lifetime = 45;
    double tail = 65;
    std::array<double, 20> income{};
};

MonteCarloResults simulate_wealth_paths(const engine::Model& model, double x0,
                                        const SimulationHorizons& horizons,
                                        const MonteCarloOptions& options);

// The prepared state's calculation (engine inputs and ruin mortality
// parameters set), simulated.
MonteCarloResults run_monte_carlo(const AnalysisState& state, const MonteCarloOptions& options);

}  // namespace quorrel
