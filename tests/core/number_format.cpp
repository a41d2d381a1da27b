#include "record/number_format.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace quorrel {
namespace {

TEST(NumberFormat, RoundsHalfAwayFromZero) {
    EXPECT_EQ(format_plain2(0.125), "0.13");
    EXPECT_EQ(format_plain2(-0.125), "-0.13");
    EXPECT_EQ(format_plain2(1.005), "1.01");
    EXPECT_EQ(format_plain2(2.675), "2.68");
    EXPECT_EQ(format_grouped0(2.5), "3");
    EXPECT_EQ(format_grouped0(-2.5), "-3");
    EXPECT_EQ(format_grouped0(0.5), "1");
    EXPECT_EQ(format_grouped0(0.49), "0");
    EXPECT_EQ(format_grouped0(999.5), "1,000");
    EXPECT_EQ(format_plain2(9.995), "10.00");
    EXPECT_EQ(format_plain2(0.005), "0.01");
    EXPECT_EQ(format_plain2(0.0049), "0.00");
}

TEST(NumberFormat, NeverShowsNegativeZero) {
    EXPECT_EQ(format_grouped0(-0.4), "0");
    EXPECT_EQ(format_grouped0(-0.0), "0");
    EXPECT_EQ(format_plain2(-0.004), "0.00");
    EXPECT_EQ(format_percent1(-0.00001), "0.0%");
    EXPECT_EQ(format_grouped2(-1e-300), "0.00");
    EXPECT_EQ(str_form(-0.0), " 0");
}

TEST(NumberFormat, GroupsThousands) {
    EXPECT_EQ(format_grouped0(0), "0");
    EXPECT_EQ(format_grouped0(999), "999");
    EXPECT_EQ(format_grouped0(1000), "1,000");
    EXPECT_EQ(format_grouped0(800000), "800,000");
    EXPECT_EQ(format_grouped0(1234567.5), "1,234,568");
    EXPECT_EQ(format_grouped0(-1234567), "-1,234,567");
    EXPECT_EQ(format_grouped2(1234.565), "1,234.57");
    EXPECT_EQ(format_grouped2(-40000), "-40,000.00");
    EXPECT_EQ(format_grouped0(1e15), "1,000,000,000,000,000");
    // Plain format: no grouping, at least one integer digit.
    EXPECT_EQ(format_plain2(0), "0.00");
    EXPECT_EQ(format_plain2(12345.6), "12345.60");
    EXPECT_EQ(format_plain2(0.05), "0.05");
}

TEST(NumberFormat, Percentages) {
    EXPECT_EQ(format_percent1(0.123), "12.3%");
    EXPECT_EQ(format_percent1(0.0), "0.0%");
    EXPECT_EQ(format_percent1(1.0), "100.0%");
    EXPECT_EQ(format_percent1(0.00049), "0.0%");
    EXPECT_EQ(format_percent1(0.00051), "0.1%");
    EXPECT_EQ(format_percent2(0.05), "5.00%");
    EXPECT_EQ(format_percent2(0.0525), "5.25%");
    EXPECT_EQ(format_percent2(0.020000000000000004), "2.00%");
    EXPECT_EQ(format_percent2(-0.01), "-1.00%");
    EXPECT_EQ(format_percent2(0.123456), "12.35%");
}

TEST(NumberFormat, StrForm) {
    EXPECT_EQ(str_form(65), " 65");
    EXPECT_EQ(str_form(10), " 10");
    EXPECT_EQ(str_form(0), " 0");
    EXPECT_EQ(str_form(-3), "-3");
    EXPECT_EQ(str_form(1.5), " 1.5");
}

TEST(NumberFormat, NonFiniteValuesDoNotCrash) {
    EXPECT_FALSE(format_grouped0(std::numeric_limits<double>::quiet_NaN()).empty());
    EXPECT_FALSE(format_percent1(std::numeric_limits<double>::infinity()).empty());
    EXPECT_FALSE(str_form(-std::numeric_limits<double>::infinity()).empty());
}

TEST(ParseAmount, AcceptsWhatAPersonTypes) {
    EXPECT_EQ(parse_amount("800,000"), 800000.0);
    EXPECT_EQ(parse_amount("800000"), 800000.0);
    EXPECT_EQ(parse_amount(" 1234.56 "), 1234.56);
    EXPECT_EQ(parse_amount("1,234,567.5"), 1234567.5);
    EXPECT_EQ(parse_amount("-5"), -5.0);  // the screen refuses it, the parser reads it
    EXPECT_EQ(parse_amount("+7"), 7.0);
    EXPECT_EQ(parse_amount("0"), 0.0);
    EXPECT_EQ(parse_amount(".5"), 0.5);
    EXPECT_EQ(parse_amount("5."), 5.0);
    EXPECT_EQ(parse_amount("\t40,000\t"), 40000.0);
    const auto minus_zero = parse_amount("-0");
    ASSERT_TRUE(minus_zero.has_value());
    EXPECT_FALSE(std::signbit(*minus_zero));
}

TEST(ParseAmount, RejectsEverythingElse) {
    for (const char* text :
         {"abc", "",    "   ",  "nan",   "NaN",  "inf",  "-inf",   "infinity", "0x10",
          "1e5", "1E5", "1,00", "1.2.3", ",100", "100,", "1,,000", "1000,000", "1,0000",
          ".",   "-",   "+",    "- 5",   "5 5",  "12a",  "$100",   "1.000,5",  "1,000.5.0"}) {
        EXPECT_FALSE(parse_amount(text).has_value()) << '"' << text << '"';
    }
    // Too large to be a finite double.
    EXPECT_FALSE(parse_amount("1" + std::string(400, '0')).has_value());
}

// A money amount as typed into an amount box and what the box then shows
// ("##,##0" of the stored value); an empty `shown` means the text is refused.
struct TypedAmount {
    const char* typed;
    const char* shown;
};

class MoneyText : public ::testing::TestWithParam<TypedAmount> {};

TEST_P(MoneyText, ReadAndShownAgain) {
    const TypedAmount& c = GetParam();
    const auto v = parse_money(c.typed);
    if (*c.shown == '\0') {
        EXPECT_FALSE(v.has_value()) << '"' << c.typed << '"';
    } else {
        ASSERT_TRUE(v.has_value()) << '"' << c.typed << '"';
        EXPECT_EQ(format_grouped0(*v), c.shown) << '"' << c.typed << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(Typed, MoneyText,
                         ::testing::Values(
                             // A leading dollar sign, after the sign if any.
                             TypedAmount{"$40,000", "40,000"}, TypedAmount{" $800000 ", "800,000"},
                             TypedAmount{"-$5", "-5"}, TypedAmount{"$.5", "1"},
                             TypedAmount{"$ 40", ""}, TypedAmount{"$$5", ""},
                             TypedAmount{"40$", ""}, TypedAmount{"$", ""}, TypedAmount{"$-5", ""},
                             TypedAmount{"5$5", ""},
                             // A first group of zeros before another group meant a decimal comma.
                             TypedAmount{"0,123", ""}, TypedAmount{"00,500", ""},
                             TypedAmount{"0,000", ""}, TypedAmount{"000,001,000", ""},
                             TypedAmount{"$0,500", ""}, TypedAmount{"0.123", "0"},
                             TypedAmount{"10,500", "10,500"}, TypedAmount{"0", "0"},
                             // Sixteen digits and more: the digits of the stored double.
                             TypedAmount{"1,234,567,890,123,456", "1,234,567,890,123,456"},
                             TypedAmount{"12,345,678,901,234,567", "12,345,678,901,234,568"},
                             TypedAmount{"9007199254740993", "9,007,199,254,740,992"},
                             TypedAmount{"1000000000000000.5", "1,000,000,000,000,001"},
                             TypedAmount{"999,999,999,999,999.5", "1,000,000,000,000,000"},
                             TypedAmount{"-1,234,567,890,123,456", "-1,234,567,890,123,456"},
                             TypedAmount{"100000000000000000000", "100,000,000,000,000,000,000"}));

TEST(NumberFormat, LongNumbersKeepTheirDecimals) {
    EXPECT_EQ(format_grouped2(1234567890123456.25), "1,234,567,890,123,456.25");
    EXPECT_EQ(format_plain2(-1000000000000000.125), "-1000000000000000.13");
}

}  // namespace
}  // namespace quorrel
