// The platform layer of the fuzz targets: every answer comes from
// FuzzPlatform, which a target fills from its input before each run, and
// every write to standard output is recorded.
//
// The parameters are also served from here. The program splits its command
// line once per process and keeps the result; a fuzz target runs the program
// many times in one process, so the fuzz build renames the caching
// ParameterCount and ParameterAt of the sources and links the two below,
// which answer from FuzzPlatform::arguments afresh on every call.
#pragma once

#include <bitset>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace clockcast::fuzzing {

struct FuzzPlatform {
  // The argument vector after the program name, set with SetArguments. An
  // empty entry is passed over, as the program passes over an empty element
  // of an argument vector.
  std::vector<std::string> arguments;
  std::vector<std::size_t> parameterIndex;  // the non-empty entries
  void SetArguments(std::vector<std::string> list) {
    arguments = std::move(list);
    parameterIndex.clear();
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      if (!arguments[i].empty()) parameterIndex.push_back(i);
    }
  }
  std::string modulePath = "C:\\Tools\\clockcast.exe";
  platform::LocalTime clock{1978, 2, 10, 14, 5, 9, 7};

  // Two-byte characters for CharNext. Real code pages have lead bytes only
  // from 0x81 up; the targets keep to that.
  std::bitset<256> leadBytes;

  std::uint32_t threadLocale = 0;
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> localeItems;
  std::uint32_t ansiCodePage = 1252;

  // Alternate-calendar answers by picture ("gg", "yy", "yyyy"); absent ones
  // make the formatter fail.
  std::map<std::string, std::string> altCalendar;

  // Standard output.
  platform::Handle stdOutput = 1;
  platform::DeviceType deviceType = platform::DeviceType::Disk;
  int failFromWrite = 0;  // 1-based: this write and all later ones fail; 0 = none
  bool failOnce = false;  // only the write failFromWrite fails
  int failError = 28;
  int writeCalls = 0;
  std::vector<std::string> writes;  // the successful writes, in order
  std::vector<std::size_t> failedWriteSizes;

  std::string Written() const {
    std::string all;
    for (const std::string& w : writes) all += w;
    return all;
  }
};

FuzzPlatform& Platform();
void ResetPlatform();

// A property that must hold; a violation aborts, which libFuzzer records as a
// crash with the input that caused it.
#define FUZZ_CHECK(condition)                                                                  \
  do {                                                                                         \
    if (!(condition)) {                                                                        \
      std::fprintf(stderr, "property violated: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                            \
    }                                                                                          \
  } while (0)

// The input cut into fields at zero bytes.
inline std::vector<std::string_view> SplitFields(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string_view> fields;
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  for (;;) {
    const std::size_t zero = all.find('\0', start);
    if (zero == std::string_view::npos) {
      fields.push_back(all.substr(start));
      return fields;
    }
    fields.push_back(all.substr(start, zero - start));
    start = zero + 1;
  }
}

}  // namespace clockcast::fuzzing
