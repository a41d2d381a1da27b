#include "cli/cli_pdf.h"

#include <QGuiApplication>
#include <QtGlobal>
#include <optional>

#include "report/report_document.h"

namespace quorrel {
namespace {

QtMessageHandler previous_handler = nullptr;

// Passes on only what ends the program.
void fatal_only(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg && previous_handler) previous_handler(type, context, message);
}

}  // namespace

std::string write_pdf_report(const std::string& path, const AnalysisState& state,
                             const ResultsRecord& results, const std::string& case_name) {
    // Qt's notes while it starts without a desktop session (no runtime
    // folder, say) are not the user's business: standard error keeps to the
    // program's own one-line messages, and the outcome is the return value.
    previous_handler = qInstallMessageHandler(fatal_only);
    // The application is made here, with arguments fresh for each report:
    // Qt takes "-platform offscreen" out of the arguments it is given, so
    // arguments kept from an earlier report would name no platform.
    int argc = 3;
    char name[] = "quorrel-cli", option[] = "-platform", platform[] = "offscreen";
    char* argv[] = {name, option, platform, nullptr};
    std::optional<QGuiApplication> app;
    if (!QGuiApplication::instance()) app.emplace(argc, argv);
    std::string reason = render_report_pdf(path, state, results, case_name);
    app.reset();
    qInstallMessageHandler(previous_handler);
    return reason;
}

}  // namespace quorrel
