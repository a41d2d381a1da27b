#include "record/message_text.h"

#include <cstdio>

namespace quorrel {
namespace {

bool continuation_byte(unsigned char c) { return (c & 0xC0) == 0x80; }

void append_escaped(std::string& out, unsigned char c) {
    switch (c) {
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\t': out += "\\t"; return;
        default: break;
    }
    if (c < 0x20 || c == 0x7F) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(c));
        out += buf;
    } else {
        out += static_cast<char>(c);
    }
}

}  // namespace

std::string printable_excerpt(std::string_view text, std::size_t max_chars) {
    // Characters, not bytes: a UTF-8 sequence counts once and is never split.
    std::size_t chars = 0;
    for (unsigned char c : text) chars += continuation_byte(c) ? 0 : 1;

    std::string out;
    std::size_t taken = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!continuation_byte(c)) {
            if (chars > max_chars && taken == max_chars) break;
            ++taken;
        }
        append_escaped(out, c);
    }
    if (chars > max_chars) out += "... (" + std::to_string(chars) + " characters)";
    return out;
}

}  // namespace quorrel
