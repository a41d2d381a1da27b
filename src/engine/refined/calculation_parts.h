#pragma once
// What the single-life and the household refined calculations share: the
// base resolution, the failure of a figure, running sweeps largest first
// and publishing a figure as it is filled.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numeric>
#include <vector>

#include "record/errors.h"
#include "record/number_format.h"
#include "record/published_figures.h"
#include "record/results.h"
#include "engine/parallel.h"
#include "engine/refined/refined.h"

namespace quorrel::refined_parts {

inline constexpr double kQuantiles[3] = {0.25, 0.5, 0.75};
inline constexpr double kBaseSpacing = 0.1;
inline constexpr double kBaseStep = 0.02;

// The coarse spacing: 0.1 years of target income, or a 40th of the way from
// today's wealth down to the level where that is less, so that a level close
// to today's wealth is resolved as finely as a distant one. The grid's node
// count hardly grows with it: above the uniform part the spacing grows
// geometrically, which takes a spacing 40 times finer back to the same size
// in about 185 more coarse nodes. It stays at least a 40th of 0.1: closer than
// that the grid's first cell runs from the barrier to today's wealth.
inline double base_spacing(double x0, double barrier) {
    return std::clamp((x0 - barrier) / 40, kBaseSpacing / 40, kBaseSpacing);
}

[[noreturn]] inline void scheme_failed() {
    throw SolverError(
        "The refined figures could not be computed for these inputs. "
        "Please change some of the inputs.");
}

inline double checked(double value) {
    if (!std::isfinite(value)) scheme_failed();
    return value;
}

// Runs run(task) for every task on every core, the costliest first; the
// calling thread takes part and alone runs the pump. Rethrows the failure
// of the costliest task that failed.
template <typename Task, typename Cost, typename Run>
void run_costliest_first(std::vector<Task>& tasks, Cost cost, Run run, const EventPump& pump) {
    std::vector<std::size_t> order(tasks.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return cost(tasks[a]) > cost(tasks[b]);
    });
    engine::run_parallel(
        order.size(), engine::worker_count(order.size()),
        [&](std::size_t k, const EventPump& p) { run(tasks[order[k]], p); }, pump);
}

// Whether a figure of the fine resolution that has no bounds to respect
// (a percentile, an expected amount) is too far from the coarse one, on the
// figure's own scale.
inline bool far_apart(double coarse, double fine) {
    return needs_finest({fine, std::fabs(fine - coarse)}, fine);
}

// Whether any of the 3 x 3 percentiles of the two resolutions are.
inline bool any_far_apart(const double (&coarse)[3][3], const double (&fine)[3][3]) {
    for (int h = 0; h < 3; ++h)
        for (int k = 0; k < 3; ++k)
            if (far_apart(coarse[h][k], fine[h][k])) return true;
    return false;
}

// The ruin levels (0 to 3) for which needs(level) holds.
template <typename Needs>
std::vector<int> levels_where(Needs needs) {
    std::vector<int> levels;
    for (int level = 0; level < 4; ++level)
        if (needs(level)) levels.push_back(level);
    return levels;
}

// Formats a figure of the results record into its cell and hands it on.
template <std::size_t Rows, std::size_t Cols>
void publish(RefinedResults& out, ResultSink& sink, const FigureGrid<Rows, Cols>& grid,
             std::size_t row, std::size_t col) {
    const char* cell = grid.cells[row][col];
    out.record.cells[cell] = format_figure(grid.format, (out.record.*grid.values)[row][col]);
    sink.publish_result(cell, out.record.cells[cell]);
}

// The table's order: the horizons row by row, then the lifetime column.
inline void publish_ruin_cells(RefinedResults& out, ResultSink& sink) {
    for (std::size_t level = 0; level < 4; ++level)
        for (std::size_t h = 0; h < 3; ++h) publish(out, sink, kRuinFigures, level, h);
    for (std::size_t level = 0; level < 4; ++level) publish(out, sink, kRuinFigures, level, 3);
}

}  // namespace quorrel::refined_parts
