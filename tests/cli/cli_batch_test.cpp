// Batches as files, standard input and split parts; bytes that are not
// UTF-8 in what reaches JSON; paths refused before computing; a comparison's
// names shown escaped.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/cli.h"
#include "cli_run.h"

namespace quorrel {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using cli_test::Outcome;
using cli_test::json_lines;
using cli_test::run;


json figures(json j) {
    for (const char* key : {"name", "row", "case", "solver_calls"}) j.erase(key);
    return j;
}

json direct(std::vector<std::string> args) {
    args.push_back("--json");
    return figures(json::parse(run(args).out));
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CliBatch : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quorrel_cli_batch_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void put(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    // The program run by the shell in the test's folder; its output kept.
    int shell(const std::string& command) const {
        const std::string line = "cd '" + dir_.string() + "' && " + command;
        return std::system(line.c_str());
    }
    fs::path dir_;
};

// A whole batch refused before any row: one message, no output.
TEST_F(CliBatch, RefusedBatchesSayWhyAndPrintNothing) {
    struct Case {
        const char* file;
        std::string text;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"empty.csv", "", "holds no cases"},
        {"header.csv", "name,age\n", "holds no cases"},
        {"blank.txt", "\n# only a comment\n\n", "holds no cases"},
        {"unknown.csv", "name,age,colour\na,70,red\n",
         "column 3 \"colour\" is neither \"name\" nor an input option"},
        {"repeated.csv", "name,age,wealth,age\na,70,1,71\n", "column 4 \"age\" repeats column 2"},
        {"semicolons.csv", "\xEF\xBB\xBFname;age\na;70\n", "separates its columns by ';'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        put(c.file, c.text);
        const Outcome r = run({"--batch", path(c.file)});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
    const Outcome folder = run({"--batch", dir_.string()});
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("it is a folder"), std::string::npos) << folder.err;
}

// An open quote costs its own row only; a byte order mark and CRLF are read.
TEST_F(CliBatch, OpenQuoteIsOneRowsErrorAndTheRestIsComputed) {
    put("q.csv", "\xEF\xBB\xBFname,age\r\n\"open,70\r\nnext,71\r\n");
    const Outcome r = run({"--batch", path("q.csv")});
    EXPECT_EQ(r.status, 1);
    const std::vector<json> lines = json_lines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["row"], 1);
    EXPECT_EQ(lines[0]["error"], "row 1: a quote is not closed on its line");
    EXPECT_EQ(lines[1]["row"], 2);
    EXPECT_EQ(lines[1]["name"], "next");
    EXPECT_EQ(figures(lines[1]), direct({"--age", "71"}));
}

// A household row is computed at refined accuracy without being asked, as a
// single run computes it; the single person beside it keeps the standard
// scheme.
TEST_F(CliBatch, HouseholdRowTakesTheAccuracyOfASingleRun) {
    put("h.csv", "name,age,spouse-age\ncouple,66,63\nsingle,66,0\n");
    const Outcome r = run({"--batch", path("h.csv")});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<json> lines = json_lines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["accuracy"], "refined");
    EXPECT_EQ(figures(lines[0]), direct({"--age", "66", "--spouse-age", "63"}));
    EXPECT_EQ(figures(lines[1]), direct({"--age", "66"}));
}

// More rows than are ever in flight: every row once, in the file's order,
// the computed ones with the figures of a direct run.
TEST_F(CliBatch, LongBatchKeepsTheFilesOrder) {
    std::string text = "name,age\n";
    const int rows = 700;
    for (int i = 1; i <= rows; ++i)
        text += "r" + std::to_string(i) + "," + (i % 150 == 0 ? "75" : "49") + "\n";
    put("long.csv", text);
    const Outcome r = run({"--batch", path("long.csv")});
    EXPECT_EQ(r.status, 1);
    const std::vector<json> lines = json_lines(r.out);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(rows));
    for (int i = 1; i <= rows; ++i) {
        const json& line = lines[static_cast<std::size_t>(i - 1)];
        ASSERT_EQ(line["row"], i);
        EXPECT_EQ(line["name"], "r" + std::to_string(i));
        EXPECT_EQ(line.contains("error"), i % 150 != 0);
    }
    EXPECT_EQ(figures(lines[149]), direct({"--age", "75"}));
}

