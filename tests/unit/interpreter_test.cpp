// The working mode: dispatch of each parameter in the fixed order, the line
// store, and the lines written after the last parameter; and the choice of
// mode from the first parameter.
//
// The parameter list is split once per process, on first use. So every case
// that goes through ProcessArguments or SelectMode runs in a fresh process of
// this test binary (a death test in the "threadsafe" style, which starts the
// binary anew and runs only the one case), where the fake is set before the
// first use. The fake clock reads 10 February 1978, 14:05:09.007 unless a
// case sets another day.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/help.h"
#include "cli/interpreter.h"
#include "cli/parameters.h"
#include "datetime/settings.h"
#include "fake_platform.h"
#include "platform/platform.h"
#include "runtime/failures.h"
#include "runtime/output.h"

namespace clockcast::cli {
namespace {

using platform::kLineBreak;
using testing::Fake;
using testing::ResetFake;

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

// The lines, each followed by the line terminator.
std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string text;
  for (const std::string_view line : lines) {
    text += line;
    text += kLineBreak;
  }
  return text;
}

std::string Show(const std::string& text) {
  return ::testing::PrintToString(text);
}

// A fresh start as the program makes it: output closed until its first write,
// English settings, one empty line. Every line reaches the fake at its end.
void StartRun(const std::vector<std::string>& arguments, std::uint16_t month = 2,
              std::uint16_t day = 10) {
  ResetFake();
  Fake().arguments = arguments;
  Fake().clock = {1978, month, day, 14, 5, 9, 7};
  Fake().deviceType = platform::DeviceType::Character;
  runtime::InitOutput();
  runtime::PendingIoError = 0;
  datetime::LoadFormatSettings();
  CreateLineStore();
}

struct Case {
  std::vector<std::string> arguments;
  std::string output;
};

std::string CheckOutput(const Case& c) {
  StartRun(c.arguments);
  ProcessArguments();
  const std::string out = Fake().Written();
  if (out == c.output) return {};
  return "output " + Show(out) + "\nexpected " + Show(c.output) + "\n";
}

TEST(Interpreter, DispatchInTheFixedOrder) {
  const Case cases[] = {
      // Literal text joins without separators.
      {{"a", "b", "c"}, Lines({"abc"})},
      {{"Hello", " ", "World"}, Lines({"Hello World"})},
      // line: starts a new line; its rest is literal text, never a format.
      {{"a", "line:", "b"}, Lines({"a", "b"})},
      {{"line:", "x"}, Lines({"", "x"})},
      {{"line:abc"}, Lines({"", "abc"})},
      {{"line:dd"}, Lines({"", "dd"})},
      {{"a", "LINE:b", "Line:c", "lInE:"}, Lines({"a", "b", "c", ""})},
      {{"line"}, Lines({"line"})},
      {{"lines:"}, Lines({"lines:"})},
      // The quote command.
      {{"'"}, Lines({"\""})},
      {{"''"}, Lines({"''"})},
      {{"a", "'", "b", "'"}, Lines({"a\"b\""})},
      {{" '"}, Lines({" '"})},
      // date: and time: with the prefix in any case; the format keeps its
      // case and its blanks.
      {{"Date:dd"}, Lines({"10"})},
      {{"DATE:yyyy"}, Lines({"1978"})},
      {{"date: dd"}, Lines({" 10"})},
      {{"date:hhnnss"}, Lines({"000000"})},
      {{"time:hhnnss"}, Lines({"140509"})},
      {{"TiMe:yyyymmdd"}, Lines({"18991230"})},
      {{"time:A/P"}, Lines({"P"})},
      {{"time:a/p"}, Lines({"p"})},
      {{"date", "time", "date;", "dat:"}, Lines({"datetimedate;dat:"})},
      // addtime: after time:, never taken for it.
      {{"addtime:hh+1:0:0"}, Lines({"15"})},
      {{"ADDTIME:hhnn+0:30:0"}, Lines({"1435"})},
      {{"addtime"}, Lines({"addtime"})},
      {{"addtim:hh+1:0:0"}, Lines({"addtim:hh+1:0:0"})},
      // The usage example.
      {{"Date:dd", "th", " of", "date: mmmm, yyyy"}, Lines({"10th of February, 1978"})},
      // Output is written byte for byte.
      {{"\x80\xFF", "a\"b"},
       Lines({"\x80\xFF"
              "a\"b"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    EXPECT_IN_FRESH_PROCESS(CheckOutput(c));
  }
}

// The day suffix on a given day of the month, next to the echo of look-alikes.
std::string CheckSuffix(std::uint16_t day, const std::string& suffix) {
  // January, which has 31 days.
  StartRun({"th", "-", "TH", "-", "Th", "-", "tH", "|", "th ", "the", "t", "h"}, 1, day);
  ProcessArguments();
  const std::string expected =
      Lines({suffix + "-" + suffix + "-" + suffix + "-" + suffix + "|th theth"});
  const std::string out = Fake().Written();
  if (out == expected) return {};
  return "day " + std::to_string(day) + ": " + Show(out) + ", expected " + Show(expected) + "\n";
}

TEST(Interpreter, DaySuffix) {
  const struct {
    std::uint16_t day;
    std::string suffix;
  } rows[] = {
      {1, "st"},  {2, "nd"},  {3, "rd"},  {4, "th"},  {10, "th"}, {11, "th"},
      {12, "th"}, {13, "th"}, {20, "th"}, {21, "st"}, {22, "nd"}, {23, "rd"},
      {24, "th"}, {28, "th"}, {30, "th"}, {31, "st"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.day);
    EXPECT_IN_FRESH_PROCESS(CheckSuffix(row.day, row.suffix));
  }
}

std::string CheckLineStore() {
  StartRun({"a", "line:b", "c", "line:", "line:"});
  ProcessArguments();
  std::string findings;
  if (LineCount != 4) findings += "LineCount " + std::to_string(LineCount) + "\n";
  if (OutputLines != std::vector<std::string>{"a", "bc", "", ""}) {
    findings += "OutputLines " + ::testing::PrintToString(OutputLines) + "\n";
  }
  // One write per line, every line written, the empty ones too.
  if (Fake().writes !=
      std::vector<std::string>{Lines({"a"}), Lines({"bc"}), Lines({""}), Lines({""})}) {
    findings += "writes " + ::testing::PrintToString(Fake().writes) + "\n";
  }
  return findings;
}

TEST(Interpreter, LineStoreHoldsEveryLine) {
  EXPECT_IN_FRESH_PROCESS(CheckLineStore());
}

std::string CheckMessagesFirst() {
  // The shape messages are written at once; the lines only at the end.
  StartRun({"a", "addtime:hh", "line:", "b", "addtime:+1:2"});
  ProcessArguments();
  const std::vector<std::string> expected{
      Lines({"Formating Error in ADDTIME: Command. No + Found"}),
      Lines({"Formating Error in ADDTIME: Command. Need More Or Less Numbers."}),
      Lines({"a"}),
      Lines({"b"}),
  };
  if (Fake().writes == expected) return {};
  return "writes " + ::testing::PrintToString(Fake().writes) + "\n";
}

TEST(Interpreter, MessagesStandBeforeTheLines) {
  EXPECT_IN_FRESH_PROCESS(CheckMessagesFirst());
}

std::string CheckFailureLosesTheLines() {
  StartRun({"a", "addtime:hh", "line:b", "addtime:hh+::", "c"});
  try {
    ProcessArguments();
  } catch (const runtime::EConvertError& failure) {
    std::string findings;
    if (failure.Message() != "'' is not a valid integer value") {
      findings += "message " + Show(failure.Message()) + "\n";
    }
    // Only the message written before the failure reached the output.
    const std::string expected = Lines({"Formating Error in ADDTIME: Command. No + Found"});
    if (Fake().Written() != expected) findings += "output " + Show(Fake().Written()) + "\n";
    return findings;
  }
  return "no EConvertError\n";
}

TEST(Interpreter, FailureLosesTheLinesNotYetWritten) {
  EXPECT_IN_FRESH_PROCESS(CheckFailureLosesTheLines());
}

std::string CheckNoParameters() {
  StartRun({});
  ProcessArguments();
  const std::string expected = Lines({""});
  if (Fake().Written() == expected) return {};
  return "output " + Show(Fake().Written()) + "\n";
}

TEST(Interpreter, NoParametersGiveOneEmptyLine) {
  EXPECT_IN_FRESH_PROCESS(CheckNoParameters());
}

// Line store operations that need no parameters run here directly.
class LineStore : public ::testing::Test {
 protected:
  void SetUp() override { CreateLineStore(); }
  void TearDown() override {
    runtime::RemoveFailureLayer();
    CreateLineStore();
  }
};

TEST_F(LineStore, StartsWithOneEmptyLine) {
  EXPECT_EQ(LineCount, 1);
  EXPECT_EQ(OutputLines, (std::vector<std::string>{""}));
}

TEST_F(LineStore, AppendsToTheCurrentLine) {
  AppendToCurrentLine("ab");
  AppendToCurrentLine("");
  AppendToCurrentLine(std::string_view("c\0d", 3));
  EXPECT_EQ(OutputLines, (std::vector<std::string>{std::string("abc\0d", 5)}));
  EXPECT_EQ(LineCount, 1);
}

TEST_F(LineStore, AppendingWithoutALineIsARangeError) {
  runtime::InstallFailureLayer();
  ReleaseLineStore();
  EXPECT_THROW(AppendToCurrentLine("x"), runtime::ERangeError);
}

// --- Mode selection ------------------------------------------------------------

enum class Mode { kUsage, kFormats, kAdvanced, kEcho };

// What a function writes to a fresh output.
std::string Capture(void (*show)()) {
  ResetFake();
  Fake().deviceType = platform::DeviceType::Character;
  runtime::InitOutput();
  show();
  return Fake().Written();
}

std::string CheckMode(const std::vector<std::string>& arguments, Mode mode) {
  const std::string usage = Capture(ShowUsage);
  const std::string formats = Capture(ShowFormatReference);
  const std::string advanced = Capture(ShowAdvancedUsage);
  if (usage.empty() || usage == formats || usage == advanced || formats == advanced) {
    return "the three screens are not distinct\n";
  }
  StartRun(arguments);
  SelectMode();
  const std::string out = Fake().Written();
  std::string expected;
  switch (mode) {
    case Mode::kUsage: expected = usage; break;
    case Mode::kFormats: expected = formats; break;
    case Mode::kAdvanced: expected = advanced; break;
    case Mode::kEcho: {
      std::string joined;
      for (const std::string& a : arguments) joined += a;
      expected = Lines({joined});
      break;
    }
  }
  if (out == expected) return {};
  return "output " + Show(out) + "\nexpected " + Show(expected) + "\n";
}

TEST(SelectMode, FirstParameterWithoutItsFirstCharacterIsTheKey) {
  const struct {
    std::vector<std::string> arguments;
    Mode mode;
  } rows[] = {
      {{}, Mode::kUsage},
      {{"/formats"}, Mode::kFormats},
      {{"/FORMATS"}, Mode::kFormats},
      {{"-formats"}, Mode::kFormats},
      {{"xFormats"}, Mode::kFormats},
      {{"\x80"
        "formats"},
       Mode::kFormats},
      {{"/formats", "date:yyyy", "more"}, Mode::kFormats},
      {{"/advanced"}, Mode::kAdvanced},
      {{"/AdVaNcEd", "/formats"}, Mode::kAdvanced},
      {{"/advancedx"}, Mode::kEcho},
      {{"/formatsx"}, Mode::kEcho},
      {{"/ formats"}, Mode::kEcho},
      {{"formats"}, Mode::kEcho},
      {{"/"}, Mode::kEcho},
      {{"a", "/formats"}, Mode::kEcho},
      {{"a", "/advanced"}, Mode::kEcho},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.arguments));
    EXPECT_IN_FRESH_PROCESS(CheckMode(row.arguments, row.mode));
  }
}

}  // namespace
}  // namespace clockcast::cli
