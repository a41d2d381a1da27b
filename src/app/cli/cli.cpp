#include "app/cli/cli.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/cli/cli_cases.h"
#include "core/case_file.h"
#include "core/defaults.h"
#include "core/input_catalogue.h"
#include "core/message_text.h"
#include "core/number_format.h"
#include "core/pipeline.h"
#include "core/report.h"

namespace quorrel {
namespace {

// A malformed or out-of-range option value; its text is the whole message.
class OptionError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void refuse_value(const std::string& option, const std::string& text,
                               const std::string& expected) {
    throw OptionError(option + ": '" + printable_excerpt(text) + "' is not " + expected);
}

std::string trimmed(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

std::vector<std::string> list_items(const std::string& option, const std::string& text, size_t count,
                                    const std::string& expected) {
    std::vector<std::string> items;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ',')) items.push_back(trimmed(item));
    if (!text.empty() && text.back() == ',') items.emplace_back();
    if (items.size() != count) refuse_value(option, text, expected);
    return items;
}

class CliHooks final : public CalculationHooks {
public:
    void show_message(const std::string& text, const std::string& title) override {
        message_ = title == kInputTitle ? text : title + ": " + text;
    }
    const std::string& message() const { return message_; }

private:
    std::string message_;
};

std::string local_date_time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
    return buf;
}

// Horizons and ages of the income curve are whole or half years.
std::string one_decimal(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", value);
    return buf;
}

const char* const kColumnCaptions[4] = {"10 Years", "20 Years", "30 Years", "Lifetime"};
const std::array<const char*, 3> kEstateRows = {"10 years:", "20 years:", "30 years:"};
const char* const kEstateColumns[3] = {"Bad (25%)", "Median", "Good (75%)"};

std::string cell(const ResultsRecord& results, const char* name) {
    auto it = results.cells.find(name);
    return it == results.cells.end() ? std::string("-") : it->second;
}

// A grid of published cells with its row and column captions, aligned.
template <size_t R, size_t C>
void print_grid(std::ostream& out, const ResultsRecord& r, const char* corner, int caption_width,
                int cell_width, const char* const (&columns)[C], const std::array<const char*, R>& rows,
                const std::array<std::array<const char*, C>, R>& cells) {
    out << "  " << std::left << std::setw(caption_width) << corner << std::right;
    for (const char* c : columns) out << std::setw(cell_width) << c;
    out << '\n';
    for (size_t row = 0; row < R; ++row) {
        out << "  " << std::left << std::setw(caption_width) << rows[row] << std::right;
        for (size_t col = 0; col < C; ++col) out << std::setw(cell_width) << cell(r, cells[row][col]);
        out << '\n';
    }
}

void print_tables(std::ostream& out, const AnalysisState& s, const ResultsRecord& r) {
    out << "Probability Results\n"
        << "  Your Net Investable Wealth (NIW) is : $" << format_grouped0(s.net_investable_wealth) << '\n'
        << "  Your Net Consumption Deficit is: $" << format_grouped0(s.consumption_deficit) << "\n\n";
    print_grid(out, r, "Probability NIW hits", 22, 10, kColumnCaptions, ruin_row_captions(), ruin_cell_names());

    out << "\nProjected Wealth\n"
        << "  Estate (Real) Conditional on Survival, as multiples of the NIW of $"
        << format_grouped0(s.net_investable_wealth) << ":\n";
    print_grid(out, r, "", 12, 12, kEstateColumns, kEstateRows, estate_cell_names());

    out << "\nProjected Consumption\n"
        << "  Expected Income Conditional on Survival, as multiples of the real target income of $"
        << format_grouped0(s.target_income) << ":\n"
        << "  " << std::setw(8) << "Years" << std::setw(8) << "Age" << std::setw(10) << "Income" << '\n';
    for (int i = 1; i <= 20; ++i) {
        const double T = expected_income_horizon(s.current_age, i);
        out << "  " << std::setw(8) << one_decimal(T) << std::setw(8) << one_decimal(s.current_age + T)
            << std::setw(10) << format_plain2(r.expected_income[static_cast<size_t>(i - 1)]) << '\n';
    }

    out << "\nMortality Parameters\n";
    const auto row = [&out](const char* caption, const std::string& value) {
        out << "  " << std::left << std::setw(22) << caption << std::right << value << '\n';
    };
    row("Current Age:", trimmed(str_form(s.current_age)));
    row("Life Expectancy:", format_grouped0(life_expectancy_shown(s.expected_death_age)));
    row("Gender:", s.gender_text);
    row("90th Percentile:", format_grouped0(r.ninetieth_percentile_index + s.current_age));
    row("Expected Ruin Age:", format_grouped0(std::floor(r.expected_ruin_age) + 1));
}

