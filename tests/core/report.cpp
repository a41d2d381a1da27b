#include "analysis/report.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "analysis/defaults.h"

namespace quorrel {
namespace {

namespace fs = std::filesystem;

// A state and results as a finished default calculation leaves them, with
// round figures so that every line can be checked by hand.
struct Case {
    AnalysisState state;
    ResultsRecord results;

    Case() {
        apply_input_defaults(state);
        state.expected_death_age = 85.5;
        state.net_investable_wealth = 600000;
        state.consumption_deficit = 40000;
        state.current_expected_return = 0.0525;
        state.later_expected_return = 0.0475;
        state.current_standard_deviation = 0.101234;
        state.later_standard_deviation = 0.09;
        state.implied_inflation = 0.02;
        state.later_allocation_years = 10;
        results.cells["Text2"] = "3.4%";
        results.cells["Text3"] = "18.0%";
        results.cells["Text4"] = "35.1%";
        results.cells["Text5"] = "22.7%";
        results.cells["Text55(0)"] = "1.25";
        results.cells["Text58(0)"] = "0.00";
        results.cells["Text61(0)"] = "12.05";
    }
    std::vector<std::string> lines() const {
        return report_lines(state, results, "800,000", "2026-12-08 21:48:25");
    }
};

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

TEST(ReportLines, LayoutOfTheFiftyEightLines) {
    const auto lines = Case().lines();
    ASSERT_EQ(lines.size(), 58u);
    // 1-based numbers of the separator lines.
    const std::set<size_t> separators{2,  4,  6,  7,  9,  11, 13, 14, 16, 18, 20,
                                      22, 23, 25, 27, 29, 31, 32, 34, 36, 38, 40,
                                      42, 43, 45, 47, 49, 51, 52, 54, 56, 58};
    for (size_t n = 1; n <= 58; ++n) {
        const std::string& line = lines[n - 1];
        if (separators.count(n)) {
            EXPECT_EQ(line, std::string(20, ' ')) << "line " << n;
        } else {
            ASSERT_GE(line.size(), 2u) << "line " << n;
            EXPECT_EQ(line.front(), '"') << "line " << n;
            EXPECT_EQ(line.back(), '"') << "line " << n;
            EXPECT_EQ(line.find('"', 1), line.size() - 1) << "line " << n;
        }
    }
}

TEST(ReportLines, TextOfEachLine) {
    const auto l = Case().lines();
    EXPECT_EQ(l[0], quoted("Retirement Ruin and Quorrel"));
    EXPECT_EQ(l[2], quoted("------------------Output-------------------"));
    EXPECT_EQ(l[4], quoted("----------Summary: at: 2026-12-08 21:48:25------------"));
    // Caption, the added blank and Str's own blank: two blanks before 65.
    EXPECT_EQ(l[7], quoted("Current Age :  65"));
    // The report rounds the expected death age, the screen shows Int + 1.
    EXPECT_EQ(l[9], quoted("Life Expectancy : 86"));
    EXPECT_EQ(l[11], quoted("Gender : Male"));
    EXPECT_EQ(l[14], quoted("Mortality Table(Probability) : UP 1994"));
    EXPECT_EQ(l[16], quoted("Number of Projected Years(Probability) : 0"));
    EXPECT_EQ(l[18], quoted("Mortality Table(Annuity) : GAM 1983 (PBGC)"));
    EXPECT_EQ(l[20], quoted("Number of Projected Years(Annuity) : 0"));
    EXPECT_EQ(l[23], quoted("Liquid Retirement Wealth :  $800,000"));
    EXPECT_EQ(l[25], quoted("Real Target Income :  $40,000"));
    EXPECT_EQ(l[27], quoted("Net Investable Wealth :  $600,000"));
    EXPECT_EQ(l[29], quoted("Net Consumption Deficit :  $40,000"));
    EXPECT_EQ(l[32], quoted("Current Expected Return :  5.25%"));
    // Two blanks between "--" and 10, two before the colon and two after it.
    EXPECT_EQ(l[34], quoted("Expected Return --  10 Years later  :  4.75%"));
    EXPECT_EQ(l[36], quoted("Current Standard Deviation :  10.12%"));
    EXPECT_EQ(l[38], quoted("Standard Deviation --  10 Years later :  9.00%"));
    EXPECT_EQ(l[40], quoted("Implied Inflation Assumption :  2.00%"));
    EXPECT_EQ(l[43], quoted("Ruin Probability in 10 years :  3.4%"));
    EXPECT_EQ(l[45], quoted("Ruin Probability in 20 years :  18.0%"));
    EXPECT_EQ(l[47], quoted("Ruin Probability in 30 years :  35.1%"));
    EXPECT_EQ(l[49], quoted("Life Time Ruin Probability :  22.7%"));
    // The published multiple times the net investable wealth: 1.25 x 600,000.
    EXPECT_EQ(l[52], quoted("Median Estate Value in 10 years :  $750,000"));
    EXPECT_EQ(l[54], quoted("Median Estate Value in 20 years :  $0"));
    EXPECT_EQ(l[56], quoted("Median Estate Value in 30 years :  $7,230,000"));
}

// A fee adds its line and separator before the inflation line; every other
// line keeps its text, two places on.
TEST(ReportLines, FeeLineOnlyWhenThereIsAFee) {
    Case c;
    const auto without = c.lines();
    c.state.advisory_fee = 0.0125;
    const auto with = c.lines();
    std::vector<std::string> expected = without;
    expected.insert(expected.begin() + 40,
                    {quoted("Advisory Fee (per year) :  1.25%"), std::string(20, ' ')});
    EXPECT_EQ(with, expected);
}

TEST(ReportLines, MedianUsesThePublishedFigureNotTheRawOne) {
    Case c;
    c.results.estate_grid[0][1] = 1.2549;  // shown as 1.25
    c.results.cells["Text55(0)"] = "1.25";
    EXPECT_EQ(c.lines()[52], quoted("Median Estate Value in 10 years :  $750,000"));
}

TEST(ReportFileName, AppendsTxtOnlyWhenMissing) {
    EXPECT_EQ(report_file_name("results"), "results.txt");
    EXPECT_EQ(report_file_name("results.txt"), "results.txt");
    EXPECT_EQ(report_file_name("results.TXT"), "results.TXT");
    EXPECT_EQ(report_file_name("/tmp/a.Txt"), "/tmp/a.Txt");
    EXPECT_EQ(report_file_name("results.txt.bak"), "results.txt.bak.txt");
    EXPECT_EQ(report_file_name("txt"), "txt.txt");
    EXPECT_EQ(report_file_name("a.text"), "a.text.txt");
}

class AppendReport : public ::testing::Test {
protected:
    void SetUp() override {
        // A parameterised test's name holds a '/': one folder, not a folder
        // in a folder that TearDown would leave behind.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir_ = fs::temp_directory_path() / ("quorrel_report_" + std::to_string(::getpid()) + "_" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    fs::path dir_;
};

TEST_F(AppendReport, TwoSavesGiveTwoCompleteReports) {
    const auto lines = Case().lines();
    const fs::path file = dir_ / "report.txt";
    ASSERT_EQ(append_report(file.string(), lines), "");
    ASSERT_EQ(append_report(file.string(), lines), "");

    std::string one;
    for (const auto& line : lines) one += line + "\r\n";
    EXPECT_EQ(read(file), one + one);
}

TEST_F(AppendReport, KeepsWhatTheFileHeld) {
    const fs::path file = dir_ / "notes.txt";
    { std::ofstream(file, std::ios::binary) << "earlier\r\n"; }
    ASSERT_EQ(append_report(file.string(), {"\"x\""}), "");
    EXPECT_EQ(read(file), "earlier\r\n\"x\"\r\n");
}

TEST_F(AppendReport, MissingDirectoryGivesAReason) {
    const fs::path file = dir_ / "no such folder" / "report.txt";
    const std::string reason = append_report(file.string(), Case().lines());
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(AppendReport, DirectoryInsteadOfFileGivesAReason) {
    EXPECT_FALSE(append_report(dir_.string(), Case().lines()).empty());
}

TEST_F(AppendReport, ReadOnlyDirectoryGivesAReason) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(append_report((dir_ / "report.txt").string(), Case().lines()).empty());
}

TEST_F(AppendReport, FullDeviceGivesAReason) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    EXPECT_FALSE(append_report("/dev/full", Case().lines()).empty());
}

// Writers in separate processes append to one file at the same moment; some
// of them run under a file-size limit and fail. Every report of a writer that
// succeeded must be in the file whole, and nothing else: no half report, no
// report lost to another writer's roll-back.
struct ConcurrentCase {
    const char* name;
    int succeeding;
    int failing;
    // Size limit of a failing writer as a fraction of the file's final size
    // (0: nothing fits; otherwise drawn between 0 and this).
    double limit_fraction;
};

class ConcurrentAppend : public AppendReport,
                         public ::testing::WithParamInterface<ConcurrentCase> {};

TEST_P(ConcurrentAppend, EverySuccessfulReportWholeAndNothingElse) {
    const ConcurrentCase& c = GetParam();
    const int writers = c.succeeding + c.failing;
    const int rounds = 30;
    std::mt19937 random(20261209);
    int failures_seen = 0;
    for (int round = 0; round < rounds; ++round) {
        const fs::path file = dir_ / ("round" + std::to_string(round) + ".txt");
        std::vector<std::vector<std::string>> lines(static_cast<size_t>(writers));
        std::vector<std::string> contents(static_cast<size_t>(writers));
        for (size_t w = 0; w < lines.size(); ++w) {
            const Case base;
            lines[w] =
                report_lines(base.state, base.results, "800,000",
                             "round " + std::to_string(round) + " writer " + std::to_string(w));
            for (const auto& line : lines[w]) contents[w] += line + "\r\n";
        }
        const double total = static_cast<double>(contents[0].size()) * writers;
        std::uniform_real_distribution<double> fraction(0.0, c.limit_fraction);

        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        std::vector<pid_t> children;
        for (int w = 0; w < writers; ++w) {
            const bool failing = w % 2 == 1 && w / 2 < c.failing;
            const rlim_t limit = static_cast<rlim_t>(total * fraction(random));
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                ::close(gate[1]);
                ignore_file_size_signal();
                if (failing) {
                    const rlimit r{limit, limit};
                    if (::setrlimit(RLIMIT_FSIZE, &r) != 0) ::_exit(3);
                }
                char byte;
                while (::read(gate[0], &byte, 1) > 0) {
                }
                ::_exit(append_report(file.string(), lines[static_cast<size_t>(w)]).empty() ? 0
                                                                                            : 1);
            }
            children.push_back(pid);
        }
        ::close(gate[0]);
        ::close(gate[1]);  // all start together

        std::vector<int> succeeded;
        for (int w = 0; w < writers; ++w) {
            int status = 0;
            ASSERT_EQ(::waitpid(children[static_cast<size_t>(w)], &status, 0),
                      children[static_cast<size_t>(w)]);
            ASSERT_TRUE(WIFEXITED(status)) << "writer " << w << " killed by signal "
                                           << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
            ASSERT_LE(WEXITSTATUS(status), 1) << "writer " << w;
            if (WEXITSTATUS(status) == 0)
                succeeded.push_back(w);
            else
                ++failures_seen;
        }

        // The file, read report by report, is the successful reports in some order.
        const std::string text = read(file);
        size_t at = 0;
        std::vector<int> left = succeeded;
        while (at < text.size()) {
            auto match = std::find_if(left.begin(), left.end(), [&](int w) {
                return text.compare(at, contents[static_cast<size_t>(w)].size(),
                                    contents[static_cast<size_t>(w)]) == 0;
            });
            ASSERT_NE(match, left.end()) << c.name << ", round " << round << ": bytes at " << at
                                         << " are no successful writer's whole report";
            at += contents[static_cast<size_t>(*match)].size();
            left.erase(match);
        }
        EXPECT_TRUE(left.empty()) << c.name << ", round " << round << ": " << left.size() << " of "
                                  << succeeded.size() << " successful reports missing";
    }
    // The limits did make writers fail, or the case tested nothing.
    EXPECT_GE(failures_seen, rounds);
}

// Spending that follows wealth adds the rule, its terms and the figures of
// the record after the estate lines; the fixed rule adds nothing.
struct SpendingReportCase {
    const char* name;
    int rule;
    std::vector<std::string> terms;  // the lines of the rule and its terms
};

class SpendingReportLines : public ::testing::TestWithParam<SpendingReportCase> {};

TEST_P(SpendingReportLines, RuleTermsAndFiguresAfterTheEstate) {
    Case c;
    c.state.spending_rule = static_cast<std::int16_t>(GetParam().rule);
    c.state.target_income = 40000;
    c.state.spending_rate = 0.046;
    c.state.spending_ceiling = 70000;
    c.state.guardrail_upper = 0.25;
    c.state.guardrail_lower = 0.15;
    c.state.spending_cut = 0.12;
    c.state.spending_raise = 0.08;
    c.results.spending_grid = {{{31234.4, 38765.6, 47000.5}, {30500, 35010.2, 44999.4}, {0, 0, 0}}};
    c.results.spending_at_floor = {0.125, 0.2501, 1};
    const auto lines = c.lines();
    const auto fixed = Case().lines();
    // The fixed report's 58 lines come first, unchanged.
    ASSERT_GE(lines.size(), fixed.size());
    for (size_t n = 0; n < fixed.size(); ++n) {
        EXPECT_EQ(lines[n], fixed[n]) << "line " << n + 1;
    }
    std::vector<std::string> added;
    for (size_t n = fixed.size(); n < lines.size(); ++n)
        if (lines[n] != std::string(20, ' ')) added.push_back(lines[n]);
    std::vector<std::string> expected;
    for (const std::string& t : GetParam().terms) expected.push_back(quoted(t));
    if (GetParam().rule != 0) {
        expected.push_back(quoted(
            "Spending in 10 years (25% / Median / 75%) :  $31,234 / $38,766 / $47,001   At the "
            "Floor :  12.5%"));
        expected.push_back(quoted(
            "Spending in 20 years (25% / Median / 75%) :  $30,500 / $35,010 / $44,999   At the "
            "Floor :  25.0%"));
        expected.push_back(
            quoted("Spending in 30 years (25% / Median / 75%) :  $0 / $0 / $0   At the Floor :  "
                   "100.0%"));
    }
    EXPECT_EQ(added, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SpendingReportLines,
    ::testing::Values(
        SpendingReportCase{"fixed", 0, {}},
        SpendingReportCase{"percent",
                           1,
                           {"Spending Rule :  Percent of wealth",
                            "Spending Rate :  4.6% of wealth",
                            "Floor per Year :  $30,000 (75% of the target)",
                            "Ceiling per Year :  $70,000"}},
        SpendingReportCase{"guardrails",
                           2,
                           {"Spending Rule :  Guardrails",
                            "Floor per Year :  $30,000 (75% of the target)",
                            "Ceiling per Year :  $70,000", "Upper Guardrail :  25%",
                            "Lower Guardrail :  15%", "Spending Cut :  12%",
                            "Spending Raise :  8%"}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Writers, ConcurrentAppend,
                         ::testing::Values(ConcurrentCase{"nothing fits", 10, 10, 0.0},
                                           ConcurrentCase{"limit inside the file", 10, 10, 1.0}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (ch == ' ') ch = '_';
                             return name;
                         });

}  // namespace
}  // namespace quorrel
