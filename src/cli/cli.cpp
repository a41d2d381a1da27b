#include "cli/cli.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <locale>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/cli_cases.h"
#include "cli/cli_option_values.h"
#include "cli/cli_output.h"
#ifdef QUORREL_CLI_PDF
#include "cli/cli_pdf.h"
#endif
#include "analysis/case_file.h"
#include "analysis/decision_tools.h"
#include "analysis/defaults.h"
#include "analysis/input_catalogue.h"
#include "record/message_text.h"
#include "record/number_format.h"
#include "analysis/output_file.h"
#include "analysis/pipeline.h"
#include "analysis/report.h"
#include "engine/model/model.h"
#include "engine/simulation/household_simulation.h"
#include "engine/simulation/monte_carlo.h"
#include "engine/stages/household_cross_check.h"

namespace quorrel {
namespace {

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

struct Options {
    std::vector<InputOption> inputs;  // in catalogue order
    std::string report;
    bool json = false;
    std::string case_file, save_case, batch;
    std::string first_row = "1";
    std::vector<std::string> compare;
    std::string accuracy = "standard";
    std::string monte_carlo, seed, threads;  // as typed
    std::string solve, lifetime_ruin, annuity_sweep;
    std::string pdf;
};

// What to compute beyond the inputs, checked.
struct RunChoices {
    Accuracy accuracy = Accuracy::standard;
    long paths = 0;  // simulated paths; 0: no simulation
    std::uint64_t seed = 1;
    unsigned threads = 0;  // of the simulation; 0: every core
    std::optional<SolveFor> solve;
    std::optional<AnnuityKind> sweep;
    double lifetime_ruin = kSolveDefaultProbability;  // to solve for, or the sweep's threshold
    std::string case_name;                            // of the case file; empty: an unsaved case
};

constexpr long kLeastPaths = 1000;
constexpr long kMostPaths = 100000000;
constexpr long kMostThreads = 1024;

bool given_option(const CLI::App& app, const char* name) {
    const CLI::Option* option = app.get_option_no_throw(name);
    return option != nullptr && option->count() > 0;
}

// The same file, by its identity when both exist, else by its path made
// absolute ("./a" and "a" are one file).
bool same_file(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    const auto full = [](const std::string& p) {
        std::error_code e;
        return std::filesystem::weakly_canonical(std::filesystem::absolute(p, e), e);
    };
    return full(a) == full(b);
}

// A path given empty is refused rather than ignored; one file named by two
// outputs would hold a mixture of both.
void check_paths(const CLI::App& app, const Options& o) {
    const std::pair<const char*, const std::string*> paths[] = {
        {"--case", &o.case_file}, {"--save-case", &o.save_case}, {"--batch", &o.batch},
        {"--report", &o.report},  {"--pdf", &o.pdf}};
    for (const auto& [name, path] : paths)
        if (given_option(app, name) && path->empty())
            throw OptionError(std::string(name) + ": the file name is empty");
    for (const std::string& file : o.compare)
        if (file.empty()) throw OptionError("--compare: the file name is empty");
    const std::pair<const char*, const std::string*> outputs[] = {
        {"--save-case", &o.save_case}, {"--report", &o.report}, {"--pdf", &o.pdf}};
    for (std::size_t i = 0; i < std::size(outputs); ++i)
        for (std::size_t j = i + 1; j < std::size(outputs); ++j)
            if (given_option(app, outputs[i].first) && given_option(app, outputs[j].first) &&
                same_file(*outputs[i].second, *outputs[j].second))
                throw OptionError(std::string(outputs[i].first) + " and " + outputs[j].first +
                                  " name the same file '" +
                                  printable_excerpt(*outputs[i].second, 200) + "'");
}

// Options that make sense only with another, or never with another.
void check_combinations(const CLI::App& app) {
    // An option of the Qt build only is never given without Qt.
    const auto given = [&app](const char* name) {
        const CLI::Option* option = app.get_option_no_throw(name);
        return option != nullptr && option->count() > 0;
    };
    if (given("--seed") && !given("--monte-carlo")) throw OptionError("--seed needs --monte-carlo");
    if (given("--threads") && !given("--monte-carlo"))
        throw OptionError("--threads needs --monte-carlo");
    if (given("--first-row") && !given("--batch")) throw OptionError("--first-row needs --batch");
    for (const char* single : {"--monte-carlo", "--pdf"})
        if (given(single) && given("--compare"))
            throw OptionError(std::string(single) +
                              " is of one case; it cannot be given with --compare");
    if (given("--lifetime-ruin") && !given("--solve") && !given("--annuity-sweep"))
        throw OptionError("--lifetime-ruin needs --solve or --annuity-sweep");
    for (const char* tool : {"--solve", "--annuity-sweep"}) {
        if (!given(tool)) continue;
        for (const char* other : {"--compare", "--solve", "--annuity-sweep"})
            if (other != std::string(tool) && given(other))
                throw OptionError(std::string(tool) + " cannot be given with " + other);
    }
    if (given("--annuity-sweep"))
        for (const char* other : {"--monte-carlo", "--report", "--pdf"})
            if (given(other))
                throw OptionError(std::string("--annuity-sweep prints its table alone; ") + other +
                                  " cannot be given with it");
}

void decision_choices(const CLI::App& app, const Options& o, RunChoices& c) {
    // The tools work at refined accuracy, and so does the analysis at a
    // solved amount.
    const bool tool = app.count("--solve") > 0 || app.count("--annuity-sweep") > 0;
    if (tool && o.accuracy == "standard" && app.count("--accuracy") > 0)
        throw OptionError(
            std::string(app.count("--solve") > 0 ? "--solve" : "--annuity-sweep") +
            " works at refined accuracy; --accuracy standard cannot be given with it");
    if (app.count("--solve") > 0) {
        if (o.solve != "income" && o.solve != "wealth")
            refuse_value("--solve", o.solve, "income or wealth");
        c.solve = o.solve == "income" ? SolveFor::income : SolveFor::wealth;
        c.accuracy = Accuracy::refined;
    }
    if (app.count("--annuity-sweep") > 0) {
        c.sweep = annuity_kind_from_name(o.annuity_sweep);
        if (!c.sweep) refuse_value("--annuity-sweep", o.annuity_sweep, "cpi, nominal or variable");
    }
    if (app.count("--lifetime-ruin") > 0) {
        const auto percent = parse_amount(o.lifetime_ruin);
        if (!percent || !(*percent >= kSolveLowestProbability * 100 &&
                          *percent <= kSolveHighestProbability * 100))
            refuse_value("--lifetime-ruin", o.lifetime_ruin, "a percent from 0.5 to 50");
        c.lifetime_ruin = *percent / 100;
    }
}

RunChoices run_choices(const CLI::App& app, const Options& o) {
    check_combinations(app);
    RunChoices c;
    if (o.accuracy == "refined")
        c.accuracy = Accuracy::refined;
    else if (o.accuracy != "standard")
        refuse_value("--accuracy", o.accuracy, "standard or refined");
    if (app.count("--monte-carlo") > 0) {
        const auto paths = whole_number(o.monte_carlo);
        if (!paths || *paths < kLeastPaths || *paths > kMostPaths)
            refuse_value("--monte-carlo", o.monte_carlo,
                         "a whole number of paths from 1,000 to 100,000,000");
        c.paths = static_cast<long>(*paths);
    }
    if (app.count("--seed") > 0) c.seed = seed_value(o.seed);
    if (app.count("--threads") > 0) {
        const auto threads = whole_number(o.threads);
        if (!threads || *threads < 1 || *threads > kMostThreads)
            refuse_value("--threads", o.threads, "a whole number of threads from 1 to 1,024");
        c.threads = static_cast<unsigned>(*threads);
    }
    decision_choices(app, o, c);
    return c;
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
        return std::string(first.help) + " (" + default_text(market) + " " + default_text(first) +
               ")";
    }
    std::string shown = default_text(first);
    if (first.default_each) {
        shown += " each";
    } else {
        for (std::size_t k = 1; k < option.rows.size(); ++k)
            shown += "," + default_text(row_at(option.rows[k]));
    }
    return std::string(first.help) + " (default " + shown + ")";
}
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

void add_case_options(CLI::App& app, Options& o) {
    const char* cases = "Cases";
    app.add_option("--case", o.case_file,
                   "start from the inputs of a saved case, then apply the options given")
        ->type_name("FILE")
        ->group(cases);
    app.add_option("--save-case", o.save_case, "write the inputs used as a case file")
        ->type_name("FILE")
        ->group(cases);
    app.add_option(
           "--compare", o.compare,
           "compare this case with the saved case FILE (repeatable): aligned columns, or a JSON "
           "array with --json")
        ->type_name("FILE")
        ->group(cases);
    app.add_option(
           "--batch", o.batch,
           "compute many cases: FILE lists case files one per line, or is a CSV whose header "
           "names input options; one JSON object per line")
        ->type_name("FILE")
        ->group(cases);
    app.add_option("--first-row", o.first_row,
                   "number a CSV batch's rows from N, for one part of a batch split into parts "
                   "(default 1)")
        ->type_name("N")
        ->group(cases);
}

void add_accuracy_options(CLI::App& app, Options& o) {
    const char* accuracy = "Accuracy";
    app.add_option(
           "--accuracy", o.accuracy,
           "standard or refined; refined computes every figure with the converged scheme, each "
           "probability with its error estimate (default standard)")
        ->type_name("NAME")
        ->group(accuracy);
    app.add_option(
           "--monte-carlo", o.monte_carlo,
           "also simulate 1,000 to 100,000,000 wealth paths: each figure simulated, with its "
           "standard error (--spending guardrails: the paths of the calculation itself)")
        ->type_name("PATHS")
        ->group(accuracy);
    app.add_option("--seed", o.seed, "seed of the simulation, a whole number (default 1)")
        ->type_name("N")
        ->group(accuracy);
    app.add_option("--threads", o.threads,
                   "threads of the simulation, 1 to 1,024 (default: every core); the figures do "
                   "not depend on it")
        ->type_name("N")
        ->group(accuracy);
}

void add_tool_and_output_options(CLI::App& app, Options& o) {
    const char* tools = "Decision tools (at refined accuracy)";
    app.add_option("--solve", o.solve,
                   "income: the largest real target income, wealth: the smallest liquid wealth, at "
                   "the lifetime "
                   "ruin probability of --lifetime-ruin; prints it, then the analysis at it")
        ->type_name("NAME")
        ->group(tools);
    app.add_option("--lifetime-ruin", o.lifetime_ruin,
                   "lifetime ruin probability (0% level) to solve for, and the sweep's threshold; "
                   "percent 0.5 "
                   "to 50 (default 5)")
        ->type_name("PERCENT")
        ->group(tools);
    app.add_option("--annuity-sweep", o.annuity_sweep,
                   "cpi, nominal or variable: the figures with 0% to 100% of the liquid wealth "
                   "spent on that "
                   "annuity, in steps of 5%, and the share with the lowest lifetime ruin")
        ->type_name("NAME")
        ->group(tools);

    const char* output = "Output";
    app.add_flag("--json", o.json, "print every figure as JSON instead of the tables")
        ->group(output);
    app.add_option("--report", o.report,
                   "also append the text report to FILE (created when missing)")
        ->type_name("FILE")
        ->group(output);
#ifdef QUORREL_CLI_PDF
    app.add_option("--pdf", o.pdf,
                   "also write the report with both charts as a PDF document to FILE")
        ->type_name("FILE")
        ->group(output);
#endif
}

void add_options(CLI::App& app, Options& o) {
    o.inputs = catalogue_options();
    for (InputOption& option : o.inputs) {
        const InputRow& first = row_at(option.rows.front());
        app.add_option(first.option, option.text, help_text(option))
            ->type_name(first.option_type)
            ->group(first.option_group);
    }
    add_case_options(app, o);
    add_accuracy_options(app, o);
    add_tool_and_output_options(app, o);
}

// A message from elsewhere (the option parser, the system) as one line.
std::string one_line(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return printable_excerpt(text, 300);
}

}  // namespace

