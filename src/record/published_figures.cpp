#include "record/published_figures.h"

#include <cmath>
#include <stdexcept>
#include <string_view>

#include "record/number_format.h"

namespace quorrel {

std::string format_figure(FigureFormat format, double value) {
    switch (format) {
        case FigureFormat::percent1: return format_percent1(value);
        case FigureFormat::plain2: return format_plain2(value);
        case FigureFormat::whole: return std::isfinite(value) ? format_grouped0(value) : "-";
        case FigureFormat::dollars: return "$" + format_grouped0(value);
        case FigureFormat::text: break;
    }
    return {};
}

double life_expectancy_shown(const AnalysisState& s) {
    return life_expectancy_shown(s.expected_death_age);
}

double ninetieth_percentile_age(const AnalysisState& s, const ResultsRecord& r) {
    return r.ninetieth_percentile_index + s.current_age;
}

double expected_ruin_age_shown(const ResultsRecord& r) {
    // Int + 1, as the life expectancy.
    return life_expectancy_shown(r.expected_ruin_age);
}

namespace {

double net_investable_wealth(const AnalysisState& s, const ResultsRecord&) {
    return s.net_investable_wealth;
}
double consumption_deficit(const AnalysisState& s, const ResultsRecord&) {
    return s.consumption_deficit;
}
double current_age(const AnalysisState& s, const ResultsRecord&) { return s.current_age; }
double life_expectancy(const AnalysisState& s, const ResultsRecord&) {
    return life_expectancy_shown(s);
}
double ruin_age(const AnalysisState&, const ResultsRecord& r) { return expected_ruin_age_shown(r); }

}  // namespace

const std::vector<Figure>& published_figures() {
    using F = FigureFormat;
    using T = FigureTab;
    static const std::vector<Figure> figures = {
        {T::probability, "net_investable_wealth", "Your Net Investable Wealth (NIW) is :",
         "Net Investable Wealth (NIW)", "Text1", true, F::dollars, net_investable_wealth, nullptr},
        {T::probability, "consumption_deficit", "Your Net Consumption Deficit is:",
         "Net Consumption Deficit", "Text45", true, F::dollars, consumption_deficit, nullptr},
        {T::mortality, "current_age", "Current Age:", nullptr, nullptr, false, F::whole,
         current_age, nullptr},
        {T::mortality, "life_expectancy", "Life Expectancy:", "Life Expectancy", "Text43", true,
         F::whole, life_expectancy, nullptr},
        {T::mortality, "gender", "Gender:", nullptr, "Text44(1)", false, F::text, nullptr,
         &AnalysisState::gender_text},
        {T::mortality, "ninetieth_percentile_age", "90th Percentile:", "90th Percentile",
         "Text44(0)", true, F::whole, ninetieth_percentile_age, nullptr},
        {T::mortality, "expected_ruin_age_shown", "Expected Ruin Age:", "Expected Ruin Age",
         nullptr, false, F::whole, ruin_age, nullptr},
    };
    return figures;
}

const Figure& published_figure(const char* key) {
    for (const Figure& f : published_figures())
        if (std::string_view(f.key) == key) return f;
    throw std::out_of_range(std::string("no published figure ") + key);
}

std::string figure_text(const Figure& f, const AnalysisState& s, const ResultsRecord& r) {
    if (f.format == FigureFormat::text) return s.*f.text;
    return format_figure(f.format, f.value(s, r));
}

std::string cell_text(const Figure& f, const AnalysisState& s, const ResultsRecord& r) {
    if (f.format == FigureFormat::dollars) return format_grouped0(f.value(s, r));
    return figure_text(f, s, r);
}

std::string error_estimate_text(double scaled_error, int decimals) {
    return "\u00b1" + fixed_text(scaled_error, decimals);
}

double shown_or_raw(const std::string& text, double raw) {
    if (auto parsed = parse_amount(text)) return *parsed;
    return raw;
}

}  // namespace quorrel
