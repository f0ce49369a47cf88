// The working mode: parameter list, mode choice, dispatch order, line store
// and the time-offset command. The clock reads 10 February 1978 14:05:09.007.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/interpreter.h"
#include "cli/parameters.h"
#include "datetime/calendar.h"
#include "datetime/settings.h"
#include "fake_platform.h"
#include "runtime/failures.h"
#include "runtime/output.h"

namespace clockcast::cli {
namespace {

using testing::Fake;
constexpr std::int32_t kMin = -2147483647 - 1;

// One run on a fresh fake, which makes the program split its parameters
// anew: the parameter count, "|", the output (a screen only to its first
// line), "!" and the message of a failure, then what indexes outside the list
// give (nothing).
std::string RunOnce(const std::vector<std::string>& arguments, const char* commandLine) {
  testing::ResetFake();
  Fake().arguments = arguments;
  if (commandLine != nullptr) Fake().commandLine = commandLine;
  Fake().deviceType = platform::DeviceType::Character;
  runtime::InitOutput();
  datetime::LoadFormatSettings();
  CreateLineStore();
  std::string failure;
  try {
    SelectMode();
  } catch (const runtime::Exception& f) {
    failure = "!" + std::string(f.Message());
  }
  ReleaseLineStore();
  datetime::ReleaseFormatSettings();
  std::string out = Fake().Written() + failure;
  if (std::count(out.begin(), out.end(), '\n') > 15) out.resize(out.find('\n'));
  const std::int32_t n = ParameterCount();
  return std::to_string(n) + "|" + out + std::string(ParameterAt(n + 1)) +
         std::string(ParameterAt(-1)) + std::string(ParameterAt(kMin));
}

TEST(WorkingMode, Runs) {
  const std::string p = "Formating Error in ADDTIME: Command. No + Found\n";
  const std::string n = "Formating Error in ADDTIME: Command. Need More Numbers.\n";
  const std::string c = "Formating Error in ADDTIME: Command. Need More Or Less Numbers.\n";
  const std::string x =
      "Formating Error in ADDTIME: Command. Items other then numbers do not add well..\n";
  const struct {
    std::vector<std::string> arguments;
    std::string expected;
    const char* commandLine = nullptr;  // instead of the arguments
  } rows[] = {
      // The parameter list from a command line or an argument vector.
      {{},
       "4|10th of February, 1978\n",
       "\"C:\\My Tools\\p.exe\" \"Date:dd\" TH \" of\" \"date: mmmm, yyyy\""},
      {{}, "2|ab\n", "prog a \"\" b \""},
      {{"a", "", "b"}, "2|ab\n"},
      // The mode: the first parameter without its first character.
      {{}, "0|" + std::string(72, '*')},
      {{"/formats", "date:yyyy"}, "2|Specifier\tDisplays"},
      {{"\200FORMATS"}, "1|Specifier\tDisplays"},
      {{"-AdVaNcEd", "/formats"}, "2|Advanced Usage"},
      {{"/advancedx"}, "1|/advancedx\n"},
      {{"formats"}, "1|formats\n"},
      {{"/"}, "1|/\n"},
      {{"a", "/formats"}, "2|a/formats\n"},
      // Dispatch: date:, time:, addtime:, the quote, th, line:, literal text.
      {{"a", "line:", "b"}, "3|a\nb\n"},
      {{"LINE:dd", "lInE:", "Line:"}, "3|\ndd\n\n\n"},
      {{"line", "addtime", "date", "lines:", "th ", "the"}, "6|lineaddtimedatelines:th the\n"},
      {{"'", "''", " '"}, "3|\"'' '\n"},
      {{"Date:dd", "date: dd", "DATE:hhnnss"}, "3|10 10000000\n"},
      {{"TiMe:yyyymmddhhnnss", "time:A/Pa/p"}, "2|18991230140509Pp\n"},
      {{"\200\377", "a\"b"}, "2|\200\377a\"b\n"},
      {{"addtime:hh+1:0:0", "addtim:hh+1:0:0"}, "2|15addtim:hh+1:0:0\n"},
      // addtime: messages in the order of the checks, written at once.
      {{"addtime:", "addtime:hh:nn+", "addtime:h:n:s+1", "addtime:+1:2:3:4", "addtime:++",
        "addtime:hh+1:2:3+", "addtime:+1:2:x", "addtime:+ 1:0:0", "addtime:+$1:0:0"},
       "9|" + p + n + c + c + c + x + x + x + x + "\n"},
      {{"a", "addtime:hh", "line:", "b", "addtime:+1:2"}, "5|" + p + c + "a\nb\n"},
      // A failing field ends the run: lines not yet written are lost.
      {{"a", "addtime:hh", "line:b", "addtime:hh+::", "c"},
       "5|" + p + "!'' is not a valid integer value"},
      {{"addtime:+-:1-2:"}, "1|!'-' is not a valid integer value"},
      {{"addtime:+1:2:3-"}, "1|!'3-' is not a valid integer value"},
      // The moved time of day; past midnight it is day 1, 31 December 1899.
      {{"addtime:hhnnss+1:00:00", "|", "addtime:hhnn+-1:-30:0", "|", "addtime: hh nn +0:0:51", "|",
        "addtime:ddmmyyyyhhnn+25:0:0"},
       "7|150509|1235| 14 06 |311218991505\n"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(RunOnce(row.arguments, row.commandLine), row.expected)
        << ::testing::PrintToString(row.arguments);
  }
}

TEST(WorkingMode, DaySuffixAndLineStore) {
  std::string suffixes;
  for (std::uint16_t day = 1; day <= 31; ++day) {
    testing::ResetFake();
    Fake().clock = {1978, 1, day, 0, 0, 0, 0};
    CreateLineStore();
    RunDaySuffixCommand();
    suffixes += OutputLines[0] + (day % 10 == 0 ? "|" : " ");
  }
  EXPECT_EQ(suffixes,
            "st nd rd th th th th th th th|th th th th th th th th th th|"
            "st nd rd th th th th th th th|st ");
  runtime::InstallFailureLayer();
  ReleaseLineStore();
  EXPECT_THROW(AppendToCurrentLine("x"), runtime::ERangeError);
  runtime::RemoveFailureLayer();
  CreateLineStore();
}

}  // namespace
}  // namespace clockcast::cli
