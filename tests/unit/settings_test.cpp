// Loading the format settings from a fake locale source: defaults, time-format
// shapes, texts, names, the locale profile, lead bytes and date-format adaptation.
#include "datetime/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "datetime/format.h"
#include "fake_platform.h"

namespace clockcast::datetime {
namespace {

using testing::Fake;
using Items = std::vector<std::pair<std::uint32_t, const char*>>;  // nullptr: item unknown

// A fresh fake whose thread locale answers `items` and whose process code page
// has the lead-byte `ranges`; then the settings are loaded.
void Load(std::uint32_t locale, const Items& items, std::vector<std::uint8_t> ranges = {},
          std::uint32_t platformId = 2, int dbcs = 0, bool complete = true) {
  testing::ResetFake();
  ReleaseFormatSettings();
  Fake().threadLocale = locale;
  Fake().platformId = platformId;
  Fake().dbcsEnabled = dbcs;
  Fake().leadByteRanges[Fake().ansiCodePage] = std::move(ranges);
  for (const auto& [item, text] : items) {
    if (text) Fake().localeItems[{locale, item}] = text;
  }
  LoadFormatSettings();
  if (complete) CompleteFormatSettings();
}

TEST(Settings, EveryQueryFailingGivesTheDefaults) {
  Load(0, {});
  EXPECT_EQ(std::tuple(PlatformFamily, Profile.LocaleId, Profile.PrimaryLanguageId,
                       Profile.SubLanguageId, Profile.IsMultiByte, LeadBytes.count()),
            std::tuple(2u, 0x0409u, 9u, 1u, false, 0u));
  std::string all = Settings.ShortDateFormat + '|' + Settings.LongDateFormat + '|' +
                    Settings.ShortTimeFormat + '|' + Settings.LongTimeFormat + '|' +
                    Settings.DateSeparator + Settings.TimeSeparator + '|' + Settings.TimeAMString +
                    '|' + Settings.TimePMString + '|';
  for (const auto& name : Settings.ShortMonthNames) all += name + ' ';
  for (const auto& name : Settings.LongMonthNames) all += name + ' ';
  for (const auto& name : Settings.ShortDayNames) all += name + ' ';
  for (const auto& name : Settings.LongDayNames) all += name + ' ';
  EXPECT_EQ(all,
            "m/d/yy|mmmm d, yyyy|h:mm AMPM|h:mm:ss AMPM|/:|am|pm|"
            "Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec January February March April May "
            "June July August September October November December Sun Mon Tue Wed Thu Fri Sat "
            "Sunday Monday Tuesday Wednesday Thursday Friday Saturday ");
}

TEST(Settings, TimeFormatsFollowTheThreeClockFlags) {
  const struct {
    const char *zero, *hour24, *markFirst, *shortFormat, *longFormat;
  } cases[] = {
      {"0", "0", "0", "h:mm AMPM", "h:mm:ss AMPM"},
      {"0", "0", "1", "AMPM h:mm", "AMPM h:mm:ss"},
      {"0", "1", "1", "h:mm", "h:mm:ss"},
      {"1", "0", "0", "hh:mm AMPM", "hh:mm:ss AMPM"},
      {"1", "0", "1", "AMPM hh:mm", "AMPM hh:mm:ss"},
      {"1", "1", "0", "hh:mm", "hh:mm:ss"},
      {"2", "-1", "$10", "hh:mm", "hh:mm:ss"},            // any nonzero integer is set
      {"yes", nullptr, "", "h:mm AMPM", "h:mm:ss AMPM"},  // no integer, no item: 0
  };
  for (const auto& c : cases) {
    Load(0x0409,
         {{LOCALE_ITLZERO, c.zero}, {LOCALE_ITIME, c.hour24}, {LOCALE_ITIMEMARKPOSN, c.markFirst}});
    EXPECT_EQ(Settings.ShortTimeFormat + '|' + Settings.LongTimeFormat,
              std::string(c.shortFormat) + '|' + c.longFormat);
  }
}

TEST(Settings, DesignatorsAndSeparatorsAreReadAsGiven) {
  const struct {
    Items items;
    const char *am, *pm;
    char date, time;  // a longer text leaves the default, an empty one the zero byte
  } cases[] = {
      {{{LOCALE_S1159, ""}, {LOCALE_SDATE, "."}, {LOCALE_STIME, "."}}, "", "pm", '.', '.'},
      {{{LOCALE_S2359, "\xA4U"}, {LOCALE_SDATE, ""}, {LOCALE_STIME, ""}}, "am", "\xA4U", 0, 0},
      {{{LOCALE_SDATE, ". "}, {LOCALE_STIME, "\xE5\xB9\xB4"}}, "am", "pm", '/', ':'},
      {{{LOCALE_SDATE, "\xA6~"}, {LOCALE_STIME, "\xA6"}}, "am", "pm", '/', '\xA6'},
  };
  for (const auto& c : cases) {
    Load(0x0407, c.items);
    EXPECT_EQ(std::tuple(Settings.TimeAMString, Settings.TimePMString, Settings.DateSeparator,
                         Settings.TimeSeparator),
              std::tuple(c.am, c.pm, c.date, c.time));
  }
  const std::string fits(255, 'd');  // the reading buffer holds 255 bytes and the zero
  Load(0x0407, {{LOCALE_SSHORTDATE, fits.c_str()}, {LOCALE_SLONGDATE, (fits + 'd').c_str()}});
  EXPECT_EQ(Settings.ShortDateFormat + '|' + Settings.LongDateFormat, fits + "|mmmm d, yyyy");
}

TEST(Settings, MissingNamesFallBackOneByOneAndDaysStartOnSunday) {
  // The locale numbers its days from Monday; Sunday's long and Monday's
  // short name are missing, and February's short name is defined empty.
  Items items = {{LOCALE_SABBREVMONTHNAME1, "J\xE4n"},   {LOCALE_SABBREVMONTHNAME1 + 1, ""},
                 {LOCALE_SABBREVMONTHNAME1 + 11, "Dez"}, {LOCALE_SMONTHNAME1 + 2, "M\xE4rz"},
                 {LOCALE_SABBREVDAYNAME1 + 6, "So"},     {LOCALE_SABBREVDAYNAME1 + 1, "Di"}};
  const char* longDays[] = {"Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"};
  for (std::uint32_t k = 0; k < 6; ++k) items.push_back({LOCALE_SDAYNAME1 + k, longDays[k]});
  Load(0x0407, items);
  std::string names;
  for (int i : {0, 1, 11}) names += Settings.ShortMonthNames[i] + ' ';
  for (int i : {1, 2, 3}) names += Settings.LongMonthNames[i] + ' ';
  for (const auto& name : Settings.ShortDayNames) names += name + ' ';
  for (const auto& name : Settings.LongDayNames) names += name + ' ';
  EXPECT_EQ(names,
            "J\xE4n Feb Dez February M\xE4rz April So Mon Di Wed Thu Fri Sat Sunday Montag "
            "Dienstag Mittwoch Donnerstag Freitag Samstag ");
}

TEST(Settings, ProfileAndMultiByteFlagFollowLanguageAndPlatform) {
  const struct {
    std::uint32_t locale, platform;
    int dbcs;
    const char* codePage;  // the locale's own, nullptr: the process's
    std::uint32_t primary, sub;
    std::size_t leadBytes;  // 0: not multi-byte
  } cases[] = {
      {0x0804, 2, 0, nullptr, 4, 2, 126},         // Simplified Chinese
      {0x00020411, 2, 0, nullptr, 0x11, 1, 126},  // sort bits above the language
      {0x00010000, 2, 0, nullptr, 9, 1, 0},       // no language: the English split stays
      {0x0407, 2, 0, nullptr, 7, 1, 0},           // Western: lead bytes never asked
      {0x0436, 2, 0, nullptr, 0x36, 1, 126},      // Afrikaans is not Western
      {0x0436, 2, 0, "28591", 0x36, 1, 0},        // its own page has no ranges
      {0x0411, 2, 0, "123456", 0x11, 1, 0},       // six digits are a page
      {0x0411, 2, 0, "1234567", 0x11, 1, 126},    // seven do not fit: the process's
      {0x0409, 1, 1, nullptr, 9, 1, 126},         // elsewhere the metric decides
      {0x0411, 1, 0, nullptr, 0x11, 1, 0},
  };
  for (const auto& c : cases) {
    Load(c.locale, {{LOCALE_IDEFAULTANSICODEPAGE, c.codePage}}, {0x81, 0xFE}, c.platform, c.dbcs);
    EXPECT_EQ(std::tuple(PlatformFamily, Profile.LocaleId, Profile.PrimaryLanguageId,
                         Profile.SubLanguageId, Profile.IsMultiByte, LeadBytes.count()),
              std::tuple(c.platform, c.locale, c.primary, c.sub, c.leadBytes != 0, c.leadBytes));
  }
}

TEST(Settings, LeadBytePairsAddInclusiveRangesUpToTheZeroPair) {
  const struct {
    std::vector<std::uint8_t> ranges;
    std::vector<int> in, out;
    std::size_t count;
  } cases[] = {
      {{0x81, 0x9F, 0xE0, 0xFC}, {0x81, 0x9F, 0xE0, 0xFC}, {0x80, 0xA0, 0xDF, 0xFD}, 60},
      {{0xFE, 0x81, 0xA1, 0xA2}, {0xA1, 0xA2}, {0x81, 0xFE}, 2},  // last < first: empty
      {{0xFF, 0xFF}, {0xFF}, {0xFE}, 1},                          // the top byte
      {{0x00, 0x02}, {0x00, 0x02}, {0x03}, 3},                    // only (0, 0) ends
      {{0x81, 0x82, 0, 0, 0xE0, 0xE1}, {0x81, 0x82}, {0xE0}, 2},
      {{1, 1, 3, 3, 5, 5, 7, 7, 9, 9, 11, 11}, {1, 11}, {2, 10}, 6},  // all six pairs
  };
  for (const auto& c : cases) {
    Load(0x0411, {}, c.ranges);
    EXPECT_EQ(LeadBytes.count(), c.count);
    for (int b : c.in) EXPECT_TRUE(LeadBytes.test(b)) << b;
    for (int b : c.out) EXPECT_FALSE(LeadBytes.test(b)) << b;
  }
}

TEST(Settings, DateFormatsAreAdaptedToEraCalendarsAndEastAsianLanguages) {
  const struct {
    std::uint32_t locale;
    const char *calendar, *format, *adapted;  // nullptr: item unknown
  } cases[] = {
      // Calendar types 3 to 5, in any language: years become era years.
      {0x0411, "3", nullptr, "m/d/ee"},  // the default formats too
      {0x0404, "4", "mmmm d, yyyy", "mmmm d, eeee"},
      {0x0412, "5", "GgyYy g", "gggeee g"},
      {0x0409, "3", "yyyyy '\"Y\"'", "eeeee '\"e\"'"},    // quotes are not tracked
      {0x0411, "3", "\x81gg\x81yyyy", "\x81gg\x81yeee"},  // a trail byte stays
      {0x0411, "3", "\x82y yy", "\202e ee"},              // 0x82 is no lead byte
      // Chinese, Japanese and Korean otherwise drop g and G, quoted or not.
      {0x0411, "1", "ggyyyy/mm/dd", "yyyy/mm/dd"},
      {0x0804, nullptr, "gg yyyy", " yyyy"},
      {0x0412, "6", "Gg'G'\"g\"yy", "''\"\"yy"},
      // A two-byte character whose trail byte is a g is stepped over whole.
      {0x0404, "2", "\xB6g gg\x81Gyy '\x81g'g", "\xB6g \x81Gyy '\x81g'"},
      // Other languages keep theirs.
      {0x0409, "1", "gg yyyy", "gg yyyy"},
      {0x0407, "2", "'G' g yy", "'G' g yy"},
  };
  for (const auto& c : cases) {
    Load(c.locale,
         {{LOCALE_ICALENDARTYPE, c.calendar},
          {LOCALE_SSHORTDATE, c.format},
          {LOCALE_SLONGDATE, c.format}},
         {0x81, 0x81, 0xB6, 0xB6});
    EXPECT_EQ(Settings.ShortDateFormat, c.adapted) << c.format;
    EXPECT_EQ(Settings.LongDateFormat, c.format ? c.adapted : "mmmm d, eeee") << c.format;
  }
}

// The start-up only notes the locale; each part of the settings, and each
// name, is asked of it when a format first needs it, and just once. What
// renders is the same as from settings read whole at start-up.
TEST(Settings, EachPartIsAskedWhenFirstNeededAndRendersAsIfReadWhole) {
  const std::uint32_t german = 0x0407;
  Items items = {{LOCALE_SDATE, "."},
                 {LOCALE_STIME, ":"},
                 {LOCALE_SSHORTDATE, "dd.MM.yyyy"},
                 {LOCALE_SLONGDATE, "dddd, d. MMMM yyyy"},
                 {LOCALE_S1159, "vorm."},
                 {LOCALE_S2359, "nachm."},
                 {LOCALE_ITIME, "1"},
                 {LOCALE_ITLZERO, "1"},
                 {LOCALE_ICALENDARTYPE, "1"}};
  const char* days[] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
  for (std::uint32_t i = 0; i < 7; ++i) {
    items.emplace_back(LOCALE_SABBREVDAYNAME1 + i, days[i]);
    items.emplace_back(LOCALE_SDAYNAME1 + i, i == 4 ? "Freitag" : days[i]);
  }
  items.emplace_back(LOCALE_SABBREVMONTHNAME1 + 1, "Feb");
  items.emplace_back(LOCALE_SMONTHNAME1 + 1, "Februar");
  const DateTimeValue friday = ComposeDate(1978, 2, 10) + ComposeTime(14, 5, 9, 7);

  for (const char* format : {"dd", "mmmm", "mmm", "dddd aaaa", "ddd aaa", "d/m", "hh:nn", "ampm",
                             "tt", "ddddd dddddd", "c"}) {
    Load(german, items, {}, 2, 0, true);
    const std::string whole = RenderDateTime(format, friday);
    Load(german, items, {}, 2, 0, false);
    EXPECT_EQ(RenderDateTime(format, friday), whole) << format;
    ReleaseFormatSettings();
    EXPECT_TRUE(Settings.LongMonthNames[1].empty() && Settings.ShortDateFormat.empty()) << format;
  }
  // Only what a format shows is asked, and once.
  Load(german, items, {}, 2, 0, false);
  Fake().askedItems.clear();
  RenderDateTime("dd mmmm mmmm", friday);
  EXPECT_EQ(Fake().askedItems, std::vector<std::uint32_t>{LOCALE_SMONTHNAME1 + 1});
  ReleaseFormatSettings();
}

}  // namespace
}  // namespace clockcast::datetime
