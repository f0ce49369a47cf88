// The POSIX platform layer: parameters from argv, the clock from the C
// library, standard output on descriptor 1. The locale answers live in
// posix_locale.cpp.

#include <cerrno>
#include <csignal>
#include <ctime>
#include <new>

#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"
#include "platform/posix.h"

namespace clockcast::platform {

namespace {
int argumentCount = 0;
char** argumentVector = nullptr;

// The room that MakeRoomForCLibrary makes in the heap, and in the address
// space besides what the caller asks for. Measured with the GNU C library,
// the calls need some 12 KiB of heap (a locale's names and its alias table,
// the largest time zone with the stream that reads it, an era table) and
// 36 KiB of mappings (a locale's LC_TIME file, the character-set converters'
// cache); without that cache, loading a locale reads the converters'
// configuration into 160 KiB of heap, which the address space then holds.
// The heap block stays below the size that the allocator would map apart
// (128 KiB), so that it is given back to the heap.
constexpr std::size_t kHeapRoom = 64 * 1024;
constexpr std::size_t kMappedRoom = 384 * 1024;

// Memory exhausted in the platform layer, raised as a failed allocation
// raises it: through the new handler, which the runtime sets.
[[noreturn]] void RaiseOutOfMemory() {
  if (const std::new_handler handler = std::get_new_handler()) handler();
  throw std::bad_alloc();
}

// Whether the C library has loaded the time zone: it does at the first
// conversion to local time and keeps it.
bool timeZoneLoaded = false;
}  // namespace

void StartUp(int argc, char** argv) {
  argumentCount = argc;
  argumentVector = argv;
  // A reader that has gone away, or a file that reaches the size limit of
  // the process, must show up as a failed write (EPIPE, EFBIG), reported like
  // any other, not as a silent kill by SIGPIPE or SIGXFSZ.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

CommandLineSource CommandLine() {
  if (argumentCount < 1 || argumentVector == nullptr) return {};
  return {nullptr, argumentCount - 1, argumentVector + 1};
}

const char* CharNext(const char* p) {
  return *p == '\0' ? p : p + 1;
}

int ModuleFileName(char* buffer, int size) {
  if (size <= 0) return 0;
  const ssize_t n = readlink("/proc/self/exe", buffer, static_cast<std::size_t>(size - 1));
  if (n <= 0) {
    buffer[0] = '\0';
    return 0;
  }
  buffer[n] = '\0';
  return static_cast<int>(n);
}

// A 32-bit time_t stops in January 2038 and cannot hold a clock before
// December 1901: glibc's 32-bit targets are built with _TIME_BITS=64.
static_assert(sizeof(time_t) >= 8, "build with -D_TIME_BITS=64 -D_FILE_OFFSET_BITS=64");

bool ReadLocalClock(LocalTime& clock) {
  timespec now{};
  std::tm local{};
  // A clock that fails (EOVERFLOW, EINVAL) or a time whose year the C
  // library cannot hold gives no reading, never the epoch or a stale tm.
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  if (!timeZoneLoaded) {
    posix::MakeRoomForCLibrary(0);
    timeZoneLoaded = true;
  }
  if (localtime_r(&now.tv_sec, &local) == nullptr) return false;
  // A year outside the 16-bit field reads as its nearer bound, which the
  // calendar refuses like every year outside 1 to 9999, instead of wrapping
  // round to a year it would accept. tm_year is compared before 1900 is added,
  // which could overflow.
  const int year = local.tm_year > 65535 - 1900 ? 65535
                   : local.tm_year < -1900      ? 0
                                                : local.tm_year + 1900;
  // A clock's millisecond field: whole milliseconds, truncated.
  clock = {static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(local.tm_mon + 1),
           static_cast<std::uint16_t>(local.tm_mday), static_cast<std::uint16_t>(local.tm_hour),
           static_cast<std::uint16_t>(local.tm_min),
           // A leap second reads as the 59th, as a wall clock shows it.
           static_cast<std::uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec),
           static_cast<std::uint16_t>(now.tv_nsec / 1'000'000)};
  return true;
}

Handle StdOutput() {
  return STDOUT_FILENO;
}

DeviceType FileType(Handle file) {
  struct stat info {};
  if (fstat(static_cast<int>(file), &info) != 0) return DeviceType::Unknown;
  if (S_ISCHR(info.st_mode)) return DeviceType::Character;
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return DeviceType::Pipe;
  return DeviceType::Disk;
}

int WriteFile(Handle file, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t n = write(static_cast<int>(file), bytes, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      // A descriptor in non-blocking mode (a pipe whose other end belongs to
      // an event loop) refuses while its reader is behind: wait until it
      // takes bytes again, as a blocking write would.
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd writable{static_cast<int>(file), POLLOUT, 0};
        if (poll(&writable, 1, -1) >= 0 || errno == EINTR) continue;
      }
      return errno;
    }
    bytes += n;
    count -= static_cast<std::size_t>(n);
  }
  return 0;
}

// Descriptor 1 belongs to the process; it is never closed here.
void CloseHandle(Handle) {}

char** posix::StartEnvironment() {
  // The environment follows the arguments and their closing null pointer,
  // as the system lays them out at the start of every process.
  return argumentVector == nullptr ? nullptr : argumentVector + argumentCount + 1;
}

void posix::MakeRoomForCLibrary(std::size_t mapped) {
  // The heap block goes back to the allocator, which keeps it for the next
  // allocations: the C library's. A failed allocation raises out of memory.
  void* const heap = ::operator new(kHeapRoom);
  // The address space goes back to the system, where the C library's
  // mappings (or the heap, growing) find it. It is only reserved, never
  // touched: what a call can run into is a limit on the address space.
  const std::size_t size = kMappedRoom + mapped;
  void* const space = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ::operator delete(heap);
  if (space == MAP_FAILED) RaiseOutOfMemory();
  munmap(space, size);
}

// SIGSEGV, SIGBUS, SIGFPE and SIGILL keep their default actions: the process
// ends with the signal and a core dump, which shows a POSIX user where it
// failed; a report on standard output could only name the class. The
// floating-point exceptions stay masked, as IEEE 754 has them by default.
void CatchExceptions(ExceptionHandler) {}
void ReleaseExceptions() {}
int ModuleFileNameAt(std::uintptr_t, char*, int) {
  return 0;
}

}  // namespace clockcast::platform
