#include "analysis/case_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <type_traits>
#include <vector>

#include "record/message_text.h"
#include "analysis/output_file.h"

namespace quorrel {
namespace {

using nlohmann::json;

// The top-level keys a document may hold; "results" is for figures a writer
// adds for a reader's information and is never read back as inputs.
const char* const kTopKeys[] = {"format", "version", "name", "inputs", "results"};

// A value's JSON text, stopped soon after `limit` bytes: a message quotes the
// start of a value, and a huge one must cost no more than a small one.
void append_bounded(const json& value, std::string& out, std::size_t limit) {
    if (out.size() > limit) return;
    if (value.is_object()) {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : value.items()) {
            if (out.size() > limit) return;
            if (!first) out += ',';
            first = false;
            out += json(key).dump() + ':';
            append_bounded(item, out, limit);
        }
        out += '}';
    } else if (value.is_array()) {
        out += '[';
        bool first = true;
        for (const json& item : value) {
            if (out.size() > limit) return;
            if (!first) out += ',';
            first = false;
            append_bounded(item, out, limit);
        }
        out += ']';
    } else if (value.is_string()) {
        const auto& s = value.get_ref<const std::string&>();
        // Cut between characters: the library refuses to write half of one.
        std::size_t cut = std::min(s.size(), limit + 1);
        while (cut < s.size() && cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
            --cut;
        out += json(s.substr(0, cut)).dump();
    } else {
        out += value.dump();
    }
}

std::string shown(const json& value) {
    constexpr std::size_t kQuoted = 40, kBound = 4 * kQuoted;
    std::string text;
    append_bounded(value, text, kBound);
    std::string quoted = printable_excerpt(text, kQuoted);
    // The length printable_excerpt adds would be that of the bounded text,
    // not of the value: a cut value ends in "..." alone.
    if (text.size() > kBound)
        if (const auto at = quoted.rfind("... ("); at != std::string::npos) quoted.erase(at + 3);
    return quoted;
}

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
    // Unsigned beyond the signed range reads as negative through long long.
    const bool newer = version.is_number_unsigned()
                           ? version.get<std::uint64_t>() > static_cast<std::uint64_t>(kCaseVersion)
                           : version.get<std::int64_t>() > kCaseVersion;
    if (newer)
        return "\"version\" is " + shown(version) +
               ": the case was written by a newer program (this one reads version " +
               std::to_string(kCaseVersion) + ")";
    if (version.get<std::int64_t>() < 1)
        return "\"version\" is " + shown(version) + ", not " + std::to_string(kCaseVersion);
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


// A case is two levels deep (the document, its inputs); the results block a
// writer may add needs a few more. Anything deeper is refused before it is
// parsed, so that no nesting can exhaust the stack of whatever walks it.
constexpr int kDeepestNesting = 16;

// Bytes JSON never holds raw (a NUL, which the parser would take for the end
// of the text) and nesting beyond the bound: the message, or empty.
std::string check_structure(std::string_view text) {
    int depth = 0;
    bool in_string = false, escaped = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0') return "not JSON (" + position_of(text, i) + "): a NUL character";
        if (in_string) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                in_string = false;
            continue;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '{' || c == '[') {
            if (++depth > kDeepestNesting)
                return "nested deeper than " + std::to_string(kDeepestNesting) + " levels (" +
                       position_of(text, i) + ")";
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return {};
}

// Builds the document as the library's own reader does, refusing a key
// given twice in one object (which the library would let the last one win)
// and keeping the position of a number too large for a double.
class CaseReader : public nlohmann::detail::json_sax_dom_parser<json> {
public:
    using Base = nlohmann::detail::json_sax_dom_parser<json>;
    explicit CaseReader(json& doc) : Base(doc, false) {}

    bool start_object(std::size_t n) {
        scopes_.push_back({path_of_next(), {}, true});
        return Base::start_object(n);
    }
    bool end_object() {
        scopes_.pop_back();
        return Base::end_object();
    }
    bool start_array(std::size_t n) {
        scopes_.push_back({path_of_next(), {}, false});
        return Base::start_array(n);
    }
    bool end_array() {
        scopes_.pop_back();
        return Base::end_array();
    }
    bool key(std::string& k) {
        Scope& scope = scopes_.back();
        if (!scope.keys.insert(k).second) {
            error = "duplicate key " + quoted_key(scope.path.empty() ? k : scope.path + "." + k) +
                    " (each key appears once)";
            return false;
        }
        last_key_ = k;
        return Base::key(k);
    }
    template <class Exception>
    bool parse_error(std::size_t position, const std::string& token, const Exception& e) {
        error_end = position;
        number_overflow = std::is_same_v<Exception, nlohmann::detail::out_of_range>;
        error_token = token;
        (void)e;
        return Base::parse_error(position, token, e);
    }

