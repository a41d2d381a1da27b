// The command line's tables and JSON.
#include "cli/cli_output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <iomanip>
#include <locale>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "analysis/case_summary.h"
#include "analysis/input_catalogue.h"
#include "record/number_format.h"
#include "record/published_figures.h"
#include "engine/model/model.h"

namespace quorrel {
namespace {

using nlohmann::json;

// Whatever the process locale (the PDF report starts Qt, which sets it from
// the environment), figures are written with a point.
std::string printed(const char* format, double value) { return c_format(format, value); }

// Horizons and ages of the income curve are whole or half years.
std::string one_decimal(double value) { return printed("%.1f", value); }

// A simulated figure and its standard error: "1.64% +-0.01", "0.712 +-0.004".
std::string plus_minus(const McEstimate& e, bool percent) {
    const double scale = percent ? 100 : 1;
    std::string text = printed(percent ? "%.2f%%" : "%.3f", e.value * scale);
    if (std::isfinite(e.standard_error))
        text += printed(percent ? " +-%.2f" : " +-%.3f", e.standard_error * scale);
    return text;
}

// A figure of the JSON; a standard error that could not be estimated is null.
// With an agreement, whether the refined figure agrees with it.
json estimate_json(const McEstimate& e, const Agreement* agreement = nullptr) {
    json j = {{"value", e.value},
              {"standard_error",
               std::isfinite(e.standard_error) ? json(e.standard_error) : json(nullptr)}};
    if (agreement != nullptr)
        j["agrees"] = *agreement == Agreement::unknown ? json(nullptr)
                                                       : json(*agreement == Agreement::agrees);
    return j;
}

constexpr int kSimulatedWidth = 15;
// The mark of a cell whose text the grid, not the model, decides.
constexpr const char* kMark = "*";
// The mark of a probability that breaks the order of the grid.
constexpr const char* kOrderMark = "!";
// The mark of a refined figure its simulation does not bear out.
constexpr const char* kDisagreeMark = "?";

bool disagrees(Agreement a) { return a == Agreement::disagrees; }

std::string disagree_note() {
    return std::string("  ") + kDisagreeMark +
           " farther from its simulated figure than 3 standard errors plus its error estimate\n";
}

using CellText = std::function<std::string(size_t row, size_t col)>;
// The marks of a cell, "" for none.
using CellMarks = std::function<std::string(size_t row, size_t col)>;

struct GridLayout {
    std::string corner;
    int caption_width = 0;
    int cell_width = 0;
    std::vector<std::string> columns, rows;
};

template <std::size_t Rows, std::size_t Cols>
GridLayout grid_layout(const FigureGrid<Rows, Cols>& grid, std::string corner, int caption_width,
                       int cell_width) {
    return {std::move(corner),
            caption_width,
            cell_width,
            {grid.column_captions.begin(), grid.column_captions.end()},
            {grid.row_captions.begin(), grid.row_captions.end()}};
}

// A grid with its row and column captions, aligned; with `simulated`, a
// column of the simulated figure after each column. When a cell is
// marked, each cell has room for the most marks any cell has, and the
// marked ones carry theirs. Returns every mark printed.
std::string print_grid(std::ostream& out, const GridLayout& g, const CellText& text,
                       const CellText& simulated, const CellMarks& marks_of) {
    std::string marks;
    size_t room = 0;
    for (size_t row = 0; row < g.rows.size(); ++row)
        for (size_t col = 0; col < g.columns.size(); ++col) {
            const std::string m = marks_of(row, col);
            marks += m;
            room = std::max(room, m.size());
        }
    const auto with_mark = [room](const std::string& text, const std::string& mark) {
        return text + mark + std::string(room - mark.size(), ' ');
    };
    std::ostringstream head;
    head.imbue(std::locale::classic());
    head << "  " << std::left << std::setw(g.caption_width) << g.corner << std::right;
    for (const std::string& c : g.columns) {
        head << std::setw(g.cell_width) << with_mark(c, "");
        if (simulated) head << std::setw(kSimulatedWidth) << "simulated";
    }
    std::string header = head.str();
    header.erase(header.find_last_not_of(' ') + 1);
    out << header << '\n';
    for (size_t row = 0; row < g.rows.size(); ++row) {
        out << "  " << std::left << std::setw(g.caption_width) << g.rows[row] << std::right;
        for (size_t col = 0; col < g.columns.size(); ++col) {
            out << std::setw(g.cell_width) << with_mark(text(row, col), marks_of(row, col));
            if (simulated) out << std::setw(kSimulatedWidth) << simulated(row, col);
        }
        out << '\n';
    }
    return marks;
}

// Refined figures: the grid again, each cell its figure's error estimate,
// written with an ASCII "+-" like the simulated figures.
void print_error_estimates(std::ostream& out, const ResultsRecord& r, GridLayout layout,
                           const CellText& error, const char* unit) {
    if (!r.refined) return;
    out << "  Error estimates (" << unit << "):\n";
    layout.corner.clear();
    const CellText ascii = [&error](size_t row, size_t col) {
        std::string text = error(row, col);
        const std::string plus_minus = "\u00b1";
        if (text.rfind(plus_minus, 0) == 0) text = "+-" + text.substr(plus_minus.size());
        return text;
    };
    print_grid(out, layout, ascii, {}, [](size_t, size_t) { return std::string(); });
}

// Where the standard scheme points to the refined one.
std::string refined_pointer(const ResultsRecord& r) {
    return r.refined ? "" : "; --accuracy refined gives the model's figure";
}

void print_probabilities(std::ostream& out, const AnalysisState& s, const ResultsRecord& r,
                         const MonteCarloResults* mc, const CrossCheck* check) {
    out << headline_sentence(r) << "\n\n"
        << "Probability Results\n";
    for (const Figure& f : published_figures())
        if (f.tab == FigureTab::probability)
            out << "  " << f.caption << ' ' << figure_text(f, s, r) << '\n';
    out << '\n';
    const GridLayout layout = grid_layout(kRuinFigures, "Probability NIW hits", 22, 10);
    const CellText text = [&](size_t row, size_t col) {
        return shown_text(r, kRuinFigures, row, col);
    };
    CellText simulated;
    if (mc)
        simulated = [mc](size_t row, size_t col) { return plus_minus(mc->ruin[row][col], true); };
    const CellMarks marks_of = [&r, check](size_t row, size_t col) {
        std::string m;
        if (r.barrier_at_start[row][col]) m += kMark;
        if (r.ruin_out_of_order[row][col]) m += kOrderMark;
        if (check && disagrees(check->ruin[row][col])) m += kDisagreeMark;
        return m;
    };
    const std::string marks = print_grid(out, layout, text, simulated, marks_of);
    if (marks.find(kMark) != std::string::npos) {
        out << "  " << kMark
            << " today's wealth is less than one grid node above this level, so the barrier "
            << "sits on today's node and the figure is 100% whatever the income"
            << refined_pointer(r) << '\n';
    }
    if (marks.find(kOrderMark) != std::string::npos) {
        out << "  " << kOrderMark
            << " out of order with another marked figure: a ruin probability never falls over a "
            << "longer horizon and never rises at a lower level; an error of the standard scheme"
            << refined_pointer(r) << '\n';
    }
    if (marks.find(kDisagreeMark) != std::string::npos) out << disagree_note();
    print_error_estimates(
        out, r, layout,
        [&r](size_t row, size_t col) { return error_text(r, kRuinFigures, row, col); },
        "percentage points");
}

void print_estates(std::ostream& out, const AnalysisState& s, const ResultsRecord& r,
                   const MonteCarloResults* mc, const CrossCheck* check) {
    out << "\nProjected Wealth\n"
        << "  Estate (Real) Conditional on Survival, as multiples of the NIW of $"
        << format_grouped0(s.net_investable_wealth) << ":\n";
    const GridLayout layout = grid_layout(kEstateFigures, "", 12, 12);
    const CellText text = [&](size_t row, size_t col) {
        return shown_text(r, kEstateFigures, row, col);
    };
    CellText simulated;
    if (mc)
        simulated = [mc](size_t row, size_t col) {
            return plus_minus(mc->estate[row][col], false);
        };
    const CellMarks marks_of = [&r, check](size_t row, size_t col) {
        std::string m;
        if (r.estate_at_grid_limit[row][col]) m += kMark;
        if (check && disagrees(check->estate[row][col])) m += kDisagreeMark;
        return m;
    };
    const std::string marks = print_grid(out, layout, text, simulated, marks_of);
    if (marks.find(kMark) != std::string::npos) {
        out << "  " << kMark
            << " the search passed the grid's top node: a ceiling of the grid, not a percentile"
            << refined_pointer(r) << '\n';
    }
    if (marks.find(kDisagreeMark) != std::string::npos) out << disagree_note();
    print_error_estimates(
        out, r, layout,
        [&r](size_t row, size_t col) { return error_text(r, kEstateFigures, row, col); },
        "multiples of the NIW");
}

void print_income(std::ostream& out, const AnalysisState& s, const ResultsRecord& r,
                  const MonteCarloResults* mc, const CrossCheck* check) {
    bool marked = false;
    if (check)
        for (Agreement a : check->expected_income) marked = marked || disagrees(a);
    const auto with_mark = [marked](const std::string& text, bool mark) {
        return marked ? text + (mark ? kDisagreeMark : " ") : text;
    };
    out << "\nProjected Consumption\n"
        << "  Expected Income Conditional on Survival, as multiples of the real target income of $"
        << format_grouped0(s.target_income) << ":\n"
        << "  " << std::setw(8) << "Years" << std::setw(8) << "Age" << std::setw(10) << "Income";
    if (mc) out << std::setw(kSimulatedWidth) << "simulated";
    out << '\n';
    for (int i = 1; i <= 20; ++i) {
        const double T = expected_income_horizon(s.current_age, i);
        const auto k = static_cast<size_t>(i - 1);
        out << "  " << std::setw(8) << one_decimal(T) << std::setw(8)
            << one_decimal(s.current_age + T) << std::setw(10)
            << with_mark(format_plain2(r.expected_income[k]),
                         check && disagrees(check->expected_income[k]));
        if (mc) out << std::setw(kSimulatedWidth) << plus_minus(mc->expected_income[k], false);
        out << '\n';
    }
    if (marked) out << disagree_note();
}

const char* spending_rule_name(const AnalysisState& s) {
    const InputRow& rule = input_row("spending_rule");
    const int i = s.spending_rule - rule.code_base;
    return i >= 0 && i < static_cast<int>(rule.names.size()) ? rule.names[static_cast<size_t>(i)]
                                                             : "fixed";
}

// The spending figures: percentiles in today's money with the chance of
// spending the floor beside them, then the expected spending over time.
void print_spending(std::ostream& out, const AnalysisState& s, const ResultsRecord& r,
                    const MonteCarloResults* mc, const CrossCheck* check) {
    const bool percent = s.spending_rule == 1;
    out << "\nSpending (" << spending_rule_name(s) << " rule";
    if (percent) {
        const engine::Model m = engine::Model::from_state(s);
        out << ": " << printed("%.1f", 100 * m.spending_rate) << "% of wealth a year, floor "
            << format_grouped0(m.spending_floor * s.target_income) << ", ceiling "
            << format_grouped0(m.spending_ceiling * s.target_income);
    }
    out << ")\n"
        << "  Real spending per year Conditional on Survival, in today's money (wealth run out: "
           "pensions and annuities only)"
        << (percent ? "; at floor: chance of spending the floor" : "") << ":\n";
    GridLayout layout = grid_layout(kSpendingFigures, "", 12, 12);
    if (percent) layout.columns.push_back("At floor");
    const CellText text = [&](size_t row, size_t col) {
        if (col == 3) return format_percent1(r.spending_at_floor[row]);
        return shown_text(r, kSpendingFigures, row, col);
    };
    CellText simulated;
    if (mc)
        simulated = [mc](size_t row, size_t col) {
            if (col == 3) return plus_minus(mc->spending_at_floor[row], true);
            const McEstimate& e = mc->spending[row][col];
            return format_grouped0(e.value) + " +-" + format_grouped0(e.standard_error);
        };
    const CellMarks marks_of = [check](size_t row, size_t col) {
        if (!check) return std::string();
        const Agreement a = col == 3 ? check->spending_at_floor[row] : check->spending[row][col];
        return std::string(disagrees(a) ? kDisagreeMark : "");
    };
    const std::string marks = print_grid(out, layout, text, simulated, marks_of);
    if (marks.find(kDisagreeMark) != std::string::npos) out << disagree_note();
    if (r.refined) {
        const CellText error = [&](size_t row, size_t col) {
            if (col == 3)
                return error_estimate_text(100 * r.spending_at_floor_error[row], 2);
            return error_text(r, kSpendingFigures, row, col);
        };
        print_error_estimates(out, r, layout, error,
                              percent ? "money per year; at floor in percentage points"
                                      : "money per year");
    }
    out << "  Expected spending, as multiples of the real target income:\n"
        << "  " << std::setw(8) << "Years" << std::setw(8) << "Age" << std::setw(10)
        << "Spending" << '\n';
    for (int i = 1; i <= 20; ++i) {
        const double T = expected_income_horizon(s.current_age, i);
        const auto k = static_cast<size_t>(i - 1);
        out << "  " << std::setw(8) << one_decimal(T) << std::setw(8)
            << one_decimal(s.current_age + T) << std::setw(10)
            << format_plain2(r.expected_spending[k]) << '\n';
    }
}

// A household's own figures: the lifetime ruin split by who was alive, the
// survival of each at the grid's horizons, the last death.
void print_household(std::ostream& out, const AnalysisState& s, const ResultsRecord& r) {
    const HouseholdFigures& h = r.household;
    out << "\nHousehold (spouse aged " << printed("%.0f", h.spouse_age)
        << "; every figure above among households with someone alive at its horizon)\n";
    out << "  Lifetime ruin        while both alive   while a survivor lived\n";
    for (std::size_t level = 0; level < 4; ++level) {
        out << "  " << std::left << std::setw(21) << ruin_row_captions()[level] << std::right
            << std::setw(16) << format_percent2(h.lifetime_ruin_both[level]) << std::setw(25)
            << format_percent2(h.lifetime_ruin_survivor[level]) << '\n';
    }
    out << "  Alive after          person   spouse     both  at least one\n";
    for (const double years : kGridHorizons) {
        const auto k = static_cast<std::size_t>(years);
        if (k >= h.survival_either.size()) break;
        out << "  " << std::left << std::setw(17) << (printed("%.0f", years) + " years")
            << std::right << std::setw(10) << format_percent2(h.survival_person[k])
            << std::setw(9) << format_percent2(h.survival_spouse[k]) << std::setw(9)
            << format_percent2(h.survival_both[k]) << std::setw(14)
            << format_percent2(h.survival_either[k]) << '\n';
    }
    out << "  Person's age at the last death: expected " << printed("%.1f", h.expected_last_death_age)
        << ", 90th percentile " << printed("%.1f", h.last_death_age_90) << " (person now "
        << printed("%.0f", s.current_age) << ")\n";
}

json household_json(const ResultsRecord& r) {
    const HouseholdFigures& h = r.household;
    json levels = json::array();
    for (std::size_t level = 0; level < 4; ++level)
        levels.push_back({{"level", kRuinLevels[level]},
                          {"lifetime", r.ruin_grid[level][3]},
                          {"while_both_alive", h.lifetime_ruin_both[level]},
                          {"while_survivor", h.lifetime_ruin_survivor[level]},
                          {"error_estimate",
                           {{"while_both_alive", h.lifetime_ruin_both_error[level]},
                            {"while_survivor", h.lifetime_ruin_survivor_error[level]}}}});
    return {{"spouse_age", h.spouse_age},
            {"lifetime_ruin", levels},
            {"survival",
             {{"person", h.survival_person},
              {"spouse", h.survival_spouse},
              {"both", h.survival_both},
              {"at_least_one", h.survival_either}}},
            {"last_death",
             {{"expected_age", h.expected_last_death_age},
              {"ninetieth_percentile_age", h.last_death_age_90}}}};
}

void print_mortality(std::ostream& out, const AnalysisState& s, const ResultsRecord& r,
                     const MonteCarloResults* mc, const CrossCheck* check) {
    out << "\nMortality Parameters\n";
    const auto row = [&out](const char* caption, const std::string& value) {
        out << "  " << std::left << std::setw(22) << caption << std::right << value << '\n';
    };
    const bool marked = check && disagrees(check->expected_ruin_age);
    const Figure& ruin_age = published_figure("expected_ruin_age_shown");
    for (const Figure& f : published_figures()) {
        if (f.tab != FigureTab::mortality) continue;
        // A household's spending cannot ignore death, as the ruin age does.
        if (&f == &ruin_age && r.household.present) continue;
        std::string text = figure_text(f, s, r);
        if (&f == &ruin_age && mc) {
            text += " (expected ruin at " + printed("%.2f", r.expected_ruin_age) +
                    (marked ? kDisagreeMark : "") + "; simulated " +
                    printed("%.2f", mc->expected_ruin_age.value) + " +-" +
                    printed("%.2f", mc->expected_ruin_age.standard_error) + ")";
        }
        row(f.caption, text);
    }
    if (marked) out << disagree_note();
    if (r.household.present) print_household(out, s, r);
}

// The record's value of an input as the JSON of the command line shows it:
// fractions and amounts as stored, whole numbers as integers, names as shown.
json input_json(const AnalysisState& s, const InputRow& row) {
    if (row.kind == InputKind::choice) {
        if (row.text != nullptr) return s.*row.text;
        if (row.code == &AnalysisState::spouse_gender_code) return gender_caption(s.*row.code);
        if (row.code == &AnalysisState::market_country)
            return std::string(market_caption(s.*row.code));
        // Other choices by the name the options and case files use.
        const int i = s.*row.code - row.code_base;
        if (i >= 0 && i < static_cast<int>(row.names.size()))
            return std::string(row.names[static_cast<std::size_t>(i)]);
        return s.*row.code;
    }
    if (row.number != nullptr) return s.*row.number;
    return s.*row.code;
}

using CellJson = std::function<json(std::size_t row, std::size_t col)>;

// A grid as JSON, one object per row: what sets the row apart, each
// column's figure, then each part (flags, error estimates) by column.
template <std::size_t Rows, std::size_t Cols>
json grid_json(const FigureGrid<Rows, Cols>& grid, const CellJson& figure,
               const std::vector<std::pair<const char*, CellJson>>& parts = {}) {
    json rows = json::array();
    for (std::size_t row = 0; row < Rows; ++row) {
        const double at = grid.row_values[row];
        json entry = {
            {grid.row_key, grid.whole_row_values ? json(static_cast<int>(at)) : json(at)}};
        for (std::size_t col = 0; col < Cols; ++col)
            entry[grid.column_keys[col]] = figure(row, col);
        for (const auto& [name, part] : parts) {
            json by_column;
            for (std::size_t col = 0; col < Cols; ++col)
                by_column[grid.column_keys[col]] = part(row, col);
            entry[name] = std::move(by_column);
        }
        rows.push_back(std::move(entry));
    }
    return rows;
}

json ruin_rows_json(const ResultsRecord& r) {
    std::vector<std::pair<const char*, CellJson>> parts = {
        {"barrier_at_start",
         [&r](size_t row, size_t col) { return r.barrier_at_start[row][col]; }}};
    if (r.refined)
        parts.emplace_back("error_estimate",
                           [&r](size_t row, size_t col) { return r.ruin_error[row][col]; });
    else
        parts.emplace_back("out_of_order",
                           [&r](size_t row, size_t col) { return r.ruin_out_of_order[row][col]; });
    return grid_json(
        kRuinFigures, [&r](size_t row, size_t col) { return r.ruin_grid[row][col]; }, parts);
}

json estate_rows_json(const ResultsRecord& r) {
    std::vector<std::pair<const char*, CellJson>> parts = {
        {"at_grid_limit",
         [&r](size_t row, size_t col) { return r.estate_at_grid_limit[row][col]; }}};
    if (r.refined)
        parts.emplace_back("error_estimate",
                           [&r](size_t row, size_t col) { return r.estate_error[row][col]; });
    return grid_json(
        kEstateFigures, [&r](size_t row, size_t col) { return r.estate_grid[row][col]; }, parts);
}

// The spending figures: the rule, the percentiles in today's money, the
// chance of spending the floor and the expected spending over time.
json spending_json(const AnalysisState& s, const ResultsRecord& r) {
    std::vector<std::pair<const char*, CellJson>> parts;
    if (r.refined)
        parts.emplace_back("error_estimate",
                           [&r](size_t row, size_t col) { return r.spending_error[row][col]; });
    json at_floor = json::array();
    for (size_t h = 0; h < 3; ++h) {
        json entry = {{"years", static_cast<int>(kGridHorizons[h])},
                      {"probability", r.spending_at_floor[h]}};
        if (r.refined) entry["error_estimate"] = r.spending_at_floor_error[h];
        at_floor.push_back(std::move(entry));
    }
    json expected = json::array();
    for (int i = 1; i <= 20; ++i) {
        const auto k = static_cast<size_t>(i - 1);
        const double T = expected_income_horizon(s.current_age, i);
        json entry = {{"years", T}, {"age", s.current_age + T}, {"multiple", r.expected_spending[k]}};
        if (r.refined) entry["error_estimate"] = r.expected_spending_error[k];
        expected.push_back(std::move(entry));
    }
    json out = {{"rule", spending_rule_name(s)}};
    if (s.spending_rule == 1) {
        // The floor and ceiling in force, a record's 0 resolved against the target.
        const engine::Model m = engine::Model::from_state(s);
        out["rate"] = m.spending_rate;
        out["floor"] = m.spending_floor * s.target_income;
        out["ceiling"] = m.spending_ceiling * s.target_income;
    }
    out.update(json{{kSpendingFigures.key,
             grid_json(
                 kSpendingFigures,
                 [&r](size_t row, size_t col) { return r.spending_grid[row][col]; }, parts)},
            {"at_floor", std::move(at_floor)},
            {"expected", std::move(expected)}});
    return out;
}

}  // namespace

void print_tables(std::ostream& out, const AnalysisState& s, const ResultsRecord& r,
                  const MonteCarloResults* mc) {
    if (r.refined) out << r.scheme_line << "\n\n";
    if (mc) {
        out << "Simulated: " << format_grouped0(static_cast<double>(mc->paths)) << " paths, seed "
            << mc->seed << ", time step " << printed("%.2f", mc->dt)
            << " years; each simulated figure with its standard error\n\n";
    }
    // Only refined figures carry the error estimate the check needs.
    std::optional<CrossCheck> check;
    if (mc && r.refined) check = cross_check(r, *mc);
    const CrossCheck* c = check ? &*check : nullptr;
    print_probabilities(out, s, r, mc, c);
    print_estates(out, s, r, mc, c);
    print_income(out, s, r, mc, c);
    // A household's spending follows who is alive: its figures are its own.
    if (!r.household.present) print_spending(out, s, r, mc, c);
    print_mortality(out, s, r, mc, c);
}

json inputs_json(const AnalysisState& s) {
    json inputs = json::object();
    for (const InputRow& row : input_catalogue()) {
        // A single person's inputs are what they were before the household.
        if (row.household && !has_spouse(s)) continue;
        json value = input_json(s, row);
        if (row.json_sub != nullptr)
            inputs[row.json_key][row.json_sub] = std::move(value);
        else if (row.json_index >= 0)
            inputs[row.json_key][static_cast<std::size_t>(row.json_index)] = std::move(value);
        else
            inputs[row.json_key] = std::move(value);
    }
    return inputs;
}

json results_json(const AnalysisState& s, const ResultsRecord& r) {
    json j;
    j["inputs"] = inputs_json(s);
    if (r.refined) {
        // The guardrails rule's figures are a simulation's, with standard errors.
        const bool simulated =
            s.spending_rule == static_cast<std::int16_t>(engine::SpendingRule::guardrails);
        j["accuracy"] = simulated ? "simulated" : "refined";
        j["scheme"] = r.scheme_line;
        if (!r.household.present)
            j["expected_ruin_age_error_estimate"] = r.expected_ruin_age_error;
    }

    for (const Figure& f : published_figures())
        if (f.in_json) j[f.key] = f.value(s, r);
    j["acquired_income"] = {{"nominal", s.acquired_nominal_income},
                            {"cpi", s.acquired_cpi_income},
                            {"variable", s.acquired_variable_income}};
    j["implied_inflation"] = s.implied_inflation;
    j["variable_annuity_factor"] = s.variable_annuity_factor;
    j["portfolio"] = {{"current_expected_return", s.current_expected_return},
                      {"later_expected_return", s.later_expected_return},
                      {"current_standard_deviation", s.current_standard_deviation},
                      {"later_standard_deviation", s.later_standard_deviation}};
    j["ratios"] = {{"wealth_ratio", s.wealth_ratio},
                   {"real_income_ratio", s.real_income_ratio},
                   {"nominal_income_ratio", s.nominal_income_ratio},
                   {"variable_income_ratio", s.variable_income_ratio},
                   {"variable_value_ratio", s.variable_value_ratio}};
    j["ruin_mortality"] = {{"lambda", s.ruin_lambda},
                           {"modal_age", s.ruin_modal_age},
                           {"dispersion", s.ruin_dispersion}};

    j[kRuinFigures.key] = ruin_rows_json(r);
    j[kEstateFigures.key] = estate_rows_json(r);
    j["cells"] = r.cells;
    // Not computed for a household.
    j["expected_ruin_age"] = r.household.present ? json(nullptr) : json(r.expected_ruin_age);
    j["expected_death_age"] = s.expected_death_age;
    j["ninetieth_percentile_index"] = r.ninetieth_percentile_index;
    j["survival_years"] = s.survival_years;
    j["survival_curve"] = r.survival_curve;
    json income = json::array();
    for (int i = 1; i <= 20; ++i) {
        const double T = expected_income_horizon(s.current_age, i);
        income.push_back({{"years", T},
                          {"age", s.current_age + T},
                          {"income", r.expected_income[static_cast<size_t>(i - 1)]}});
    }
    j["expected_income"] = income;
    if (!r.household.present) j["spending"] = spending_json(s, r);
    j["solver_calls"] = r.solver_calls;
    if (r.household.present) j["household"] = household_json(r);
    return j;
}

json monte_carlo_json(const MonteCarloResults& mc, const CrossCheck* check) {
    const json ruin = grid_json(kRuinFigures, [&](size_t row, size_t col) {
        return estimate_json(mc.ruin[row][col], check ? &check->ruin[row][col] : nullptr);
    });
    const json estate = grid_json(kEstateFigures, [&](size_t row, size_t col) {
        return estimate_json(mc.estate[row][col], check ? &check->estate[row][col] : nullptr);
    });
    json floor = json::array();
    for (size_t h = 0; h < 3; ++h) {
        json entry = estimate_json(mc.spending_at_floor[h],
                                   check ? &check->spending_at_floor[h] : nullptr);
        entry["years"] = static_cast<int>(kGridHorizons[h]);
        floor.push_back(std::move(entry));
    }
    json income = json::array();
    for (size_t i = 0; i < mc.expected_income.size(); ++i)
        income.push_back(
            estimate_json(mc.expected_income[i], check ? &check->expected_income[i] : nullptr));
    return {{"paths", mc.paths},
            {"seed", mc.seed},
            {"time_step", mc.dt},
            {kRuinFigures.key, ruin},
            {kEstateFigures.key, estate},
            {"expected_ruin_age",
             estimate_json(mc.expected_ruin_age, check ? &check->expected_ruin_age : nullptr)},
            {"expected_income", std::move(income)},
            {"spending",
             {{kSpendingFigures.key, grid_json(kSpendingFigures,
                                               [&](size_t row, size_t col) {
                                                   return estimate_json(
                                                       mc.spending[row][col],
                                                       check ? &check->spending[row][col]
                                                             : nullptr);
                                               })},
              {"at_floor", floor}}}};
}

json household_monte_carlo_json(const HouseholdSimulationResults& mc,
                                const HouseholdCrossCheck* check) {
    json levels = json::array();
    for (std::size_t level = 0; level < 4; ++level)
        levels.push_back(
            {{"level", kRuinLevels[level]},
             {"while_both_alive",
              estimate_json(mc.lifetime_ruin_both[level],
                            check ? &check->lifetime_ruin_both[level] : nullptr)},
             {"while_survivor",
              estimate_json(mc.lifetime_ruin_survivor[level],
                            check ? &check->lifetime_ruin_survivor[level] : nullptr)}});
    return {{"lifetime_ruin", levels}};
}

std::string solve_caption(const SpendingSolution& solution, double probability) {
    const std::string at =
        solution.solved_for == SolveFor::income
            ? "Sustainable real target income at a lifetime ruin probability of "
            : "Liquid retirement wealth needed for a lifetime ruin probability of ";
    return at + format_percent2(probability) + ": $" + format_grouped0(solution.value) +
           " (lifetime ruin " + format_percent2(solution.lifetime_ruin) + " there, refined; " +
           std::to_string(solution.iterations) + " trials)";
}

json solve_json(const SpendingSolution& solution, double probability) {
    return {{"solved_for", solution.solved_for == SolveFor::income ? "income" : "wealth"},
            {"value", solution.value},
            {"lifetime_ruin", solution.lifetime_ruin},
            {"lifetime_ruin_target", probability},
            {"iterations", solution.iterations}};
}

namespace {

// A household's purchases are joint-and-survivor annuities on both lives.
std::string annuity_caption(const AnalysisState& s, AnnuityKind kind) {
    const std::string life = has_spouse(s) ? "joint-and-survivor annuity" : "life annuity";
    switch (kind) {
        case AnnuityKind::cpi: return "a CPI-linked " + life;
        case AnnuityKind::nominal:
            return "a nominal " + life + " (COLA " + printed("%g", s.cola_rate * 100) + "%)";
        case AnnuityKind::variable:
            return "a variable " + life + " (AIR " + printed("%g", s.air_rate * 100) + "%)";
    }
    return {};
}

std::string share_text(const SweepPoint& p) {
    return format_grouped0(p.share * 100) + "% ($" + format_grouped0(p.purchase) + ")";
}

void print_sweep_row(std::ostream& out, const SweepPoint& p, bool best) {
    out << "  " << std::setw(6) << format_grouped0(p.share * 100) + "%" << std::setw(13)
        << "$" + format_grouped0(p.purchase);
    if (!p.refused.empty()) {
        out << "  not computed: " << p.refused << '\n';
        return;
    }
    for (double ruin : {p.lifetime_ruin, p.ruin_10, p.ruin_20, p.ruin_30})
        out << std::setw(10) << format_percent2(ruin);
    for (double estate : {p.median_estate_10, p.median_estate_20, p.median_estate_30})
        out << std::setw(13) << "$" + format_grouped0(estate);
    out << std::setw(10) << format_plain2(p.expected_income_20) << std::setw(10)
        << format_plain2(p.expected_income_30);
    if (best) out << "  <- lowest";
    out << '\n';
}

}  // namespace

void print_sweep(std::ostream& out, const AnalysisState& inputs, const AnnuitySweep& sweep) {
    out << "Annuitization: a share of the liquid wealth of $"
        << format_grouped0(inputs.liquid_wealth) << " spent on "
        << annuity_caption(inputs, sweep.kind) << ", at refined accuracy\n";
    if (has_spouse(inputs))
        out << "A household (spouse aged " << printed("%.0f", inputs.spouse_age)
            << "): lifetime ruin before the last death; the figures at 10, 20 and 30 years "
               "among households with someone alive then\n";
    out << '\n'
        << "  " << std::setw(19) << "" << std::setw(40) << "Ruin probability (0% of initial NIW)"
        << std::setw(39) << "Median estate (real)" << std::setw(20) << "Expected income" << '\n'
        << "  " << std::setw(6) << "Share" << std::setw(13) << "Purchase" << std::setw(10)
        << "Lifetime" << std::setw(10) << "10 Years" << std::setw(10) << "20 Years" << std::setw(10)
        << "30 Years" << std::setw(13) << "10 years" << std::setw(13) << "20 years" << std::setw(13)
        << "30 years" << std::setw(10) << "20 years" << std::setw(10) << "30 years" << '\n';
    for (size_t k = 0; k < sweep.points.size(); ++k)
        print_sweep_row(out, sweep.points[k], static_cast<int>(k) == sweep.best);
    out << '\n';
    if (sweep.best >= 0) {
        const SweepPoint& best = sweep.points[static_cast<size_t>(sweep.best)];
        out << "Lowest lifetime ruin probability: " << format_percent2(best.lifetime_ruin)
            << " at a share of " << share_text(best) << '\n';
    }
    if (sweep.first_below) {
        out << "Smallest share with a lifetime ruin probability below "
            << format_percent2(sweep.threshold) << ": "
            << share_text(sweep.points[static_cast<size_t>(*sweep.first_below)]) << '\n';
    } else {
        out << "No share brings the lifetime ruin probability below "
            << format_percent2(sweep.threshold) << '\n';
    }
}

json sweep_json(const AnalysisState& inputs, const AnnuitySweep& sweep) {
    json points = json::array();
    for (const SweepPoint& p : sweep.points) {
        if (!p.refused.empty()) {
            points.push_back(
                {{"share", p.share}, {"purchase", p.purchase}, {"refused", p.refused}});
            continue;
        }
        points.push_back({{"share", p.share},
                          {"purchase", p.purchase},
                          {"lifetime_ruin", p.lifetime_ruin},
                          {"ruin_10", p.ruin_10},
                          {"ruin_20", p.ruin_20},
                          {"ruin_30", p.ruin_30},
                          {"median_estate_10", p.median_estate_10},
                          {"median_estate_20", p.median_estate_20},
                          {"median_estate_30", p.median_estate_30},
                          {"expected_income_20", p.expected_income_20},
                          {"expected_income_30", p.expected_income_30}});
    }
    const auto share_at = [&sweep](std::optional<int> k) {
        return k && *k >= 0 ? json(sweep.points[static_cast<size_t>(*k)].share) : json(nullptr);
    };
    return {{"inputs", inputs_json(inputs)},
            {"accuracy", "refined"},
            {"kind", annuity_kind_name(sweep.kind)},
            {"annuity_sweep", std::move(points)},
            {"best_share", share_at(sweep.best)},
            {"lifetime_ruin_threshold", sweep.threshold},
            {"smallest_share_below_threshold", share_at(sweep.first_below)}};
}

void draw_share_bar(std::ostream& err, double share, const std::string& label) {
    const int width = 30;
    const int filled = static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * width));
    err << '\r' << label << " [" << std::string(static_cast<size_t>(filled), '#')
        << std::string(static_cast<size_t>(width - filled), ' ') << "] "
        << std::lround(std::clamp(share, 0.0, 1.0) * 100) << "%" << std::flush;
}

}  // namespace quorrel
