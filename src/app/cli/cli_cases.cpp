// Many cases at once (--batch) and cases side by side (--compare).
#include "app/cli/cli_cases.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <mutex>
#include <ostream>
#include <locale>
#include <sstream>
#include <thread>

#include "app/cli/cli.h"
#include "core/case_comparison.h"
#include "core/case_file.h"
#include "core/defaults.h"
#include "core/message_text.h"

namespace quorrel {
namespace {

using nlohmann::json;

// One case of a batch, made ready to calculate before the workers start.
struct BatchCase {
    json label;  // {"case": path} or {"row": n}
    std::string name;
    AnalysisState state;
    std::string error;  // refused while reading; the case is not calculated
};

std::string trimmed(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t\r") + 1 - begin);
}

// The fields of one CSV record (RFC 4180 quoting); records may span lines
// inside quotes, so the text is consumed from `at`.
std::vector<std::string> csv_record(const std::string& text, std::size_t& at) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    while (at < text.size()) {
        const char c = text[at++];
        if (quoted) {
            if (c == '"' && at < text.size() && text[at] == '"') {
                fields.back() += '"';
                ++at;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\n') {
            break;
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    for (std::string& f : fields) f = trimmed(f);
    return fields;
}

bool is_csv_header(const std::vector<std::string>& fields) {
    return std::all_of(fields.begin(), fields.end(),
                       [](const std::string& f) { return f == "name" || is_input_option(f); });
}

std::vector<BatchCase> csv_cases(const std::string& text) {
    std::vector<BatchCase> cases;
    std::size_t at = 0;
    const std::vector<std::string> header = csv_record(text, at);
    int row = 0;
    while (at < text.size()) {
        const std::vector<std::string> fields = csv_record(text, at);
        if (fields.size() == 1 && fields[0].empty()) continue;  // a blank line
        BatchCase c{{{"row", ++row}}, {}, {}, {}};
        apply_input_defaults(c.state);
        if (fields.size() != header.size()) {
            c.error = "row " + std::to_string(row) + " has " + std::to_string(fields.size()) +
                      " fields where the header names " + std::to_string(header.size());
        } else {
            std::vector<std::pair<std::string, std::string>> given;
            for (std::size_t k = 0; k < header.size(); ++k) {
                if (header[k] == "name")
                    c.name = fields[k];
                else if (!fields[k].empty())
                    given.emplace_back(header[k], fields[k]);
            }
            c.error = apply_option_texts(given, c.state);
        }
        cases.push_back(std::move(c));
    }
    return cases;
}

std::vector<BatchCase> listed_cases(const std::string& text, const std::filesystem::path& folder) {
    std::vector<BatchCase> cases;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = trimmed(text.substr(at, end - at));
        at = end + 1;
        if (line.empty() || line[0] == '#') continue;
        // Relative names are taken from the list's own folder.
        std::filesystem::path file(line);
        if (file.is_relative()) file = folder / file;
        BatchCase c{{{"case", line}}, {}, {}, {}};
        apply_input_defaults(c.state);
        const CaseReadResult read = read_case_file(file.string());
        if (read.ok()) {
            write_inputs(c.state, read.values);
            c.name = read.name.empty() ? case_name_of_path(line) : read.name;
        } else {
            c.error = read.error;
        }
        cases.push_back(std::move(c));
    }
    return cases;
}

// The line printed for one finished case: its label and name first, then
// its figures (or its error).
std::string batch_line(BatchCase& c, Accuracy accuracy) {
    nlohmann::ordered_json head;
    for (const auto& [key, value] : c.label.items()) head[key] = value;
    if (!c.name.empty()) head["name"] = c.name;
    if (c.error.empty()) {
        ResultsRecord results;
        c.error = calculate(c.state, results, accuracy);
        if (c.error.empty()) {
            // The engine counts solves for the whole process, so a count taken
            // while other cases run beside this one would be wrong: left out.
            json figures = results_json(c.state, results);
            figures.erase("solver_calls");
            std::string line = head.dump();
            line.back() = ',';
            return line + figures.dump().substr(1);
        }
    }
    head["error"] = c.error;
    return head.dump();
}

void draw_progress(std::ostream& err, std::size_t done, std::size_t total) {
    const int width = 30;
    const auto filled = static_cast<int>(total == 0 ? width : done * width / total);
    err << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
        << std::string(static_cast<std::size_t>(width - filled), ' ') << "] " << done << "/"
        << total << std::flush;
}

}  // namespace

int run_batch(const std::string& path, std::ostream& out, std::ostream& err, bool progress,
              Accuracy accuracy) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err << "quorrel-cli: --batch: " << printable_excerpt(path, 200) << ": cannot be read\n";
        return 1;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::size_t at = 0;
    std::vector<BatchCase> cases =
        is_csv_header(csv_record(text, at))
            ? csv_cases(text)
            : listed_cases(text, std::filesystem::path(path).parent_path());

