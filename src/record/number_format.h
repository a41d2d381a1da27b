// Number formats shared by every screen and the report. All round half away
// from zero on the value as displayed to 15 significant digits (so 0.125
// shows as 0.13 and 1.005 as 1.01), with a minus sign for negatives and never
// a "-0".
#pragma once

#include <optional>
#include <string>

namespace quorrel {

// "##,##0": whole number, thousands grouped with commas.
std::string format_grouped0(double value);
// "##,##0.00": two decimals, thousands grouped.
std::string format_grouped2(double value);
// "0.00%": the fraction as a percentage with two decimals.
std::string format_percent2(double fraction);
// "0.0%": the fraction as a percentage with one decimal.
std::string format_percent1(double fraction);
// "###0.00": two decimals, no grouping.
std::string format_plain2(double value);
// Str form: shortest text of the number, with one leading blank when it is
// not negative (" 65", "-3", " 1.5").
std::string str_form(double value);

// "%.*f" of the value as in the "C" locale, whatever the process locale:
// fixed_text(2.5, 2) is "2.50" under every locale.
std::string fixed_text(double value, int decimals);
// One printf-style conversion of a double (with any text around it, such as
// " +-%.3f" or "%g%%") as in the "C" locale, whatever the process locale.
std::string c_format(const char* format, double value);

// Parses an amount as a person types it: blanks around, an optional sign,
// digits with optional comma thousands separators in the integer part and an
// optional decimal part. Anything else (letters, "nan", "inf", hexadecimal,
// exponents, misplaced separators) gives nullopt.
// A first group of zeros followed by another group ("0,123") is refused: a
// decimal comma was meant.
std::optional<double> parse_amount(const std::string& text);

// A money amount: as parse_amount, with an optional "$" before the digits
// ("$40,000", "-$5").
std::optional<double> parse_money(const std::string& text);

}  // namespace quorrel
