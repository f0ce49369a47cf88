// The command-line splitter and the text operations that match parameters.
// interpreter_test.cpp checks the parameter list itself.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/parameters.h"
#include "fake_platform.h"

namespace clockcast::cli {
namespace {

using testing::Fake;
using Parts = std::vector<std::string>;

// Every token of a command line, the program-name token first.
Parts Split(const std::string& line) {
  Parts parts;
  for (NextParamResult r = NextParam(line.c_str()); !r.parameter.empty(); r = NextParam(r.next)) {
    parts.push_back(r.parameter);
    if (parts.size() > line.size()) break;  // a splitter that never ends
  }
  return parts;
}

TEST(Splitter, Rules) {
  const struct {
    bool leadByte81;
    std::string line;
    Parts parts;
  } rows[] = {
      {false, "", {}},
      {false, "  prog   a    b  ", {"prog", "a", "b"}},
      // Bytes 1 to 32 separate, 127 does not; 128 to 255 are kept.
      {false, "prog\ta\1b\37c\r\nd\177e", {"prog", "a", "b", "c", "d\177e"}},
      {false, "prog \x80\xC4\xFF x\xA0y", {"prog", "\x80\xC4\xFF", "x\xA0y"}},
      // Quoted stretches anywhere, adjacent ones joining, quotes removed.
      {false, "prog p\"q r\"s", {"prog", "pq rs"}},
      {false, "prog \"a b\"c\"d e\"f \"x\"\"y\"", {"prog", "a bcd ef", "xy"}},
      {false, "\"C:\\Program Files\\cc.exe\" a", {"C:\\Program Files\\cc.exe", "a"}},
      // An unclosed quote runs to the end; a lone one ends the list.
      {false, "prog a \"b  c  ", {"prog", "a", "b  c  "}},
      {false, "prog a \"", {"prog", "a"}},
      // Empty quote pairs: skipped before a parameter, nothing inside one.
      {false, "prog \"\" a \"\"\"\"b", {"prog", "a", "b"}},
      {false, "prog \"\" \"\"  \"\"", {"prog"}},
      {false, "prog a\"\"b \"\"\"c\"", {"prog", "ab", "c"}},
      // No escape character.
      {false, "prog a\\\"b c\" \\", {"prog", "a\\b c", "\\"}},
      {false,
       "Clockcast \"Date:dd\" th \" of\" \"date: mmmm, yyyy\"",
       {"Clockcast", "Date:dd", "th", " of", "date: mmmm, yyyy"}},
      // A trail byte equal to a quote or a blank is part of its character.
      {true, "prog \x81\" x", {"prog", "\x81\"", "x"}},
      {true, "prog \"\x81\" x\" y", {"prog", "\x81\" x", "y"}},
      {true, "prog \x81 b c \x81", {"prog", "\x81 b", "c", "\x81"}},
      {false, "prog \x81\" x", {"prog", "\x81 x"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.line));
    testing::ResetFake();
    if (row.leadByte81) Fake().leadBytes.set(0x81);
    EXPECT_EQ(Split(row.line), row.parts);
  }
  testing::ResetFake();
  const std::string open = "a \"bc";  // the end of an unclosed quote is the zero
  EXPECT_EQ(NextParam(NextParam(open.c_str()).next).next, open.c_str() + open.size());
}

TEST(TextOperations, LowerEqualAndCopyRange) {
  // Only A to Z are folded, not the bytes beside them nor those above 127;
  // the splitter fuzz target checks every byte.
  EXPECT_TRUE(AsciiLowerEquals("FORMATS", "formats") && AsciiLowerEquals("", "") &&
              AsciiLowerEquals("AZ@[`{\xC1", "az@[`{\xC1"));
  EXPECT_FALSE(AsciiLowerEquals("th ", "th") || AsciiLowerEquals("A", "") ||
               AsciiLowerEquals("@", "`") || AsciiLowerEquals("[", "{") ||
               AsciiLowerEquals("\xC1", "\xE1") || AsciiLowerEquals("a", "A") ||
               AsciiLowerEquals(std::string_view("a\0B", 3), std::string_view("a\0c", 3)));
  EXPECT_TRUE(TextsEqual("th", "th"));
  EXPECT_FALSE(TextsEqual("th", "TH") || TextsEqual("th", "th ") || TextsEqual("", "a"));
  EXPECT_FALSE(TextsEqual(std::string_view("a\0b", 3), std::string_view("a\0c", 3)));
  constexpr std::int32_t kMin = -2147483647 - 1, kMax = 2147483647;
  const struct {
    std::int32_t start, count;
    std::string_view result;  // of "abc"
  } rows[] = {
      {1, 3, "abc"},   {0, 2, "ab"},     {-5, 2, "ab"},  // a start below 1 reads as 1
      {2, 100, "bc"},  {3, 5, "c"},      {4, 1, ""},     // clamped to the end
      {2, -1, ""},     {2, 0, ""},       {1, kMin, ""},  // no negative count
      {kMin, 2, "ab"}, {kMax, kMax, ""}, {1, kMax, "abc"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CopyRange("abc", row.start, row.count), row.result) << row.start << " " << row.count;
  }
  EXPECT_EQ(CopyRange("", 1, 1), "");
  // Parameter 0 is the program's own file, whatever the command line says.
  EXPECT_EQ(ParameterAt(0), Fake().modulePath);
}

}  // namespace
}  // namespace clockcast::cli