    std::string error;  // a refusal of this reader's own, or empty
    std::size_t error_end = 0;  // bytes read when the parser stopped
    bool number_overflow = false;
    std::string error_token;

private:
    struct Scope {
        std::string path;
        std::set<std::string> keys;
        bool object = false;
    };
    // The dotted name of the value about to start: a member of an object is
    // named by its key; an element of an array takes the array's name.
    std::string path_of_next() const {
        if (scopes_.empty()) return {};
        const Scope& parent = scopes_.back();
        if (!parent.object) return parent.path;
        return parent.path.empty() ? last_key_ : parent.path + "." + last_key_;
    }
    std::vector<Scope> scopes_;
    std::string last_key_;
};

}  // namespace

std::string case_text(const InputValues& values, const std::string& name) {
    json inputs = json::object();
    const auto& rows = input_catalogue();
    // A single person at the household defaults is written as before there
    // was a household, key for key.
    const bool single = household_at_defaults(values);
    std::vector<std::size_t> written;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (single && rows[i].household) continue;
        inputs[rows[i].key] = natural_json(rows[i], values.at(i));
        written.push_back(i);
    }
    // The fields in a fixed order a person can read: header, then the inputs
    // in the order of the catalogue.
    std::string text = "{\n  \"format\": \"" + std::string(kCaseFormat) +
                       "\",\n  \"version\": " + std::to_string(kCaseVersion) + ",\n";
    if (!name.empty()) text += "  \"name\": " + json(name).dump(-1, ' ', false, json::error_handler_t::replace) + ",\n";
    text += "  \"inputs\": {\n";
    for (std::size_t k = 0; k < written.size(); ++k) {
        const char* key = rows[written[k]].key;
        text += "    " + json(key).dump() + ": " + inputs[key].dump();
        text += k + 1 < written.size() ? ",\n" : "\n";
    }
    text += "  }\n}\n";
    return text;
}

CaseReadResult parse_case(std::string_view text) {
    CaseReadResult result;
    result.error = check_structure(text);
    if (!result.ok()) return result;
    json doc;
    CaseReader reader(doc);
    bool parsed = false;
    try {
        parsed = json::sax_parse(text.begin(), text.end(), &reader);
    } catch (const json::exception& e) {
        // The reader is built not to throw; anything the library still
        // throws is a text that is not a case.
        result.error = "not JSON (" + printable_excerpt(e.what(), 80) + ")";
        return result;
    }
    if (!parsed) {
        if (!reader.error.empty())
            result.error = reader.error;
        else if (reader.number_overflow)
            result.error =
                "the number " + printable_excerpt(reader.error_token, 40) + " (" +
                position_of(text, reader.error_end - std::min(reader.error_end,
                                                               reader.error_token.size())) +
                ") is too large for any figure";
        else
            result.error =
                "not JSON (" + position_of(text, reader.error_end > 0 ? reader.error_end - 1 : 0) +
                ")";
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
    // A key the file lacks (an input added after the file was saved) takes
    // its default; one that follows the market takes the file's market's.
    InputValues values;
    std::vector<std::size_t> missing;
    const auto& rows = input_catalogue();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const InputRow& row = rows[i];
        if (!inputs.contains(row.key)) {
            missing.push_back(i);
            values.push_back(default_value(row));
            continue;
        }
        const auto v = input_from_json(row, inputs[row.key], result.error);
        if (!v) return result;
        values.push_back(*v);
    }
    const int market = values.at(input_index("market")).index;
    // A file without any household key is a single person's: nothing of it
    // was left out.
    bool any_household = false;
    for (std::size_t i = 0; i < rows.size(); ++i)
        any_household = any_household || (rows[i].household && inputs.contains(rows[i].key));
    for (const std::size_t i : missing) {
        if (rows[i].follows_market) values[i].index = rows[i].preset.at(static_cast<std::size_t>(market));
        if (rows[i].household && !any_household) continue;
        result.defaulted.emplace_back(rows[i].key);
    }
    result.values = std::move(values);
    if (doc.contains("name")) result.name = doc["name"].get<std::string>();
    return result;
}

namespace {

// The whole of a regular file no larger than `largest` bytes, or the reason
// it cannot be read. Opened without blocking, so that a FIFO with no writer
// is refused rather than waited on, and checked on the opened descriptor, so
// that what is read is what was checked.
std::string read_small_file(const std::string& path, std::size_t largest, std::string& text) {
    if (path.empty()) return "the file name is empty";
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return "cannot be read: " + system_reason();
    const auto fail = [fd](std::string reason) {
        ::close(fd);
        return reason;
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0) return fail("cannot be read: " + system_reason());
    if (S_ISDIR(info.st_mode)) return fail("is a folder, not a file");
    if (!S_ISREG(info.st_mode)) return fail("is not a regular file");
    if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > largest)
        return fail("is " + std::to_string(info.st_size) + " bytes; a case file is at most " +
                    std::to_string(largest));
    text.clear();
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("cannot be read: " + system_reason());
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        // A file that grows while it is read is held to the same bound.
        if (text.size() > largest)
            return fail("is more than " + std::to_string(largest) +
                        " bytes; a case file is at most " + std::to_string(largest));
    }
    ::close(fd);
    return {};
}

}  // namespace

CaseReadResult read_case_file(const std::string& path) {
    CaseReadResult result;
    std::string text;
    if (std::string reason = read_small_file(path, kLargestCaseBytes, text); !reason.empty()) {
        result.error = path.empty() ? reason : printable_excerpt(path, 200) + ": " + reason;
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

std::string defaulted_inputs_note(const CaseReadResult& read) {
    if (read.defaulted.empty()) return {};
    std::string note = "inputs not in the file took their defaults: ";
    for (std::size_t i = 0; i < read.defaulted.size(); ++i) {
        if (i > 0) note += ", ";
        note += read.defaulted[i];
    }
    return note;
}

std::string case_name_of_path(const std::string& path) {
    return std::filesystem::path(path).stem().string();
}

}  // namespace quorrel