    // Every core computes cases; the lines go out in the file's order as soon
    // as all before them are done.
    std::vector<std::string> lines(cases.size());
    std::vector<char> finished(cases.size(), 0);
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < cases.size(); i = next++) {
            std::string line = batch_line(cases[i], accuracy);
            {
                const std::lock_guard<std::mutex> lock(mutex);
                lines[i] = std::move(line);
                finished[i] = 1;
            }
            ready.notify_one();
        }
    };
    const std::size_t threads = std::max<std::size_t>(
        1, std::min<std::size_t>(std::thread::hardware_concurrency(), cases.size()));
    std::vector<std::thread> workers;
    for (std::size_t t = 0; t < threads; ++t) workers.emplace_back(work);

    bool any_refused = false;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        std::unique_lock<std::mutex> lock(mutex);
        ready.wait(lock, [&] { return finished[i] != 0; });
        const std::string line = std::move(lines[i]);
        lock.unlock();
        any_refused = any_refused || !cases[i].error.empty();
        out << line << '\n';
        if (progress) draw_progress(err, i + 1, cases.size());
    }
    for (std::thread& t : workers) t.join();
    if (progress) err << '\n';
    out.flush();
    return any_refused ? 1 : 0;
}

namespace {

// The comparison as a text table: a heading line per section, the first
// column (the figure) left-aligned, the cases' columns right-aligned.
void print_comparison(const std::vector<ComparedCase>& cases, std::ostream& out) {
    const CaseComparison comparison = compare_cases(cases);
    const std::vector<std::string> columns = comparison_columns(comparison);
    const std::vector<std::vector<std::string>> cells = comparison_cells(comparison);
    // Columns and cells start with the section, shown as a heading instead.
    std::vector<std::size_t> width(columns.size(), 0);
    for (std::size_t k = 1; k < columns.size(); ++k) width[k] = columns[k].size();
    for (const auto& row : cells)
        for (std::size_t k = 1; k < row.size() && k < width.size(); ++k)
            width[k] = std::max(width[k], row[k].size());
    const auto line = [&](const std::vector<std::string>& texts) {
        std::ostringstream text;
        text.imbue(std::locale::classic());
        for (std::size_t k = 1; k < width.size() && k < texts.size(); ++k) {
            if (k == 1)
                text << "  " << std::left << std::setw(static_cast<int>(width[k])) << texts[k];
            else
                text << "  " << std::right << std::setw(static_cast<int>(width[k])) << texts[k];
        }
        std::string shown = text.str();
        while (!shown.empty() && shown.back() == ' ') shown.pop_back();
        out << shown << '\n';
    };
    line(columns);
    std::string section;
    for (const auto& row : cells) {
        if (!row.empty() && row[0] != section) {
            section = row[0];
            out << section << '\n';
        }
        line(row);
    }
}

}  // namespace

int run_compare(NamedCase current, const std::vector<std::string>& files, bool as_json,
                std::ostream& out, std::ostream& err, Accuracy accuracy) {
    std::vector<ComparedCase> cases{{current.name, std::move(current.state), {}}};
    for (const std::string& file : files) {
        ComparedCase other{{}, {}, {}};
        apply_input_defaults(other.state);
        const CaseReadResult read = read_case_file(file);
        if (!read.ok()) {
            err << "quorrel-cli: --compare: " << read.error << '\n';
            return 2;
        }
        write_inputs(other.state, read.values);
        other.name = read.name.empty() ? case_name_of_path(file) : read.name;
        cases.push_back(std::move(other));
    }
    for (ComparedCase& c : cases) {
        const std::string message = calculate(c.state, c.results, accuracy);
        if (!message.empty()) {
            err << "quorrel-cli: " << printable_excerpt(c.name, 80) << ": " << message << '\n';
            return 1;
        }
    }

    if (as_json) {
        json all = json::array();
        for (const ComparedCase& c : cases) {
            json j = results_json(c.state, c.results);
            j["name"] = c.name;
            all.push_back(std::move(j));
        }
        out << all.dump(2) << '\n';
        return 0;
    }

    print_comparison(cases, out);
    return 0;
}

}  // namespace quorrel
