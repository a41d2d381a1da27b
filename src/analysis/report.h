// The text report that "Save Results" appends to a file.
#pragma once

#include <string>
#include <vector>

#include "record/analysis_state.h"
#include "record/results.h"

namespace quorrel {

// The 58 lines of one report (59 for a refined calculation, whose last line
// names the scheme), without line ends: text lines already wrapped
// in double quotes, separator lines as 20 blanks.
std::vector<std::string> report_lines(const AnalysisState& state, const ResultsRecord& results,
                                      const std::string& liquid_wealth_text,
                                      const std::string& date_time_text);

// `name` with ".txt" appended unless it already ends in it (any letter case).
std::string report_file_name(const std::string& name);

// Appends the lines to the file in one open-write-close. Returns an empty
// string on success, otherwise the reason the file could not be written.
// Appends are exclusive among processes that append this way; a failed one
// leaves the file exactly as it found it.
[[nodiscard]] std::string append_report(const std::string& path,
                                        const std::vector<std::string>& lines);

// A file-size limit then fails a write with an error instead of killing the
// program half-way through a report. Both programs call it at start.
void ignore_file_size_signal();

}  // namespace quorrel
