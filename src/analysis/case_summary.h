// One analysis as tables of texts: its inputs page by page and the figures of
// the four result tabs. The PDF report prints these and the comparison of
// cases lines them up, so both read the same captions and formats.
#pragma once

#include <string>
#include <vector>

#include "record/analysis_state.h"
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

// The five input pages, with the figures the Go step derived from them.
std::vector<SummarySection> input_summary(const AnalysisState& state);

// The four result tabs: probabilities, estate multiples with their amounts,
// the expected income by horizon, and the mortality figures.
std::vector<SummarySection> results_summary(const AnalysisState& state,
                                            const ResultsRecord& results);

// The figures shown beside the tables, by the screens' rules.
double life_expectancy_shown(const AnalysisState& state);  // Int + 1
double ninetieth_percentile_age(const AnalysisState& state, const ResultsRecord& results);
double expected_ruin_age_shown(const ResultsRecord& results);  // Int + 1
// Horizon i = 1..20 of the expected-income curve, in years from today.
double expected_income_horizon(const AnalysisState& state, int i);

// A published cell's text, or the raw figure formatted as the cell would be
// when the record has no text for it.
std::string probability_text(const ResultsRecord& results, int row, int col);
std::string estate_text(const ResultsRecord& results, int row, int col);
// The estate multiple as shown (the number in the cell), for money amounts.
double estate_multiple_shown(const ResultsRecord& results, int row, int col);

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
// A refined figure's error estimate as shown beside it: "\u00b10.03" percentage
// points for a probability, "\u00b10.004" for an estate multiple; empty for
// figures of the standard scheme, which carry none.
std::string probability_error_text(const ResultsRecord& results, int row, int col);
std::string estate_error_text(const ResultsRecord& results, int row, int col);

inline constexpr const char* kProbabilityRowCaptions[4] = {
    "0% of initial NIW", "10 % of initial NIW", "25 % of initial NIW", "50 % of initial NIW"};
inline constexpr const char* kProbabilityColumnCaptions[4] = {"10 Years", "20 Years", "30 Years",
                                                              "Lifetime"};
inline constexpr const char* kEstateRowCaptions[3] = {"10 years:", "20 years:", "30 years:"};
inline constexpr const char* kEstateColumnCaptions[3] = {"Bad (25%)", "Median", "Good (75%)"};

}  // namespace quorrel
