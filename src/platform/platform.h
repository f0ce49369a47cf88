// The one narrow interface between Clockcast and the operating system.
//
// Everything above this header is portable. Each function here has a POSIX
// implementation (posix.cpp) and a Win32 one (win32.cpp); the unit tests link
// a fake instead. The functions are named after the Win32 calls they stand
// for, and answer the way those calls answer, so that the portable logic can
// follow the Win32 behaviour to the letter while POSIX supplies equivalents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace clockcast::platform {

// The line terminator of every output line and of the failure report: the
// platform's own, so that shells on each side read the output as text.
#ifdef _WIN32
inline constexpr std::string_view kLineBreak = "\r\n";
#else
inline constexpr std::string_view kLineBreak = "\n";
#endif

// The output channel's buffer, and whether each write to the system carries
// whole lines. On POSIX a write to a pipe of at most PIPE_BUF (4,096) bytes,
// or to a file opened for appending, is not interleaved with the writes of
// other processes: lines handed over whole stay whole in a log that several
// runs append to at once. Windows keeps its 128-byte blocks.
#ifdef _WIN32
inline constexpr int kOutputCapacity = 128;
inline constexpr bool kWholeLineWrites = false;
#else
inline constexpr int kOutputCapacity = 4096;
inline constexpr bool kWholeLineWrites = true;
#endif

// Called once, first thing in the process, with what the C runtime passed to
// main. POSIX records the argument vector and ignores SIGPIPE and SIGXFSZ
// (LC_TIME is selected from the environment when a locale item is first
// asked); Win32 needs nothing from it.
void StartUp(int argc, char** argv);

// --- Command line and module path ------------------------------------------

// What the system hands the program: either one command-line string that the
// program splits itself (Win32: GetCommandLineA), or an argument vector the
// system has already split (POSIX argv, program name excluded).
struct CommandLineSource {
  const char* line = nullptr;  // zero-terminated whole command line, or null
  int count = 0;               // with no line: the arguments after the program name
  const char* const* arguments = nullptr;
};
CommandLineSource CommandLine();

// The address just past the character that starts at `p` (CharNextA): two
// bytes for a lead byte of the ANSI code page, one otherwise, never past the
// terminating zero.
const char* CharNext(const char* p);

// GetModuleFileNameA for the main module: copies the executable's full path,
// zero-terminated, and returns its length; 0 on failure. At most size - 1
// bytes are copied.
int ModuleFileName(char* buffer, int size);

// --- Local wall clock --------------------------------------------------------

// One reading of the local civil time (GetLocalTime).
struct LocalTime {
  std::uint16_t year = 0, month = 0, day = 0;
  std::uint16_t hour = 0, minute = 0, second = 0, millisecond = 0;
};
// Fills clock and returns true; false, with clock untouched, when the clock
// cannot be read (POSIX: clock_gettime or localtime_r fails). A year outside
// 0 to 65535 reads as the nearer bound.
bool ReadLocalClock(LocalTime& clock);

// --- User locale -------------------------------------------------------------

// The locale items the program asks for, by their Win32 names and numbers
// (LCTYPE). <windows.h> defines the same names as macros of the same
// values; win32.cpp, the one file that includes it, does so after this
// header.
enum LocaleInfoItem : std::uint32_t {
  LOCALE_SDATE = 0x1D,
  LOCALE_STIME = 0x1E,
  LOCALE_SSHORTDATE = 0x1F,
  LOCALE_SLONGDATE = 0x20,
  LOCALE_ITIME = 0x23,
  LOCALE_ITLZERO = 0x25,
  LOCALE_S1159 = 0x28,
  LOCALE_S2359 = 0x29,
  LOCALE_SDAYNAME1 = 0x2A,          // to 0x30, Monday first
  LOCALE_SABBREVDAYNAME1 = 0x31,    // to 0x37
  LOCALE_SMONTHNAME1 = 0x38,        // to 0x43
  LOCALE_SABBREVMONTHNAME1 = 0x44,  // to 0x4F
  LOCALE_IDEFAULTANSICODEPAGE = 0x1004,
  LOCALE_ITIMEMARKPOSN = 0x1005,
  LOCALE_ICALENDARTYPE = 0x1009,
};

