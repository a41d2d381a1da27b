// The refined engine for a household of two lives: per ruin level, one
// forward sweep of the three states' densities at two resolutions (a third
// where they disagree), combined as the single-life figures are.
#pragma once

#include "record/analysis_state.h"
#include "record/results.h"
#include "engine/model/household_model.h"
#include "engine/refined/refined.h"

namespace quorrel {

// Every figure of a household's calculation: the ruin grid and the estates
// conditional on someone alive at each horizon (the lifetime column: before
// the last death, with its split in record.household), the expected income
// as a multiple of the need of the state the household is in, and the
// survival and last-death figures. No expected ruin age. Publishes the 25
// cells in the standard order. Needs the prepared state of a household.
// Throws SolverError when the scheme fails.
void compute_household_results(AnalysisState& state, ResultSink& sink, RefinedResults& out,
                               const EventPump& pump = {});

// The survival and last-death figures alone, from the ruin table's laws of
// the two lives (the prepared state's).
HouseholdFigures household_survival_figures(const AnalysisState& state);

// The horizon at which a figure "at T years" of the household is read: T,
// or half a year before the later of the two lives' horizons where that is
// earlier (past it no one is alive), on the sweeps' time grid.
double household_reading_time(const engine::HouseholdModel& model, double T);

}  // namespace quorrel
