// Case files: a round trip keeps every input and every figure, each kind of
// bad document is refused with a message naming its key and changes nothing,
// and a save that fails half-way leaves the previous file as it was.
#include "analysis/case_file.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "analysis/defaults.h"
#include "analysis/pipeline.h"
#include "test_doubles.h"

namespace quorrel {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class CaseFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("quorrel_case_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const char* name) const { return (dir_ / name).string(); }
    static std::string contents(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void put(const std::string& p, const std::string& text) {
        std::ofstream(p, std::ios::binary) << text;
    }

    fs::path dir_;
};

// A record changed on every page, through the catalogue as the screen would.
AnalysisState varied_case() {
    AnalysisState s;
    apply_input_defaults(s);
    const struct {
        const char* key;
        InputValue v;
    } changes[] = {
        {"market", {.index = 1}},
        {"current_age", {.index = 20}},
        {"gender", {.index = 1}},
        {"liquid_wealth", {.amount = 750000.5}},
        {"target_income", {.amount = 45000}},
        {"pension_cpi_income", {.amount = 5000}},
        {"purchase_nominal", {.amount = 50000}},
        {"cola_percent", {.index = 3}},
        {"air_percent", {.index = 1}},
        {"weight_stock_percent", {.index = 60}},
        {"weight_nomi_bond_percent", {.index = 30}},
        {"weight_real_bond_percent", {.index = 10}},
        {"weight_cash_percent", {.index = 0}},
        {"weight_estate_percent", {.index = 0}},
        {"later_allocation_years", {.index = 1}},
        {"mean_stock_percent", {.index = 55}},
        {"dev_estate_percent", {.index = 151}},
        {"advisory_fee_percent", {.index = 21}},
        {"spending_rule", {.index = 1}},
        {"spending_rate_percent", {.index = 17}},
        {"spending_floor", {.amount = 21000.5}},
        {"spending_ceiling", {.amount = 70000}},
        {"guardrail_upper_percent", {.index = 25}},
        {"guardrail_lower_percent", {.index = 15}},
        {"spending_cut_percent", {.index = 7}},
        {"spending_raise_percent", {.index = 12}},
        {"ruin_table", {.index = 1}},
        {"ruin_projection_years", {.index = 5}},
        {"annuity_table", {.index = 1}},
        {"annuity_projection_years", {.index = 10}},
        {"nominal_rate_2_percent", {.index = 44}},
        {"real_rate_6_percent", {.index = 0}},
    };
    for (const auto& c : changes) write_input(s, input_row(c.key), c.v);
    return s;
}

TEST_F(CaseFileTest, RoundTripKeepsEveryInputAndEveryFigure) {
    for (const AnalysisState& original : {varied_case(), [] {
                                              AnalysisState d;
                                              apply_input_defaults(d);
                                              return d;
                                          }()}) {
        const std::string file = path("case.json");
        ASSERT_EQ(write_case_file(file, original, "Mrs. Example"), "");
        const CaseReadResult back = read_case_file(file);
        ASSERT_TRUE(back.ok()) << back.error;
        EXPECT_EQ(back.name, "Mrs. Example");

        AnalysisState opened;
        apply_input_defaults(opened);
        ASSERT_EQ(read_case_file(file, opened), "");
        for (const InputRow& row : input_catalogue())
            EXPECT_EQ(read_input(opened, row), read_input(original, row)) << row.key;

        AnalysisState a = original, b = opened;
        ResultsRecord ra, rb;
        QuietHooks ha, hb;
        ASSERT_EQ(run_calculation(a, ha, ra), CalculationOutcome::completed) << ha.message;
        ASSERT_EQ(run_calculation(b, hb, rb), CalculationOutcome::completed) << hb.message;
        EXPECT_EQ(ra.cells, rb.cells);
        EXPECT_EQ(ra.ruin_grid, rb.ruin_grid);
        EXPECT_EQ(ra.estate_grid, rb.estate_grid);
        EXPECT_EQ(ra.expected_income, rb.expected_income);
        EXPECT_EQ(ra.spending_grid, rb.spending_grid);
        EXPECT_EQ(a.expected_death_age, b.expected_death_age);
    }
}

// A household's inputs, every one away from its default, come back from
// the file and give the same refined figures; a single person's file holds
// no household key (it reads as the files before the household did), and
// the standard scheme refuses a household.
TEST_F(CaseFileTest, HouseholdRoundTripsAndASinglePersonFileIsAsBefore) {
    const auto set = [](AnalysisState& s, const char* key, InputValue v) {
        write_input(s, input_row(key), v);
    };
    AnalysisState single = varied_case();
    const std::string single_file = path("single.json");
    ASSERT_EQ(write_case_file(single_file, single, ""), "");
    const std::string single_text = contents(single_file);
    for (const InputRow& row : input_catalogue()) {
        if (row.household) {
            EXPECT_EQ(single_text.find(row.key), std::string::npos) << row.key;
        }
    }

    // Without a spouse, survivor terms away from their defaults are kept too.
    AnalysisState terms_only = varied_case();
    set(terms_only, "survivor_share_percent", {.index = 45});
    AnalysisState household = varied_case();
    set(household, "spouse_age", {.index = *index_of_natural(input_row("spouse_age"), 77)});
    set(household, "spouse_gender", {.index = 0});
    set(household, "survivor_spending_percent", {.index = 55});
    set(household, "survivor_share_percent", {.index = 35});
    set(household, "spouse_pension_cpi_income", {.amount = 7250.5});
    // A household spends by the fixed rule only.
    set(household, "spending_rule", {.index = 0});
    ASSERT_EQ(household.spouse_age, 77);
    for (const AnalysisState& original : {terms_only, household}) {
        const std::string file = path("household.json");
        ASSERT_EQ(write_case_file(file, original, ""), "");
        AnalysisState opened;
        apply_input_defaults(opened);
        ASSERT_EQ(read_case_file(file, opened), "");
        for (const InputRow& row : input_catalogue())
            EXPECT_EQ(read_input(opened, row), read_input(original, row)) << row.key;
        EXPECT_TRUE(read_case_file(file).defaulted.empty());
    }
    EXPECT_NE(contents(path("household.json")).find("\"spouse_age\": 77"), std::string::npos);

    AnalysisState opened;
    apply_input_defaults(opened);
    ASSERT_EQ(read_case_file(path("household.json"), opened), "");
    AnalysisState a = household, b = opened;
    ResultsRecord ra, rb;
    QuietHooks ha, hb;
    ASSERT_EQ(run_calculation(a, ha, ra, Accuracy::refined), CalculationOutcome::completed)
        << ha.message;
    ASSERT_EQ(run_calculation(b, hb, rb, Accuracy::refined), CalculationOutcome::completed);
    EXPECT_EQ(ra.cells, rb.cells);
    EXPECT_TRUE(ra.household.present);
    EXPECT_EQ(ra.household.lifetime_ruin_survivor, rb.household.lifetime_ruin_survivor);

    AnalysisState standard = household;
    ResultsRecord rs;
    QuietHooks hs;
    EXPECT_EQ(run_calculation(standard, hs, rs), CalculationOutcome::refused);
    EXPECT_EQ(hs.message, kHouseholdStandardMessage);
}

TEST_F(CaseFileTest, NaturalUnitsInTheDocument) {
    const std::string text = case_text(case_values(varied_case()).values);
    for (const char* part :
         {"\"format\": \"quorrel-case\"", "\"version\": 1", "\"current_age\": 70",
          "\"gender\": \"female\"", "\"liquid_wealth\": 750000.5", "\"target_income\": 45000",
          "\"cola_percent\": 3", "\"air_percent\": 4", "\"mean_stock_percent\": 5.5",
          "\"dev_estate_percent\": 15.1", "\"advisory_fee_percent\": 1.05",
          "\"market\": \"canada\"", "\"ruin_table\": \"iam2000\"",
          "\"nominal_rate_2_percent\": 4.5", "\"real_rate_6_percent\": 0.1"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

struct BadCase {
    const char* name;
    std::string from;  // replaced in a good document ...
    std::string to;    // ... by this; an empty `from` replaces the whole text
    std::string message;
};

class CaseRefusal : public ::testing::TestWithParam<BadCase> {};

TEST_P(CaseRefusal, OneMessageAndNothingChanged) {
    AnalysisState d;
    apply_input_defaults(d);
    std::string text = case_text(case_values(d).values);
    const BadCase& c = GetParam();
    if (c.from.empty()) {
        text = c.to;
    } else {
        const auto at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, c.from.size(), c.to);
    }
    const CaseReadResult r = parse_case(text);
    EXPECT_EQ(r.error, c.message);
    EXPECT_TRUE(r.values.empty());
    EXPECT_EQ(r.error.find('\n'), std::string::npos);

    // Through a file, into a record that must stay as it is.
    const fs::path file =
        fs::temp_directory_path() / ("quorrel_bad_case_" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary) << text;
    AnalysisState s = varied_case();
    const std::string message = read_case_file(file.string(), s);
    fs::remove(file);
    EXPECT_EQ(message, file.string() + ": " + c.message);
    for (const InputRow& row : input_catalogue())
        EXPECT_EQ(read_input(s, row), read_input(varied_case(), row)) << row.key;
}

INSTANTIATE_TEST_SUITE_P(
    Documents, CaseRefusal,
    ::testing::Values(
        BadCase{"not_json", "", "{\n  \"format\": \"quorrel-case\",\n  oops\n}",
                "not JSON (line 3, column 3)"},
        BadCase{"empty", "", "", "not JSON (line 1, column 1)"},
        BadCase{"not_a_case", "", "[1, 2, 3]",
                "not a Quorrel case: \"format\" must be \"quorrel-case\""},
        BadCase{"other_format", "quorrel-case", "quorrel-report",
                "not a Quorrel case: \"format\" must be \"quorrel-case\""},
        BadCase{
            "newer", "\"version\": 1", "\"version\": 2",
            "\"version\" is 2: the case was written by a newer program (this one reads version 1)"},
        BadCase{"version_text", "\"version\": 1", "\"version\": \"1\"",
                "\"version\" is \"1\", not a whole number"},
        BadCase{"no_version", "\"version\": 1,", "", "missing key \"version\" (1)"},
        BadCase{"unknown_top", "\"version\": 1,", "\"version\": 1, \"colour\": 3,",
                "unknown key \"colour\" (a case holds format, version, name, inputs and results)"},
        BadCase{
            "unknown_input", "\"current_age\": 65", "\"current_age\": 65, \"age\": 65",
            "unknown key \"inputs.age\" (quorrel-cli --help lists the inputs; a case names them as "
            "the record does)"},
        BadCase{"age_beyond", "\"current_age\": 65", "\"current_age\": 91",
                "\"inputs.current_age\" is 91, not a whole age from 50 to 90"},
        BadCase{
            "between_items", "\"mean_stock_percent\": 7.0", "\"mean_stock_percent\": 7.05",
            "\"inputs.mean_stock_percent\" is 7.05, not a percent from 0 to 30 in steps of 0.1"},
        BadCase{"air_odd", "\"air_percent\": 2", "\"air_percent\": 3",
                "\"inputs.air_percent\" is 3, not one of 2, 4, 6, 8 (percent)"},
        BadCase{"gender_unknown", "\"gender\": \"male\"", "\"gender\": \"other\"",
                "\"inputs.gender\" is \"other\", not one of male, female, unisex"},
        BadCase{"table_number", "\"ruin_table\": \"up1994\"", "\"ruin_table\": 1",
                "\"inputs.ruin_table\" is 1, not one of up1994, iam2000, rp2000"},
        BadCase{"negative_amount", "\"target_income\": 40000", "\"target_income\": -5",
                "\"inputs.target_income\" is -5, not a nonnegative amount"},
        BadCase{"amount_text", "\"target_income\": 40000", "\"target_income\": \"40,000\"",
                "\"inputs.target_income\" is \"40,000\", not a nonnegative amount"},
        BadCase{"inputs_list", "\"inputs\": {", "\"inputs\": [], \"x\": {",
                "unknown key \"x\" (a case holds format, version, name, inputs and results)"},
        // Numbers beyond a double, wherever they stand, even where nothing is read.
        BadCase{"overflow_input", "\"target_income\": 40000", "\"target_income\": 1e400",
                "the number 1e400 (line 8, column 22) is too large for any figure"},
        BadCase{"overflow_results", "\"version\": 1,", "\"version\": 1, \"results\": [1.8e308],",
                "the number 1.8e308 (line 3, column 29) is too large for any figure"},
        BadCase{"overflow_digits", "\"version\": 1,",
                "\"version\": 1, \"results\": {\"x\": " + std::string(400, '7') + "},",
                "the number " + std::string(40, '7') +
                    "... (400 characters) (line 3, column 34) is too large for any figure"},
        BadCase{"deep", "\"version\": 1,",
                "\"version\": 1, \"results\": " + std::string(100000, '[') +
                    std::string(100000, ']') + ",",
                "nested deeper than 16 levels (line 3, column 43)"},
        BadCase{"deep_objects", "\"version\": 1,",
                "\"version\": 1, \"results\": " + [] {
                    std::string t;
                    for (int i = 0; i < 100000; ++i) t += "{\"a\":";
                    return t + "0" + std::string(100000, '}');
                }() + ",",
                "nested deeper than 16 levels (line 3, column 103)"},
        BadCase{"duplicate_input", "\"current_age\": 65", "\"current_age\": 65, \"current_age\": 70",
                "duplicate key \"inputs.current_age\" (each key appears once)"},
        BadCase{"duplicate_top", "\"version\": 1,", "\"version\": 1, \"version\": 1,",
                "duplicate key \"version\" (each key appears once)"},
        BadCase{"duplicate_in_results", "\"version\": 1,",
                "\"version\": 1, \"results\": {\"r\": [{\"p\": 1, \"p\": 2}]},",
                "duplicate key \"results.r.p\" (each key appears once)"},
        BadCase{"trailing_nul", "  }\n}\n", std::string("  }\n}\n\0", 7),
                "not JSON (line 65, column 1): a NUL character"},
        BadCase{"huge_version", "\"version\": 1", "\"version\": 18446744073709551615",
                "\"version\" is 18446744073709551615: the case was written by a newer program "
                "(this one reads version 1)"},
        BadCase{"negative_version", "\"version\": 1", "\"version\": -9223372036854775808",
                "\"version\" is -9223372036854775808, not 1"},
        BadCase{"long_value_quoted_short", "\"gender\": \"male\"",
                "\"gender\": [" + [] {
                    std::string t = "0";
                    for (int i = 1; i < 100000; ++i) t += ",0";
                    return t;
                }() + "]",
                "\"inputs.gender\" is [0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0..., not one of "
                "male, female, unisex"},
        // A long text cut for the message between two characters of two bytes.
        BadCase{"long_text_cut_between_characters", "\"gender\": \"male\"",
                "\"gender\": \"x" + [] {
                    std::string t;
                    for (int i = 0; i < 300; ++i) t += "\xC3\xA9";
                    return t;
                }() + "\"",
                "\"inputs.gender\" is \"x\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9..., not one of "
                "male, female, unisex"}),
    [](const auto& info) { return std::string(info.param.name); });

// A file saved before an input existed opens: each key it lacks takes the
// catalogue's default (a market-following one, the file's market's preset),
// and the reader lists exactly those keys.
TEST_F(CaseFileTest, MissingKeysTakeTheirDefaultsAndAreNamed) {
    const std::string saved = case_text(case_values(varied_case()).values);
    const struct {
        std::vector<std::string> removed;
    } cases[] = {
        {{"current_age"}},
        {{"air_percent", "real_rate_6_percent"}},
        // The varied case's market is not the default one: its preset applies.
        {{"mean_stock_percent", "dev_estate_percent"}},
        {{"market", "mean_stock_percent"}},
        {{"liquid_wealth", "gender", "later_allocation_years"}},
        // A file from before the spending rules.
        {{"spending_rule", "spending_rate_percent", "spending_floor", "spending_ceiling",
          "guardrail_upper_percent", "guardrail_lower_percent", "spending_cut_percent",
          "spending_raise_percent"}},
    };
    for (const auto& c : cases) {
        json doc = json::parse(saved);
        for (const std::string& key : c.removed) doc["inputs"].erase(key);
        const CaseReadResult read = parse_case(doc.dump(2));
        ASSERT_TRUE(read.ok()) << read.error;
        std::vector<std::string> expected_keys;
        const InputValues all = case_values(varied_case()).values;
        const int market = doc["inputs"].contains("market")
                               ? all.at(input_index("market")).index
                               : input_row("market").default_index;
        for (std::size_t i = 0; i < input_catalogue().size(); ++i) {
            const InputRow& row = input_catalogue()[i];
            const bool removed =
                std::find(c.removed.begin(), c.removed.end(), row.key) != c.removed.end();
            if (removed) expected_keys.emplace_back(row.key);
            InputValue want = all[i];
            if (removed) {
                want = default_value(row);
                if (row.follows_market) want.index = row.preset.at(static_cast<std::size_t>(market));
            }
            EXPECT_EQ(read.values[i], want) << row.key;
        }
        EXPECT_EQ(read.defaulted, expected_keys);
        EXPECT_EQ(defaulted_inputs_note(read).rfind("inputs not in the file took their defaults: " +
                                                       expected_keys.front(), 0),
                  0u)
            << defaulted_inputs_note(read);
    }
    // A whole file reads with no note.
    EXPECT_TRUE(parse_case(saved).defaulted.empty());
    EXPECT_EQ(defaulted_inputs_note(parse_case(saved)), "");
}

TEST_F(CaseFileTest, UnreadableFileNamesItself) {
    AnalysisState s;
    apply_input_defaults(s);
    const std::string missing = path("missing.json");
    EXPECT_EQ(read_case_file(missing, s), missing + ": cannot be read: No such file or directory");
}

// Only a regular file of a case's size is read: anything else is refused
// before a byte is read, so a device, a FIFO with no writer or a huge file
// can neither hang nor exhaust memory, and the record stays as it was.
TEST_F(CaseFileTest, WhatIsNotACaseFileIsRefusedBeforeReading) {
    const std::string fifo = path("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = path("big.json");
    put(big, "{");
    fs::resize_file(big, kLargestCaseBytes + 1);
    const std::string broken = path("broken");
    fs::create_symlink(path("nowhere"), broken);
    const struct {
        std::string file;
        std::string message;  // after "<file>: "; the whole message for an empty name
    } cases[] = {
        {dir_.string(), "is a folder, not a file"},
        {"/dev/zero", "is not a regular file"},
        {fifo, "is not a regular file"},
        {big, "is 1048577 bytes; a case file is at most 1048576"},
        {"/proc/self/mem", "cannot be read: Input/output error"},
        {broken, "cannot be read: No such file or directory"},
        {"", "the file name is empty"},
    };
    for (const auto& c : cases) {
        AnalysisState s = varied_case();
        const std::string message = read_case_file(c.file, s);
        EXPECT_EQ(message, c.file.empty() ? c.message : c.file + ": " + c.message) << c.file;
        for (const InputRow& row : input_catalogue())
            EXPECT_EQ(read_input(s, row), read_input(varied_case(), row)) << row.key;
    }
}

// The bound itself is a case file: a document padded to exactly the largest
// size reads; one byte more does not.
TEST_F(CaseFileTest, LargestCaseFileReads) {
    AnalysisState d = varied_case();
    std::string text = case_text(case_values(d).values);
    text.resize(kLargestCaseBytes, ' ');
    const std::string file = path("padded.json");
    put(file, text);
    const CaseReadResult at = read_case_file(file);
    ASSERT_TRUE(at.ok()) << at.error;
    EXPECT_EQ(at.values, case_values(d).values);
    put(file, text + " ");
    EXPECT_EQ(read_case_file(file).error,
              file + ": is 1048577 bytes; a case file is at most 1048576");
}

TEST_F(CaseFileTest, RecordWithAValueNoListHoldsIsNotSaved) {
    AnalysisState s;
    apply_input_defaults(s);
    s.mean_stock = 0.0705;
    const std::string file = path("odd.json");
    EXPECT_EQ(
        write_case_file(file, s),
        "Equity / Stocks mean holds a value that is not a percent from 0 to 30 in steps of 0.1");
    EXPECT_FALSE(fs::exists(file));
}

// A save stopped by the file-size limit half-way through: the old file is
// whole and no temporary file is left behind.
TEST_F(CaseFileTest, InterruptedSaveKeepsTheOldFile) {
    const std::string file = path("client.json");
    put(file, "the previous case\n");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200, 200};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        AnalysisState s;
        apply_input_defaults(s);
        const std::string reason = write_case_file(file, s);
        ::_exit(reason.find("cannot write") == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save should have failed";
    EXPECT_EQ(contents(file), "the previous case\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

    // Without the limit the same save replaces it.
    AnalysisState s;
    apply_input_defaults(s);
    ASSERT_EQ(write_case_file(file, s), "");
    EXPECT_TRUE(parse_case(contents(file)).ok());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace quorrel
