// The command-line splitter, the parameter list and the three text
// operations that match parameters against command words.
//
// The parameter list is split once per process, on first use, and kept. So
// the cases for ParameterCount and ParameterAt each run in a fresh process
// of this test binary (a death test in the "threadsafe" style, which starts
// the binary anew and runs only the one case): there the fake is set before
// the first use. The splitter itself is tested directly through NextParam.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/parameters.h"
#include "fake_platform.h"

namespace clockcast::cli {
namespace {

using testing::Fake;
using testing::ResetFake;

// All parameters of a command line, the program-name token first, up to the
// first empty one.
std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> parts;
  const char* p = line.c_str();
  for (;;) {
    NextParamResult r = NextParam(p);
    if (r.parameter.empty()) break;
    parts.push_back(r.parameter);
    if (parts.size() > line.size() + 1) {
      ADD_FAILURE() << "no end to the split";
      break;
    }
    p = r.next;
  }
  return parts;
}

using Parts = std::vector<std::string>;

class Splitter : public ::testing::Test {
 protected:
  void SetUp() override { ResetFake(); }
  void TearDown() override { ResetFake(); }
};

TEST_F(Splitter, SplitsAtSeparatorsOutsideQuotes) {
  const struct {
    std::string line;
    Parts parts;
  } rows[] = {
      {"prog", {"prog"}},
      {"", {}},
      {"prog a b", {"prog", "a", "b"}},
      {"  prog   a    b  ", {"prog", "a", "b"}},
      // Every byte from 1 to 32 separates; 127 does not.
      {std::string("prog\ta\x01") + "b\x1F" + "c\x0D\x0A" + "d\x7F" + "e",
       {"prog", "a", "b", "c",
        "d\x7F"
        "e"}},
      {"prog\t\t\x02 \x1Fz", {"prog", "z"}},
      // Bytes 128 to 255 belong to the parameter.
      {"prog \x80\xC4\xFF x\xA0y", {"prog", "\x80\xC4\xFF", "x\xA0y"}},
      // Quoted stretches anywhere, quotes removed.
      {"prog p\"q r\"s", {"prog", "pq rs"}},
      {"prog \"a\"\"b\"", {"prog", "ab"}},
      {"prog \"a b\"c\"d e\"f", {"prog", "a bcd ef"}},
      {"prog \"\t x \"", {"prog", "\t x "}},
      // A quote left open takes the rest of the line, blanks included.
      {"prog a \"b  c  ", {"prog", "a", "b  c  "}},
      {"prog x\"y z", {"prog", "xy z"}},
      // Empty quote pairs before a parameter are passed over like
      // separators; inside one they add nothing.
      {"prog \"\" a", {"prog", "a"}},
      {"prog a \"\" b", {"prog", "a", "b"}},
      {"prog \"\"\"\"x", {"prog", "x"}},
      {"prog \"\" \"\"  \"\"", {"prog"}},
      {"prog a\"\"b", {"prog", "ab"}},
      {"prog \"\"\"a\"", {"prog", "a"}},
      // A lone quote at the end gives the empty parameter that ends the list.
      {"prog a \"", {"prog", "a"}},
      // No escape character: a backslash stays, the quote opens a stretch.
      {"prog a\\\"b c\"", {"prog", "a\\b c"}},
      {"prog \\\\ \\", {"prog", "\\\\", "\\"}},
      // A quoted program path is one token.
      {"\"C:\\Program Files\\clockcast.exe\" a", {"C:\\Program Files\\clockcast.exe", "a"}},
      // The example line of the usage screen.
      {"Clockcast \"Date:dd\" th \" of\" \"date: mmmm, yyyy\"",
       {"Clockcast", "Date:dd", "th", " of", "date: mmmm, yyyy"}},
      // One apostrophe, with or without quotes.
      {"prog \"'\" '", {"prog", "'", "'"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.line));
    EXPECT_EQ(Split(row.line), row.parts);
  }
}

TEST_F(Splitter, ReturnsThePositionWhereTheParameterEnds) {
  const std::string line = "prog  ab\"c d\"e\tnext";
  const char* start = line.c_str();
  NextParamResult r = NextParam(start);
  EXPECT_EQ(r.parameter, "prog");
  EXPECT_EQ(r.next - start, 4);
  r = NextParam(r.next);
  EXPECT_EQ(r.parameter, "abc de");
  EXPECT_EQ(r.next - start, 14);  // at the tab
  r = NextParam(r.next);
  EXPECT_EQ(r.parameter, "next");
  EXPECT_EQ(*r.next, '\0');
  // At the end it stays at the terminating zero.
  r = NextParam(r.next);
  EXPECT_EQ(r.parameter, "");
  EXPECT_EQ(*r.next, '\0');
}

TEST_F(Splitter, UnclosedQuoteEndsAtTheTerminatingZero) {
  const std::string line = "\"abc";
  const NextParamResult r = NextParam(line.c_str());
  EXPECT_EQ(r.parameter, "abc");
  EXPECT_EQ(r.next, line.c_str() + line.size());
}

TEST_F(Splitter, DoubleByteCharactersAreTakenWhole) {
  Fake().charNextLeadBytes = {0x81};
  const struct {
    std::string line;
    Parts parts;
  } rows[] = {
      // A trail byte equal to a quote neither opens nor closes a stretch.
      {"prog \x81\" x", {"prog", "\x81\"", "x"}},
      {"prog \"\x81\" x\" y", {"prog", "\x81\" x", "y"}},
      // A trail byte equal to a blank does not separate.
      {"prog \x81 b c", {"prog", "\x81 b", "c"}},
      // A lead byte just before the end is one byte.
      {"prog \x81", {"prog", "\x81"}},
      // Other high bytes are single characters.
      {"prog \x82\" x\"", {"prog", "\x82 x"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.line));
    EXPECT_EQ(Split(row.line), row.parts);
  }
}

TEST_F(Splitter, WithoutLeadBytesTheSameBytesSplitOneByOne) {
  EXPECT_EQ(Split("prog \x81\" x"), (Parts{"prog", "\x81 x"}));
  EXPECT_EQ(Split("prog \x81 b c"), (Parts{"prog", "\x81", "b", "c"}));
}

// --- ParameterCount and ParameterAt, one fresh process per case -------------------

// Ends the fresh process: 0 when the check found nothing wrong, else 1
// with the findings on standard error, where the death test shows them.
[[noreturn]] void ExitWith(const std::string& findings) {
  if (findings.empty()) std::_Exit(0);
  std::fputs(findings.c_str(), stderr);
  std::_Exit(1);
}

#define EXPECT_IN_FRESH_PROCESS(findings)                              \
  do {                                                                 \
    GTEST_FLAG_SET(death_test_style, "threadsafe");                    \
    EXPECT_EXIT(ExitWith(findings), ::testing::ExitedWithCode(0), ""); \
  } while (false)

struct ListCase {
  std::string line;               // a whole command line, or
  std::vector<std::string> argv;  // the arguments after the program name
  bool useLine;
  std::vector<std::string> parameters;
};

// Sets the fake, then asks for the count and every parameter, also the
// indexes around the list.
std::string CheckList(const ListCase& c) {
  ResetFake();
  if (c.useLine) {
    Fake().commandLine = c.line;
  } else {
    Fake().arguments = c.argv;
  }
  std::string findings;
  auto expect = [&](bool ok, const std::string& what) {
    if (!ok) findings += what + "\n";
  };
  const auto n = static_cast<std::int32_t>(c.parameters.size());
  expect(ParameterCount() == n,
         "count " + std::to_string(ParameterCount()) + ", expected " + std::to_string(n));
  for (std::int32_t i = 1; i <= n; ++i) {
    const std::string_view p = ParameterAt(i);
    expect(p == c.parameters[static_cast<std::size_t>(i) - 1],
           "parameter " + std::to_string(i) + " is " + ::testing::PrintToString(std::string(p)));
  }
  for (const std::int32_t i : {n + 1, n + 2, -1, -2147483647 - 1, 2147483647}) {
    expect(ParameterAt(i).empty(), "parameter " + std::to_string(i) + " is not empty");
  }
  // Parameter 0 is the program's own file, not the name on the command line.
  expect(ParameterAt(0) == "C:\\Tools\\clockcast.exe",
         "parameter 0 is " + std::string(ParameterAt(0)));
  // Asked again, the answers stay the same.
  expect(ParameterCount() == n, "count changed");
  return findings;
}

TEST(ParameterList, FromACommandLine) {
  const ListCase cases[] = {
      {"prog", {}, true, {}},
      {"prog   \t \"\" \"\"  ", {}, true, {}},
      {"prog a", {}, true, {"a"}},
      {"\"C:\\My Tools\\prog.exe\" \"Date:dd\" th \" of\" \"date: mmmm, yyyy\"",
       {},
       true,
       {"Date:dd", "th", " of", "date: mmmm, yyyy"}},
      {"prog a \"\" b \"", {}, true, {"a", "b"}},
      {"prog \"'\" ''", {}, true, {"'", "''"}},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.line));
    EXPECT_IN_FRESH_PROCESS(CheckList(c));
  }
}

