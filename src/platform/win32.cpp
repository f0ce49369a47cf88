// The Win32 platform layer: each function is the Win32 call it is named
// after, with the answers passed through as the system gives them.

#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// <windows.h> maps CharNext onto CharNextA; the platform layer's own
// CharNext must keep its name.
#undef CharNext

namespace clockcast::platform {

namespace {

HANDLE ToHandle(Handle file) {
  return reinterpret_cast<HANDLE>(file);
}

#ifdef CLOCKCAST_TEST_CLOCK
// Test builds only: the clock reading comes from the environment variable
// CLOCKCAST_TEST_CLOCK, "YYYY-MM-DD hh:mm:ss.mmm", when it is set. Each field
// is one to five digits, so that years past 9999 can be given too.
bool ReadTestClock(LocalTime& clock) {
  char text[64];
  const DWORD length = GetEnvironmentVariableA("CLOCKCAST_TEST_CLOCK", text, sizeof text);
  if (length == 0 || length >= sizeof text) return false;
  std::uint16_t* const fields[] = {&clock.year,   &clock.month,  &clock.day,        &clock.hour,
                                   &clock.minute, &clock.second, &clock.millisecond};
  static constexpr char kSeparators[] = "-- ::.";
  const char* p = text;
  for (int i = 0; i < 7; ++i) {
    if (i > 0 && *p++ != kSeparators[i - 1]) return false;
    unsigned value = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 5; ++p, ++digits) value = value * 10 + (*p - '0');
    if (digits == 0 || value > 0xFFFF) return false;
    *fields[i] = static_cast<std::uint16_t>(value);
  }
  return *p == '\0';
}
#endif

}  // namespace

void StartUp(int, char**) {}

// --- Command line and module path ------------------------------------------

CommandLineSource CommandLine() {
  return {GetCommandLineA(), 0, nullptr};
}

const char* CharNext(const char* p) {
  return CharNextA(p);
}

int ModuleFileName(char* buffer, int size) {
  if (size <= 0) return 0;
  const DWORD length = GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size));
  if (length == 0) return 0;
  // A path that does not fit comes back cut, and not always terminated.
  const int copied = length < static_cast<DWORD>(size) ? static_cast<int>(length) : size - 1;
  buffer[copied] = '\0';
  return copied;
}

// --- Local wall clock --------------------------------------------------------

// GetLocalTime cannot fail.
bool ReadLocalClock(LocalTime& clock) {
#ifdef CLOCKCAST_TEST_CLOCK
  if (ReadTestClock(clock)) return true;
#endif
  SYSTEMTIME now;
  GetLocalTime(&now);
  clock.year = now.wYear;
  clock.month = now.wMonth;
  clock.day = now.wDay;
  clock.hour = now.wHour;
  clock.minute = now.wMinute;
  clock.second = now.wSecond;
  clock.millisecond = now.wMilliseconds;
  return true;
}

// --- User locale -------------------------------------------------------------

std::uint32_t ThreadLocale() {
  return GetThreadLocale();
}

int LocaleInfo(std::uint32_t locale, std::uint32_t item, char* buffer, int size) {
  // With a size of 0 the call would answer the size it needs instead.
  if (size <= 0) return 0;
  return GetLocaleInfoA(locale, item, buffer, size);
}

std::uint32_t AnsiCodePage() {
  return GetACP();
}

bool CodePageLeadBytes(std::uint32_t codePage, std::uint8_t (&ranges)[12]) {
  static_assert(MAX_LEADBYTES == sizeof ranges);
  CPINFO info;
  if (!GetCPInfo(codePage, &info)) {
    for (std::uint8_t& byte : ranges) byte = 0;
    return false;
  }
  for (int i = 0; i < MAX_LEADBYTES; ++i) ranges[i] = info.LeadByte[i];
  return true;
}

std::uint32_t PlatformId() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return 0;
  return version.dwPlatformId;
}

int DbcsEnabled() {
  return GetSystemMetrics(SM_DBCSENABLED);
}

int AltCalendarDate(std::uint32_t locale, std::uint16_t year, std::uint16_t month,
                    std::uint16_t day, const char* picture, char* out, int size) {
  if (size <= 0) return 0;
  SYSTEMTIME date{};
  date.wYear = year;
  date.wMonth = month;
  date.wDay = day;
  return GetDateFormatA(locale, DATE_USE_ALT_CALENDAR, &date, picture, out, size);
}

// --- Standard output ---------------------------------------------------------

Handle StdOutput() {
  const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  if (handle == INVALID_HANDLE_VALUE) return kInvalidHandle;
  return reinterpret_cast<Handle>(handle);
}

DeviceType FileType(Handle file) {
  switch (GetFileType(ToHandle(file))) {
    case FILE_TYPE_DISK: return DeviceType::Disk;
    case FILE_TYPE_CHAR: return DeviceType::Character;
    case FILE_TYPE_PIPE: return DeviceType::Pipe;
    default: return DeviceType::Unknown;
  }
}

int WriteFile(Handle file, const char* bytes, std::size_t count) {
  while (count > 0) {
    const DWORD chunk = count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!::WriteFile(ToHandle(file), bytes, chunk, &written, nullptr)) {
      return static_cast<int>(GetLastError());
    }
    // A device that takes nothing without an error would never finish.
    if (written == 0) break;
    bytes += written;
    count -= written;
  }
  return 0;
}

void CloseHandle(Handle file) {
  ::CloseHandle(ToHandle(file));
}

}  // namespace clockcast::platform
