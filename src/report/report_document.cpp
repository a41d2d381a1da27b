#include "report/report_document.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QGuiApplication>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextObjectInterface>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/case_comparison.h"
#include "analysis/case_summary.h"
#include "analysis/output_file.h"
#include "report/chart_geometry.h"
#include "report/chart_painter.h"
#include "report/explanations.h"

namespace quorrel {

namespace {

constexpr int kChartObjectType = QTextFormat::UserObject + 1;
constexpr int kChartIndexProperty = QTextFormat::UserProperty + 1;
constexpr const char* kReportTitle = "Retirement Ruin and Quorrel";
constexpr const char* kFontFamily = "DejaVu Sans";
constexpr double kBodyPoints = 9;
constexpr double kMarginMillimetres = 18;

// The charts as objects in the flow of the text: the layout gives each its
// place and size, and paint_chart draws it there, vectors and all.
class ChartObject : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    std::vector<ChartGeometry> charts;
    double width = 0;  // in the layout's units

    QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& format) override {
        const ChartGeometry& g =
            charts.at(static_cast<size_t>(format.intProperty(kChartIndexProperty)));
        return {width, width * g.height / g.width};
    }

    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int,
                    const QTextFormat& format) override {
        const ChartGeometry& g =
            charts.at(static_cast<size_t>(format.intProperty(kChartIndexProperty)));
        paint_chart(*painter, g, rect, ChartCaptions::painted, document->defaultFont());
    }
};

QString esc(const std::string& text) { return QString::fromStdString(text).toHtmlEscaped(); }

QString table_html(const SummaryTable& t) {
    QString html;
    if (!t.title.empty()) html += "<p class='caption'><b>" + esc(t.title) + "</b></p>";
    html += "<table class='grid' cellspacing='0' cellpadding='3' border='1'>";
    if (!t.header.empty()) {
        html += "<tr>";
        for (const std::string& h : t.header) html += "<th>" + esc(h) + "</th>";
        html += "</tr>";
    }
    for (const auto& row : t.rows) {
        html += "<tr>";
        for (size_t i = 0; i < row.size(); ++i)
            html += (i == 0 ? "<td>" : "<td align='right'>") + esc(row[i]) + "</td>";
        html += "</tr>";
    }
    return html + "</table>";
}

QString section_html(const SummarySection& s) {
    QString html = "<h3>" + esc(s.title) + "</h3>";
    for (const SummaryTable& t : s.tables) html += table_html(t);
    return html;
}

QString explanation_html(const char* text) {
    return "<p class='explanation'>" + QString::fromUtf8(text).trimmed().toHtmlEscaped() + "</p>";
}

const char* const kStyle =
    "h1 { font-size: 16pt; margin-bottom: 2pt; }"
    "h2 { font-size: 12pt; margin-top: 10pt; margin-bottom: 4pt; }"
    "h3 { font-size: 10pt; margin-top: 8pt; margin-bottom: 2pt; }"
    "p.caption { margin-top: 4pt; margin-bottom: 2pt; }"
    "p.explanation { margin-top: 6pt; }"
    "p.note { color: #0000ff; }"
    "table.grid { border-color: #808080; border-style: solid; border-collapse: collapse; }"
    "th { background-color: #eeeeee; font-weight: bold; }";

QString chart_marker_text(int index) { return QString("[[chart %1]]").arg(index); }

QString chart_marker(int index) { return "<p align='center'>" + chart_marker_text(index) + "</p>"; }

