// The command line's marks on figures a person should not take at their
// word: standard probabilities out of order (the JSON's "out_of_order", the
// tables' "!") and refined figures their simulation does not bear out (the
// JSON's "agrees", the tables' "?").
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli_output.h"
#include "cli_run.h"
#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "engine/stages/cross_check.h"
#include "engine/simulation/monte_carlo.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

using nlohmann::json;

using cli_test::Outcome;
using cli_test::run;

const char* const kKeys[4] = {"years_10", "years_20", "years_30", "lifetime"};

// A case whose standard probabilities fall with the horizon at every level
// (82.7%, 81.2%, 79.9% at 10, 20, 30 years for the 10% level).
const std::vector<std::string> kFalling = {"--age",
                                           "52",
                                           "--wealth",
                                           "264822",
                                           "--target",
                                           "70958",
                                           "--pension-nominal",
                                           "2492",
                                           "--purchase-nominal",
                                           "129561",
                                           "--cola",
                                           "3",
                                           "--air",
                                           "6",
                                           "--today",
                                           "13,9,50,6,22",
                                           "--later",
                                           "39,15,6,27,13",
                                           "--switch-years",
                                           "10",
                                           "--market",
                                           "canada",
                                           "--ruin-projection",
                                           "4",
                                           "--annuity-table",
                                           "iam2000",
                                           "--annuity-projection",
                                           "16",
                                           "--nominal-curve",
                                           "9.0,25.4,23.8,10.4,8.2,45.4",
                                           "--real-curve",
                                           "32.4,10.1,4.4,10.3,49.8,46.7"};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The first line of the tables that starts with `caption` after its indent.
std::string line_of(const std::string& out, const std::string& caption) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const size_t begin = line.find_first_not_of(' ');
        if (begin != std::string::npos && line.compare(begin, caption.size(), caption) == 0)
            return line;
    }
    return {};
}

struct OrderCase {
    const char* name;
    std::vector<std::string> args;
    // [row][col] expected out_of_order flags.
    std::array<std::array<bool, 4>, 4> flags;
};

class CliOrderFlags : public ::testing::TestWithParam<OrderCase> {};

