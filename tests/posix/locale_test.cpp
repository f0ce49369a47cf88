// The POSIX locale answers against the C library's own output in the real locales
// installed (missing ones are skipped), and the pure helpers behind them.
#include <gtest/gtest.h>
#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <ostream>
#include <string>
#include <tuple>

#include "datetime/calendar.h"
#include "datetime/format.h"
#include "datetime/settings.h"
#include "platform/platform.h"
#include "platform/posix_locale.h"

namespace clockcast {
namespace {

namespace posix = platform::posix;
using datetime::ComposeDate;
using datetime::RenderDateTime;
using datetime::Settings;

// strftime in the current LC_TIME locale.
std::string Strftime(const char* format, int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
  std::tm t{};
  t.tm_year = y - 1900, t.tm_mon = m - 1, t.tm_mday = d, t.tm_hour = h, t.tm_min = mi, t.tm_sec = s;
  timegm(&t);  // the weekday
  char out[256];
  return std::string(out, std::strftime(out, sizeof out, format, &t));
}

TEST(PosixHelpers, NameLocalesReadClockFlagsAndStepOverTwoByteCharacters) {
  EXPECT_EQ(posix::LocaleIdOfName("zh_HK.UTF-8"), 0x0404u);  // Traditional by territory
  EXPECT_EQ(posix::LocaleIdOfName("de_AT@euro"), 0x0407u);
  const struct {
    const char* format;
    std::tuple<bool, bool, bool> flags;  // hour24, leadingZero, markerFirst
  } clocks[] = {{"%k:%M", {1, 0, 0}}, {"%I:%M %p", {0, 1, 0}}, {"%P %l", {0, 0, 1}},
                {"%p%0l", {0, 1, 1}}, {"%-H", {1, 0, 0}},      {"%0k", {1, 1, 0}}};
  for (const auto& [format, flags] : clocks) {
    const auto f = posix::ClockFlagsOf(format, {}).value_or(posix::ClockFlags{1, 1, 1});
    EXPECT_EQ(std::tuple(f.hour24, f.leadingZero, f.markerFirst), flags) << format;
  }
  EXPECT_FALSE(posix::ClockFlagsOf("%M:%S", {}));
  const posix::LeadByteRanges big5{0x81, 0xFE};
  // Big5 trail bytes 'W', 'g' and '%' are no letters or conversions of their own.
  EXPECT_EQ(posix::TranslateDateFormat("%Y\xA4W%d\xB6g", '/', ':', big5), "yyyy\xA4Wdd\xB6g");
  EXPECT_EQ(posix::TranslateDateFormat("%Y\xA4W", '/', ':', {}), "yyyy\xA4\"W\"");
  EXPECT_EQ(posix::ExpandComposites("\x81%x", {"%Y", "%H", ""}, big5), "\x81%x");
}

class LocaleTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::posix::SelectTimeLocale("C"); }
};

TEST_F(LocaleTest, TheCLocaleAnswersNothingSoTheDefaultsHold) {
  for (const char* name : {"POSIX", "C"}) {
    ASSERT_TRUE(platform::posix::SelectTimeLocale(name));
    datetime::LoadFormatSettings();
    datetime::CompleteFormatSettings();
    EXPECT_EQ(std::tuple(platform::ThreadLocale(), platform::AnsiCodePage(),
                         datetime::Profile.LocaleId, datetime::Profile.IsMultiByte),
              std::tuple(0u, 1252u, 0x0409u, false));
    EXPECT_EQ(Settings.ShortDateFormat + '|' + Settings.LongTimeFormat + '|' +
                  Settings.TimeAMString + Settings.DateSeparator + Settings.TimeSeparator +
                  Settings.LongMonthNames[0],
              "m/d/yy|h:mm:ss AMPM|am/:January");
  }
}

