// Which cells the grid rather than the model decides: probability rows whose
// barrier sits on today's node, estate searches that passed the top node.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

using RowFlags = std::array<bool, 4>;
using EstateFlags = std::array<std::array<bool, 3>, 3>;

constexpr EstateFlags kNoEstate{};
constexpr EstateFlags kEveryEstate{{{true, true, true}, {true, true, true}, {true, true, true}}};

struct FlagCase {
    const char* name;
    void (*change)(AnalysisState&);
    Accuracy accuracy;
    RowFlags barrier_rows;  // every column of a row shares its barrier
    EstateFlags estate;
    // Cells whose texts must stay what they were before the flags existed.
    std::vector<std::pair<const char*, const char*>> texts;
};

void no_change(AnalysisState&) {}

// Pensions ten times the target, but today's wealth under 0.1 x the target.
void pensions_cover_tiny_wealth(AnalysisState& s) {
    s.liquid_wealth = 3999;
    s.pension_cpi_income = 400000;
}

// Today's wealth 0.15 x the target: only the 50% level lies within a node.
void wealth_of_015_targets(AnalysisState& s) { s.liquid_wealth = 6000; }

// Riskless growth at 30% a year carries wealth far above the top node.
void riskless_30_percent(AnalysisState& s) {
    s.mean_stock = s.mean_nomi_bond = s.mean_real_bond = s.mean_cash = s.mean_estate = 0.3;
    s.dev_stock = s.dev_nomi_bond = s.dev_real_bond = s.dev_estate = 0;
}

// Wealth of 30.5 x the target growing at 30% with little deviation: every
// estate search passes the top node (x0 + 200, about 7.6 x0). The Bad and
// Median searches stop there; the 20-year Good one runs on to its bound.
void riskless_stocks_at_30_5(AnalysisState& s) {
    s.liquid_wealth = 1220000;
    s.weight_stock = s.weight_copy_stock = s.later_weight_stock = s.later_weight_copy_stock = 1;
    s.weight_nomi_bond = s.weight_real_bond = s.weight_cash = s.weight_estate = 0;
    s.weight_copy_nomi_bond = s.weight_copy_real_bond = s.weight_copy_cash = s.weight_copy_estate =
        0;
    s.later_weight_nomi_bond = s.later_weight_real_bond = s.later_weight_cash =
        s.later_weight_estate = 0;
    s.later_weight_copy_nomi_bond = s.later_weight_copy_real_bond = s.later_weight_copy_cash =
        s.later_weight_copy_estate = 0;
    s.mean_stock = 0.3;
    s.dev_stock = 0.02;
}

std::ostream& operator<<(std::ostream& os, const FlagCase& c) { return os << c.name; }

class GridLimitFlags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(GridLimitFlags, MarkTheCellsTheGridDecides) {
    const FlagCase& c = GetParam();
    AnalysisState state;
    apply_input_defaults(state);
    c.change(state);
    QuietHooks hooks;
    ResultsRecord results;
    ASSERT_EQ(run_calculation(state, hooks, results, c.accuracy), CalculationOutcome::completed)
        << (hooks.messages.empty() ? "" : hooks.messages.front());
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            EXPECT_EQ(results.barrier_at_start[row][col], c.barrier_rows[row])
                << "probability row " << row << " column " << col;
        }
    }
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            EXPECT_EQ(results.estate_at_grid_limit[row][col], c.estate[row][col])
                << "estate row " << row << " column " << col;
        }
    }
    for (const auto& [cell, text] : c.texts) EXPECT_EQ(results.cells.at(cell), text) << cell;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GridLimitFlags,
    ::testing::Values(
        FlagCase{"defaults", no_change, Accuracy::standard, {}, kNoEstate, {{"Text5", "9.3%"}}},
        FlagCase{"pensions_cover_tiny_wealth",
                 pensions_cover_tiny_wealth,
                 Accuracy::standard,
                 {true, true, true, true},
                 kNoEstate,
                 {{"Text2", "100.0%"},
                  {"Text5", "100.0%"},
                  {"Text38", "100.0%"},
                  {"Text54(0)", "0.00"}}},
        FlagCase{"wealth_of_015_targets",
                 wealth_of_015_targets,
                 Accuracy::standard,
                 {false, false, false, true},
                 kNoEstate,
                 {{"Text35", "100.0%"}, {"Text38", "100.0%"}}},
        FlagCase{"riskless_30_percent",
                 riskless_30_percent,
                 Accuracy::standard,
                 {},
                 kEveryEstate,
                 {{"Text54(0)", "11.20"},
                  {"Text55(0)", "11.30"},
                  {"Text56(0)", "11.40"},
                  {"Text59(0)", "11.40"},
                  {"Text62(0)", "11.40"}}},
        FlagCase{"capped_good_runs_to_its_bound",
                 riskless_stocks_at_30_5,
                 Accuracy::standard,
                 {},
                 kEveryEstate,
                 {{"Text57(0)", "7.70"}, {"Text58(0)", "7.80"}, {"Text59(0)", "9.10"}}},
        // The refined grid has the barrier at the level and today's wealth on
        // a node above it, and its top lies far beyond these quantiles.
        FlagCase{"refined_defaults", no_change, Accuracy::refined, {}, kNoEstate, {}},
        FlagCase{"refined_pensions_cover_tiny_wealth",
                 pensions_cover_tiny_wealth,
                 Accuracy::refined,
                 {},
                 kNoEstate,
                 {}},
        FlagCase{"refined_riskless_30_percent",
                 riskless_30_percent,
                 Accuracy::refined,
                 {},
                 kNoEstate,
                 {}}),
    [](const ::testing::TestParamInfo<FlagCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorrel
