// The guardrails rule on the command line: computed by simulation (the JSON
// says so, --monte-carlo sets the paths), the same figures on 1 and 2
// threads for a seed, and the standard scheme refused in one line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

TEST(CliGuardrails, SimulatedFiguresTheSameOnOneAndTwoThreads) {
    std::vector<json> runs;
    for (const char* threads : {"1", "2"}) {
        const Outcome r = run({"--spending", "guardrails", "--spending-cut", "20", "--monte-carlo",
                               "3000", "--seed", "11", "--threads", threads, "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        runs.push_back(json::parse(r.out));
    }
    const json& j = runs[0];
    EXPECT_EQ(j["accuracy"], "simulated");
    EXPECT_NE(std::string(j["scheme"]).find("3000 simulated wealth paths (seed 11"), std::string::npos);
    EXPECT_EQ(j["spending"]["rule"], "guardrails");
    for (const char* key : {"ruin_probability", "estate_multiple", "spending", "expected_ruin_age"})
        EXPECT_EQ(runs[1][key], j[key]) << key;
    // The default guardrails cut the default case's spending at some point.
    const json& floor = j["spending"]["at_floor"];
    ASSERT_EQ(floor.size(), 3u);
    EXPECT_GT(double(floor[2]["probability"]), 0.0);
}

}  // namespace
}  // namespace quorrel