// Translated formats render as strftime does (two-digit days: padding is alike).
TEST_F(LocaleTest, TranslatedDateFormatsRenderLikeStrftime) {
  datetime::LoadFormatSettings();  // in the C locale
  datetime::CompleteFormatSettings();
  const char* formats[] = {"%m/%d/%Y %A, %B %d, %Y %a %b %e %y",
                           "%d de %B de %Y; It's \"%d\" o'clock; ''\"\"'\"",
                           "%d%d|%a%d|%b%m|%m%B|%Y%m%d %D (%F)",
                           "Am %-d. %h ampm:AMPM/d/m/y %C%y: %Oy-%Om-%Od hh:nn:ss tt c z"};
  for (const auto& [date, time] : {std::tuple('/', ':'), {'-', '.'}, {'\0', ':'}}) {
    Settings.DateSeparator = date, Settings.TimeSeparator = time;
    for (const char* format : formats) {
      const std::string translated = posix::TranslateDateFormat(
          posix::ExpandComposites(format, {"%m/%d/%y", "%H:%M:%S", ""}, {}), date, time, {});
      for (const auto& [y, m, d] : {std::tuple(1978, 11, 25), {2024, 12, 31}, {2000, 10, 10}}) {
        EXPECT_EQ(RenderDateTime(translated, ComposeDate(y, m, d)), Strftime(format, y, m, d))
            << format << " -> " << translated;
      }
    }
  }
}

struct RealLocale {
  const char* name;
  std::uint32_t id, codePage;
  char dateSeparator;
  bool plainTime;  // the time format says only what the format language can say
  friend void PrintTo(const RealLocale& locale, std::ostream* out) { *out << locale.name; }
};

constexpr RealLocale kRealLocales[] = {
    {"en_US.UTF-8", 0x0409, 65001, '/', true},  {"de_DE.UTF-8", 0x0407, 65001, '.', true},
    {"ja_JP.UTF-8", 0x0411, 65001, '/', false}, {"ru_RU.UTF-8", 0x0419, 65001, '.', true},
    {"zh_TW.BIG5", 0x0404, 950, '/', false},    {"zh_CN.GBK", 0x0804, 936, '/', false},
    {"ko_KR.EUC-KR", 0x0412, 949, '/', false}};

class RealLocales : public LocaleTest, public ::testing::WithParamInterface<RealLocale> {
 protected:
  void SetUp() override {
    if (!platform::posix::SelectTimeLocale(GetParam().name))
      GTEST_SKIP() << GetParam().name << " is missing";
    datetime::LoadFormatSettings();
    datetime::CompleteFormatSettings();
  }
};

TEST_P(RealLocales, IdentifyThemselvesAndTheirLeadBytes) {
  const RealLocale& p = GetParam();
  const bool doubleByte = p.codePage == 936 || p.codePage == 949 || p.codePage == 950;
  EXPECT_EQ(
      std::tuple(platform::ThreadLocale(), platform::AnsiCodePage(), datetime::Profile.LocaleId,
                 datetime::Profile.IsMultiByte, datetime::LeadBytes.count(), Settings.DateSeparator,
                 Settings.LongDateFormat),
      std::tuple(p.id, p.codePage, p.id, doubleByte, doubleByte ? 126u : 0u, p.dateSeparator,
                 "mmmm d, yyyy"));  // the long date has no POSIX source
  char buffer[256];
  const int n = platform::LocaleInfo(p.id, datetime::LOCALE_SMONTHNAME1, buffer, 256);
  EXPECT_EQ(platform::LocaleInfo(p.id, datetime::LOCALE_SMONTHNAME1, buffer, n), n);
  EXPECT_EQ(platform::LocaleInfo(p.id, datetime::LOCALE_SMONTHNAME1, buffer, n - 1), 0);
  EXPECT_EQ(platform::LocaleInfo(p.id ^ 0x0400, datetime::LOCALE_SMONTHNAME1, buffer, 256), 0);
  // Every byte that starts a two-byte character of the codeset is a lead byte.
  ASSERT_TRUE(setlocale(LC_CTYPE, GetParam().name));
  for (int b = 0x80; b <= 0xFF; ++b) {
    for (const char trail : {'A', 'g', '\xA1'}) {
      const char bytes[2] = {static_cast<char>(b), trail};
      const bool pair = std::mbtowc(nullptr, bytes, 2) == 2 && MB_CUR_MAX == 2;
      EXPECT_TRUE(!pair || datetime::LeadBytes.test(b)) << b << " " << trail;
    }
  }
  setlocale(LC_CTYPE, "C");
}

