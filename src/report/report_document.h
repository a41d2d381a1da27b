// The printable report of one analysis: a title page with the inputs, then
// the four result tabs' figures with their explanations and both charts,
// painted by the charts' own painter. It goes to a PDF file, to a printer or
// into a print preview through the same painting.
#pragma once

#include <QDateTime>
#include <QString>
#include <string>

#include "record/analysis_state.h"
#include "analysis/case_comparison.h"
#include "record/results.h"

class QPagedPaintDevice;

namespace quorrel {

struct ReportHeading {
    QString case_name;   // empty: an unsaved case
    QDateTime prepared;  // shown as the report's date
};

// What the report says for a case without a name.
inline constexpr const char* kUnnamedCase = "Unsaved case";

// Lays the report out on A4 pages of `device` and paints it. Returns the
// number of pages, or 0 when the device could not be painted on.
int paint_report(QPagedPaintDevice& device, const AnalysisState& state,
                 const ResultsRecord& results, const ReportHeading& heading);

// The comparison of cases as a table on landscape A4 pages, numbered.
int paint_comparison(QPagedPaintDevice& device, const CaseComparison& comparison,
                     const QDateTime& prepared);

// Writes the report as a PDF file, replacing `path` only once the whole file
// is written. Needs a QGuiApplication. Returns an empty string on success,
// otherwise the reason.
std::string write_report_pdf(const QString& path, const AnalysisState& state,
                             const ResultsRecord& results, const ReportHeading& heading);

// For programs without a window: starts a QGuiApplication on the offscreen
// platform when none runs, then writes the PDF as above, dated now.
std::string render_report_pdf(const std::string& path, const AnalysisState& state,
                              const ResultsRecord& results, const std::string& case_name);

}  // namespace quorrel
