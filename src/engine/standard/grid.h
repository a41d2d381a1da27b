// The three grids of scaled wealth the solves run on, and where a solve's
// barrier and terminal values sit on them.
#pragma once

#include <array>
#include <vector>

namespace quorrel::engine_detail {

enum class SolveKind { ruin_by_horizon, wealth_below, lifetime_ruin };

enum class GridKind { ruin, narrow_below, wide_below };

struct GridShape {
    GridKind kind;
    int M;      // nodes
    double dx;  // node spacing
};

// The ruin solves' grid (x0 - 59.9 .. x0 + 60.1) and the wealth-below
// solves' narrow (about x0 +- 100) and wide (about x0 +- 200) grids.
inline constexpr std::array<GridShape, 3> kGridShapes = {{
    {GridKind::ruin, 1201, 120.0 / 1200},
    {GridKind::narrow_below, 1001, 200.0 / 1000},
    {GridKind::wide_below, 1501, 400.0 / 1500},
}};

// A wealth-below level more than 100 above x0 needs the wide grid; a level of
// exactly x0 + 100 keeps the narrow one.
inline bool uses_wide_grid(double x0, double level) { return x0 + 100 < level; }

GridKind grid_kind(SolveKind kind, double x0, double level);

// The grid of one solve: nodes X[1..M] (X[0] unused), the start node H and
// the barrier node ib.
struct Grid {
    int M = 0;
    double dx = 0;
    int H = 0;
    int ib = 1;
    std::vector<double> X;
};

// The nodes of `kind` around x0, with the barrier at the first node at or
// above barrier_level (the bottom node when there is none).
Grid make_grid(GridKind kind, double x0, double barrier_level);
// The grid of one request: the ruin solves' barrier is the level, the
// wealth-below solves' the exhaustion level 0.
Grid make_grid(SolveKind kind, double x0, double level);

int barrier_index(const Grid& grid, double barrier_level);

// Today's wealth less than one node above `level` on the ruin grid: the
// barrier is the start node itself, and every ruin solve at that level
// returns 1 whatever the model says.
bool ruin_barrier_at_start(double x0, double level);

// X[i] squared, as the diffusion term reads it.
std::vector<double> squares(const Grid& grid);

// The level above which a wealth-below solve sees every terminal value 1:
// the top node of the wide grid.
double wealth_below_saturation_level(double x0);

}  // namespace quorrel::engine_detail