// One command-line option of the input catalogue: a single input, or
// several given as one list separated by commas.
struct InputOption {
    std::vector<std::size_t> rows;
    std::string text;
};

struct Options {
    std::vector<InputOption> inputs;  // in catalogue order
    std::string report;
    bool json = false;
    std::string case_file, save_case, batch;
    std::vector<std::string> compare;
};

const InputRow& row_at(std::size_t i) { return input_catalogue()[i]; }

std::vector<InputOption> catalogue_options() {
    std::vector<InputOption> options;
    const auto& rows = input_catalogue();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (options.empty() || std::string(row_at(options.back().rows.front()).option) != rows[i].option)
            options.push_back({});
        options.back().rows.push_back(i);
    }
    return options;
}

// The default as the help names it: "65", "male", "800,000", "5 each".
std::string default_text(const InputRow& row) {
    const InputValue v = default_value(row);
    switch (row.kind) {
        case InputKind::amount: return row.default_amount;
        case InputKind::choice: return row.names.at(static_cast<std::size_t>(v.index));
        case InputKind::list: break;
    }
    return natural_text(row, v.index);
}

std::string help_text(const InputOption& option) {
    const InputRow& first = row_at(option.rows.front());
    if (first.follows_market) {
        const InputRow& market = input_row("market");
        return std::string(first.help) + " (" + default_text(market) + " " + default_text(first) + ")";
    }
    std::string shown = default_text(first);
    if (first.default_each) {
        shown += " each";
    } else {
        for (std::size_t k = 1; k < option.rows.size(); ++k) shown += "," + default_text(row_at(option.rows[k]));
    }
    return std::string(first.help) + " (default " + shown + ")";
}

// The value of one input as typed; nullopt when the input cannot take it.
std::optional<InputValue> typed_value(const InputRow& row, const std::string& text) {
    if (row.kind == InputKind::choice) {
        const auto i = index_of_name(row, text);
        return i ? std::optional<InputValue>(InputValue{.index = *i}) : std::nullopt;
    }
    const auto v = row.kind == InputKind::amount ? parse_money(text) : parse_amount(text);
    if (!v) return std::nullopt;
    if (row.kind == InputKind::amount) {
        return *v >= 0 ? std::optional<InputValue>(InputValue{.index = 0, .amount = *v}) : std::nullopt;
    }
    const auto i = index_of_natural(row, *v);
    return i ? std::optional<InputValue>(InputValue{.index = *i}) : std::nullopt;
}

void apply_option(const InputOption& option, AnalysisState& s) {
    const InputRow& first = row_at(option.rows.front());
    if (option.rows.size() == 1) {
        const auto v = typed_value(first, option.text);
        if (!v) refuse_value(first.option, option.text, input_range(first));
        write_input(s, first, *v);
        return;
    }
    const std::string expected = first.option_range != nullptr ? first.option_range : first.range;
    const auto items = list_items(first.option, option.text, option.rows.size(), expected);
    for (std::size_t k = 0; k < option.rows.size(); ++k) {
        const InputRow& row = row_at(option.rows[k]);
        const auto v = typed_value(row, items[k]);
        if (!v) refuse_value(first.option, option.text, expected);
        write_input(s, row, *v);
    }
}

// Writes the given options over the record, the market preset before the
// individual means and deviations so that those win.
void apply_options(const CLI::App& app, const Options& o, AnalysisState& s) {
    const auto given = [&app](const InputOption& option) {
        return app.count(row_at(option.rows.front()).option) > 0;
    };
    const auto is_market = [](const InputOption& option) {
        return std::string(row_at(option.rows.front()).key) == "market";
    };
    for (const InputOption& option : o.inputs)
        if (is_market(option) && given(option)) apply_option(option, s);
    for (const InputOption& option : o.inputs)
        if (!is_market(option) && given(option)) apply_option(option, s);
}

