#include "datetime/calendar.h"

#include <cmath>

#include "platform/platform.h"
#include "runtime/failures.h"

namespace clockcast::datetime {

namespace {

constexpr std::uint16_t MonthLengths[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

// Millisecond counts are kept where the day number fits its 32-bit field;
// a value beyond (only fuzzing or a corrupt caller makes one) saturates.
constexpr long double kMaxMillis = static_cast<long double>(MillisPerDay) * 2'000'000'000.0L;

struct Quotient16 {
  std::uint16_t quotient, remainder;
};

// Unsigned 32-bit by 16-bit division; callers keep the quotient in 16 bits.
Quotient16 DivRem16(std::uint32_t dividend, std::uint16_t divisor) {
  return {static_cast<std::uint16_t>(dividend / divisor),
          static_cast<std::uint16_t>(dividend % divisor)};
}

}  // namespace

DayMillis SplitDayMillis(DateTimeValue value) {
  // The product is rounded once, to nearest with ties to even: llrint
  // follows the current rounding mode, which nothing in the program changes
  // from its start-up setting, round-to-nearest. Built without errno for the
  // maths functions, it is one inline x87 store that rounds and converts
  // together, with no rounding-mode switch and no maths library at run time.
  // Saturating before the rounding gives what saturating after it would:
  // the bounds are whole numbers.
  long double product = static_cast<long double>(value) * MillisPerDay;
  if (std::isnan(product)) product = 0;
  if (product > kMaxMillis) product = kMaxMillis;
  if (product < -kMaxMillis) product = -kMaxMillis;
  const std::int64_t millis = std::llrint(product);
  if (millis >= 0) {
    return {static_cast<std::int32_t>(millis / MillisPerDay + EpochDayNumber),
            static_cast<std::int32_t>(millis % MillisPerDay)};
  }
  return {static_cast<std::int32_t>(EpochDayNumber - (-millis) / MillisPerDay),
          static_cast<std::int32_t>((-millis) % MillisPerDay)};
}

bool YearIsLeap(std::uint16_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

bool TryComposeDate(std::uint16_t year, std::uint16_t month, std::uint16_t day,
                    DateTimeValue& result) {
  const std::uint16_t* lengths = MonthLengths[YearIsLeap(year) ? 1 : 0];
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > lengths[month - 1]) {
    return false;
  }
  std::int32_t dayOfYear = day;
  for (int m = 0; m < month - 1; ++m) dayOfYear += lengths[m];
  const std::int32_t i = year - 1;
  const std::int32_t dayNumber = i * 365 + i / 4 - i / 100 + i / 400 + dayOfYear;
  result = dayNumber - EpochDayNumber;
  return true;
}

DateTimeValue ComposeDate(std::uint16_t year, std::uint16_t month, std::uint16_t day) {
  DateTimeValue result = 0;
  if (!TryComposeDate(year, month, day, result)) {
    runtime::RaiseConvertError(runtime::MessageId::kInvalidDateEncode);
  }
  return result;
}

bool TryComposeTime(std::uint16_t hour, std::uint16_t minute, std::uint16_t second,
                    std::uint16_t millisecond, DateTimeValue& result) {
  if (hour > 23 || minute > 59 || second > 59 || millisecond > 999) return false;
  const std::int32_t millis = hour * 3'600'000 + minute * 60'000 + second * 1'000 + millisecond;
  result = static_cast<double>(millis) / MillisPerDay;
  return true;
}

DateTimeValue ComposeTime(std::uint16_t hour, std::uint16_t minute, std::uint16_t second,
                          std::uint16_t millisecond) {
  DateTimeValue result = 0;
  if (!TryComposeTime(hour, minute, second, millisecond, result)) {
    runtime::RaiseConvertError(runtime::MessageId::kInvalidTimeEncode);
  }
  return result;
}

ClockTime TimeOfDay(std::int32_t millisOfDay) {
  const auto t = static_cast<std::uint32_t>(millisOfDay);
  const Quotient16 minutes = DivRem16(t, 60'000);
  const Quotient16 hours = DivRem16(minutes.quotient, 60);
  const Quotient16 seconds = DivRem16(minutes.remainder, 1'000);
  return {hours.quotient, hours.remainder, seconds.quotient, seconds.remainder};
}

std::int32_t WeekdayOfDay(std::int32_t dayNumber) {
  return dayNumber % 7 + 1;
}

// A clock that cannot be read has no fields to encode: it fails as a reading
// out of range does, with the same failure and text.
DateTimeValue CurrentDate() {
  platform::LocalTime now;
  if (!platform::ReadLocalClock(now)) {
    runtime::RaiseConvertError(runtime::MessageId::kInvalidDateEncode);
  }
  return ComposeDate(now.year, now.month, now.day);
}

DateTimeValue CurrentTimeOfDay() {
  platform::LocalTime now;
  if (!platform::ReadLocalClock(now)) {
    runtime::RaiseConvertError(runtime::MessageId::kInvalidTimeEncode);
  }
  return ComposeTime(now.hour, now.minute, now.second, now.millisecond);
}

}  // namespace clockcast::datetime
