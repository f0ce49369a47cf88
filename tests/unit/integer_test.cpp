// Integer text conversion: the grammar's edges and its limits. The failure message, with
// the text quoted verbatim, is the integer fuzz target's check on every input.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "runtime/integer.h"

namespace clockcast::runtime {
namespace {

using namespace std::string_view_literals;

TEST(Integer, Grammar) {
  constexpr std::int32_t kMin = -2147483647 - 1, kMax = 2147483647;
  struct Row {
    std::string_view text;
    std::int32_t value;
  };
  // Leading zeros never count against the limit.
  const std::initializer_list<Row> small = {
      {"42", 42},  {"  42", 42}, {"+7", 7},   {"-7", -7},   {"-0", 0},     {"0", 0},     {"007", 7},
      {"$1F", 31}, {"x1F", 31},  {"X1f", 31}, {"0x1F", 31}, {"0Xaf", 175}, {"  $10", 16}};
  const std::initializer_list<Row> large = {{"2147483647", kMax},
                                            {"-2147483648", kMin},
                                            {"2147483640", 2147483640},
                                            {"$7FFFFFFF", kMax},
                                            {"$80000000", kMin},
                                            {"$ffffffff", -1},
                                            {"000000000002147483647", kMax},
                                            {"$00000000000FFFFFFFF", -1}};
  for (const auto& rows : {small, large}) {
    for (const Row& row : rows) {
      const ParseResult r = ParseInteger(row.text);
      EXPECT_EQ(r.errorPosition, 0) << row.text;
      EXPECT_EQ(r.value, row.value) << row.text;
      EXPECT_EQ(TextToIntDefault(row.text, 5), row.value) << row.text;
    }
  }
  const std::string_view rejected[] = {
      "", "   ", "-", "+", "--1", "+-1", "- 5", "42 ", "\t42", "1-2", "12a", "/", ":", "1\0"sv,
      "\xB2", "1.0",
      // Decimal limits, also where 32-bit accumulation would wrap (2^32, 2^36).
      "2147483648", "-2147483649", "4294967296", "68719476736", "-68719476736",
      // Hexadecimal: a prefix without digits, a wrong digit, a sign, nine digits.
      "$", "x", "0x", "$ 1", "$-1", "$+1", "$1G", "$@", "$`", "$/", "$:", "$G", "$g", "00x1", "0 ",
      "0a", "-$10", "+0x10", "-x10", "$100000000", "0x123456789", "$1000000000"};
  for (const std::string_view text : rejected) {
    EXPECT_NE(ParseInteger(text).errorPosition, 0) << ::testing::PrintToString(std::string(text));
    EXPECT_EQ(TextToIntDefault(text, 5), 5);
  }
}

}  // namespace
}  // namespace clockcast::runtime
