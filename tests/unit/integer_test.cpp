// Integer text conversion: the exact grammar, its limits and the conversion
// failure. Every expectation is worked out by hand from the grammar: blanks
// (space only) before the number, then a sign and decimal digits, or a
// hexadecimal prefix and hexadecimal digits, with nothing after the digits.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "runtime/failures.h"
#include "runtime/integer.h"

namespace clockcast::runtime {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

struct Accepted {
  std::string_view text;
  std::int32_t value;
};

// Texts written with std::string_view literals so that a zero byte can stand
// inside one.
using namespace std::string_view_literals;

constexpr Accepted kAccepted[] = {
    // Decimal.
    {"42", 42},
    {" 42", 42},
    {"  42", 42},
    {"+7", 7},
    {"-7", -7},
    {"  -5", -5},
    {"-0", 0},
    {"+0", 0},
    {"0", 0},
    {"  0", 0},
    {"00", 0},
    {"007", 7},
    {"10", 10},
    {"2147483647", kMax},
    {"+2147483647", kMax},
    {"-2147483647", -kMax},
    {"-2147483648", kMin},
    // Leading zeros never count against the limit.
    {"000000000002147483647", kMax},
    {"-000000000002147483648", kMin},
    // The last value whose accumulated part is still 214748364.
    {"2147483640", 2147483640},
    // Hexadecimal, with each prefix and both letter cases.
    {"$1F", 31},
    {"x1F", 31},
    {"X1f", 31},
    {"0x1F", 31},
    {"0X1F", 31},
    {"0x1f", 31},
    {"$abcdef", 0xABCDEF},
    {"$ABCDEF", 0xABCDEF},
    {"$0", 0},
    {"0x0", 0},
    {"  $10", 16},
    {"$7FFFFFFF", kMax},
    {"$80000000", kMin},
    {"$FFFFFFFF", -1},
    {"$ffffffff", -1},
    {"0xFFFFFFFE", -2},
    {"$000000001", 1},
    {"$00000000000000FFFFFFFF", -1},
    {"$0FFFFFFF", 0x0FFFFFFF},
};

TEST(ParseInteger, AcceptsTheGrammar) {
  for (const Accepted& row : kAccepted) {
    SCOPED_TRACE(std::string(row.text));
    const ParseResult result = ParseInteger(row.text);
    EXPECT_EQ(result.errorPosition, 0);
    EXPECT_EQ(result.value, row.value);
  }
}

constexpr std::string_view kRejected[] = {
    "",
    " ",
    "   ",
    "-",
    "+",
    "--1",
    "+-1",
    "-+1",
    "- 5",
    "+ 5",
    "42 ",
    "\t42",
    "\n42",
    "42\t",
    "1-2",
    "1 2",
    "1+2",
    "12a",
    "abc",
    "/",  // the bytes on either side of the digits
    ":",
    "1/",
    "1:",
    "1\0"sv,
    "\0001"sv,
    "\xB2",
    "1.0",
    "1e3",
    // Decimal limits.
    "2147483648",
    "+2147483648",
    "2147483649",
    "2147483650",
    "-2147483649",
    "-2147483650",
    "4294967295",
    "4294967296",
    "21474836470",
    "99999999999",
    "-99999999999",
    // Hexadecimal prefixes without digits, or with wrong digits.
    "$",
    "x",
    "X",
    "0x",
    "0X",
    "$ 1",
    "0x 1",
    "$-1",
    "0x-1",
    "$+1",
    "$1G",
    "$G",
    "$g",
    "$@",  // just before A
    "$`",  // just before a
    "$/",  // just before 0
    "$:",  // just after 9
    "$1F ",
    "00x1",
    "0 ",
    "0a",
    // No sign may stand before a hexadecimal prefix.
    "-$10",
    "+$10",
    "+0x10",
    "-0x10",
    "-x10",
    // Nine significant hexadecimal digits.
    "$100000000",
    "$FFFFFFFF0",
    "0x123456789",
};

TEST(ParseInteger, RejectsEverythingElse) {
  for (const std::string_view text : kRejected) {
    SCOPED_TRACE(::testing::PrintToString(std::string(text)));
    EXPECT_NE(ParseInteger(text).errorPosition, 0);
  }
}

TEST(ParseInteger, ElevenDigitNumberFailsWithoutWrapping) {
  // Unsigned 32-bit accumulation would wrap 68719476736 (2^36) to 0; the
  // limit test before each digit stops it first.
  EXPECT_NE(ParseInteger("68719476736").errorPosition, 0);
  EXPECT_NE(ParseInteger("-68719476736").errorPosition, 0);
  EXPECT_NE(ParseInteger("$1000000000").errorPosition, 0);
}

TEST(TextToInt, ReturnsTheValue) {
  EXPECT_EQ(TextToInt("-30"), -30);
  EXPECT_EQ(TextToInt("  17"), 17);
  EXPECT_EQ(TextToInt("$FFFFFFFF"), -1);
}

// The message of the conversion failure for a text.
std::string ConvertMessage(std::string_view text) {
  try {
    TextToInt(text);
  } catch (const EConvertError& failure) {
    EXPECT_EQ(failure.ClassName(), "EConvertError");
    return failure.Message();
  }
  ADD_FAILURE() << "no EConvertError for " << text;
  return {};
}

TEST(TextToInt, MessageQuotesTheTextVerbatim) {
  const struct {
    std::string_view text;
    std::string_view message;
  } rows[] = {
      {"abc", "'abc' is not a valid integer value"},
      {"", "'' is not a valid integer value"},
      {" 12 ", "' 12 ' is not a valid integer value"},
      {"1-2", "'1-2' is not a valid integer value"},
      {"-", "'-' is not a valid integer value"},
      {"2147483648", "'2147483648' is not a valid integer value"},
      // The text is an argument, never a format: its percent signs stay.
      {"%s%n%d", "'%s%n%d' is not a valid integer value"},
      {"%x%p%%", "'%x%p%%' is not a valid integer value"},
      {"'", "''' is not a valid integer value"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.text));
    EXPECT_EQ(ConvertMessage(row.text), row.message);
  }
}

TEST(TextToInt, MessageKeepsZeroBytesAndHighBytes) {
  const std::string text("1\0\xE9", 3);
  EXPECT_EQ(ConvertMessage(text), "'" + text + "' is not a valid integer value");
}

TEST(TextToInt, MessageHoldsALongTextWhole) {
  const std::string digits(1100, '7');
  EXPECT_EQ(ConvertMessage(digits), "'" + digits + "' is not a valid integer value");
}

TEST(TextToIntDefault, GivesTheDefaultOnlyOnFailure) {
  EXPECT_EQ(TextToIntDefault("12a", 5), 5);
  EXPECT_EQ(TextToIntDefault("-3", 5), -3);
  EXPECT_EQ(TextToIntDefault("", 5), 5);
  EXPECT_EQ(TextToIntDefault("0", 5), 0);
  EXPECT_EQ(TextToIntDefault("$FFFFFFFF", 5), -1);
  EXPECT_EQ(TextToIntDefault("2147483648", -9), -9);
  EXPECT_EQ(TextToIntDefault(" 1 ", 8), 8);
}

}  // namespace
}  // namespace clockcast::runtime
