// The PDF report of the command line, in builds with Qt.
#pragma once

#include <string>

#include "record/analysis_state.h"
#include "record/results.h"

namespace quorrel {

// Writes the report document of the results screen to `path` as a PDF,
// starting a Qt application on the offscreen platform for it. Returns an
// empty string, or the reason it could not be written.
std::string write_pdf_report(const std::string& path, const AnalysisState& state,
                             const ResultsRecord& results, const std::string& case_name);

}  // namespace quorrel
