// The text report that "Save Results" appends to a file.
#pragma once

#include <string>
#include <vector>

#include "core/analysis_state.h"
#include "core/results.h"

namespace quorrel {

// The 58 lines of one report, without line ends: text lines already wrapped
// in double quotes, separator lines as 20 blanks.
std::vector<std::string> report_lines(const AnalysisState& state, const ResultsRecord& results,
                                      const std::string& liquid_wealth_text,
                                      const std::string& date_time_text);

// `name` with ".txt" appended unless it already ends in it (any letter case).
std::string report_file_name(const std::string& name);

// Appends the lines to the file in one open-write-close. Returns an empty
// string on success, otherwise the reason the file could not be written.
std::string append_report(const std::string& path, const std::vector<std::string>& lines);

}  // namespace quorrel
