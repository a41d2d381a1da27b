// Refusals of the command line are one printable line whatever the value
// held, and the help names each default from the input catalogue.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"

namespace quorrel {
namespace {

using cli_test::Outcome;
using cli_test::run;

struct RefusalCase {
    const char* name;
    std::vector<std::string> args;
    std::string shown;  // what the line shows of the value
};

class OneLineRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(OneLineRefusal, EscapedAndCut) {
    const Outcome r = run(GetParam().args);
    EXPECT_EQ(r.status, 2);
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    for (char c : r.err.substr(0, r.err.size() - 1))
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7f) << r.err;
    EXPECT_LT(r.err.size(), 400u);
    EXPECT_NE(r.err.find(GetParam().shown), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Values, OneLineRefusal,
    ::testing::Values(
        RefusalCase{
            "newline", {"--age", "6\n5"}, "--age: '6\\n5' is not a whole age from 50 to 90"},
        RefusalCase{"escape", {"--gender", "\x1b[2Jmale"}, "'\\x1B[2Jmale' is not one of male"},
        RefusalCase{"carriage", {"--wealth", "1\r000"}, "'1\\r000'"},
        RefusalCase{"long",
                    {"--target", std::string(100000, '7') + "x"},
                    "... (100001 characters)' is not a nonnegative amount"},
        RefusalCase{"list", {"--today", "20,20,\n20,20,20"}, "'20,20,\\n20,20,20' is not five"},
        RefusalCase{"stray", {std::string("stray\nline")}, "stray\\nline"},
        RefusalCase{"fee_between_steps",
                    {"--fee", "1.03"},
                    "--fee: '1.03' is not a percent from 0 to 3 in steps of 0.05"},
        RefusalCase{"fee_above", {"--fee", "3.05"}, "--fee: '3.05' is not a percent from 0 to 3"},
        RefusalCase{"fee_below", {"--fee", "-0.05"}, "--fee: '-0.05' is not a percent"},
        RefusalCase{"fee_word", {"--fee", "1%"}, "--fee: '1%' is not a percent"},
        RefusalCase{"long_stray", {std::string(100000, 's')}, "characters)"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliHelp, DefaultsComeFromTheCatalogue) {
    const Outcome r = run({"--help"});
    ASSERT_EQ(r.status, 0);
    for (const char* text :
         {"whole years 50 to 90 (default 65)", "male, female or unisex (default male)",
          ">= 0 (default 800,000)", "> 0 (default 40,000)", "whole percent 0 to 4 (default 0)",
          "2, 4, 6 or 8 (default 2)", "0 to 100 (default 20,20,20,20,20)", "30 (default 5)",
          "means and deviations (default usa)", "stocks, 0 to 30 by 0.1 (usa 7)",
          "real return bonds, 0 to 30 by 0.1 (usa 2.5)", "cash, 0 to 30 by 0.1 (usa 0.5)",
          "real estate, 0 to 40 by 0.1 (usa 12)", "rp2000 (default up1994)",
          "gam1983 or iam2000 (default gam1983)", "0.1 to 50 by 0.1 (default 5 each)",
          "0.1 to 50 by 0.1 (default 3 each)", "0 to 3 by 0.05 (default 0)"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace quorrel