TEST_P(CliOrderFlags, JsonFlagsTheCellsThatBreakTheOrder) {
    const OrderCase& c = GetParam();
    const Outcome r = run(with(c.args, {"--json"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out);
    for (size_t row = 0; row < 4; ++row)
        for (size_t col = 0; col < 4; ++col) {
            const json& entry = j["ruin_probability"][row];
            EXPECT_EQ(entry["out_of_order"][kKeys[col]].get<bool>(), c.flags[row][col])
                << row << " " << kKeys[col];
        }
    // Every flagged horizon cell does fall against a longer horizon of its
    // level, as the figures printed beside the flags show.
    for (size_t row = 0; row < 4; ++row) {
        const json& entry = j["ruin_probability"][row];
        if (c.flags[row][0]) {
            EXPECT_GT(entry["years_10"].get<double>(), entry["years_30"].get<double>()) << row;
        }
    }
}

constexpr std::array<std::array<bool, 4>, 4> kNone{};
constexpr std::array<std::array<bool, 4>, 4> kEveryHorizon{{{true, true, true, false},
                                                            {true, true, true, false},
                                                            {true, true, true, false},
                                                            {true, true, true, false}}};

INSTANTIATE_TEST_SUITE_P(Cases, CliOrderFlags,
                         ::testing::Values(OrderCase{"defaults", {}, kNone},
                                           OrderCase{"falling_with_the_horizon", kFalling,
                                                     kEveryHorizon}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliOrderFlags, TablesMarkTheCellsAndSayWhy) {
    const Outcome r = run(kFalling);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string level_10 = line_of(r.out, "10 % of initial NIW");
    EXPECT_NE(level_10.find("82.7%!    81.2%!    79.9%!    75.4%"), std::string::npos) << level_10;
    EXPECT_EQ(level_10.find("75.4%!"), std::string::npos) << level_10;
    EXPECT_NE(r.out.find("\n  ! out of order with another marked figure"), std::string::npos)
        << r.out;

    const Outcome plain = run({});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out.find('!'), std::string::npos) << plain.out;
}

TEST(CliOrderFlags, RefinedJsonHasNoStandardOrderFlags) {
    const Outcome r = run(with(kFalling, {"--json", "--accuracy", "refined"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out);
    for (const json& entry : j["ruin_probability"]) EXPECT_FALSE(entry.contains("out_of_order"));
}

// Every figure of the monte_carlo block, with what says whether the refined
// figure agrees with it.
std::vector<const json*> simulated_figures(const json& mc) {
    std::vector<const json*> all;
    for (const json& row : mc["ruin_probability"])
        for (const char* key : kKeys) all.push_back(&row[key]);
    for (const json& row : mc["estate_multiple"])
        for (const char* key : {"bad", "median", "good"}) all.push_back(&row[key]);
    all.push_back(&mc["expected_ruin_age"]);
    for (const json& e : mc["expected_income"]) all.push_back(&e);
    return all;
}

// One seed stands for all: at 20,000 paths about one seed in forty draws a
// sample whose early years sit three or four standard errors off, and the
// check then rightly names the figures it moved (seed 7 is one such); the
// spread of the estimates over seeds is tested with the simulation.
TEST(CliAgreement, RefinedDefaultsAgreeEverywhereStandardHasNoVerdict) {
    const std::vector<std::string> simulated = {"--monte-carlo", "20000", "--seed", "1"};
    const Outcome refined = run(with(simulated, {"--json", "--accuracy", "refined"}));
    ASSERT_EQ(refined.status, 0) << refined.err;
    const json refined_json = json::parse(refined.out);
    const std::vector<const json*> figures = simulated_figures(refined_json["monte_carlo"]);
    ASSERT_EQ(figures.size(), 16u + 9u + 1u + 20u);
    for (const json* f : figures) {
        ASSERT_TRUE(f->contains("agrees")) << f->dump();
        // The 10-year estate percentiles have standard errors; a null would
        // be a figure the check could not judge.
        EXPECT_EQ((*f)["agrees"], json(true)) << f->dump();
    }
    const Outcome tables = run(with(simulated, {"--accuracy", "refined"}));
    ASSERT_EQ(tables.status, 0) << tables.err;
    EXPECT_EQ(tables.out.find('?'), std::string::npos) << tables.out;

    const Outcome standard = run(with(simulated, {"--json"}));
    ASSERT_EQ(standard.status, 0) << standard.err;
    const json standard_json = json::parse(standard.out);
    for (const json* f : simulated_figures(standard_json["monte_carlo"]))
        EXPECT_FALSE(f->contains("agrees")) << f->dump();
}

// Refined figures moved off their simulation, one of each kind: the JSON
// says which disagree, the tables mark those and no other.
TEST(CliAgreement, MovedFiguresAreCaughtInJsonAndTables) {
    AnalysisState state;
    apply_input_defaults(state);
    ResultsRecord results;
    QuietHooks hooks;
    ASSERT_EQ(run_calculation(state, hooks, results, Accuracy::refined),
              CalculationOutcome::completed)
        << hooks.message;
    MonteCarloOptions options;
    options.paths = 4000;
    options.seed = 3;
    const MonteCarloResults mc = run_monte_carlo(state, options);

    const auto off = [](double figure, double error, const McEstimate& e) {
        return e.value + (figure >= e.value ? 1 : -1) * (3.5 * e.standard_error + error);
    };
    results.ruin_grid[1][3] = off(results.ruin_grid[1][3], results.ruin_error[1][3], mc.ruin[1][3]);
    results.estate_grid[1][2] =
        off(results.estate_grid[1][2], results.estate_error[1][2], mc.estate[1][2]);
    results.expected_ruin_age =
        off(results.expected_ruin_age, results.expected_ruin_age_error, mc.expected_ruin_age);
    results.expected_income[11] =
        off(results.expected_income[11], results.expected_income_error[11], mc.expected_income[11]);
    // The tables print the cells' texts.
    results.cells["Text30"] = "12.3%";

    const CrossCheck check = cross_check(results, mc);
    const json j = monte_carlo_json(mc, &check);
    EXPECT_EQ(j["ruin_probability"][1]["lifetime"]["agrees"], json(false));
    EXPECT_EQ(j["ruin_probability"][1]["years_30"]["agrees"], json(true));
    EXPECT_EQ(j["estate_multiple"][1]["good"]["agrees"], json(false));
    EXPECT_EQ(j["estate_multiple"][1]["median"]["agrees"], json(true));
    EXPECT_EQ(j["expected_ruin_age"]["agrees"], json(false));
    EXPECT_EQ(j["expected_income"][11]["agrees"], json(false));
    EXPECT_EQ(j["expected_income"][10]["agrees"], json(true));

    std::ostringstream out;
    print_tables(out, state, results, &mc);
    const std::string tables = out.str();
    const std::string level_10 = line_of(tables, "10 % of initial NIW");
    EXPECT_NE(level_10.find("12.3%?"), std::string::npos) << level_10;
    EXPECT_EQ(level_10.find('?'), level_10.rfind('?')) << level_10;
    EXPECT_EQ(line_of(tables, "0% of initial NIW").find('?'), std::string::npos);
    const std::string years_20 = line_of(tables, "20 years:");
    EXPECT_EQ(years_20.find('?'), years_20.rfind('?')) << years_20;
    EXPECT_NE(years_20.find('?'), std::string::npos) << years_20;
    EXPECT_NE(line_of(tables, "30.0").find('?'), std::string::npos) << tables;
    EXPECT_EQ(line_of(tables, "27.5").find('?'), std::string::npos) << tables;
    EXPECT_NE(line_of(tables, "Expected Ruin Age:").find('?'), std::string::npos) << tables;
    EXPECT_NE(tables.find("\n  ? farther from its simulated figure than 3 standard errors plus its "
                          "error estimate"),
              std::string::npos)
        << tables;
}

}  // namespace
}  // namespace quorrel
