// The user locale on POSIX: the Win32 locale calls of platform.h answered
// from the LC_TIME locale (posix_time_locale.cpp). The names and
// designators come straight from nl_langinfo, the eras from strftime.
//
// The C and POSIX locales have no locale data: ThreadLocale is 0 and every
// locale item is unknown, so the settings loader takes its defaults.

#include <langinfo.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/posix_time_locale.h"
#include "runtime/bytes.h"

namespace clockcast::platform {

namespace {

using posix::LeadByteRanges;
using posix::TimeLocale;
using posix::TimeLocaleFacts;
using posix::TimeLocaleWithCodePage;
using posix::TimeLocaleWithFormats;

constexpr std::uint32_t kFallbackCodePage = 1252;

const char* MonthName(std::uint32_t index, bool abbreviated) {
#ifdef ALTMON_1
  // The nominative forms, as a month is named on its own.
  const char* nominative =
      nl_langinfo(static_cast<nl_item>((abbreviated ? _NL_ABALTMON_1 : ALTMON_1) + index));
  if (*nominative != '\0') return nominative;
#endif
  return nl_langinfo(static_cast<nl_item>((abbreviated ? ABMON_1 : MON_1) + index));
}

// Win32 numbers day names from Monday (0), nl_langinfo from Sunday (DAY_1).
const char* DayName(std::uint32_t mondayFirst, bool abbreviated) {
  const auto sundayFirst = static_cast<nl_item>((mondayFirst + 1) % 7);
  return nl_langinfo((abbreviated ? ABDAY_1 : DAY_1) + sundayFirst);
}

std::optional<std::string_view> TextOf(const std::optional<std::string>& answer) {
  if (!answer) return std::nullopt;
  return std::string_view(*answer);
}

// The text of a locale item in the LC_TIME locale, nullopt when unknown. The
// names and designators come straight from the C library.
std::optional<std::string_view> LocaleItem(std::uint32_t item) {
  if (item >= LOCALE_SDAYNAME1 && item < LOCALE_SDAYNAME1 + 7) {
    return DayName(item - LOCALE_SDAYNAME1, false);
  }
  if (item >= LOCALE_SABBREVDAYNAME1 && item < LOCALE_SABBREVDAYNAME1 + 7) {
    return DayName(item - LOCALE_SABBREVDAYNAME1, true);
  }
  if (item >= LOCALE_SMONTHNAME1 && item < LOCALE_SMONTHNAME1 + 12) {
    return MonthName(item - LOCALE_SMONTHNAME1, false);
  }
  if (item >= LOCALE_SABBREVMONTHNAME1 && item < LOCALE_SABBREVMONTHNAME1 + 12) {
    return MonthName(item - LOCALE_SABBREVMONTHNAME1, true);
  }
  const TimeLocaleFacts& facts =
      item == LOCALE_IDEFAULTANSICODEPAGE ? TimeLocaleWithCodePage() : TimeLocaleWithFormats();
  switch (item) {
    case LOCALE_SDATE: return TextOf(facts.dateSeparator);
    case LOCALE_STIME: return TextOf(facts.timeSeparator);
    case LOCALE_SSHORTDATE: return std::string_view(facts.shortDate);
    case LOCALE_SLONGDATE:
      if (facts.longDate.empty()) return std::nullopt;
      return facts.longDate;
    case LOCALE_S1159: return nl_langinfo(AM_STR);
    case LOCALE_S2359: return nl_langinfo(PM_STR);
    case LOCALE_ITIME:
    case LOCALE_ITLZERO:
    case LOCALE_ITIMEMARKPOSN: {
      if (!facts.clock) return std::nullopt;
      const bool set = item == LOCALE_ITIME     ? facts.clock->hour24
                       : item == LOCALE_ITLZERO ? facts.clock->leadingZero
                                                : facts.clock->markerFirst;
      return set ? "1" : "0";
    }
    case LOCALE_IDEFAULTANSICODEPAGE:
      if (facts.codePage == 0) return std::nullopt;
      return facts.codePageText;
    default: return std::nullopt;  // the calendar type among them
  }
}

int CopyAnswer(std::string_view text, char* out, int size) {
  const auto needed = static_cast<long>(text.size()) + 1;
  if (out == nullptr || size <= 0 || needed > size) return 0;
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return static_cast<int>(needed);
}

// The era year as the picture asks: at least two or four digits.
std::string PaddedYear(std::string_view digits, std::size_t width) {
  // Tested with a plain loop: find_first_not_of with a set of bytes calls
  // memchr, an import for nothing else.
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::string(digits);  // not decimal digits: as the C library gives it
  }
  const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
  std::string year(digits.substr(first));
  if (year.size() < width) year.insert(0, width - year.size(), '0');
  return year;
}

}  // namespace

std::uint32_t ThreadLocale() {
  return TimeLocale().id;
}

int LocaleInfo(std::uint32_t locale, std::uint32_t item, char* buffer, int size) {
  // Only the LC_TIME locale has data, and only when it has an identifier.
  const std::uint32_t current = ThreadLocale();
  if (current == 0 || locale != current) return 0;
  const std::optional<std::string_view> text = LocaleItem(item);
  return text ? CopyAnswer(*text, buffer, size) : 0;
}

std::uint32_t AnsiCodePage() {
  const std::uint32_t codePage = TimeLocaleWithCodePage().codePage;
  return codePage != 0 ? codePage : kFallbackCodePage;
}

bool CodePageLeadBytes(std::uint32_t codePage, std::uint8_t (&ranges)[12]) {
  LeadByteRanges found{};
  const bool known = posix::LeadByteRangesOf(codePage, found);
  std::copy(found.begin(), found.end(), ranges);
  return known;
}

std::uint32_t PlatformId() {
  return 2;
}

int DbcsEnabled() {
  return 0;
}

// The LC_TIME locale's alternate calendar. With eras (Japanese, Taiwanese
// locales) the C library names the era and counts its years; without, the
// calendar is the Gregorian one, "A.D.". The locale argument is not
// consulted: the process has the one LC_TIME locale.
int AltCalendarDate(std::uint32_t, std::uint16_t year, std::uint16_t month, std::uint16_t day,
                    const char* picture, char* out, int size) {
  if (picture == nullptr || year == 0 || month < 1 || month > 12 || day < 1 || day > 31) return 0;
  const std::string_view pictureText(picture);
  std::size_t width = 0;
  if (runtime::SameBytes(pictureText, "yy")) {
    width = 2;
  } else if (runtime::SameBytes(pictureText, "yyyy")) {
    width = 4;
  } else if (!runtime::SameBytes(pictureText, "gg")) {
    return 0;
  }

  TimeLocale();  // strftime below formats in the LC_TIME locale
  const char* eras = nl_langinfo(ERA);
  if (eras != nullptr && *eras != '\0') {
    posix::MakeRoomForEraTable();
    std::tm date{};
    date.tm_year = year - 1900;
    date.tm_mon = month - 1;
    date.tm_mday = day;
    char text[256];
    const std::size_t length = std::strftime(text, sizeof text, width == 0 ? "%EC" : "%Ey", &date);
    if (length == 0) return 0;
    const std::string_view result(text, length);
    return width == 0 ? CopyAnswer(result, out, size)
                      : CopyAnswer(PaddedYear(result, width), out, size);
  }
  if (width == 0) return CopyAnswer("A.D.", out, size);
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", static_cast<int>(width),
                width == 2 ? year % 100u : static_cast<unsigned>(year));
  return CopyAnswer(text, out, size);
}

}  // namespace clockcast::platform
