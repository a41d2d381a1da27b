// One analysis as tables of texts: its inputs page by page and the figures of
// the four result tabs. The PDF report prints these and the comparison of
// cases lines them up, so both read the same captions and formats.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "record/analysis_state.h"
#include "record/published_figures.h"
#include "record/results.h"

namespace quorrel {

struct SummaryTable {
    std::string title;                           // may be empty
    std::vector<std::string> header;             // column captions; empty for a caption-value list
    std::vector<std::vector<std::string>> rows;  // the row's caption, then its values
};

struct SummarySection {
    std::string title;  // the input page's or result tab's caption
    std::vector<SummaryTable> tables;
};

// A grid with its captions; text(row, col) is a cell's text.
template <std::size_t Rows, std::size_t Cols, class Text>
SummaryTable grid_table(const std::string& title, const std::string& corner,
                        const FigureGrid<Rows, Cols>& grid, const Text& text) {
    SummaryTable table{title, {corner}, {}};
    for (const char* c : grid.column_captions) table.header.push_back(c);
    for (std::size_t row = 0; row < Rows; ++row) {
        std::vector<std::string> cells{grid.row_captions[row]};
        for (std::size_t col = 0; col < Cols; ++col) cells.push_back(text(row, col));
        table.rows.push_back(cells);
    }
    return table;
}

// The five input pages, with the figures the Go step derived from them; a
// household's page last, only with a spouse.
std::vector<SummarySection> input_summary(const AnalysisState& state);

// A household's own figures: the lifetime ruin split by who was alive, the
// survival of each, the last death.
std::vector<SummaryTable> household_tables(const AnalysisState& state,
                                           const ResultsRecord& results);

// The four result tabs: probabilities, estate multiples with their amounts,
// the expected income by horizon, and the mortality figures; a household's
// figures last, only for a household.
std::vector<SummarySection> results_summary(const AnalysisState& state,
                                            const ResultsRecord& results);

// The spending rule as a person reads it: its caption ("Percent of wealth"),
// and the floor and ceiling in money a year, a record's 0 standing for its
// share of the target income.
std::string spending_rule_caption(const AnalysisState& state);
double spending_floor_amount(const AnalysisState& state);
double spending_ceiling_amount(const AnalysisState& state);
// The chance that spending is at the floor at a horizon of the spending
// grid, as shown ("12.3%").
std::string at_floor_text(const ResultsRecord& results, std::size_t row);
inline constexpr const char* kAtFloorCaption = "At the floor";

// The rule and its terms, caption and text: those of the rule, or every
// term whatever the rule (so that cases of different rules line up).
SummaryTable spending_terms(const AnalysisState& state, bool every_term);
// The rule, its terms, the spending percentiles in today's money with the
// chance of spending the floor, and their error estimates (standard errors
// of a simulation). For a rule other than fixed only: the fixed rule's
// figures say no more than the probabilities do.
SummarySection spending_section(const AnalysisState& state, const ResultsRecord& results);

// The results in plain words, for the screen, the PDF and the command line's
// tables. The headline: "In about 91 of 100 futures your money lasts as long
// as you do (lifetime ruin 9.0%)", from the lifetime ruin cell.
std::string headline_sentence(const ResultsRecord& results);
// Which scheme made the figures, and how far to trust them.
std::string scheme_sentence(const ResultsRecord& results);
inline constexpr const char* kStandardSchemeSentence =
    "Standard scheme: quick, may be off by a few points; tick Refined accuracy for converged "
    "figures.";
inline constexpr const char* kRefinedSchemeSentence =
    "Refined accuracy: converged figures, each with its error estimate (\u00b1).";
inline constexpr const char* kHouseholdSchemeSentence =
    "Household of two lives at refined accuracy: converged figures, each with its error "
    "estimate (\u00b1); figures within 10, 20 and 30 years count households with someone "
    "alive then.";
inline constexpr const char* kSimulatedSchemeSentence =
    "Simulated: the guardrails rule's spending depends on each path of returns, so every figure "
    "comes from simulated paths, each with its standard error (\u00b1).";
// A household has no expected ruin age: its spending cannot ignore death.
inline constexpr const char* kRuinAgeKey = "expected_ruin_age_shown";

}  // namespace quorrel
