#include "fake_platform.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
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
}

std::string FakePlatform::Written() const {
  std::string all;
  for (const std::string& w : writes) all += w;
  return all;
}

}  // namespace clockcast::testing

namespace clockcast::platform {

using testing::Fake;

void StartUp(int, char**) {}

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
  const auto& lead = Fake().charNextLeadBytes;
  if (std::find(lead.begin(), lead.end(), static_cast<std::uint8_t>(*p)) != lead.end() &&
      p[1] != '\0') {
    return p + 2;
  }
  return p + 1;
}

int ModuleFileName(char* buffer, int size) {
  const std::string& path = Fake().modulePath;
  const int n = std::min<int>(static_cast<int>(path.size()), size - 1);
  std::memcpy(buffer, path.data(), static_cast<std::size_t>(n));
  buffer[n] = '\0';
  return n;
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
  const int limit = std::exchange(testing::allocationsLeft, -1);
  fake.writes.emplace_back(bytes, count);
  testing::allocationsLeft = limit;
  const int call = static_cast<int>(fake.writes.size());
  return fake.failingWrites.empty() || fake.failingWrites.count(call) != 0 ? fake.failWritesWith
                                                                           : 0;
}

void CloseHandle(Handle) {
  ++Fake().closedHandles;
}

}  // namespace clockcast::platform

namespace clockcast::testing {
int allocationsLeft = -1, allocationsRefused = 0;
}  // namespace clockcast::testing

// The allocation functions are kept out of line: the compiler would
// otherwise pair the malloc() and free() it sees with the new and delete
// expressions of this file and warn of a mismatch.
[[gnu::noinline]] void* operator new(std::size_t size) {
  for (int& left = clockcast::testing::allocationsLeft;;) {
    if (left != 0) {
      if (left > 0) --left;
      if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    }
    ++clockcast::testing::allocationsRefused;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}
[[gnu::noinline]] void operator delete(void* block) noexcept {
  std::free(block);
}
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
