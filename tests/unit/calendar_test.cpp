// The calendar is checked against std::chrono's proleptic Gregorian calendar,
// which shares none of its code: every date of years 1 to 9999 is composed and
// split again, and the days of years 10000 to 65535 are split.

#include "datetime/calendar.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "fake_platform.h"
#include "runtime/failures.h"

namespace clockcast::datetime {
namespace {

namespace chr = std::chrono;

constexpr chr::sys_days kEpoch{chr::year{1899} / 12 / 30};
constexpr chr::sys_days kDayOne{chr::year{1} / 1 / 1};
constexpr std::int64_t kMillisPerDay = 86'400'000;

// Reports the first few mismatches of a long loop and counts the rest, so a
// systematic fault does not flood the log.
class MismatchLog {
 public:
  explicit MismatchLog(const char* what) : what_(what) {}
  ~MismatchLog() { EXPECT_EQ(count_, 0) << what_ << ": mismatches in total"; }
  void Add(const std::string& detail) {
    if (count_++ < 10) ADD_FAILURE() << what_ << ": " << detail;
  }

 private:
  const char* what_;
  long count_ = 0;
};

std::string Describe(const chr::year_month_day& ymd) {
  return std::to_string(static_cast<int>(ymd.year())) + "-" +
         std::to_string(static_cast<unsigned>(ymd.month())) + "-" +
         std::to_string(static_cast<unsigned>(ymd.day()));
}

bool SameDate(const CalendarDate& got, const chr::year_month_day& want, int yearShift = 0) {
  return got.year == static_cast<int>(want.year()) + yearShift &&
         got.month == static_cast<unsigned>(want.month()) &&
         got.day == static_cast<unsigned>(want.day());
}

std::string Describe(const CalendarDate& d) {
  return std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day);
}

// chrono numbers weekdays 0 = Sunday; the calendar 1 = Sunday.
std::int32_t ChronoWeekday(chr::sys_days day) {
  return static_cast<std::int32_t>(chr::weekday{day}.c_encoding()) + 1;
}

TEST(CalendarTest, EveryDateOfYearsOneToNineThousandNineHundredNinetyNine) {
  MismatchLog compose("ComposeDate"), split("SplitDate"), weekday("WeekdayOf"),
      dayNumber("SplitDayMillis"), withTime("date with a time of day");
  const chr::sys_days last{chr::year{9999} / 12 / 31};
  for (chr::sys_days day = kDayOne; day <= last; day += chr::days{1}) {
    const chr::year_month_day ymd{day};
    const auto y = static_cast<std::uint16_t>(static_cast<int>(ymd.year()));
    const auto m = static_cast<std::uint16_t>(static_cast<unsigned>(ymd.month()));
    const auto d = static_cast<std::uint16_t>(static_cast<unsigned>(ymd.day()));
    const double want = static_cast<double>((day - kEpoch).count());

    const DateTimeValue value = ComposeDate(y, m, d);
    if (value != want) compose.Add(Describe(ymd) + " gave " + std::to_string(value));

    const CalendarDate back = SplitDate(want);
    if (!SameDate(back, ymd)) split.Add(Describe(ymd) + " came back as " + Describe(back));

    if (WeekdayOf(want) != ChronoWeekday(day)) weekday.Add(Describe(ymd));

    const DayMillis dm = SplitDayMillis(want);
    if (dm.DayNumber != (day - kDayOne).count() + 1 || dm.MillisOfDay != 0) {
      dayNumber.Add(Describe(ymd) + " day number " + std::to_string(dm.DayNumber));
    }

    // 23:58:33.600 on the same day: forward from midnight for days from the
    // epoch on, and for days before it the fraction of the magnitude.
    const DateTimeValue late = want >= 0 ? want + 0.999 : want - 0.999;
    const CalendarDate lateDate = SplitDate(late);
    const ClockTime lateTime = SplitTime(late);
    if (!SameDate(lateDate, ymd) || WeekdayOf(late) != ChronoWeekday(day) || lateTime.hour != 23 ||
        lateTime.minute != 58 || lateTime.second != 33 || lateTime.millisecond != 600) {
      withTime.Add(Describe(ymd) + " came back as " + Describe(lateDate));
    }
  }
}

TEST(CalendarTest, DaysOfYearsTenThousandToSixtyFiveThousandFiveHundredThirtyFive) {
  // chrono's years stop at 32767; the Gregorian calendar repeats every 400
  // years (146,097 days), so the date 40,000 years earlier stands in.
  constexpr int kShiftYears = 40'000;
  constexpr std::int64_t kShiftDays = 100 * 146'097;
  const chr::sys_days first{chr::year{10'000 - kShiftYears} / 1 / 1};
  const chr::sys_days last{chr::year{65'535 - kShiftYears} / 12 / 31};
  MismatchLog split("SplitDate"), weekday("WeekdayOf");
  // Every day of the first and the last 400 years, every 97th day between.
  const chr::sys_days denseUntil = first + chr::days{146'097};
  const chr::sys_days denseFrom = last - chr::days{146'097};
  for (chr::sys_days day = first; day <= last;
       day += chr::days{day < denseUntil || day >= denseFrom ? 1 : 97}) {
    const std::int64_t dayNumber = (day - kDayOne).count() + 1 + kShiftDays;
    const double value = static_cast<double>(dayNumber - EpochDayNumber);
    const chr::year_month_day ymd{day};
    const CalendarDate got = SplitDate(value);
    if (!SameDate(got, ymd, kShiftYears)) {
      split.Add("day " + std::to_string(dayNumber) + " came back as " + Describe(got));
    }
    if (WeekdayOf(value) != ChronoWeekday(day)) weekday.Add("day " + std::to_string(dayNumber));
  }
}

TEST(CalendarTest, DatesAfterTheLastSixteenBitYearDecodeToZeroFields) {
  const std::int64_t lastDay =
      (chr::sys_days{chr::year{65'535 - 40'000} / 12 / 31} - kDayOne).count() + 1 + 100 * 146'097;
  const double last = static_cast<double>(lastDay - EpochDayNumber);
  const CalendarDate atLast = SplitDate(last + 0.5);
  EXPECT_EQ(atLast.year, 65535);
  EXPECT_EQ(atLast.month, 12);
  EXPECT_EQ(atLast.day, 31);
  for (const double value :
       {last + 1, last + 1.999, last + 400 * 365.2425, 2.4e7, 1e8, 1e15, 1e300}) {
    const CalendarDate date = SplitDate(value);
    EXPECT_EQ(date.year, 0) << value;
    EXPECT_EQ(date.month, 0) << value;
    EXPECT_EQ(date.day, 0) << value;
  }
  // The time of day of such a value is still its fraction.
  const ClockTime t = SplitTime(last + 1.5);
  EXPECT_EQ(t.hour, 12);
  EXPECT_EQ(t.minute, 0);
}

TEST(CalendarTest, ExtremeAndNonFiniteValuesStayInRange) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const double values[] = {kInf,
                           -kInf,
                           kNaN,
                           -kNaN,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::lowest(),
                           std::numeric_limits<double>::denorm_min(),
                           -std::numeric_limits<double>::denorm_min(),
                           9.2e18 / kMillisPerDay,
                           -9.2e18 / kMillisPerDay,
                           1.1e11,
                           -1.1e11,
                           2147483647.0,
                           -2147483648.0,
                           3e9,
                           -3e9,
                           1e20,
                           -1e20};
  for (const double value : values) {
    const DayMillis dm = SplitDayMillis(value);
    EXPECT_GE(dm.MillisOfDay, 0) << value;
    EXPECT_LT(dm.MillisOfDay, MillisPerDay) << value;
    const CalendarDate date = SplitDate(value);
    if (date.year == 0) {
      EXPECT_EQ(date.month, 0) << value;
      EXPECT_EQ(date.day, 0) << value;
    } else {
      EXPECT_GE(date.month, 1) << value;
      EXPECT_LE(date.month, 12) << value;
      EXPECT_GE(date.day, 1) << value;
      EXPECT_LE(date.day, 31) << value;
    }
    const ClockTime t = SplitTime(value);
    EXPECT_LE(t.hour, 23) << value;
    EXPECT_LE(t.minute, 59) << value;
    EXPECT_LE(t.second, 59) << value;
    EXPECT_LE(t.millisecond, 999) << value;
    const std::int32_t w = WeekdayOf(value);
    EXPECT_GE(w, -5) << value;
    EXPECT_LE(w, 7) << value;
  }
}

TEST(CalendarTest, SplitDayMillisOfKnownValues) {
  struct Case {
    double value;
    std::int32_t dayNumber, millisOfDay;
  } const cases[] = {
      {0.0, 693'594, 0},
      {-0.0, 693'594, 0},
      {1.0, 693'595, 0},
      {0.5, 693'594, 43'200'000},
      {36'526.0, 730'120, 0},
      {-693'593.0, 1, 0},
      {-693'594.0, 0, 0},
      {-693'595.0, -1, 0},
      // Negative values: the day counts toward zero, the time of day is the
      // fraction of the magnitude.
      {-0.25, 693'594, 21'600'000},
      {-1.25, 693'593, 21'600'000},
      {-0.75, 693'594, 64'800'000},
      {-1.0, 693'593, 0},
      {-1.999, 693'593, 86'313'600},
      // Rounding to whole milliseconds comes before the split.
      {1.0 - 0.4 / kMillisPerDay, 693'595, 0},
      {1.0 - 0.6 / kMillisPerDay, 693'594, 86'399'999},
      {-1.0 + 0.4 / kMillisPerDay, 693'593, 0},
      {-1.0 + 0.6 / kMillisPerDay, 693'594, 86'399'999},
  };
  for (const Case& c : cases) {
    const DayMillis dm = SplitDayMillis(c.value);
    EXPECT_EQ(dm.DayNumber, c.dayNumber) << c.value;
    EXPECT_EQ(dm.MillisOfDay, c.millisOfDay) << c.value;
  }
}

TEST(CalendarTest, NegativeValuesDecodeFromTheMagnitudesFraction) {
  struct Case {
    double value;
    int year, month, day, hour, minute;
  } const cases[] = {
      {-0.25, 1899, 12, 30, 6, 0}, {-1.25, 1899, 12, 29, 6, 0},   {-0.75, 1899, 12, 30, 18, 0},
      {-0.5, 1899, 12, 30, 12, 0}, {-365.5, 1898, 12, 30, 12, 0}, {0.25, 1899, 12, 30, 6, 0},
      {1.75, 1899, 12, 31, 18, 0},
  };
  for (const Case& c : cases) {
    const CalendarDate d = SplitDate(c.value);
    const ClockTime t = SplitTime(c.value);
    EXPECT_EQ(d.year, c.year) << c.value;
    EXPECT_EQ(d.month, c.month) << c.value;
    EXPECT_EQ(d.day, c.day) << c.value;
    EXPECT_EQ(t.hour, c.hour) << c.value;
    EXPECT_EQ(t.minute, c.minute) << c.value;
    EXPECT_EQ(t.second, 0) << c.value;
    EXPECT_EQ(t.millisecond, 0) << c.value;
  }
  EXPECT_EQ(WeekdayOf(-1.25), 6);  // 1899-12-29 was a Friday
  EXPECT_EQ(WeekdayOf(-0.75), 7);
}

TEST(CalendarTest, ALittleLessThanHalfAMillisecondBeforeMidnightIsTheNextDay) {
  const double value = 1.0 - 0.4 / kMillisPerDay;
  const CalendarDate d = SplitDate(value);
  const ClockTime t = SplitTime(value);
  EXPECT_EQ(d.year, 1899);
  EXPECT_EQ(d.month, 12);
  EXPECT_EQ(d.day, 31);
  EXPECT_EQ(t.hour, 0);
  EXPECT_EQ(t.minute, 0);
  EXPECT_EQ(t.second, 0);
  EXPECT_EQ(t.millisecond, 0);
  EXPECT_EQ(WeekdayOf(value), 1);  // 1899-12-31 was a Sunday

  const double earlier = 1.0 - 0.6 / kMillisPerDay;
  EXPECT_EQ(SplitDate(earlier).day, 30);
  const ClockTime e = SplitTime(earlier);
  EXPECT_EQ(e.hour, 23);
  EXPECT_EQ(e.minute, 59);
  EXPECT_EQ(e.second, 59);
  EXPECT_EQ(e.millisecond, 999);
}

// The signed millisecond count of a value, put together again from its day
// number and milliseconds of the day.
std::int64_t MillisOf(double value) {
  const DayMillis dm = SplitDayMillis(value);
  const std::int64_t days = static_cast<std::int64_t>(dm.DayNumber) - EpochDayNumber;
  const std::int64_t magnitude = (days < 0 ? -days : days) * kMillisPerDay + dm.MillisOfDay;
  return value < 0 ? -magnitude : magnitude;
}

TEST(CalendarTest, ExactHalfMillisecondsRoundToEven) {
  // j / 2048 days is j * 42,187.5 ms: for odd j the product is exactly
  // halfway between two counts, in every precision.
  struct Case {
    double value;
    std::int64_t millis;
  } const cases[] = {
      {1.0 / 2048, 42'188},   // 42,187.5 -> even above
      {3.0 / 2048, 126'562},  // 126,562.5 -> even below
      {5.0 / 2048, 210'938},  // 210,937.5
      {7.0 / 2048, 295'312},  // 295,312.5
      {36'526.0 + 1.0 / 2048, 36'526 * kMillisPerDay + 42'188},
      {36'526.0 + 3.0 / 2048, 36'526 * kMillisPerDay + 126'562},
      {2'958'465.0 + 2047.0 / 2048, 2'958'465 * kMillisPerDay + 86'357'812},  // .8125 -> even
      {-1.0 / 2048, -42'188},
      {-3.0 / 2048, -126'562},
      {-(28'531.0 + 3.0 / 2048), -(28'531 * kMillisPerDay + 126'562)},
  };
  for (const Case& c : cases) {
    const long double product = static_cast<long double>(c.value) * kMillisPerDay;
    ASSERT_EQ(product - std::floor(product), 0.5L) << "not a halfway case: " << c.value;
    EXPECT_EQ(MillisOf(c.value), c.millis) << c.value;
  }
}

TEST(CalendarTest, TheProductIsRoundedToASixtyFourBitSignificandFirst) {
  if (std::numeric_limits<long double>::digits != 64) {
    GTEST_SKIP() << "long double has no 64-bit significand here";
  }
  // The exact products of these values lie a little off the halfway point;
  // rounded to 64 significant bits they land exactly on it, and the tie then
  // goes to the even count (in exact arithmetic the other neighbour).
  struct Case {
    double value;
    std::int64_t millis;
  } const ties[] = {
      {0x1.1d5c00095c627p+15, 3'155'846'406'170},  // exact ...171 - tiny
      {0x1.bdcc00c95c627p+14, 2'465'078'466'366},
      {0x1.1d5c003cf29dep+15, 3'155'846'440'176},  // exact ...175 + tiny
      {0x1.bdcc009dd0147p+14, 2'465'078'452'014},
      {-0x1.1d5c003cf29dep+15, -3'155'846'440'176},
  };
  for (const Case& c : ties) {
    const long double product = static_cast<long double>(c.value) * kMillisPerDay;
    ASSERT_EQ(product - std::floor(product), 0.5L) << c.value;
    EXPECT_EQ(MillisOf(c.value), c.millis) << std::hexfloat << c.value;
  }
  // Here a product rounded to 53 bits would fall on the halfway point and go
  // the wrong way; with 64 bits it keeps the excess.
  const Case notTies[] = {
      {0x1.69240c0000070p+21, 255'611'419'200'005},
      {0x1.69240c00000ecp+21, 255'611'419'200'009},
      {0x1.69240c0000105p+21, 255'611'419'200'011},
  };
  for (const Case& c : notTies) {
    const double narrow = c.value * static_cast<double>(kMillisPerDay);
    ASSERT_EQ(narrow - std::floor(narrow), 0.5) << c.value;
    EXPECT_EQ(MillisOf(c.value), c.millis) << std::hexfloat << c.value;
  }
}

TEST(CalendarTest, CycleCorrections) {
  struct Case {
    int year, month, day;
  } const cases[] = {
      {2000, 12, 31}, {1600, 12, 31}, {400, 12, 31},  {2400, 12, 31}, {9600, 12, 31},
      {1996, 12, 31}, {2004, 12, 31}, {1, 12, 31},    {4, 12, 31},    {2001, 1, 1},
      {2000, 12, 30}, {1997, 1, 1},   {1900, 12, 31}, {2100, 12, 31}, {2000, 2, 29},
  };
  for (const Case& c : cases) {
    const chr::year_month_day ymd{chr::year{c.year}, chr::month{static_cast<unsigned>(c.month)},
                                  chr::day{static_cast<unsigned>(c.day)}};
    const double value = static_cast<double>((chr::sys_days{ymd} - kEpoch).count());
    EXPECT_TRUE(SameDate(SplitDate(value), ymd)) << Describe(ymd);
    const double late = value >= 0 ? value + 0.9999 : value - 0.9999;
    EXPECT_TRUE(SameDate(SplitDate(late), ymd)) << Describe(ymd);
  }
}

TEST(CalendarTest, WeekdaysBeforeTheFirstDay) {
  // DayNumber 0 and the days before it: the remainder takes the sign of the
  // day number, so 1 for multiples of -7, otherwise 0 down to -5.
  for (int n = 0; n >= -30; --n) {
    const double value = static_cast<double>(n - EpochDayNumber);
    EXPECT_EQ(WeekdayOf(value), 1 + n % 7) << "day number " << n;
    const CalendarDate d = SplitDate(value);
    EXPECT_EQ(d.year, 0) << n;
    EXPECT_EQ(d.month, 0) << n;
    EXPECT_EQ(d.day, 0) << n;
  }
  EXPECT_EQ(WeekdayOf(-693'594.0), 1);
  EXPECT_EQ(WeekdayOf(-693'595.0), 0);
  EXPECT_EQ(WeekdayOf(-693'600.0), -5);
  EXPECT_EQ(WeekdayOf(-693'601.0), 1);
  EXPECT_EQ(WeekdayOf(-693'594.5), 1);  // still day 0, counted toward zero
  EXPECT_EQ(WeekdayOf(-693'593.0), 2);  // 0001-01-01, a Monday
  EXPECT_EQ(WeekdayOf(0.0), 7);
  EXPECT_EQ(WeekdayOf(36'526.0), 7);
}

TEST(CalendarTest, KnownDates) {
  EXPECT_EQ(ComposeDate(2000, 1, 1), 36'526.0);
  EXPECT_EQ(ComposeDate(1900, 3, 1), 61.0);
  EXPECT_EQ(ComposeDate(1, 1, 1), -693'593.0);
  EXPECT_EQ(ComposeDate(9999, 12, 31), 2'958'465.0);
  EXPECT_EQ(ComposeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(ComposeDate(1978, 2, 10), 28'531.0);
  const CalendarDate first = SplitDate(-693'593.0);
  EXPECT_EQ(first.year, 1);
  EXPECT_EQ(first.month, 1);
  EXPECT_EQ(first.day, 1);
  const CalendarDate epoch = SplitDate(0.0);
  EXPECT_EQ(epoch.year, 1899);
  EXPECT_EQ(epoch.month, 12);
  EXPECT_EQ(epoch.day, 30);
}

TEST(CalendarTest, LeapYearsAgreeWithChrono) {
  for (int y = 0; y <= 65535; ++y) {
    const bool want = y <= 32767 ? chr::year{y}.is_leap() : chr::year{y - 40'000}.is_leap();
    ASSERT_EQ(YearIsLeap(static_cast<std::uint16_t>(y)), want) << y;
  }
}

TEST(CalendarTest, ComposeDateAcceptsExactlyTheValidDates) {
  MismatchLog log("TryComposeDate");
  for (int y = 0; y <= 10'001; ++y) {
    for (unsigned m = 0; m <= 13; ++m) {
      for (unsigned d = 0; d <= 32; ++d) {
        const chr::year_month_day ymd{chr::year{y}, chr::month{m}, chr::day{d}};
        const bool valid = y >= 1 && y <= 9999 && ymd.ok();
        DateTimeValue result = 12'345.5;
        const bool ok = TryComposeDate(static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(m),
                                       static_cast<std::uint16_t>(d), result);
        if (ok != valid) {
          log.Add(std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d));
        } else if (!ok && result != 12'345.5) {
          log.Add("result touched on failure");
        } else if (ok && result != static_cast<double>((chr::sys_days{ymd} - kEpoch).count())) {
          log.Add("value of " + Describe(ymd));
        }
      }
    }
  }
  // Large unsigned arguments have no lower bound to wrap around.
  DateTimeValue result = 1.0;
  EXPECT_FALSE(TryComposeDate(65535, 1, 1, result));
  EXPECT_FALSE(TryComposeDate(2000, 65535, 1, result));
  EXPECT_FALSE(TryComposeDate(2000, 1, 65535, result));
  EXPECT_EQ(result, 1.0);
}

template <class Compose>
void ExpectConvertError(Compose compose, const std::string& message) {
  try {
    compose();
    ADD_FAILURE() << "no failure raised; expected: " << message;
  } catch (const runtime::EConvertError& failure) {
    EXPECT_EQ(failure.Message(), message);
    EXPECT_EQ(failure.ClassName(), "EConvertError");
  }
}

TEST(CalendarTest, ComposeDateFailures) {
  const char* const text = "Invalid argument to date encode";
  ExpectConvertError([] { ComposeDate(0, 1, 1); }, text);
  ExpectConvertError([] { ComposeDate(10'000, 1, 1); }, text);
  ExpectConvertError([] { ComposeDate(2000, 0, 1); }, text);
  ExpectConvertError([] { ComposeDate(2000, 13, 1); }, text);
  ExpectConvertError([] { ComposeDate(2000, 1, 0); }, text);
  ExpectConvertError([] { ComposeDate(2000, 4, 31); }, text);
  ExpectConvertError([] { ComposeDate(1900, 2, 29); }, text);
  ExpectConvertError([] { ComposeDate(2100, 2, 29); }, text);
  ExpectConvertError([] { ComposeDate(2000, 2, 30); }, text);
  EXPECT_EQ(ComposeDate(2000, 2, 29), 36'585.0);
}

TEST(CalendarTest, ComposeTimeFailures) {
  const char* const text = "Invalid argument to time encode";
  ExpectConvertError([] { ComposeTime(24, 0, 0, 0); }, text);
  ExpectConvertError([] { ComposeTime(0, 60, 0, 0); }, text);
  ExpectConvertError([] { ComposeTime(0, 0, 60, 0); }, text);
  ExpectConvertError([] { ComposeTime(0, 0, 0, 1000); }, text);
  ExpectConvertError([] { ComposeTime(65535, 0, 0, 0); }, text);
  DateTimeValue result = 3.5;
  EXPECT_FALSE(TryComposeTime(0, 0, 0, 65535, result));
  EXPECT_EQ(result, 3.5);
  EXPECT_EQ(ComposeTime(23, 59, 59, 999), 86'399'999.0 / 86'400'000.0);
  EXPECT_EQ(ComposeTime(0, 0, 0, 0), 0.0);
  EXPECT_EQ(ComposeTime(12, 0, 0, 0), 0.5);
}

void ExpectTimeRoundTrip(int h, int m, int s, int ms, MismatchLog& log) {
  const auto value = ComposeTime(static_cast<std::uint16_t>(h), static_cast<std::uint16_t>(m),
                                 static_cast<std::uint16_t>(s), static_cast<std::uint16_t>(ms));
  const double want = static_cast<double>(h * 3'600'000 + m * 60'000 + s * 1'000 + ms) /
                      static_cast<double>(kMillisPerDay);
  const ClockTime t = SplitTime(value);
  if (value != want || t.hour != h || t.minute != m || t.second != s || t.millisecond != ms) {
    log.Add(std::to_string(h) + ":" + std::to_string(m) + ":" + std::to_string(s) + "." +
            std::to_string(ms));
  }
}

TEST(CalendarTest, TimesRoundTrip) {
  MismatchLog log("ComposeTime/SplitTime");
  for (int h = 0; h < 24; ++h) {
    for (int m = 0; m < 60; ++m) {
      for (int s = 0; s < 60; ++s)
        ExpectTimeRoundTrip(h, m, s, (h * 7 + m * 13 + s * 17) % 1000, log);
    }
  }
  for (const int minute : {0, 754, 1439}) {
    for (int s = 0; s < 60; ++s) {
      for (int ms = 0; ms < 1000; ++ms) ExpectTimeRoundTrip(minute / 60, minute % 60, s, ms, log);
    }
  }
}

TEST(CalendarTest, TimeOfDayOnDistantDays) {
  // The time of day survives a large integer part, before and after the epoch.
  for (const double day : {2'958'465.0, 2'000'000.0, 36'526.0, -693'593.0, -100'000.0}) {
    for (int millis = 0; millis < kMillisPerDay; millis += 999'983) {
      const double fraction = millis / static_cast<double>(kMillisPerDay);
      const double value = day >= 0 ? day + fraction : day - fraction;
      const DayMillis dm = SplitDayMillis(value);
      EXPECT_EQ(dm.MillisOfDay, millis) << day;
      EXPECT_EQ(dm.DayNumber, static_cast<std::int32_t>(day) + EpochDayNumber) << day;
    }
  }
}

class CalendarClockTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::ResetFake(); }
  void TearDown() override { testing::ResetFake(); }
};

TEST_F(CalendarClockTest, CurrentDateIsTodayAtMidnight) {
  testing::Fake().clock = {1978, 2, 10, 14, 5, 9, 7};
  EXPECT_EQ(CurrentDate(), 28'531.0);
  testing::Fake().clock = {2000, 2, 29, 23, 59, 59, 999};
  EXPECT_EQ(CurrentDate(), 36'585.0);
  testing::Fake().clock = {9999, 12, 31, 0, 0, 0, 0};
  EXPECT_EQ(CurrentDate(), 2'958'465.0);
}

TEST_F(CalendarClockTest, CurrentDateFailsAfterTheYear9999) {
  testing::Fake().clock = {10'000, 1, 1, 0, 0, 0, 0};
  ExpectConvertError([] { CurrentDate(); }, "Invalid argument to date encode");
}

TEST_F(CalendarClockTest, CurrentTimeOfDayCarriesTheMilliseconds) {
  testing::Fake().clock = {1978, 2, 10, 14, 5, 9, 7};
  const DateTimeValue now = CurrentTimeOfDay();
  EXPECT_EQ(std::floor(now), 0.0);
  EXPECT_EQ(now, 50'709'007.0 / 86'400'000.0);
  const ClockTime t = SplitTime(now);
  EXPECT_EQ(t.hour, 14);
  EXPECT_EQ(t.minute, 5);
  EXPECT_EQ(t.second, 9);
  EXPECT_EQ(t.millisecond, 7);
  const CalendarDate d = SplitDate(now);
  EXPECT_EQ(d.year, 1899);
  EXPECT_EQ(d.month, 12);
  EXPECT_EQ(d.day, 30);

  testing::Fake().clock = {2024, 6, 1, 23, 59, 59, 999};
  const DateTimeValue late = CurrentTimeOfDay();
  EXPECT_LT(late, 1.0);
  EXPECT_EQ(SplitDate(late).day, 30);
  EXPECT_EQ(SplitTime(late).millisecond, 999);
}

TEST_F(CalendarClockTest, EachReadAsksTheClockAgain) {
  testing::Fake().clock = {2024, 6, 1, 10, 0, 0, 0};
  const DateTimeValue first = CurrentDate();
  testing::Fake().clock = {2024, 6, 2, 10, 0, 0, 0};
  EXPECT_EQ(CurrentDate(), first + 1);
}

}  // namespace
}  // namespace clockcast::datetime
