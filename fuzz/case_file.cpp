// A case document of any bytes: parse_case answers with inputs or one line
// of message, never a crash, a hang or a throw. A document it accepts is
// written again and read back to the same inputs and name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/case_file.h"
#include "analysis/input_catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const quorrel::CaseReadResult read = quorrel::parse_case(text);
    if (!read.ok()) {
        if (read.error.find('\n') != std::string::npos || !read.values.empty())
            __builtin_trap();
        return 0;
    }
    if (read.values.size() != quorrel::input_catalogue().size()) __builtin_trap();
    const quorrel::CaseReadResult again =
        quorrel::parse_case(quorrel::case_text(read.values, read.name));
    if (!again.ok() || again.values != read.values) __builtin_trap();
    // An empty name is not written, so it reads back empty.
    if (again.name != read.name) __builtin_trap();
    return 0;
}
