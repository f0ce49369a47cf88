// The format interpreter over arbitrary format bytes, values and settings.
//
// Input fields, separated by zero bytes (a missing field keeps the default):
//   0  the format
//   1  the value: 8 bytes are the bits of a double; "+h:m:s" is the time of
//      day 14:05:09.007 moved by that offset as the addtime command moves it
//      (the unnormalised values it makes); anything else is read by strtod
//      ("-1e9", "nan", "3e7", ...)
//   2-5  ShortDateFormat, LongDateFormat, ShortTimeFormat, LongTimeFormat
//   6-7  TimeAMString, TimePMString
//   8  DateSeparator and TimeSeparator, one byte each (a zero one is allowed
//      by giving fewer bytes)
//   9  locale: lead-byte span (as the splitter target), IsMultiByte,
//      PrimaryLanguageId, SubLanguageId, one byte each
//   10-12  the alternate-calendar answers for "gg", "yy" and "yyyy"; absent
//      ones make the platform formatter fail
//   13 names separated by "|": 12 short months, 12 long months, 7 short
//      days, 7 long days, in that order
//
// The format is held in a heap block of exactly its length, so that
// AddressSanitizer catches a read past it. Properties:
//  - at most 256 bytes, the same text from the buffer form and the string
//    form, and the same text on a second call;
//  - the empty format renders as "c";
//  - a format without letters, quotes, separators and two-byte characters
//    renders as itself, cut at 256 bytes; a quoted text renders as the text;
//  - the date and the time of day that "yyyy mm dd hh nn ss zzz" shows agree
//    with std::chrono's calendar (zero fields outside 0001-01-01 to
//    65535-12-31), and the name specifiers render exactly the table entry of
//    the month and the day of week, or nothing when there is none: a read
//    outside the name tables would show here as a wrong text.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "datetime/calendar.h"
#include "datetime/format.h"
#include "datetime/settings.h"
#include "fake_platform.h"
#include "fuzz_check.h"
#include "reference_integer.h"

using namespace clockcast;
using datetime::Settings;

