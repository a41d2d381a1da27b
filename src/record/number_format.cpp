#include "record/number_format.h"

#include <locale.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

namespace quorrel {
namespace {

// Decimal digits of |value| rounded half away from zero to `decimals`
// places, taken from its 15-significant-digit decimal form. Returns the
// integer part and the fraction part as digit strings.
struct Rounded {
    std::string integer;
    std::string fraction;
    bool zero = true;
};

// The significant digits of |value| and the number of them before the
// decimal point.
void decimal_digits(double value, std::string& digits, int& point) {
    // to_chars, not printf: the digits must not depend on the process locale.
    if (std::fabs(value) < 1e15) {
        char buf[64];
        const auto r =
            std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
        const std::string_view text(buf, static_cast<size_t>(r.ptr - buf));
        digits.push_back(text[0]);
        digits.append(text.substr(2, 14));
        int exponent = 0;
        const std::string_view e = text.substr(text.find('e') + 1);
        std::from_chars(e.data() + (e[0] == '+' ? 1 : 0), e.data() + e.size(), exponent);
        point = exponent + 1;
        return;
    }
    // Sixteen or more integer digits: 15 significant digits would show the
    // last ones as zeros. Past 2^49 a double has at most three binary
    // fraction digits, so three fixed decimals are its exact decimal value.
    digits = fixed_text(std::fabs(value), 3);
    point = static_cast<int>(digits.find('.'));
    digits.erase(static_cast<size_t>(point), 1);
}

// Keeps the first `keep` digits, rounded half away from zero; a carry out of
// the first digit adds one before the point.
void round_digits(std::string& digits, int keep, int& point) {
    if (keep < 0) {
        digits.clear();
        return;
    }
    if (keep >= static_cast<int>(digits.size())) return;
    const bool up = digits[static_cast<size_t>(keep)] >= '5';
    digits.resize(static_cast<size_t>(keep));
    if (!up) return;
    int i = keep - 1;
    while (i >= 0 && digits[static_cast<size_t>(i)] == '9') {
        digits[static_cast<size_t>(i)] = '0';
        --i;
    }
    if (i >= 0) {
        ++digits[static_cast<size_t>(i)];
    } else {
        digits.insert(digits.begin(), '1');
        ++point;
    }
}

Rounded round_decimal(double value, int decimals) {
    std::string digits;
    int point = 0;  // digits before the decimal point
    decimal_digits(value, digits, point);
    if (value == 0.0) {
        digits.assign(1, '0');
        point = 1;
    }
    round_digits(digits, point + decimals, point);
    // Lay the kept digits out around the decimal point.
    Rounded r;
    const auto digit = [&digits](int i) {
        return i >= 0 && i < static_cast<int>(digits.size()) ? digits[static_cast<size_t>(i)] : '0';
    };
    for (int i = 0; i < point; ++i) r.integer.push_back(digit(i));
    for (int i = point; i < point + decimals; ++i) r.fraction.push_back(digit(i));
    // strip leading zeros of the integer part, keep at least one digit
    size_t nz = r.integer.find_first_not_of('0');
    r.integer = nz == std::string::npos ? "0" : r.integer.substr(nz);
    r.zero = r.integer == "0" && r.fraction.find_first_not_of('0') == std::string::npos;
    return r;
}

std::string group_thousands(const std::string& integer) {
    std::string out;
    const size_t n = integer.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out.push_back(',');
        out.push_back(integer[i]);
    }
    return out;
}

std::string format(double value, int decimals, bool grouped, const char* suffix) {
    if (std::isnan(value)) return "n/a";
    if (std::isinf(value)) return value > 0 ? "\u221e" : "-\u221e";
    Rounded r = round_decimal(value, decimals);
    std::string out;
    if (value < 0 && !r.zero) out.push_back('-');
    out += grouped ? group_thousands(r.integer) : r.integer;
    if (decimals > 0) {
        out.push_back('.');
        out += r.fraction;
    }
    out += suffix;
    return out;
}

}  // namespace

std::string format_grouped0(double value) { return format(value, 0, true, ""); }
std::string format_grouped2(double value) { return format(value, 2, true, ""); }
std::string format_percent2(double fraction) { return format(fraction * 100.0, 2, false, "%"); }
std::string format_percent1(double fraction) { return format(fraction * 100.0, 1, false, "%"); }
std::string format_plain2(double value) { return format(value, 2, false, ""); }

