// Many cases at once (--batch) and cases side by side (--compare).
#include "cli/cli_cases.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <ostream>
#include <locale>
#include <sstream>

#include "cli/batch_csv.h"
#include "cli/cli.h"
#include "cli/cli_output.h"
#include "analysis/case_comparison.h"
#include "analysis/case_file.h"
#include "analysis/defaults.h"
#include "record/message_text.h"
#include "engine/parallel.h"

namespace quorrel {
namespace {

using nlohmann::json;

// One row of a batch as read: what a worker needs to compute it.
struct BatchJob {
    const BatchHeader* header = nullptr;
    const std::filesystem::path* folder = nullptr;  // of a list's relative names
    long row = 0;                                   // of a CSV
    CsvRow fields;
    std::string line;  // the output, once done
    bool refused = false;
    std::atomic<bool> done{false};  // set by the thread that computed it
};

// The case a job describes; a refusal is left in `error`.
struct BatchCase {
    nlohmann::ordered_json head;  // {"case": path} or {"row": n}, then "name"
    AnalysisState state;
    std::string error;
};

BatchCase prepare_case(const BatchJob& job) {
    BatchCase c;
    apply_input_defaults(c.state);
    if (!job.header->csv) {
        const std::string& line = job.fields.fields.at(0);
        c.head["case"] = line;
        if (!job.fields.error.empty()) {
            c.error = job.fields.error;
            return c;
        }
        // Relative names are taken from the list's own folder.
        std::filesystem::path file(line);
        if (file.is_relative()) file = *job.folder / file;
        const CaseReadResult read = read_case_file(file.string());
        if (read.ok()) {
            write_inputs(c.state, read.values);
            c.head["name"] = read.name.empty() ? case_name_of_path(line) : read.name;
            if (!read.defaulted.empty()) c.head["defaulted"] = read.defaulted;
        } else {
            c.error = read.error;
        }
        return c;
    }
    c.head["row"] = job.row;
    const std::vector<std::string>& fields = job.fields.fields;
    const std::vector<std::string>& columns = job.header->columns;
    if (!job.fields.error.empty()) {
        c.error = "row " + std::to_string(job.row) + ": " + job.fields.error;
        return c;
    }
    if (fields.size() != columns.size()) {
        c.error = "row " + std::to_string(job.row) + " has " + std::to_string(fields.size()) +
                  " fields where the header names " + std::to_string(columns.size());
        return c;
    }
    std::vector<std::pair<std::string, std::string>> given;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        if (columns[k] == "name") {
            if (!fields[k].empty()) c.head["name"] = fields[k];
        } else if (!fields[k].empty()) {
            given.emplace_back(columns[k], fields[k]);
        }
    }
    c.error = apply_option_texts(given, c.state);
    return c;
}

// The line printed for one case: its label and name first, then its figures
// (or its error).
std::string batch_line(const BatchJob& job, Accuracy accuracy, bool& refused) {
    BatchCase c = prepare_case(job);
    if (c.error.empty()) {
        ResultsRecord results;
        c.error = calculate(c.state, results, accuracy);
        if (c.error.empty()) {
            // The engine counts solves for the whole process, so a count taken
            // while other cases run beside this one would be wrong: left out.
            json figures = results_json(c.state, results);
            figures.erase("solver_calls");
            std::string line = json_text(c.head);
            line.back() = ',';
            return line + json_text(figures).substr(1);
        }
    }
    refused = true;
    c.head["error"] = c.error;
    return json_text(c.head);
}

// Never lets an exception leave a worker: the row gets the message instead.
void compute_job(BatchJob& job, Accuracy accuracy) {
    try {
        job.line = batch_line(job, accuracy, job.refused);
        return;
    } catch (const std::exception& e) {
        job.line = "quorrel-cli: the calculation stopped: " + printable_excerpt(e.what(), 300);
    } catch (...) {
        job.line = "quorrel-cli: the calculation stopped";
    }
    job.refused = true;
    nlohmann::ordered_json head;
    if (job.header->csv)
        head["row"] = job.row;
    else if (!job.fields.fields.empty())
        head["case"] = job.fields.fields[0];
    head["error"] = job.line;
    job.line = json_text(head);
}

// One line of at most kBatchLineLimit bytes (the rest of a longer one is
// skipped); false at the end of the input.
bool next_line(std::istream& in, std::string& line, bool& too_long, std::uintmax_t& bytes) {
    line.clear();
    too_long = false;
    std::streambuf* buf = in.rdbuf();
    bool any = false;
    for (;;) {
        const int c = buf->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return any;
        }
        any = true;
        ++bytes;
        if (c == '\n') return true;
        if (line.size() < kBatchLineLimit)
            line += static_cast<char>(c);
        else
            too_long = true;
    }
}

void draw_progress(std::ostream& err, std::size_t done, std::uintmax_t read,
                   std::uintmax_t total) {
    if (total == 0) {
        err << "\r" << done << " cases" << std::flush;
        return;
    }
    const int width = 30;
    const auto filled = static_cast<int>(std::min<std::uintmax_t>(read, total) * width / total);
    err << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
        << std::string(static_cast<std::size_t>(width - filled), ' ') << "] " << done
        << " cases" << std::flush;
}

// Rows read and computed at a time: enough to keep every core busy but for
// the window's last few rows, few enough that memory stays small at any
// length.
constexpr std::size_t kBatchWindow = 256;

// The rows of one window computed over the threads, written in the file's
// order as soon as each and those before it are done.
class BatchWindow final {
public:
    BatchWindow(std::ostream& out, std::ostream& err, bool progress, Accuracy accuracy)
        : out_(out), err_(err), progress_(progress), accuracy_(accuracy) {}

