// One analysis as tables of texts: its inputs page by page and the figures of
// the four result tabs. The PDF report prints these and the comparison of
// cases lines them up, so both read the same captions and formats.
#pragma once

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

// The five input pages, with the figures the Go step derived from them.
std::vector<SummarySection> input_summary(const AnalysisState& state);

// The four result tabs: probabilities, estate multiples with their amounts,
// the expected income by horizon, and the mortality figures.
std::vector<SummarySection> results_summary(const AnalysisState& state,
                                            const ResultsRecord& results);

}  // namespace quorrel
