#include "cli/cli_option_values.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "cli/cli_cases.h"
#include "record/message_text.h"
#include "record/number_format.h"

namespace quorrel {
namespace {

std::string trimmed(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

std::vector<std::string> list_items(const std::string& option, const std::string& text,
                                    size_t count, const std::string& expected) {
    std::vector<std::string> items;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ',')) items.push_back(trimmed(item));
    if (!text.empty() && text.back() == ',') items.emplace_back();
    if (items.size() != count) refuse_value(option, text, expected);
    return items;
}

// The value of one input as typed; nullopt when the input cannot take it.
std::optional<InputValue> typed_value(const InputRow& row, const std::string& text) {
    if (row.kind == InputKind::choice) {
        const auto i = index_of_name(row, text);
        return i ? std::optional<InputValue>(InputValue{.index = *i}) : std::nullopt;
    }
    const auto v = row.kind == InputKind::amount ? parse_money(text) : parse_amount(text);
    if (!v) return std::nullopt;
    if (row.kind == InputKind::amount) {
        return *v >= 0 ? std::optional<InputValue>(InputValue{.index = 0, .amount = *v})
                       : std::nullopt;
    }
    const auto i = index_of_natural(row, *v);
    return i ? std::optional<InputValue>(InputValue{.index = *i}) : std::nullopt;
}

}  // namespace

void refuse_value(const std::string& option, const std::string& text,
                               const std::string& expected) {
    throw OptionError(option + ": '" + printable_excerpt(text) + "' is not " + expected);
}

const InputRow& row_at(std::size_t i) { return input_catalogue()[i]; }

std::vector<InputOption> catalogue_options() {
    std::vector<InputOption> options;
    const auto& rows = input_catalogue();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (options.empty() ||
            std::string(row_at(options.back().rows.front()).option) != rows[i].option)
            options.push_back({});
        options.back().rows.push_back(i);
    }
    return options;
}

void apply_option(const InputOption& option, AnalysisState& s) {
    const InputRow& first = row_at(option.rows.front());
    if (option.rows.size() == 1) {
        const auto v = typed_value(first, option.text);
        if (!v) refuse_value(first.option, option.text, input_range(first));
        write_input(s, first, *v);
        return;
    }
    const std::string expected = first.option_range != nullptr ? first.option_range : first.range;
    const auto items = list_items(first.option, option.text, option.rows.size(), expected);
    for (std::size_t k = 0; k < option.rows.size(); ++k) {
        const InputRow& row = row_at(option.rows[k]);
        const auto v = typed_value(row, items[k]);
        if (!v) refuse_value(first.option, option.text, expected);
        write_input(s, row, *v);
    }
}

// Writes the given options over the record, the market preset before the

// A whole number as typed (thousands may be grouped); nullopt otherwise.
std::optional<double> whole_number(const std::string& text) {
    const auto v = parse_amount(text);
    if (!v || *v != std::floor(*v)) return std::nullopt;
    return v;
}

std::uint64_t seed_value(const std::string& text) {
    const char* expected = "a whole number from 0 to 18446744073709551615";
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 20)
        refuse_value("--seed", text, expected);
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE) refuse_value("--seed", text, expected);
    return v;
}

bool is_input_option(const std::string& name) {
    const std::string option = name.rfind("--", 0) == 0 ? name : "--" + name;
    for (const InputRow& row : input_catalogue())
        if (option == row.option) return true;
    return false;
}

std::string apply_option_texts(const std::vector<std::pair<std::string, std::string>>& given,
                               AnalysisState& state) {
    std::vector<InputOption> options = catalogue_options();
    std::vector<bool> set(options.size(), false);
    for (const auto& [name, text] : given) {
        const std::string option = name.rfind("--", 0) == 0 ? name : "--" + name;
        for (std::size_t k = 0; k < options.size(); ++k)
            if (option == row_at(options[k].rows.front()).option) {
                options[k].text = text;
                set[k] = true;
            }
    }
    AnalysisState s = state;
    try {
        for (int pass = 0; pass < 2; ++pass)
            for (std::size_t k = 0; k < options.size(); ++k) {
                const bool market = std::string(row_at(options[k].rows.front()).key) == "market";
                if (set[k] && market == (pass == 0)) apply_option(options[k], s);
            }
    } catch (const OptionError& e) {
        return e.what();
    }
    state = std::move(s);
    return {};
}

}  // namespace quorrel
