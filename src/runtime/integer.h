// Conversion of decimal and hexadecimal text to a signed 32-bit integer.
#pragma once

#include <cstdint>
#include <string_view>

namespace clockcast::runtime {

struct ParseResult {
  std::int32_t value = 0;
  // 0 on success; otherwise the 1-based position at which the parse failed
  // (one past the end for a text that ended too early).
  std::int32_t errorPosition = 0;
};

// Grammar: leading blanks (space only); then "-" or "+" and decimal digits,
// or "$", "x", "X", "0x", "0X" and one to eight significant hexadecimal
// digits, or decimal digits; nothing may follow the digits.
ParseResult ParseInteger(std::string_view text);

// Raises EConvertError "'<text>' is not a valid integer value" on failure.
std::int32_t TextToInt(std::string_view text);
std::int32_t TextToIntDefault(std::string_view text, std::int32_t fallback);

}  // namespace clockcast::runtime