std::string calculate(AnalysisState& state, ResultsRecord& results, Accuracy accuracy,
                      const SimulationRun& simulation) {
    CliHooks hooks;
    // A household takes refined accuracy without being asked, wherever the
    // command line calculates one (an explicit --accuracy standard is refused
    // with the options): the standard scheme has one life.
    if (has_spouse(state)) accuracy = Accuracy::refined;
    try {
        if (run_calculation(state, hooks, results, accuracy, simulation) ==
            CalculationOutcome::completed)
            return {};
    } catch (const std::exception& e) {
        // Not one of the calculation's own failures (out of memory, no
        // thread): still one line and a failure status rather than an abort.
        return "quorrel-cli: the calculation stopped: " + one_line(e.what());
    }
    return hooks.message();
}

namespace {

bool stderr_is_terminal(const std::ostream& err) {
    return &err == &std::cerr && ::isatty(STDERR_FILENO);
}

// --batch alone, or with --json and --accuracy.
int batch_option(const CLI::App& app, const Options& texts, std::ostream& out, std::ostream& err) {
    const auto options = app.get_options([](const CLI::Option* o) {
        const std::string name = o->get_name();
        return o->count() > 0 && name != "--batch" && name != "--json" && name != "--help" &&
               name != "--accuracy" && name != "--first-row";
    });
    if (!options.empty()) {
        err << "quorrel-cli: --batch takes its cases from FILE alone (see --help)\n";
        return 2;
    }
    try {
        const RunChoices choices = run_choices(app, texts);
        const auto first = whole_number(texts.first_row);
        if (!first || *first < 1 || *first > 1e15)
            refuse_value("--first-row", texts.first_row, "a whole number from 1");
        return run_batch(texts.batch, out, err, stderr_is_terminal(err), choices.accuracy,
                         static_cast<long>(*first));
    } catch (const OptionError& e) {
        err << "quorrel-cli: " << e.what() << '\n';
        return 2;
    }
}

// The inputs: the defaults, the case file's, then the options given.
// Returns the exit status of a refusal, or -1.
int read_inputs(const CLI::App& app, const Options& texts, AnalysisState& state,
                std::string& case_name, std::ostream& err) {
    apply_input_defaults(state);
    // Given but empty is refused by the reader, not taken for "no case".
    if (app.count("--case") > 0) {
        const CaseReadResult c = read_case_file(texts.case_file);
        if (!c.ok()) {
            err << "quorrel-cli: --case: " << c.error << '\n';
            return 2;
        }
        write_inputs(state, c.values);
        case_name = c.name.empty() ? case_name_of_path(texts.case_file) : c.name;
        if (!c.defaulted.empty()) err << "quorrel-cli: --case: " << defaulted_inputs_note(c) << '\n';
    }
    try {
        apply_options(app, texts, state);
    } catch (const OptionError& e) {
        err << "quorrel-cli: " << e.what() << '\n';
        return 2;
    }
    return -1;
}

// A spending rule the run cannot compute as asked; empty when none. The
// percent rule is computed at refined accuracy, so standard accuracy asked
// for in so many words is refused rather than quietly replaced.
std::string spending_refusal(const CLI::App& app, const Options& texts,
                             const AnalysisState& state) {
    const InputRow& rule = input_row("spending_rule");
    const int code = state.spending_rule - rule.code_base;
    if (code == 0) return {};
    const std::string name = code >= 0 && code < static_cast<int>(rule.names.size())
                                 ? rule.names[static_cast<std::size_t>(code)]
                                 : std::to_string(state.spending_rule);
    if (has_spouse(state))
        return "--spending " + name + ": a household is computed with the fixed rule only";
    if (state.spending_rule == kGuardrailsRule && given_option(app, "--accuracy") &&
        texts.accuracy == "standard")
        return "--spending guardrails: spending by guardrails depends on each path and is "
               "computed by simulation only (--monte-carlo N sets the paths, " +
               format_grouped0(static_cast<double>(kGuardrailsPaths)) +
               " by default); --accuracy standard cannot be given with it";
    if (given_option(app, "--accuracy") && texts.accuracy == "standard")
        return "--spending " + name +
               ": spending that follows wealth is computed at refined accuracy only; "
               "--accuracy standard cannot be given with it";
    const double target = state.target_income;
    const double floor = state.spending_floor > 0 ? state.spending_floor : engine::kDefaultFloorShare * target;
    const double ceiling = state.spending_ceiling > 0 ? state.spending_ceiling : engine::kDefaultCeilingShare * target;
    if (target > 0 && floor > ceiling)
        return "--spending-floor: the floor of " + format_grouped0(floor) +
               " a year is above the ceiling of " + format_grouped0(ceiling);
    return {};
}

// --save-case: the inputs the analysis uses. Returns the exit status of a
// failure, or -1.
int save_case_option(const Options& texts, const AnalysisState& state, std::ostream& err) {
    if (texts.save_case.empty()) return -1;
    const std::string reason = write_case_file(texts.save_case, state);
    if (reason.empty()) return -1;
    err << "quorrel-cli: --save-case: " << reason << '\n';
    return 1;
}

// The simulation of the calculated (prepared) state, with a bar of the
// paths done while it runs when standard error is a terminal.
// A household's simulation fills `household` as well.
MonteCarloResults simulate(const AnalysisState& state, const RunChoices& choices,
                           std::ostream& err,
                           std::optional<HouseholdSimulationResults>& household) {
    MonteCarloOptions options;
    options.paths = choices.paths;
    options.seed = choices.seed;
    options.threads = choices.threads;
    const bool bar = stderr_is_terminal(err);
    if (bar) options.progress = [&err](double share) { draw_share_bar(err, share, "simulating"); };
    MonteCarloResults simulated;
    if (has_spouse(state)) {
        household = run_household_monte_carlo(state, options);
        simulated = household->figures;
    } else {
        simulated = run_monte_carlo(state, options);
    }
    if (bar) {
        draw_share_bar(err, 1, "simulating");
        err << '\n';
    }
    return simulated;
}

int append_report_option(const Options& texts, const AnalysisState& state,
                         const ResultsRecord& results, std::ostream& err) {
    const auto lines =
        report_lines(state, results, format_grouped0(state.liquid_wealth), local_date_time());
    const std::string reason = append_report(texts.report, lines);
    if (reason.empty()) return 0;
    err << "quorrel-cli: cannot append the report to '" << printable_excerpt(texts.report, 200)
        << "': " << one_line(reason) << '\n';
    return 1;
}

// What a household cannot be given with; empty when nothing. A household
// is computed at refined accuracy, which it takes without being asked.
std::string household_refusal(const CLI::App& app, const Options& texts) {
    if (given_option(app, "--accuracy") && texts.accuracy == "standard")
        return "a household (--spouse-age) is computed at refined accuracy only: the standard "
               "scheme has one life";
    return {};
}

// One calculation of the state, printed; then the report.
int run_analysis(const CLI::App& app, const Options& texts, const RunChoices& choices,
                 AnalysisState& state, std::ostream& out, std::ostream& err,
                 const SpendingSolution* solved = nullptr) {
    ResultsRecord results;
    // Under guardrails the figures are the simulation's, --monte-carlo its paths.
    const bool guardrails = state.spending_rule == kGuardrailsRule;
    SimulationRun run;
    if (choices.paths > 0) run.paths = choices.paths;
    run.seed = choices.seed;
    run.threads = choices.threads;
    const std::string message = calculate(state, results, choices.accuracy, run);
    if (!message.empty()) {
        err << message << '\n';
        return 1;
    }
    std::optional<MonteCarloResults> simulated;
    std::optional<HouseholdSimulationResults> household;
    if (choices.paths > 0 && !guardrails) {
        try {
            simulated = simulate(state, choices, err, household);
        } catch (const std::exception& e) {
            err << "quorrel-cli: the simulation stopped: " << one_line(e.what()) << '\n';
            return 1;
        }
    }

    if (texts.json) {
        nlohmann::json j = results_json(state, results);
        if (simulated) {
            // Only refined figures carry the error estimate the check needs.
            const std::optional<CrossCheck> check =
                results.refined ? std::optional(cross_check(results, *simulated)) : std::nullopt;
            j["monte_carlo"] = monte_carlo_json(*simulated, check ? &*check : nullptr);
            if (household) {
                const HouseholdCrossCheck split = cross_check_household(results, *household);
                j["monte_carlo"]["household"] = household_monte_carlo_json(*household, &split);
            }
        }
        if (solved) j["solve"] = solve_json(*solved, choices.lifetime_ruin);
        out << json_text(j, 2) << '\n';
    } else {
        if (solved) out << solve_caption(*solved, choices.lifetime_ruin) << "\n\n";
        print_tables(out, state, results, simulated ? &*simulated : nullptr);
    }
#ifdef QUORREL_CLI_PDF
    if (app.count("--pdf") > 0) {
        const std::string reason = write_pdf_report(texts.pdf, state, results, choices.case_name);
        if (!reason.empty()) {
            err << "quorrel-cli: cannot write the PDF report to '"
                << printable_excerpt(texts.pdf, 200) << "': " << one_line(reason) << '\n';
            return 1;
        }
    }
#endif
    if (!texts.report.empty() || app.count("--report") > 0)
        return append_report_option(texts, state, results, err);
    return 0;
}

// The input messages of the calculation that a decision tool would meet at
// every trial; empty when none.
std::string tool_refusal(AnalysisState state, bool income_solved) {
    compute_allocation_sums(state);
    if (!allocation_is_complete(state.weight_sum) ||
        !allocation_is_complete(state.later_weight_sum))
        return kAllocationMessage;
    if (!income_solved && !(state.target_income > 0)) return kTargetIncomeMessage;
    return {};
}

// The amount solved for, then the analysis at it.
int run_solve(const CLI::App& app, const Options& texts, const RunChoices& choices,
              AnalysisState& state, std::ostream& out, std::ostream& err) {
    const char* mode = *choices.solve == SolveFor::income ? "income" : "wealth";
    if (const std::string refusal = tool_refusal(state, *choices.solve == SolveFor::income);
        !refusal.empty()) {
        if (const int status = save_case_option(texts, state, err); status >= 0) return status;
        err << refusal << '\n';
        return 1;
    }
    SpendingSolution solved;
    try {
        solved = solve_sustainable_spending(state, *choices.solve, choices.lifetime_ruin);
    } catch (const std::exception& e) {
        err << "quorrel-cli: --solve " << mode
            << ": the calculation stopped: " << one_line(e.what()) << '\n';
        return 1;
    }
    if (!solved.found) {
        // No analysis follows: the case saved is the one given.
        if (const int status = save_case_option(texts, state, err); status >= 0) return status;
        err << "quorrel-cli: --solve " << mode << ": " << one_line(solved.message) << '\n';
        return 1;
    }
    (*choices.solve == SolveFor::income ? state.target_income : state.liquid_wealth) = solved.value;
    // The case saved holds the amount solved, as the analysis and the report do.
    if (const int status = save_case_option(texts, state, err); status >= 0) return status;
    return run_analysis(app, texts, choices, state, out, err, &solved);
}

int run_sweep(const Options& texts, const RunChoices& choices, const AnalysisState& state,
              std::ostream& out, std::ostream& err) {
    if (const std::string refusal = tool_refusal(state, false); !refusal.empty()) {
        err << refusal << '\n';
        return 1;
    }
    AnnuitySweep sweep;
    try {
        sweep = sweep_annuitization(state, *choices.sweep, choices.lifetime_ruin);
    } catch (const std::exception& e) {
        err << "quorrel-cli: --annuity-sweep: the calculation stopped: " << one_line(e.what())
            << '\n';
        return 1;
    }
    if (!sweep.refused.empty()) {
        err << sweep.refused << '\n';
        return 1;
    }
    if (texts.json)
        out << json_text(sweep_json(state, sweep), 2) << '\n';
    else
        print_sweep(out, state, sweep);
    return 0;
}

}  // namespace

