// The command line's case options: saving and opening a case, comparing
// cases, and batches of cases in order with their refusals.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/input_catalogue.h"
#include "cli/cli.h"
#include "cli_run.h"
#include "record/number_format.h"

namespace quorrel {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using cli_test::Outcome;
using cli_test::json_lines;
using cli_test::run;


class CliCases : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quorrel_cli_cases_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void put(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    // The figures of one run, without what names the case.
    static json figures(json j) {
        for (const char* key : {"name", "row", "case", "solver_calls"}) j.erase(key);
        return j;
    }

    // The figures of a direct run with these options.
    static json direct(const std::vector<std::string>& args) {
        std::vector<std::string> all = args;
        all.push_back("--json");
        return figures(json::parse(run(all).out));
    }

    fs::path dir_;
};

TEST_F(CliCases, SavedCaseReopensWithTheSameFigures) {
    const struct {
        std::vector<std::string> options;
    } cases[] = {
        {{}},
        {{"--age", "72", "--market", "canada", "--stock-mean", "5.5", "--today", "60,30,10,0,0",
          "--wealth", "$650,000", "--ruin-table", "rp2000", "--real-curve", "2,2,2.5,2.5,3,3.1",
          "--fee", "1.25"}}};
    for (const auto& c : cases) {
        std::vector<std::string> save = c.options;
        save.insert(save.end(), {"--save-case", path("c.json"), "--json"});
        const Outcome saved = run(save);
        ASSERT_EQ(saved.status, 0) << saved.err;
        const Outcome opened = run({"--case", path("c.json"), "--json"});
        ASSERT_EQ(opened.status, 0) << opened.err;
        EXPECT_EQ(json::parse(opened.out), json::parse(saved.out));
    }
    // Options given with --case apply over the file's inputs.
    const Outcome over = run({"--case", path("c.json"), "--age", "80", "--json"});
    ASSERT_EQ(over.status, 0) << over.err;
    const json j = json::parse(over.out);
    EXPECT_EQ(j["inputs"]["current_age"], 80.0);
    EXPECT_EQ(j["inputs"]["means"][0], 0.055);
    EXPECT_EQ(j["inputs"]["market"], "Canada");
}

// The case file kept from the first version of the format opens with the
// figures that version computed, and with the figures of the options it was
// saved from. With keys taken away it opens with those inputs' defaults, says
// so on standard error, and computes what the options without them compute.
// The file predates the advisory fee and the spending rules: it opens with
// no fee and the fixed rule, says so, and its figures are bit for bit those
// of the program that had neither.
TEST_F(CliCases, FirstVersionCaseFileOpensForAsLongAsTheFormatLives) {
    // What the first version printed, less the echo of the fee and the
    // spending rule it did not know, and the spending figures it did not have.
    const auto without_fee = [](json j) {
        EXPECT_EQ(j["inputs"]["advisory_fee"], 0.0);
        EXPECT_EQ(j["inputs"]["spending"]["rule"], "fixed");
        j["inputs"].erase("advisory_fee");
        j["inputs"].erase("spending");
        j.erase("spending");
        return j;
    };
    const std::string note = "quorrel-cli: --case: inputs not in the file took their defaults: ";
    const std::string kept = std::string(QUORREL_TEST_DATA_DIR) + "/case_saved_v1.json";
    const std::vector<std::string> options = {
        "--age", "71", "--gender", "female", "--wealth", "912,345", "--target", "47,250",
        "--pension-nominal", "3,100", "--pension-cpi", "8,400", "--pension-variable", "1,250",
        "--purchase-nominal", "45,000", "--purchase-cpi", "60,500", "--purchase-variable",
        "30,250", "--cola", "3", "--air", "6", "--today", "35,25,15,10,15", "--later",
        "25,30,20,15,10", "--switch-years", "15", "--market", "canada", "--stock-mean", "6.4",
        "--nominal-bond-mean", "2.7", "--real-bond-mean", "2.1", "--cash-mean", "0.8",
        "--estate-mean", "3.9", "--stock-dev", "17.5", "--nominal-bond-dev", "9.1",
        "--real-bond-dev", "7.3", "--estate-dev", "11.4", "--ruin-table", "iam2000",
        "--ruin-projection", "7", "--annuity-table", "iam2000", "--annuity-projection", "12",
        "--nominal-curve", "4.1,4.4,4.6,4.8,5.0,5.2", "--real-curve", "1.6,1.8,2.0,2.2,2.4,2.6"};
    const Outcome opened = run({"--case", kept, "--json"});
    ASSERT_EQ(opened.status, 0) << opened.err;
    EXPECT_EQ(opened.err, note +
                              "advisory_fee_percent, spending_rule, spending_rate_percent, "
                              "spending_floor, spending_ceiling, guardrail_upper_percent, "
                              "guardrail_lower_percent, spending_cut_percent, "
                              "spending_raise_percent\n");
    std::ifstream recorded_file(std::string(QUORREL_TEST_DATA_DIR) + "/case_saved_v1_figures.json");
    const json recorded = figures(json::parse(recorded_file));
    EXPECT_EQ(without_fee(figures(json::parse(opened.out))), recorded);
    EXPECT_EQ(without_fee(direct(options)), recorded);

    // Key taken away, and the options that give what its default gives.
    const struct {
        std::vector<std::string> keys, dropped_options;
    } cases[] = {
        {{"air_percent"}, {"--air"}},
        {{"mean_stock_percent", "real_rate_3_percent"}, {"--stock-mean", "--real-curve"}},
    };
    std::ifstream kept_file(kept);
    const json document = json::parse(kept_file);
    for (const auto& c : cases) {
        json reduced = document;
        for (const std::string& key : c.keys) reduced["inputs"].erase(key);
        // The note names the keys in the catalogue's order, the fee among them.
        std::string names;
        // A file of a single person names no household input.
        for (const InputRow& row : input_catalogue())
            if (!reduced["inputs"].contains(row.key) && !row.household)
                names += (names.empty() ? "" : ", ") + std::string(row.key);
        put("reduced.json", reduced.dump(2));
        std::vector<std::string> without;
        for (std::size_t i = 0; i < options.size(); i += 2) {
            const bool dropped = std::find(c.dropped_options.begin(), c.dropped_options.end(),
                                           options[i]) != c.dropped_options.end();
            if (!dropped) without.insert(without.end(), {options[i], options[i + 1]});
        }
        if (c.keys.size() == 2) {
            // The curve's other five rates stay as the file holds them.
            without.insert(without.end(), {"--real-curve", "1.6,1.8,3,2.2,2.4,2.6"});
        }
        const Outcome r = run({"--case", path("reduced.json"), "--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, note + names + "\n");
        EXPECT_EQ(figures(json::parse(r.out)), direct(without)) << names;
    }
}

TEST_F(CliCases, BadCaseFilesAreOneLineAndExitTwo) {
    put("bad.json", R"({"format": "quorrel-case", "version": 1, "inputs": {"current_age": 49}})");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--case", path("missing.json")}, "--case: " + path("missing.json") + ": cannot be read"},
        {{"--case", path("bad.json")},
         "--case: " + path("bad.json") + ": \"inputs.current_age\" is 49"},
        {{"--compare", path("bad.json")}, "--compare: " + path("bad.json") + ": \"inputs.current_age\""},
        {{"--save-case", path("no/such/folder/c.json")}, "--save-case: cannot write"},
        {{"--batch", path("list.txt"), "--age", "70"}, "--batch takes its cases from FILE alone"},
        // Given but empty is not "no case".
        {{"--case", ""}, "--case: the file name is empty"},
        {{"--compare", ""}, "--compare: the file name is empty"},
        {{"--case", dir_.string()}, "--case: " + dir_.string() + ": is a folder, not a file"},
        {{"--compare", dir_.string()}, "--compare: " + dir_.string() + ": is a folder, not a file"},
        {{"--case", "/dev/zero"}, "--case: /dev/zero: is not a regular file"},
    };
    for (const auto& c : cases) {
        const Outcome r = run(c.args);
        EXPECT_NE(r.status, 0) << c.message;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << c.message;
    }
}

TEST_F(CliCases, CompareTwoCases) {
    ASSERT_EQ(run({"--age", "70", "--save-case", path("older.json")}).status, 0);
    const Outcome text = run({"--compare", path("older.json")});
    ASSERT_EQ(text.status, 0) << text.err;
    std::istringstream lines(text.out);
    std::string header, section, age, line;
    std::getline(lines, header);
    std::getline(lines, section);
    std::getline(lines, age);
    EXPECT_NE(header.find("this case"), std::string::npos) << header;
    EXPECT_NE(header.find("older"), std::string::npos) << header;
    EXPECT_EQ(section, "Inputs that differ");
    EXPECT_NE(age.find("Current Age"), std::string::npos) << age;
    EXPECT_NE(age.find("65        70          +5"), std::string::npos) << age;
    // Every line of a section lines its columns up under the header's.
    const std::size_t width = header.size();
    while (std::getline(lines, line))
        if (line.rfind("  ", 0) == 0) {
            EXPECT_EQ(line.size(), width) << line;
        }

    const Outcome as_json = run({"--compare", path("older.json"), "--json"});
    ASSERT_EQ(as_json.status, 0) << as_json.err;
    const json all = json::parse(as_json.out);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]["name"], "this case");
    EXPECT_EQ(all[1]["name"], "older");
    EXPECT_EQ(figures(all[0]), direct({"--json"}));
    EXPECT_EQ(figures(all[1]), direct({"--age", "70", "--json"}));
}

