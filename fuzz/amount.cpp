// An amount as a person types it: parse_amount and parse_money answer with a
// finite number or nothing. What they accept, formatted with two decimals and
// read again, comes back within the rounding of the format.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "record/number_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto amount = quorrel::parse_amount(text);
    const auto money = quorrel::parse_money(text);
    if (amount && !std::isfinite(*amount)) __builtin_trap();
    if (money && !std::isfinite(*money)) __builtin_trap();
    // Without a dollar sign the two readings agree.
    if (text.find('$') == std::string::npos && amount != money) __builtin_trap();
    for (const auto& v : {amount, money}) {
        if (!v) continue;
        (void)quorrel::str_form(*v);
        (void)quorrel::format_percent2(*v);
        const std::string shown = quorrel::format_grouped2(*v);
        const auto back = quorrel::parse_amount(shown);
        if (!back) __builtin_trap();
        // Fifteen significant digits, then two decimals.
        if (std::fabs(*back - *v) > 0.0051 + std::fabs(*v) * 1e-14) __builtin_trap();
    }
    return 0;
}
