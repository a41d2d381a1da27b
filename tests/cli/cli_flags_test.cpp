// Cells whose text the grid rather than the model decides: a flag per cell
// in the JSON, and a mark with one footnote line in the tables.
#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli.h"

namespace quorrel {
namespace {

using nlohmann::json;

std::string run(std::vector<std::string> args, int& status) {
    std::vector<const char*> argv{"quorrel-cli"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    status = run_cli(static_cast<int>(argv.size()), argv.data(), out, err);
    EXPECT_EQ(status, 0) << err.str();
    return out.str();
}

struct FlagCase {
    const char* name;
    std::vector<std::string> args;
    std::array<bool, 4> barrier_rows;  // probability rows flagged whole, 0% to 50%
    bool estates;                      // every estate cell flagged
};

class CliFlags : public ::testing::TestWithParam<FlagCase> {};

const char* const kRuinKeys[4] = {"years_10", "years_20", "years_30", "lifetime"};
const char* const kEstateKeys[3] = {"bad", "median", "good"};

TEST_P(CliFlags, JsonFlagsAndTableMarks) {
    const FlagCase& c = GetParam();
    int status = 0;
    std::vector<std::string> json_args = c.args;
    json_args.push_back("--json");
    const json j = json::parse(run(json_args, status));
    int flagged = 0;
    for (size_t row = 0; row < 4; ++row)
        for (const char* key : kRuinKeys) {
            const bool flag = j["ruin_probability"][row]["barrier_at_start"][key].get<bool>();
            EXPECT_EQ(flag, c.barrier_rows[row]) << row << " " << key;
            // A flagged probability is the grid's 100%.
            if (flag) {
                EXPECT_EQ(j["ruin_probability"][row][key].get<double>(), 1.0);
            }
            flagged += flag;
        }
    for (size_t row = 0; row < 3; ++row)
        for (const char* key : kEstateKeys) {
            EXPECT_EQ(j["estate_multiple"][row]["at_grid_limit"][key].get<bool>(), c.estates)
                << row << " " << key;
            flagged += c.estates;
        }

    const std::string tables = run(c.args, status);
    int marks = 0, footnotes = 0;
    std::istringstream lines(tables);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  * ", 0) == 0) {
            ++footnotes;
            continue;
        }
        for (size_t at = line.find("%*"); at != std::string::npos; at = line.find("%*", at + 1))
            ++marks;
        if (line.find("years:") != std::string::npos)
            for (size_t at = line.find('*'); at != std::string::npos; at = line.find('*', at + 1))
                ++marks;
    }
    EXPECT_EQ(marks, flagged) << tables;
    const bool any_barrier =
        c.barrier_rows[0] || c.barrier_rows[1] || c.barrier_rows[2] || c.barrier_rows[3];
    EXPECT_EQ(footnotes, any_barrier + c.estates) << tables;
    EXPECT_EQ(tables.find("  * today's wealth is less than one grid node") != std::string::npos,
              any_barrier);
    EXPECT_EQ(tables.find("  * the search passed the grid's top node") != std::string::npos,
              c.estates);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliFlags,
    ::testing::Values(FlagCase{"defaults", {}, {false, false, false, false}, false},
                      FlagCase{"pensions_cover_tiny_wealth",
                               {"--wealth", "3,999", "--pension-cpi", "400,000"},
                               {true, true, true, true},
                               false},
                      // 0.15 x the target income: more than one node (0.1) above the levels 0,
                      // 0.015 and 0.0375, less above 0.075.
                      FlagCase{"wealth_between_nodes",
                               {"--wealth", "6,000", "--pension-cpi", "40,000"},
                               {false, false, false, true},
                               false},
                      FlagCase{"riskless_growth",
                               {"--stock-dev", "0", "--stock-mean", "30", "--today", "100,0,0,0,0",
                                "--later", "100,0,0,0,0"},
                               {false, false, false, false},
                               true},
                      FlagCase{"refined_tiny_wealth",
                               {"--wealth", "3,999", "--pension-cpi", "400,000", "--accuracy",
                                "refined"},
                               {false, false, false, false},
                               false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorrel
