// The working mode: parameter list, mode choice, line store and the moved
// time of day; the working-mode fuzz target's reference checks the dispatch
// and the addtime messages over its seeds. The clock reads 10 February 1978
// 14:05:09.007.

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
         std::string(ParameterAt(0)) + std::string(ParameterAt(-1)) +
         std::string(ParameterAt(kMin));
}

TEST(WorkingMode, Runs) {
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