void add_options(CLI::App& app, Options& o) {
    o.inputs = catalogue_options();
    for (InputOption& option : o.inputs) {
        const InputRow& first = row_at(option.rows.front());
        app.add_option(first.option, option.text, help_text(option))
            ->type_name(first.option_type)
            ->group(first.option_group);
    }

    const char* cases = "Cases";
    app.add_option("--case", o.case_file, "start from the inputs of a saved case, then apply the options given")
        ->type_name("FILE")
        ->group(cases);
    app.add_option("--save-case", o.save_case, "write the inputs used as a case file")
        ->type_name("FILE")
        ->group(cases);
    app.add_option("--compare", o.compare,
                   "compare this case with the saved case FILE (repeatable): aligned columns, or a JSON "
                   "array with --json")
        ->type_name("FILE")
        ->group(cases);
    app.add_option("--batch", o.batch,
                   "compute many cases: FILE lists case files one per line, or is a CSV whose header "
                   "names input options; one JSON object per line")
        ->type_name("FILE")
        ->group(cases);

    const char* output = "Output";
    app.add_flag("--json", o.json, "print every figure as JSON instead of the tables")->group(output);
    app.add_option("--report", o.report, "also append the text report to FILE (created when missing)")
        ->type_name("FILE")
        ->group(output);
}

// The record's value of an input as the JSON of the command line shows it:
// fractions and amounts as stored, whole numbers as integers, names as shown.
nlohmann::json input_json(const AnalysisState& s, const InputRow& row) {
    if (row.kind == InputKind::choice)
        return row.text != nullptr ? s.*row.text : std::string(market_caption(s.*row.code));
    if (row.number != nullptr) return s.*row.number;
    return s.*row.code;
}

// A message from elsewhere (the option parser, the system) as one line.
std::string one_line(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return printable_excerpt(text, 300);
}

}  // namespace

nlohmann::json results_json(const AnalysisState& s, const ResultsRecord& r) {
    using nlohmann::json;
    json j;
    json inputs = json::object();
    for (const InputRow& row : input_catalogue()) {
        json value = input_json(s, row);
        if (row.json_sub != nullptr)
            inputs[row.json_key][row.json_sub] = std::move(value);
        else if (row.json_index >= 0)
            inputs[row.json_key][static_cast<std::size_t>(row.json_index)] = std::move(value);
        else
            inputs[row.json_key] = std::move(value);
    }
    j["inputs"] = std::move(inputs);

    j["net_investable_wealth"] = s.net_investable_wealth;
    j["consumption_deficit"] = s.consumption_deficit;
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

    json grid = json::array();
    for (size_t row = 0; row < 4; ++row)
        grid.push_back({{"level", kRuinLevels[row]},
                        {"years_10", r.ruin_grid[row][0]},
                        {"years_20", r.ruin_grid[row][1]},
                        {"years_30", r.ruin_grid[row][2]},
                        {"lifetime", r.ruin_grid[row][3]}});
    j["ruin_probability"] = grid;
    json estate = json::array();
    for (size_t row = 0; row < 3; ++row)
        estate.push_back({{"years", 10 * static_cast<int>(row + 1)},
                          {"bad", r.estate_grid[row][0]},
                          {"median", r.estate_grid[row][1]},
                          {"good", r.estate_grid[row][2]}});
    j["estate_multiple"] = estate;
    j["cells"] = r.cells;
    j["expected_ruin_age"] = r.expected_ruin_age;
    j["expected_death_age"] = s.expected_death_age;
    j["life_expectancy"] = life_expectancy_shown(s.expected_death_age);
    j["ninetieth_percentile_index"] = r.ninetieth_percentile_index;
    j["ninetieth_percentile_age"] = r.ninetieth_percentile_index + s.current_age;
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
    j["solver_calls"] = r.solver_calls;
    return j;
}