// The report's pages, each a document of its own so that every result tab
// starts on a fresh page. Chart 0 is the survival chart, 1 the income chart,
// 2 the spending chart (a rule other than fixed only).
std::vector<QString> page_html(const AnalysisState& s, const ResultsRecord& r,
                               const ReportHeading& heading, const ChartGeometry& survival) {
    const QString name = heading.case_name.isEmpty() ? QString(kUnnamedCase) : heading.case_name;
    const std::vector<SummarySection> inputs = input_summary(s);
    const std::vector<SummarySection> figures = results_summary(s, r);
    std::vector<QString> pages;

    // Who and what, the inputs in two columns.
    pages.push_back(
        "<h1>" + QString(kReportTitle).toHtmlEscaped() + "</h1>" +
        "<p><b>Results and Analysis</b><br/>Case: " + name.toHtmlEscaped() + "<br/>Date: " +
        QLocale::c().toString(heading.prepared, "yyyy-MM-dd HH:mm").toHtmlEscaped() + "</p>" +
        "<h2>Inputs</h2>"
        "<table width='100%' cellspacing='0' cellpadding='0' border='0'><tr>"
        "<td width='50%' valign='top'>" +
        section_html(inputs[0]) + section_html(inputs[1]) + section_html(inputs[4]) +
        (inputs.size() > 5 ? section_html(inputs[5]) : QString()) +
        "</td><td width='4%'></td><td width='46%' valign='top'>" + section_html(inputs[2]) +
        section_html(inputs[3]) + "</td></tr></table>");

    // The two tabs of tables, under the headline and the scheme that made
    // them; refined figures with their error estimates.
    QString errors;
    if (r.refined) {
        const auto error_of = [&r](const auto& grid) {
            return [&r, &grid](std::size_t row, std::size_t col) {
                return error_text(r, grid, row, col);
            };
        };
        errors = table_html(grid_table("Error estimates of the probabilities (percentage points)",
                                       "NIW hits", kRuinFigures, error_of(kRuinFigures))) +
                 table_html(grid_table("Error estimates of the estate multiples", "",
                                       kEstateFigures, error_of(kEstateFigures)));
    }
    pages.push_back("<h2>Results</h2><p><b>" + esc(headline_sentence(r)) + "</b><br/>" +
                    esc(scheme_sentence(r)) + "</p>" + section_html(figures[0]) +
                    explanation_html(explanations::kProbability) + section_html(figures[1]) +
                    explanation_html(explanations::kWealth) + errors);

    // The income chart and its figures, the twenty horizons side by side in
    // two halves.
    const SummaryTable& curve = figures[2].tables[0];
    SummaryTable left{"", curve.header, {}}, right{"", curve.header, {}};
    for (size_t i = 0; i < curve.rows.size(); ++i)
        (i < curve.rows.size() / 2 ? left : right).rows.push_back(curve.rows[i]);
    pages.push_back("<h2>" + esc(figures[2].title) + "</h2>" +
                    "<p align='center' style='color: #000080'><b>Expected Income Conditional on "
                    "Survival</b></p>" +
                    chart_marker(1) + "<p class='caption'><b>" + esc(curve.title) + "</b></p>" +
                    "<table width='100%' cellspacing='0' cellpadding='0' border='0'><tr>"
                    "<td width='48%' valign='top'>" +
                    table_html(left) + "</td><td width='4%'></td><td width='48%' valign='top'>" +
                    table_html(right) + "</td></tr></table>" +
                    explanation_html(explanations::kConsumption));

    // The mortality figures and the survival chart.
    QString mortality = "<h2>" + esc(figures[3].title) + "</h2>" +
                        table_html(figures[3].tables[0]) + "<p>&nbsp;</p>" + chart_marker(0);
    if (!survival.note.empty()) mortality += "<p class='note'>" + esc(survival.note) + "</p>";
    if (figures.size() > 4) mortality += section_html(figures[4]);
    pages.push_back(mortality + explanation_html(r.household.present
                                                     ? explanations::kHouseholdMortality
                                                     : explanations::kMortality));

    // Spending that follows wealth: its rule, chart and figures.
    if (s.spending_rule != 0) {
        const SummarySection spending = spending_section(s, r);
        QString html = "<h2>" + esc(spending.title) + "</h2>" + table_html(spending.tables[0]) +
                       "<p align='center' style='color: #000080'><b>Spending Conditional on "
                       "Survival</b></p>" +
                       chart_marker(2);
        for (std::size_t k = 1; k < spending.tables.size(); ++k)
            html += table_html(spending.tables[k]);
        pages.push_back(html + explanation_html(explanations::kSpending));
    }
    return pages;
}

// Replaces each chart marker paragraph by the chart object.
void insert_charts(QTextDocument& doc) {
    for (int index = 0; index < 3; ++index) {
        QTextCursor found = doc.find(chart_marker_text(index));
        if (found.isNull()) continue;
        QTextCharFormat object;
        object.setObjectType(kChartObjectType);
        object.setProperty(kChartIndexProperty, index);
        found.insertText(QString(QChar::ObjectReplacementCharacter), object);
    }
}

}  // namespace

namespace {

// Lays out each page's HTML as a document of its own (a long one runs on to
// further pages) on A4 in `orientation`, and paints them with the footer.
int paint_pages(QPagedPaintDevice& device, QPageLayout::Orientation orientation,
                const std::vector<QString>& pages_html, const QString& footer_name,
                const std::function<void(QTextDocument&, double body_width)>& prepare) {
    const QPageLayout layout(
        QPageSize(QPageSize::A4), orientation,
        QMarginsF(kMarginMillimetres, kMarginMillimetres, kMarginMillimetres, kMarginMillimetres),
        QPageLayout::Millimeter);
    device.setPageLayout(layout);
    QPainter painter;
    if (!painter.begin(&device)) return 0;

    // The painter's origin is the top left of the printable area inside the margins.
    const double footer = device.logicalDpiY() * 0.35;  // a third of an inch
    const QSizeF body(device.width(), device.height() - footer);

    QFont font(kFontFamily);
    font.setPointSizeF(kBodyPoints);
    // Any letter spacing turns the shaper's ligatures off, so "fi" stays two
    // letters that a reader's search and copy find.
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.05);

    std::vector<std::unique_ptr<QTextDocument>> docs;
    int pages = 0;
    for (const QString& html : pages_html) {
        auto doc = std::make_unique<QTextDocument>();
        doc->documentLayout()->setPaintDevice(&device);
        doc->setDefaultFont(font);
        doc->setDefaultStyleSheet(kStyle);
        doc->setDocumentMargin(0);
        doc->setPageSize(body);
        doc->setHtml(html);
        if (prepare) prepare(*doc, body.width());
        pages += doc->pageCount();
        docs.push_back(std::move(doc));
    }

