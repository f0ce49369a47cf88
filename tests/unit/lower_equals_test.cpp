// AsciiLowerEquals against what it stands for: lowering a copy with
// AsciiLower and comparing it with TextsEqual.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "cli/parameters.h"

namespace clockcast::cli {
namespace {

TEST(AsciiLowerEquals, AgreesWithLoweringACopy) {
  // Every byte against its lower-case, upper-case and neighbouring forms,
  // one byte alone and inside a longer text.
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    for (int c = 0; c < 256; ++c) {
      const std::string other(1, static_cast<char>(c));
      if (other != AsciiLower(other)) continue;  // the word is written in lower case
      for (const auto& [text, word] :
           {std::pair(one, other), std::pair("da" + one + "e:", "da" + other + "e:")}) {
        EXPECT_EQ(AsciiLowerEquals(text, word), TextsEqual(AsciiLower(text), word))
            << b << " " << c;
      }
    }
  }
  const struct {
    std::string_view text, word;
  } rows[] = {{"", ""},
              {"", "a"},
              {"A", ""},
              {"TH", "th"},
              {"th ", "th"},
              {"FORMATS", "formats"},
              {std::string_view("a\0B", 3), std::string_view("a\0b", 3)}};
  for (const auto& row : rows) {
    EXPECT_EQ(AsciiLowerEquals(row.text, row.word), TextsEqual(AsciiLower(row.text), row.word))
        << row.text;
  }
}

}  // namespace
}  // namespace clockcast::cli
