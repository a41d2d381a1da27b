#include "record/message_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quorrel {
namespace {

struct ExcerptCase {
    std::string text;
    std::size_t max;
    std::string shown;
};

class Excerpt : public ::testing::TestWithParam<ExcerptCase> {};

TEST_P(Excerpt, OneLinePrintableAndShort) {
    EXPECT_EQ(printable_excerpt(GetParam().text, GetParam().max), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Excerpt,
    ::testing::Values(ExcerptCase{"65", 60, "65"}, ExcerptCase{"6\n5", 60, "6\\n5"},
                      ExcerptCase{"a\r\tb", 60, "a\\r\\tb"},
                      ExcerptCase{"\x1b[31mred", 60, "\\x1B[31mred"},
                      ExcerptCase{std::string("a\0b", 3), 60, "a\\x00b"},
                      ExcerptCase{"x\x7f", 60, "x\\x7F"}, ExcerptCase{"abcdefgh", 8, "abcdefgh"},
                      ExcerptCase{"abcdefghi", 8, "abcdefgh... (9 characters)"},
                      ExcerptCase{std::string(100000, '9'), 5, "99999... (100000 characters)"},
                      // A character of several bytes counts once and is never cut.
                      ExcerptCase{"\xc3\xa9\xc3\xa9\xc3\xa9", 2,
                                  "\xc3\xa9\xc3\xa9... (3 characters)"},
                      ExcerptCase{"", 60, ""}));

}  // namespace
}  // namespace quorrel
