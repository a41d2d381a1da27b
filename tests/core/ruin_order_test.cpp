// Which probability cells break the order of the grid: a longer horizon never
// lowers a level's probability, a lower level never raises a column's; both
// cells of a breaking pair are flagged, the lifetime column is never set
// against the horizons, and rounding noise is no break.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "record/results.h"

namespace quorrel {
namespace {

using Grid = std::array<std::array<double, 4>, 4>;
using Cells = std::vector<std::pair<int, int>>;

// An ordered grid: rising to the right over the horizons and downwards over
// the levels; a lifetime column below the 10-year one.
Grid ordered() {
    Grid g{};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) g[r][c] = 0.1 * (c + 1) + 0.05 * r;
        g[r][3] = 0.01 + 0.01 * r;
    }
    return g;
}

struct OrderCase {
    const char* name;
    void (*change)(Grid&);
    Cells flagged;
};

class RuinOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(RuinOrder, FlagsBothCellsOfEachBreakingPair) {
    Grid g = ordered();
    GetParam().change(g);
    const auto flags = ruin_order_breaks(g);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            bool expected = false;
            for (const auto& [fr, fc] : GetParam().flagged)
                expected = expected || (fr == r && fc == c);
            EXPECT_EQ(flags[r][c], expected) << "row " << r << " col " << c;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RuinOrder,
    ::testing::Values(
        OrderCase{"ordered", [](Grid&) {}, {}},
        OrderCase{"all_equal",
                  [](Grid& g) {
                      for (auto& row : g) row.fill(0.3);
                  },
                  {}},
        // The lifetime column above every horizon's (the ordered grid has it
        // below) is no break either.
        OrderCase{"lifetime_above_horizons",
                  [](Grid& g) {
                      for (int r = 0; r < 4; ++r) g[r][3] = 0.9 + 0.01 * r;
                  },
                  {}},
        // Falling with the horizon, as the standard scheme's 82.7, 81.2, 79.9.
        OrderCase{"falling_row",
                  [](Grid& g) {
                      g[1] = {0.827, 0.812, 0.799, 0.754};
                      g[2] = {0.9, 0.9, 0.9, 0.8};
                      g[3] = {0.95, 0.95, 0.95, 0.9};
                  },
                  {{1, 0}, {1, 1}, {1, 2}}},
        // 20 years above 30, 10 years below both: one pair breaks.
        OrderCase{"one_pair_in_a_row", [](Grid& g) { g[3][1] = 0.46; }, {{3, 1}, {3, 2}}},
        // The first above the middle and the last: two pairs.
        OrderCase{
            "first_above_the_rest", [](Grid& g) { g[3][0] = 0.46; }, {{3, 0}, {3, 1}, {3, 2}}},
        // A lower level above a higher one, in the lifetime column.
        OrderCase{"lifetime_column_levels", [](Grid& g) { g[0][3] = 0.025; }, {{0, 3}, {1, 3}}},
        // A lower level above every higher level of its column.
        OrderCase{"zero_level_above_all",
                  [](Grid& g) { g[0][2] = 0.9; },
                  {{0, 2}, {1, 2}, {2, 2}, {3, 2}}},
        // Differences of solver rounding are no break; a tenth of a basis
        // point is.
        OrderCase{"rounding_noise",
                  [](Grid& g) {
                      g[3][1] = g[3][2] + 1e-12;
                      g[2][0] = g[3][0] + 1e-12;
                  },
                  {}},
        OrderCase{
            "just_beyond_noise", [](Grid& g) { g[3][1] = g[3][2] + 1e-5; }, {{3, 1}, {3, 2}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorrel
