// The calendar against std::chrono's proleptic Gregorian calendar, plus the
// rounding and the field checks chrono has no notion of. Values outside the
// calendar are the format engine's rows and the format fuzz target's; reading
// the clock is the end-to-end table's.

#include "datetime/calendar.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string_view>

#include "runtime/failures.h"

namespace clockcast::datetime {
namespace {

namespace chr = std::chrono;

// A value split once and decoded, as the format engine decodes it.
CalendarDate SplitDate(DateTimeValue value) {
  return DateOfDay(SplitDayMillis(value).DayNumber);
}
ClockTime SplitTime(DateTimeValue value) {
  return TimeOfDay(SplitDayMillis(value).MillisOfDay);
}
std::int32_t WeekdayOf(DateTimeValue value) {
  return WeekdayOfDay(SplitDayMillis(value).DayNumber);
}

template <class Compose>
void ExpectConvertError(Compose compose, std::string_view message) {
  try {
    compose();
    ADD_FAILURE() << "no failure raised: " << message;
  } catch (const runtime::EConvertError& failure) {
    EXPECT_EQ(failure.Message(), message);
  }
}

TEST(CalendarTest, EveryDayAgreesWithChrono) {
  // Every day of years 1 to 9999 and of the last 400 years up to 65535, every
  // 97th day between (chrono, which stops at 32767, is asked for the same day
  // 100 cycles of 400 years earlier), each with another time of day.
  constexpr std::int32_t kLast = 23'936'166, k9999 = 3'652'059, kCycle = 146'097;
  const chr::sys_days dayOne{chr::year{1} / 1 / 1};
  for (std::int32_t n = 1, bad = 0; n <= kLast && bad < 10;
       n += n <= k9999 || n >= kLast - kCycle ? 1 : 97) {
    const std::int32_t shift = n > k9999 ? 100 : 0;
    const chr::sys_days day = dayOne + chr::days{n - 1 - shift * kCycle};
    const chr::year_month_day ymd{day};
    const auto y = static_cast<std::uint16_t>(static_cast<int>(ymd.year()) + shift * 400);
    const auto m = static_cast<std::uint16_t>(static_cast<unsigned>(ymd.month()));
    const auto d = static_cast<std::uint16_t>(static_cast<unsigned>(ymd.day()));
    const auto wd = static_cast<std::int32_t>(chr::weekday{day}.c_encoding()) + 1;
    const std::int32_t ms = static_cast<std::int32_t>(n * 7'919LL % MillisPerDay);
    const auto hh = ms / 3'600'000, mi = ms / 60'000 % 60, ss = ms / 1'000 % 60, zz = ms % 1'000;
    const DateTimeValue v = n - EpochDayNumber, time = ComposeTime(hh, mi, ss, zz);
    // Before 1899-12-30 the time of day is the fraction of the magnitude.
    const DateTimeValue at = v >= 0 ? v + time : v - time;
    const CalendarDate a = SplitDate(v), b = SplitDate(at);
    const ClockTime t = SplitTime(at);
    if (a.year != y || a.month != m || a.day != d || b.year != y || b.month != m || b.day != d ||
        WeekdayOf(v) != wd || WeekdayOf(at) != wd || time != ms / 86'400'000.0 || t.hour != hh ||
        t.minute != mi || t.second != ss || t.millisecond != zz ||
        (n <= k9999 && ComposeDate(y, m, d) != v)) {
      ++bad;
      ADD_FAILURE() << "day " << n << " " << y << "-" << m << "-" << d << " ms " << ms;
    }
  }
}

TEST(CalendarTest, SplitDayMillisRoundsFirst) {
  constexpr double kMs = MillisPerDay;
  struct {
    double value;
    std::int32_t dayNumber, millis;
    bool needs64 = false;
  } const cases[] = {
      {0.5, 693'594, 43'200'000},
      {-0.25, 693'594, 21'600'000},  // days count toward zero, time from the magnitude
      {-1.25, 693'593, 21'600'000},
      {1 - 0.4 / kMs, 693'595, 0},  // under half a millisecond before midnight: next day
      {1 - 0.6 / kMs, 693'594, 86'399'999},
      {-1 + 0.4 / kMs, 693'593, 0},
      {-1 + 0.6 / kMs, 693'594, 86'399'999},
      {1.0 / 2048, 693'594, 42'188},  // exact half milliseconds go to even
      {3.0 / 2048, 693'594, 126'562},
      {-3.0 / 2048, 693'594, 126'562},
      {0x1.1d5c00095c627p+15, 730'120, 6'170, true},  // halfway only at 64 bits: even
      {0x1.1d5c003cf29dep+15, 730'120, 40'176, true},
      {0x1.69240c0000070p+21, 3'652'059, 43'200'005, true},  // halfway at 53 bits only
  };
  constexpr int kDigits = std::numeric_limits<long double>::digits;
  int notHere = 0;
  for (const auto& c : cases) {
    if (c.needs64 && kDigits != 64) {
      ++notHere;
      continue;
    }
    const DayMillis dm = SplitDayMillis(c.value);
    EXPECT_EQ(dm.DayNumber, c.dayNumber) << std::hexfloat << c.value;
    EXPECT_EQ(dm.MillisOfDay, c.millis) << std::hexfloat << c.value;
  }
  if (notHere != 0) {
    GTEST_SKIP() << notHere << " rows need a long double of 64 digits; this one has " << kDigits;
  }
}

TEST(CalendarTest, ComposeRejectsInvalidFields) {
  const std::uint16_t dates[][3] = {{0, 1, 1},     {10'000, 1, 1}, {65'535, 1, 1},
                                    {2000, 0, 1},  {2000, 13, 1},  {2000, 1, 0},
                                    {2000, 1, 32}, {2000, 4, 31},  {1900, 2, 29},
                                    {2100, 2, 29}, {2000, 2, 30},  {2000, 1, 65'535}};
  for (const auto& f : dates) {
    DateTimeValue r = 7.5;
    EXPECT_TRUE(!TryComposeDate(f[0], f[1], f[2], r) && r == 7.5)
        << f[0] << "-" << f[1] << "-" << f[2];
    ExpectConvertError([&] { ComposeDate(f[0], f[1], f[2]); }, "Invalid argument to date encode");
  }
  const std::uint16_t times[][4] = {{24, 0, 0, 0},    {0, 60, 0, 0},     {0, 0, 60, 0},
                                    {0, 0, 0, 1'000}, {65'535, 0, 0, 0}, {0, 0, 0, 65'535}};
  for (const auto& f : times) {
    DateTimeValue r = 7.5;
    EXPECT_TRUE(!TryComposeTime(f[0], f[1], f[2], f[3], r) && r == 7.5) << f[0] << ":" << f[3];
    ExpectConvertError([&] { ComposeTime(f[0], f[1], f[2], f[3]); },
                       "Invalid argument to time encode");
  }
}

}  // namespace
}  // namespace clockcast::datetime
