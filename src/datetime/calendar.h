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

CalendarDate SplitDate(DateTimeValue value);
ClockTime SplitTime(DateTimeValue value);
// 1 = Sunday .. 7 = Saturday; -5 to 1 before 0001-01-01.
std::int32_t WeekdayOf(DateTimeValue value);

// The same three from the parts SplitDayMillis gave, for a caller that
// decodes one value more than once.
CalendarDate DateOfDay(std::int32_t dayNumber);
ClockTime TimeOfDay(std::int32_t millisOfDay);
std::int32_t WeekdayOfDay(std::int32_t dayNumber);

// Today at 00:00:00.000, from the local wall clock.
DateTimeValue CurrentDate();
// The local time of day on day 0 (30 December 1899), milliseconds included.
DateTimeValue CurrentTimeOfDay();

}  // namespace clockcast::datetime
