// Several analyses side by side: the inputs in which they differ, then every
// figure of the four result tabs, each with its difference to the first
// (current) case. The comparison window, its printout, the CSV file and the
// command line render this one table.
#pragma once

#include <string>
#include <vector>

#include "record/analysis_state.h"
#include "record/results.h"

namespace quorrel {

struct ComparedCase {
    std::string name;
    AnalysisState state;
    ResultsRecord results;
};

struct ComparisonRow {
    std::string section;  // "Inputs that differ", then the result tabs' captions
    std::string caption;
    std::vector<std::string> values;       // one per case, the current case first
    std::vector<std::string> differences;  // one per case; empty for the current case, and
                                           // where the two texts are not numbers of one kind
};

struct CaseComparison {
    std::vector<std::string> case_names;
    std::vector<ComparisonRow> rows;
    // How the figures were calculated: "standard", "refined", or "mixed" when
    // the cases differ (figures of two schemes are not comparable).
    std::string accuracy;
};

inline constexpr const char* kDifferingInputs = "Inputs that differ";
// Where some case's spending follows wealth: the rule and its figures.
inline constexpr const char* kSpendingSection = "Spending";
// The figures only a household has, after the mortality figures.
inline constexpr const char* kHouseholdSection = "Household";
// Where a case has no such input or figure (a single person's spouse).
inline constexpr const char* kNotApplicable = "-";
// The last section: the accuracy of each case's figures.
inline constexpr const char* kCalculationSection = "Calculation";

// The sentence a comparison is headed by: "Every case was calculated at
// refined accuracy." (or standard; mixed cases are named as such).
std::string comparison_accuracy_sentence(const CaseComparison& comparison);

CaseComparison compare_cases(const std::vector<ComparedCase>& cases);

// The difference b - a of two shown figures ("12.3%", "$800,000", "0.85",
// "94"), in the format of the figures with an explicit sign: "+2.2%",
// "-$1,000", "0.00". Empty when either is not a number or their units differ.
std::string figure_difference(const std::string& a, const std::string& b);

// Column captions of the table: item, then each case, a difference column
// after every case but the first.
std::vector<std::string> comparison_columns(const CaseComparison& comparison);
// One line per row in the columns above: section, item, values, differences.
std::vector<std::vector<std::string>> comparison_cells(const CaseComparison& comparison);

// The table as CSV (RFC 4180: commas, fields quoted where needed, CRLF line
// ends), a header line first, with a "Section" column before the item.
std::string comparison_csv(const CaseComparison& comparison);

}  // namespace quorrel
