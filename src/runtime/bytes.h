// Comparing, searching and case-folding byte texts with plain loops.
//
// The standard library's == and find on strings call memcmp and memchr.
// The program is linked with BIND_NOW, so the dynamic linker looks up every
// imported symbol at every start, called or not, at 650 to 900
// instructions each: more than all the comparisons of a run cost. The program's texts
// are compared and searched here instead, and bench/run checks the
// program's imports against bench/imports, so that a new one is noticed.
// Header-only: the platform layer uses it too.
#pragma once

#include <cstddef>
#include <string_view>

namespace clockcast::runtime {

// The byte with A to Z made a to z; every other byte unchanged.
constexpr char AsciiLowerByte(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Whether a and b hold the same bytes.
constexpr bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Whether a and b hold the same bytes once A to Z are made a to z in both.
constexpr bool SameBytesIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLowerByte(a[i]) != AsciiLowerByte(b[i])) return false;
  }
  return true;
}

// Whether the zero-terminated `text` begins with the bytes of `prefix`,
// which holds no zero byte; nothing past the text's end is read.
constexpr bool StartsWithBytes(const char* text, std::string_view prefix) {
  for (const char b : prefix) {
    if (*text != b) return false;
    ++text;
  }
  return true;
}

// The position of the first byte from `from` on that is one of `bytes`; the
// size of the text when there is none.
constexpr std::size_t FindAnyOf(std::string_view text, std::size_t from, std::string_view bytes) {
  for (std::size_t i = from; i < text.size(); ++i) {
    for (const char b : bytes) {
      if (text[i] == b) return i;
    }
  }
  return text.size();
}

}  // namespace clockcast::runtime
