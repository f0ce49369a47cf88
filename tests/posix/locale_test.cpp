// The POSIX locale answers, checked against the C library's own output for
// real locales, and the pure translation helpers behind them.
//
// Locales that are not installed are skipped; CI installs C, en_US.UTF-8,
// de_DE.UTF-8 and ja_JP.UTF-8, and a developer machine may add ru_RU.UTF-8
// and the double-byte ones (zh_TW.BIG5, zh_CN.GBK, ko_KR.EUC-KR).

#include <gtest/gtest.h>
#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <chrono>
#include <clocale>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "datetime/calendar.h"
#include "datetime/format.h"
#include "datetime/settings.h"
#include "platform/platform.h"
#include "platform/posix_locale.h"

namespace clockcast {
namespace {

using platform::posix::ClockFlags;
using platform::posix::LeadByteRanges;

constexpr LeadByteRanges kNoLeadBytes{};
constexpr LeadByteRanges kBig5LeadBytes{0x81, 0xFE};

// --- Helpers -----------------------------------------------------------------

std::tm Tm(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  timegm(&t);  // fills in the weekday
  return t;
}

// The C library's rendering in the current LC_TIME locale.
std::string Strftime(const std::string& format, const std::tm& t) {
  char buffer[512];
  const std::size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &t);
  return std::string(buffer, n);
}

datetime::DateTimeValue Value(int year, int month, int day, int hour = 0, int minute = 0,
                              int second = 0) {
  return datetime::ComposeDate(year, month, day) + datetime::ComposeTime(hour, minute, second, 0);
}

// A locale item of the current locale as the settings loader would ask it.
std::optional<std::string> Answer(std::uint32_t item, int size = 256) {
  char buffer[256];
  std::memset(buffer, 'X', sizeof buffer);
  const int n = platform::LocaleInfo(platform::ThreadLocale(), item, buffer, size);
  if (n == 0) return std::nullopt;
  EXPECT_GT(n, 0);
  EXPECT_LE(n, size);
  EXPECT_EQ(buffer[n - 1], '\0');
  return std::string(buffer, static_cast<std::size_t>(n - 1));
}

class LocaleTest : public ::testing::Test {
 protected:
  void TearDown() override {
    setlocale(LC_TIME, "C");
    datetime::ReleaseFormatSettings();
  }
  static bool Use(const char* name) { return setlocale(LC_TIME, name) != nullptr; }
};

#define USE_LOCALE(name) \
  if (!Use(name)) GTEST_SKIP() << (name) << " is not installed"

// --- Locale names and codesets -----------------------------------------------

struct NameCase {
  const char* name;
  std::uint32_t lcid;
};

class LocaleIds : public ::testing::TestWithParam<NameCase> {};

TEST_P(LocaleIds, ComeFromLanguageAndTerritory) {
  EXPECT_EQ(platform::posix::LocaleIdOfName(GetParam().name), GetParam().lcid) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    All, LocaleIds,
    ::testing::Values(
        NameCase{"C", 0}, NameCase{"POSIX", 0}, NameCase{"C.UTF-8", 0}, NameCase{"C.utf8", 0},
        NameCase{"", 0}, NameCase{"eo", 0}, NameCase{"xx_YY.UTF-8", 0}, NameCase{"EN_US", 0},
        NameCase{"en_US.UTF-8", 0x0409}, NameCase{"en_GB", 0x0409}, NameCase{"en", 0x0409},
        NameCase{"de_DE.UTF-8", 0x0407}, NameCase{"de_AT@euro", 0x0407}, NameCase{"da_DK", 0x0406},
        NameCase{"es_ES", 0x040A}, NameCase{"fi_FI", 0x040B}, NameCase{"fr_FR", 0x040C},
        NameCase{"it_IT", 0x0410}, NameCase{"nl_NL", 0x0413}, NameCase{"no_NO", 0x0414},
        NameCase{"nb_NO.UTF-8", 0x0414}, NameCase{"nn_NO", 0x0414}, NameCase{"pt_BR", 0x0416},
        NameCase{"sv_SE", 0x041D}, NameCase{"ja_JP.UTF-8", 0x0411},
        NameCase{"ko_KR.EUC-KR", 0x0412}, NameCase{"zh_TW.BIG5", 0x0404},
        NameCase{"zh_HK.UTF-8", 0x0404}, NameCase{"zh_MO", 0x0404}, NameCase{"zh_CN.GBK", 0x0804},
        NameCase{"zh_SG", 0x0804}, NameCase{"af_ZA.UTF-8", 0x0436}, NameCase{"ar_EG", 0x0401},
        NameCase{"cs_CZ", 0x0405}, NameCase{"el_GR", 0x0408}, NameCase{"he_IL", 0x040D},
        NameCase{"pl_PL", 0x0415}, NameCase{"ru_RU.KOI8-R", 0x0419},
        NameCase{"sr_RS@latin", 0x041A}, NameCase{"th_TH", 0x041E}, NameCase{"tr_TR", 0x041F},
        NameCase{"uk_UA", 0x0422}, NameCase{"vi_VN", 0x042A}));

struct CodesetCase {
  const char* codeset;
  std::uint32_t codePage;
};

class Codesets : public ::testing::TestWithParam<CodesetCase> {};

TEST_P(Codesets, MapToWindowsCodePages) {
  EXPECT_EQ(platform::posix::CodePageOfCodeset(GetParam().codeset), GetParam().codePage)
      << GetParam().codeset;
}

INSTANTIATE_TEST_SUITE_P(
    All, Codesets,
    ::testing::Values(CodesetCase{"UTF-8", 65001}, CodesetCase{"utf-8", 65001},
                      CodesetCase{"ISO-8859-1", 28591}, CodesetCase{"ISO-8859-2", 28592},
                      CodesetCase{"ISO-8859-15", 28605}, CodesetCase{"KOI8-R", 20866},
                      CodesetCase{"CP1251", 1251}, CodesetCase{"GBK", 936},
                      CodesetCase{"GB2312", 936}, CodesetCase{"BIG5", 950},
                      CodesetCase{"BIG5-HKSCS", 950}, CodesetCase{"EUC-KR", 949},
                      CodesetCase{"EUC-JP", 20932}, CodesetCase{"GB18030", 54936},
                      CodesetCase{"ANSI_X3.4-1968", 0}, CodesetCase{"EUC-TW", 0},
                      CodesetCase{"UTF-88", 0}, CodesetCase{"", 0}));

struct RangesCase {
  std::uint32_t codePage;
  bool known;
  LeadByteRanges ranges;
};

class CodePageRanges : public ::testing::TestWithParam<RangesCase> {};

TEST_P(CodePageRanges, AreTheWindowsLeadBytes) {
  std::uint8_t ranges[12];
  std::memset(ranges, 0x55, sizeof ranges);
  EXPECT_EQ(platform::CodePageLeadBytes(GetParam().codePage, ranges), GetParam().known);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(ranges[i], GetParam().ranges[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(
    All, CodePageRanges,
    ::testing::Values(RangesCase{936, true, {0x81, 0xFE}}, RangesCase{949, true, {0x81, 0xFE}},
                      RangesCase{950, true, {0x81, 0xFE}},
                      RangesCase{932, true, {0x81, 0x9F, 0xE0, 0xFC}}, RangesCase{65001, true, {}},
                      RangesCase{1252, true, {}}, RangesCase{28591, true, {}},
                      RangesCase{20932, false, {}}, RangesCase{54936, false, {}},
                      RangesCase{12345, false, {}}));

// --- strftime formats --------------------------------------------------------

TEST(ExpandComposites, ReplacesCompositeConversions) {
  const platform::posix::StrftimeFormats formats{"%d.%m.%Y", "%H:%M", ""};
  struct Case {
    const char* format;
    const char* expanded;
  } cases[] = {
      {"%D", "%m/%d/%y"},
      {"%F", "%Y-%m-%d"},
      {"%x", "%d.%m.%Y"},
      {"%Ex", "%d.%m.%Y"},
      {"%X", "%H:%M"},
      {"%T", "%H:%M:%S"},
      {"%R", "%H:%M"},
      {"%r", "%I:%M:%S %p"},  // without a 12-hour format of its own
      {"(%x %X)", "(%d.%m.%Y %H:%M)"},
      {"%%x", "%%x"},
      {"%-d %Od %c", "%-d %Od %c"},
      {"50%", "50%%"},
      {"%n%t", "\n\t"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::posix::ExpandComposites(c.format, formats, kNoLeadBytes), c.expanded)
        << c.format;
  }
}

TEST(ExpandComposites, StopsAFormatThatNamesItself) {
  const platform::posix::StrftimeFormats formats{"<%x>", "%X", "%r"};
  EXPECT_EQ(platform::posix::ExpandComposites("%x", formats, kNoLeadBytes), "<<<<>>>>");
  EXPECT_EQ(platform::posix::ExpandComposites("%r|%X", formats, kNoLeadBytes), "|");
}

TEST(ExpandComposites, KeepsTwoByteCharactersWhole) {
  // 0x25 ('%') as a trail byte is no conversion.
  const platform::posix::StrftimeFormats formats{"%Y", "%H", ""};
  EXPECT_EQ(platform::posix::ExpandComposites("\x81%x", formats, kBig5LeadBytes), "\x81%x");
  EXPECT_EQ(platform::posix::ExpandComposites("\x81%x", formats, kNoLeadBytes), "\x81%Y");
}

class InstalledLocales : public LocaleTest, public ::testing::WithParamInterface<const char*> {};

// The expansion renders what the C library renders for the composite.
TEST_P(InstalledLocales, ExpansionRendersLikeTheCLibrary) {
  USE_LOCALE(GetParam());
  const platform::posix::StrftimeFormats formats{nl_langinfo(D_FMT), nl_langinfo(T_FMT),
                                                 nl_langinfo(T_FMT_AMPM)};
  const std::tm t = Tm(2024, 11, 25, 21, 7, 3);
  for (const char* format : {"%x", "%X", "%r", "%c", "%D|%F|%T|%R", "[%x] [%X]"}) {
    const std::string expanded = platform::posix::ExpandComposites(format, formats, kNoLeadBytes);
    EXPECT_EQ(Strftime(expanded, t), Strftime(format, t)) << format << " -> " << expanded;
  }
}

INSTANTIATE_TEST_SUITE_P(All, InstalledLocales,
                         ::testing::Values("C", "en_US.UTF-8", "de_DE.UTF-8", "ja_JP.UTF-8"));

TEST(Separators, DateSeparatorIsTheTextBetweenTheFirstTwoFields) {
  struct Case {
    const char* format;
    std::optional<std::string> separator;
  } cases[] = {
      {"%m/%d/%y", "/"},
      {"%d.%m.%Y", "."},
      {"%A %d %b %Y", " "},
      {"%d. %m. %y", ". "},
      {"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5", "\xE5\xB9\xB4"},
      {"(%Y)-%m-%d", ")-"},
      {"%d%%%m", "%"},
      {"%Y%m%d", ""},
      {"%d", std::nullopt},
      {"today %d.", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::posix::DateSeparatorOf(c.format, kNoLeadBytes), c.separator) << c.format;
  }
  EXPECT_EQ(platform::posix::DateSeparatorOf("%Y\xA6~%m\xA4\xEB%d", kBig5LeadBytes), "\xA6~");
}

TEST(Separators, TimeSeparatorIsTheTextAfterTheHour) {
  struct Case {
    const char* format;
    std::optional<std::string> separator;
  } cases[] = {
      {"%H:%M:%S", ":"},
      {"%I:%M:%S %p", ":"},
      {"kl. %H.%M %z", "."},
      {"%p %l-%M", "-"},
      {"%H\xE6\x99\x82%M", "\xE6\x99\x82"},
      {"%H%M", ""},
      {"%M:%S", std::nullopt},
      {"%H", std::nullopt},
      {"%H h", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::posix::TimeSeparatorOf(c.format, kNoLeadBytes), c.separator) << c.format;
  }
}

TEST(Separators, BecomeTheByteThatATwoByteBufferHolds) {
  EXPECT_EQ(platform::posix::SeparatorByteOf(std::string("."), '/'), '.');
  EXPECT_EQ(platform::posix::SeparatorByteOf(std::string(""), '/'), '\0');
  EXPECT_EQ(platform::posix::SeparatorByteOf(std::string(". "), '/'), '/');
  EXPECT_EQ(platform::posix::SeparatorByteOf(std::nullopt, ':'), ':');
}

TEST(ClockFlags, ComeFromTheFirstHour) {
  struct Case {
    const char* format;
    std::optional<ClockFlags> flags;  // hour24, leadingZero, markerFirst
  } cases[] = {
      {"%H:%M:%S", ClockFlags{true, true, false}},
      {"%k:%M", ClockFlags{true, false, false}},
      {"%I:%M:%S %p", ClockFlags{false, true, false}},
      {"%l:%M %P", ClockFlags{false, false, false}},
      {"%p%I\xE6\x99\x82", ClockFlags{false, true, true}},
      {"%P %l", ClockFlags{false, false, true}},
      {"%-H", ClockFlags{true, false, false}},
      {"%_I", ClockFlags{false, false, false}},
      {"%0k", ClockFlags{true, true, false}},
      {"%0l %p", ClockFlags{false, true, false}},
      {"%OI:%OM %p", ClockFlags{false, true, false}},
      {"%H %I", ClockFlags{true, true, false}},
      {"%M:%S", std::nullopt},
      {"%%H", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto flags = platform::posix::ClockFlagsOf(c.format, kNoLeadBytes);
    ASSERT_EQ(flags.has_value(), c.flags.has_value()) << c.format;
    if (!flags) continue;
    EXPECT_EQ(flags->hour24, c.flags->hour24) << c.format;
    EXPECT_EQ(flags->leadingZero, c.flags->leadingZero) << c.format;
    EXPECT_EQ(flags->markerFirst, c.flags->markerFirst) << c.format;
  }
}

// --- Date formats into the format language -----------------------------------

TEST(TranslateDateFormat, MapsConversionsAndQuotesLiteralText) {
  struct Case {
    const char* format;
    char dateSeparator;
    char timeSeparator;
    const char* translated;
  } cases[] = {
      {"%m/%d/%Y", '/', ':', "mm/dd/yyyy"},
      {"%d.%m.%Y", '.', ':', "dd.mm.yyyy"},
      {"%-d/%-m/%y", '/', ':', "d/m/yy"},
      {"%e|%0e|%_d|%-e", '/', ':', "d|dd|d|d"},
      {"%Od/%Om/%Ey", '/', ':', "dd/mm/yy"},
      {"%a %A %b %h %B", '/', ':', "ddd dddd mmm mmm mmmm"},
      {"%C%y|%C", '/', ':', "yyyy|"},
      {"%d de %B de %Y", '/', ':', "dd \"de\" mmmm \"de\" yyyy"},
      {"%d'%m", '/', ':', "dd\"'\"mm"},
      {"%d\"%m", '/', ':', "dd'\"'mm"},
      {"a'b\"c", '/', ':', "\"a'b\"'\"c'"},
      {"%Y-%m-%d/%H", '-', ':', "yyyy-mm-dd\"/\""},
      {"%Y/%m", '\0', ':', "yyyy\"/\"mm"},
      {"%d:%m", '/', '.', "dd\":\"mm"},
      {"%d:%m", '/', ':', "dd:mm"},
      {"%d%d|%a%d|%b%m|%m%B|%y%Y", '/', ':', "dd\"\"dd|ddd\"\"dd|mmm\"\"mm|mm\"\"mmmm|yy\"\"yyyy"},
      {"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5", '/', ':',
       "yyyy\xE5\xB9\xB4mm\xE6\x9C\x88"
       "dd\xE6\x97\xA5"},
      {"%j %U %G %H %p %z", '/', ':', "     "},
      {"100%% %n", '/', ':', "100% \n"},
      {"", '/', ':', ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::posix::TranslateDateFormat(c.format, c.dateSeparator, c.timeSeparator,
                                                   kNoLeadBytes),
              c.translated)
        << c.format;
  }
}

TEST(TranslateDateFormat, KeepsTwoByteCharactersUnquoted) {
  // Big5: the trail bytes 'W' and 'g' are no letters of their own.
  EXPECT_EQ(platform::posix::TranslateDateFormat("%Y\xA4W%d\xB6g", '/', ':', kBig5LeadBytes),
            "yyyy\xA4Wdd\xB6g");
  EXPECT_EQ(platform::posix::TranslateDateFormat("%Y\xA4W", '/', ':', kNoLeadBytes),
            "yyyy\xA4\"W\"");
}

// The translated format renders what strftime renders: English names in the
// C locale, days and months of two digits so that padding cannot differ.
TEST_F(LocaleTest, TranslatedFormatsRenderLikeStrftime) {
  ASSERT_TRUE(Use("C"));
  datetime::LoadFormatSettings();
  const platform::posix::StrftimeFormats cFormats{nl_langinfo(D_FMT), nl_langinfo(T_FMT),
                                                  nl_langinfo(T_FMT_AMPM)};
  const char* formats[] = {
      "%m/%d/%Y",
      "%d.%m.%y",
      "%A, %B %d, %Y",
      "%a %b %e %Y",
      "%d de %B de %Y",
      "It's \"%d\" o'clock",
      "%d%d|%a%d|%b%m|%m%B",
      "%Y%m%d",
      "%D (%F)",
      "Am %-d. %h",
      "ampm:AMPM/d/m/y",
      "%C%y: %Oy-%Om-%Od",
      "hh:nn:ss tt c z",
      "''\"\"'\"",
  };
  const std::tm dates[] = {Tm(1978, 11, 25), Tm(2024, 12, 31), Tm(2000, 10, 10)};
  for (const char dateSeparator : {'/', '-', '\0'}) {
    for (const char timeSeparator : {':', '.'}) {
      datetime::Settings.DateSeparator = dateSeparator;
      datetime::Settings.TimeSeparator = timeSeparator;
      for (const char* format : formats) {
        const std::string translated = platform::posix::TranslateDateFormat(
            platform::posix::ExpandComposites(format, cFormats, kNoLeadBytes), dateSeparator,
            timeSeparator, kNoLeadBytes);
        for (const std::tm& t : dates) {
          const datetime::DateTimeValue value = Value(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
          EXPECT_EQ(datetime::RenderDateTime(translated, value), Strftime(format, t))
              << format << " -> " << translated;
        }
      }
    }
  }
}

// --- The C locale: no locale data --------------------------------------------

TEST_F(LocaleTest, TheCLocaleAnswersNothing) {
  for (const char* name : {"C", "POSIX"}) {
    ASSERT_TRUE(Use(name));
    EXPECT_EQ(platform::ThreadLocale(), 0u);
    EXPECT_EQ(platform::AnsiCodePage(), 1252u);
    char buffer[256];
    for (std::uint32_t item = 0; item < 0x1100; ++item) {
      EXPECT_EQ(platform::LocaleInfo(0, item, buffer, sizeof buffer), 0) << item;
      EXPECT_EQ(platform::LocaleInfo(0x0409, item, buffer, sizeof buffer), 0) << item;
    }
  }
}

TEST_F(LocaleTest, TheCLocaleLoadsExactlyTheDefaults) {
  ASSERT_TRUE(Use("C"));
  datetime::LoadFormatSettings();
  const datetime::FormatSettings& s = datetime::Settings;
  EXPECT_EQ(s.ShortDateFormat, "m/d/yy");
  EXPECT_EQ(s.LongDateFormat, "mmmm d, yyyy");
  EXPECT_EQ(s.ShortTimeFormat, "h:mm AMPM");
  EXPECT_EQ(s.LongTimeFormat, "h:mm:ss AMPM");
  EXPECT_EQ(s.DateSeparator, '/');
  EXPECT_EQ(s.TimeSeparator, ':');
  EXPECT_EQ(s.TimeAMString, "am");
  EXPECT_EQ(s.TimePMString, "pm");
  EXPECT_EQ(s.ShortMonthNames[0], "Jan");
  EXPECT_EQ(s.LongMonthNames[11], "December");
  EXPECT_EQ(s.ShortDayNames[0], "Sun");
  EXPECT_EQ(s.LongDayNames[6], "Saturday");
  EXPECT_EQ(datetime::Profile.LocaleId, 0x0409u);
  EXPECT_EQ(datetime::Profile.PrimaryLanguageId, 9u);
  EXPECT_EQ(datetime::Profile.SubLanguageId, 1u);
  EXPECT_FALSE(datetime::Profile.IsMultiByte);
  EXPECT_TRUE(datetime::LeadBytes.none());
}

// --- Real locales ------------------------------------------------------------

struct RealLocale {
  const char* name;
  std::uint32_t lcid;
  std::uint32_t codePage;
  char dateSeparator;
};

class RealLocales : public LocaleTest, public ::testing::WithParamInterface<RealLocale> {};

TEST_P(RealLocales, IdentifyThemselvesAndTheirCodePage) {
  USE_LOCALE(GetParam().name);
  EXPECT_EQ(platform::ThreadLocale(), GetParam().lcid);
  EXPECT_EQ(platform::AnsiCodePage(), GetParam().codePage);
  EXPECT_EQ(Answer(datetime::LOCALE_IDEFAULTANSICODEPAGE), std::to_string(GetParam().codePage));
  EXPECT_EQ(platform::PlatformId(), 2u);
  EXPECT_EQ(platform::DbcsEnabled(), 0);
}

TEST_P(RealLocales, AnswerOnlyForTheirOwnIdentifier) {
  USE_LOCALE(GetParam().name);
  char buffer[256];
  const std::uint32_t id = platform::ThreadLocale();
  EXPECT_GT(platform::LocaleInfo(id, datetime::LOCALE_SMONTHNAME1, buffer, 256), 0);
  EXPECT_EQ(platform::LocaleInfo(id ^ 0x0400, datetime::LOCALE_SMONTHNAME1, buffer, 256), 0);
  EXPECT_EQ(platform::LocaleInfo(0, datetime::LOCALE_SMONTHNAME1, buffer, 256), 0);
}

TEST_P(RealLocales, AnswersFitTheBufferOrAreRefused) {
  USE_LOCALE(GetParam().name);
  const std::optional<std::string> name = Answer(datetime::LOCALE_SMONTHNAME1);
  ASSERT_TRUE(name);
  const int size = static_cast<int>(name->size()) + 1;
  EXPECT_EQ(Answer(datetime::LOCALE_SMONTHNAME1, size), name);
  EXPECT_EQ(Answer(datetime::LOCALE_SMONTHNAME1, size - 1), std::nullopt);
}

TEST_P(RealLocales, NamesAreTheCLibrarysStandaloneNames) {
  USE_LOCALE(GetParam().name);
  // %OB and %Ob name a month on its own (the nominative, where a language
  // inflects); %A and %a name the day.
  for (int month = 1; month <= 12; ++month) {
    const std::tm t = Tm(2024, month, 15);
    EXPECT_EQ(Answer(datetime::LOCALE_SMONTHNAME1 + month - 1), Strftime("%OB", t)) << month;
    EXPECT_EQ(Answer(datetime::LOCALE_SABBREVMONTHNAME1 + month - 1), Strftime("%Ob", t)) << month;
  }
  using namespace std::chrono;
  static_assert(weekday(sys_days(year(2024) / January / 1)) == Monday);
  for (int k = 0; k < 7; ++k) {  // Monday first
    const std::tm t = Tm(2024, 1, 1 + k);
    EXPECT_EQ(Answer(datetime::LOCALE_SDAYNAME1 + k), Strftime("%A", t)) << k;
    EXPECT_EQ(Answer(datetime::LOCALE_SABBREVDAYNAME1 + k), Strftime("%a", t)) << k;
  }
}

TEST_P(RealLocales, DesignatorsAreTheCLibrarysEvenWhenEmpty) {
  USE_LOCALE(GetParam().name);
  EXPECT_EQ(Answer(datetime::LOCALE_S1159), Strftime("%p", Tm(2024, 1, 1, 9)));
  EXPECT_EQ(Answer(datetime::LOCALE_S2359), Strftime("%p", Tm(2024, 1, 1, 15)));
}

TEST_P(RealLocales, HaveNoLongDateAndNoCalendarType) {
  USE_LOCALE(GetParam().name);
  EXPECT_EQ(Answer(datetime::LOCALE_SLONGDATE), std::nullopt);
  EXPECT_EQ(Answer(datetime::LOCALE_ICALENDARTYPE), std::nullopt);
}

// The clock flags agree with what the locale's own time format shows.
TEST_P(RealLocales, ClockFlagsMatchTheRenderedTime) {
  USE_LOCALE(GetParam().name);
  const std::string afternoon = Strftime("%X", Tm(2024, 1, 1, 13, 58, 59));
  const std::string morning = Strftime("%X", Tm(2024, 1, 1, 9, 58, 59));
  const bool hour24 = afternoon.find("13") != std::string::npos;
  EXPECT_EQ(Answer(datetime::LOCALE_ITIME), hour24 ? "1" : "0") << afternoon;
  EXPECT_EQ(Answer(datetime::LOCALE_ITLZERO), morning.find("09") != std::string::npos ? "1" : "0")
      << morning;
  const std::string am = Strftime("%p", Tm(2024, 1, 1, 9));
  const bool markerFirst = !hour24 && !am.empty() && morning.find(am) < morning.find('9');
  EXPECT_EQ(Answer(datetime::LOCALE_ITIMEMARKPOSN), markerFirst ? "1" : "0") << morning;
}

TEST_P(RealLocales, LoadTheirSettings) {
  USE_LOCALE(GetParam().name);
  datetime::LoadFormatSettings();
  EXPECT_EQ(datetime::Profile.LocaleId, GetParam().lcid);
  EXPECT_EQ(datetime::Settings.DateSeparator, GetParam().dateSeparator);
  EXPECT_EQ(datetime::Settings.LongDateFormat, "mmmm d, yyyy");
  EXPECT_EQ(datetime::Settings.TimeAMString, nl_langinfo(AM_STR));
  EXPECT_EQ(datetime::Settings.TimePMString, nl_langinfo(PM_STR));
  const bool doubleByte =
      GetParam().codePage == 936 || GetParam().codePage == 949 || GetParam().codePage == 950;
  EXPECT_EQ(datetime::Profile.IsMultiByte, doubleByte);
  EXPECT_EQ(datetime::LeadBytes.count(), doubleByte ? 126u : 0u);
}

// Every byte that starts a two-byte character of the locale's codeset is a
// lead byte, so that no trail byte is ever read as a letter.
TEST_P(RealLocales, LeadBytesCoverTheCodesetsTwoByteCharacters) {
  USE_LOCALE(GetParam().name);
  datetime::LoadFormatSettings();
  const locale_t ctype = newlocale(LC_CTYPE_MASK, GetParam().name, static_cast<locale_t>(0));
  ASSERT_NE(ctype, static_cast<locale_t>(0));
  const locale_t previous = uselocale(ctype);
  for (int b = 0x80; b <= 0xFF; ++b) {
    for (const int trail : {0x41, 0x67, 0xA1}) {
      const char bytes[2] = {static_cast<char>(b), static_cast<char>(trail)};
      std::mbstate_t state{};
      wchar_t wide = 0;
      if (std::mbrtowc(&wide, bytes, 2, &state) == 2 && MB_CUR_MAX == 2) {
        EXPECT_TRUE(datetime::LeadBytes.test(b)) << std::hex << b << " " << trail;
      }
    }
  }
  uselocale(previous);
  freelocale(ctype);
}

// The short date renders as the C library renders %x.
TEST_P(RealLocales, ShortDateRendersLikeTheLocalesDate) {
  USE_LOCALE(GetParam().name);
  datetime::LoadFormatSettings();
  const int dates[][3] = {{1978, 11, 25}, {2024, 12, 31}, {2000, 10, 10}};
  for (const auto& [y, m, d] : dates) {
    EXPECT_EQ(datetime::RenderDateTime("ddddd", Value(y, m, d)), Strftime("%x", Tm(y, m, d)))
        << datetime::Settings.ShortDateFormat;
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, RealLocales,
    ::testing::Values(RealLocale{"en_US.UTF-8", 0x0409, 65001, '/'},
                      RealLocale{"de_DE.UTF-8", 0x0407, 65001, '.'},
                      RealLocale{"ja_JP.UTF-8", 0x0411, 65001, '/'},
                      // Month names that a month inflects: the nominative is taken.
                      RealLocale{"ru_RU.UTF-8", 0x0419, 65001, '.'},
                      RealLocale{"zh_TW.BIG5", 0x0404, 950, '/'},
                      RealLocale{"zh_CN.GBK", 0x0804, 936, '/'},
                      RealLocale{"ko_KR.EUC-KR", 0x0412, 949, '/'}),
    [](const ::testing::TestParamInfo<RealLocale>& info) {
      std::string name = info.param.name;
      for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return name;
    });

// Where the locale's time format says only what the format language can
// say, the long time format renders as the C library renders %X.
class PlainTimeLocales : public LocaleTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PlainTimeLocales, LongTimeRendersLikeTheLocalesTime) {
  USE_LOCALE(GetParam());
  datetime::LoadFormatSettings();
  const int times[][3] = {{13, 58, 59}, {9, 5, 1}, {0, 30, 0}, {12, 0, 0}};
  for (const auto& [h, m, s] : times) {
    EXPECT_EQ(datetime::RenderDateTime("tt", Value(2024, 1, 1, h, m, s)),
              Strftime("%X", Tm(2024, 1, 1, h, m, s)))
        << datetime::Settings.LongTimeFormat;
  }
}

INSTANTIATE_TEST_SUITE_P(All, PlainTimeLocales,
                         ::testing::Values("en_US.UTF-8", "de_DE.UTF-8", "ru_RU.UTF-8"));

// --- The alternate-calendar formatter ----------------------------------------

std::optional<std::string> AltDate(int year, int month, int day, const char* picture,
                                   int size = 256) {
  char out[256];
  const int n =
      platform::AltCalendarDate(platform::ThreadLocale(), year, month, day, picture, out, size);
  if (n == 0) return std::nullopt;
  EXPECT_EQ(out[n - 1], '\0');
  return std::string(out, static_cast<std::size_t>(n - 1));
}

TEST_F(LocaleTest, WithoutErasTheCalendarIsGregorian) {
  for (const char* name : {"C", "en_US.UTF-8", "de_DE.UTF-8"}) {
    if (!Use(name)) continue;
    ASSERT_STREQ(nl_langinfo(ERA), "");
    EXPECT_EQ(AltDate(1978, 2, 10, "gg"), "A.D.") << name;
    EXPECT_EQ(AltDate(1978, 2, 10, "yy"), "78");
    EXPECT_EQ(AltDate(1978, 2, 10, "yyyy"), "1978");
    EXPECT_EQ(AltDate(2005, 1, 1, "yy"), "05");
    EXPECT_EQ(AltDate(5, 1, 1, "yy"), "05");
    EXPECT_EQ(AltDate(5, 1, 1, "yyyy"), "0005");
    EXPECT_EQ(AltDate(12345, 6, 7, "yy"), "45");
    EXPECT_EQ(AltDate(12345, 6, 7, "yyyy"), "12345");
  }
}

TEST_F(LocaleTest, AltCalendarRefusesWhatItCannotAnswer) {
  ASSERT_TRUE(Use("C"));
  EXPECT_EQ(AltDate(1978, 2, 10, "g"), std::nullopt);
  EXPECT_EQ(AltDate(1978, 2, 10, "yyy"), std::nullopt);
  EXPECT_EQ(AltDate(1978, 2, 10, ""), std::nullopt);
  EXPECT_EQ(AltDate(0, 0, 0, "gg"), std::nullopt);
  EXPECT_EQ(AltDate(1978, 13, 1, "yy"), std::nullopt);
  EXPECT_EQ(AltDate(1978, 2, 0, "yy"), std::nullopt);
  EXPECT_EQ(AltDate(1978, 2, 10, "gg", 5), "A.D.");
  EXPECT_EQ(AltDate(1978, 2, 10, "gg", 4), std::nullopt);
  EXPECT_EQ(AltDate(1978, 2, 10, "yyyy", 4), std::nullopt);
}

TEST_F(LocaleTest, JapaneseErasNameTheReign) {
  USE_LOCALE("ja_JP.UTF-8");
  const std::string showa = "\xE6\x98\xAD\xE5\x92\x8C";
  const std::string heisei = "\xE5\xB9\xB3\xE6\x88\x90";
  const std::string reiwa = "\xE4\xBB\xA4\xE5\x92\x8C";
  EXPECT_EQ(AltDate(1978, 2, 10, "gg"), showa);
  EXPECT_EQ(AltDate(1978, 2, 10, "yy"), "53");
  EXPECT_EQ(AltDate(1978, 2, 10, "yyyy"), "0053");
  EXPECT_EQ(AltDate(1989, 1, 7, "gg"), showa);
  EXPECT_EQ(AltDate(1989, 1, 7, "yy"), "64");
  EXPECT_EQ(AltDate(1989, 1, 8, "gg"), heisei);
  EXPECT_EQ(AltDate(1989, 1, 8, "yy"), "01");
  EXPECT_EQ(AltDate(2019, 4, 30, "yy"), "31");
  EXPECT_EQ(AltDate(2019, 5, 1, "gg"), reiwa);
  EXPECT_EQ(AltDate(2019, 5, 1, "yy"), "01");
  EXPECT_EQ(AltDate(2019, 5, 1, "yyyy"), "0001");
}

TEST_F(LocaleTest, TaiwanCountsTheRepublicsYears) {
  USE_LOCALE("zh_TW.BIG5");
  EXPECT_EQ(AltDate(2019, 5, 1, "gg"), "\xA5\xC1\xB0\xEA");  // Minguo
  EXPECT_EQ(AltDate(2019, 5, 1, "yy"), "108");
  EXPECT_EQ(AltDate(2019, 5, 1, "yyyy"), "0108");
  EXPECT_EQ(AltDate(1978, 2, 10, "yy"), "67");
  EXPECT_EQ(AltDate(1912, 1, 1, "yy"), "01");
}

TEST_F(LocaleTest, EraSpecifiersRenderThroughTheFormatter) {
  USE_LOCALE("ja_JP.UTF-8");
  datetime::LoadFormatSettings();
  EXPECT_EQ(datetime::RenderDateTime("gg e/ee/eee", Value(2019, 5, 1)),
            "\xE4\xBB\xA4\xE5\x92\x8C 1/01/0001");
  EXPECT_EQ(datetime::RenderDateTime("ggee", Value(1978, 2, 10)),
            "\xE6\x98\xAD\xE5\x92\x8C"
            "53");
}

}  // namespace
}  // namespace clockcast