TEST_P(RealLocales, NamesDesignatorsDatesAndTimesAreTheCLibrarys) {
  for (int m = 1; m <= 12; ++m) {  // %OB and %Ob name a month on its own (nominative)
    EXPECT_EQ(Settings.LongMonthNames[m - 1], Strftime("%OB", 2024, m, 15));
    EXPECT_EQ(Settings.ShortMonthNames[m - 1], Strftime("%Ob", 2024, m, 15));
  }
  for (int day = 0; day < 7; ++day) {  // 7 January 2024 is a Sunday
    EXPECT_EQ(Settings.LongDayNames[day], Strftime("%A", 2024, 1, 7 + day));
    EXPECT_EQ(Settings.ShortDayNames[day], Strftime("%a", 2024, 1, 7 + day));
  }
  EXPECT_EQ(Settings.TimeAMString, Strftime("%p", 2024, 1, 1, 9));  // empty stays empty
  EXPECT_EQ(Settings.TimePMString, Strftime("%p", 2024, 1, 1, 15));
  for (const auto& [y, m, d] : {std::tuple(2024, 1, 5), {1978, 11, 25}, {2000, 10, 10}}) {
    EXPECT_EQ(RenderDateTime("ddddd", ComposeDate(y, m, d)), Strftime("%x", y, m, d))
        << Settings.ShortDateFormat;
  }
  // No locale here puts the marker first: 24-hour ones have none, the others after.
  const std::string pm = Strftime("%X", 2024, 1, 1, 13, 58, 59);
  const bool zero = Strftime("%X", 2024, 1, 1, 9, 5, 1).find("09") != std::string::npos;
  const bool hour24 = pm.find("13") != std::string::npos;
  EXPECT_EQ(Settings.LongTimeFormat,
            std::string(zero ? "hh" : "h") + ":mm:ss" + (hour24 ? "" : " AMPM"))
      << pm;
  if (!GetParam().plainTime) return;
  for (const auto& [h, m, s] : {std::tuple(13, 58, 59), {9, 5, 1}, {0, 30, 0}, {12, 0, 0}}) {
    EXPECT_EQ(RenderDateTime("tt", ComposeDate(2024, 1, 1) + datetime::ComposeTime(h, m, s, 0)),
              Strftime("%X", 2024, 1, 1, h, m, s));
  }
}

INSTANTIATE_TEST_SUITE_P(All, RealLocales, ::testing::ValuesIn(kRealLocales), [](const auto& info) {
  std::string name = info.param.name;
  for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
});

TEST_F(LocaleTest, ErasComeFromTheCLibraryElseTheGregorianCalendar) {
  const struct {
    const char* locale;
    int y, m, d;
    const char* text;  // "gg ee eeee"
  } cases[] = {
      {"C", 1978, 2, 10, "A.D. 78 1978"},
      {"de_DE.UTF-8", 5, 1, 1, "A.D. 05 0005"},
      {"ja_JP.UTF-8", 1989, 1, 7, "\xE6\x98\xAD\xE5\x92\x8C 64 0064"},  // Showa
      {"ja_JP.UTF-8", 1989, 1, 8, "\xE5\xB9\xB3\xE6\x88\x90 01 0001"},  // Heisei
      {"ja_JP.UTF-8", 2019, 5, 1, "\xE4\xBB\xA4\xE5\x92\x8C 01 0001"},  // Reiwa
      {"zh_TW.BIG5", 2019, 5, 1, "\xA5\xC1\xB0\xEA 108 0108"},          // Minguo
  };
  for (const auto& c : cases) {
    if (!platform::posix::SelectTimeLocale(c.locale)) continue;
    EXPECT_EQ(RenderDateTime("gg ee eeee", ComposeDate(c.y, c.m, c.d)), c.text) << c.locale;
  }
}

}  // namespace
}  // namespace clockcast
