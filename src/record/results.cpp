#include "record/results.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "record/published_figures.h"

namespace quorrel {

double life_expectancy_shown(double expected_death_age) {
    return std::floor(expected_death_age) + 1;
}

const std::array<const char*, 4>& ruin_row_captions() { return kRuinFigures.row_captions; }

int age_caption_step(double current_age) {
    // Int: the next lower whole number, a 16-bit integer.
    return static_cast<std::int16_t>(std::floor((kLifetimeEndAge - current_age) / 10) + 1);
}

double expected_income_horizon(double current_age, int i) {
    const double step = age_caption_step(current_age);
    return i * step / 2;
}

std::array<std::array<bool, 4>, 4> ruin_order_breaks(
    const std::array<std::array<double, 4>, 4>& grid) {
    constexpr double kRounding = 1e-9;
    std::array<std::array<bool, 4>, 4> flags{};
    // Every pair, not only neighbours: 30% < 35% > 32% breaks between the
    // first and the last as well.
    const auto check = [&](std::size_t r1, std::size_t c1, std::size_t r2, std::size_t c2) {
        // (r1, c1) may not exceed (r2, c2).
        if (grid[r1][c1] > grid[r2][c2] + kRounding) flags[r1][c1] = flags[r2][c2] = true;
    };
    for (std::size_t row = 0; row < 4; ++row)
        for (std::size_t a = 0; a < 3; ++a)
            for (std::size_t b = a + 1; b < 3; ++b) check(row, a, row, b);
    for (std::size_t col = 0; col < 4; ++col)
        for (std::size_t a = 0; a < 4; ++a)
            for (std::size_t b = a + 1; b < 4; ++b) check(a, col, b, col);
    return flags;
}

const std::array<std::array<const char*, 4>, 4>& ruin_cell_names() { return kRuinFigures.cells; }

const std::array<std::array<const char*, 3>, 3>& estate_cell_names() {
    return kEstateFigures.cells;
}

}  // namespace quorrel
