// The platform layer of the unit tests, the fuzz targets and the benchmark:
// every answer comes from the FakePlatform in force, and every write to
// standard output is recorded. ResetFake() gives a fresh one and makes the
// program split its parameters again, so that many runs share one process.
#pragma once

#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
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
  std::function<void(int, char**)> startUp;  // what StartUp does, if anything

  // Locale: items by (locale, item); absent items are unknown (answer 0).
  std::uint32_t threadLocale = 0;
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> localeItems;
  std::vector<std::uint32_t> askedItems;  // every LocaleInfo item, in order
  std::uint32_t ansiCodePage = 1252;
  std::bitset<256> leadBytes;  // of two-byte characters, for CharNext
  std::map<std::uint32_t, std::vector<std::uint8_t>> leadByteRanges;  // up to 12 bytes
  std::uint32_t platformId = 2;
  int dbcsEnabled = 0;
  // Era formatter: (y, m, d, picture) -> text, or nullopt for failure.
  std::function<std::optional<std::string>(int, int, int, const std::string&)> altCalendar;

  // Standard output.
  platform::Handle stdOutput = 1;
  platform::DeviceType deviceType = platform::DeviceType::Disk;
  std::vector<std::string> writes;  // one entry per WriteFile call, failed ones too
  int failWritesWith = 0;           // error number of a failed write, 0 = every write succeeds
  int firstFailingWrite = 1;        // counted from 1; every later one fails too
  bool onlyOneWriteFails = false;   // only firstFailingWrite
  // Instead of recording: the benchmark's writes are dropped or printed.
  std::function<void(std::string_view)> takeWrite;
  int closedHandles = 0;

  // Platform exceptions: the handler in force, and module paths by the
  // address at which each module's image begins (it spans 0x10000 bytes).
  platform::ExceptionHandler exceptionHandler = nullptr;
  std::map<std::uintptr_t, std::string> modulesAt;

  bool WriteFails(int call) const {
    return failWritesWith != 0 &&
           (onlyOneWriteFails ? call == firstFailingWrite : call >= firstFailingWrite);
  }
  std::string Written() const;  // all writes joined
};

// The fake in force, and a fresh one.
FakePlatform& Fake();
void ResetFake();

// The allocation functions of the unit tests (allocation_limit.cpp) count
// down this number: once it reaches 0 every allocation fails, as when memory
// has run out for good. Negative: no limit. Recording a write is exempt,
// since the system's own write allocates nothing. allocationsRefused counts
// the failed ones.
extern int allocationsLeft, allocationsRefused;

}  // namespace clockcast::testing
