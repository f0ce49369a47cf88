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

#include <float.h>

// <windows.h> maps CharNext onto CharNextA; the platform layer's own
// CharNext must keep its name.
#undef CharNext

namespace clockcast::platform {

namespace {

HANDLE ToHandle(Handle file) {
  return reinterpret_cast<HANDLE>(file);
}

// GetModuleFileNameA, with a path that does not fit cut and terminated.
int ModuleFileNameOf(HMODULE module, char* buffer, int size) {
  if (size <= 0) return 0;
  const DWORD length = GetModuleFileNameA(module, buffer, static_cast<DWORD>(size));
  if (length == 0) return 0;
  // A path that does not fit comes back cut, and not always terminated.
  const int copied = length < static_cast<DWORD>(size) ? static_cast<int>(length) : size - 1;
  buffer[copied] = '\0';
  return copied;
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
  return ModuleFileNameOf(nullptr, buffer, size);
}

// --- Local wall clock --------------------------------------------------------

// GetLocalTime cannot fail.
bool ReadLocalClock(LocalTime& clock) {
#ifdef CLOCKCAST_TEST_CLOCK
  TestFault("clock");
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

// --- Platform exceptions -----------------------------------------------------
//
// The outermost handler is an unhandled-exception filter, not a vectored
// handler. A vectored handler sees every exception first, also those that
// the system's own code raises and handles itself (probes inside system DLLs,
// debug output), and would have to guess which of them end the program. The
// filter sees only what no handler took, and only when no debugger is
// attached (UnhandledExceptionFilter asks that first), so a debugger still
// takes over. The C++ exceptions of this build (DWARF unwinding) never become
// platform exceptions, so the filter never sees a failure object.
//
// The filter runs on the stack of the code that failed, inside the system's
// exception dispatch. Nothing can be unwound from there (the C++ unwinder
// cannot cross the dispatcher's frames, and after a stack overflow there is
// no room to), so the handler reports and shuts down in place, and the filter
// ends the process with its code.

namespace {

ExceptionHandler exceptionHandler = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

// After a stack overflow the filter has only the stack that the system keeps
// back beyond the guard page. The report (fixed buffers of about 2 KiB), the
// shutdown and ExitProcess need more than the one page kept by default.
constexpr ULONG kStackKeptBack = 64 * 1024;

// Invalid operation, division by zero and overflow raise exceptions; denormal
// operands, underflow and inexact results are masked. Only the masks change:
// the precision and rounding stay as the C runtime set them.
void StartFloatingPoint() {
  _clearfp();
  _control87(_EM_DENORMAL | _EM_UNDERFLOW | _EM_INEXACT, _MCW_EM);
}

LONG WINAPI OutermostFilter(EXCEPTION_POINTERS* pointers) {
  // After a floating-point exception the x87 unit may still hold it pending
  // (wine leaves it so), and the next waiting x87 instruction would raise it
  // again, the C runtime's own _clearfp among them: clear it first with the
  // instruction that does not wait. Then the unit goes back into its
  // start-up mode.
#if defined(__i386__) || defined(__x86_64__)
  __asm__ volatile("fnclex");
#endif
  StartFloatingPoint();
  const EXCEPTION_RECORD& raised = *pointers->ExceptionRecord;
  ExceptionRecord record;
  record.code = raised.ExceptionCode;
  record.address = reinterpret_cast<std::uintptr_t>(raised.ExceptionAddress);
  for (DWORD i = 0; i < 2 && i < raised.NumberParameters; ++i) {
    record.information[i] = raised.ExceptionInformation[i];
  }
  ::ExitProcess(static_cast<UINT>(exceptionHandler(record)));
}

}  // namespace

void CatchExceptions(ExceptionHandler handler) {
  exceptionHandler = handler;
  ULONG keptBack = kStackKeptBack;
  SetThreadStackGuarantee(&keptBack);
  StartFloatingPoint();
  previousFilter = SetUnhandledExceptionFilter(OutermostFilter);
}

void ReleaseExceptions() {
  SetUnhandledExceptionFilter(previousFilter);
  previousFilter = nullptr;
}

int ModuleFileNameAt(std::uintptr_t address, char* buffer, int size) {
  MEMORY_BASIC_INFORMATION memory;
  if (VirtualQuery(reinterpret_cast<const void*>(address), &memory, sizeof memory) == 0 ||
      memory.State != MEM_COMMIT) {
    return 0;
  }
  return ModuleFileNameOf(static_cast<HMODULE>(memory.AllocationBase), buffer, size);
}

#ifdef CLOCKCAST_TEST_CLOCK
namespace {

// Each call keeps a page of its own, until the stack runs out.
int DescendForever(int depth) {
  volatile char page[4096];
  page[static_cast<unsigned>(depth) % sizeof page] = static_cast<char>(depth);
  return depth < 0 ? 0 : DescendForever(depth + 1) + page[0];
}

}  // namespace

void TestFault(std::string_view phase) {
  char text[32];
  const DWORD length = GetEnvironmentVariableA("CLOCKCAST_TEST_FAULT", text, sizeof text);
  if (length == 0 || length >= sizeof text) return;
  const std::string_view fault(text, length);
  if (fault.size() <= phase.size() || fault.substr(0, phase.size()) != phase ||
      fault[phase.size()] != ':') {
    return;
  }
  const std::string_view kind = fault.substr(phase.size() + 1);
  // Address 0x10 lies in the first 64 KiB, which Windows never maps.
  volatile std::uintptr_t address = 0x10;
  auto* const unmapped = reinterpret_cast<volatile int*>(address);
  volatile int one = 1;
  volatile int zero = 0;
  volatile int number = 0;
  volatile double large = 1e308;
  volatile double result = 0;
  if (kind == "read") number = *unmapped;
  if (kind == "write") *unmapped = 1;
  if (kind == "call") reinterpret_cast<void (*)()>(address)();
  if (kind == "divide") number = one / zero;
  // The x87 unit computes the product in its wider format and overflows on
  // the store to a double; the exception comes with the next instruction.
  if (kind == "overflow") result = large * large;
  result = result + number;
  if (kind == "stack") result = DescendForever(0);
}
#endif

}  // namespace clockcast::platform
