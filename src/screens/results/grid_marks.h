// Marks on the results grids for cells whose text the grid decides rather
// than the model: the cell keeps its text, gets an amber background and a
// tooltip saying why, and one line under its grid points to the remedy.
#pragma once

#include <QColor>

class QLineEdit;
class QString;

namespace quorrel {

struct ResultsRecord;

inline constexpr const char* kBarrierAtStartTip =
    "Decided by the grid, not by the model: today's wealth lies less than one grid node above "
    "this level, so the level falls on today's node and the probability reads 100% whatever the "
    "pensions and annuities. Refined accuracy computes it.";
inline constexpr const char* kEstateAtGridLimitTip =
    "Decided by the grid, not by the model: the search for this percentile passed the grid's top "
    "node, so the cell shows a ceiling of the grid rather than a percentile. Refined accuracy "
    "computes it.";
inline constexpr const char* kRefinedEstateAtGridLimitTip =
    "This percentile lies at the top of the grid: the figure is a lower bound.";
inline constexpr const char* kGridMarksNote =
    "Cells marked in amber are decided by the grid rather than by the model (point at one for "
    "why); choose refined accuracy beside Calculate for their real figures.";
inline constexpr const char* kRefinedGridMarksNote =
    "Cells marked in amber lie at the top of the grid: their figures are lower bounds.";
inline constexpr const char* kRuinOutOfOrderTip =
    "Out of order: this probability and another marked one cannot both be right. The chance "
    "that wealth falls to a level never shrinks over a longer horizon, and is never larger for a "
    "lower level than for a higher one. The standard scheme's error shows here; refined accuracy "
    "computes it.";
inline constexpr const char* kOrderMarksNote =
    "Cells marked in amber are out of order with each other (point at one for why); choose "
    "refined accuracy beside Calculate for their real figures.";
inline constexpr const char* kGridAndOrderMarksNote =
    "Cells marked in amber are decided by the grid rather than by the model, or out of order "
    "with each other (point at one for why); choose refined accuracy beside Calculate for their "
    "real figures.";
inline constexpr const char* kDisagreesTip =
    "The simulation does not bear this figure out: it lies farther from the simulated figure "
    "below it than three standard errors plus its own error estimate, more than chance explains.";
inline constexpr const char* kDisagreesNote =
    "Cells marked in amber lie farther from their simulated figures than three standard errors "
    "plus their error estimates (point at one for why).";

QColor grid_mark_colour();

// Gives a cell the mark and the tooltip; a cell already marked keeps its
// tooltip and gets this one below it.
void mark_grid_cell(QLineEdit& cell, const QString& tip);
// Takes the mark and the tooltip off a cell.
void unmark_grid_cell(QLineEdit& cell);

// Whether any probability cell, or any estate cell, carries a flag.
bool any_barrier_at_start(const ResultsRecord& results);
bool any_estate_at_grid_limit(const ResultsRecord& results);
bool any_ruin_out_of_order(const ResultsRecord& results);

}  // namespace quorrel
