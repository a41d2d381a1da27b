#include "cli/batch_csv.h"

#include <optional>

#include <csv.h>

#include "analysis/input_catalogue.h"
#include "record/message_text.h"

namespace quorrel {
namespace {

std::string trimmed(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    return std::string(text.substr(begin, text.find_last_not_of(" \t") + 1 - begin));
}

void on_field(void* data, std::size_t size, void* row) {
    static_cast<CsvRow*>(row)->fields.push_back(
        trimmed(std::string_view(data == nullptr ? "" : static_cast<const char*>(data), size)));
}

void on_record(int, void*) {}

// Records end only where the line does: a carriage return inside a line is
// the field's own byte, shown escaped when the field is refused.
int never_ends_record(unsigned char) { return 0; }

// A column's option without its leading "--", or "name"; empty when the
// header text names neither.
std::string column_of(const std::string& field) {
    if (field == "name") return field;
    const std::string option = field.rfind("--", 0) == 0 ? field : "--" + field;
    for (const InputRow& row : input_catalogue())
        if (option == row.option) return option.substr(2);
    return {};
}

}  // namespace

struct CsvLineReader::Parser {
    csv_parser p{};
    Parser() { start(); }
    ~Parser() { csv_free(&p); }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    void start() {
        csv_init(&p, CSV_STRICT | CSV_STRICT_FINI);
        csv_set_term_func(&p, never_ends_record);
    }
    void restart() {
        csv_free(&p);
        start();
    }
};

CsvLineReader::CsvLineReader() : parser_(std::make_unique<Parser>()) {}
CsvLineReader::~CsvLineReader() = default;

CsvRow CsvLineReader::read(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    CsvRow row;
    csv_parser* p = &parser_->p;
    if (csv_parse(p, line.data(), line.size(), on_field, on_record, &row) != line.size()) {
        const int error = csv_error(p);
        parser_->restart();
        row.fields.clear();
        row.error = error == CSV_EPARSE
                        ? "a quote inside a field: quote the whole field and double the "
                          "quotes within it"
                        : "the line cannot be read: " + std::string(csv_strerror(error));
        return row;
    }
    if (csv_fini(p, on_field, on_record, &row) != 0) {
        parser_->restart();
        row.fields.clear();
        row.error = "a quote is not closed on its line";
    }
    return row;
}

std::string_view without_bom(std::string_view line) {
    if (line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    return line;
}

BatchHeader read_batch_header(std::string_view first_line) {
    BatchHeader header;
    CsvLineReader reader;
    const CsvRow row = reader.read(first_line);
    bool any_known = false;
    for (const std::string& f : row.fields) any_known = any_known || !column_of(f).empty();
    if (!any_known) {
        // A spreadsheet set to separate by semicolons: its decimal commas
        // would be read as grouping, so the file is refused, not guessed at.
        CsvLineReader by_semicolon;
        std::string swapped(first_line);
        for (char& c : swapped) c = c == ';' ? ',' : c == ',' ? ';' : c;
        const CsvRow other = by_semicolon.read(swapped);
        bool semicolons = other.fields.size() > 1;
        for (const std::string& f : other.fields) semicolons = semicolons && !column_of(f).empty();
        if (semicolons)
            header.error =
                "the header separates its columns by ';'; a batch CSV separates them by ','";
        return header;
    }
    header.csv = true;
    if (!row.error.empty()) {
        header.error = "the header: " + row.error;
        return header;
    }
    for (std::size_t k = 0; k < row.fields.size(); ++k) {
        const std::string column = column_of(row.fields[k]);
        const std::string number = "column " + std::to_string(k + 1);
        if (row.fields[k].empty()) {
            header.error = number + " of the header has no name";
            return header;
        }
        if (column.empty()) {
            header.error = number + " \"" + printable_excerpt(row.fields[k], 40) +
                           "\" is neither \"name\" nor an input option (quorrel-cli --help "
                           "lists them)";
            return header;
        }
        for (std::size_t j = 0; j < k; ++j)
            if (header.columns[j] == column) {
                header.error = number + " \"" + printable_excerpt(row.fields[k], 40) +
                               "\" repeats column " + std::to_string(j + 1);
                return header;
            }
        header.columns.push_back(column);
    }
    return header;
}

std::optional<CsvRow> BatchLines::take(std::string_view line, bool too_long) {
    if (first_) line = without_bom(line);
    first_ = false;
    if (!header_seen_) {
        if (too_long) {
            header_seen_ = true;
            header_.error = "the first line is longer than 64 KiB";
            return std::nullopt;
        }
        if (trimmed(line).empty()) return std::nullopt;
        header_ = read_batch_header(line);
        header_seen_ = true;
        if (header_.csv || !header_.error.empty()) return std::nullopt;
    }
    if (!header_.error.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (too_long) {
        CsvRow row{{}, "the line is longer than 64 KiB"};
        if (!header_.csv) row.fields.push_back(printable_excerpt(line, 60));
        return row;
    }
    if (header_.csv) {
        CsvRow row = reader_.read(line);
        if (row.blank()) return std::nullopt;
        return row;
    }
    std::string name = trimmed(line);
    if (name.empty() || name[0] == '#') return std::nullopt;
    return CsvRow{{std::move(name)}, {}};
}

BatchText read_batch_text(std::string_view text) {
    BatchText batch;
    BatchLines lines;
    while (!text.empty() && lines.header().error.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        auto row = lines.take(line.substr(0, kBatchLineLimit + 1), line.size() > kBatchLineLimit);
        if (row) batch.rows.push_back(std::move(*row));
    }
    batch.header = lines.header();
    return batch;
}

}  // namespace quorrel
