// Fully implicit upwind finite-difference solver of the wealth process's
// backward equation, in its three variants.
#pragma once

#include <functional>

#include "record/analysis_state.h"
#include "engine/parallel.h"

namespace quorrel {

// Probability that scaled wealth falls to `level` before T.
double ruin_probability_by_horizon(const AnalysisState& state, double g, double x0, double level,
                                   double t0, double T, const EventPump& pump = {});
// Probability that scaled wealth is below `level` at T or was exhausted before.
double wealth_below_probability(const AnalysisState& state, double g, double x0, double level,
                                double t0, double T, const EventPump& pump = {});
// Probability that scaled wealth falls to `level` before death (lifetime
// truncated at T).
double lifetime_ruin_probability(const AnalysisState& state, double g, double x0, double level,
                                 double t0, double T, const EventPump& pump = {});

// Solves the n-row tridiagonal system (1-based arrays of at least n + 1
// entries); throws SolverError when a pivot is zero.
void tridag(int n, const double* lower, const double* diag, const double* upper, const double* rhs,
            double* u);

// Solves made by this process so far (all threads).
long solver_call_count();

}  // namespace quorrel