namespace {

// The streams write numbers as the "C" locale does for the whole run, then
// get their own locale back.
class ClassicStreams {
public:
    ClassicStreams(std::ostream& out, std::ostream& err)
        : out_(out), err_(err),
          out_locale_(out.imbue(std::locale::classic())),
          err_locale_(err.imbue(std::locale::classic())) {}
    ~ClassicStreams() {
        out_.imbue(out_locale_);
        err_.imbue(err_locale_);
    }
    ClassicStreams(const ClassicStreams&) = delete;
    ClassicStreams& operator=(const ClassicStreams&) = delete;

private:
    std::ostream& out_;
    std::ostream& err_;
    std::locale out_locale_, err_locale_;
};

}  // namespace

int run_cli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    const ClassicStreams classic(out, err);
    CLI::App app{
        "Quorrel: retirement income analysis of one person (or, with --spouse-age, a household "
        "of two), from the input screen's defaults and the options given.\nPercent options take "
        "percents (7.5 means 7.5%)."};
    app.name("quorrel-cli");
    app.set_version_flag("--version", std::string("quorrel-cli ") + QUORREL_VERSION,
                         "print the version and exit");
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
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << '\n';
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "quorrel-cli: " << one_line(e.what()) << " (see --help)\n";
        return 2;
    }

    try {
        check_paths(app, texts);
    } catch (const OptionError& e) {
        err << "quorrel-cli: " << e.what() << '\n';
        return 2;
    }
    if (app.count("--batch") > 0) return batch_option(app, texts, out, err);
