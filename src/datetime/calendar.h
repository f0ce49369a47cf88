// The date-time value and the proleptic Gregorian calendar.
//
// A DateTimeValue is a double: its integer part counts days from 30 December
// 1899, its fraction is the part of the day elapsed. Negative values lie
// before the epoch and take their time of day from the fraction of the
// magnitude (-0.25 is 1899-12-30 06:00). Values are never normalised.
//
// Every decomposition starts from SplitDayMillis, which turns the value into
// whole milliseconds first: the product with 86,400,000 is rounded to the
// nearest integer, ties to even, in extended precision. Only then is it
// divided into a day number (0001-01-01 is day 1) and milliseconds of the
// day, so a value less than half a millisecond before midnight belongs to
// the next day.
#pragma once

#include <cstdint>

namespace clockcast::datetime {

using DateTimeValue = double;

inline constexpr std::int32_t MillisPerDay = 86'400'000;
inline constexpr std::int32_t EpochDayNumber = 693'594;  // 1899-12-30

struct DayMillis {
  std::int32_t DayNumber;    // 0001-01-01 is day 1
  std::int32_t MillisOfDay;  // 0 to 86,399,999
};

struct CalendarDate {
  std::uint16_t year, month, day;  // all 0 outside 0001-01-01 .. 65535-12-31
};

struct ClockTime {
  std::uint16_t hour, minute, second, millisecond;
};

DayMillis SplitDayMillis(DateTimeValue value);

bool YearIsLeap(std::uint16_t year);
bool TryComposeDate(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                    DateTimeValue& result);
// Raises EConvertError "Invalid argument to date encode".
DateTimeValue ComposeDate(std::uint16_t year, std::uint16_t month, std::uint16_t day);
bool TryComposeTime(std::uint16_t hour, std::uint16_t minute, std::uint16_t second,
                    std::uint16_t millisecond, DateTimeValue& result);
// Raises EConvertError "Invalid argument to time encode".
DateTimeValue ComposeTime(std::uint16_t hour, std::uint16_t minute, std::uint16_t second,
                          std::uint16_t millisecond);

// The date, the time of day and the weekday of a value, from the parts
// SplitDayMillis gave it, so that a caller splits the value once.
CalendarDate DateOfDay(std::int32_t dayNumber);  // defined below
ClockTime TimeOfDay(std::int32_t millisOfDay);
// 1 = Sunday .. 7 = Saturday; -5 to 1 before 0001-01-01.
std::int32_t WeekdayOfDay(std::int32_t dayNumber);

// Today at 00:00:00.000, from the local wall clock.
DateTimeValue CurrentDate();
// The local time of day on day 0 (30 December 1899), milliseconds included.
DateTimeValue CurrentTimeOfDay();

inline constexpr std::uint32_t kDaysPer400Years = 146'097;
// From 0000-03-01 to 0001-01-01.
inline constexpr std::uint32_t kDaysMarchToJanuary = 306;
// The day number of 65535-12-31, the last day a 16-bit year can hold.
inline constexpr std::int32_t kLastDayNumber = 23'936'166;

// Inline: the formatter decodes a date per call, and a call returning the
// three fields through memory costs it more than the arithmetic.
inline CalendarDate DateOfDay(std::int32_t n) {
  // Days before 0001-01-01 decode to zero fields. So do days after
  // 65535-12-31, whose year a 16-bit field cannot hold.
  if (n <= 0 || n > kLastDayNumber) return {0, 0, 0};
  // Years are counted here from 1 March, so that the leap day is the last
  // day of its year; 0001-01-01 is then day 306 of the year begun on
  // 0000-03-01, and the 400-year cycles start on a 1 March too. Each step
  // below is one multiplication and shift, so that the decode is a short
  // chain: the century and the day of the century, with a quarter day added
  // per day so that the leap days fall on whole days of the quotient; then
  // the year of the century and the day of the year from one product with
  // 2^32 / 1461 rounded up, whose high half counts the years and whose low
  // half is the fraction of the year gone; then the month and the day from
  // one product, the months from March repeating 31 30 31 30 31 days.
  // These steps and their constants (2,939,745; 2,141 and 197,913) are those
  // of C. Neri and L. Schneider, "Euclidean affine functions and their
  // application to calendar algorithms", Software: Practice and Experience,
  // 2022.
  const std::uint32_t z = static_cast<std::uint32_t>(n - 1) + kDaysMarchToJanuary;
  const std::uint32_t quarterDays = 4 * z + 3;
  // A century averages 36,524.25 days: as many quarter days as 400 years have days.
  const std::uint32_t century = quarterDays / kDaysPer400Years;
  const std::uint32_t dayOfCentury = quarterDays % kDaysPer400Years / 4;
  const std::uint64_t yearProduct = std::uint64_t{2'939'745} * (4 * dayOfCentury + 3);
  const auto yearOfCentury = static_cast<std::uint32_t>(yearProduct >> 32);
  const std::uint32_t dayOfYear = static_cast<std::uint32_t>(yearProduct) / 2'939'745 / 4;
  const std::uint32_t monthProduct = 2'141 * dayOfYear + 197'913;
  const std::uint32_t monthFromMarch = monthProduct >> 16;  // 3 is March, 14 February
  const bool nextYear = dayOfYear >= 306;                   // January and February
  const auto day = static_cast<std::uint16_t>((monthProduct & 0xFFFF) / 2'141 + 1);
  const auto month = static_cast<std::uint16_t>(nextYear ? monthFromMarch - 12 : monthFromMarch);
  const auto year = static_cast<std::uint16_t>(100 * century + yearOfCentury + (nextYear ? 1 : 0));
  return {year, month, day};
}

}  // namespace clockcast::datetime
