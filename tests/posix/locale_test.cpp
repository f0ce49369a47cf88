// The POSIX locale answers against the C library's own output in the real locales
// installed (missing ones are skipped, or fail under CI), and the pure helpers behind them.
#include <gtest/gtest.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "../unit/render_text.h"
#include "datetime/calendar.h"
#include "datetime/format.h"
#include "datetime/settings.h"
#include "platform/platform.h"
#include "platform/posix_locale_table.h"
#include "platform/posix_strftime.h"
#include "platform/posix_time_locale.h"

namespace clockcast {
namespace {

namespace posix = platform::posix;
using datetime::ComposeDate;
using datetime::RenderText;
using datetime::Settings;

// strftime in the current LC_TIME locale.
std::string Strftime(const char* format, int y, int m, int d, int h = 0, int mi = 0, int s = 0) {
  std::tm t{};
  t.tm_year = y - 1900, t.tm_mon = m - 1, t.tm_mday = d, t.tm_hour = h, t.tm_min = mi, t.tm_sec = s;
  timegm(&t);  // the weekday
  char out[256];
  return std::string(out, std::strftime(out, sizeof out, format, &t));
}

// Under CI a locale or tool that is missing fails the test; elsewhere the
// test is skipped and says why.
bool InCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::strcmp(ci, "true") == 0;
}

#define SELECT_LOCALE_OR_SKIP(name)                                                    \
  if (!platform::posix::SelectTimeLocale(name)) {                                      \
    if (InCi()) FAIL() << (name) << " is not installed";                               \
    GTEST_SKIP() << (name) << " is not installed (locales-all installs every locale)"; \
  }

// `utf8` in the codeset, as the C library converts it.
std::string Convert(const std::string& utf8, const char* codeset) {
  const iconv_t cd = iconv_open(codeset, "UTF-8");
  if (reinterpret_cast<std::intptr_t>(cd) == -1) return "(no converter to " + std::string(codeset);
  std::string in = utf8, out(4 * in.size() + 4, '\0');
  char *inPointer = in.data(), *outPointer = out.data();
  std::size_t inLeft = in.size(), outLeft = out.size();
  iconv(cd, &inPointer, &inLeft, &outPointer, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

TEST(PosixHelpers, NameLocalesReadClockFlagsAndStepOverTwoByteCharacters) {
  // Identifiers as Windows has them, and 0x1000 where it has none.
  const std::tuple<const char*, std::uint32_t> ids[] = {
      {"zh_HK.UTF-8", 0x0C04}, {"zh_TW.BIG5", 0x0404},
      {"de_AT@euro", 0x0C07},  {"en_GB", 0x0809},
      {"oc_FR.UTF-8", 0x0482}, {"ast_ES.UTF-8", 0x1000},
      {"xx_YY.UTF-8", 0x1000}, {"de_DE@latin", 0x0407},  // de_DE, as the C library loads
      {"C.UTF-8", 0},          {"POSIX", 0},
      {"sr_RS.UTF-8", 0x281A}, {"sr_RS.UTF-8@latin", 0x241A}};
  for (const auto& [name, id] : ids) EXPECT_EQ(posix::FindLocale(name).id, id) << name;
  // Aliases in any case, and names the C library falls back from, find the locale loaded.
  for (const auto& [name, canonical] : {std::pair("Deutsch", "de_DE"),
                                        {"KOREAN.euc", "ko_KR"},
                                        {"no_NO.ISO-8859-1", "nb_NO"},
                                        {"eo_XX.UTF-8", "eo"},
                                        {"sr_RS@bogus", "sr_RS"}}) {
    EXPECT_EQ(posix::FindLocale(name).entry, posix::FindLocale(canonical).entry) << name;
  }
  EXPECT_EQ(posix::FindLocale("deutsch.UTF-8").id, 0x1000u);  // an alias is the whole name
  // The long date in the locale's codeset; none in a codeset the table lacks.
  const int ru = posix::FindLocale("ru_RU.KOI8-R").entry;
  // KOI8-R has no narrow no-break space: a blank stands for it.
  EXPECT_EQ(posix::LongDateOf(ru, "KOI8-R"), "dddd, d mmmm yyyy " + Convert("\u0433.", "KOI8-R"));
  // uk_UA's own in KOI8-U, not ru_UA's, which comes first with that codeset.
  EXPECT_EQ(posix::LongDateOf(posix::FindLocale("uk_UA").entry, "KOI8-U"),
            "dddd, d mmmm yyyy " + Convert("\u0440.", "KOI8-U"));
  EXPECT_EQ(posix::LongDateOf(posix::FindLocale("ja_JP").entry, "SHIFT_JIS"), "");
  EXPECT_EQ(posix::LongDateOf(posix::FindLocale("de_DE@euro").entry, "ISO-8859-15"),
            "dddd, d. mmmm yyyy");
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
  using enum posix::SeparatorAfter;
  const struct {
    const char* format;
    posix::SeparatorAfter after;
    std::optional<std::string> separator;
  } separators[] = {{"%d.%m.%Y", kFirstConversion, "."},
                    {"%Y\xE5\xB9\xB4%m", kFirstConversion, "\xE5\xB9\xB4"},
                    {"%d%%%n%m", kFirstConversion, "%\n"},
                    {"%d%m", kFirstConversion, ""},
                    {"%d. ", kFirstConversion, std::nullopt},
                    {"%p %I h %M", kFirstHour, " h "},
                    {"%M:%S", kFirstHour, std::nullopt}};
  for (const auto& [format, after, separator] : separators) {
    EXPECT_EQ(posix::SeparatorOf(format, after, {}), separator) << format;
  }
  const posix::LeadByteRanges big5{0x81, 0xFE};
  // Big5 trail bytes 'W', 'g' and '%' are no letters or conversions of their own.
  EXPECT_EQ(posix::TranslateDateFormat("%Y\xA4W%d\xB6g", '/', ':', big5), "yyyy\xA4Wdd\xB6g");
  EXPECT_EQ(posix::TranslateDateFormat("%Y\xA4W", '/', ':', {}), "yyyy\xA4\"W\"");
  EXPECT_EQ(posix::ExpandComposites("\x81%x", {"%Y", "%H", "", ""}, big5), "\x81%x");
}

TEST(PosixHelpers, CompositesExpandWithinBoundsAndSelfReferenceMeansNone) {
  // D_FMT, T_FMT, T_FMT_AMPM, D_T_FMT; then what %x and %X stand for.
  const struct {
    posix::StrftimeFormats formats;
    const char *date, *time;
  } rows[] = {
      {{"%D", "%r", "", "%x %X"}, "%m/%d/%y", "%I:%M:%S %p"},  // en_US: %X is %r
      {{"%c", "%T", "%X", "%d.%m.%Y %R"}, "%d.%m.%Y %H:%M", "%H:%M:%S"},
      {{"", "", "%X", ""}, "%m/%d/%y", "%H:%M:%S"},  // none given: the C locale's
      // Leading back to itself is taken as none: directly, or through another.
      {{"%x%x", "%X", "%r", ""}, "%m/%d/%y", "%H:%M:%S"},
      {{"%c", "%r", "%X", "%Ex"}, "%m/%d/%y", "%H:%M:%S"},
      {{"[%X]", "%r", "%r", ""}, "[%I:%M:%S %p]", "%I:%M:%S %p"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(posix::ExpandComposites("%x", row.formats, {}), row.date) << row.formats.date;
    EXPECT_EQ(posix::ExpandComposites("%X", row.formats, {}), row.time) << row.formats.time;
  }
  // Four formats that each name the next 100 times and no cycle: 100^4 conversions, cut at
  // the cap at a whole conversion.
  std::string c, t, r, x;
  for (int i = 0; i < 100; ++i) c += "%X", t += "%r", r += "%T", x += "%c";
  const std::string expanded = posix::ExpandComposites("%x", {x, t, r, c}, {});
  EXPECT_EQ(expanded.size(), posix::kMaxExpandedFormat / 8 * 8);
  EXPECT_EQ(expanded.substr(0, 16), "%H:%M:%S%H:%M:%S");
}

class LocaleTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::posix::SelectTimeLocale("C"); }
};

// Translated formats render as strftime does (two-digit days: padding is alike).
TEST_F(LocaleTest, TranslatedDateFormatsRenderLikeStrftime) {
  datetime::LoadFormatSettings();  // in the C locale
  datetime::CompleteFormatSettings();
  const char* formats[] = {"%m/%d/%Y %A, %B %d, %Y %a %b %e %y",
                           "%d de %B de %Y; It's \"%d\" o'clock; ''\"\"'\"",
                           "%d%d|%a%d|%b%m|%m%B|%Y%m%d %D (%F)",
                           "Am %-d. %h ampm:AMPM/d/m/y %C%y: %Oy-%Om-%Od hh:nn:ss tt c z"};
  for (const auto& [date, time] : {std::tuple('/', ':'), {'-', '.'}, {'\0', ':'}, {':', '/'}}) {
    Settings.DateSeparator = date, Settings.TimeSeparator = time;
    for (const char* format : formats) {
      const std::string translated = posix::TranslateDateFormat(
          posix::ExpandComposites(format, {"%m/%d/%y", "%H:%M:%S", "", ""}, {}), date, time, {});
      for (const auto& [y, m, d] : {std::tuple(1978, 11, 25), {2024, 12, 31}, {2000, 10, 10}}) {
        EXPECT_EQ(RenderText(translated, ComposeDate(y, m, d)), Strftime(format, y, m, d))
            << format << " -> " << translated;
      }
    }
  }
  // A one-digit day and month (cs_CZ writes %-d.%-m.%Y): unpadded stays unpadded.
  Settings.DateSeparator = '/', Settings.TimeSeparator = ':';
  // Of several flags the last counts.
  for (const char* format :
       {"%-d.%-m.%Y", "%d.%m.%y", "%-d. %B %Y", "%-m/%-d/%y", "%_0d.%0-m.%-0e"}) {
    const std::string translated = posix::TranslateDateFormat(format, '/', ':', {});
    EXPECT_EQ(RenderText(translated, ComposeDate(2024, 3, 5)), Strftime(format, 2024, 3, 5))
        << format << " -> " << translated;
  }
  // Blank-padded ones cannot be said: unpadded is nearest.
  EXPECT_EQ(posix::TranslateDateFormat("%_d.%_m.%e", '/', ':', {}), "d.m.d");
}

struct RealLocale {
  const char* name;
  std::uint32_t id, codePage;
  char dateSeparator;
  bool plainTime;        // the time format says only what the format language can say
  const char* longDate;  // 10 February 1978 in UTF-8, from the CLDR long date
  friend void PrintTo(const RealLocale& locale, std::ostream* out) { *out << locale.name; }
};

constexpr RealLocale kRealLocales[] = {
    {"en_US.UTF-8", 0x0409, 65001, '/', true, "Friday, February 10, 1978"},
    {"de_DE.UTF-8", 0x0407, 65001, '.', true, "Freitag, 10. Februar 1978"},
    {"ja_JP.UTF-8", 0x0411, 65001, '/', false, "1978年2月10日金曜日"},
    {"ru_RU.UTF-8", 0x0419, 65001, '.', true,
     "Пятница, 10 "
     "Февраль 1978 г."},
    {"zh_TW.BIG5", 0x0404, 950, '/', false, "1978年2月10日 週五"},
    {"zh_CN.GBK", 0x0804, 936, '/', false, "1978年2月10日星期五"},
    {"ko_KR.EUC-KR", 0x0412, 949, '/', false, "1978년 2월 10일 금요일"}};

class RealLocales : public LocaleTest, public ::testing::WithParamInterface<RealLocale> {
 protected:
  void SetUp() override {
    SELECT_LOCALE_OR_SKIP(GetParam().name);
    datetime::LoadFormatSettings();
    datetime::CompleteFormatSettings();
  }
};

TEST_P(RealLocales, IdentifyThemselvesAndTheirLeadBytes) {
  const RealLocale& p = GetParam();
  const bool doubleByte = p.codePage == 936 || p.codePage == 949 || p.codePage == 950;
  EXPECT_EQ(
      std::tuple(platform::ThreadLocale(), platform::AnsiCodePage(), datetime::Profile.LocaleId,
                 datetime::Profile.IsMultiByte, datetime::LeadBytes.count(),
                 Settings.DateSeparator),
      std::tuple(p.id, p.codePage, p.id, doubleByte, doubleByte ? 126u : 0u, p.dateSeparator));
  // The long date, in the locale's codeset, with the C library's names.
  const char* codeset = std::strchr(p.name, '.') + 1;
  EXPECT_EQ(RenderText("dddddd", ComposeDate(1978, 2, 10)), Convert(p.longDate, codeset))
      << Settings.LongDateFormat;
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
    EXPECT_EQ(RenderText("ddddd", ComposeDate(y, m, d)), Strftime("%x", y, m, d))
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
    EXPECT_EQ(RenderText("tt", ComposeDate(2024, 1, 1) + datetime::ComposeTime(h, m, s, 0)),
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
      {"ja_JP.UTF-8", 1997, 5, 1, "\xE5\xB9\xB3\xE6\x88\x90 09 0009"},
      {"ja_JP.UTF-8", 2019, 5, 1, "\xE4\xBB\xA4\xE5\x92\x8C 01 0001"},  // Reiwa
      {"zh_TW.BIG5", 2019, 5, 1, "\xA5\xC1\xB0\xEA 108 0108"},          // Minguo
  };
  std::string missing;
  for (const auto& c : cases) {
    if (!platform::posix::SelectTimeLocale(c.locale)) {
      if (InCi()) ADD_FAILURE() << c.locale << " is not installed";
      missing += std::string(" ") + c.locale;
      continue;
    }
    EXPECT_EQ(RenderText("gg ee eeee", ComposeDate(c.y, c.m, c.d)), c.text) << c.locale;
  }
  if (!missing.empty()) GTEST_SKIP() << "not installed:" << missing;
}

// A locale that does not exist is no failure, and one the table has no long
// date for keeps the default.
TEST_F(LocaleTest, MissingLocalesAndLongDatesTakeTheDefaults) {
  EXPECT_FALSE(platform::posix::SelectTimeLocale("xx_YY.UTF-8"));
  SELECT_LOCALE_OR_SKIP("aa_DJ.UTF-8");
  datetime::LoadFormatSettings();
  datetime::CompleteFormatSettings();
  EXPECT_EQ(Settings.LongDateFormat, "mmmm d, yyyy");
}

// What a locale answers: its identifier, every setting and the long date.
std::string Answers(const char* name) {
  if (!platform::posix::SelectTimeLocale(name)) return "(not installed)";
  datetime::LoadFormatSettings();
  datetime::CompleteFormatSettings();
  std::string all = std::to_string(platform::ThreadLocale()) + Settings.DateSeparator +
                    Settings.TimeSeparator + Settings.TimeAMString + '|' + Settings.TimePMString +
                    '|' + RenderText("dddddd|ddddd|tt|t", ComposeDate(2026, 12, 7) + 0.5);
  for (const auto* names : {Settings.ShortMonthNames, Settings.LongMonthNames}) {
    for (int i = 0; i < 12; ++i) all += '|' + names[i];
  }
  for (const auto* names : {Settings.ShortDayNames, Settings.LongDayNames}) {
    for (int i = 0; i < 7; ++i) all += '|' + names[i];
  }
  return all;
}

// setlocale answers with the name it was given: each alias of the C library's alias file,
// and a name whose modifier or territory the C library passes over, must answer as the
// locale it loaded does under its own name.
TEST_F(LocaleTest, AliasesAndPassedOverNamesAnswerAsTheLocaleLoaded) {
  std::vector<std::pair<std::string, std::string>> pairs = {
      {"de_DE.UTF-8@bogus", "de_DE.UTF-8"}, {"de_DE@bogus", "de_DE"}, {"eo_XX.UTF-8", "eo.UTF-8"}};
  if (FILE* file = std::fopen("/usr/share/locale/locale.alias", "r")) {
    char alias[128], name[128];
    for (char line[256]; std::fgets(line, sizeof line, file) != nullptr;) {
      if (line[0] != '#' && std::sscanf(line, "%127s %127s", alias, name) == 2) {
        pairs.emplace_back(alias, name);
      }
    }
    std::fclose(file);
  }
  int compared = 0;
  for (const auto& [name, canonical] : pairs) {
    const std::string answers = Answers(name.c_str());
    if (answers == "(not installed)") continue;
    EXPECT_EQ(answers, Answers(canonical.c_str())) << name << " against " << canonical;
    ++compared;
  }
  if (compared < 40) {
    if (InCi()) FAIL() << "only " << compared << " aliases are installed";
    GTEST_SKIP() << "only " << compared << " aliases are installed; install locales-all";
  }
}

// Every locale the system has: those with names of their own print them, and
// each is found in the locale table (a locale the table lacked would still
// print the C library's names, as a custom locale).
TEST_F(LocaleTest, EveryInstalledUtf8LocalePrintsTheCLibrarysMonthNames) {
  std::vector<std::string> names;
  if (FILE* list = popen("locale -a 2>/dev/null", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, list) != nullptr) {
      const std::string name(line, std::strcspn(line, "\n"));
      std::string lower = name;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (lower.find(".utf8") != std::string::npos || lower.find(".utf-8") != std::string::npos) {
        names.push_back(name);
      }
    }
    pclose(list);
  }
  if (names.size() < 100) {
    if (InCi()) FAIL() << "locale -a lists " << names.size() << " UTF-8 locales";
    GTEST_SKIP() << "locale -a lists " << names.size() << " UTF-8 locales; install locales-all";
  }
  int ownNames = 0;
  const char* english[] = {"January", "February", "March",     "April",   "May",      "June",
                           "July",    "August",   "September", "October", "November", "December"};
  for (const std::string& name : names) {
    ASSERT_TRUE(platform::posix::SelectTimeLocale(name.c_str())) << name;
    datetime::LoadFormatSettings();
    bool own = false;
    for (int m = 1; m <= 12; ++m) {
      const std::string expected = Strftime("%OB", 2024, m, 15);
      own = own || expected != english[m - 1];
      EXPECT_EQ(RenderText("mmmm", ComposeDate(2024, m, 15)), expected) << name;
    }
    ownNames += own;
    const bool cLocale = name.starts_with("C.");
    EXPECT_TRUE(cLocale || posix::FindLocale(name).entry >= 0) << name << " is not in the table";
  }
  EXPECT_GT(ownNames, 100);
}

}  // namespace
}  // namespace clockcast