namespace {

constexpr const char* kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kLongMonths[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
constexpr const char* kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kLongDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

void SetDefaults() {
  datetime::FormatSettings s;
  s.ShortDateFormat = "M/d/yyyy";
  s.LongDateFormat = "dddd, MMMM dd, yyyy";
  s.ShortTimeFormat = "h:mm AMPM";
  s.LongTimeFormat = "h:mm:ss AMPM";
  for (int i = 0; i < 12; ++i) {
    s.ShortMonthNames[i] = kShortMonths[i];
    s.LongMonthNames[i] = kLongMonths[i];
  }
  for (int i = 0; i < 7; ++i) {
    s.ShortDayNames[i] = kShortDays[i];
    s.LongDayNames[i] = kLongDays[i];
  }
  s.TimeAMString = "AM";
  s.TimePMString = "PM";
  s.DateSeparator = '/';
  s.TimeSeparator = ':';
  Settings = s;
  datetime::Profile = datetime::LocaleProfile{};
  datetime::LeadBytes.reset();
}

std::int32_t FieldValue(std::string_view text) {
  return fuzzing::ReferenceParse(text).value_or(0);
}

datetime::DateTimeValue ReadValue(std::string_view encoded) {
  testing::Fake().clock = {1978, 2, 10, 14, 5, 9, 7};
  if (encoded.size() == 8) {
    double value;
    std::memcpy(&value, encoded.data(), 8);
    return value;
  }
  if (!encoded.empty() && encoded[0] == '+') {
    encoded.remove_prefix(1);
    const std::size_t c1 = encoded.find(':');
    const std::size_t c2 = c1 == std::string_view::npos ? c1 : encoded.find(':', c1 + 1);
    if (c2 != std::string_view::npos) {
      return cli::OffsetTimeOfDay(FieldValue(encoded.substr(0, c1)),
                                  FieldValue(encoded.substr(c1 + 1, c2 - c1 - 1)),
                                  FieldValue(encoded.substr(c2 + 1)));
    }
  }
  return std::strtod(std::string(encoded).c_str(), nullptr);
}

void ApplyNames(std::string_view names) {
  std::string* tables[] = {Settings.ShortMonthNames, Settings.LongMonthNames,
                           Settings.ShortDayNames, Settings.LongDayNames};
  const int sizes[] = {12, 12, 7, 7};
  int table = 0;
  int index = 0;
  while (table < 4) {
    const std::size_t bar = names.find('|');
    tables[table][index] = std::string(names.substr(0, bar));
    if (++index == sizes[table]) {
      ++table;
      index = 0;
    }
    if (bar == std::string_view::npos) break;
    names.remove_prefix(bar + 1);
  }
}

std::string Cut(std::string text) {
  if (text.size() > datetime::kRenderCapacity) text.resize(datetime::kRenderCapacity);
  return text;
}

std::string Render(std::string_view format, datetime::DateTimeValue value) {
  const std::unique_ptr<char[]> block(new char[format.size() == 0 ? 1 : format.size()]);
  if (!format.empty()) std::memcpy(block.get(), format.data(), format.size());
  const std::string_view view(block.get(), format.size());
  // The result goes to a heap block of exactly 256 bytes, so that
  // AddressSanitizer catches a write past the cap.
  const auto result = std::make_unique<char[][datetime::kRenderCapacity]>(1);
  const std::size_t length = datetime::RenderDateTime(view, value, result[0]);
  FUZZ_CHECK(length <= datetime::kRenderCapacity);
  std::string text(result[0], length);
  FUZZ_CHECK(datetime::RenderDateTime(view, value) == text);
  return text;
}

std::string TwoDigits(long long n, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*lld", width, n);
  return buffer;
}

// The calendar and name checks against std::chrono.
void CheckCalendar(datetime::DateTimeValue value) {
  if (!std::isfinite(value)) return;
  const long double product = std::nearbyint(static_cast<long double>(value) * 86'400'000.0L);
  // Beyond some two thousand million days the day count no longer fits the
  // calendar's 32-bit field, and the value is held at that bound.
  if (std::fabs(product) > 86'400'000.0L * 2'000'000'000.0L) return;
  const auto millis = static_cast<long long>(product);
  const long long magnitude = millis < 0 ? -millis : millis;
  const long long dayNumber =
      millis < 0 ? 693'594 - magnitude / 86'400'000 : 693'594 + magnitude / 86'400'000;
  const long long millisOfDay = magnitude % 86'400'000;

  namespace chr = std::chrono;
  const chr::sys_days firstDay = chr::year{1} / 1 / 1;
  // std::chrono names years up to 32767; later dates are moved back by whole
  // 400-year cycles (146,097 days, whole weeks too) and the years added back.
  long long day = dayNumber;
  int cycles = 0;
  while (day > 11'967'900) {
    day -= 146'097;
    ++cycles;
  }
  int month = 0;
  std::string expectedDate = "0000 00 00";
  if (dayNumber >= 1 && dayNumber <= 23'936'166) {
    const chr::year_month_day ymd{firstDay + chr::days{day - 1}};
    month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    expectedDate = TwoDigits(static_cast<int>(ymd.year()) + 400LL * cycles, 4) + " " +
                   TwoDigits(month, 2) + " " + TwoDigits(static_cast<unsigned>(ymd.day()), 2);
  }
  const std::string expectedTime =
      TwoDigits(millisOfDay / 3'600'000, 2) + " " + TwoDigits(millisOfDay / 60'000 % 60, 2) + " " +
      TwoDigits(millisOfDay / 1000 % 60, 2) + " " + TwoDigits(millisOfDay % 1000, 3);
  FUZZ_CHECK(Render("yyyy mm dd hh nn ss zzz", value) == expectedDate + " " + expectedTime);

  // Day of week, 1 = Sunday: the real one from the first calendar day on;
  // before it the count runs from -5 to 1, and only 1 names a day.
  int weekday = 0;
  if (dayNumber >= 1) {
    weekday = static_cast<int>(chr::weekday{firstDay + chr::days{day - 1}}.c_encoding()) + 1;
  } else if (dayNumber % 7 == 0) {
    weekday = 1;
  }
  std::string expectedNames;
  if (month >= 1) expectedNames += Settings.ShortMonthNames[month - 1];
  expectedNames += "|";
  if (month >= 1) expectedNames += Settings.LongMonthNames[month - 1];
  expectedNames += "|";
  if (weekday >= 1) expectedNames += Settings.ShortDayNames[weekday - 1];
  expectedNames += "|";
  if (weekday >= 1) expectedNames += Settings.LongDayNames[weekday - 1];
  FUZZ_CHECK(Render("mmm|mmmm|ddd|dddd", value) == Cut(expectedNames));
}

bool IsPlain(std::string_view format) {
  for (const char c : format) {
    const auto b = static_cast<unsigned char>(c);
    if ((b | 0x20) >= 'a' && (b | 0x20) <= 'z') return false;
    if (c == '\'' || c == '"' || c == '/' || c == ':' || datetime::IsLeadByte(c)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  testing::ResetFake();
  SetDefaults();
  const auto fields = fuzzing::SplitFields(data, size);
  auto field = [&](std::size_t i) -> std::optional<std::string_view> {
    if (i < fields.size()) return fields[i];
    return std::nullopt;
  };

  const std::string_view format = fields[0];
  const datetime::DateTimeValue value = ReadValue(field(1).value_or(""));
  if (auto f = field(2)) Settings.ShortDateFormat = *f;
  if (auto f = field(3)) Settings.LongDateFormat = *f;
  if (auto f = field(4)) Settings.ShortTimeFormat = *f;
  if (auto f = field(5)) Settings.LongTimeFormat = *f;
  if (auto f = field(6)) Settings.TimeAMString = *f;
  if (auto f = field(7)) Settings.TimePMString = *f;
  if (auto f = field(8)) {
    Settings.DateSeparator = f->size() > 0 ? (*f)[0] : '\0';
    Settings.TimeSeparator = f->size() > 1 ? (*f)[1] : '\0';
  }
  if (auto f = field(9)) {
    const std::string_view locale = *f;
    if (!locale.empty()) {
      const auto span = static_cast<unsigned char>(locale[0]);
      for (unsigned k = 0; k < span % 0x7F; ++k) {
        datetime::LeadBytes.set(0x81 + k);
        testing::Fake().leadBytes.set(0x81 + k);
      }
    }
    if (locale.size() > 1) datetime::Profile.IsMultiByte = (locale[1] & 1) != 0;
    if (locale.size() > 2)
      datetime::Profile.PrimaryLanguageId = static_cast<unsigned char>(locale[2]);
    if (locale.size() > 3) datetime::Profile.SubLanguageId = static_cast<unsigned char>(locale[3]);
  }
  std::map<std::string, std::string> eras;
  const char* pictures[] = {"gg", "yy", "yyyy"};
  for (int i = 0; i < 3; ++i) {
    if (auto f = field(10 + static_cast<std::size_t>(i))) eras[pictures[i]] = std::string(*f);
  }
  testing::Fake().altCalendar = fuzzing::AnswerByPicture(std::move(eras));
  if (auto f = field(13)) ApplyNames(*f);

  const std::string text = Render(format, value);
  FUZZ_CHECK(Render(format, value) == text);
  if (format.empty()) FUZZ_CHECK(text == Render("c", value));
  if (!format.empty() && IsPlain(format)) FUZZ_CHECK(text == Cut(std::string(format)));

  std::string literal;
  for (const char c : format) {
    if (c != '\'' && !datetime::IsLeadByte(c)) literal += c;
  }
  FUZZ_CHECK(Render("'" + literal + "'", value) == Cut(literal));

  CheckCalendar(value);
  return 0;
}
