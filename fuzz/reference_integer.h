// An independent reading of the integer grammar, written for the fuzz
// targets as plainly as it can be said: the text is matched against the
// whole grammar first, and only a text that matches has its value computed,
// in 64-bit arithmetic with no overflow to watch for.
//
//   text    = blank* (sign decimal | hexmark hex | decimal)
//   sign    = "-" | "+"
//   hexmark = "$" | "x" | "X" | "0x" | "0X"
//   blank   = the space byte only
//
// A decimal number is accepted when its value lies in the signed 32-bit
// range; a hexadecimal one when it is below 2^32 (leading zeros are free),
// read as two's complement.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace clockcast::fuzzing {

inline std::optional<std::int32_t> ReferenceParse(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string_view rest = text.substr(i);
  if (rest.empty()) return std::nullopt;

  bool hex = false;
  bool negative = false;
  if (rest[0] == '-' || rest[0] == '+') {
    negative = rest[0] == '-';
    rest.remove_prefix(1);
  } else if (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X') {
    hex = true;
    rest.remove_prefix(1);
  } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    hex = true;
    rest.remove_prefix(2);
  }
  if (rest.empty()) return std::nullopt;

  // Leading zeros carry no value; what is left must stay short enough for
  // 64-bit arithmetic to hold it exactly.
  std::size_t first = 0;
  while (first + 1 < rest.size() && rest[first] == '0') ++first;
  for (char c : rest) {
    const bool decimalDigit = c >= '0' && c <= '9';
    const bool hexLetter = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!decimalDigit && !(hex && hexLetter)) return std::nullopt;
  }
  const std::string_view significant = rest.substr(first);
  if (significant.size() > 12) return std::nullopt;  // far outside either range
  std::int64_t value = 0;
  for (char c : significant) {
    int digit = c - '0';
    if (c >= 'a') {
      digit = c - 'a' + 10;
    } else if (c >= 'A') {
      digit = c - 'A' + 10;
    }
    value = value * (hex ? 16 : 10) + digit;
  }
  if (hex) {
    if (value > 0xFFFFFFFFLL) return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace clockcast::fuzzing
