// The quoting rule of the date-time format language, for the code that
// reads formats (the format engine) and the code that writes them from other
// notations (the POSIX translation of strftime formats, the locale table
// generator's translation of CLDR patterns). Header-only, so that the
// writers need no more of the program than this.
#pragma once

#include <string>
#include <string_view>

namespace clockcast::datetime {

// Whether `c` opens a quoted literal. The literal runs to the next byte
// equal to the one that opened it, or to the end of the format, and its
// bytes stand as written.
constexpr bool IsFormatQuote(char c) {
  return c == '\'' || c == '"';
}

// Whether the format language reads `c`, outside quotes, as something other
// than itself: the ASCII letters (specifiers, and the letters that end an
// hour's hold on a following m), the quotes, and the date and time
// separators, which render the locale's.
constexpr bool IsFormatSpecial(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsFormatQuote(c) || c == '/' ||
         c == ':';
}

// A format being written piece by piece.
struct FormatText {
  std::string text;
  char quote = 0;  // the quote of the literal being written, 0 outside one
};

// Ends the literal being written, if any.
inline void CloseLiteral(FormatText& out) {
  if (out.quote != 0) out.text += out.quote;
  out.quote = 0;
}

// Appends a specifier such as "dd". Written right after a run of its own
// letter it would lengthen that run, so an empty literal goes between.
inline void AppendSpecifier(FormatText& out, std::string_view specifier) {
  CloseLiteral(out);
  if (!out.text.empty() && out.text.back() == specifier.front()) out.text += "\"\"";
  out.text += specifier;
}

// Appends one character of literal text, inside quotes when `quoted`.
// A quote byte is quoted with the other quote.
inline void AppendLiteral(FormatText& out, std::string_view character, bool quoted) {
  if (!quoted) {
    CloseLiteral(out);
  } else {
    const char c = character.front();
    if (out.quote == c) CloseLiteral(out);
    if (out.quote == 0) {
      out.quote = c == '"' ? '\'' : '"';
      out.text += out.quote;
    }
  }
  out.text += character;
}

}  // namespace clockcast::datetime