// Bytes that are not UTF-8 (Latin-1) in a name, a value or a file name still
// give one JSON line per row, and nothing stops the program.
TEST_F(CliBatch, LatinOneBytesGiveValidJson) {
    put("latin.csv", "name,age,gender\nJos\xE9,70,\nb,71,m\xE2le\n");
    const Outcome csv = run({"--batch", path("latin.csv")});
    const std::vector<json> rows = json_lines(csv.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["name"], "Jos\xEF\xBF\xBD");
    EXPECT_EQ(figures(rows[0]), direct({"--age", "70"}));
    EXPECT_TRUE(rows[1].contains("error"));

    put("list.txt", "caf\xE9.case\n");
    const Outcome list = run({"--batch", path("list.txt")});
    const std::vector<json> listed = json_lines(list.out);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]["case"], "caf\xEF\xBF\xBD.case");
    EXPECT_NE(listed[0]["error"].get<std::string>().find("cannot be read"), std::string::npos);

    const std::string latin_case = path("\xE9t\xE9.case");
    ASSERT_EQ(run({"--age", "72", "--save-case", latin_case}).status, 0);
    const Outcome compared = run({"--compare", latin_case, "--json"});
    ASSERT_EQ(compared.status, 0) << compared.err;
    const json all = json::parse(compared.out);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1]["name"], "\xEF\xBF\xBDt\xEF\xBF\xBD");
    EXPECT_EQ(figures(all[1]), direct({"--age", "72"}));
}

// "-" reads standard input and, like /dev/stdin, takes a list's relative
// names from the current folder.
TEST_F(CliBatch, StandardInputNamesAreRelativeToTheCurrentFolder) {
    ASSERT_EQ(run({"--age", "68", "--save-case", path("a.case")}).status, 0);
    put("list.txt", "a.case\n");
    const std::string program = cli_test::cli_program();
    for (const char* source : {"-", "/dev/stdin"}) {
        SCOPED_TRACE(source);
        ASSERT_EQ(shell("'" + program + "' --batch " + source + " < list.txt > out.txt"), 0);
        const std::vector<json> lines = json_lines(slurp(dir_ / "out.txt"));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["case"], "a.case");
        EXPECT_EQ(figures(lines[0]), direct({"--age", "68"}));
    }
}

// A batch cut into parts run side by side by GNU parallel gives the bytes of
// one run, rows numbered by --first-row.
TEST_F(CliBatch, SplitRunMatchesOneRun) {
    if (std::system("command -v parallel > /dev/null 2>&1") != 0) GTEST_SKIP() << "no parallel";
    std::string text = "name,age,wealth\n";
    for (int i = 0; i < 12; ++i)
        text += "c" + std::to_string(i) + "," + std::to_string(i % 3 == 0 ? 49 : 60 + i) + "," +
                std::to_string(500000 + i * 37000) + "\n";
    put("all.csv", text);
    const std::string program = cli_test::cli_program();
    shell("'" + program + "' --batch all.csv > one.txt");
    // Its status counts the parts with a refused row.
    shell("parallel --will-cite --pipe -N 5 --keep-order --header : '" + program +
          "' --batch - --first-row '$(( ({#}-1)*5+1 ))' < all.csv > split.txt");
    const std::string one = slurp(dir_ / "one.txt");
    EXPECT_EQ(json_lines(one).size(), 12u);
    EXPECT_EQ(slurp(dir_ / "split.txt"), one);
}

