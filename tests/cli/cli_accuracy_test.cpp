// The command line's accuracy choice and its check by simulation: refined
// figures with their error estimates, the simulated figures beside them,
// and the refusals of bad values.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "cli_run.h"
#include "analysis/case_summary.h"
#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "engine/simulation/monte_carlo.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

using nlohmann::json;

using cli_test::Outcome;
using cli_test::run;

struct BadValue {
    const char* name;
    std::vector<std::string> args;
    const char* named;  // the option the line names
};

class AccuracyRefusal : public ::testing::TestWithParam<BadValue> {};

TEST_P(AccuracyRefusal, OneLineExitTwo) {
    const Outcome r = run(GetParam().args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find(GetParam().named), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Values, AccuracyRefusal,
    ::testing::Values(
        BadValue{"accuracy_name",
                 {"--accuracy", "fine"},
                 "--accuracy: 'fine' is not standard or refined"},
        BadValue{"zero_paths", {"--monte-carlo", "0"}, "--monte-carlo: '0'"},
        BadValue{"negative_paths", {"--monte-carlo", "-5000"}, "--monte-carlo: '-5000'"},
        BadValue{"word_paths", {"--monte-carlo", "many"}, "--monte-carlo: 'many'"},
        BadValue{"fraction_paths", {"--monte-carlo", "1500.5"}, "--monte-carlo"},
        BadValue{"too_few_paths", {"--monte-carlo", "999"}, "from 1,000"},
        BadValue{"too_many_paths", {"--monte-carlo", "100,000,001"}, "to 100,000,000"},
        BadValue{"bad_seed", {"--monte-carlo", "5000", "--seed", "-1"}, "--seed: '-1'"},
        BadValue{
            "huge_seed", {"--monte-carlo", "5000", "--seed", "18446744073709551616"}, "--seed"},
        BadValue{"seed_alone", {"--seed", "3"}, "--seed"},
        BadValue{"zero_threads", {"--monte-carlo", "5000", "--threads", "0"}, "--threads: '0'"},
        BadValue{"word_threads", {"--monte-carlo", "5000", "--threads", "all"}, "--threads: 'all'"},
        BadValue{"too_many_threads", {"--monte-carlo", "5000", "--threads", "1025"}, "to 1,024"},
        BadValue{"threads_alone", {"--threads", "2"}, "--threads"},
        BadValue{"simulated_batch", {"--batch", "x.txt", "--monte-carlo", "5000"}, "--batch"},
        BadValue{
            "simulated_compare", {"--compare", "x.json", "--monte-carlo", "5000"}, "--compare"}),
    [](const auto& info) { return std::string(info.param.name); });

// The state and record of a direct calculation of the defaults.
struct Direct {
    AnalysisState state;
    ResultsRecord results;
};

Direct direct(Accuracy accuracy) {
    Direct d;
    apply_input_defaults(d.state);
    QuietHooks hooks;
    EXPECT_EQ(run_calculation(d.state, hooks, d.results, accuracy), CalculationOutcome::completed)
        << hooks.message;
    return d;
}

TEST(CliAccuracy, RefinedJsonIsTheRefinedCalculationWithItsErrors) {
    const Outcome r = run({"--json", "--accuracy", "refined"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out);
    const Direct d = direct(Accuracy::refined);
    json expected = results_json(d.state, d.results);
    // The engine counts solves for the whole process.
    expected.erase("solver_calls");
    json shown = j;
    shown.erase("solver_calls");
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(j["accuracy"], "refined");
    for (size_t row = 0; row < 4; ++row) {
        const json& e = j["ruin_probability"][row]["error_estimate"];
        ASSERT_EQ(e.size(), 4u);
        EXPECT_EQ(e["lifetime"].get<double>(), d.results.ruin_error[row][3]);
        for (const auto& [key, value] : e.items()) EXPECT_GE(value.get<double>(), 0) << key;
    }
    // The default case's refined lifetime figure, as simulations show it.
    EXPECT_NEAR(j["ruin_probability"][0]["lifetime"].get<double>(), 0.087, 0.002);

    // The standard JSON carries none of it.
    const json standard = json::parse(run({"--json"}).out);
    EXPECT_FALSE(standard.contains("accuracy"));
    EXPECT_FALSE(standard["ruin_probability"][0].contains("error_estimate"));
    EXPECT_FALSE(standard.contains("monte_carlo"));
}

struct SimulatedCase {
    const char* name;
    std::vector<std::string> args;
    Accuracy accuracy;
};

class CliSimulation : public ::testing::TestWithParam<SimulatedCase> {};

// The block is the simulation of the calculated state with that seed, and
// the shown figures agree with it as a check should.
TEST_P(CliSimulation, BlockIsTheSeededSimulationAndAgrees) {
    const SimulatedCase& c = GetParam();
    std::vector<std::string> args = {"--json", "--monte-carlo", "20,000", "--seed", "11"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << "no bar off a terminal: " << r.err;
    const json j = json::parse(r.out);
    const json& mc = j["monte_carlo"];
    EXPECT_EQ(mc["paths"].get<long>(), 20000);
    EXPECT_EQ(mc["seed"].get<int>(), 11);

    Direct d = direct(c.accuracy);
    MonteCarloOptions options;
    options.paths = 20000;
    options.seed = 11;
    const MonteCarloResults again = run_monte_carlo(d.state, options);
    for (size_t row = 0; row < 4; ++row)
        for (size_t col = 0; col < 4; ++col) {
            const char* key = col == 3   ? "lifetime"
                              : col == 0 ? "years_10"
                              : col == 1 ? "years_20"
                                         : "years_30";
            const json& cell = mc["ruin_probability"][row][key];
            EXPECT_EQ(cell["value"].get<double>(), again.ruin[row][col].value) << row << key;
            EXPECT_EQ(cell["standard_error"].get<double>(), again.ruin[row][col].standard_error)
                << row << key;
            if (c.accuracy == Accuracy::refined) {
                const double shown = j["ruin_probability"][row][key].get<double>();
                EXPECT_LE(std::fabs(shown - again.ruin[row][col].value),
                          4 * again.ruin[row][col].standard_error + 0.0005)
                    << row << " " << key;
            }
        }
    EXPECT_EQ(mc["estate_multiple"][1]["median"]["value"].get<double>(), again.estate[1][1].value);
    EXPECT_EQ(mc["expected_ruin_age"]["value"].get<double>(), again.expected_ruin_age.value);
    EXPECT_EQ(mc["expected_income"].size(), 20u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliSimulation,
    ::testing::Values(SimulatedCase{"standard", {}, Accuracy::standard},
                      SimulatedCase{"refined", {"--accuracy", "refined"}, Accuracy::refined}),
    [](const auto& info) { return std::string(info.param.name); });

// The same seed prints the same JSON on one, two or sixteen threads.
TEST(CliSimulationThreads, SameJsonOnAnyNumberOfThreads) {
    std::string first;
    for (const char* threads : {"1", "2", "16"}) {
        const Outcome r =
            run({"--json", "--monte-carlo", "3,000", "--seed", "9", "--threads", threads});
        ASSERT_EQ(r.status, 0) << r.err;
        json j = json::parse(r.out);
        // The engine counts solves for the whole process.
        j.erase("solver_calls");
        if (first.empty())
            first = j.dump();
        else
            EXPECT_EQ(j.dump(), first) << threads << " threads";
    }
}

TEST(CliSimulationTables, ASimulatedColumnBesideEachFigure) {
    const Outcome r = run({"--monte-carlo", "5000", "--seed", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Simulated: 5,000 paths, seed 3"), std::string::npos) << r.out;
    Direct d = direct(Accuracy::standard);
    MonteCarloOptions options;
    options.paths = 5000;
    options.seed = 3;
    const MonteCarloResults again = run_monte_carlo(d.state, options);
    char lifetime[64];
    std::snprintf(lifetime, sizeof lifetime, "%s   %.2f%% +-%.2f",
                  d.results.cells.at("Text5").c_str(), again.ruin[0][3].value * 100,
                  again.ruin[0][3].standard_error * 100);
    const size_t at = r.out.find("\n  0% of initial NIW");
    ASSERT_NE(at, std::string::npos);
    const std::string line = r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1);
    EXPECT_NE(line.find(lifetime), std::string::npos) << line << " lacks " << lifetime;
    EXPECT_EQ(line.find(lifetime) + std::string(lifetime).size(), line.size()) << line;
}

// The tables open with the headline in plain words; refined figures are
// followed by their error estimates, cell by cell.
TEST(CliTables, HeadlineAndErrorEstimates) {
    for (const Accuracy accuracy : {Accuracy::standard, Accuracy::refined}) {
        const bool refined = accuracy == Accuracy::refined;
        const Outcome r = refined ? run({"--accuracy", "refined"}) : run({});
        ASSERT_EQ(r.status, 0) << r.err;
        const Direct d = direct(accuracy);
        EXPECT_EQ(r.out.find(headline_sentence(d.results) + "\n\nProbability Results\n"),
                  refined ? r.out.find('\n') + 2 : 0)
            << r.out;
        const size_t errors = r.out.find("  Error estimates (percentage points):\n");
        EXPECT_EQ(errors != std::string::npos, refined) << r.out;
        if (!refined) continue;
        // The lifetime column of the 50% row: the record's error in points.
        const size_t row = r.out.find("\n  50 % of initial NIW", errors);
        ASSERT_NE(row, std::string::npos);
        const std::string line = r.out.substr(row + 1, r.out.find('\n', row + 1) - row - 1);
        char expected[32];
        std::snprintf(expected, sizeof expected, "+-%.2f", 100 * d.results.ruin_error[3][3]);
        EXPECT_EQ(line.substr(line.size() - std::string(expected).size()), expected) << line;
        EXPECT_NE(r.out.find("  Error estimates (multiples of the NIW):\n"), std::string::npos);
    }
}

// The program itself with standard error on a terminal draws the bar; off
// a terminal (the cases above) it draws nothing.
TEST(CliSimulationTables, ProgressBarOnATerminal) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave_name = ::ptsname(master);
    const std::string program = cli_test::cli_program();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int slave = ::open(slave_name.c_str(), O_RDWR);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(slave, 2);
        ::execl(program.c_str(), "quorrel-cli", "--json", "--monte-carlo", "20000",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string err;
    char buf[512];
    for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) {
        err.append(buf, static_cast<size_t>(n));
        if (err.find("100%") != std::string::npos && err.find('\n') != std::string::npos) break;
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err;
    EXPECT_NE(err.find("simulating ["), std::string::npos) << err;
    EXPECT_NE(err.find("] 100%"), std::string::npos) << err;
}

}  // namespace
}  // namespace quorrel
