// Every figure a calculation publishes, defined once: where it sits, its
// captions, how it is written, its JSON key and the results screen's cell
// that shows it. The command line's tables and JSON, the text and PDF
// reports, the results screen, the comparison of cases and the case
// summaries render from these tables, and the result stages publish
// through them, so a figure added here reaches all of them.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "record/analysis_state.h"
#include "record/results.h"

namespace quorrel {

// How a figure is written: "12.3%", "0.85", "1,234" ("-" when not a finite
// number), "$1,234", or the state's text as it stands.
enum class FigureFormat { percent1, plain2, whole, dollars, text };
std::string format_figure(FigureFormat format, double value);

// A grid of figures, [row][col] as its array in the results record.
template <std::size_t Rows, std::size_t Cols>
struct FigureGrid {
    using Values = std::array<std::array<double, Cols>, Rows>;
    const char* key;  // the JSON's list of the grid's rows
    FigureFormat format;
    Values ResultsRecord::*values;
    // The refined scheme's error estimates, shown as "\u00b1" and the error
    // times error_scale to error_decimals places.
    Values ResultsRecord::*errors;
    double error_scale;
    int error_decimals;
    // Each JSON row names what sets it apart: row_key with its row value.
    const char* row_key;
    std::array<double, Rows> row_values;
    bool whole_row_values;  // written as whole numbers: 10, not 10.0
    std::array<const char*, Rows> row_captions;
    std::array<const char*, Cols> column_captions;
    std::array<const char*, Cols> column_keys;  // the JSON's key of each column
    std::array<std::array<const char*, Cols>, Rows> cells;
};

// Chance of wealth falling to a level (rows, fractions of today's net
// investable wealth) within a horizon (columns).
inline constexpr FigureGrid<4, 4> kRuinFigures{
    "ruin_probability",
    FigureFormat::percent1,
    &ResultsRecord::ruin_grid,
    &ResultsRecord::ruin_error,
    100,  // percentage points
    2,
    "level",
    kRuinLevels,
    false,
    {"0% of initial NIW", "10 % of initial NIW", "25 % of initial NIW", "50 % of initial NIW"},
    {"10 Years", "20 Years", "30 Years", "Lifetime"},
    {"years_10", "years_20", "years_30", "lifetime"},
    {{{"Text2", "Text3", "Text4", "Text5"},
      {"Text6", "Text7", "Text29", "Text30"},
      {"Text31", "Text32", "Text33", "Text34"},
      {"Text35", "Text36", "Text37", "Text38"}}},
};

// The estate's percentiles (columns) at a horizon (rows), as multiples of
// today's net investable wealth.
inline constexpr FigureGrid<3, 3> kEstateFigures{
    "estate_multiple",
    FigureFormat::plain2,
    &ResultsRecord::estate_grid,
    &ResultsRecord::estate_error,
    1,
    3,
    "years",
    kGridHorizons,
    true,
    {"10 years:", "20 years:", "30 years:"},
    {"Bad (25%)", "Median", "Good (75%)"},
    {"bad", "median", "good"},
    {{{"Text54(0)", "Text55(0)", "Text56(0)"},
      {"Text57(0)", "Text58(0)", "Text59(0)"},
      {"Text60(0)", "Text61(0)", "Text62(0)"}}},
};

// Spending's percentiles (columns) at a horizon (rows), in today's money per
// year, conditional on survival. No results-screen cell shows them yet.
inline constexpr FigureGrid<3, 3> kSpendingFigures{
    "percentiles",
    FigureFormat::whole,
    &ResultsRecord::spending_grid,
    &ResultsRecord::spending_error,
    1,
    0,
    "years",
    kGridHorizons,
    true,
    {"10 years:", "20 years:", "30 years:"},
    {"25%", "Median", "75%"},
    {"p25", "median", "p75"},
    {{{"", "", ""}, {"", "", ""}, {"", "", ""}}},
};

// The result tabs, in their order.
enum class FigureTab { probability, wealth, consumption, mortality };

// A figure of its own, outside the grids.
struct Figure {
    FigureTab tab;
    const char* key;      // unique; the JSON's key where in_json
    const char* caption;  // beside the figure on its tab
    // The item's name in the comparison of cases; nullptr for an input
    // shown again beside the figures, which the comparison lists as an input.
    const char* item;
    const char* cell;  // the results screen's cell; nullptr where it has none
    bool in_json;
    FigureFormat format;
    double (*value)(const AnalysisState&, const ResultsRecord&);
    const std::string AnalysisState::*text;  // the text of a text figure
};

// In the order each tab shows them.
const std::vector<Figure>& published_figures();
// The figure of `key`; throws std::out_of_range for a key not in the table.
const Figure& published_figure(const char* key);

// The figure's text as its tab shows it.
std::string figure_text(const Figure& figure, const AnalysisState& state,
                        const ResultsRecord& results);
// The text of the figure's screen cell: dollars without the sign, which
// stands beside the cell.
std::string cell_text(const Figure& figure, const AnalysisState& state,
                      const ResultsRecord& results);

// Figures shown by the screens' rules: Int + 1 of the expected ages.
double life_expectancy_shown(const AnalysisState& state);
double ninetieth_percentile_age(const AnalysisState& state, const ResultsRecord& results);
double expected_ruin_age_shown(const ResultsRecord& results);

// The text published for a grid's cell; where none was published, the
// figure as the cell would show it.
template <std::size_t Rows, std::size_t Cols>
std::string shown_text(const ResultsRecord& results, const FigureGrid<Rows, Cols>& grid,
                       std::size_t row, std::size_t col) {
    const auto it = results.cells.find(grid.cells[row][col]);
    if (it != results.cells.end() && !it->second.empty()) return it->second;
    return format_figure(grid.format, (results.*grid.values)[row][col]);
}

// The number a grid's cell shows, for amounts reckoned from it; the raw
// figure where the text is no number.
double shown_or_raw(const std::string& text, double raw);
template <std::size_t Rows, std::size_t Cols>
double shown_value(const ResultsRecord& results, const FigureGrid<Rows, Cols>& grid,
                   std::size_t row, std::size_t col) {
    return shown_or_raw(shown_text(results, grid, row, col), (results.*grid.values)[row][col]);
}

// A refined figure's error estimate as shown beside it: "\u00b10.03"
// percentage points for a probability, "\u00b10.004" for an estate multiple;
// empty for figures of the standard scheme, which carry none.
std::string error_estimate_text(double scaled_error, int decimals);
template <std::size_t Rows, std::size_t Cols>
std::string error_text(const ResultsRecord& results, const FigureGrid<Rows, Cols>& grid,
                       std::size_t row, std::size_t col) {
    if (!results.refined) return {};
    return error_estimate_text(grid.error_scale * (results.*grid.errors)[row][col],
                               grid.error_decimals);
}

// Puts a figure into its grid and publishes its cell's text.
template <std::size_t Rows, std::size_t Cols>
void publish_figure(ResultSink& sink, ResultsRecord& results, const FigureGrid<Rows, Cols>& grid,
                    std::size_t row, std::size_t col, double value) {
    (results.*grid.values)[row][col] = value;
    sink.publish_result(grid.cells[row][col], format_figure(grid.format, value));
}

}  // namespace quorrel
