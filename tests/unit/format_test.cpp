// The format interpreter against a fake settings record with tagged names
// ("sFeb", "lFri") and the separators '-' and '.', so every text shows its source.

#include "datetime/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "datetime/format_quoting.h"
#include "datetime/settings.h"
#include "fake_platform.h"
#include "render_text.h"

namespace clockcast::datetime {
namespace {

using namespace std::string_view_literals;

constexpr double kDay = 28'531;  // 10 February 1978, a Friday
constexpr double kMs = 86'400'000;
constexpr double kSample = kDay + 50'709'007 / kMs;  // 14:05:09.007
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Row {
  std::string_view format, expected;
  double value = kSample;
};

class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetFake();
    ReleaseFormatSettings();
    Settings.ShortDateFormat = "m/d/yy";
    Settings.LongDateFormat = "mmmm d, yyyy";
    Settings.ShortTimeFormat = "h:mm AMPM";
    Settings.LongTimeFormat = "h:mm:ss AMPM";
    Settings.TimeAMString = "a.m.";
    Settings.TimePMString = "p.m.";
    Settings.DateSeparator = '-';
    Settings.TimeSeparator = '.';
    for (std::size_t i = 0; i < 12; ++i) {
      const auto month = std::string("JanFebMarAprMayJunJulAugSepOctNovDec").substr(3 * i, 3);
      Settings.ShortMonthNames[i] = "s" + month;
      Settings.LongMonthNames[i] = "l" + month;
    }
    for (std::size_t i = 0; i < 7; ++i) {
      const auto day = std::string("SunMonTueWedThuFriSat").substr(3 * i, 3);
      Settings.ShortDayNames[i] = "s" + day;
      Settings.LongDayNames[i] = "l" + day;
    }
  }
  void TearDown() override {
    ReleaseFormatSettings();
    testing::ResetFake();
  }
  static void Check(std::initializer_list<Row> rows) {
    for (const Row& r : rows) {
      EXPECT_EQ(RenderText(r.format, r.value), r.expected)
          << "format \"" << r.format << "\" at " << r.value;
    }
  }
};