TEST(ParameterList, FromAnArgumentVector) {
  const ListCase cases[] = {
      {"", {}, false, {}},
      {"", {"a"}, false, {"a"}},
      // Arguments keep their blanks, quotes and bytes as given.
      {"", {" of", "a\"b", "\x80\xFF", "x y"}, false, {" of", "a\"b", "\x80\xFF", "x y"}},
      // Parameters are never empty: an empty argument is passed over.
      {"", {"a", "", "b"}, false, {"a", "b"}},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.argv));
    EXPECT_IN_FRESH_PROCESS(CheckList(c));
  }
}

// --- Text operations -------------------------------------------------------------

TEST(AsciiLower, FoldsOnlyAToZ) {
  EXPECT_EQ(AsciiLower("DATE:"), "date:");
  EXPECT_EQ(AsciiLower("MiXeD 123"), "mixed 123");
  EXPECT_EQ(AsciiLower(""), "");
  EXPECT_EQ(AsciiLower("\xC4"
                       "B"),
            "\xC4"
            "b");
  EXPECT_EQ(AsciiLower("@[`{AZ"), "@[`{az");
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<char>(i);
  const std::string lower = AsciiLower(all);
  ASSERT_EQ(lower.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    const int expected = i >= 'A' && i <= 'Z' ? i + 32 : i;
    EXPECT_EQ(static_cast<unsigned char>(lower[static_cast<std::size_t>(i)]), expected) << i;
  }
}

