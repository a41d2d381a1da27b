#include "core/case_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "core/message_text.h"
#include "core/output_file.h"

namespace quorrel {
namespace {

using nlohmann::json;

// The top-level keys a document may hold; "results" is for figures a writer
// adds for a reader's information and is never read back as inputs.
const char* const kTopKeys[] = {"format", "version", "name", "inputs", "results"};

std::string shown(const json& value) { return printable_excerpt(value.dump(), 40); }

std::string quoted_key(std::string_view key) { return "\"" + printable_excerpt(key, 40) + "\""; }

json natural_json(const InputRow& row, InputValue v) {
    switch (row.kind) {
        case InputKind::choice: return row.names.at(static_cast<std::size_t>(v.index));
        case InputKind::amount:
            // Whole amounts as whole numbers, as a person would write them.
            if (v.amount == std::floor(v.amount) && std::fabs(v.amount) < 9e15)
                return static_cast<long long>(v.amount);
            return v.amount;
        case InputKind::list: break;
    }
    if (row.list.per_natural == 1) return static_cast<long long>(natural_value(row, v.index));
    return natural_value(row, v.index);
}

// One input's value from the document, or the message naming its key.
std::optional<InputValue> input_from_json(const InputRow& row, const json& value,
                                          std::string& error) {
    const std::string key = quoted_key(std::string("inputs.") + row.key);
    const auto refuse = [&] {
        error = key + " is " + shown(value) + ", not " + input_range(row);
        return std::nullopt;
    };
    if (row.kind == InputKind::choice) {
        if (!value.is_string()) return refuse();
        const auto i = index_of_name(row, value.get<std::string>());
        if (!i) return refuse();
        return InputValue{.index = *i};
    }
    if (!value.is_number()) return refuse();
    const double v = value.get<double>();
    if (row.kind == InputKind::amount) {
        if (!std::isfinite(v) || v < 0) return refuse();
        return InputValue{.index = 0, .amount = v};
    }
    const auto i = index_of_natural(row, v);
    if (!i) return refuse();
    return InputValue{.index = *i};
}

std::string check_header(const json& doc) {
    if (!doc.is_object() || !doc.contains("format") || doc["format"] != kCaseFormat)
        return std::string("not a Quorrel case: \"format\" must be \"") + kCaseFormat + "\"";
    for (const auto& [key, value] : doc.items()) {
        bool known = false;
        for (const char* k : kTopKeys) known = known || key == k;
        if (!known)
            return "unknown key " + quoted_key(key) +
                   " (a case holds format, version, name, inputs and results)";
    }
    if (!doc.contains("version"))
        return "missing key \"version\" (" + std::to_string(kCaseVersion) + ")";
    const json& version = doc["version"];
    if (!version.is_number_integer())
        return "\"version\" is " + shown(version) + ", not a whole number";
    const auto v = version.get<long long>();
    if (v > kCaseVersion)
        return "\"version\" is " + std::to_string(v) +
               ": the case was written by a newer program (this one reads version " +
               std::to_string(kCaseVersion) + ")";
    if (v < 1)
        return "\"version\" is " + std::to_string(v) + ", not " + std::to_string(kCaseVersion);
    if (doc.contains("name") && !doc["name"].is_string())
        return "\"name\" is " + shown(doc["name"]) + ", not a text";
    if (!doc.contains("inputs")) return "missing key \"inputs\"";
    if (!doc["inputs"].is_object())
        return "\"inputs\" is " + shown(doc["inputs"]) + ", not an object";
    return {};
}

// Line and column of a byte offset, for a parse error a person can find.
std::string position_of(std::string_view text, std::size_t byte) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < byte && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

std::string system_reason() { return std::strerror(errno); }

}  // namespace

std::string case_text(const InputValues& values, const std::string& name) {
    json inputs = json::object();
    const auto& rows = input_catalogue();
    for (std::size_t i = 0; i < rows.size(); ++i)
        inputs[rows[i].key] = natural_json(rows[i], values.at(i));
    // The fields in a fixed order a person can read: header, then the inputs
    // in the order of the catalogue.
    std::string text = "{\n  \"format\": \"" + std::string(kCaseFormat) +
                       "\",\n  \"version\": " + std::to_string(kCaseVersion) + ",\n";
    if (!name.empty()) text += "  \"name\": " + json(name).dump(-1, ' ', false, json::error_handler_t::replace) + ",\n";
    text += "  \"inputs\": {\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += "    " + json(rows[i].key).dump() + ": " + inputs[rows[i].key].dump();
        text += i + 1 < rows.size() ? ",\n" : "\n";
    }
    text += "  }\n}\n";
    return text;
}

CaseReadResult parse_case(std::string_view text) {
    CaseReadResult result;
    json doc;
    try {
        doc = json::parse(text.begin(), text.end());
    } catch (const json::parse_error& e) {
        result.error = "not JSON (" + position_of(text, e.byte > 0 ? e.byte - 1 : 0) + ")";
        return result;
    }
    result.error = check_header(doc);
    if (!result.ok()) return result;

    const json& inputs = doc["inputs"];
    for (const auto& [key, value] : inputs.items()) {
        try {
            (void)input_index(key);
        } catch (const std::out_of_range&) {
            result.error =
                "unknown key " + quoted_key("inputs." + key) +
                " (quorrel-cli --help lists the inputs; a case names them as the record does)";
            return result;
        }
    }
    InputValues values;
    for (const InputRow& row : input_catalogue()) {
        if (!inputs.contains(row.key)) {
            result.error = "missing key " + quoted_key(std::string("inputs.") + row.key) + " (" +
                           input_range(row) + ")";
            return result;
        }
        const auto v = input_from_json(row, inputs[row.key], result.error);
        if (!v) return result;
        values.push_back(*v);
    }
    result.values = std::move(values);
    if (doc.contains("name")) result.name = doc["name"].get<std::string>();
    return result;
}

CaseReadResult read_case_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    CaseReadResult result;
    if (!in) {
        result.error = printable_excerpt(path, 200) + ": cannot be read: " + system_reason();
        return result;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        result.error = printable_excerpt(path, 200) + ": cannot be read: " + system_reason();
        return result;
    }
    result = parse_case(text);
    if (!result.ok()) result.error = printable_excerpt(path, 200) + ": " + result.error;
    return result;
}

std::string read_case_file(const std::string& path, AnalysisState& state) {
    const CaseReadResult c = read_case_file(path);
    if (!c.ok()) return c.error;
    write_inputs(state, c.values);
    return {};
}

CaseValuesResult case_values(const AnalysisState& state) {
    CaseValuesResult result;
    for (const InputRow& row : input_catalogue()) {
        const auto v = read_input(state, row);
        if (!v) {
            result.values.clear();
            result.error =
                std::string(row.caption) + " holds a value that is not " + input_range(row);
            return result;
        }
        result.values.push_back(*v);
    }
    return result;
}

std::string write_case_file(const std::string& path, const AnalysisState& state,
                            const std::string& name) {
    const CaseValuesResult v = case_values(state);
    if (!v.error.empty()) return v.error;
    return write_case_file(path, v.values, name);
}

std::string write_case_file(const std::string& path, const InputValues& values,
                            const std::string& name) {
    return replace_file(path, case_text(values, name));
}

std::string case_name_of_path(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

}  // namespace quorrel