#ifdef QUORREL_CLI_PDF
    // A path the PDF may not be written to is refused before any computing.
    if (app.count("--pdf") > 0)
        if (const OutputTarget target = output_target(texts.pdf); !target.error.empty()) {
            err << "quorrel-cli: cannot write the PDF report to '"
                << printable_excerpt(texts.pdf, 200) << "': " << target.error << '\n';
            return 1;
        }
#endif

    AnalysisState state;
    std::string case_name = "this case";
    RunChoices choices;
    try {
        choices = run_choices(app, texts);
    } catch (const OptionError& e) {
        err << "quorrel-cli: " << e.what() << '\n';
        return 2;
    }
    if (const int status = read_inputs(app, texts, state, case_name, err); status >= 0)
        return status;
    if (has_spouse(state)) {
        if (const std::string refusal = household_refusal(app, texts); !refusal.empty()) {
            err << "quorrel-cli: " << refusal << '\n';
            return 2;
        }
        choices.accuracy = Accuracy::refined;
    }
    if (!texts.case_file.empty()) choices.case_name = case_name;
    if (const std::string refusal = spending_refusal(app, texts, state); !refusal.empty()) {
        err << "quorrel-cli: " << refusal << '\n';
        return 2;
    }
    if (state.spending_rule != 0) choices.accuracy = Accuracy::refined;
    if (choices.solve) return run_solve(app, texts, choices, state, out, err);
    if (const int status = save_case_option(texts, state, err); status >= 0) return status;
    if (!texts.compare.empty())
        return run_compare({case_name, state}, texts.compare, texts.json, out, err,
                           choices.accuracy);
    if (choices.sweep) return run_sweep(texts, choices, state, out, err);
    return run_analysis(app, texts, choices, state, out, err);
}

}  // namespace quorrel