// A household compared with a single person's saved case: both at the
// household's refined accuracy, so that the differences are of inputs, each
// with the figures of its own run; the table gains the household's rows,
// "-" in the single person's column.
TEST_F(CliCases, CompareAHouseholdWithASinglePerson) {
    ASSERT_EQ(run({"--save-case", path("single.json")}).status, 0);
    const Outcome as_json = run({"--spouse-age", "62", "--compare", path("single.json"), "--json"});
    ASSERT_EQ(as_json.status, 0) << as_json.err;
    const json all = json::parse(as_json.out);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]["accuracy"], "refined");
    EXPECT_TRUE(all[0].contains("household"));
    EXPECT_FALSE(all[1].contains("household"));
    EXPECT_EQ(figures(all[0]), direct({"--spouse-age", "62"}));
    EXPECT_EQ(all[1]["accuracy"], "refined");
    EXPECT_EQ(figures(all[1]), direct({"--accuracy", "refined"}));

    const Outcome text = run({"--spouse-age", "62", "--compare", path("single.json")});
    ASSERT_EQ(text.status, 0) << text.err;
    const std::string both = format_percent2(
        all[0]["household"]["lifetime_ruin"][0]["while_both_alive"].get<double>());
    std::istringstream lines(text.out);
    std::string line;
    bool found = false;
    while (std::getline(lines, line))
        if (line.find("Lifetime ruin while both were alive, 0% of initial NIW") !=
            std::string::npos) {
            found = true;
            EXPECT_NE(line.find(both), std::string::npos) << line;
            EXPECT_EQ(line.substr(line.find_last_not_of(' ')), "-") << line;
        }
    EXPECT_TRUE(found) << text.out;
    EXPECT_NE(text.out.find("Spouse: Spouse's Age"), std::string::npos);
}

