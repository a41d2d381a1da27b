// The command line's PDF report: the document holds the figures the tables
// show, and a file that cannot be written is one line and status 1. Without
// Qt the option does not exist.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "record/number_format.h"
#include "cli_run.h"
#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

namespace fs = std::filesystem;

using cli_test::Outcome;
using cli_test::run;

#ifdef QUORREL_CLI_PDF

std::string command_output(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
    ::pclose(pipe);
    return text;
}

std::string line_with(const std::string& text, const std::string& start) {
    const size_t at = text.find(start);
    if (at == std::string::npos) return {};
    return text.substr(at, text.find('\n', at) - at);
}

class CliPdf : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quorrel_cli_pdf_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

struct PdfCase {
    const char* name;
    std::vector<std::string> args;
    Accuracy accuracy;
    const char* case_line;  // "Case: ..." as the report heads it
};

class CliPdfFigures : public CliPdf, public ::testing::WithParamInterface<PdfCase> {};

TEST_P(CliPdfFigures, DocumentHoldsTheCalculatedFigures) {
    const PdfCase& c = GetParam();
    const std::string file = path("report.pdf");
    ASSERT_EQ(run({"--save-case", path("Pension plan.json")}).status, 0);
    std::vector<std::string> args = c.args;
    for (std::string& a : args)
        if (a == "CASE") a = path("Pension plan.json");
    args.insert(args.end(), {"--pdf", file});
    const Outcome r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;

    const std::string info = command_output("pdfinfo '" + file + "'");
    const size_t pages = info.find("Pages:");
    ASSERT_NE(pages, std::string::npos) << "pdfinfo (poppler-utils) must be installed: " << info;
    const int count = std::stoi(info.substr(pages + 6));
    EXPECT_GE(count, 2);
    EXPECT_LE(count, 4);
    const std::string text = command_output("pdftotext -layout '" + file + "' -");

    AnalysisState s;
    apply_input_defaults(s);
    QuietHooks hooks;
    ResultsRecord results;
    ASSERT_EQ(run_calculation(s, hooks, results, c.accuracy), CalculationOutcome::completed);
    EXPECT_NE(text.find(c.case_line), std::string::npos) << text.substr(0, 300);
    for (size_t row = 0; row < 4; ++row) {
        const std::string line = line_with(text, ruin_row_captions()[row]);
        size_t at = 0;
        for (const char* cell : ruin_cell_names()[row]) {
            at = line.find(results.cells.at(cell), at);
            EXPECT_NE(at, std::string::npos) << cell << " in '" << line << "'";
        }
    }
    for (const char* years : {"10 years:", "20 years:", "30 years:"}) {
        const std::string line = line_with(text, years);
        const size_t row = static_cast<size_t>(years[0] - '1');
        size_t at = 0;
        for (const char* cell : estate_cell_names()[row]) {
            at = line.find(results.cells.at(cell), at);
            EXPECT_NE(at, std::string::npos) << cell << " in '" << line << "'";
        }
    }
    EXPECT_NE(text.find("$800,000"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliPdfFigures,
    ::testing::Values(
        PdfCase{"standard", {}, Accuracy::standard, "Case: Unsaved case"},
        PdfCase{"refined", {"--accuracy", "refined"}, Accuracy::refined, "Case: Unsaved case"},
        PdfCase{"saved", {"--case", "CASE"}, Accuracy::standard, "Case: Pension plan"}),
    [](const auto& info) { return std::string(info.param.name); });

// A household's text report and PDF carry its own lines, with the figures
// the JSON of the same run gives.
TEST_F(CliPdf, HouseholdReportAndPdfHoldTheHouseholdFigures) {
    const std::string pdf = path("couple.pdf"), report = path("couple.txt");
    const Outcome r = run({"--spouse-age", "62", "--survivor-spending", "80", "--json", "--pdf",
                           pdf, "--report", report});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json h = nlohmann::json::parse(r.out)["household"];
    const std::string both = format_percent2(h["lifetime_ruin"][0]["while_both_alive"]);
    const std::string survivor = format_percent2(h["lifetime_ruin"][0]["while_survivor"]);
    std::ifstream in(report);
    const std::string lines((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const std::string& expected :
         {std::string("Spouse's Age :  62   Spouse's Gender : Female"),
          std::string("Survivor Spending :  80%   Survivor Share :  60%"),
          "Life Time Ruin Probability while both were alive :  " + both,
          "Life Time Ruin Probability while a survivor lived :  " + survivor})
        EXPECT_NE(lines.find(expected), std::string::npos) << expected;

    const std::string text = command_output("pdftotext -layout '" + pdf + "' -");
    ASSERT_FALSE(text.empty()) << "pdftotext (poppler-utils) must be installed";
    for (const char* words : {"while both were alive", "Spouse's Age:", "Your age at the last death"})
        EXPECT_NE(text.find(words), std::string::npos) << words;
    // The split row of the 0% level: the lifetime figure, then its two parts.
    const size_t at = text.find("while a survivor lived");
    ASSERT_NE(at, std::string::npos);
    const std::string row = line_with(text.substr(at), ruin_row_captions()[0]);
    EXPECT_NE(row.find(both), std::string::npos) << row;
    EXPECT_NE(row.find(survivor), std::string::npos) << row;
}

TEST_F(CliPdf, UnwritablePathIsOneLineAndStatusOne) {
    for (const std::string& file :
         {std::string("/nonexistent-quorrel-dir/report.pdf"), dir_.string()}) {
        const Outcome r = run({"--json", "--pdf", file});
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find("cannot write the PDF report to '" + file + "'"), std::string::npos)
            << r.err;
    }
    EXPECT_TRUE(fs::is_empty(dir_));
    EXPECT_NE(run({"--help"}).out.find("--pdf FILE"), std::string::npos);
}

#else

TEST(CliPdf, NoOptionWithoutQt) {
    const Outcome r = run({"--pdf", "report.pdf"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--pdf"), std::string::npos) << r.err;
    EXPECT_EQ(run({"--help"}).out.find("--pdf"), std::string::npos);
}

#endif

}  // namespace
}  // namespace quorrel