    std::vector<std::unique_ptr<BatchJob>> jobs;
    std::size_t written = 0;  // over every window
    bool any_refused = false;

    void run(std::uintmax_t bytes_read, std::uintmax_t size) {
        bytes_ = bytes_read;
        size_ = size;
        next_ = 0;
        engine::run_parallel(
            jobs.size(), engine::worker_count(jobs.size()),
            [this](std::size_t k, const EventPump& pump) {
                compute_job(*jobs[k], accuracy_);
                jobs[k]->done.store(true);
                if (pump) pump();
            },
            [this] { write_done(); });
        write_done();
        jobs.clear();
    }

private:
    void write_done() {
        for (; next_ < jobs.size() && jobs[next_]->done.load(); ++next_) {
            const BatchJob& job = *jobs[next_];
            any_refused = any_refused || job.refused;
            out_ << job.line << '\n';
            ++written;
            if (progress_) draw_progress(err_, written, bytes_, size_);
        }
    }

    std::ostream& out_;
    std::ostream& err_;
    const bool progress_;
    const Accuracy accuracy_;
    std::uintmax_t bytes_ = 0, size_ = 0;
    std::size_t next_ = 0;  // the first row of the window not yet written
};

}  // namespace

int run_batch(std::istream& in, const std::string& shown_name,
              const std::filesystem::path& folder, std::uintmax_t size, std::ostream& out,
              std::ostream& err, bool progress, Accuracy accuracy, long first_row) {
    const std::string quoted = printable_excerpt(shown_name, 200);
    BatchLines reader;
    BatchWindow window(out, err, progress, accuracy);
    std::string line;
    bool too_long = false;
    bool input_left = true;
    std::uintmax_t bytes = 0;
    long rows = first_row - 1;
    for (;;) {
        while (input_left && window.jobs.size() < kBatchWindow) {
            input_left = next_line(in, line, too_long, bytes);
            if (!input_left) break;
            std::optional<CsvRow> row = reader.take(line, too_long);
            if (!reader.header().error.empty()) break;
            if (!row) continue;
            auto job = std::make_unique<BatchJob>();
            job->header = &reader.header();
            job->folder = &folder;
            job->row = ++rows;
            job->fields = std::move(*row);
            window.jobs.push_back(std::move(job));
        }
        if (!reader.header().error.empty()) break;
        if (window.jobs.empty()) break;
        window.run(bytes, size);
    }
    const std::size_t written = window.written;
    const bool any_refused = window.any_refused;
    if (progress && written > 0) err << '\n';
    out.flush();
    if (!reader.header().error.empty()) {
        err << "quorrel-cli: --batch: " << quoted << ": " << reader.header().error << '\n';
        return 1;
    }
    if (in.bad()) {
        err << "quorrel-cli: --batch: " << quoted << ": cannot be read: " << std::strerror(errno)
            << '\n';
        return 1;
    }
    if (written == 0) {
        err << "quorrel-cli: --batch: " << quoted << ": holds no cases\n";
        return 1;
    }
    return any_refused ? 1 : 0;
}

int run_batch(const std::string& path, std::ostream& out, std::ostream& err, bool progress,
              Accuracy accuracy, long first_row) {
    if (path.empty()) {
        err << "quorrel-cli: --batch: the file name is empty\n";
        return 2;
    }
    // "-": standard input, with names relative to the current folder, as
    // for any input that is not a regular file (/dev/stdin, a pipe).
    if (path == "-")
        return run_batch(std::cin, "standard input", {}, 0, out, err, progress, accuracy,
                         first_row);
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (std::filesystem::is_directory(status)) {
        err << "quorrel-cli: --batch: " << printable_excerpt(path, 200)
            << ": cannot be read: it is a folder\n";
        return 1;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        err << "quorrel-cli: --batch: " << printable_excerpt(path, 200) << ": cannot be read\n";
        return 1;
    }
    // A list's folder is that of the file itself, reached through any link
    // (/dev/stdin redirected from a file); other inputs have none.
    const bool regular = std::filesystem::is_regular_file(status);
    const std::uintmax_t size = regular ? std::filesystem::file_size(path, ec) : 0;
    std::filesystem::path folder;
    if (regular) {
        std::error_code link_error;
        const auto real = std::filesystem::canonical(path, link_error);
        folder = (link_error ? std::filesystem::path(path) : real).parent_path();
    }
    return run_batch(in, path, folder, ec ? 0 : size, out, err, progress, accuracy, first_row);
}

namespace {

// The comparison as a text table: a heading line per section, the first
// column (the figure) left-aligned, the cases' columns right-aligned.
void print_comparison(const std::vector<ComparedCase>& cases, std::ostream& out) {
    const CaseComparison comparison = compare_cases(cases);
    // A case's name is the file's own text: its control characters (a
    // terminal's escape sequences) are shown escaped, never sent.
    const auto shown = [](std::vector<std::string> texts) {
        for (std::string& t : texts) t = printable_excerpt(t, 200);
        return texts;
    };
    const std::vector<std::string> columns = shown(comparison_columns(comparison));
    std::vector<std::vector<std::string>> cells = comparison_cells(comparison);
    for (auto& row : cells) row = shown(std::move(row));
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
        if (!read.defaulted.empty())
            err << "quorrel-cli: --compare: " << file << ": " << defaulted_inputs_note(read) << '\n';
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
        out << json_text(all, 2) << '\n';
        return 0;
    }

    print_comparison(cases, out);
    return 0;
}

}  // namespace quorrel
