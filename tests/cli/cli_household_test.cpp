// A household on the command line: refined accuracy without being asked,
// the standard scheme and a spending rule refused in one line, the
// JSON's household block consistent with the figures beside it, a single
// person's JSON without any household key, and the household's simulation
// in the JSON with its split lifetime ruin.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/defaults.h"
#include "cli/cli_output.h"
#include "cli_run.h"

namespace quorrel {
namespace {

using cli_test::Outcome;
using cli_test::run;
using nlohmann::json;

struct Refusal {
    const char* name;
    std::vector<std::string> args;
    const char* says;
};

class HouseholdRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(HouseholdRefusal, OneLineAndExitTwo) {
    std::vector<std::string> args = {"--spouse-age", "62"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const Outcome r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cli, HouseholdRefusal,
    ::testing::Values(
        Refusal{"standard", {"--accuracy", "standard"}, "refined accuracy only"},
        Refusal{"guardrails", {"--spending", "guardrails"}, "with the fixed rule only"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliHousehold, JsonBlockAgreesWithTheFiguresAndASinglePersonHasNone) {
    const Outcome r = run({"--spouse-age", "62", "--survivor-spending", "80",
                           "--spouse-pension-cpi", "6,000", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["accuracy"], "refined");
    EXPECT_TRUE(j["expected_ruin_age"].is_null());
    EXPECT_EQ(j["inputs"]["spouse_age"], 62);
    EXPECT_EQ(j["inputs"]["spouse_gender"], "Female");
    EXPECT_EQ(j["inputs"]["survivor_spending"], 0.8);
    EXPECT_EQ(j["inputs"]["spouse_pension_cpi"], 6000);
    const json& h = j["household"];
    ASSERT_EQ(h["lifetime_ruin"].size(), 4u);
    double previous = 0;
    for (std::size_t level = 0; level < 4; ++level) {
        const json& row = h["lifetime_ruin"][level];
        const double both = row["while_both_alive"], survivor = row["while_survivor"];
        EXPECT_NEAR(both + survivor, double(row["lifetime"]), 1e-12);
        EXPECT_GE(double(row["lifetime"]), previous - 1e-12);
        previous = row["lifetime"];
    }
    const json& survival = h["survival"];
    ASSERT_EQ(survival["at_least_one"].size(), survival["person"].size());
    // The younger spouse's 48 years to 110.
    EXPECT_EQ(survival["person"].size(), 49u);
    for (std::size_t k = 0; k < survival["person"].size(); ++k) {
        const double p = survival["person"][k], s = survival["spouse"][k];
        EXPECT_NEAR(double(survival["both"][k]), p * s, 1e-15);
        EXPECT_NEAR(double(survival["at_least_one"][k]), p + s - p * s, 1e-15);
    }
    const double expected = h["last_death"]["expected_age"];
    const double ninetieth = h["last_death"]["ninetieth_percentile_age"];
    // The last death comes after the person's own, expected and at the 90th percentile.
    EXPECT_GT(expected, double(j["expected_death_age"]));
    EXPECT_GT(ninetieth, expected);

    const Outcome single = run({"--json"});
    ASSERT_EQ(single.status, 0) << single.err;
    const json s = json::parse(single.out);
    EXPECT_FALSE(s.contains("household"));
    for (const char* key : {"spouse_age", "spouse_gender", "survivor_spending", "survivor_share",
                            "spouse_pension_cpi"})
        EXPECT_FALSE(s["inputs"].contains(key)) << key;
    EXPECT_TRUE(s["expected_ruin_age"].is_number());
}

// --monte-carlo on a household: every figure simulated with its standard
// error and judged against the refined one, the split lifetime ruin in a
// household block whose two parts sum to the simulated lifetime column, and
// no expected ruin age to simulate.
TEST(CliHousehold, SimulationGivesEveryFigureAndTheSplitLifetimeRuin) {
    const Outcome r = run({"--spouse-age", "70", "--spouse-gender", "male", "--survivor-spending",
                           "60", "--monte-carlo", "4000", "--seed", "3", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out);
    const json& mc = j["monte_carlo"];
    EXPECT_EQ(mc["paths"], 4000);
    EXPECT_EQ(mc["seed"], 3);
    EXPECT_TRUE(mc["expected_ruin_age"]["value"].is_null());
    const json& levels = mc["household"]["lifetime_ruin"];
    ASSERT_EQ(levels.size(), 4u);
    for (std::size_t level = 0; level < 4; ++level) {
        const json& row = levels[level];
        const double both = row["while_both_alive"]["value"];
        const double survivor = row["while_survivor"]["value"];
        EXPECT_GT(double(row["while_both_alive"]["standard_error"]), 0);
        EXPECT_GT(double(row["while_survivor"]["standard_error"]), 0);
        EXPECT_TRUE(row["while_both_alive"]["agrees"].is_boolean());
        const json& lifetime = mc["ruin_probability"][level]["lifetime"];
        EXPECT_NEAR(both + survivor, double(lifetime["value"]), 1e-12);
        EXPECT_TRUE(lifetime["agrees"].is_boolean());
    }
    for (const json& cell : mc["expected_income"]) EXPECT_TRUE(cell["standard_error"].is_number());
}

// The annuity sweep of a household: joint-and-survivor purchases, its share
// 0 row the household's own calculation, and a line saying whose lifetime
// the ruin is counted over.
TEST(CliHousehold, AnnuitySweepRunsOnTheHousehold) {
    const std::vector<std::string> household = {"--spouse-age", "62"};
    std::vector<std::string> sweep = household;
    sweep.insert(sweep.end(), {"--annuity-sweep", "nominal", "--json"});
    const Outcome r = run(sweep);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> plain = household;
    plain.push_back("--json");
    const Outcome p = run(plain);
    ASSERT_EQ(p.status, 0) << p.err;
    const json points = json::parse(r.out)["annuity_sweep"];
    const json figures = json::parse(p.out);
    ASSERT_EQ(points.size(), 21u);
    EXPECT_EQ(points[0]["lifetime_ruin"], figures["ruin_probability"][0]["lifetime"]);
    EXPECT_EQ(points[0]["ruin_20"], figures["ruin_probability"][0]["years_20"]);

    // The table's heading, of the inputs the sweep was run on.
    AnalysisState inputs;
    apply_input_defaults(inputs);
    inputs.spouse_age = 62;
    std::ostringstream text;
    AnnuitySweep none;
    none.kind = AnnuityKind::nominal;
    print_sweep(text, inputs, none);
    EXPECT_NE(text.str().find("a nominal joint-and-survivor annuity"), std::string::npos);
    EXPECT_NE(text.str().find("A household (spouse aged 62): lifetime ruin before the last death"),
              std::string::npos);
}

}  // namespace
}  // namespace quorrel
