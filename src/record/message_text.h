// Values quoted in a message: always one line a terminal shows as it is.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorrel {

// `text` with control characters written as escapes (\n, \r, \t, \xHH) and,
// when it holds more than `max_chars` characters, cut there with "..." and
// its full length.
std::string printable_excerpt(std::string_view text, std::size_t max_chars = 60);

}  // namespace quorrel
