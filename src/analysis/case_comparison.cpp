#include "analysis/case_comparison.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>

#include "analysis/case_summary.h"
#include "record/number_format.h"
#include "record/published_figures.h"

namespace quorrel {

namespace {

// A shown figure taken apart: "$1,234" is 1234 in dollars with no decimals,
// "12.3%" is 12.3 percent with one.
struct ShownNumber {
    double value = 0;
    int decimals = 0;
    bool dollars = false;
    bool percent = false;
    bool grouped = false;
};

std::optional<ShownNumber> shown_number(std::string text) {
    ShownNumber n;
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.erase(0, 1);
    }
    if (!text.empty() && text.front() == '$') {
        n.dollars = true;
        text.erase(0, 1);
    }
    if (!negative && !text.empty() && text.front() == '-') {  // "$-1,000"
        negative = true;
        text.erase(0, 1);
    }
    if (!text.empty() && text.back() == '%') {
        n.percent = true;
        text.pop_back();
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    const auto parsed = parse_amount(text);
    if (!parsed) return std::nullopt;
    const auto point = text.find('.');
    n.decimals = point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
    n.grouped = n.dollars || text.find(',') != std::string::npos;
    n.value = negative ? -*parsed : *parsed;
    return n;
}

std::string fixed(double value, int decimals, bool grouped) {
    if (grouped && decimals == 0) return format_grouped0(value);
    if (grouped && decimals == 2) return format_grouped2(value);
    return fixed_text(value, decimals);
}

void add_row(CaseComparison& c, const std::string& section, const std::string& caption,
             std::vector<std::string> values) {
    ComparisonRow row{section, caption, std::move(values), {}};
    for (size_t i = 0; i < row.values.size(); ++i)
        row.differences.push_back(i == 0 ? std::string()
                                         : figure_difference(row.values[0], row.values[i]));
    c.rows.push_back(std::move(row));
}

// A caption without its closing colon and with single blanks.
std::string tidy(const std::string& caption) {
    std::string out;
    for (char ch : caption)
        if (ch != ' ' || (!out.empty() && out.back() != ' ')) out += ch;
    while (!out.empty() && (out.back() == ' ' || out.back() == ':')) out.pop_back();
    return out;
}

// Every input of a case as (caption, text), in the order of the input pages.
std::vector<std::pair<std::string, std::string>> flat_inputs(const AnalysisState& s) {
    std::vector<std::pair<std::string, std::string>> items;
    for (const SummarySection& section : input_summary(s))
        for (const SummaryTable& table : section.tables) {
            // A table whose title is a question is named by its page.
            const std::string group = tidy(
                table.title.empty() || table.title.back() == ':' ? section.title : table.title);
            for (const auto& row : table.rows)
                for (size_t col = 1; col < row.size(); ++col) {
                    std::string caption = group + ": " + tidy(row[0]);
                    if (col < table.header.size() && row.size() > 2)
                        caption += ", " + table.header[col];
                    items.emplace_back(caption, row[col]);
                }
        }
    return items;
}

// The figures only a household has, "-" in a single person's column:
// the lifetime ruin split by who was alive, and the last death.
void household_rows(CaseComparison& c, const std::vector<ComparedCase>& cases) {
    const auto each = [&cases](auto text_of) {
        std::vector<std::string> values;
        for (const ComparedCase& k : cases)
            values.push_back(k.results.household.present ? text_of(k.results.household)
                                                         : std::string(kNotApplicable));
        return values;
    };
    for (std::size_t level = 0; level < 4; ++level) {
        const std::string row = tidy(kRuinFigures.row_captions[level]);
        add_row(c, kHouseholdSection, "Lifetime ruin while both were alive, " + row,
                each([level](const HouseholdFigures& h) {
                    return format_percent2(h.lifetime_ruin_both[level]);
                }));
        add_row(c, kHouseholdSection, "Lifetime ruin while a survivor lived, " + row,
                each([level](const HouseholdFigures& h) {
                    return format_percent2(h.lifetime_ruin_survivor[level]);
                }));
    }
    add_row(c, kHouseholdSection, "Your age at the last death, expected",
            each([](const HouseholdFigures& h) { return fixed_text(h.expected_last_death_age, 1); }));
    add_row(c, kHouseholdSection, "Your age at the last death, 90th percentile",
            each([](const HouseholdFigures& h) { return fixed_text(h.last_death_age_90, 1); }));
}

}  // namespace

std::string figure_difference(const std::string& a, const std::string& b) {
    const auto x = shown_number(a), y = shown_number(b);
    if (!x || !y || x->dollars != y->dollars || x->percent != y->percent) return {};
    const int decimals = std::max(x->decimals, y->decimals);
    const double scale = std::pow(10.0, decimals);
    const double d = std::round((y->value - x->value) * scale) / scale;
    const std::string magnitude = fixed(std::fabs(d), decimals, x->grouped || y->grouped);
    const std::string sign = d > 0 ? "+" : d < 0 ? "-" : "";
    return sign + (x->dollars ? "$" : "") + magnitude + (x->percent ? "%" : "");
}

namespace {

// Each case's text of a row.
template <typename TextOf>
std::vector<std::string> values_of(const std::vector<ComparedCase>& cases, TextOf text_of) {
    std::vector<std::string> values;
    for (const ComparedCase& k : cases) values.push_back(text_of(k.state, k.results));
    return values;
}

// Words, not figures: the last row's differences say whether each case's
// value is the first case's.
void mark_same_or_differs(CaseComparison& c) {
    ComparisonRow& row = c.rows.back();
    for (std::size_t i = 1; i < row.values.size(); ++i)
        row.differences[i] = row.values[i] == row.values[0] ? "same" : "differs";
}

void add_row_if_differing(CaseComparison& c, const std::string& caption,
                          const std::vector<std::string>& values) {
    if (std::any_of(values.begin(), values.end(),
                    [&](const std::string& v) { return v != values[0]; }))
        add_row(c, kDifferingInputs, caption, values);
}

// Matched by caption: a household's inputs have a page a single person's
// have not, shown as "-" in the single person's column. Then the spending
// rule's terms, every one whatever the rule, so that cases of different
// rules line up.
void differing_input_rows(CaseComparison& c, const std::vector<ComparedCase>& cases) {
    std::vector<std::vector<std::pair<std::string, std::string>>> inputs;
    for (const ComparedCase& k : cases) inputs.push_back(flat_inputs(k.state));
    std::vector<std::string> captions;
    for (const auto& each : inputs)
        for (const auto& item : each)
            if (std::find(captions.begin(), captions.end(), item.first) == captions.end())
                captions.push_back(item.first);
    for (const std::string& caption : captions) {
        std::vector<std::string> values;
        for (const auto& each : inputs) {
            const auto at = std::find_if(each.begin(), each.end(),
                                         [&](const auto& item) { return item.first == caption; });
            values.push_back(at == each.end() ? kNotApplicable : at->second);
        }
        add_row_if_differing(c, caption, values);
    }
    std::vector<SummaryTable> terms;
    for (const ComparedCase& k : cases) terms.push_back(spending_terms(k.state, true));
    for (size_t i = 0; i < terms[0].rows.size(); ++i) {
        std::vector<std::string> values;
        for (const SummaryTable& t : terms) values.push_back(t.rows[i][1]);
        add_row_if_differing(c, "Spending: " + tidy(terms[0].rows[i][0]), values);
    }
}

void probability_and_wealth_rows(CaseComparison& c, const std::vector<ComparedCase>& cases) {
    const std::string probability = "Probability Results";
    for (std::size_t row = 0; row < 4; ++row)
        for (std::size_t col = 0; col < 4; ++col)
            add_row(c, probability,
                    std::string(kRuinFigures.row_captions[row]) + ", " +
                        kRuinFigures.column_captions[col],
                    values_of(cases, [&](const AnalysisState&, const ResultsRecord& r) {
                        return shown_text(r, kRuinFigures, row, col);
                    }));

    const std::string wealth = "Projected Wealth";
    for (std::size_t row = 0; row < 3; ++row)
        for (std::size_t col = 0; col < 3; ++col) {
            std::string caption = std::string(kEstateFigures.column_captions[col]) + ", " +
                                  kEstateFigures.row_captions[row];
            caption.pop_back();  // the row caption's colon
            add_row(c, wealth, caption + " (multiple of NIW)",
                    values_of(cases, [&](const AnalysisState&, const ResultsRecord& r) {
                        return shown_text(r, kEstateFigures, row, col);
                    }));
            add_row(c, wealth, caption + " (amount)",
                    values_of(cases, [&](const AnalysisState& s, const ResultsRecord& r) {
                        return "$" + format_grouped0(shown_value(r, kEstateFigures, row, col) *
                                                     s.net_investable_wealth);
                    }));
        }
}

// Spending only where some case's follows wealth: under the fixed rule its
// figures repeat the probabilities.
void spending_rows(CaseComparison& c, const std::vector<ComparedCase>& cases) {
    if (std::none_of(cases.begin(), cases.end(),
                     [](const ComparedCase& k) { return k.state.spending_rule != 0; }))
        return;
    add_row(c, kSpendingSection, "Spending rule",
            values_of(cases, [](const AnalysisState& s, const ResultsRecord&) {
                return spending_rule_caption(s);
            }));
    mark_same_or_differs(c);
    for (std::size_t row = 0; row < 3; ++row) {
        std::string when = kSpendingFigures.row_captions[row];
        when.pop_back();  // its colon
        for (std::size_t col = 0; col < 3; ++col)
            add_row(c, kSpendingSection,
                    std::string(kSpendingFigures.column_captions[col]) + ", " + when,
                    values_of(cases, [&](const AnalysisState&, const ResultsRecord& r) {
                        return "$" + shown_text(r, kSpendingFigures, row, col);
                    }));
        add_row(c, kSpendingSection, std::string(kAtFloorCaption) + ", " + when,
                values_of(cases, [&](const AnalysisState&, const ResultsRecord& r) {
                    return at_floor_text(r, row);
                }));
    }
}

}  // namespace

CaseComparison compare_cases(const std::vector<ComparedCase>& cases) {
    CaseComparison c;
    for (const ComparedCase& k : cases) c.case_names.push_back(k.name);
    if (cases.empty()) return c;
    differing_input_rows(c, cases);

    const auto figures = [&](FigureTab tab, const std::string& section) {
        for (const Figure& f : published_figures())
            if (f.tab == tab && f.item != nullptr)
                add_row(c, section, f.item,
                        values_of(cases, [&f](const AnalysisState& s, const ResultsRecord& r) {
                            // A household has no expected ruin age.
                            if (r.household.present && f.key == std::string_view(kRuinAgeKey))
                                return std::string(kNotApplicable);
                            return figure_text(f, s, r);
                        }));
    };
    figures(FigureTab::probability, "Probability Results");
    probability_and_wealth_rows(c, cases);
    figures(FigureTab::mortality, "Mortality Parameters");
    if (std::any_of(cases.begin(), cases.end(),
                    [](const ComparedCase& k) { return k.results.household.present; }))
        household_rows(c, cases);
    spending_rows(c, cases);

    const auto accuracy = [](const ResultsRecord& r) {
        return std::string(r.refined ? "refined" : "standard");
    };
    add_row(c, kCalculationSection, "Accuracy",
            values_of(cases, [](const AnalysisState&, const ResultsRecord& r) {
                return r.refined ? std::string("Refined") : std::string("Standard");
            }));
    mark_same_or_differs(c);
    c.accuracy = accuracy(cases[0].results);
    for (const ComparedCase& k : cases)
        if (accuracy(k.results) != c.accuracy) c.accuracy = "mixed";
    return c;
}

std::string comparison_accuracy_sentence(const CaseComparison& c) {
    if (c.accuracy == "mixed")
        return "The cases were calculated at different accuracies: their differences mix the "
               "two schemes' errors.";
    return "Every case was calculated at " + c.accuracy + " accuracy.";
}

std::vector<std::string> comparison_columns(const CaseComparison& c) {
    std::vector<std::string> columns{"Section", "Item"};
    for (size_t i = 0; i < c.case_names.size(); ++i) {
        columns.push_back(c.case_names[i]);
        if (i > 0) columns.push_back("Difference");
    }
    return columns;
}

std::vector<std::vector<std::string>> comparison_cells(const CaseComparison& c) {
    std::vector<std::vector<std::string>> lines;
    for (const ComparisonRow& row : c.rows) {
        std::vector<std::string> cells{row.section, row.caption};
        for (size_t i = 0; i < row.values.size(); ++i) {
            cells.push_back(row.values[i]);
            if (i > 0) cells.push_back(row.differences[i]);
        }
        lines.push_back(std::move(cells));
    }
    return lines;
}

std::string comparison_csv(const CaseComparison& c) {
    const auto field = [](const std::string& text) {
        const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                           (!text.empty() && (text.front() == ' ' || text.back() == ' '));
        if (!quote) return text;
        std::string out = "\"";
        for (char ch : text) {
            if (ch == '"') out += '"';
            out += ch;
        }
        return out + "\"";
    };
    const auto line = [&field](const std::vector<std::string>& cells) {
        std::string out;
        for (size_t i = 0; i < cells.size(); ++i) out += (i ? "," : "") + field(cells[i]);
        return out + "\r\n";
    };
    std::string csv = line(comparison_columns(c));
    for (const auto& cells : comparison_cells(c)) csv += line(cells);
    return csv;
}

}  // namespace quorrel
