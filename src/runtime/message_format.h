// The message formatter of the failure texts: %s inserts a text byte for
// byte, %d a signed decimal, %x unsigned hexadecimal without leading zeros,
// %p exactly eight hexadecimal digits. Conversion letters may be written in
// either case. Argument texts are inserted verbatim and never read as a
// format, so text from the user cannot act on the formatter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace clockcast::runtime {

struct FormatArg {
  enum class Kind : std::uint8_t { kText, kInteger, kAddress };
  Kind kind;
  std::string_view text;
  std::int64_t number;

  FormatArg(std::string_view t) : kind(Kind::kText), text(t), number(0) {}  // NOLINT
  FormatArg(const char* t) : FormatArg(std::string_view(t)) {}              // NOLINT
  FormatArg(std::int32_t n) : kind(Kind::kInteger), number(n) {}            // NOLINT
  static FormatArg Address(std::uint32_t a) {
    FormatArg arg(static_cast<std::int32_t>(0));
    arg.kind = Kind::kAddress;
    arg.number = a;
    return arg;
  }
};

// Formats into a fixed area: at most capacity bytes are written, the rest is
// dropped. Returns the count written. Allocates nothing.
std::size_t FormatInto(char* out, std::size_t capacity, std::string_view format,
                       std::initializer_list<FormatArg> args);
// Formats into a new text of whatever length the arguments need.
std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args);

}  // namespace clockcast::runtime