TEST_F(FormatTest, Specifiers) {
  // At the sample value: runs (compared case-exactly), separators, plain
  // characters, the minute rule (an m after an h with no letter between), the
  // A-forms (AM/PM letters as written), quoted literals, the hour's look-ahead
  // (to the next h or unquoted a; either quote toggles its quoting), settings
  // formats, zero bytes and the empty format (c); in arrays by width.
  const std::initializer_list<Row> narrow = {
      {"y", "78"},         {"yy", "78"},        {"yyy", "1978"},    {"yyyy", "1978"},
      {"yyyyy", "1978"},   {"Y", "78"},         {"yY", "7878"},     {"m", "2"},
      {"mm", "02"},        {"mmm", "sFeb"},     {"mmmm", "lFeb"},   {"mmmmm", "lFeb"},
      {"M", "2"},          {"mM", "22"},        {"d", "10"},        {"dd", "10"},
      {"ddd", "sFri"},     {"dddd", "lFri"},    {"Dd", "1010"},     {"h", "14"},
      {"hh", "14"},        {"hhh", "14"},       {"H", "14"},        {"hH", "1414"},
      {"n", "5"},          {"nn", "05"},        {"nnn", "05"},      {"N", "5"},
      {"s", "9"},          {"ss", "09"},        {"sss", "09"},      {"z", "7"},
      {"zz", "07"},        {"zzz", "007"},      {"zzzz", "007"},    {"zZ", "77"},
      {"yy\0yy"sv, "78"},  {"\0yy"sv, ""},      {"/", "-"},         {":", "."},
      {"'/:'", "/:"},      {"\xE9", "\xE9"},    {"h:m", "14.5"},    {"hh:mm", "14.05"},
      {"h:mmm", "14.05"},  {"hmmmm", "1405"},   {"hM", "145"},      {"Hm", "145"},
      {"h m", "14 5"},     {"h/m", "14-5"},     {"h1m", "1415"},    {"h'x'm", "14x5"},
      {"hxm", "14x2"},     {"mh", "214"},       {"nm", "52"},       {"hm m", "145 2"},
      {"ymm", "7802"},     {"a", "a"},          {"A", "A"},         {"aa", "aa"},
      {"aaa", "sFri"},     {"aaaa", "lFri"},    {"aaaaa", "lFria"}, {"AaA", "sFri"},
      {"AAAA", "lFri"},    {"ampm", "p.m."},    {"AMPM", "p.m."},   {"am/pm", "pm"},
      {"AM/PM", "PM"},     {"Am/pM", "pM"},     {"a/p", "p"},       {"A/P", "P"},
      {"a/P", "P"},        {"am/p", "a2-p"},    {"am", "a2"},       {"ap", "ap"},
      {"A/", "A-"},        {"a h", "a 14"},     {"'dd'", "dd"},     {"\"dd\"", "dd"},
      {"''", ""},          {"'a''b'", "ab"},    {"\"'\"", "'"},     {"h am/pm", "2 pm"},
      {"h AM/PM", "2 PM"}, {"h Am/pM", "2 pM"}, {"h a/p", "2 p"},   {"h A/P", "2 P"},
      {"a/p hh", "p 02"},  {"t", "2.05 p.m."}};
  const std::initializer_list<Row> medium = {
      {"ddddd", "2-10-78"},          {"xBqW 1,!?", "xBqW 1,!?"},  {"hh:mm:mm", "14.05.02"},
      {"h d m", "14 10 2"},          {"aaaaaaa", "lFrisFri"},     {"am/p\0m"sv, "a2-p"},
      {"\"it's\"", "it's"},          {"'ab\0cd'"sv, "ab"},        {"h ampm", "2 p.m."},
      {"h aMpM", "2 p.m."},          {"hh am/pm", "02 pm"},       {"am/pm hh", "pm 02"},
      {"ampm hh", "p.m. 02"},        {"h\0am/pm"sv, "14"},        {"h h am/pm", "14 2 pm"},
      {"hh'h'am/pm", "14hpm"},       {"hh'a' am/pm", "02a pm"},   {"h ax am/pm", "14 ax pm"},
      {"hh 'am/pm'", "14 am/pm"},    {"aaaa h", "lFri 14"},       {"h aaa am/pm", "14 sFri pm"},
      {"ampm h", "p.m. 2"},          {"tt", "2.05.09 p.m."},      {"ttt", "2.05.09 p.m."},
      {"tT", "2.05 p.m.2.05 p.m."},  {"dddddd", "lFeb 10, 1978"}, {"ddddddd", "lFeb 10, 1978"},
      {"c", "2-10-78 2.05.09 p.m."}, {"", "2-10-78 2.05.09 p.m."}};
  const std::initializer_list<Row> wide = {{"'hh:nn' hh:nn", "hh:nn 14.05"},
                                           {"hh \"it's\" am/pm", "14 it's pm"},
                                           {"h \"x\" am/pm", "2 x pm"},
                                           {"cc", "2-10-78 2.05.09 p.m."},
                                           {"cC", "2-10-78 2.05.09 p.m.2-10-78 2.05.09 p.m."}};
  // Other dates and times: years 5, 12345 and 65535, first and last months
  // and weekdays, other clock fields, c at midnight (milliseconds ignored),
  // 12-hour edges, dates outside 0001-01-01 .. 65535-12-31 (zero fields and
  // no month names; a weekday name where the day number gives one: before day
  // 1 only at multiples of 7), unnormalised and negative values.
  const std::initializer_list<Row> values = {
      {"y|yyyy", "05|0005", -692'073},
      {"yyyy|yy", "12345|45", 3'815'117},
      {"yyyy", "65535", 23'242'572},
      {"m|mm|mmm|d|dd|ddd|dddd", "1|01|sJan|1|01|sSun|lSun", 28'491},
      {"m|mmmm|ddd|dddd", "12|lDec|sSat|lSat", 28'854},
      {"h|hh|n|s|z|zzz", "9|09|8|7|0|000", kDay + 32'887'000 / kMs},
      {"z|zz", "123|123", kDay + 32'887'123 / kMs},
      {"h|hh", "0|00", kDay + 0.5 / 24},
      {"c", "2-10-78", kDay},
      {"", "2-10-78", kDay},
      {"c", "2-10-78", kDay + 500 / kMs},
      {"c", "2-10-78 12.00.01 a.m.", kDay + 1'000 / kMs},
      {"c", "2-10-78 12.01.00 a.m.", kDay + 60'000 / kMs},
      {"h a/p", "9 a", kDay + 9 / 24.0},
      {"aM/Pm|A/p", "aM|A", kDay + 9 / 24.0},
      {"h:nn ampm", "12.30 a.m.", kDay + 0.5 / 24},
      {"h:nn", "0.30", kDay + 0.5 / 24},
      {"h a/p ampm", "12 p p.m.", kDay + 0.5},
      {"h am/pm", "1 pm", kDay + 13 / 24.0},
      {"ampm|am/pm|a/p", "a.m.|am|a", kDay + 43'199'999 / kMs},
      {"yyyy/mm/dd|ddd|dddd|mmm|mmmm|aaa|aaaa", "0000-00-00||||||", -693'595},
      {"mmm|ddd|aaaa", "|sSun|lSun", -693'594},
      {"ddd|dddd", "|", -693'600},
      {"yyyy/mm/dd|mmm|mmmm|ddd", "0000-00-00|||sWed", 23'242'573},
      {"ddd|yyyy", "sSun|0000", -693'601},
      {"ddd|yyyy", "sFri|0000", 1e9},
      {"yyyy|mmm", "0000|", 1e10},
      {"yyyy|mmm", "0000|", kInf},
      {"yyyy|mmm", "0000|", -kInf},
      {"yyyy-mm-dd hh:nn:ss.zzz", "1978-02-12 02.05.09.007", kSample + 1.5},
      {"yyyy-mm-dd hh:nn ddd", "1899-12-29 06.00 sFri", -1.25}};
  for (const auto& rows : {narrow, medium, wide, values}) Check(rows);
}

TEST_F(FormatTest, SettingsChanges) {
  Settings.DateSeparator = Settings.TimeSeparator = '\0';
  Check({{"m/d/yy h:n", "21078 145"}, {"x/:x", "xx"}, {"ddddd", "21078"}});
  Settings.DateSeparator = 'd';  // output is never read as a format
  Settings.TimeSeparator = ':';
  Settings.ShortTimeFormat = "AMPM h:mm";  // marker first
  Settings.LongTimeFormat = "hh:mm:ss";    // 24-hour clock
  Check({{"m/d", "2d10"}, {"t", "p.m. 2:05"}, {"tt", "14:05:09"}, {"c", "2d10d78 14:05:09"}});
  Settings.TimePMString.clear();
  Check({{"h ampm", "2 "}, {"t", " 2:05"}});
  // Nested passes go one level deep and have their own 12-hour flag and
  // previous letter.
  Settings.ShortDateFormat = "[ddddd][dddddd][t][tt][c][m]";
  Check({{"ddddd", "[][][][][ ][2]"},
         {"c", "[][][][][ ][2] 14:05:09"},
         {"ddddd", "[][][][][][2]", kDay}});
  Settings.LongTimeFormat = "h:mm<t><c>";
  Check({{"tt", "14:05<>< >"}});
  Settings.ShortTimeFormat.clear();
  Check({{"xtx", "xx"}});
  Settings.ShortTimeFormat = "hh";
  Check({{"am/pm t", "pm 14"}});
  Settings.ShortTimeFormat = "am/pm";
  Check({{"t hh", "pm 14"}});
  Settings.ShortTimeFormat = "mm";
  Check({{"ht", "1402"}});
}

TEST_F(FormatTest, OutputStopsAt256Bytes) {
  const std::string x255(255, 'x'), x256(256, 'x');
  Settings.LongDayNames[5] = std::string(300, 'F');
  Check({{std::string(300, 'x'), x256},
         {"'" + std::string(300, 'x') + "'", x256},
         {x255 + "yyyy", x255 + "1"},
         {"ddddxyz", std::string(256, 'F')}});
  // A two-byte character is cut after its lead byte, in quotes or not.
  for (int b = 0x81; b <= 0xFE; ++b) LeadBytes.set(static_cast<std::size_t>(b));
  Check({{x255 + "\x82\xA0", x255 + "\x82"}, {"'" + x255 + "\x82\xA0'", x255 + "\x82"}});
}

TEST_F(FormatTest, TwoByteCharacters) {
  // Without lead bytes every byte stands alone: the N renders the minute.
  Check({{"\x94N", "\x94\x35"}, {"'\x81'x'", "\x81x"}});
  for (int b = 0x81; b <= 0xFE; ++b) LeadBytes.set(static_cast<std::size_t>(b));
  // Outside quotes a two-byte character is copied whole (its trail byte N is
  // no minute) and makes the previous letter a blank; the hour's look-ahead
  // steps over it. In quotes a trail byte equal to the quote ends nothing.
  Check({{"yyyy\x94Nm\x8C\x8E-d\x93\xFA", "1978\x94N2\x8C\x8E-10\x93\xFA"},
         {"h\x94Nm", "14\x94N2"},
         {"\x81yy", "\x81y78"},
         {"\x81'yy", "\x81'78"},
         {"yy\x81", "78\x81"},
         {"h\x81h am/pm", "2\x81h pm"},
         {"hh'\x81'' am/pm", "02\x81' pm"},
         {"'\x94N'", "\x94N"},
         {"'\x81'x'", "\x81'x"},
         {"'\x81'", "\x81'"}});
}

TEST_F(FormatTest, EraTexts) {
  std::string era, yy, asked;
  testing::Fake().altCalendar = [&](int y, int m, int d, const std::string& picture) {
    asked += picture + "@" + std::to_string(y * 10'000 + m * 100 + d) + " ";
    if (era == "!") return std::optional<std::string>();
    return std::optional<std::string>(picture == "gg" ? era : picture == "yy" ? yy : "00" + yy);
  };
  const std::string_view kShowaSjis = "\x8F\xBA\x98\x61", kReiwaUtf8 = "\xE4\xBB\xA4\xE5\x92\x8C",
                         kRepublicBig5 = "\xA4\xA4\xB5\xD8\xA5\xC1\xB0\xEA";
  struct {
    std::string_view era, yy, format, expected;
    std::uint32_t language = 9, sublanguage = 1;
    bool multiByte = false;
  } const cases[] = {
      {"Era", "05", "g e ee eee eeee gg G E", "Era 5 05 0005 0005 Era Era 5"},
      {"Era", "00", "e|ee", "0|00"},
      {"Era", "", "e|ee|eee", "||00"},
      {"!", "05", "yy g e eee|gg", "78   |"},  // a failing formatter gives nothing
      // Japanese: g is the first character.
      {kShowaSjis, "53", "g|gg|G", "\x8F\xBA|\x8F\xBA\x98\x61|\x8F\xBA", 0x11, 1, true},
      {"Showa", "53", "g", "S", 0x11},
      {"\x8F", "53", "g", "\x8F", 0x11, 1, true},
      {kShowaSjis, "53", "g", "\x8F", 0x11},  // no two-byte characters: one byte
      {kReiwaUtf8, "08", "g|gg", "\xE4\xBB\xA4|\xE4\xBB\xA4\xE5\x92\x8C", 0x11},  // UTF-8 whole
      // Traditional Chinese: of a four-character name the last two.
      {kRepublicBig5, "67", "g|gg", "\xA5\xC1\xB0\xEA|\xA4\xA4\xB5\xD8\xA5\xC1\xB0\xEA", 4, 1,
       true},
      {"\xA4\xA4xy\xB0\xEA", "67", "g", "y\xB0\xEA", 4, 1, true},
      {"ABCD", "67", "g", "CD", 4},
      {"ABC", "67", "g", "ABC", 4},
      {"ABCDE", "67", "g", "ABCDE", 4},
      {kRepublicBig5, "67", "g", kRepublicBig5, 4},  // counted by bytes: eight
      {kReiwaUtf8, "67", "g", kReiwaUtf8, 4},        // two UTF-8 characters
      {"ABCD", "67", "g", "ABCD", 4, 2, true},
      {"ABCD", "67", "g", "ABCD", 0x12, 1, true}};
  for (const auto& c : cases) {
    era = c.era;
    yy = c.yy;
    Profile.PrimaryLanguageId = c.language;
    Profile.SubLanguageId = c.sublanguage;
    Profile.IsMultiByte = c.multiByte;
    LeadBytes.reset();
    for (int b = 0x81; b <= 0xFE && c.multiByte; ++b) LeadBytes.set(static_cast<std::size_t>(b));
    EXPECT_EQ(RenderText(c.format, kSample), c.expected) << c.format << " of " << c.era;
  }
  // The formatter is asked with the Gregorian date and the pictures gg, yy, yyyy.
  asked.clear();
  EXPECT_EQ(RenderText("g e eee", 0.25), "ABCD 67 0067");
  EXPECT_EQ(asked, "gg@18991230 yy@18991230 yyyy@18991230 ");
  // No formatter: nothing, and no bytes copied from a null pointer (a fault the sanitizer
  // build found through fuzz_format).
  testing::Fake().altCalendar = nullptr;
  EXPECT_EQ(RenderText("[g][e] eee|gg'x'ee", kSample), "[][] |x");
}

TEST_F(FormatTest, ZeroBytesEndsAndTheCallersBuffer) {
  // A zero byte anywhere ends the format.
  const std::string format = "yyyy-mm-dd hh:nn:ss.zzz 'quoted' dddd h am/pm a/p ampm aaaa aaa";
  for (std::size_t at = 1; at <= format.size(); ++at) {
    std::string cut = format;
    cut.insert(at, 1, '\0');
    EXPECT_EQ(RenderText(cut + "yy", kSample), RenderText(format.substr(0, at), kSample));
  }
  // A number that meets the end of the result is cut where the whole text would be.
  for (const double value : {kSample, 2'958'465.999, 1.0, 36'526.5}) {
    for (const std::string number :
         {"d", "dd", "m", "mm", "yy", "yyyy", "h", "hh", "n", "nn", "s", "ss", "z", "zz", "zzz"}) {
      for (std::size_t pad = 248; pad <= kRenderCapacity; ++pad) {
        const std::string x(pad, 'x');
        EXPECT_EQ(RenderText(x + number, value),
                  (x + RenderText(number, value)).substr(0, kRenderCapacity))
            << number << " after " << pad;
      }
    }
  }
  // The caller's buffer receives the result and nothing more.
  const std::string longFormat = std::string(300, '-') + "yyyy";
  for (const std::string_view f :
       {std::string_view(), "d"sv, "hh:nn am/pm"sv, std::string_view(longFormat)}) {
    char text[kRenderCapacity];
    std::memset(text, '#', sizeof text);
    const std::size_t n = RenderDateTime(f, kSample, text);
    ASSERT_LE(n, kRenderCapacity);
    EXPECT_EQ(std::string(text, kRenderCapacity),
              RenderText(f, kSample) + std::string(kRenderCapacity - n, '#'));
  }
}

TEST_F(FormatTest, WrittenFormatsRenderTheirLiteralsAsWritten) {
  // Literal text between specifiers, quoted where the quoting rule says: the
  // engine gives back exactly its bytes (every byte but the zero, and quotes
  // of both kinds in a row), and a specifier written twice stays two runs.
  const std::string quotes = "\"'\"\"''";
  std::string low, high;
  for (int b = 1; b < 256; ++b) (b < 128 ? low : high) += static_cast<char>(b);
  for (const std::string& literal : {low, high, quotes}) {
    FormatText out;
    AppendSpecifier(out, "d");
    for (const char c : literal) AppendLiteral(out, std::string_view(&c, 1), IsFormatSpecial(c));
    AppendSpecifier(out, "yy");
    AppendSpecifier(out, "yy");
    CloseLiteral(out);
    EXPECT_EQ(RenderText(out.text, kDay), "10" + literal + "7878") << out.text;
  }
}

}  // namespace
}  // namespace clockcast::datetime
