// A fake platform layer for the unit tests: every answer comes from
// FakePlatform, and every write to standard output is recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace clockcast::testing {

struct FakePlatform {
  // Command line: a whole line to split (when set), else the argument list.
  std::optional<std::string> commandLine;
  std::vector<std::string> arguments;
  std::string modulePath = "C:\\Tools\\clockcast.exe";
  platform::LocalTime clock{1978, 2, 10, 14, 5, 9, 7};
  bool clockReadable = true;

  // Locale: items by (locale, item); absent items are unknown (answer 0).
  std::uint32_t threadLocale = 0;
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> localeItems;
  std::vector<std::uint32_t> askedItems;  // every LocaleInfo item, in order
  std::uint32_t ansiCodePage = 1252;
  std::map<std::uint32_t, std::vector<std::uint8_t>> leadByteRanges;  // up to 12 bytes
  std::uint32_t platformId = 2;
  int dbcsEnabled = 0;
  // Era formatter: (y, m, d, picture) -> text, or nullopt for failure.
  std::function<std::optional<std::string>(int, int, int, const std::string&)> altCalendar;
  // Lead bytes for CharNext (the splitter and the module name scan).
  std::vector<std::uint8_t> charNextLeadBytes;

  // Standard output.
  platform::Handle stdOutput = 1;
  platform::DeviceType deviceType = platform::DeviceType::Disk;
  std::vector<std::string> writes;  // one entry per WriteFile call
  int failWritesWith = 0;           // error number of a failed write, 0 = succeed
  std::set<int> failingWrites;      // the calls that fail, counted from 1; empty = all
  int closedHandles = 0;

  std::string Written() const;  // all writes joined
};

// The fake in force. Reset() gives every test a fresh one.
FakePlatform& Fake();
void ResetFake();

// The allocation functions of the test binary count down this number: once
// it reaches 0 every allocation fails, as when memory has run out for good.
// Negative: no limit. Recording a write is exempt, since the system's own
// write allocates nothing. allocationsRefused counts the failed ones.
extern int allocationsLeft, allocationsRefused;

}  // namespace clockcast::testing
