#include "cli/cli.h"
#include "cli_run.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "analysis/defaults.h"
#include "analysis/input_catalogue.h"
#include "analysis/pipeline.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun cli(std::initializer_list<const char*> args) {
    std::vector<const char*> argv{"quorrel-cli"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::ostringstream out, err;
    CliRun r;
    r.status = run_cli(static_cast<int>(argv.size()), argv.data(), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

size_t line_count(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

TEST(Cli, MalformedOrOutOfRangeOptionsExitTwoWithOneLine) {
    const std::vector<std::vector<const char*>> cases = {
        {"--age", "49"},
        {"--age", "91"},
        {"--age", "65.5"},
        {"--age", "abc"},
        {"--age"},
        {"--gender", "other"},
        {"--wealth", "-5"},
        {"--wealth", "1e6"},
        {"--target", "forty"},
        {"--pension-cpi", "1,00"},
        {"--cola", "5"},
        {"--air", "3"},
        {"--air", "10"},
        {"--today", "20,20,20,20"},
        {"--today", "20,20,20,20,20,0"},
        {"--later", "20,20,20,20,101"},
        {"--later", "20,20,20,20,x"},
        {"--switch-years", "7"},
        {"--switch-years", "35"},
        {"--market", "mexico"},
        {"--stock-mean", "30.1"},
        {"--stock-mean", "7.55"},
        {"--cash-mean", "-1"},
        {"--estate-dev", "40.5"},
        {"--ruin-table", "gam1983"},
        {"--annuity-table", "rp2000"},
        {"--ruin-projection", "31"},
        {"--annuity-projection", "-1"},
        {"--nominal-curve", "5,5,5,5,5"},
        {"--nominal-curve", "0,5,5,5,5,5"},
        {"--real-curve", "3,3,3,3,3,50.1"},
        {"--real-curve", "3,3,3,3,3,3.05"},
        {"--spouse-age", "49"},
        {"--spouse-age", "91"},
        {"--spouse-gender", "other"},
        {"--survivor-spending", "101"},
        {"--survivor-share", "-1"},
        {"--spouse-pension-cpi", "-5"},
        {"--bogus"},
        {"stray"},
    };
    for (const auto& args : cases) {
        std::vector<const char*> argv{"quorrel-cli"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::ostringstream out, err;
        const int status = run_cli(static_cast<int>(argv.size()), argv.data(), out, err);
        const std::string what = args.size() > 1 ? std::string(args[0]) + " " + args[1] : args[0];
        EXPECT_EQ(status, 2) << what;
        EXPECT_EQ(line_count(err.str()), 1u) << what << ": " << err.str();
        EXPECT_EQ(err.str().back(), '\n') << what;
        EXPECT_TRUE(out.str().empty()) << what;
        if (args[0][0] == '-' && args.size() > 1) {  // names the offending option
            EXPECT_NE(err.str().find(args[0]), std::string::npos) << err.str();
        }
    }
}

TEST(Cli, HelpDocumentsEveryOptionWithItsRange) {
    const CliRun r = cli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.err.empty());
    // Every input of the catalogue by its option, its type and its help; a
    // shared option's texts are on its first row.
    int options = 0;
    for (const InputRow& row : input_catalogue()) {
        if (*row.option == '\0' || *row.help == '\0') continue;
        ++options;
        const std::string line = std::string(row.option) + " " + row.option_type;
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
        EXPECT_NE(r.out.find(row.help), std::string::npos) << row.help;
        EXPECT_NE(r.out.find(row.option_group), std::string::npos) << row.option_group;
    }
    EXPECT_GE(options, 30);
    for (const char* text : {"--json", "--report FILE", "--case FILE", "--save-case FILE"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
}

TEST(Cli, RefusedCalculationPrintsTheMessageAndExitsOne) {
    struct Case {
        std::vector<const char*> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {{"--target", "0"}, kTargetIncomeMessage},
        {{"--today", "20,20,20,20,19"}, kAllocationMessage},
        {{"--later", "50,50,1,0,0"}, kAllocationMessage},
        {{"--wealth", "100,000", "--purchase-nominal", "150,000"}, kNegativeWealthMessage},
        {{"--target", "10,000"}, kRatioMessage},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"quorrel-cli"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::ostringstream out, err;
        EXPECT_EQ(run_cli(static_cast<int>(argv.size()), argv.data(), out, err), 1) << c.args[0];
        EXPECT_EQ(err.str(), std::string(c.message) + "\n");
        EXPECT_TRUE(out.str().empty());
    }
}

TEST(Cli, JsonMatchesADirectCalculation) {
    const CliRun r = cli({"--json",
                          "--age",
                          "70",
                          "--gender",
                          "female",
                          "--today",
                          "60,30,10,0,0",
                          "--later",
                          "30,30,20,10,10",
                          "--switch-years",
                          "10",
                          "--market",
                          "canada",
                          "--stock-mean",
                          "5.5",
                          "--wealth",
                          "750,000",
                          "--target",
                          "45000",
                          "--pension-cpi",
                          "5000",
                          "--purchase-nominal",
                          "50000",
                          "--cola",
                          "3",
                          "--air",
                          "4",
                          "--ruin-table",
                          "iam2000",
                          "--ruin-projection",
                          "5",
                          "--annuity-table",
                          "iam2000",
                          "--annuity-projection",
                          "10",
                          "--nominal-curve",
                          "4,4.5,5,5,5.5,6",
                          "--real-curve",
                          "2,2,2.5,2.5,3,3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    const nlohmann::json j = nlohmann::json::parse(r.out);

    AnalysisState s;
    apply_input_defaults(s);
    s.current_age = 70;
    s.gender_code = 1;
    s.gender_text = "Female";
    s.weight_stock = s.weight_copy_stock = 0.6;
    s.weight_nomi_bond = s.weight_copy_nomi_bond = 0.3;
    s.weight_real_bond = s.weight_copy_real_bond = 0.1;
    s.weight_cash = s.weight_copy_cash = 0;
    s.weight_estate = s.weight_copy_estate = 0;
    s.later_weight_stock = s.later_weight_copy_stock = 0.3;
    s.later_weight_nomi_bond = s.later_weight_copy_nomi_bond = 0.3;
    s.later_weight_real_bond = s.later_weight_copy_real_bond = 0.2;
    s.later_weight_cash = s.later_weight_copy_cash = 0.1;
    s.later_weight_estate = s.later_weight_copy_estate = 0.1;
    s.later_allocation_years = 10;
    apply_market_preset(s, 1);
    s.mean_stock = 0.055;
    s.liquid_wealth = 750000;
    s.target_income = 45000;
    s.pension_cpi_income = 5000;
    s.purchase_nominal = 50000;
    s.cola_rate = s.cola_rate_mirror = 0.03;
    s.air_rate = s.air_rate_mirror = 0.04;
    s.ruin_table_code = 2;
    s.ruin_table_name = "IAM 2000  Basic";
    s.ruin_projection_years = 5;
    s.ruin_projection_text = "5";
    s.annuity_table_code = 2;
    s.annuity_table_name = "IAM 2000 Basic";
    s.annuity_projection_years = 10;
    s.annuity_projection_text = "10";
    s.nominal_rate_1 = 0.04;
    s.nominal_rate_2 = 0.045;
    s.nominal_rate_3 = 0.05;
    s.nominal_rate_4 = 0.05;
    s.nominal_rate_5 = 0.055;
    s.nominal_rate_6 = 0.06;
    s.real_rate_1 = 0.02;
    s.real_rate_2 = 0.02;
    s.real_rate_3 = 0.025;
    s.real_rate_4 = 0.025;
    s.real_rate_5 = 0.03;
    s.real_rate_6 = 0.03;
    QuietHooks hooks;
    ResultsRecord results;
    ASSERT_EQ(run_calculation(s, hooks, results), CalculationOutcome::completed) << hooks.message;

    EXPECT_EQ(j, results_json(s, results));
    // And field by field, for the figures a reader looks at first.
    EXPECT_EQ(j["net_investable_wealth"].get<double>(), 700000.0);
    EXPECT_EQ(j["consumption_deficit"].get<double>(), s.consumption_deficit);
    EXPECT_EQ(j["acquired_income"]["nominal"].get<double>(), s.acquired_nominal_income);
    EXPECT_GT(s.acquired_nominal_income, 0);
    EXPECT_EQ(j["portfolio"]["current_expected_return"].get<double>(), s.current_expected_return);
    EXPECT_EQ(j["portfolio"]["later_standard_deviation"].get<double>(), s.later_standard_deviation);
    EXPECT_EQ(j["ratios"]["wealth_ratio"].get<double>(), s.wealth_ratio);
    for (size_t row = 0; row < 4; ++row)
        EXPECT_EQ(j["ruin_probability"][row]["lifetime"].get<double>(), results.ruin_grid[row][3]);
    EXPECT_EQ(j["estate_multiple"][1]["median"].get<double>(), results.estate_grid[1][1]);
    EXPECT_EQ(j["cells"].size(), 25u);
    EXPECT_EQ(j["cells"]["Text5"].get<std::string>(), results.cells.at("Text5"));
    EXPECT_EQ(j["expected_ruin_age"].get<double>(), results.expected_ruin_age);
    EXPECT_EQ(j["survival_curve"].size(), 41u);  // age 70: 40 years and today
    EXPECT_EQ(j["expected_income"].size(), 20u);
    EXPECT_EQ(j["expected_income"][0]["years"].get<double>(), 2.5);  // step Int(40 / 10) + 1 = 5
    EXPECT_EQ(j["expected_income"][19]["age"].get<double>(), 120.0);
    EXPECT_EQ(j["ninetieth_percentile_age"].get<double>(), 70 + results.ninetieth_percentile_index);
    EXPECT_EQ(j["inputs"]["means"][0].get<double>(), 0.055);
    EXPECT_EQ(j["inputs"]["means"][2].get<double>(), 0.02);  // Canada's preset stays for the rest
}

TEST(Cli, DefaultRunPrintsTheFourTabs) {
    const CliRun r = cli({});
    ASSERT_EQ(r.status, 0) << r.err;
    AnalysisState s;
    apply_input_defaults(s);
    QuietHooks hooks;
    ResultsRecord results;
    ASSERT_EQ(run_calculation(s, hooks, results), CalculationOutcome::completed);

    for (const char* text :
         {"Probability Results", "10 Years", "Lifetime", "0% of initial NIW", "50 % of initial NIW",
          "Projected Wealth", "Bad (25%)", "Good (75%)", "30 years:", "Projected Consumption",
          "Mortality Parameters", "Life Expectancy:", "90th Percentile:", "$800,000"})
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
    // The probability row of 0% shows the four published figures in order.
    const size_t at = r.out.find("\n  0% of initial NIW");
    ASSERT_NE(at, std::string::npos);
    const std::string line = r.out.substr(at + 1, r.out.find('\n', at + 1) - at - 1);
    size_t pos = 0;
    for (const char* cell : {"Text2", "Text3", "Text4", "Text5"}) {
        pos = line.find(results.cells.at(cell), pos);
        EXPECT_NE(pos, std::string::npos) << cell << " in " << line;
    }
    const std::string life = "Life Expectancy:";
    const size_t le = r.out.find(life);
    ASSERT_NE(le, std::string::npos);
    std::istringstream rest(r.out.substr(le + life.size()));
    int shown = 0;
    rest >> shown;
    EXPECT_EQ(shown, static_cast<int>(s.expected_death_age) + 1);
}

TEST(Cli, ReportIsAppended) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("quorrel_cli_report_" + std::to_string(::getpid()) + ".txt");
    std::filesystem::remove(file);
    const std::string name = file.string();
    ASSERT_EQ(cli({"--report", name.c_str(), "--json"}).status, 0);
    ASSERT_EQ(cli({"--report", name.c_str(), "--json"}).status, 0);
    std::ifstream in(file, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::filesystem::remove(file);

    std::vector<std::string> lines;
    std::istringstream split(text);
    for (std::string line; std::getline(split, line);) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 116u);
    EXPECT_EQ(lines[0], "\"Retirement Ruin and Quorrel\"");
    EXPECT_EQ(lines[58], lines[0]);
    EXPECT_EQ(lines[23], "\"Liquid Retirement Wealth :  $800,000\"");
    EXPECT_EQ(lines[81], lines[23]);
    EXPECT_EQ(lines[7], "\"Current Age :  65\"");
}

TEST(Cli, UnwritableReportExitsOne) {
    const CliRun r = cli({"--report", "/nonexistent-quorrel-dir/report.txt", "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(line_count(r.err), 1u);
    EXPECT_NE(r.err.find("/nonexistent-quorrel-dir/report.txt"), std::string::npos);
}

// The program under a file-size limit that the report does not fit: the
// append fails as an ordinary error and takes its part back out, instead of
// the program being killed half-way through the report.
class ReportUnderSizeLimit : public ::testing::TestWithParam<rlim_t> {};

TEST_P(ReportUnderSizeLimit, FailsWithAMessageAndLeavesNoPart) {
    const rlim_t limit = GetParam();
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("quorrel_cli_limit_" + std::to_string(::getpid()) + "_" + std::to_string(limit) + ".txt");
    std::filesystem::remove(file);
    int err_pipe[2];
    ASSERT_EQ(::pipe(err_pipe), 0);
    const std::string program = cli_test::cli_program();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(err_pipe[1], 2);
        ::close(err_pipe[0]);
        const rlimit r{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &r);
        ::execl(program.c_str(), "quorrel-cli", "--json", "--report", file.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(err_pipe[1]);
    std::string err;
    char buf[512];
    for (ssize_t n; (n = ::read(err_pipe[0], buf, sizeof buf)) > 0;)
        err.append(buf, static_cast<size_t>(n));
    ::close(err_pipe[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status))
        << "killed by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(line_count(err), 1u) << err;
    EXPECT_NE(err.find("cannot append the report"), std::string::npos) << err;
    // The report made the file, so the failure takes it away again.
    EXPECT_FALSE(std::filesystem::exists(file));
    std::filesystem::remove(file);
}

// Nothing fits; a part of the first line fits; most of the report fits.
INSTANTIATE_TEST_SUITE_P(Limits, ReportUnderSizeLimit,
                         ::testing::Values(rlim_t{0}, rlim_t{10}, rlim_t{1500}));

}  // namespace
}  // namespace quorrel