TEST(TextsEqual, SameLengthAndSameBytes) {
  EXPECT_TRUE(TextsEqual("th", "th"));
  EXPECT_FALSE(TextsEqual("th", "th "));
  EXPECT_FALSE(TextsEqual("th", "TH"));
  EXPECT_TRUE(TextsEqual("", ""));
  EXPECT_FALSE(TextsEqual("", "a"));
  EXPECT_FALSE(TextsEqual(std::string_view("a\0b", 3), std::string_view("a\0c", 3)));
  EXPECT_FALSE(TextsEqual(std::string_view("a\0", 2), "a"));
}

TEST(CopyRange, ClampsToTheText) {
  const struct {
    std::string_view text;
    std::int32_t start, count;
    std::string_view result;
  } rows[] = {
      {"abc", 1, 3, "abc"},
      {"abc", 0, 2, "ab"},
      {"abc", -5, 2, "ab"},
      {"abc", -5, 100, "abc"},
      {"abc", 2, 100, "bc"},
      {"abc", 3, 5, "c"},
      {"abc", 4, 1, ""},
      {"abc", 5, 0, ""},
      {"abc", 2, -1, ""},
      {"abc", 2, 0, ""},
      {"abc", 1, -2147483647 - 1, ""},
      {"abc", -2147483647 - 1, 2, "ab"},
      {"abc", 2147483647, 2147483647, ""},
      {"abc", 1, 2147483647, "abc"},
      {"date:", 6, 0, ""},
      {"date:x", 6, 1, "x"},
      {"th", 1, 5, "th"},
      {"", 1, 1, ""},
      {"", 0, 0, ""},
      {"", -1, 5, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.text << " " << row.start << " " << row.count);
    EXPECT_EQ(CopyRange(row.text, row.start, row.count), row.result);
  }
}

}  // namespace
}  // namespace clockcast::cli