std::uint32_t ThreadLocale();  // GetThreadLocale: 0 when none is known
// GetLocaleInfoA: copies the item's text and a terminating zero into buffer
// and returns the count including the zero; 0 when the item is unknown or
// does not fit. `item` is a LocaleInfoItem.
int LocaleInfo(std::uint32_t locale, std::uint32_t item, char* buffer, int size);
std::uint32_t AnsiCodePage();  // GetACP
// GetCPInfo: the lead-byte ranges of a code page as up to six (first, last)
// pairs ended by a (0, 0) pair. False when the code page is unknown.
bool CodePageLeadBytes(std::uint32_t codePage, std::uint8_t (&ranges)[12]);
std::uint32_t PlatformId();  // GetVersionExA's platform identifier, 0 on failure
int DbcsEnabled();           // GetSystemMetrics(SM_DBCSENABLED)

// GetDateFormatA with DATE_USE_ALT_CALENDAR: writes the era name (picture
// "gg") or the year of the era (pictures "yy", "yyyy") of the Gregorian date
// into out, zero-terminated; returns the count including the zero, 0 on
// failure.
int AltCalendarDate(std::uint32_t locale, std::uint16_t year, std::uint16_t month,
                    std::uint16_t day, const char* picture, char* out, int size);

// --- Standard output ---------------------------------------------------------

using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

enum class DeviceType { Unknown = 0, Disk = 1, Character = 2, Pipe = 3 };

Handle StdOutput();                // GetStdHandle(STD_OUTPUT_HANDLE)
DeviceType FileType(Handle file);  // GetFileType
// WriteFile: hands the bytes to the system, retrying a short write until all
// are taken or an error comes, and waiting while a non-blocking descriptor
// is full. Returns 0, or the system's error number.
int WriteFile(Handle file, const char* bytes, std::size_t count);
void CloseHandle(Handle file);

// --- Platform exceptions -----------------------------------------------------

// What the program learns of a platform exception (EXCEPTION_RECORD).
struct ExceptionRecord {
  std::uint32_t code = 0;              // ExceptionCode
  std::uintptr_t address = 0;          // ExceptionAddress: the instruction that failed
  std::uintptr_t information[2] = {};  // ExceptionInformation[0] and [1]
};
// Answers a platform exception and gives the exit code of the process.
using ExceptionHandler = int (*)(const ExceptionRecord& record);

// Win32: from here on every platform exception that no inner handler takes
// goes to the handler, and the process then ends with the code it gives
// (ExitProcess); floating-point invalid operation, division by zero and
// overflow raise exceptions, denormal operands, underflow and inexact results
// stay masked. POSIX: does nothing. A fault there (SIGSEGV, SIGBUS, SIGFPE,
// SIGILL) keeps the signal's default action, a core dump, which tells a
// POSIX user more than a report could.
void CatchExceptions(ExceptionHandler handler);
// Gives the handling back to what was there before CatchExceptions.
void ReleaseExceptions();
// GetModuleFileNameA for the module whose image holds the address, as
// VirtualQuery finds it (committed memory and its allocation base): the full
// path, zero-terminated, and its length; 0 when the address lies in no
// module. At most size - 1 bytes are copied.
int ModuleFileNameAt(std::uintptr_t address, char* buffer, int size);

#ifdef CLOCKCAST_TEST_CLOCK
// Test builds only: raises the platform exception that the environment
// variable CLOCKCAST_TEST_FAULT names, "<phase>:<kind>", when its phase is
// this one. Kinds: read and write (an access violation), call (a call to an
// address in no module), divide (integer division by zero), overflow
// (floating-point overflow), stack (overflow).
void TestFault(std::string_view phase);
#endif

}  // namespace clockcast::platform