    QFont footer_font = font;
    footer_font.setPointSizeF(kBodyPoints - 1);
    int page = 0;
    for (const auto& doc : docs) {
        for (int part = 0; part < doc->pageCount(); ++part, ++page) {
            if (page > 0 && !device.newPage()) return 0;
            painter.save();
            const QRectF clip(0, part * body.height(), body.width(), body.height());
            painter.translate(0, -clip.top());
            painter.setClipRect(clip);
            QAbstractTextDocumentLayout::PaintContext context;
            context.clip = clip;
            doc->documentLayout()->draw(&painter, context);
            painter.restore();

            painter.setFont(footer_font);
            painter.setPen(Qt::black);
            const QRectF foot(0, body.height(), body.width(), footer);
            painter.drawText(foot, Qt::AlignLeft | Qt::AlignBottom, footer_name);
            painter.drawText(foot, Qt::AlignRight | Qt::AlignBottom,
                             QString("Page %1 of %2").arg(page + 1).arg(pages));
        }
    }
    painter.end();
    return pages;
}

}  // namespace

int paint_report(QPagedPaintDevice& device, const AnalysisState& state,
                 const ResultsRecord& results, const ReportHeading& heading) {
    ChartObject charts;
    charts.charts = {survival_chart(state, results), income_chart(state, results)};
    if (state.spending_rule != 0) charts.charts.push_back(spending_chart(state, results));
    const QString name = heading.case_name.isEmpty() ? QString(kUnnamedCase) : heading.case_name;
    return paint_pages(device, QPageLayout::Portrait,
                       page_html(state, results, heading, charts.charts[0]), name,
                       [&charts](QTextDocument& doc, double body_width) {
                           charts.width = body_width * 0.85;
                           doc.documentLayout()->registerHandler(kChartObjectType, &charts);
                           insert_charts(doc);
                       });
}

int paint_comparison(QPagedPaintDevice& device, const CaseComparison& comparison,
                     const QDateTime& prepared) {
    const std::vector<std::string> columns = comparison_columns(comparison);
    QString html =
        "<h1>Comparison of cases</h1><p>Date: " +
        QLocale::c().toString(prepared, "yyyy-MM-dd HH:mm").toHtmlEscaped() +
        "<br/>Differences are to the first case, " +
        esc(comparison.case_names.empty() ? std::string() : comparison.case_names[0]) + ".<br/>" +
        esc(comparison_accuracy_sentence(comparison)) +
        "</p><table class='grid' width='100%' cellspacing='0' cellpadding='3' border='1'><tr>";
    for (size_t i = 1; i < columns.size(); ++i) html += "<th>" + esc(columns[i]) + "</th>";
    html += "</tr>";
    std::string section;
    for (const auto& cells : comparison_cells(comparison)) {
        if (cells[0] != section) {
            section = cells[0];
            html += "<tr><td colspan='" + QString::number(columns.size() - 1) +
                    "' bgcolor='#eeeeee'><b>" + esc(section) + "</b></td></tr>";
        }
        html += "<tr>";
        for (size_t i = 1; i < cells.size(); ++i)
            html += (i == 1 ? "<td>" : "<td align='right'>") + esc(cells[i]) + "</td>";
        html += "</tr>";
    }
    html += "</table>";
    return paint_pages(device, QPageLayout::Landscape, {html}, "Comparison of cases", {});
}

namespace {

// The report drawn as a PDF into `device`; false when nothing could be drawn.
bool draw_report_pdf(QIODevice& device, const AnalysisState& state, const ResultsRecord& results,
                     const ReportHeading& heading) {
    QPdfWriter writer(&device);
    writer.setResolution(600);
    writer.setTitle(QString(kReportTitle) + " - " +
                    (heading.case_name.isEmpty() ? QString(kUnnamedCase) : heading.case_name));
    writer.setCreator("Quorrel");
    return paint_report(writer, state, results, heading) > 0;
}

}  // namespace

std::string write_report_pdf(const QString& path, const AnalysisState& state,
                             const ResultsRecord& results, const ReportHeading& heading) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
    if (!draw_report_pdf(file, state, results, heading)) {
        file.cancelWriting();
        return "the report could not be drawn";
    }
    if (!file.commit()) return file.errorString().toStdString();
    return {};
}

std::string render_report_pdf(const std::string& path, const AnalysisState& state,
                              const ResultsRecord& results, const std::string& case_name) {
    // Refused before anything is drawn when the path may not be written.
    if (const OutputTarget target = output_target(path); !target.error.empty()) return target.error;
    static int argc = 3;
    static char name[] = "quorrel-cli", option[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    std::optional<QGuiApplication> app;
    if (!QGuiApplication::instance()) app.emplace(argc, argv);
    // Drawn in memory, then written as the case files are: through a link,
    // never over a device, leaving nothing behind on a failure.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!draw_report_pdf(buffer, state, results,
                         {QString::fromStdString(case_name), QDateTime::currentDateTime()}))
        return "the report could not be drawn";
    buffer.close();
    return replace_file_reason(
        path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace quorrel

#include "report_document.moc"
