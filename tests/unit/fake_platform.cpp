#include "fake_platform.h"

#include "cli/parameters.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace clockcast::testing {

namespace {
FakePlatform* current = nullptr;
}

FakePlatform& Fake() {
  if (current == nullptr) current = new FakePlatform();
  return *current;
}

void ResetFake() {
  delete current;
  current = new FakePlatform();
  cli::ResetParameters();
}

int allocationsLeft = -1, allocationsRefused = 0;

std::string FakePlatform::Written() const {
  std::string all;
  for (const std::string& w : writes) all += w;
  return all;
}

}  // namespace clockcast::testing

namespace clockcast::platform {

using testing::Fake;

namespace {
// A path as the system gives it: cut to the buffer, zero-terminated; its length.
int CopyPath(const std::string& path, char* buffer, int size) {
  if (size <= 0) return 0;
  const int n = std::min<int>(static_cast<int>(path.size()), size - 1);
  std::memcpy(buffer, path.data(), static_cast<std::size_t>(n));
  buffer[n] = '\0';
  return n;
}
}  // namespace

void StartUp(int argc, char** argv) {
  if (Fake().startUp) Fake().startUp(argc, argv);
}

CommandLineSource CommandLine() {
  static std::vector<const char*> pointers;
  auto& fake = Fake();
  if (fake.commandLine) return {fake.commandLine->c_str(), 0, nullptr};
  pointers.clear();
  for (const std::string& a : fake.arguments) pointers.push_back(a.c_str());
  return {nullptr, static_cast<int>(pointers.size()), pointers.data()};
}

const char* CharNext(const char* p) {
  if (*p == '\0') return p;
  return Fake().leadBytes.test(static_cast<unsigned char>(*p)) && p[1] != '\0' ? p + 2 : p + 1;
}

int ModuleFileName(char* buffer, int size) {
  return CopyPath(Fake().modulePath, buffer, size);
}

bool ReadLocalClock(LocalTime& clock) {
  if (!Fake().clockReadable) return false;
  clock = Fake().clock;
  return true;
}

std::uint32_t ThreadLocale() {
  return Fake().threadLocale;
}

int LocaleInfo(std::uint32_t locale, std::uint32_t item, char* buffer, int size) {
  Fake().askedItems.push_back(item);
  const auto& items = Fake().localeItems;
  const auto it = items.find({locale, item});
  if (it == items.end()) return 0;
  const int needed = static_cast<int>(it->second.size()) + 1;
  if (needed > size) return 0;
  std::memcpy(buffer, it->second.c_str(), static_cast<std::size_t>(needed));
  return needed;
}

std::uint32_t AnsiCodePage() {
  return Fake().ansiCodePage;
}

bool CodePageLeadBytes(std::uint32_t codePage, std::uint8_t (&ranges)[12]) {
  std::fill(std::begin(ranges), std::end(ranges), 0);
  const auto& table = Fake().leadByteRanges;
  const auto it = table.find(codePage);
  if (it == table.end()) return false;
  std::copy_n(it->second.begin(), std::min<std::size_t>(12, it->second.size()), ranges);
  return true;
}

std::uint32_t PlatformId() {
  return Fake().platformId;
}
int DbcsEnabled() {
  return Fake().dbcsEnabled;
}

int AltCalendarDate(std::uint32_t, std::uint16_t year, std::uint16_t month, std::uint16_t day,
                    const char* picture, char* out, int size) {
  const auto& formatter = Fake().altCalendar;
  if (!formatter) return 0;
  const auto text = formatter(year, month, day, picture);
  if (!text || static_cast<int>(text->size()) + 1 > size) return 0;
  std::memcpy(out, text->c_str(), text->size() + 1);
  return static_cast<int>(text->size()) + 1;
}

Handle StdOutput() {
  return Fake().stdOutput;
}
DeviceType FileType(Handle) {
  return Fake().deviceType;
}

int WriteFile(Handle, const char* bytes, std::size_t count) {
  auto& fake = Fake();
  if (fake.takeWrite) {
    fake.takeWrite(std::string_view(bytes, count));
    return 0;
  }
  const int limit = std::exchange(testing::allocationsLeft, -1);
  fake.writes.emplace_back(bytes, count);
  testing::allocationsLeft = limit;
  return fake.WriteFails(static_cast<int>(fake.writes.size())) ? fake.failWritesWith : 0;
}

void CloseHandle(Handle) {
  ++Fake().closedHandles;
}

void CatchExceptions(ExceptionHandler handler) {
  Fake().exceptionHandler = handler;
}
void ReleaseExceptions() {
  Fake().exceptionHandler = nullptr;
}

int ModuleFileNameAt(std::uintptr_t address, char* buffer, int size) {
  for (const auto& [start, path] : Fake().modulesAt) {
    if (address - start < 0x10000) return CopyPath(path, buffer, size);
  }
  return 0;
}

}  // namespace clockcast::platform
