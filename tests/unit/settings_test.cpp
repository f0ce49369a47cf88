#include "datetime/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"

namespace clockcast::datetime {
namespace {

using testing::Fake;

constexpr std::uint32_t kLocale = 0x0411;  // Japanese, for tests that need a nonzero locale

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetFake();
    ReleaseFormatSettings();
  }
  void TearDown() override { ReleaseFormatSettings(); }

  static void SetItem(std::uint32_t item, std::string text, std::uint32_t locale = kLocale) {
    Fake().localeItems[{locale, item}] = std::move(text);
  }

  // A profile as InitLocaleProfile leaves it, without asking the platform.
  static void UseProfile(std::uint32_t primary, bool multiByte, const std::vector<int>& leadBytes) {
    Profile.PrimaryLanguageId = primary;
    Profile.IsMultiByte = multiByte;
    LeadBytes.reset();
    for (int b : leadBytes) LeadBytes.set(static_cast<std::size_t>(b));
  }
};

std::vector<std::string> Names(const std::string (&table)[7]) {
  return {table, table + 7};
}
std::vector<std::string> Names(const std::string (&table)[12]) {
  return {table, table + 12};
}

// --- The locale without data -------------------------------------------------

TEST_F(SettingsTest, EveryQueryFailingGivesExactlyTheDefaults) {
  LoadFormatSettings();

  EXPECT_EQ(PlatformFamily, 2u);
  EXPECT_EQ(Profile.LocaleId, 0x0409u);
  EXPECT_EQ(Profile.PrimaryLanguageId, 9u);
  EXPECT_EQ(Profile.SubLanguageId, 1u);
  EXPECT_FALSE(Profile.IsMultiByte);
  EXPECT_TRUE(LeadBytes.none());

  EXPECT_EQ(Settings.ShortDateFormat, "m/d/yy");
  EXPECT_EQ(Settings.LongDateFormat, "mmmm d, yyyy");
  EXPECT_EQ(Settings.ShortTimeFormat, "h:mm AMPM");
  EXPECT_EQ(Settings.LongTimeFormat, "h:mm:ss AMPM");
  EXPECT_EQ(Settings.DateSeparator, '/');
  EXPECT_EQ(Settings.TimeSeparator, ':');
  EXPECT_EQ(Settings.TimeAMString, "am");
  EXPECT_EQ(Settings.TimePMString, "pm");
  EXPECT_EQ(Names(Settings.ShortMonthNames),
            (std::vector<std::string>{"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep",
                                      "Oct", "Nov", "Dec"}));
  EXPECT_EQ(
      Names(Settings.LongMonthNames),
      (std::vector<std::string>{"January", "February", "March", "April", "May", "June", "July",
                                "August", "September", "October", "November", "December"}));
  EXPECT_EQ(Names(Settings.ShortDayNames),
            (std::vector<std::string>{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"}));
  EXPECT_EQ(Names(Settings.LongDayNames),
            (std::vector<std::string>{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday",
                                      "Friday", "Saturday"}));
}

TEST_F(SettingsTest, UnidentifiedPlatformStaysZeroAndAsksTheDbcsMetric) {
  Fake().platformId = 0;
  Fake().dbcsEnabled = 0;
  LoadFormatSettings();
  EXPECT_EQ(PlatformFamily, 0u);
  EXPECT_FALSE(Profile.IsMultiByte);
  EXPECT_EQ(Settings.ShortDateFormat, "m/d/yy");
}

TEST_F(SettingsTest, ReleaseRestoresTheInitialState) {
  Fake().threadLocale = 0x0404;
  SetItem(LOCALE_IDEFAULTANSICODEPAGE, "950", 0x0404);
  Fake().leadByteRanges[950] = {0x81, 0xFE};
  SetItem(LOCALE_S1159, "", 0x0404);
  LoadFormatSettings();
  ASSERT_TRUE(Profile.IsMultiByte);

  ReleaseFormatSettings();
  EXPECT_EQ(Profile.LocaleId, 0x0409u);
  EXPECT_EQ(Profile.PrimaryLanguageId, 9u);
  EXPECT_EQ(Profile.SubLanguageId, 1u);
  EXPECT_FALSE(Profile.IsMultiByte);
  EXPECT_TRUE(LeadBytes.none());
  EXPECT_EQ(PlatformFamily, 0u);
  EXPECT_EQ(Settings.ShortDateFormat, "");
  EXPECT_EQ(Settings.DateSeparator, '/');
}

// --- Time formats from the three clock flags ---------------------------------

struct ClockCase {
  const char* leadingZero;  // nullptr: the item is unknown
  const char* hour24;
  const char* markerFirst;
  const char* shortFormat;
  const char* longFormat;
};

class TimeFormatShapes : public SettingsTest, public ::testing::WithParamInterface<ClockCase> {};

TEST_P(TimeFormatShapes, AreBuiltFromTheClockFlags) {
  const ClockCase& c = GetParam();
  Fake().threadLocale = 0x0409;
  if (c.leadingZero) SetItem(LOCALE_ITLZERO, c.leadingZero, 0x0409);
  if (c.hour24) SetItem(LOCALE_ITIME, c.hour24, 0x0409);
  if (c.markerFirst) SetItem(LOCALE_ITIMEMARKPOSN, c.markerFirst, 0x0409);
  LoadFormatSettings();
  EXPECT_EQ(Settings.ShortTimeFormat, c.shortFormat);
  EXPECT_EQ(Settings.LongTimeFormat, c.longFormat);
}

INSTANTIATE_TEST_SUITE_P(
    SixShapes, TimeFormatShapes,
    ::testing::Values(ClockCase{"0", "0", "0", "h:mm AMPM", "h:mm:ss AMPM"},
                      ClockCase{"0", "0", "1", "AMPM h:mm", "AMPM h:mm:ss"},
                      ClockCase{"0", "1", "1", "h:mm", "h:mm:ss"},
                      ClockCase{"1", "0", "0", "hh:mm AMPM", "hh:mm:ss AMPM"},
                      ClockCase{"1", "0", "1", "AMPM hh:mm", "AMPM hh:mm:ss"},
                      ClockCase{"1", "1", "0", "hh:mm", "hh:mm:ss"},
                      // Any nonzero value counts, however written.
                      ClockCase{"2", "-1", "$10", "hh:mm", "hh:mm:ss"},
                      ClockCase{"0x1", "0", "7", "AMPM hh:mm", "AMPM hh:mm:ss"},
                      // No integer, or no item: the default 0.
                      ClockCase{"yes", "1 ", "", "h:mm AMPM", "h:mm:ss AMPM"},
                      ClockCase{nullptr, nullptr, "1", "AMPM h:mm", "AMPM h:mm:ss"},
                      ClockCase{"1", nullptr, nullptr, "hh:mm AMPM", "hh:mm:ss AMPM"}));

// --- Texts and separators ----------------------------------------------------

TEST_F(SettingsTest, EmptyDesignatorStaysEmpty) {
  Fake().threadLocale = 0x0407;
  SetItem(LOCALE_S1159, "", 0x0407);
  LoadFormatSettings();
  EXPECT_EQ(Settings.TimeAMString, "");
  EXPECT_EQ(Settings.TimePMString, "pm");
}

TEST_F(SettingsTest, DesignatorsAreTakenAsGiven) {
  Fake().threadLocale = 0x0407;
  SetItem(LOCALE_S1159, "vorm.", 0x0407);
  SetItem(LOCALE_S2359, "\xA4U\xA4\xC8", 0x0407);
  LoadFormatSettings();
  EXPECT_EQ(Settings.TimeAMString, "vorm.");
  EXPECT_EQ(Settings.TimePMString, "\xA4U\xA4\xC8");
}

struct SeparatorCase {
  const char* item;  // nullptr: unknown
  char date;
  char time;
};

class Separators : public SettingsTest, public ::testing::WithParamInterface<SeparatorCase> {};

TEST_P(Separators, AreReadAsOneByte) {
  const SeparatorCase& c = GetParam();
  Fake().threadLocale = 0x0407;
  if (c.item) {
    SetItem(LOCALE_SDATE, c.item, 0x0407);
    SetItem(LOCALE_STIME, c.item, 0x0407);
  }
  LoadFormatSettings();
  EXPECT_EQ(Settings.DateSeparator, c.date);
  EXPECT_EQ(Settings.TimeSeparator, c.time);
}

INSTANTIATE_TEST_SUITE_P(
    All, Separators,
    ::testing::Values(SeparatorCase{".", '.', '.'}, SeparatorCase{"-", '-', '-'},
                      SeparatorCase{"", '\0', '\0'}, SeparatorCase{". ", '/', ':'},
                      SeparatorCase{"\xA6~", '/', ':'}, SeparatorCase{"\xE5\xB9\xB4", '/', ':'},
                      SeparatorCase{nullptr, '/', ':'}));

TEST_F(SettingsTest, ReadLocaleTextTakes255BytesButNot256) {
  SetItem(0x7001, std::string(255, 'x'));
  SetItem(0x7002, std::string(256, 'x'));
  SetItem(0x7003, "");
  EXPECT_EQ(ReadLocaleText(kLocale, 0x7001, "d"), std::string(255, 'x'));
  EXPECT_EQ(ReadLocaleText(kLocale, 0x7002, "d"), "d");
  EXPECT_EQ(ReadLocaleText(kLocale, 0x7003, "d"), "");
  EXPECT_EQ(ReadLocaleText(kLocale, 0x7004, "d"), "d");
  EXPECT_EQ(ReadLocaleText(kLocale + 1, 0x7001, "other locale"), "other locale");
}

// --- Month and day names -----------------------------------------------------

TEST_F(SettingsTest, MissingMonthNamesFallBackOneByOne) {
  Fake().threadLocale = 0x0407;
  SetItem(LOCALE_SABBREVMONTHNAME1 + 0, "Jän", 0x0407);
  SetItem(LOCALE_SABBREVMONTHNAME1 + 1, "", 0x0407);  // defined empty
  SetItem(LOCALE_SABBREVMONTHNAME1 + 11, "Dez", 0x0407);
  SetItem(LOCALE_SMONTHNAME1 + 2, "März", 0x0407);
  SetItem(LOCALE_SMONTHNAME1 + 4, " ", 0x0407);  // a blank is a name
  LoadFormatSettings();
  EXPECT_EQ(Names(Settings.ShortMonthNames),
            (std::vector<std::string>{"Jän", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep",
                                      "Oct", "Nov", "Dez"}));
  EXPECT_EQ(Names(Settings.LongMonthNames),
            (std::vector<std::string>{"January", "February", "März", "April", " ", "June", "July",
                                      "August", "September", "October", "November", "December"}));
}

TEST_F(SettingsTest, DayNamesAreRotatedToStartOnSunday) {
  Fake().threadLocale = 0x0407;
  // The locale numbers its days from Monday.
  const char* shortNames[7] = {"Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"};
  const char* longNames[7] = {"Montag",  "Dienstag", "Mittwoch", "Donnerstag",
                              "Freitag", "Samstag",  "Sonntag"};
  for (std::uint32_t k = 0; k < 7; ++k) {
    SetItem(LOCALE_SABBREVDAYNAME1 + k, shortNames[k], 0x0407);
    SetItem(LOCALE_SDAYNAME1 + k, longNames[k], 0x0407);
  }
  LoadFormatSettings();
  EXPECT_EQ(Names(Settings.ShortDayNames),
            (std::vector<std::string>{"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"}));
  EXPECT_EQ(Names(Settings.LongDayNames),
            (std::vector<std::string>{"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag",
                                      "Freitag", "Samstag"}));
}

TEST_F(SettingsTest, MissingSundayFallsBackToSundaysEnglishName) {
  Fake().threadLocale = 0x0407;
  SetItem(LOCALE_SABBREVDAYNAME1 + 0, "Mo", 0x0407);  // Monday only
  SetItem(LOCALE_SDAYNAME1 + 5, "Samstag", 0x0407);   // Saturday only
  LoadFormatSettings();
  EXPECT_EQ(Names(Settings.ShortDayNames),
            (std::vector<std::string>{"Sun", "Mo", "Tue", "Wed", "Thu", "Fri", "Sat"}));
  EXPECT_EQ(Names(Settings.LongDayNames),
            (std::vector<std::string>{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday",
                                      "Friday", "Samstag"}));
}

// --- The locale profile and lead bytes ---------------------------------------

struct ProfileCase {
  std::uint32_t threadLocale;
  std::uint32_t localeId, primary, sub;
};

class LocaleProfiles : public SettingsTest, public ::testing::WithParamInterface<ProfileCase> {};

TEST_P(LocaleProfiles, SplitTheLanguageIdentifier) {
  const ProfileCase& c = GetParam();
  Fake().threadLocale = c.threadLocale;
  IdentifyPlatform();
  InitLocaleProfile();
  EXPECT_EQ(Profile.LocaleId, c.localeId);
  EXPECT_EQ(Profile.PrimaryLanguageId, c.primary);
  EXPECT_EQ(Profile.SubLanguageId, c.sub);
}

INSTANTIATE_TEST_SUITE_P(All, LocaleProfiles,
                         ::testing::Values(ProfileCase{0, 0x0409, 9, 1},
                                           ProfileCase{0x0407, 0x0407, 7, 1},
                                           ProfileCase{0x0804, 0x0804, 4, 2},
                                           ProfileCase{0x0C04, 0x0C04, 4, 3},
                                           ProfileCase{0x0436, 0x0436, 0x36, 1},
                                           // A sort identifier above the language.
                                           ProfileCase{0x00020411, 0x00020411, 0x11, 1},
                                           // No language at all: the English split stays.
                                           ProfileCase{0x00010000, 0x00010000, 9, 1},
                                           ProfileCase{0xFFFF, 0xFFFF, 0x3FF, 0x3F}));

TEST_F(SettingsTest, WesternLanguagesAreExactlyTheTwelve) {
  const std::uint32_t western[] = {0x00, 0x06, 0x07, 0x09, 0x0A, 0x0B,
                                   0x0C, 0x10, 0x13, 0x14, 0x16, 0x1D};
  for (std::uint32_t language = 0; language < 0x400; ++language) {
    Profile.PrimaryLanguageId = language;
    bool expected = false;
    for (std::uint32_t w : western) expected = expected || w == language;
    EXPECT_EQ(IsWesternLanguage(), expected) << "language " << language;
  }
}

TEST_F(SettingsTest, WesternLanguageOnNtNeverAsksForLeadBytes) {
  Fake().threadLocale = 0x0407;
  SetItem(LOCALE_IDEFAULTANSICODEPAGE, "936", 0x0407);
  Fake().leadByteRanges[936] = {0x81, 0xFE};
  LoadFormatSettings();
  EXPECT_FALSE(Profile.IsMultiByte);
  EXPECT_TRUE(LeadBytes.none());
}

TEST_F(SettingsTest, AfrikaansWithASingleByteCodePageIsNotMultiByte) {
  Fake().threadLocale = 0x0436;
  SetItem(LOCALE_IDEFAULTANSICODEPAGE, "1252", 0x0436);
  Fake().leadByteRanges[1252] = {};  // known, no ranges
  Fake().leadByteRanges[936] = {0x81, 0xFE};
  Fake().ansiCodePage = 936;  // not asked: the locale names its page
  LoadFormatSettings();
  EXPECT_FALSE(IsWesternLanguage());
  EXPECT_FALSE(Profile.IsMultiByte);
  EXPECT_TRUE(LeadBytes.none());
}

TEST_F(SettingsTest, AfrikaansFallsBackToTheProcessCodePage) {
  Fake().threadLocale = 0x0436;
  Fake().ansiCodePage = 936;
  Fake().leadByteRanges[936] = {0x81, 0xFE};
  LoadFormatSettings();
  EXPECT_TRUE(Profile.IsMultiByte);
  EXPECT_EQ(LeadBytes.count(), 126u);
}

TEST_F(SettingsTest, JapaneseOnNtTakesTheCodePagesRanges) {
  Fake().threadLocale = 0x0411;
  SetItem(LOCALE_IDEFAULTANSICODEPAGE, "932");
  Fake().leadByteRanges[932] = {0x81, 0x9F, 0xE0, 0xFC};
  LoadFormatSettings();
  EXPECT_TRUE(Profile.IsMultiByte);
  EXPECT_EQ(LeadBytes.count(), 31u + 29u);
  EXPECT_FALSE(LeadBytes.test(0x80));
  EXPECT_TRUE(LeadBytes.test(0x81));
  EXPECT_TRUE(LeadBytes.test(0x9F));
  EXPECT_FALSE(LeadBytes.test(0xA0));
  EXPECT_FALSE(LeadBytes.test(0xDF));
  EXPECT_TRUE(LeadBytes.test(0xE0));
  EXPECT_TRUE(LeadBytes.test(0xFC));
  EXPECT_FALSE(LeadBytes.test(0xFD));
}

TEST_F(SettingsTest, UnknownCodePageLeavesNoLeadBytes) {
  Fake().threadLocale = 0x0411;
  SetItem(LOCALE_IDEFAULTANSICODEPAGE, "20932");
  LoadFormatSettings();
  EXPECT_FALSE(Profile.IsMultiByte);
  EXPECT_TRUE(LeadBytes.none());
}

TEST_F(SettingsTest, OtherPlatformFollowsTheDbcsMetricEvenForWesternLanguages) {
  Fake().platformId = 1;
  Fake().threadLocale = 0x0409;
  Fake().dbcsEnabled = 1;
  Fake().ansiCodePage = 950;
  Fake().leadByteRanges[950] = {0x81, 0xFE};
  LoadFormatSettings();
  EXPECT_EQ(PlatformFamily, 1u);
  EXPECT_TRUE(Profile.IsMultiByte);
  EXPECT_EQ(LeadBytes.count(), 126u);

  // The metric set with a page without ranges: multi-byte, but no lead bytes.
  Fake().leadByteRanges[950] = {};
  LoadFormatSettings();
  EXPECT_TRUE(Profile.IsMultiByte);
  EXPECT_TRUE(LeadBytes.none());

  Fake().dbcsEnabled = 0;
  Fake().leadByteRanges[950] = {0x81, 0xFE};
  LoadFormatSettings();
  EXPECT_FALSE(Profile.IsMultiByte);
  EXPECT_TRUE(LeadBytes.none());
}

struct LeadPairsCase {
  std::vector<std::uint8_t> ranges;
  std::size_t count;
  std::vector<int> members;
  std::vector<int> nonMembers;
};

class LeadBytePairs : public SettingsTest, public ::testing::WithParamInterface<LeadPairsCase> {};

TEST_P(LeadBytePairs, AddTheirInclusiveRanges) {
  const LeadPairsCase& c = GetParam();
  Profile.LocaleId = 0x0404;
  SetItem(LOCALE_IDEFAULTANSICODEPAGE, "950", 0x0404);
  Fake().leadByteRanges[950] = c.ranges;
  LoadLeadBytes();
  EXPECT_EQ(LeadBytes.count(), c.count);
  for (int b : c.members) EXPECT_TRUE(LeadBytes.test(b)) << b;
  for (int b : c.nonMembers) EXPECT_FALSE(LeadBytes.test(b)) << b;
}

INSTANTIATE_TEST_SUITE_P(
    All, LeadBytePairs,
    ::testing::Values(
        LeadPairsCase{{0x81, 0xFE}, 126, {0x81, 0xA0, 0xFE}, {0x00, 0x80, 0xFF}},
        LeadPairsCase{{0xFE, 0x81}, 0, {}, {0x81, 0xFE}},            // last < first
        LeadPairsCase{{0xA1, 0xA1}, 1, {0xA1}, {0xA0, 0xA2}},        // one byte
        LeadPairsCase{{0xFF, 0xFF}, 1, {0xFF}, {0xFE}},              // the top byte
        LeadPairsCase{{0x00, 0x02}, 3, {0x00, 0x01, 0x02}, {0x03}},  // only (0, 0) ends
        LeadPairsCase{{0xFE, 0x81, 0xA1, 0xA2}, 2, {0xA1, 0xA2}, {0x81}},
        // The (0, 0) pair ends the list: what follows it is not read.
        LeadPairsCase{{0x81, 0x82, 0x00, 0x00, 0xE0, 0xE1}, 2, {0x81, 0x82}, {0xE0}},
        // Six pairs fill the record; all six are taken.
        LeadPairsCase{{0x81, 0x81, 0x83, 0x83, 0x85, 0x85, 0x87, 0x87, 0x89, 0x89, 0x8B, 0x8B},
                      6,
                      {0x81, 0x8B},
                      {0x82, 0x8A}}));

struct CodePageCase {
  const char* item;  // nullptr: unknown
  std::uint32_t expected;
};

class CodePages : public SettingsTest, public ::testing::WithParamInterface<CodePageCase> {};

TEST_P(CodePages, ComeFromTheLocaleOrTheProcess) {
  Fake().ansiCodePage = 1252;
  if (GetParam().item) SetItem(LOCALE_IDEFAULTANSICODEPAGE, GetParam().item);
  EXPECT_EQ(CodePageOfLocale(kLocale), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(All, CodePages,
                         ::testing::Values(CodePageCase{"932", 932}, CodePageCase{"65001", 65001},
                                           CodePageCase{"123456", 123456},  // six digits fit
                                           CodePageCase{"1234567", 1252},   // seven do not
                                           CodePageCase{"0", 0}, CodePageCase{"", 1252},
                                           CodePageCase{"ansi", 1252},
                                           CodePageCase{nullptr, 1252}));

// --- Date-format adaptation --------------------------------------------------

struct AdaptCase {
  const char* calendar;  // LOCALE_ICALENDARTYPE, nullptr: unknown
  std::uint32_t primary;
  bool multiByte;
  std::vector<int> leadBytes;
  std::string format;
  std::string expected;
};

class AdaptDateFormats : public SettingsTest, public ::testing::WithParamInterface<AdaptCase> {};

TEST_P(AdaptDateFormats, RewriteForErasOrDropEraLetters) {
  const AdaptCase& c = GetParam();
  Fake().threadLocale = kLocale;
  if (c.calendar) SetItem(LOCALE_ICALENDARTYPE, c.calendar);
  UseProfile(c.primary, c.multiByte, c.leadBytes);
  EXPECT_EQ(AdaptDateFormat(c.format), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EraCalendars, AdaptDateFormats,
    ::testing::Values(AdaptCase{"3", 0x11, false, {}, "m/d/yy", "m/d/ee"},
                      AdaptCase{"4", 0x04, false, {}, "mmmm d, yyyy", "mmmm d, eeee"},
                      AdaptCase{"5", 0x12, false, {}, "gg", "ggg"},
                      AdaptCase{"3", 0x11, false, {}, "GG", "ggg"},
                      AdaptCase{"3", 0x11, false, {}, "gG", "ggg"},
                      AdaptCase{"3", 0x11, false, {}, "ggg", "gggg"},
                      AdaptCase{"3", 0x11, false, {}, "gggg", "gggggg"},
                      AdaptCase{"3", 0x11, false, {}, "g", "g"},
                      AdaptCase{"3", 0x11, false, {}, "G", "G"},
                      AdaptCase{"3", 0x11, false, {}, "yYyY", "eeee"},
                      AdaptCase{"3", 0x11, false, {}, "yyy", "eee"},
                      AdaptCase{"3", 0x11, false, {}, "yyyyy", "eeeee"},
                      AdaptCase{"3", 0x11, false, {}, "Y", "e"},
                      AdaptCase{"3", 0x11, false, {}, "'y' \"Y\"", "'e' \"e\""},
                      AdaptCase{"3", 0x11, false, {}, "ggyy/mm/dd", "gggee/mm/dd"},
                      AdaptCase{"3", 0x11, false, {}, "dd.MM.yyyy ee", "dd.MM.eeee ee"},
                      // Any language gets the rewrite under an era calendar.
                      AdaptCase{"3", 0x09, false, {}, "d/m/yyyy", "d/m/eeee"},
                      AdaptCase{"0x3", 0x09, false, {}, "yy", "ee"},
                      // A two-byte character whose trail byte is a y or g is kept intact.
                      AdaptCase{"3", 0x11, true, {0x81}, "\x81y", "\x81y"},
                      AdaptCase{"3", 0x11, true, {0x81}, "\x81yyyy", "\x81yeee"},
                      AdaptCase{"3", 0x11, true, {0x81}, "\x81gg", "\x81gg"},
                      AdaptCase{"3", 0x11, true, {0x81}, "yy\x81yy", "ee\x81ye"},
                      AdaptCase{"3",
                                0x11,
                                true,
                                {0x81},
                                "\x82y",
                                "\x82"
                                "e"},
                      // A lead byte that ends the format is one byte long.
                      AdaptCase{"3", 0x11, true, {0x81}, "yy\x81", "ee\x81"},
                      // Without the multi-byte flag a lead byte is a character of its own.
                      AdaptCase{"3",
                                0x11,
                                false,
                                {0x81},
                                "\x81y",
                                "\x81"
                                "e"}));

INSTANTIATE_TEST_SUITE_P(
    EastAsianLanguages, AdaptDateFormats,
    ::testing::Values(AdaptCase{"1", 0x11, false, {}, "ggyyyy/mm/dd", "yyyy/mm/dd"},
                      AdaptCase{nullptr, 0x04, false, {}, "gg yyyy", " yyyy"},
                      AdaptCase{"2", 0x12, false, {}, "GgyyyY", "yyyY"},
                      AdaptCase{"6", 0x11, false, {}, "g", ""},
                      AdaptCase{"x", 0x11, false, {}, "yy", "yy"},
                      // Quotes do not protect a g.
                      AdaptCase{"1", 0x11, false, {}, "'G'\"g\" dd", "''\"\" dd"},
                      // A two-byte character with a g or G as its trail byte stays whole.
                      AdaptCase{"1", 0x04, true, {0xB6}, "\xB6g", "\xB6g"},
                      AdaptCase{"1", 0x04, true, {0x81}, "gg\x81Gyy", "\x81Gyy"},
                      AdaptCase{"1", 0x04, true, {0x81}, "'\x81g'g", "'\x81g'"},
                      AdaptCase{"1", 0x04, true, {0x81}, "\x81\x81gg", "\x81\x81"},
                      AdaptCase{"1", 0x04, true, {0x81}, "g\x81", "\x81"},
                      // The same bytes without the flag are single bytes, and lose the g.
                      AdaptCase{"1", 0x04, false, {0x81}, "\x81g", "\x81"}));

INSTANTIATE_TEST_SUITE_P(
    OtherLanguages, AdaptDateFormats,
    ::testing::Values(AdaptCase{"1", 0x09, false, {}, "gg yyyy", "gg yyyy"},
                      AdaptCase{nullptr, 0x09, false, {}, "'G' d.M.yy", "'G' d.M.yy"},
                      AdaptCase{"2", 0x07, false, {}, "g yy", "g yy"},
                      AdaptCase{"7", 0x411, false, {}, "gg", "gg"},
                      AdaptCase{"1", 0x09, false, {}, "", ""}));

TEST_F(SettingsTest, EraCalendarRewritesTheDefaultDateFormats) {
  Fake().threadLocale = 0x0411;
  SetItem(LOCALE_ICALENDARTYPE, "3");
  LoadFormatSettings();
  EXPECT_EQ(Settings.ShortDateFormat, "m/d/ee");
  EXPECT_EQ(Settings.LongDateFormat, "mmmm d, eeee");
}

TEST_F(SettingsTest, LocaleDateFormatsPassThroughTheAdaptation) {
  Fake().threadLocale = 0x0404;
  SetItem(LOCALE_IDEFAULTANSICODEPAGE, "950", 0x0404);
  Fake().leadByteRanges[950] = {0x81, 0xFE};
  SetItem(LOCALE_SSHORTDATE, "gg yyyy/M/d", 0x0404);
  // A Big5 character whose trail byte is a g, between era letters.
  SetItem(LOCALE_SLONGDATE, "gg\xB6gyyyy", 0x0404);
  LoadFormatSettings();
  EXPECT_EQ(Settings.ShortDateFormat, " yyyy/M/d");
  EXPECT_EQ(Settings.LongDateFormat, "\xB6gyyyy");
}

TEST_F(SettingsTest, EnglishDateFormatsAreStoredAsGiven) {
  Fake().threadLocale = 0x0409;
  SetItem(LOCALE_SSHORTDATE, "gg M/d/yyyy", 0x0409);
  SetItem(LOCALE_SLONGDATE, "dddd, MMMM dd, yyyy 'g'", 0x0409);
  SetItem(LOCALE_ICALENDARTYPE, "2", 0x0409);
  LoadFormatSettings();
  EXPECT_EQ(Settings.ShortDateFormat, "gg M/d/yyyy");
  EXPECT_EQ(Settings.LongDateFormat, "dddd, MMMM dd, yyyy 'g'");
}

}  // namespace
}  // namespace clockcast::datetime