bool is_input_option(const std::string& name) {
    const std::string option = name.rfind("--", 0) == 0 ? name : "--" + name;
    for (const InputRow& row : input_catalogue())
        if (option == row.option) return true;
    return false;
}

std::string apply_option_texts(const std::vector<std::pair<std::string, std::string>>& given,
                               AnalysisState& state) {
    std::vector<InputOption> options = catalogue_options();
    std::vector<bool> set(options.size(), false);
    for (const auto& [name, text] : given) {
        const std::string option = name.rfind("--", 0) == 0 ? name : "--" + name;
        for (std::size_t k = 0; k < options.size(); ++k)
            if (option == row_at(options[k].rows.front()).option) {
                options[k].text = text;
                set[k] = true;
            }
    }
    AnalysisState s = state;
    try {
        for (int pass = 0; pass < 2; ++pass)
            for (std::size_t k = 0; k < options.size(); ++k) {
                const bool market = std::string(row_at(options[k].rows.front()).key) == "market";
                if (set[k] && market == (pass == 0)) apply_option(options[k], s);
            }
    } catch (const OptionError& e) {
        return e.what();
    }
    state = std::move(s);
    return {};
}

std::string calculate(AnalysisState& state, ResultsRecord& results) {
    CliHooks hooks;
    try {
        if (run_calculation(state, hooks, results) == CalculationOutcome::completed) return {};
    } catch (const std::exception& e) {
        // Not one of the calculation's own failures (out of memory, no
        // thread): still one line and a failure status rather than an abort.
        return "quorrel-cli: the calculation stopped: " + one_line(e.what());
    }
    return hooks.message();
}

int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Quorrel: retirement income analysis of one person, from the input screen's "
                 "defaults and the options given.\nPercent options take percents (7.5 means 7.5%)."};
    app.name("quorrel-cli");
    Options texts;
    add_options(app, texts);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "quorrel-cli: " << one_line(e.what()) << " (see --help)\n";
        return 2;
    }

    if (!texts.batch.empty()) {
        const auto options = app.get_options([](const CLI::Option* o) {
            return o->count() > 0 && o->get_name() != "--batch" && o->get_name() != "--json" &&
                   o->get_name() != "--help";
        });
        if (!options.empty()) {
            err << "quorrel-cli: --batch takes its cases from FILE alone (see --help)\n";
            return 2;
        }
        return run_batch(texts.batch, out, err, &err == &std::cerr && ::isatty(STDERR_FILENO));
    }

    AnalysisState state;
    apply_input_defaults(state);
    std::string case_name = "this case";
    if (!texts.case_file.empty()) {
        const CaseReadResult c = read_case_file(texts.case_file);
        if (!c.ok()) {
            err << "quorrel-cli: --case: " << c.error << '\n';
            return 2;
        }
        write_inputs(state, c.values);
        case_name = c.name.empty() ? case_name_of_path(texts.case_file) : c.name;
    }
    try {
        apply_options(app, texts, state);
    } catch (const OptionError& e) {
        err << "quorrel-cli: " << e.what() << '\n';
        return 2;
    }
    if (!texts.save_case.empty()) {
        const std::string reason = write_case_file(texts.save_case, state);
        if (!reason.empty()) {
            err << "quorrel-cli: --save-case: " << reason << '\n';
            return 1;
        }
    }
    if (!texts.compare.empty()) return run_compare({case_name, state}, texts.compare, texts.json, out, err);

    ResultsRecord results;
    const std::string message = calculate(state, results);
    if (!message.empty()) {
        err << message << '\n';
        return 1;
    }

    if (texts.json)
        out << results_json(state, results).dump(2) << '\n';
    else
        print_tables(out, state, results);

    if (!texts.report.empty() || app.count("--report") > 0) {
        const auto lines = report_lines(state, results, format_grouped0(state.liquid_wealth), local_date_time());
        const std::string reason = append_report(texts.report, lines);
        if (!reason.empty()) {
            err << "quorrel-cli: cannot append the report to '" << printable_excerpt(texts.report, 200)
            << "': " << one_line(reason) << '\n';
            return 1;
        }
    }
    return 0;
}

}  // namespace quorrel
