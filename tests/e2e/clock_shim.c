/* A clock the end-to-end tests set, preloaded into the program under test
 * (LD_PRELOAD) on every architecture.
 *
 * libfaketime, as Debian 12 ships it, replaces clock_gettime but not
 * __clock_gettime64, the name under which a 32-bit program built with
 * _TIME_BITS=64 calls it; on i386 and armhf the clock would run free. This
 * library answers both names for CLOCK_REALTIME, with libfaketime's settings
 * in the one form the tests use:
 *
 *   FAKETIME_FMT=%s FAKETIME=[@]SECONDS[.FRACTION]
 *       seconds since 1970 (negative before), the fraction up to nine
 *       digits; with "@" the clock runs on from there, without it stands
 *       still.
 *   CLOCKCAST_SHIM_ERRNO=NUMBER
 *       every read fails with that error number, as clock_gettime does for a
 *       time its time_t cannot hold (75, EOVERFLOW).
 *
 * Other clocks, and every clock when neither is set, are the C library's.
 */
#define _GNU_SOURCE
/* Both names are defined here, each with its own time_t: the headers must not
 * turn clock_gettime into __clock_gettime64, as they do for the program. */
#undef _TIME_BITS
#undef _FILE_OFFSET_BITS
#include <dlfcn.h>
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* struct timespec of a program built with a 64-bit time_t: on a 32-bit
 * target the nanoseconds are a 32-bit long padded to 64 bits. */
struct timespec64 {
  int64_t tv_sec;
#if __SIZEOF_LONG__ == 4 && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  int32_t padding;
#endif
  long tv_nsec;
#if __SIZEOF_LONG__ == 4 && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  int32_t padding;
#endif
};

/* The C library's own function of that name. */
static int Next(const char* name, clockid_t clock, void* now) {
  int (*next)(clockid_t, void*) = NULL;
  void* found = dlsym(RTLD_NEXT, name);
  memcpy(&next, &found, sizeof next); /* ISO C has no cast between the two */
  if (next == NULL) {
    errno = ENOSYS;
    return -1;
  }
  return next(clock, now);
}

/* The C library's monotonic clock in nanoseconds, through the name that
 * reads it whole on this target. */
static int64_t Monotonic(void) {
  struct timespec64 t;
  memset(&t, 0, sizeof t);
  if (sizeof(long) == 4) {
    Next("__clock_gettime64", CLOCK_MONOTONIC, &t);
  } else {
    Next("clock_gettime", CLOCK_MONOTONIC, &t);
  }
  return t.tv_sec * 1000000000 + t.tv_nsec;
}

enum answer { kLibrary, kSet, kError };

/* What the settings make of a CLOCK_REALTIME read. */
static enum answer Answer(int64_t* seconds, long* nanoseconds) {
  const char* error = getenv("CLOCKCAST_SHIM_ERRNO");
  if (error != NULL) {
    errno = atoi(error) > 0 ? atoi(error) : EINVAL;
    return kError;
  }
  const char* text = getenv("FAKETIME");
  const char* format = getenv("FAKETIME_FMT");
  if (text == NULL || format == NULL || strcmp(format, "%s") != 0) return kLibrary;
  const int ticking = text[0] == '@';
  char* end = NULL;
  errno = 0;
  const long long whole = strtoll(text + ticking, &end, 10);
  if (errno != 0 || end == text + ticking) return kLibrary;
  long fraction = 0;
  int digits = 0;
  if (*end == '.') {
    for (++end; *end >= '0' && *end <= '9' && digits < 9; ++end, ++digits) {
      fraction = fraction * 10 + (*end - '0');
    }
    for (int d = digits; d < 9; ++d) fraction *= 10;
  }
  if (*end != '\0') return kLibrary;
  *seconds = whole;
  *nanoseconds = fraction;
  if (ticking) {
    static int64_t start = -1; /* the first read: the set time */
    const int64_t now = Monotonic();
    if (start < 0) start = now;
    const int64_t since = now - start + fraction;
    *seconds += since / 1000000000;
    *nanoseconds = (long)(since % 1000000000);
  }
  return kSet;
}

int __clock_gettime64(clockid_t clock, struct timespec64* now) {
  int64_t seconds = 0;
  long nanoseconds = 0;
  const enum answer answer = clock == CLOCK_REALTIME ? Answer(&seconds, &nanoseconds) : kLibrary;
  if (answer == kLibrary) return Next("__clock_gettime64", clock, now);
  if (answer == kError) return -1;
  memset(now, 0, sizeof *now);
  now->tv_sec = seconds;
  now->tv_nsec = nanoseconds;
  return 0;
}

/* The plain name: the whole call on a 64-bit target; on a 32-bit one the
 * call of a program with a 32-bit time_t, which fails with EOVERFLOW for a
 * time it cannot hold, as the C library's does. */
int clock_gettime(clockid_t clock, struct timespec* now) {
  int64_t seconds = 0;
  long nanoseconds = 0;
  const enum answer answer = clock == CLOCK_REALTIME ? Answer(&seconds, &nanoseconds) : kLibrary;
  if (answer == kLibrary) return Next("clock_gettime", clock, now);
  if (answer == kError) return -1;
  if ((time_t)seconds != seconds) {
    errno = EOVERFLOW;
    return -1;
  }
  now->tv_sec = (time_t)seconds;
  now->tv_nsec = nanoseconds;
  return 0;
}