// An empty path is refused, never taken as "not given".
TEST_F(CliBatch, EmptyPathsAreRefused) {
    std::vector<const char*> options = {"--save-case", "--batch", "--report", "--case"};
#ifdef QUORREL_CLI_PDF
    options.push_back("--pdf");  // only where the program can write a PDF
#endif
    for (const char* option : options) {
        SCOPED_TRACE(option);
        const Outcome r = run({option, ""});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string("quorrel-cli: ") + option + ": the file name is empty\n");
    }
}

// One file named by two outputs is refused before anything is computed or
// written; saving over the case opened stays allowed.
TEST_F(CliBatch, OneFileForTwoOutputsIsRefused) {
    const std::vector<std::vector<std::string>> pairs = {
        {"--save-case", "x", "--report", "x"},
#ifdef QUORREL_CLI_PDF
        {"--report", "x", "--pdf", "./x"},
        {"--save-case", "x", "--pdf", "sub/../x"},
#endif
    };
    fs::create_directories(dir_ / "sub");
    for (std::vector<std::string> args : pairs) {
        for (std::string& a : args)
            if (a[0] != '-') a = path(a);
        SCOPED_TRACE(args[0] + " " + args[2]);
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("name the same file"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(path("x")));
    }
    ASSERT_EQ(run({"--age", "70", "--save-case", path("c.case")}).status, 0);
    const Outcome same = run({"--case", path("c.case"), "--age", "71", "--save-case", path("c.case")});
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_NE(slurp(dir_ / "c.case").find("\"current_age\": 71"), std::string::npos);
}

// The case saved beside a solve holds the amount the analysis used.
TEST_F(CliBatch, SavedCaseOfASolveHoldsTheSolvedAmount) {
    const Outcome r = run({"--target", "40,000", "--solve", "income", "--json", "--save-case",
                           path("s.case")});
    ASSERT_EQ(r.status, 0) << r.err;
    const json printed = json::parse(r.out);
    const double solved = printed["solve"]["value"].get<double>();
    EXPECT_NE(solved, 40000);
    const json saved = json::parse(slurp(dir_ / "s.case"));
    EXPECT_EQ(saved["inputs"]["target_income"].get<double>(), solved);
    EXPECT_EQ(printed["inputs"]["target_income"].get<double>(), solved);
}

// A case's name reaches the terminal through the comparison's header: its
// control characters are shown escaped.
TEST_F(CliBatch, ComparisonShowsControlCharactersEscaped) {
    ASSERT_EQ(run({"--age", "70", "--save-case", path("e.case")}).status, 0);
    std::string text = slurp(dir_ / "e.case");
    text.insert(text.find("\"inputs\""), "\"name\": \"\\u001b[2Jred\\u0007\",\n  ");
    put("e.case", text);
    const Outcome r = run({"--compare", path("e.case")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.out.find('\x07'), std::string::npos);
    EXPECT_NE(r.out.find("\\x1B[2Jred\\x07"), std::string::npos);
}

#ifdef QUORREL_CLI_PDF
// The PDF report goes where a case would: never over a FIFO (refused before
// computing), through a link that stays.
TEST_F(CliBatch, PdfIsWrittenOnlyToARegularFile) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0644), 0);
    const Outcome fifo = run({"--pdf", path("fifo")});
    EXPECT_EQ(fifo.status, 1);
    EXPECT_EQ(fifo.out, "");
    EXPECT_NE(fifo.err.find("it is not a regular file"), std::string::npos) << fifo.err;
    EXPECT_TRUE(fs::is_fifo(path("fifo")));

    fs::create_symlink("report.pdf", path("link.pdf"));
    const Outcome linked = run({"--pdf", path("link.pdf")});
    EXPECT_EQ(linked.status, 0) << linked.err;
    EXPECT_TRUE(fs::is_symlink(path("link.pdf")));
    EXPECT_EQ(slurp(dir_ / "report.pdf").substr(0, 5), "%PDF-");
}
#endif

}  // namespace
}  // namespace quorrel
