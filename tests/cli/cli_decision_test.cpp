// The decision tools on the command line: a solved amount fed back as an
// input gives the probability solved for, the sweep's first point is the
// plain refined calculation, and the cases without an answer say so.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "cli_run.h"

namespace quorrel {
namespace {

using nlohmann::json;

using cli_test::Outcome;
using cli_test::run;

json run_json(std::vector<std::string> args) {
    args.push_back("--json");
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0 ? json::parse(r.out) : json();
}

struct SolveCase {
    const char* name;
    const char* mode;      // income or wealth
    const char* percent;   // --lifetime-ruin
    const char* fed_back;  // the option that takes the solved amount
    std::vector<std::string> inputs;
};

class CliSolve : public ::testing::TestWithParam<SolveCase> {};

TEST_P(CliSolve, SolvedAmountFedBackGivesTheProbability) {
    const SolveCase& c = GetParam();
    std::vector<std::string> args = {"--solve", c.mode};
    if (*c.percent) args.insert(args.end(), {"--lifetime-ruin", c.percent});
    args.insert(args.end(), c.inputs.begin(), c.inputs.end());
    const json solved = run_json(args);
    ASSERT_TRUE(solved.contains("solve"));
    const json& s = solved["solve"];
    EXPECT_EQ(s["solved_for"], c.mode);
    EXPECT_EQ(solved["accuracy"], "refined");
    const double target = (*c.percent ? std::stod(c.percent) : 5.0) / 100;
    const double value = s["value"].get<double>();
    EXPECT_EQ(value, std::floor(value));
    EXPECT_GT(s["iterations"].get<int>(), 1);
    // The analysis printed is the one at the solved amount.
    EXPECT_EQ(solved["ruin_probability"][0]["lifetime"].get<double>(),
              s["lifetime_ruin"].get<double>());

    std::vector<std::string> again = {"--accuracy", "refined", c.fed_back,
                                      std::to_string(static_cast<long long>(value))};
    again.insert(again.end(), c.inputs.begin(), c.inputs.end());
    const json recomputed = run_json(again);
    const double lifetime = recomputed["ruin_probability"][0]["lifetime"].get<double>();
    EXPECT_NEAR(lifetime, target, 1e-4) << c.fed_back << " " << value;
    EXPECT_EQ(lifetime, s["lifetime_ruin"].get<double>());
    EXPECT_EQ(recomputed["inputs"], solved["inputs"]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliSolve,
    ::testing::Values(SolveCase{"income_default", "income", "5", "--target", {}},
                      SolveCase{"wealth_default", "wealth", "5", "--wealth", {}},
                      SolveCase{"income_default_probability", "income", "", "--target", {}},
                      SolveCase{"wealth_older_with_pension",
                                "wealth",
                                "12.5",
                                "--wealth",
                                {"--age", "75", "--gender", "female", "--pension-cpi", "10,000"}},
                      // A household's lifetime ruin: before the last death.
                      SolveCase{"household_wealth",
                                "wealth",
                                "10",
                                "--wealth",
                                {"--spouse-age", "62", "--survivor-spending", "60"}},
                      SolveCase{"income_with_annuities",
                                "income",
                                "2",
                                "--target",
                                {"--purchase-cpi", "100,000", "--purchase-nominal", "50,000",
                                 "--cola", "2"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct NoAnswerCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* says;
};

class CliToolRefusal : public ::testing::TestWithParam<NoAnswerCase> {};

TEST_P(CliToolRefusal, OneLineAndTheStatus) {
    const Outcome r = run(GetParam().args);
    EXPECT_EQ(r.status, GetParam().status);
    EXPECT_TRUE(r.out.empty()) << r.out;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliToolRefusal,
    ::testing::Values(
        NoAnswerCase{"pensions_cover",
                     {"--solve", "wealth", "--pension-cpi", "50,000"},
                     1,
                     "No wealth is needed"},
        NoAnswerCase{"purchase_covers",
                     {"--solve", "wealth", "--purchase-cpi", "800,000"},
                     1,
                     "--solve wealth: The annuity purchases alone need $800,000; no wealth "
                     "beyond them is needed"},
        NoAnswerCase{"negative_investable_wealth",
                     {"--solve", "income", "--wealth", "100,000", "--purchase-cpi", "150,000"},
                     1,
                     "No target income can be solved for"},
        NoAnswerCase{
            "nil_investable_wealth",
            {"--solve", "income", "--wealth", "100,000", "--purchase-cpi", "100,000"},
            1,
            "No target income gives a lifetime ruin probability of 5.00%: it jumps past it"},
        NoAnswerCase{"allocation",
                     {"--solve", "income", "--today", "20,20,20,20,10"},
                     1,
                     "must sum to 100%"},
        NoAnswerCase{"sweep_allocation",
                     {"--annuity-sweep", "cpi", "--later", "50,50,50,0,0"},
                     1,
                     "must sum"},
        NoAnswerCase{
            "mode", {"--solve", "spending"}, 2, "--solve: 'spending' is not income or wealth"},
        NoAnswerCase{"kind", {"--annuity-sweep", "joint"}, 2, "is not cpi, nominal or variable"},
        NoAnswerCase{"low", {"--solve", "income", "--lifetime-ruin", "0.4"}, 2, "from 0.5 to 50"},
        NoAnswerCase{"high", {"--solve", "income", "--lifetime-ruin", "50.5"}, 2, "from 0.5 to 50"},
        NoAnswerCase{
            "word", {"--solve", "income", "--lifetime-ruin", "five"}, 2, "--lifetime-ruin: 'five'"},
        NoAnswerCase{"alone", {"--lifetime-ruin", "5"}, 2, "needs --solve or --annuity-sweep"},
        NoAnswerCase{
            "both", {"--solve", "income", "--annuity-sweep", "cpi"}, 2, "cannot be given with"},
        NoAnswerCase{
            "standard", {"--solve", "income", "--accuracy", "standard"}, 2, "refined accuracy"},
        NoAnswerCase{"sweep_standard",
                     {"--annuity-sweep", "cpi", "--accuracy", "standard"},
                     2,
                     "refined accuracy"},
        NoAnswerCase{"empty_mode", {"--solve", ""}, 2, "--solve: '' is not income or wealth"},
        NoAnswerCase{"sweep_simulated",
                     {"--annuity-sweep", "cpi", "--monte-carlo", "5000"},
                     2,
                     "--monte-carlo"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SweepCase {
    const char* name;
    const char* kind;
    std::vector<std::string> inputs;
};

class CliSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(CliSweep, TwentyOnePointsTheFirstThePlainRefinedCalculation) {
    const SweepCase& c = GetParam();
    std::vector<std::string> args = {"--annuity-sweep", c.kind};
    args.insert(args.end(), c.inputs.begin(), c.inputs.end());
    const json sweep = run_json(args);
    const json& points = sweep["annuity_sweep"];
    ASSERT_EQ(points.size(), 21u);

    std::vector<std::string> plain_args = {"--accuracy", "refined"};
    plain_args.insert(plain_args.end(), c.inputs.begin(), c.inputs.end());
    const json plain = run_json(plain_args);
    const json& first = points[0];
    EXPECT_EQ(first["share"].get<double>(), 0);
    EXPECT_EQ(first["purchase"].get<double>(), 0);
    const json& zero = plain["ruin_probability"][0];
    EXPECT_NEAR(first["lifetime_ruin"].get<double>(), zero["lifetime"].get<double>(), 1e-12);
    EXPECT_NEAR(first["ruin_10"].get<double>(), zero["years_10"].get<double>(), 1e-12);
    EXPECT_NEAR(first["ruin_20"].get<double>(), zero["years_20"].get<double>(), 1e-12);
    EXPECT_NEAR(first["ruin_30"].get<double>(), zero["years_30"].get<double>(), 1e-12);
    const double niw = plain["net_investable_wealth"].get<double>();
    for (int k = 0; k < 3; ++k) {
        const std::string key = "median_estate_" + std::to_string(10 * (k + 1));
        EXPECT_NEAR(first[key].get<double>(),
                    plain["estate_multiple"][k]["median"].get<double>() * niw, 1e-6 * niw)
            << key;
    }

    double lowest = 2, lowest_share = -1, previous_share = -0.05;
    for (const json& p : points) {
        EXPECT_NEAR(p["purchase"].get<double>(), p["share"].get<double>() * 800000, 1e-6);
        EXPECT_NEAR(p["share"].get<double>(), previous_share + 0.05, 1e-12);
        previous_share = p["share"].get<double>();
        if (p["lifetime_ruin"].get<double>() < lowest) {
            lowest = p["lifetime_ruin"].get<double>();
            lowest_share = p["share"].get<double>();
        }
    }
    EXPECT_EQ(sweep["best_share"].get<double>(), lowest_share);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CliSweep,
    ::testing::Values(SweepCase{"cpi_default", "cpi", {}},
                      SweepCase{"variable_older", "variable", {"--age", "78", "--air", "4"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliSweepTable, RowsAndTheBestShare) {
    const Outcome r = run({"--annuity-sweep", "nominal", "--cola", "3", "--lifetime-ruin", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json sweep =
        run_json({"--annuity-sweep", "nominal", "--cola", "3", "--lifetime-ruin", "3"});
    EXPECT_NE(r.out.find("nominal life annuity (COLA 3%)"), std::string::npos) << r.out;
    std::istringstream lines(r.out);
    int rows = 0;
    for (std::string line; std::getline(lines, line);)
        rows += line.find("% ") != std::string::npos && line.find('$') != std::string::npos &&
                line.find("Lowest") == std::string::npos &&
                line.find("Smallest") == std::string::npos &&
                line.find("Annuitization") == std::string::npos;
    EXPECT_EQ(rows, 21);
    const double best = sweep["best_share"].get<double>();
    const std::string best_line =
        "at a share of " + std::to_string(static_cast<int>(std::lround(best * 100))) + "% ($";
    EXPECT_NE(r.out.find(best_line), std::string::npos) << r.out;
    EXPECT_EQ(sweep["lifetime_ruin_threshold"].get<double>(), 0.03);
    EXPECT_NE(r.out.find(sweep["smallest_share_below_threshold"].is_null() ? "No share brings"
                                                                           : "Smallest share with"),
              std::string::npos);
}

TEST(CliToolHelp, NamesTheToolsAndTheirRanges) {
    const Outcome r = run({"--help"});
    ASSERT_EQ(r.status, 0);
    for (const char* text :
         {"--accuracy NAME", "standard or refined", "(default standard)", "--monte-carlo PATHS",
          "1,000 to 100,000,000", "--seed N", "--threads N", "--solve NAME", "--lifetime-ruin PERCENT",
          "0.5 to 50 (default 5)", "--annuity-sweep NAME", "cpi, nominal or variable"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
    // CLI11's own notes of needed and excluded options stay out of it.
    EXPECT_EQ(r.out.find("Needs:"), std::string::npos);
    EXPECT_EQ(r.out.find("Excludes:"), std::string::npos);
}

}  // namespace
}  // namespace quorrel
