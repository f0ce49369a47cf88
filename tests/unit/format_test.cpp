// The format interpreter against a fake settings record whose names are
// tagged ("sFeb", "lFriday", "p.m."), so that every expected text shows which
// table and which entry it came from.

#include "datetime/format.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "datetime/calendar.h"
#include "datetime/settings.h"
#include "fake_platform.h"

namespace clockcast::datetime {
namespace {

using namespace std::string_view_literals;

struct Case {
  std::string_view format;
  std::string_view expected;
};

// A value from its calendar and clock fields, for dates from 1899-12-30 on.
DateTimeValue At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return ComposeDate(static_cast<std::uint16_t>(y), static_cast<std::uint16_t>(mo),
                     static_cast<std::uint16_t>(d)) +
         ComposeTime(static_cast<std::uint16_t>(h), static_cast<std::uint16_t>(mi),
                     static_cast<std::uint16_t>(s), static_cast<std::uint16_t>(ms));
}

// A value for any date the calendar can decode, years past 9999 included.
DateTimeValue DayOf(int y, unsigned mo, unsigned d) {
  namespace chr = std::chrono;
  // chrono's years end at 32767; the calendar repeats every 400 years.
  const int shift = y > 30'000 ? 40'000 : 0;
  const chr::sys_days day{chr::year{y - shift} / chr::month{mo} / chr::day{d}};
  const chr::sys_days epoch{chr::year{1899} / 12 / 30};
  return static_cast<double>((day - epoch).count()) + shift / 400 * 146'097.0;
}

// 10 February 1978 14:05:09.007, a Friday.
DateTimeValue Sample() {
  return At(1978, 2, 10, 14, 5, 9, 7);
}

FormatSettings FakeSettings() {
  FormatSettings s;
  s.ShortDateFormat = "m/d/yy";
  s.LongDateFormat = "mmmm d, yyyy";
  s.ShortTimeFormat = "h:mm AMPM";
  s.LongTimeFormat = "h:mm:ss AMPM";
  const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* const longMonths[] = {"January",   "February", "March",    "April",
                                    "May",       "June",     "July",     "August",
                                    "September", "October",  "November", "December"};
  for (int i = 0; i < 12; ++i) {
    s.ShortMonthNames[i] = std::string("s") + months[i];
    s.LongMonthNames[i] = std::string("l") + longMonths[i];
  }
  const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const char* const longDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};
  for (int i = 0; i < 7; ++i) {
    s.ShortDayNames[i] = std::string("s") + days[i];
    s.LongDayNames[i] = std::string("l") + longDays[i];
  }
  s.TimeAMString = "a.m.";
  s.TimePMString = "p.m.";
  s.DateSeparator = '/';
  s.TimeSeparator = ':';
  return s;
}

// Shift-JIS lead bytes.
void UseShiftJis() {
  LeadBytes.reset();
  for (int b = 0x81; b <= 0x9F; ++b) LeadBytes.set(static_cast<std::size_t>(b));
  for (int b = 0xE0; b <= 0xFC; ++b) LeadBytes.set(static_cast<std::size_t>(b));
  Profile.IsMultiByte = true;
}

// Big5 lead bytes.
void UseBig5() {
  LeadBytes.reset();
  for (int b = 0x81; b <= 0xFE; ++b) LeadBytes.set(static_cast<std::size_t>(b));
  Profile.IsMultiByte = true;
}

class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetFake();
    savedSettings_ = Settings;
    savedProfile_ = Profile;
    savedLeadBytes_ = LeadBytes;
    Settings = FakeSettings();
    Profile = LocaleProfile{};
    LeadBytes.reset();
  }
  void TearDown() override {
    Settings = savedSettings_;
    Profile = savedProfile_;
    LeadBytes = savedLeadBytes_;
    testing::ResetFake();
  }

  static void ExpectRenders(const std::vector<Case>& cases, DateTimeValue value) {
    for (const Case& c : cases) {
      EXPECT_EQ(RenderDateTime(c.format, value), c.expected)
          << "format \"" << c.format << "\" at " << value;
    }
  }

 private:
  FormatSettings savedSettings_;
  LocaleProfile savedProfile_;
  LeadByteSet savedLeadBytes_;
};

