// A platform layer for measuring the command-line splitter: the program gets
// one command-line string, made up here, and splits it itself, the way it
// runs where the system hands over a single string.
//
//   split_driver COUNT [print]
//
// The command line holds the program name and COUNT parameters, repeating
// the usage example followed by a line break:
//
//   clockcast.exe "Date:dd" th " of" "date: mmmm, yyyy" line: "Date:dd" ...
//
// The locale answers nothing, so the built-in defaults hold; the clock reads
// a fixed afternoon. Output is dropped unless "print" is given. Under
// callgrind, counting starts once the line is made: what is counted is the
// program's own work on it.

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <unistd.h>
#include <valgrind/callgrind.h>

#include "platform/platform.h"

namespace clockcast::platform {

namespace {

constexpr std::string_view kProgramName = "clockcast.exe";
constexpr std::string_view kParameters[] = {
    "\"Date:dd\"", "th", "\" of\"", "\"date: mmmm, yyyy\"", "line:",
};

std::string commandLine;
bool printOutput = false;

}  // namespace

void StartUp(int argc, char** argv) {
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  printOutput = argc > 2 && std::strcmp(argv[2], "print") == 0;
  commandLine.reserve(kProgramName.size() + static_cast<std::size_t>(count) * 12 + 1);
  commandLine = kProgramName;
  for (long i = 0; i < count; ++i) {
    commandLine += ' ';
    commandLine += kParameters[i % std::size(kParameters)];
  }
  CALLGRIND_ZERO_STATS;
}

CommandLineSource CommandLine() {
  return {commandLine.c_str(), 0, nullptr};
}

const char* CharNext(const char* p) {
  return *p == '\0' ? p : p + 1;
}

int ModuleFileName(char* buffer, int size) {
  constexpr std::string_view kPath = "C:\\clockcast.exe";
  if (size <= static_cast<int>(kPath.size())) return 0;
  std::memcpy(buffer, kPath.data(), kPath.size());
  buffer[kPath.size()] = '\0';
  return static_cast<int>(kPath.size());
}

bool ReadLocalClock(LocalTime& clock) {
  clock = {2024, 3, 5, 14, 7, 9, 250};
  return true;
}

std::uint32_t ThreadLocale() {
  return 0x0409;
}
int LocaleInfo(std::uint32_t, std::uint32_t, char*, int) {
  return 0;
}
std::uint32_t AnsiCodePage() {
  return 1252;
}
bool CodePageLeadBytes(std::uint32_t, std::uint8_t (&ranges)[12]) {
  std::memset(ranges, 0, sizeof ranges);
  return true;
}
std::uint32_t PlatformId() {
  return 2;
}
int DbcsEnabled() {
  return 0;
}
int AltCalendarDate(std::uint32_t, std::uint16_t, std::uint16_t, std::uint16_t, const char*, char*,
                    int) {
  return 0;
}

Handle StdOutput() {
  return 1;
}
DeviceType FileType(Handle) {
  return DeviceType::Pipe;
}

int WriteFile(Handle file, const char* bytes, std::size_t count) {
  while (printOutput && count > 0) {
    const ssize_t n = write(static_cast<int>(file), bytes, count);
    if (n < 0) return 5;
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
  return 0;
}

void CloseHandle(Handle) {}

}  // namespace clockcast::platform
