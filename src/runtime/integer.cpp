#include "runtime/integer.h"

#include "runtime/failures.h"

namespace clockcast::runtime {

namespace {

int HexDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

ParseResult ParseInteger(std::string_view text) {
  const std::size_t n = text.size();
  // Failure at the 1-based position of byte i.
  auto fail = [](std::size_t i) { return ParseResult{0, static_cast<std::int32_t>(i + 1)}; };
  if (n == 0) return fail(0);

  std::size_t i = 0;
  while (i < n && text[i] == ' ') ++i;
  if (i == n) return fail(i);

  bool negative = false;
  bool hex = false;
  switch (text[i]) {
    case '-': negative = true; [[fallthrough]];
    case '+':
      ++i;
      if (i == n) return fail(i);
      break;
    case '$':
    case 'x':
    case 'X':
      hex = true;
      ++i;
      break;
    case '0':
      if (i + 1 == n) return ParseResult{0, 0};
      if (text[i + 1] == 'x' || text[i + 1] == 'X') {
        hex = true;
        i += 2;
      }
      break;
    default: break;
  }

  std::uint32_t value = 0;
  if (hex) {
    if (i == n) return fail(i);
    for (; i < n; ++i) {
      const int digit = HexDigitValue(static_cast<unsigned char>(text[i]));
      if (digit < 0 || value > 0x0FFFFFFFu) return fail(i);
      value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return ParseResult{static_cast<std::int32_t>(value), 0};
  }

  for (; i < n; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < '0' || c > '9' || value > 214748364u) return fail(i);
    value = value * 10 + (c - '0');
  }
  if (negative) {
    if (value > 2147483648u) return fail(n);
    return ParseResult{static_cast<std::int32_t>(0u - value), 0};
  }
  if (value > 2147483647u) return fail(n);
  return ParseResult{static_cast<std::int32_t>(value), 0};
}

std::int32_t TextToInt(std::string_view text) {
  const ParseResult r = ParseInteger(text);
  if (r.errorPosition != 0) RaiseConvertError(MessageId::kInvalidInteger, text);
  return r.value;
}

std::int32_t TextToIntDefault(std::string_view text, std::int32_t fallback) {
  const ParseResult r = ParseInteger(text);
  return r.errorPosition == 0 ? r.value : fallback;
}

}  // namespace clockcast::runtime