TEST_F(FormatTest, YearRuns) {
  ExpectRenders({{"y", "78"},
                 {"yy", "78"},
                 {"yyy", "1978"},
                 {"yyyy", "1978"},
                 {"yyyyy", "1978"},
                 {"Y", "78"},
                 {"YYYY", "1978"},
                 {"yY", "7878"},  // runs compare case-exactly
                 {"yyYYY", "781978"}},
                Sample());
  ExpectRenders({{"y", "05"}, {"yyyy", "2005"}}, At(2005, 6, 1));
  ExpectRenders({{"y", "05"}, {"yy", "05"}, {"yyy", "0005"}, {"yyyy", "0005"}}, DayOf(5, 3, 1));
  ExpectRenders({{"yy", "00"}, {"yyyy", "0100"}}, DayOf(100, 1, 1));
  ExpectRenders({{"yyyy/mm/dd", "12345/06/07"}, {"yyy", "12345"}, {"yy", "45"}, {"c", "6/7/45"}},
                DayOf(12'345, 6, 7));
  ExpectRenders({{"yyyy", "65535"}, {"yy", "35"}, {"mmm d", "sDec 31"}}, DayOf(65'535, 12, 31));
}

TEST_F(FormatTest, MonthRuns) {
  ExpectRenders({{"m", "2"},
                 {"mm", "02"},
                 {"mmm", "sFeb"},
                 {"mmmm", "lFebruary"},
                 {"mmmmm", "lFebruary"},
                 {"M", "2"},
                 {"MMM", "sFeb"},
                 {"mM", "22"},
                 {"Mmm", "202"}},
                Sample());
  ExpectRenders({{"m", "11"}, {"mm", "11"}, {"mmm", "sNov"}, {"mmmm", "lNovember"}},
                At(2001, 11, 3));
  ExpectRenders({{"mmm", "sJan"}, {"mmmm", "lJanuary"}}, At(2001, 1, 3));
  ExpectRenders({{"mmm", "sDec"}, {"mmmm", "lDecember"}}, At(2001, 12, 3));
}

TEST_F(FormatTest, DayRuns) {
  ExpectRenders({{"d", "10"},
                 {"dd", "10"},
                 {"ddd", "sFri"},
                 {"dddd", "lFriday"},
                 {"ddddd", "2/10/78"},
                 {"dddddd", "lFebruary 10, 1978"},
                 {"ddddddd", "lFebruary 10, 1978"},
                 {"dddddddd", "lFebruary 10, 1978"},
                 {"D", "10"},
                 {"Dd", "1010"},
                 {"DDD", "sFri"}},
                Sample());
  ExpectRenders({{"d", "5"}, {"dd", "05"}, {"ddd", "sSun"}, {"dddd", "lSunday"}}, At(1978, 2, 5));
  ExpectRenders({{"ddd", "sSat"}, {"dddd", "lSaturday"}}, At(1978, 2, 11));
}

TEST_F(FormatTest, ClockRuns) {
  ExpectRenders({{"h", "14"},
                 {"hh", "14"},
                 {"hhh", "14"},
                 {"H", "14"},
                 {"hH", "1414"},
                 {"n", "5"},
                 {"nn", "05"},
                 {"nnn", "05"},
                 {"N", "5"},
                 {"s", "9"},
                 {"ss", "09"},
                 {"sss", "09"},
                 {"S", "9"},
                 {"z", "7"},
                 {"zz", "07"},
                 {"zzz", "007"},
                 {"zzzz", "007"},
                 {"Z", "7"},
                 {"zZ", "77"}},
                Sample());
  ExpectRenders({{"h", "9"},
                 {"hh", "09"},
                 {"hhh", "09"},
                 {"n", "8"},
                 {"nn", "08"},
                 {"s", "7"},
                 {"ss", "07"},
                 {"z", "0"},
                 {"zzz", "000"},
                 {"hh:nn:ss.zzz", "09:08:07.000"}},
                At(1978, 2, 10, 9, 8, 7, 0));
  ExpectRenders({{"z", "123"}, {"zz", "123"}, {"zzz", "123"}}, At(1978, 2, 10, 9, 8, 7, 123));
  ExpectRenders({{"h", "0"}, {"hh", "00"}, {"hh:nn", "00:30"}}, At(1978, 2, 10, 0, 30));
}

TEST_F(FormatTest, SettingsFormats) {
  ExpectRenders({{"t", "2:05 p.m."},
                 {"T", "2:05 p.m."},
                 {"tt", "2:05:09 p.m."},
                 {"ttt", "2:05:09 p.m."},
                 {"tT", "2:05 p.m.2:05 p.m."},
                 {"c", "2/10/78 2:05:09 p.m."},
                 {"cc", "2/10/78 2:05:09 p.m."},
                 {"C", "2/10/78 2:05:09 p.m."},
                 {"cC", "2/10/78 2:05:09 p.m.2/10/78 2:05:09 p.m."},
                 {"c c", "2/10/78 2:05:09 p.m. 2/10/78 2:05:09 p.m."}},
                Sample());
  Settings.ShortTimeFormat = "AMPM h:mm";  // marker first
  Settings.LongTimeFormat = "hh:mm:ss";    // 24-hour clock
  ExpectRenders({{"t", "p.m. 2:05"}, {"tt", "14:05:09"}, {"c", "2/10/78 14:05:09"}}, Sample());
}

TEST_F(FormatTest, EmptyFormatRendersLikeC) {
  EXPECT_EQ(RenderDateTime("", Sample()), "2/10/78 2:05:09 p.m.");
  EXPECT_EQ(RenderDateTime(std::string_view{}, Sample()), "2/10/78 2:05:09 p.m.");
  EXPECT_EQ(RenderDateTime("", At(1978, 2, 10)), "2/10/78");
  EXPECT_EQ(RenderDateTime("", At(1978, 2, 10, 0, 0, 0, 500)), "2/10/78");
  // A format that starts with NUL is not empty: it renders nothing.
  EXPECT_EQ(RenderDateTime("\0yy"sv, Sample()), "");
  Settings.ShortDateFormat.clear();
  EXPECT_EQ(RenderDateTime("", Sample()), " 2:05:09 p.m.");
}

TEST_F(FormatTest, CAtAndAfterMidnight) {
  ExpectRenders({{"c", "2/10/78"}, {"cc", "2/10/78"}, {"c|c", "2/10/78|2/10/78"}}, At(1978, 2, 10));
  ExpectRenders({{"c", "2/10/78"}}, At(1978, 2, 10, 0, 0, 0, 500));
  ExpectRenders({{"c", "2/10/78"}}, At(1978, 2, 10, 0, 0, 0, 999));
  ExpectRenders({{"c", "2/10/78 12:00:01 a.m."}}, At(1978, 2, 10, 0, 0, 1));
  ExpectRenders({{"c", "2/10/78 12:01:00 a.m."}}, At(1978, 2, 10, 0, 1, 0));
  ExpectRenders({{"c", "2/10/78 1:00:00 a.m."}}, At(1978, 2, 10, 1, 0, 0));
  ExpectRenders({{"c", "2/10/78 12:00:00 p.m."}}, At(1978, 2, 10, 12, 0, 0));
}

TEST_F(FormatTest, Separators) {
  ExpectRenders({{"/", "/"},
                 {":", ":"},
                 {"//", "//"},
                 {"m/d/yy", "2/10/78"},
                 {"h:n", "14:5"},
                 {"'/:'", "/:"}},
                Sample());
  Settings.DateSeparator = '-';
  Settings.TimeSeparator = '.';
  ExpectRenders({{"/", "-"},
                 {"//", "--"},
                 {":", "."},
                 {"yyyy/mm/dd hh:nn", "1978-02-10 14.05"},
                 {"ddddd", "2-10-78"},
                 {"'/'/\":\":", "/-:."}},
                Sample());
  Settings.DateSeparator = 'd';  // output is never read as a format again
  ExpectRenders({{"m/d", "2d10"}}, Sample());
  Settings.DateSeparator = '\0';
  Settings.TimeSeparator = '\0';
  ExpectRenders({{"/", ""},
                 {":", ""},
                 {"m/d/yy", "21078"},
                 {"hh:nn:ss", "140509"},
                 {"x/:x", "xx"},
                 {"ddddd", "21078"}},
                Sample());
}

TEST_F(FormatTest, PlainCharactersAreCopied) {
  ExpectRenders({{"x", "x"},
                 {"B", "B"},
                 {"q", "q"},
                 {"W", "W"},
                 {"1-2 ,.!?", "1-2 ,.!?"},
                 {"\xE9", "\xE9"},
                 {"[yyyy]", "[1978]"},
                 {"yy\0yy"sv, "78"}},
                Sample());
}

TEST_F(FormatTest, MinuteRule) {
  ExpectRenders({{"h:m", "14:5"},
                 {"hh:mm", "14:05"},
                 {"h:mmm", "14:05"},
                 {"h:mmmm", "14:05"},
                 {"hmmmm", "1405"},
                 {"hh:mm:mm", "14:05:02"},
                 {"h:mm:ss", "14:05:09"},
                 {"hM", "145"},
                 {"Hm", "145"},
                 {"h d m", "14 10 2"},
                 {"h m", "14 5"},      // a blank leaves the previous letter alone
                 {"h/m", "14/5"},      // so does a separator
                 {"h,mmmm", "14,05"},  // and any other non-letter
                 {"h1m", "1415"},
                 {"h'x'm", "14x5"},  // and a quoted literal
                 {"h\"x\"m", "14x5"},
                 {"hxm", "14x2"},  // a letter that is no specifier takes its place
                 {"mh", "214"},
                 {"nm", "52"},
                 {"hm m", "145 2"},  // the minute's M became N: the next m is the month
                 {"hh nn mm", "14 05 02"},
                 {"ymm", "7802"}},
                Sample());
}

TEST_F(FormatTest, HourLookAhead) {
  ExpectRenders({{"h am/pm", "2 pm"},
                 {"h AM/PM", "2 PM"},
                 {"h Am/pM", "2 pM"},
                 {"h a/p", "2 p"},
                 {"h A/P", "2 P"},
                 {"h ampm", "2 p.m."},
                 {"h AMPM", "2 p.m."},
                 {"h aMpM", "2 p.m."},
                 {"h:nn ampm", "2:05 p.m."},
                 {"hh am/pm", "02 pm"},
                 {"hh", "14"},
                 {"am/pm hh", "pm 02"},  // the flag stays set for the rest of the pass
                 {"am/pm h h", "pm 2 2"},
                 {"ampm hh", "p.m. 02"},
                 {"a/p hh", "p 02"},
                 {"hh 'am/pm'", "14 am/pm"},
                 {"hh \"am/pm\"", "14 am/pm"},
                 {"hh'h'am/pm", "14hpm"},  // a quoted h ends the look-ahead
                 {"hh'H'am/pm", "14Hpm"},
                 {"hh\"h\"am/pm", "14hpm"},
                 {"hh'a' am/pm", "02a pm"},  // a quoted a is passed over
                 // Either kind of quote toggles the look-ahead's quoting, so
                 // the form here seems quoted to it.
                 {"hh \"it's\" am/pm", "14 it's pm"},
                 {"h h am/pm", "14 2 pm"},       // the next hour letter ends it
                 {"h ax am/pm", "14 ax pm"},     // so does an a that starts no form
                 {"h aaa am/pm", "14 sFri pm"},  // and a day-name form
                 {"h aaaa", "14 lFriday"},
                 {"h am/pm m", "2 pm 2"},
                 {"h\0am/pm"sv, "14"}},
                Sample());
  ExpectRenders({{"h a/p", "9 a"},
                 {"h am/pm", "9 am"},
                 {"hh AM/PM", "09 AM"},
                 {"h ampm", "9 a.m."},
                 {"aM/Pm", "aM"},
                 {"A/p", "A"}},
                At(1978, 2, 10, 9, 0));
  ExpectRenders({{"h:nn ampm", "12:30 a.m."}, {"hh am/pm", "12 am"}, {"h:nn", "0:30"}},
                At(1978, 2, 10, 0, 30));
  ExpectRenders({{"h:nn ampm", "12:00 p.m."}, {"h a/p", "12 p"}}, At(1978, 2, 10, 12, 0));
  ExpectRenders({{"h am/pm", "12 am"}}, At(1978, 2, 10));
  ExpectRenders({{"h am/pm", "1 am"}}, At(1978, 2, 10, 1, 0));
  ExpectRenders({{"h am/pm", "1 pm"}}, At(1978, 2, 10, 13, 0));
  ExpectRenders({{"hh am/pm", "11 pm"}}, At(1978, 2, 10, 23, 59));
  ExpectRenders({{"hh am/pm", "11 am"}}, At(1978, 2, 10, 11, 59));
}

TEST_F(FormatTest, AForms) {
  ExpectRenders({{"a", "a"},
                 {"A", "A"},
                 {"aa", "aa"},
                 {"aaa", "sFri"},
                 {"aaaa", "lFriday"},
                 {"aaaaa", "lFridaya"},
                 {"aaaaaa", "lFridayaa"},
                 {"aaaaaaa", "lFridaysFri"},
                 {"AAA", "sFri"},
                 {"AaA", "sFri"},
                 {"AAAA", "lFriday"},
                 {"ampm", "p.m."},
                 {"AMPM", "p.m."},
                 {"aMpM", "p.m."},
                 {"am/pm", "pm"},
                 {"AM/PM", "PM"},
                 {"Am/pM", "pM"},
                 {"am/pmx", "pmx"},
                 {"a/p", "p"},
                 {"A/P", "P"},
                 {"a/P", "P"},
                 {"am/p", "a2/p"},  // no form: a, then the month after a letter A
                 {"AM/P", "A2/P"},
                 {"am", "a2"},
                 {"ap", "ap"},
                 {"A/", "A/"},
                 {"am/p\0m"sv, "a2/p"},  // the forms stop at NUL
                 {"a\0/p"sv, "a"},
                 {"aaaa h", "lFriday 14"},  // the day-name forms set no 12-hour flag
                 {"aaa h", "sFri 14"},
                 {"ampm h", "p.m. 2"},
                 {"a h", "a 14"}},
                Sample());
  ExpectRenders({{"ampm", "a.m."}, {"am/pm", "am"}, {"a/p", "a"}, {"AM/PM", "AM"}},
                At(1978, 2, 10, 11, 59, 59, 999));
  Settings.TimePMString.clear();
  ExpectRenders({{"ampm", ""}, {"h ampm", "2 "}}, Sample());
}

TEST_F(FormatTest, NestedPassesGoOneLevelDeep) {
  Settings.ShortDateFormat = "[ddddd][dddddd][t][tt][c][m]";
  ExpectRenders({{"ddddd", "[][][][][ ][2]"},
                 {"c", "[][][][][ ][2] 2:05:09 p.m."},
                 {"", "[][][][][ ][2] 2:05:09 p.m."}},
                Sample());
  ExpectRenders({{"ddddd", "[][][][][][2]"}, {"c", "[][][][][][2]"}}, At(1978, 2, 10));
  ExpectRenders({{"ddddd", "[][][][][][2]"}}, At(1978, 2, 10, 0, 0, 0, 500));
  Settings.LongTimeFormat = "h:mm<t><c>";
  ExpectRenders({{"tt", "14:05<>< >"}}, Sample());
  Settings.ShortTimeFormat.clear();
  ExpectRenders({{"t", ""}, {"xtx", "xx"}}, Sample());
}

TEST_F(FormatTest, NestedPassesHaveTheirOwnState) {
  // The 12-hour flag goes neither into a nested pass nor out of it.
  Settings.ShortTimeFormat = "hh";
  ExpectRenders({{"am/pm t", "pm 14"}}, Sample());
  Settings.ShortTimeFormat = "am/pm";
  ExpectRenders({{"t hh", "pm 14"}}, Sample());
  Settings.ShortTimeFormat = "h am/pm";
  ExpectRenders({{"t hh", "2 pm 14"}}, Sample());
  // The previous letter starts blank in a nested pass.
  Settings.ShortTimeFormat = "m";
  ExpectRenders({{"ht", "142"}, {"h t", "14 2"}}, Sample());
}

TEST_F(FormatTest, QuotedLiterals) {
  ExpectRenders({{"'dd'", "dd"},
                 {"\"dd\"", "dd"},
                 {"\"it's\"", "it's"},
                 {"'say \"hi\"'", "say \"hi\""},
                 {"'unclosed", "unclosed"},
                 {"yy'abc", "78abc"},
                 {"\"yy", "yy"},
                 {"'a''b'", "ab"},
                 {"''", ""},
                 {"''''", ""},
                 {"\"\"", ""},
                 {"'", ""},
                 {"\"", ""},
                 {"'x'yy", "x78"},
                 {"'hh:nn' hh:nn", "hh:nn 14:05"},
                 {"'a/p'", "a/p"},
                 {"\"'\"", "'"},
                 {"'\"'", "\""},
                 {"'ab\0cd'"sv, "ab"}},
                Sample());
}

TEST_F(FormatTest, OutputStopsAtExactly256Bytes) {
  EXPECT_EQ(RenderDateTime(std::string(300, 'x'), Sample()), std::string(256, 'x'));

  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>('0' + i % 10);
  EXPECT_EQ(RenderDateTime("'" + text + "'", Sample()), text.substr(0, 256));

  std::string months;
  std::string format;
  for (int i = 0; i < 30; ++i) {
    format += "mmmm ";
    months += "lFebruary ";
  }
  EXPECT_EQ(RenderDateTime(format, Sample()), months.substr(0, 256));

  EXPECT_EQ(RenderDateTime(std::string(255, 'x') + "yyyy", Sample()), std::string(255, 'x') + "1");
  EXPECT_EQ(RenderDateTime(std::string(256, 'x') + "yyyy", Sample()), std::string(256, 'x'));

  Settings.LongDayNames[5] = std::string(300, 'F');
  EXPECT_EQ(RenderDateTime("dddd", Sample()), std::string(256, 'F'));
  EXPECT_EQ(RenderDateTime("ddddxyz", Sample()), std::string(256, 'F'));

  // A two-byte character is cut after its first byte, in quotes or not.
  UseShiftJis();
  const std::string cut = std::string(255, 'x') + "\x82";
  EXPECT_EQ(RenderDateTime(std::string(255, 'x') + "\x82\xA0", Sample()), cut);
  EXPECT_EQ(RenderDateTime("'" + std::string(255, 'x') + "\x82\xA0'", Sample()), cut);
}

TEST_F(FormatTest, TwoByteCharactersOutsideQuotes) {
  UseShiftJis();
  // Year, month and day characters written without quotes are kept whole;
  // the trail byte 0x4E ('N') of the year character is no minute.
  ExpectRenders({{"yyyy\x94\x4E"
                  "m\x8C\x8E"
                  "d\x93\xFA",
                  "1978\x94\x4E"
                  "2\x8C\x8E"
                  "10\x93\xFA"},
                 // A two-byte character sets the previous letter to a blank.
                 {"h\x94\x4Em",
                  "14\x94\x4E"
                  "2"},
                 {"\x81yy", "\x81y78"},   // trail byte y
                 {"\x81'yy", "\x81'78"},  // trail byte quote opens no literal
                 {"\x81"
                  "aaa",
                  "\x81"
                  "aaa"},               // "\x81a" is one character, "aa" no form
                 {"yy\x81", "78\x81"},  // a lead byte at the end stands alone
                 {"yy\x81\0yy"sv, "78\x81"}},
                Sample());
  // The hour's look-ahead steps over two-byte characters as well.
  ExpectRenders({{"h\x81"
                  "a am/pm",
                  "2\x81"
                  "a pm"},
                 {"h\x81h am/pm", "2\x81h pm"},
                 {"h\x81' am/pm", "2\x81' pm"},
                 {"hh'\x81'' am/pm", "02\x81' pm"}},
                Sample());
}

TEST_F(FormatTest, WithoutLeadBytesEveryByteStandsAlone) {
  ExpectRenders({{"\x94\x4E",
                  "\x94"
                  "5"},
                 {"\x81"
                  "aaa",
                  "\x81sFri"},
                 {"'\x81'x'", "\x81x"}},
                Sample());
}

TEST_F(FormatTest, TwoByteCharactersInsideQuotes) {
  UseShiftJis();
  ExpectRenders({{"'\x94\x4E'", "\x94\x4E"},
                 {"\"\x94\x4E\"", "\x94\x4E"},
                 // A trail byte equal to the quote does not end the literal.
                 {"'\x81'x'", "\x81'x"},
                 {"\"\x81\"y\"", "\x81\"y"},
                 {"'\x81'", "\x81'"},  // unclosed: runs to the end
                 {"yyyy'\x94\x4E'mm",
                  "1978\x94\x4E"
                  "02"}},
                Sample());
}

// A fake alternate-calendar formatter that records what it is asked.
struct EraFormatter {
  std::optional<std::string> era, shortYear, longYear;
  std::vector<std::string> pictures;
  std::vector<int> dates;  // y * 10000 + m * 100 + d of every call

  void Install() {
    testing::Fake().altCalendar = [this](int y, int m, int d,
                                         const std::string& picture) -> std::optional<std::string> {
      pictures.push_back(picture);
      dates.push_back(y * 10'000 + m * 100 + d);
      if (picture == "gg") return era;
      if (picture == "yy") return shortYear;
      if (picture == "yyyy") return longYear;
      return std::nullopt;
    };
  }
};

TEST_F(FormatTest, EraAskedWithTheGregorianDateAndThePictures) {
  EraFormatter f{"Era", "53", "0053", {}, {}};
  f.Install();
  EXPECT_EQ(RenderDateTime("g e ee eee eeee gg G E", Sample()), "Era 53 53 0053 0053 Era Era 53");
  EXPECT_EQ(f.pictures,
            (std::vector<std::string>{"gg", "yy", "yy", "yyyy", "yyyy", "gg", "gg", "yy"}));
  EXPECT_EQ(f.dates, std::vector<int>(8, 19'780'210));
  f.dates.clear();
  EXPECT_EQ(RenderDateTime("gg", At(1899, 12, 30, 10, 0)), "Era");
  EXPECT_EQ(f.dates, std::vector<int>{18'991'230});
}

TEST_F(FormatTest, EraYear) {
  EraFormatter f{"Era", "05", "0005", {}, {}};
  f.Install();
  ExpectRenders({{"e", "5"}, {"ee", "05"}, {"eee", "0005"}, {"eeee", "0005"}, {"eeeee", "0005"}},
                Sample());
  f.shortYear = "53";
  ExpectRenders({{"e", "53"}, {"ee", "53"}}, Sample());
  f.shortYear = "00";
  ExpectRenders({{"e", "0"}, {"ee", "00"}}, Sample());
  f.shortYear = "";
  ExpectRenders({{"e", ""}, {"ee", ""}}, Sample());
}

TEST_F(FormatTest, FailingEraFormatter) {
  EraFormatter f{std::nullopt, std::nullopt, std::nullopt, {}, {}};
  f.Install();
  ExpectRenders({{"g", ""}, {"gg", ""}, {"e", ""}, {"ee", ""}, {"eee", ""}, {"yy g e", "78  "}},
                Sample());
  testing::Fake().altCalendar = nullptr;
  ExpectRenders({{"g", ""}, {"ggg", ""}, {"eeee", ""}, {"[g][e]", "[][]"}}, Sample());
}

TEST_F(FormatTest, JapaneseEraNameAbbreviation) {
  Profile.PrimaryLanguageId = 0x11;
  Profile.SubLanguageId = 0x01;
  UseShiftJis();
  EraFormatter f{"\x8F\xBA\x98\x61", "53", "0053", {}, {}};  // Showa in Shift-JIS
  f.Install();
  ExpectRenders({{"g", "\x8F\xBA"},
                 {"G", "\x8F\xBA"},
                 {"gg", "\x8F\xBA\x98\x61"},
                 {"ggg", "\x8F\xBA\x98\x61"},
                 {"ge",
                  "\x8F\xBA"
                  "53"}},
                Sample());
  f.era = "Showa";
  ExpectRenders({{"g", "S"}, {"gg", "Showa"}}, Sample());
  f.era = "\x8F";  // a lead byte without its trail: nothing past the end
  ExpectRenders({{"g", "\x8F"}}, Sample());
  f.era = "";
  ExpectRenders({{"g", ""}}, Sample());
  // Without multi-byte characters the first character is the first byte.
  f.era = "\x8F\xBA\x98\x61";
  Profile.IsMultiByte = false;
  ExpectRenders({{"g", "\x8F"}}, Sample());
}

TEST_F(FormatTest, ChineseTraditionalEraNameAbbreviation) {
  Profile.PrimaryLanguageId = 0x04;
  Profile.SubLanguageId = 0x01;
  UseBig5();
  const std::string republic = "\xA4\xA4\xB5\xD8\xA5\xC1\xB0\xEA";  // four Big5 characters
  EraFormatter f{republic, "67", "0067", {}, {}};
  f.Install();
  ExpectRenders({{"g", "\xA5\xC1\xB0\xEA"}, {"gg", republic}}, Sample());
  f.era =
      "\xA4\xA4"
      "AB\xB0\xEA";  // two-byte, A, B, two-byte: four characters
  ExpectRenders({{"g", "B\xB0\xEA"}}, Sample());
  f.era = "ABCD";
  ExpectRenders({{"g", "CD"}, {"gg", "ABCD"}}, Sample());
  f.era = "ABC";
  ExpectRenders({{"g", "ABC"}}, Sample());
  f.era = "ABCDE";
  ExpectRenders({{"g", "ABCDE"}}, Sample());
  f.era = "\xA5\xC1\xB0\xEA\xA4\xA4";  // three characters
  ExpectRenders({{"g", "\xA5\xC1\xB0\xEA\xA4\xA4"}}, Sample());
  // Counted byte by byte, the four characters are eight.
  f.era = republic;
  Profile.IsMultiByte = false;
  ExpectRenders({{"g", republic}}, Sample());
  f.era = "ABCD";
  ExpectRenders({{"g", "CD"}}, Sample());
}

TEST_F(FormatTest, OtherLanguagesKeepTheWholeEraName) {
  EraFormatter f{"ABCD", "67", "0067", {}, {}};
  f.Install();
  UseBig5();
  Profile.PrimaryLanguageId = 0x04;
  Profile.SubLanguageId = 0x02;  // Chinese Simplified
  ExpectRenders({{"g", "ABCD"}}, Sample());
  Profile.PrimaryLanguageId = 0x12;  // Korean
  Profile.SubLanguageId = 0x01;
  ExpectRenders({{"g", "ABCD"}}, Sample());
  Profile.PrimaryLanguageId = 0x09;
  LeadBytes.reset();
  Profile.IsMultiByte = false;
  f.era = "A.D.";
  ExpectRenders({{"g", "A.D."}, {"gg", "A.D."}}, Sample());
}

TEST_F(FormatTest, EraSpecifiersInTheShortDateFormat) {
  EraFormatter f{"Era", "05", "0005", {}, {}};
  f.Install();
  Settings.ShortDateFormat = "ggg eeee/m/d";
  ExpectRenders({{"ddddd", "Era 0005/2/10"}, {"c", "Era 0005/2/10 2:05:09 p.m."}}, Sample());
}

TEST_F(FormatTest, UnnormalisedValues) {
  const std::string_view full = "yyyy-mm-dd hh:nn:ss.zzz";
  EXPECT_EQ(RenderDateTime(full, Sample() + 1.5), "1978-02-12 02:05:09.007");
  EXPECT_EQ(RenderDateTime(full, Sample() - 1.0), "1978-02-09 14:05:09.007");
  EXPECT_EQ(RenderDateTime(full, -0.25), "1899-12-30 06:00:00.000");
  EXPECT_EQ(RenderDateTime(full, -1.25), "1899-12-29 06:00:00.000");
  EXPECT_EQ(RenderDateTime(full, -0.75), "1899-12-30 18:00:00.000");
  EXPECT_EQ(RenderDateTime(full, At(1899, 12, 30, 23) + 3.0 / 24), "1899-12-31 02:00:00.000");
  EXPECT_EQ(RenderDateTime("ddd dddd", -1.25), "sFri lFriday");
}

TEST_F(FormatTest, ZeroFieldsRenderNoNames) {
  // Day number -1: before the first calendar day; weekday 0.
  EXPECT_EQ(RenderDateTime("yyyy/mm/dd|ddd|dddd|mmm|mmmm|aaa|aaaa|m|d|y", -693'595.0),
            "0000/00/00|||||||0|0|00");
  // Day number 0 is weekday 1, a Sunday by number.
  EXPECT_EQ(RenderDateTime("mmm|ddd|aaaa", -693'594.0), "|sSun|lSunday");
  EXPECT_EQ(RenderDateTime("ddd|dddd", -693'600.0), "|");  // weekday -5
  // Past 65535-12-31 the date decodes to zero fields as well.
  EXPECT_EQ(RenderDateTime("yyyy/mm/dd|mmm|mmmm", DayOf(65'535, 12, 31) + 1), "0000/00/00||");
  EXPECT_EQ(RenderDateTime("yyyy/mm/dd|mmm|mmmm", 1e10), "0000/00/00||");
}

TEST_F(FormatTest, ExtremeValuesRender) {
  const double values[] = {std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::lowest(),
                           1e300,
                           -1e300,
                           1e15,
                           -1e15,
                           4.2e9,
                           -4.2e9};
  EraFormatter f{"Era", "05", "0005", {}, {}};
  f.Install();
  for (const double value : values) {
    for (const std::string_view format :
         {""sv, "c"sv, "yyyy mm dd hh nn ss zzz ddd dddd mmm mmmm aaa aaaa ampm am/pm a/p"sv,
          "ddddd dddddd t tt g e eee"sv}) {
      const std::string out = RenderDateTime(format, value);
      EXPECT_LE(out.size(), 256u) << value;
    }
  }
}

// A small deterministic generator (xorshift64*), the same on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1DULL;
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }

 private:
  std::uint64_t state_;
};

std::string RandomFormat(Random& random, std::size_t maxPieces) {
  static const std::string_view pieces[] = {
      "y",    "yy",    "yyyy",   "m",    "mm",   "mmm", "mmmm", "d",     "dd",  "ddd",
      "dddd", "ddddd", "dddddd", "h",    "hh",   "n",   "nn",   "s",     "ss",  "z",
      "zzz",  "t",     "tt",     "c",    "a",    "aaa", "aaaa", "am/pm", "a/p", "ampm",
      "AMPM", "g",     "gg",     "e",    "ee",   "eee", "'",    "\"",    "/",   ":",
      " ",    "x",     "\x81",   "\x94", "\0"sv, "M",   "H",    "N",     "'h'", "\x82'"};
  std::string format;
  const std::size_t count = random.Below(maxPieces + 1);
  for (std::size_t i = 0; i < count; ++i) {
    if (random.Below(5) == 0) {
      format += static_cast<char>(random.Below(256));
    } else {
      format += pieces[random.Below(std::size(pieces))];
    }
  }
  return format;
}

TEST_F(FormatTest, RandomFormatsNeverExceed256Bytes) {
  Random random(0x5EED'CAFE'F00Dull);
  const double values[] = {Sample(),
                           0.0,
                           -0.25,
                           -693'595.0,
                           2'958'465.999,
                           DayOf(65'535, 12, 31) + 0.5,
                           1e10,
                           -1e10,
                           std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()};
  std::string era;
  testing::Fake().altCalendar = [&era, &random](int, int, int,
                                                const std::string&) -> std::optional<std::string> {
    if (random.Below(4) == 0) return std::nullopt;
    return era;
  };
  for (int i = 0; i < 4000; ++i) {
    if (i % 50 == 0) {
      Settings.ShortDateFormat = RandomFormat(random, 12);
      Settings.LongDateFormat = RandomFormat(random, 12);
      Settings.ShortTimeFormat = RandomFormat(random, 12);
      Settings.LongTimeFormat = RandomFormat(random, 12);
      Settings.LongMonthNames[1] = std::string(random.Below(300), 'M');
      Settings.LongDayNames[5] = std::string(random.Below(300), 'D');
      Settings.TimePMString = std::string(random.Below(300), 'P');
      Settings.DateSeparator = static_cast<char>(random.Below(256));
      Settings.TimeSeparator = static_cast<char>(random.Below(256));
      if (random.Below(2) == 0) {
        UseShiftJis();
      } else {
        LeadBytes.reset();
      }
      Profile.IsMultiByte = random.Below(2) == 0;
      const std::uint32_t languages[] = {0x09, 0x11, 0x04, 0x12};
      Profile.PrimaryLanguageId = languages[random.Below(4)];
      Profile.SubLanguageId = 1 + static_cast<std::uint32_t>(random.Below(2));
      era.clear();
      const std::size_t eraLength = random.Below(256);
      for (std::size_t k = 0; k < eraLength; ++k) era += static_cast<char>(1 + random.Below(255));
    }
    const std::string format = RandomFormat(random, 120);
    const double value = values[random.Below(std::size(values))];
    const std::string out = RenderDateTime(format, value);
    ASSERT_LE(out.size(), 256u) << "case " << i;
  }
}

}  // namespace
}  // namespace clockcast::datetime
