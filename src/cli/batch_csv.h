// The text of a batch: a CSV whose header names input options, or a list of
// case files, one a line. Reading is by line so that a batch of any length
// is read in constant memory; nothing here touches a file.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorrel {

// The longest line a batch may hold; a longer one is an error of its row.
inline constexpr std::size_t kBatchLineLimit = 64 * 1024;

// One line of a CSV batch as fields, or why it cannot be read.
struct CsvRow {
    std::vector<std::string> fields;  // trimmed of spaces and tabs
    std::string error;                // one line; empty when read
    [[nodiscard]] bool blank() const {
        return error.empty() && (fields.empty() || (fields.size() == 1 && fields[0].empty()));
    }
};

// RFC 4180 fields of one line (quotes, doubled quotes inside them). A
// batch's fields are numbers and one-line names, so a quote still open at
// the end of the line is an error of that row alone: the rows after it are
// read as they are, never swallowed into it.
class CsvLineReader {
public:
    CsvLineReader();
    ~CsvLineReader();
    CsvLineReader(const CsvLineReader&) = delete;
    CsvLineReader& operator=(const CsvLineReader&) = delete;

    // `line` without its line end (a trailing carriage return is dropped).
    CsvRow read(std::string_view line);

private:
    struct Parser;
    std::unique_ptr<Parser> parser_;
};

// What the first line of a batch makes of it.
struct BatchHeader {
    bool csv = false;                  // otherwise a list of case files
    std::vector<std::string> columns;  // of a CSV: "name" or an option without "--"
    std::string error;                 // one line; the batch is refused
};
// `first_line` is the batch's first line, without a byte order mark. A CSV
// is told by a header that names "name" or an input option.
BatchHeader read_batch_header(std::string_view first_line);

// The first line's text without a UTF-8 byte order mark.
std::string_view without_bom(std::string_view line);

// A batch line by line: the header first (the first line that is not
// blank), then one row for each line that is not blank (nor, in a list, a
// comment). Shared by the streamed run and the whole-text reading below.
class BatchLines {
public:
    // `too_long`: the line was cut at kBatchLineLimit; its row is an error.
    std::optional<CsvRow> take(std::string_view line, bool too_long = false);
    [[nodiscard]] bool header_read() const { return header_seen_; }
    [[nodiscard]] const BatchHeader& header() const { return header_; }

private:
    CsvLineReader reader_;
    BatchHeader header_;
    bool header_seen_ = false;
    bool first_ = true;
};

// The header and the rows of a whole batch text, as --batch reads them: the
// pure part of a batch run, for tests and fuzzing. `rows` holds one entry
// per line after the header that is not blank (a list's comments are kept
// out too).
struct BatchText {
    BatchHeader header;
    std::vector<CsvRow> rows;  // of a list: one field, the file name
};
BatchText read_batch_text(std::string_view text);

}  // namespace quorrel
