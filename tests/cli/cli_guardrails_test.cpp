// The guardrails rule on the command line: computed by simulation (the JSON
// says so, --monte-carlo sets the paths), the standard scheme refused in
// one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <nlohmann/json.hpp>

#include "cli_run.h"

namespace quorrel {
namespace {

using cli_test::Outcome;
using cli_test::run;
using nlohmann::json;

TEST(CliGuardrails, StandardAccuracyRefusedInOneLine) {
    const Outcome r = run({"--spending", "guardrails", "--accuracy", "standard"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("simulation only"), std::string::npos) << r.err;
}

TEST(CliGuardrails, FiguresAreTheSimulationsWithItsPaths) {
    const Outcome r = run({"--spending", "guardrails", "--monte-carlo", "3000", "--seed", "11",
                           "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["accuracy"], "simulated");
    EXPECT_NE(std::string(j["scheme"]).find("3,000 simulated wealth paths (seed 11"), std::string::npos);
    EXPECT_EQ(j["spending"]["rule"], "guardrails");
    EXPECT_FALSE(j.contains("monte_carlo"));  // not simulated a second time
    // The default guardrails cut the default case's spending to the floor on some paths.
    EXPECT_GT(double(j["spending"]["at_floor"][2]["probability"]), 0.0);
}

}  // namespace
}  // namespace quorrel
