#include "fuzz_platform.h"

#include <algorithm>
#include <cstring>

#include "cli/parameters.h"

namespace clockcast::fuzzing {

FuzzPlatform& Platform() {
  static FuzzPlatform platform;
  return platform;
}

void ResetPlatform() {
  Platform() = FuzzPlatform();
}

}  // namespace clockcast::fuzzing

namespace clockcast::cli {

using fuzzing::Platform;

std::int32_t ParameterCount() {
  return static_cast<std::int32_t>(Platform().parameterIndex.size());
}

std::string_view ParameterAt(std::int32_t n) {
  const auto& p = Platform();
  if (n == 0) return p.modulePath;
  if (n < 0 || static_cast<std::size_t>(n) > p.parameterIndex.size()) return {};
  return p.arguments[p.parameterIndex[static_cast<std::size_t>(n) - 1]];
}

}  // namespace clockcast::cli

namespace clockcast::platform {

using fuzzing::Platform;

void StartUp(int, char**) {}

CommandLineSource CommandLine() {
  static std::vector<const char*> pointers;
  pointers.clear();
  for (const std::string& a : Platform().arguments) pointers.push_back(a.c_str());
  return {nullptr, static_cast<int>(pointers.size()), pointers.data()};
}

const char* CharNext(const char* p) {
  if (*p == '\0') return p;
  if (Platform().leadBytes.test(static_cast<unsigned char>(*p)) && p[1] != '\0') return p + 2;
  return p + 1;
}

int ModuleFileName(char* buffer, int size) {
  if (size <= 0) return 0;
  const std::string& path = Platform().modulePath;
  const int n = std::min(static_cast<int>(path.size()), size - 1);
  std::memcpy(buffer, path.data(), static_cast<std::size_t>(n));
  buffer[n] = '\0';
  return n;
}

bool ReadLocalClock(LocalTime& clock) {
  clock = Platform().clock;
  return true;
}

std::uint32_t ThreadLocale() {
  return Platform().threadLocale;
}

int LocaleInfo(std::uint32_t locale, std::uint32_t item, char* buffer, int size) {
  const auto& items = Platform().localeItems;
  const auto it = items.find({locale, item});
  if (it == items.end()) return 0;
  const int needed = static_cast<int>(it->second.size()) + 1;
  if (needed > size) return 0;
  std::memcpy(buffer, it->second.c_str(), static_cast<std::size_t>(needed));
  return needed;
}

std::uint32_t AnsiCodePage() {
  return Platform().ansiCodePage;
}

bool CodePageLeadBytes(std::uint32_t codePage, std::uint8_t (&ranges)[12]) {
  std::fill(std::begin(ranges), std::end(ranges), 0);
  if (codePage != Platform().ansiCodePage) return false;
  // The lead bytes of the platform as up to five ranges.
  const auto& lead = Platform().leadBytes;
  int pair = 0;
  for (int b = 1; b < 256 && pair < 5; ++b) {
    if (!lead.test(static_cast<std::size_t>(b))) continue;
    int last = b;
    while (last + 1 < 256 && lead.test(static_cast<std::size_t>(last + 1))) ++last;
    ranges[2 * pair] = static_cast<std::uint8_t>(b);
    ranges[2 * pair + 1] = static_cast<std::uint8_t>(last);
    ++pair;
    b = last;
  }
  return true;
}

std::uint32_t PlatformId() {
  return 2;
}
int DbcsEnabled() {
  return Platform().leadBytes.any() ? 1 : 0;
}

int AltCalendarDate(std::uint32_t, std::uint16_t, std::uint16_t, std::uint16_t, const char* picture,
                    char* out, int size) {
  const auto& answers = Platform().altCalendar;
  const auto it = answers.find(picture);
  if (it == answers.end()) return 0;
  const std::string& text = it->second;
  if (static_cast<int>(text.size()) + 1 > size) return 0;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size()) + 1;
}

Handle StdOutput() {
  return Platform().stdOutput;
}
DeviceType FileType(Handle) {
  return Platform().deviceType;
}

int WriteFile(Handle, const char* bytes, std::size_t count) {
  auto& p = Platform();
  ++p.writeCalls;
  const bool fails = p.failOnce ? p.writeCalls == p.failFromWrite
                                : p.failFromWrite != 0 && p.writeCalls >= p.failFromWrite;
  if (fails) {
    p.failedWriteSizes.push_back(count);
    return p.failError;
  }
  p.writes.emplace_back(bytes, count);
  return 0;
}

void CloseHandle(Handle) {}

}  // namespace clockcast::platform