TEST_F(CliCases, BatchOfCaseFilesInOrderWithErrorRows) {
    ASSERT_EQ(run({"--age", "70", "--save-case", path("a.json")}).status, 0);
    // Saved although its calculation is refused.
    ASSERT_EQ(run({"--target", "10,000", "--save-case", path("ratio.json")}).status, 1);
    ASSERT_EQ(run({"--gender", "female", "--save-case", path("b.json")}).status, 0);
    put("list.txt", "# clients\na.json\n\nmissing.json\nratio.json\n" + path("b.json") + "\n");
    const Outcome r = run({"--batch", path("list.txt")});
    EXPECT_EQ(r.status, 1);
    const std::vector<json> lines = json_lines(r.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0]["case"], "a.json");
    EXPECT_EQ(lines[0]["name"], "a");
    EXPECT_EQ(figures(lines[0]), direct({"--age", "70", "--json"}));
    EXPECT_EQ(lines[1]["case"], "missing.json");
    EXPECT_NE(lines[1]["error"].get<std::string>().find("cannot be read"), std::string::npos);
    EXPECT_FALSE(lines[1].contains("cells"));
    EXPECT_EQ(lines[2]["error"],
              "ERROR: Ruin Probability is Zero...Please Reduce Initial Wealth or "
              "Increase Target Consumption!!!");
    EXPECT_EQ(figures(lines[3]), direct({"--gender", "female", "--json"}));
}

// A folder or a file no case can be in the list costs its own line only.
TEST_F(CliCases, BatchGoesOnPastAFolderAndANumberBeyondRange) {
    ASSERT_EQ(run({"--age", "70", "--save-case", path("a.json")}).status, 0);
    fs::create_directory(path("folder"));
    std::ifstream in(path("a.json"));
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    text.replace(text.find("\"version\": 1,"), 13, "\"version\": 1, \"results\": [1e400],");
    put("huge.json", text);
    put("list.txt", "folder\nhuge.json\na.json\n");
    const Outcome r = run({"--batch", path("list.txt")});
    EXPECT_EQ(r.status, 1);
    const std::vector<json> lines = json_lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out << r.err;
    EXPECT_NE(lines[0]["error"].get<std::string>().find("is a folder, not a file"),
              std::string::npos);
    EXPECT_NE(lines[1]["error"].get<std::string>().find("the number 1e400"), std::string::npos);
    EXPECT_EQ(figures(lines[2]), direct({"--age", "70", "--json"}));
}

TEST_F(CliCases, BatchOfCsvRowsByOptionNames) {
    put("clients.csv",
        "name,age,--gender,today,stock-mean,wealth\n"
        "first,70,female,\"60,30,10,0,0\",5.5,\"750,000\"\n"
        "second,,,,,\n"
        "\n"
        "bad,49,male,,,\n"
        "short,65\n"
        "third,80,,\"20,20,20,20,20\",,\n");
    const Outcome r = run({"--batch", path("clients.csv")});
    EXPECT_EQ(r.status, 1);
    const std::vector<json> lines = json_lines(r.out);
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i]["row"], i + 1);
    EXPECT_EQ(lines[0]["name"], "first");
    EXPECT_EQ(figures(lines[0]),
              direct({"--age", "70", "--gender", "female", "--today", "60,30,10,0,0",
                      "--stock-mean", "5.5", "--wealth", "750,000", "--json"}));
    EXPECT_EQ(figures(lines[1]), direct({"--json"}));
    EXPECT_EQ(lines[2]["error"], "--age: '49' is not a whole age from 50 to 90");
    EXPECT_EQ(lines[3]["error"], "row 4 has 2 fields where the header names 6");
    EXPECT_EQ(figures(lines[4]), direct({"--age", "80", "--json"}));

    put("good.csv", "age\n66\n67\n");
    EXPECT_EQ(run({"--batch", path("good.csv")}).status, 0);
}

}  // namespace
}  // namespace quorrel
