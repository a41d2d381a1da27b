// The table of published figures against what the calculation publishes and
// what the summaries and the comparison show: a figure in the table reaches
// each of them, with its caption and its text.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "analysis/case_comparison.h"
#include "analysis/case_summary.h"
#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "record/number_format.h"
#include "record/published_figures.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

struct Calculated {
    AnalysisState state;
    ResultsRecord results;
    std::vector<std::string> published;
};

const Calculated& calculated() {
    static const Calculated c = [] {
        Calculated d;
        apply_input_defaults(d.state);
        QuietHooks hooks;
        EXPECT_EQ(run_calculation(d.state, hooks, d.results), CalculationOutcome::completed);
        d.published = hooks.published;
        return d;
    }();
    return c;
}

// Every grid cell as (name, format, figure).
struct GridCell {
    const char* name;
    FigureFormat format;
    double figure;
};
std::vector<GridCell> grid_cells(const ResultsRecord& r) {
    std::vector<GridCell> cells;
    for (std::size_t row = 0; row < 4; ++row)
        for (std::size_t col = 0; col < 4; ++col)
            cells.push_back(
                {kRuinFigures.cells[row][col], kRuinFigures.format, r.ruin_grid[row][col]});
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t col = 0; col < 3; ++col)
            cells.push_back(
                {kEstateFigures.cells[row][col], kEstateFigures.format, r.estate_grid[row][col]});
    return cells;
}

TEST(PublishedFigures, TheCalculationPublishesEachGridCellOnceAsItsFigureFormatted) {
    const Calculated& c = calculated();
    std::set<std::string> names;
    for (const GridCell& cell : grid_cells(c.results)) {
        names.insert(cell.name);
        ASSERT_EQ(c.results.cells.count(cell.name), 1u) << cell.name;
        EXPECT_EQ(c.results.cells.at(cell.name), format_figure(cell.format, cell.figure))
            << cell.name;
    }
    EXPECT_EQ(names.size(), 25u);
    EXPECT_EQ(std::set<std::string>(c.published.begin(), c.published.end()), names);
    EXPECT_EQ(c.published.size(), names.size());
    // The figures outside the grids have cells of their own.
    for (const Figure& f : published_figures()) {
        if (f.cell != nullptr) {
            EXPECT_TRUE(names.insert(f.cell).second) << f.cell;
        }
    }
}

TEST(PublishedFigures, ACellNotPublishedShowsItsFigureAsTheCellWould) {
    ResultsRecord r;
    r.ruin_grid[1][2] = 0.4567;
    r.estate_grid[2][0] = 1.234;
    EXPECT_EQ(shown_text(r, kRuinFigures, 1, 2), "45.7%");
    EXPECT_EQ(shown_text(r, kEstateFigures, 2, 0), "1.23");
    EXPECT_DOUBLE_EQ(shown_value(r, kEstateFigures, 2, 0), 1.23);
    // A published text wins over the figure: it is what the person saw.
    r.cells[kEstateFigures.cells[2][0]] = "1.50";
    EXPECT_EQ(shown_text(r, kEstateFigures, 2, 0), "1.50");
    EXPECT_DOUBLE_EQ(shown_value(r, kEstateFigures, 2, 0), 1.5);
}

TEST(PublishedFigures, EachTabOfTheSummaryShowsItsFiguresAndGrids) {
    const Calculated& c = calculated();
    const std::vector<SummarySection> sections = results_summary(c.state, c.results);
    ASSERT_EQ(sections.size(), 4u);
    const auto shows = [&](std::size_t tab, const std::vector<std::string>& row) {
        for (const SummaryTable& t : sections[tab].tables)
            if (std::find(t.rows.begin(), t.rows.end(), row) != t.rows.end()) return true;
        return false;
    };
    for (const Figure& f : published_figures())
        EXPECT_TRUE(
            shows(static_cast<std::size_t>(f.tab), {f.caption, figure_text(f, c.state, c.results)}))
            << f.key;
    for (std::size_t row = 0; row < 4; ++row) {
        std::vector<std::string> line{kRuinFigures.row_captions[row]};
        for (std::size_t col = 0; col < 4; ++col)
            line.push_back(c.results.cells.at(kRuinFigures.cells[row][col]));
        EXPECT_TRUE(shows(0, line)) << row;
    }
    for (std::size_t row = 0; row < 3; ++row) {
        std::vector<std::string> multiples{kEstateFigures.row_captions[row]};
        std::vector<std::string> amounts{kEstateFigures.row_captions[row]};
        for (std::size_t col = 0; col < 3; ++col) {
            const std::string text = c.results.cells.at(kEstateFigures.cells[row][col]);
            multiples.push_back(text);
            amounts.push_back("$" +
                              format_grouped0(std::stod(text) * c.state.net_investable_wealth));
        }
        EXPECT_TRUE(shows(1, multiples)) << row;
        EXPECT_TRUE(shows(1, amounts)) << row;
    }
}

TEST(PublishedFigures, TheComparisonListsEveryFigureButTheInputsShownAgain) {
    const Calculated& c = calculated();
    const CaseComparison table = compare_cases({{"a", c.state, c.results}});
    std::vector<std::string> items;
    for (const ComparisonRow& row : table.rows) items.push_back(row.caption);
    for (const Figure& f : published_figures()) {
        const auto at = f.item ? std::find(items.begin(), items.end(), f.item) : items.end();
        EXPECT_EQ(at != items.end(), f.item != nullptr) << f.key;
        if (at != items.end()) {
            EXPECT_EQ(table.rows[static_cast<std::size_t>(at - items.begin())].values[0],
                      figure_text(f, c.state, c.results));
        }
    }
    // Sixteen probabilities, nine multiples and their nine amounts.
    const auto in = [&](const char* section) {
        return std::count_if(table.rows.begin(), table.rows.end(), [&](const ComparisonRow& r) {
            return r.section == section && r.caption.find(", ") != std::string::npos;
        });
    };
    EXPECT_EQ(in("Probability Results"), 16);
    EXPECT_EQ(in("Projected Wealth"), 18);
}

}  // namespace
}  // namespace quorrel
