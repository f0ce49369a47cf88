// The program's own main on the test platform, with one command-line string
// made up here that the program splits itself, the way it runs where the
// system hands over a single string.
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

#include "fake_platform.h"

namespace {

using clockcast::testing::Fake;

constexpr std::string_view kParameters[] = {
    "\"Date:dd\"", "th", "\" of\"", "\"date: mmmm, yyyy\"", "line:",
};

void Print(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(1, bytes.data(), bytes.size());
    if (n < 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

void StartUp(int argc, char** argv) {
  const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
  std::string& line = Fake().commandLine.emplace("clockcast.exe");
  line.reserve(line.size() + static_cast<std::size_t>(count) * 12 + 1);
  for (long i = 0; i < count; ++i) {
    line += ' ';
    line += kParameters[i % std::size(kParameters)];
  }
  const bool print = argc > 2 && std::strcmp(argv[2], "print") == 0;
  Fake().takeWrite = print ? Print : [](std::string_view) {};
  CALLGRIND_ZERO_STATS;
}

// Set before main, which calls StartUp first of all.
[[maybe_unused]] const bool configured = [] {
  auto& fake = Fake();
  fake.startUp = StartUp;
  fake.modulePath = "C:\\clockcast.exe";
  fake.clock = {2024, 3, 5, 14, 7, 9, 250};
  fake.threadLocale = 0x0409;
  fake.deviceType = clockcast::platform::DeviceType::Pipe;
  return true;
}();

}  // namespace
