// One forward sweep of the refined scheme: the discrete adjoint of a
// Crank-Nicolson discretisation of the backward equation, started from today's
// wealth, with an absorbing barrier below and an absorbing top far above.
// Each sub-step's absorbed mass is the probability of first reaching the
// barrier in it, so one sweep gives the ruin probability of every horizon,
// the ruin-time distribution for the lifetime figure, and the wealth weights
// at chosen times for the percentiles.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "engine/model/household_model.h"
#include "engine/model/model.h"

namespace quorrel::refined {

using Pump = std::function<void()>;

// Nodes x[0] (the barrier) .. x.back() (the top). Uniform from the barrier to
// `stretch_from` (at least today's wealth, so that today's wealth is node
// `start` exactly), above it a spacing that grows continuously from the
// uniform one by the factor exp(kStretchRate) a coarse node, so that the
// relative spacing rises towards kStretchRate and the nodes up to the top
// grow with the log of its height. A refinement of 2 is the same map sampled
// at half the index step: every coarse node is a fine node.
//
// The rate trades nodes for accuracy far above today's wealth, where only
// the upper percentiles and the mass that leaves for the top are read: 2%
// moves those percentiles by about 1e-5 (well inside their error estimates)
// and needs less than half the nodes that the 0.5% of the start of the
// stretching would.
inline constexpr double kStretchRate = 0.02;
struct SweepGrid {
    std::vector<double> x;
    int start = 0;
    double spacing = 0;       // of the uniform part
    double stretch_from = 0;  // where the geometric part begins
};

SweepGrid make_sweep_grid(double x0, double barrier, double base_spacing, double top,
                          int refinement);

// Top of the grid: above the wealth that a process growing at the largest
// drift of the model, with its largest volatility, exceeds before `years`
// with probability below 1e-10 (6.5 standard deviations of log wealth for
// the running maximum), and at least twice the start of the stretching.
// Mass reaching it is lost (counted as never ruined), which changes no
// figure up to `years` by more than that; the sweep reports it.
double sweep_top(const engine::Model& model, double x0, double base_spacing, double years);

// Exact arithmetic conserves probability; rounding in the factors, which a
// sweep reuses for thousands of steps, drifts by about 1e-16 a step (4e-12
// seen over the 13,000 steps of the largest grids).
inline constexpr double kMassTolerance = 1e-11;

struct SweepSpec {
    double x0 = 0;
    double barrier = 0;
    double end = 0;  // years swept
    double dt = 0.02;
    double base_spacing = 0.1;
    int refinement = 1;  // 1 coarse, 2 fine (half spacing and half step)
    double top = 0;
    std::vector<double> snapshot_times;  // wealth weights kept at these times
    int implicit_half_steps = 4;         // Rannacher start: replaces the first two steps
};

struct SweepResult {
    SweepGrid grid;
    std::vector<double> t;     // t[s]: end of sub-step s, t[0] = 0
    std::vector<double> ruin;  // ruin[s]: probability of reaching the barrier by t[s]
    double top_loss = 0;       // mass lost through the top over the sweep
    double top_loss_at_last_snapshot = 0;
    // Largest |ruined + weights on the grid + lost through the top - 1| seen
    // (at every step in debug builds, at the snapshots and the end otherwise).
    double mass_defect = 0;
    // snapshots[k][j]: probability weight of node j at snapshot_times[k]
    // (j = 1 .. nodes - 2; the barrier and the top carry none).
    std::vector<std::vector<double>> snapshots;
    std::vector<double> snapshot_ruin;  // ruin probability at each snapshot time
    // Where wealth sits with certainty at a snapshot inside a phase without
    // volatility (NaN elsewhere).
    std::vector<double> snapshot_point;
    std::vector<std::vector<double>> snapshot_prefix;  // prefix sums of the weights

    // Probability of reaching the barrier by T (linear between sub-steps).
    double ruin_by(double T) const;
    // Probability of reaching the barrier before death, for a life certain to
    // die before `horizon`: each sub-step's ruin mass weighted by the
    // conditional survival at its midpoint.
    double lifetime_ruin(const engine::Model& model, double horizon) const;
    // Integral of the no-ruin probability from 0 to T (trapezoids).
    double mean_unruined_time(double T) const;
    // Probability that wealth at snapshot k is below `level` or was exhausted
    // before: each node's weight counts with the share of its cell (half-way
    // to its neighbours) below the level, so the figure is continuous and
    // piecewise linear in the level.
    double wealth_below(int k, double level) const;
    // The expectation of f(wealth) over the paths whose wealth has not run
    // out at snapshot k (each node's weight at the node; the mass lost
    // through the top left out).
    double expectation_unruined(int k, const std::function<double(double)>& f) const;
};

// Without volatility today the path is certain until the allocation changes:
// it is followed exactly (Runge-Kutta) to that time, the barrier's crossing
// time found on the way, and the sweep starts there from the wealth reached.
// A grid scheme would have to carry a point mass along the drift without any
// diffusion to smooth it, which no Eulerian scheme does without smearing or
// rippling it.
SweepResult run_sweep(const engine::Model& model, const SweepSpec& sweep, const Pump& pump = {});

// A household's forward sweep: one density per state (both alive, only the
// person, only the spouse) on one grid, each carried by its state's process,
// with the mass moved between the states, and out of them at the last
// death, by the exact transition probabilities of the two truncated death
// laws over each step (split symmetrically around the step's diffusion, so
// the scheme stays second order). Mass that reaches the barrier stays in its
// state as ruined and moves with the deaths like the rest.
struct HouseholdSweepResult {
    // t, and as ruin the probability of having reached the barrier by t
    // among households with someone alive at t; the snapshots hold the
    // wealth of those households (weights divided by the probability that
    // someone is alive), so that ruin_by and wealth_below give the figures
    // conditional on someone alive.
    SweepResult conditional;
    // ruined[k][s]: probability of being in state k at t[s] with wealth
    // exhausted before.
    std::array<std::vector<double>, engine::kHouseholdStates> ruined;
    // Probability that wealth reached the barrier while both were alive,
    // and while a survivor lived, by the end of the sweep.
    double ruin_both = 0, ruin_survivor = 0;
    // Largest |tracked - exact| probability of a state (its wealth on the
    // grid, ruined and through the top) at the snapshots and the end, the
    // exact one from the two death laws.
    double state_mass_defect = 0;

    // ruined[k] at T, linear between sub-steps.
    double ruined_by(int k, double T) const;
};

HouseholdSweepResult run_household_sweep(const engine::HouseholdModel& model,
                                         const SweepSpec& sweep, const Pump& pump = {});

// Top of the household's grid: the highest of its states' sweep_top.
double household_sweep_top(const engine::HouseholdModel& model, double x0, double base_spacing,
                           double years);

}  // namespace quorrel::refined
