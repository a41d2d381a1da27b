// Everything one finished calculation shows: the published cell texts and the
// raw figures behind them. The results screen and the report only render it.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quorrel {

// Receives each figure of the result stages, formatted, as soon as it is known.
class ResultSink {
public:
    virtual ~ResultSink() = default;
    // cell: "Text2" .. "Text38" (probability grid), "Text54(0)" .. "Text62(0)"
    // (estate grid).
    virtual void publish_result(const std::string& cell, const std::string& text) = 0;
};

// The figures only a household (two lives) has.
struct HouseholdFigures {
    bool present = false;
    double spouse_age = 0;
    // Lifetime ruin at the four levels (the probability that wealth reaches
    // the level before the last death), split by who was alive when it did:
    // both, or a survivor. Their sum is the lifetime column of ruin_grid.
    std::array<double, 4> lifetime_ruin_both{}, lifetime_ruin_survivor{};
    std::array<double, 4> lifetime_ruin_both_error{}, lifetime_ruin_survivor_error{};
    // [k]: probability that the person, the spouse, both and at least one are
    // alive k years from today, k = 0 .. the years until the younger reaches
    // kLifetimeEndAge (at most 99).
    std::vector<double> survival_person, survival_spouse, survival_both, survival_either;
    // The person's age at the last death: its expectation and 90th percentile.
    double expected_last_death_age = 0;
    double last_death_age_90 = 0;
};

struct ResultsRecord {
    // The 25 published cell texts by cell name.
    std::map<std::string, std::string> cells;

    // ruin_grid[row][col]: rows are the levels 0, 0.1, 0.25, 0.5 of the
    // initial wealth; columns 10, 20, 30 years and lifetime.
    std::array<std::array<double, 4>, 4> ruin_grid{};
    // estate_grid[row][col]: rows 10, 20, 30 years; columns bad (25%),
    // median, good (75%); multiples of today's net investable wealth.
    std::array<std::array<double, 3>, 3> estate_grid{};
    double expected_ruin_age = 0;

    // Cells whose text the grid, not the model, decides. A probability row
    // whose level is less than one node below today's wealth puts the barrier
    // on today's node, so its cells read 100% whatever the pensions; an estate
    // search that passed the grid's top node shows a ceiling, not a quantile.
    // The texts stay; the screen, the JSON and the tables mark these cells.
    std::array<std::array<bool, 4>, 4> barrier_at_start{};
    std::array<std::array<bool, 3>, 3> estate_at_grid_limit{};
    // Standard scheme: probability cells whose figure breaks the order every
    // ruin probability keeps (see ruin_order_breaks). The texts stay; the
    // screen, the JSON and the tables mark these cells.
    std::array<std::array<bool, 4>, 4> ruin_out_of_order{};

    // survival_curve[k]: probability of surviving k years, k = 0 .. survival_years.
    std::vector<double> survival_curve;
    std::int16_t ninetieth_percentile_index = 0;
    // expected_income[i - 1]: expected income as a fraction of the target at
    // horizon T = i x step / 2, i = 1 .. 20, step = Int((110 - age) / 10) + 1.
    std::array<double, 20> expected_income{};

    // Spending, conditional on survival (a path whose wealth ran out spends
    // its pensions' and annuities' income): spending_grid[row][col], rows 10,
    // 20 and 30 years, columns the 25%, 50% and 75% percentiles, in today's
    // money per year; the probability that spending is at the floor at those
    // horizons; the expected spending as a multiple of the target at the
    // expected-income curve's horizons. The error estimates are the refined
    // scheme's.
    std::array<std::array<double, 3>, 3> spending_grid{};
    std::array<std::array<double, 3>, 3> spending_error{};
    std::array<double, 3> spending_at_floor{};
    std::array<double, 3> spending_at_floor_error{};
    std::array<double, 20> expected_spending{};
    std::array<double, 20> expected_spending_error{};

    // How many finite-difference solves the calculation made.
    int solver_calls = 0;

    // Refined accuracy: the figures above came from the refined scheme, each
    // probability, percentile and the ruin age with its error estimate, and a
    // line naming the scheme for the screen and the report.
    bool refined = false;
    // The guardrails rule: every figure above came from the simulation, its
    // error estimate a standard error.
    bool simulated = false;
    std::string scheme_line;
    std::array<std::array<double, 4>, 4> ruin_error{};
    std::array<std::array<double, 3>, 3> estate_error{};
    double expected_ruin_age_error = 0;
    std::array<double, 20> expected_income_error{};

    // A household's own figures (present only for a household; its grids
    // above are conditional on someone alive at each horizon, and the
    // expected ruin age is not computed).
    HouseholdFigures household;
};

// The life expectancy as the mortality tab and the command line show it:
// Int(expected death age) + 1.
double life_expectancy_shown(double expected_death_age);
// The levels of the probability rows, as fractions of today's net investable
// wealth, and the rows' captions.
inline constexpr std::array<double, 4> kRuinLevels = {0, 0.1, 0.25, 0.5};
const std::array<const char*, 4>& ruin_row_captions();
// The horizons in years of the probability grid's first three columns and of
// the estate grid's rows.
inline constexpr std::array<double, 3> kGridHorizons = {10, 20, 30};

// The lifetime figures follow a life to this age at most; the expected ruin
// age follows wealth kTailYears further.
inline constexpr double kLifetimeEndAge = 110;
inline constexpr double kTailYears = 20;

// Years between two age captions of the charts, Int((110 - age) / 10) + 1;
// the expected-income curve's horizons are i x step / 2, i = 1 .. 20.
int age_caption_step(double current_age);
double expected_income_horizon(double current_age, int i);

// The cells of a probability grid ([row][col] as ResultsRecord::ruin_grid)
// that break its order: the chance of reaching a level never falls over a
// longer horizon (10 <= 20 <= 30 years, per level; the lifetime column is
// not compared with the horizons, mortality cuts it short) and never rises
// at a lower level (0% <= 10% <= 25% <= 50% of today's wealth, in every
// column). Both cells of each breaking pair are flagged; differences within
// the solver's rounding (1e-9) are not breaks.
std::array<std::array<bool, 4>, 4> ruin_order_breaks(
    const std::array<std::array<double, 4>, 4>& grid);

// Names of the probability cells: [row][col] as in ruin_grid.
const std::array<std::array<const char*, 4>, 4>& ruin_cell_names();
// Names of the estate cells: [row][col] as in estate_grid.
const std::array<std::array<const char*, 3>, 3>& estate_cell_names();

}  // namespace quorrel