std::string fixed_text(double value, int decimals) {
    if (!std::isfinite(value)) return std::isnan(value) ? "nan" : value > 0 ? "inf" : "-inf";
    // The widest double in fixed notation: 309 integer digits and the decimals.
    std::string text(330 + static_cast<size_t>(std::max(decimals, 0)), '\0');
    const auto r = std::to_chars(text.data(), text.data() + text.size(), value,
                                 std::chars_format::fixed, std::max(decimals, 0));
    text.resize(static_cast<size_t>(r.ptr - text.data()));
    return text;
}

std::string c_format(const char* format, double value) {
    // One "C" locale object for the process, made in the thread that first
    // needs it; uselocale switches the calling thread only.
    static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const locale_t previous = ::uselocale(c_locale);
    char buf[512];
    const int n = std::snprintf(buf, sizeof buf, format, value);
    ::uselocale(previous);
    if (n < 0) return {};
    return std::string(buf, static_cast<size_t>(std::min<int>(n, sizeof buf - 1)));
}

std::string str_form(double value) {
    if (!std::isfinite(value)) return format(value, 0, false, "");
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string text(buf, r.ptr);
    if (text == "-0") text = "0";
    return value >= 0 || text == "0" ? " " + text : text;
}

namespace {

// Reads the integer part from s[i]: digits, with commas only between
// complete groups of three. False when the commas are misplaced.
bool read_grouped_integer(const std::string& s, size_t& i, std::string& integer) {
    int group = -1;  // digits since the last comma, -1 before any comma
    for (; i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == ','); ++i) {
        if (s[i] != ',') {
            integer.push_back(s[i]);
            if (group != -1) ++group;
            continue;
        }
        // The first group has one to three digits, every later one three.
        if (group == -1 ? (integer.empty() || integer.size() > 3) : group != 3) return false;
        // "0,123" or "00,500": a decimal comma meant, not a thousands one.
        if (group == -1 && integer.find_first_not_of('0') == std::string::npos) return false;
        group = 0;
    }
    return group == -1 || group == 3;
}

}  // namespace

std::optional<double> parse_amount(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::nullopt;
    size_t end = text.find_last_not_of(" \t") + 1;
    std::string s = text.substr(begin, end - begin);

    std::string plain;  // sign, digits and at most one '.', commas removed
    size_t i = 0;
    if (s[i] == '+' || s[i] == '-') plain.push_back(s[i++]);
    std::string integer;
    if (!read_grouped_integer(s, i, integer)) return std::nullopt;
    std::string fraction;
    bool has_point = false;
    if (i < s.size() && s[i] == '.') {
        has_point = true;
        for (++i; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i)
            fraction.push_back(s[i]);
    }
    if (i != s.size() || (integer.empty() && fraction.empty())) return std::nullopt;
    plain += integer.empty() ? "0" : integer;
    if (has_point) {
        // Appended piece by piece: `"." + string` trips a false -Wrestrict of
        // GCC 12 at -O3.
        plain.push_back('.');
        plain += fraction.empty() ? std::string("0") : fraction;
    }
    // from_chars reads the point whatever the process locale; it takes no '+'.
    const char* first = plain.data() + (plain[0] == '+' ? 1 : 0);
    double v = 0;
    const auto [end_of_number, ec] = std::from_chars(first, plain.data() + plain.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Too small to tell from zero reads as zero; too large is no amount.
        if (integer.find_first_not_of('0') != std::string::npos) return std::nullopt;
        return 0.0;
    }
    if (ec != std::errc() || end_of_number != plain.data() + plain.size() || !std::isfinite(v))
        return std::nullopt;
    return v == 0.0 ? 0.0 : v;
}

std::optional<double> parse_money(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::nullopt;
    std::string rest = text.substr(begin);
    std::string sign;
    if (rest[0] == '+' || rest[0] == '-') {
        sign = rest.substr(0, 1);
        rest.erase(0, 1);
    }
    if (!rest.empty() && rest[0] == '$') {
        rest.erase(0, 1);
        // "$40,000" and "-$5"; "$ 40,000" and "$-5" are no amounts.
        if (rest.empty() || !(std::isdigit(static_cast<unsigned char>(rest[0])) || rest[0] == '.'))
            return std::nullopt;
    }
    return parse_amount(sign + rest);
}

}  // namespace quorrel
