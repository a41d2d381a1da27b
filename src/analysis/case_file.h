// A saved case: every input of an analysis, by its catalogue key, in natural
// units (percents as numbers such as 7.0, amounts as numbers, tables and the
// market by name), in a versioned JSON document:
//
//   { "format": "quorrel-case", "version": 1, "name": "...",
//     "inputs": { "current_age": 65, "gender": "male", ..., "mean_stock_percent": 7.0, ... } }
//
// Reading is strict: one message names the first key that is wrong or unknown
// and what it may hold, and nothing is written anywhere on a failure. A key
// the file lacks takes the catalogue's default, so a file saved before an
// input existed still opens; the reader lists those keys. Writing goes to a
// temporary file beside the target that is renamed over it, so the previous
// file survives any failure (analysis/output_file.h: a regular file or a new
// path only, through a symbolic link). No Qt: the screens and the command line share it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "record/analysis_state.h"
#include "analysis/input_catalogue.h"

namespace quorrel {

inline constexpr const char* kCaseFormat = "quorrel-case";
inline constexpr int kCaseVersion = 1;
// A case file is a few kilobytes; anything much larger is not one, and is
// refused before it is read.
inline constexpr std::size_t kLargestCaseBytes = 1 << 20;

struct CaseReadResult {
    InputValues values;  // one per catalogue row when error is empty
    std::string name;    // the document's "name", empty when it has none
    std::string error;   // one line; empty on success
    // Catalogue keys the file lacks, in catalogue order: they hold defaults.
    std::vector<std::string> defaulted;
    [[nodiscard]] bool ok() const { return error.empty(); }
};

// "inputs not in the file took their defaults: a, b", or empty when the file
// held every input.
std::string defaulted_inputs_note(const CaseReadResult& read);

// The document's text, and reading it back.
std::string case_text(const InputValues& values, const std::string& name = {});
[[nodiscard]] CaseReadResult parse_case(std::string_view text);

// Reads a case file; the message names the file. Only a regular file of at
// most kLargestCaseBytes is read; an empty path is refused.
[[nodiscard]] CaseReadResult read_case_file(const std::string& path);
// Reads a case file and writes its inputs into the record. Returns an empty
// string on success, otherwise the message; the record is then unchanged.
[[nodiscard]] std::string read_case_file(const std::string& path, AnalysisState& state);

// The inputs of a record; the message names the first field that holds a
// value its list cannot.
struct CaseValuesResult {
    InputValues values;
    std::string error;
};
[[nodiscard]] CaseValuesResult case_values(const AnalysisState& state);

// Writes the record's inputs as a case file, atomically. Returns an empty
// string on success, otherwise the reason; the previous file is then intact.
[[nodiscard]] std::string write_case_file(const std::string& path, const AnalysisState& state,
                                          const std::string& name = {});
[[nodiscard]] std::string write_case_file(const std::string& path, const InputValues& values,
                                          const std::string& name = {});

// The case name a file gives when its document has none: its file name
// without the folder and the extension.
std::string case_name_of_path(const std::string& path);

}  // namespace quorrel
