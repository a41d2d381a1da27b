// Under a comma-decimal process locale the command line writes and reads
// exactly what it does under "C": the tables, the JSON, the text report, the
// PDF's text and the case file, byte for byte. The PDF starts Qt, which sets
// the process locale from the environment, so the environment names the
// locale too.
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <locale>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "cli_run.h"
#include "record/number_format.h"

namespace quorrel {
namespace {

namespace fs = std::filesystem;

using cli_test::Outcome;
using cli_test::run;

// Sets the C locale, the C++ global locale and LC_ALL in the environment,
// and puts all three back when it goes.
class ProcessLocale {
public:
    ProcessLocale() : c_(std::setlocale(LC_ALL, nullptr)), cpp_(std::locale()) {
        if (const char* env = std::getenv("LC_ALL")) env_ = env;
    }
    ~ProcessLocale() {
        std::setlocale(LC_ALL, c_.c_str());
        std::locale::global(cpp_);
        if (env_)
            ::setenv("LC_ALL", env_->c_str(), 1);
        else
            ::unsetenv("LC_ALL");
    }
    ProcessLocale(const ProcessLocale&) = delete;
    ProcessLocale& operator=(const ProcessLocale&) = delete;

    // False when this machine lacks the locale.
    static bool use(const std::string& name) {
        if (std::setlocale(LC_ALL, name.c_str()) == nullptr) return false;
        try {
            std::locale::global(std::locale(name));
        } catch (const std::runtime_error&) {
            return false;
        }
        ::setenv("LC_ALL", name.c_str(), 1);
        return true;
    }

private:
    std::string c_;
    std::locale cpp_;
    std::optional<std::string> env_;
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

[[maybe_unused]] std::string command_output(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
    ::pclose(pipe);
    return text;
}

// The time a report was prepared is the one thing two runs may differ in.
std::string without_times(const std::string& text) {
    static const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d(:\d\d)?)");
    return std::regex_replace(text, stamp, "<time>");
}

// Everything one set of runs writes, with the locale it ran under.
struct Written {
    std::string tables, json, report, pdf_text, case_file, compare, reopened, plain_json;
};

Written write_everything(const fs::path& dir) {
    const auto path = [&dir](const char* name) { return (dir / name).string(); };
    fs::remove_all(dir);
    fs::create_directories(dir);
    // Amounts and percents with a point and grouping commas, a simulation
    // (figures with a standard error) and a case file.
    const std::vector<std::string> inputs{"--stock-mean", "5.5",       "--wealth",
                                          "$650,000.50",  "--nominal-bond-dev", "3.1"};
    Written w;
    std::vector<std::string> args = inputs;
    args.insert(args.end(), {"--monte-carlo", "1000", "--report", path("report.txt"),
                             "--save-case", path("case.json")});
#ifdef QUORREL_CLI_PDF
    args.insert(args.end(), {"--pdf", path("report.pdf")});
#endif
    const Outcome tables = run(args);
    EXPECT_EQ(tables.status, 0) << tables.err;
    w.tables = tables.out;
    w.report = without_times(contents(path("report.txt")));
    w.case_file = contents(path("case.json"));
#ifdef QUORREL_CLI_PDF
    w.pdf_text =
        without_times(command_output("pdftotext -layout '" + path("report.pdf") + "' -"));
    EXPECT_FALSE(w.pdf_text.empty()) << "pdftotext (poppler-utils) must be installed";
#endif
    std::vector<std::string> json_args = inputs;
    json_args.insert(json_args.end(), {"--monte-carlo", "1000", "--json"});
    w.json = run(json_args).out;
    json_args.resize(inputs.size());
    json_args.push_back("--json");
    w.plain_json = run(json_args).out;
    // The case file read back, and compared with another case.
    w.reopened = run({"--case", path("case.json"), "--json"}).out;
    const Outcome other = run({"--age", "70", "--save-case", path("older.json")});
    EXPECT_EQ(other.status, 0) << other.err;
    w.compare = run({"--case", path("case.json"), "--compare", path("older.json")}).out;
    return w;
}

TEST(CliLocale, CommaDecimalLocalesWriteAndReadWhatCDoes) {
    const fs::path dir = fs::temp_directory_path() / ("quorrel_locale_" + std::to_string(::getpid()));
    Written c;
    {
        ProcessLocale keep;
        ASSERT_TRUE(ProcessLocale::use("C"));
        c = write_everything(dir);
    }
    ASSERT_NE(c.report.find("$"), std::string::npos);
    EXPECT_EQ(c.reopened, c.plain_json);

    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8"}) {
        SCOPED_TRACE(name);
        ProcessLocale keep;
        if (!ProcessLocale::use(name)) {
            GTEST_SKIP() << name << " is not available on this machine";
        }
        // The locale really writes a comma, or this would prove nothing.
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 2.5);
        ASSERT_STREQ(probe, "2,5");
        const Written w = write_everything(dir);
        EXPECT_EQ(w.tables, c.tables);
        EXPECT_EQ(w.json, c.json);
        EXPECT_EQ(w.report, c.report);
        EXPECT_EQ(w.pdf_text, c.pdf_text);
        EXPECT_EQ(w.case_file, c.case_file);
        EXPECT_EQ(w.reopened, c.reopened);
        EXPECT_EQ(w.plain_json, c.plain_json);
        EXPECT_EQ(w.compare, c.compare);
    }
    fs::remove_all(dir);
}

// The number helpers every writer goes through, under each locale, against
// their "C" texts.
TEST(CliLocale, NumberTextsIgnoreTheProcessLocale) {
    for (const char* name : {"de_DE.UTF-8", "fr_FR.UTF-8"}) {
        SCOPED_TRACE(name);
        ProcessLocale keep;
        if (!ProcessLocale::use(name)) GTEST_SKIP() << name << " is not available";
        const struct {
            std::string got, want;
        } cases[] = {
            {format_grouped2(1234567.125), "1,234,567.13"},
            {format_percent2(0.0125), "1.25%"},
            {str_form(1.5), " 1.5"},
            {fixed_text(2.5, 2), "2.50"},
            {c_format(" +-%.3f", 0.0125), " +-0.013"},
            {c_format("%g%%", 2.5), "2.5%"},
        };
        for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
        EXPECT_EQ(parse_amount("1,234.5"), 1234.5);
        EXPECT_EQ(parse_money("$40,000.25"), 40000.25);
        EXPECT_EQ(parse_amount("2,5"), std::nullopt);
    }
}

}  // namespace
}  // namespace quorrel
