#include "engine/standard/grid.h"

namespace quorrel::engine_detail {

GridKind grid_kind(SolveKind kind, double x0, double level) {
    if (kind != SolveKind::wealth_below) return GridKind::ruin;
    return uses_wide_grid(x0, level) ? GridKind::wide_below : GridKind::narrow_below;
}

int barrier_index(const Grid& grid, double barrier_level) {
    for (int i = 1; i <= grid.H; ++i) {
        if (grid.X[i] >= barrier_level) return i;
    }
    return 1;
}

Grid make_grid(GridKind kind, double x0, double barrier_level) {
    const GridShape& shape = kGridShapes[static_cast<std::size_t>(kind)];
    Grid grid;
    grid.M = shape.M;
    grid.dx = shape.dx;
    grid.H = (grid.M - 1) / 2;
    grid.X.assign(grid.M + 1, 0.0);
    // A product then a difference, never fused: whether the barrier lands on
    // a node is decided by exact comparisons with these values.
    for (int i = 1; i <= grid.H; ++i) grid.X[i] = x0 - static_cast<double>(grid.H - i) * grid.dx;
    for (int i = grid.H + 1; i <= grid.M; ++i)
        grid.X[i] = x0 + static_cast<double>(i - grid.H) * grid.dx;
    grid.ib = barrier_index(grid, barrier_level);
    return grid;
}

Grid make_grid(SolveKind kind, double x0, double level) {
    return make_grid(grid_kind(kind, x0, level), x0, kind == SolveKind::wealth_below ? 0.0 : level);
}

bool ruin_barrier_at_start(double x0, double level) {
    const Grid grid = make_grid(GridKind::ruin, x0, level);
    return grid.ib == grid.H;
}

std::vector<double> squares(const Grid& grid) {
    std::vector<double> X2(grid.X.size());
    for (std::size_t i = 0; i < X2.size(); ++i) X2[i] = grid.X[i] * grid.X[i];
    return X2;
}

double wealth_below_saturation_level(double x0) {
    const Grid wide = make_grid(GridKind::wide_below, x0, 0.0);
    return wide.X[wide.M];
}

}  // namespace quorrel::engine_detail
