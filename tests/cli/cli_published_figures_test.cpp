// Every figure of the table of published figures in the command line's
// tables and JSON: a figure added to the table shows in both.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "cli/cli.h"
#include "cli/cli_output.h"
#include "record/published_figures.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

using nlohmann::json;

struct Printed {
    AnalysisState state;
    ResultsRecord results;
    std::vector<std::string> lines;
    json j;
};

const Printed& printed() {
    static const Printed p = [] {
        Printed d;
        apply_input_defaults(d.state);
        QuietHooks hooks;
        EXPECT_EQ(run_calculation(d.state, hooks, d.results), CalculationOutcome::completed);
        std::ostringstream out;
        print_tables(out, d.state, d.results);
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) d.lines.push_back(line);
        d.j = results_json(d.state, d.results);
        return d;
    }();
    return p;
}

// The line that starts with `caption` after the indent, or "".
std::string line_of(const std::vector<std::string>& lines, const std::string& caption) {
    for (const std::string& line : lines)
        if (line.rfind("  " + caption, 0) == 0) return line;
    return {};
}

// The words of a line, split at runs of blanks.
std::vector<std::string> words_after(const std::string& line, const std::string& caption) {
    std::istringstream in(line.substr(2 + caption.size()));
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

TEST(CliPublishedFigures, EachFigureIsALineOfItsCaptionAndText) {
    const Printed& p = printed();
    for (const Figure& f : published_figures()) {
        if (f.tab != FigureTab::probability && f.tab != FigureTab::mortality) continue;
        const std::string line = line_of(p.lines, f.caption);
        ASSERT_FALSE(line.empty()) << f.key;
        EXPECT_EQ(words_after(line, f.caption),
                  std::vector<std::string>{figure_text(f, p.state, p.results)})
            << f.key;
    }
}

template <std::size_t Rows, std::size_t Cols>
void expect_grid(const Printed& p, const FigureGrid<Rows, Cols>& grid) {
    const json& rows = p.j.at(grid.key);
    ASSERT_EQ(rows.size(), Rows);
    for (std::size_t row = 0; row < Rows; ++row) {
        std::vector<std::string> texts;
        for (std::size_t col = 0; col < Cols; ++col) {
            texts.push_back(p.results.cells.at(grid.cells[row][col]));
            EXPECT_EQ(rows[row].at(grid.column_keys[col]).template get<double>(),
                      (p.results.*grid.values)[row][col])
                << grid.key << row << col;
        }
        EXPECT_EQ(rows[row].at(grid.row_key).template get<double>(), grid.row_values[row]);
        EXPECT_EQ(words_after(line_of(p.lines, grid.row_captions[row]), grid.row_captions[row]),
                  texts)
            << grid.key << row;
    }
}

TEST(CliPublishedFigures, EachGridIsAJsonListAndATableOfItsCells) {
    expect_grid(printed(), kRuinFigures);
    expect_grid(printed(), kEstateFigures);
}

TEST(CliPublishedFigures, EachFigureOfTheJsonIsItsValue) {
    const Printed& p = printed();
    int in_json = 0;
    for (const Figure& f : published_figures()) {
        EXPECT_EQ(p.j.contains(f.key), f.in_json) << f.key;
        if (!f.in_json) continue;
        ++in_json;
        EXPECT_EQ(p.j.at(f.key).get<double>(), f.value(p.state, p.results)) << f.key;
    }
    EXPECT_GE(in_json, 4);
}

}  // namespace
}  // namespace quorrel
