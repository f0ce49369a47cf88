// The translation of CLDR date patterns into the format language, for the
// locale table generator: fields, quoting, left-out fields and codesets.
#include "date_pattern.h"

#include <gtest/gtest.h>

namespace clockcast::tools {
namespace {

TEST(DatePattern, TranslatesFieldsQuotesLiteralsAndLeavesOutTheRest) {
  const struct {
    const char* pattern;
    const char* codeset;
    const char* format;  // nullptr: not writable in the codeset
  } rows[] = {
      {"EEEE, d. MMMM y", "UTF-8", "dddd, d. mmmm yyyy"},
      {"EEE dd.MM.yy E EE", "UTF-8", "ddd dd.mm.yy ddd ddd"},
      {"cccc LLLL LLL L yyyy", "UTF-8", "dddd mmmm mmm m yyyy"},
      // Letters of literal text, quoted in the pattern or not, and quotes.
      {"EEEE, d 'de' MMMM 'de' y", "UTF-8", "dddd, d \"de\" mmmm \"de\" yyyy"},
      {"y 'm'. MMMM d 'd'., EEEE", "UTF-8", "yyyy \"m\". mmmm d \"d\"., dddd"},
      {"d 'o''clock' MMMM", "UTF-8", "d \"o'clock\" mmmm"},
      {"d '' \"MMMM\"", "UTF-8", "d \"'\" '\"'mmmm'\"'"},
      {"d/M/y", "UTF-8", "d\"/\"m\"/\"yyyy"},
      {"d:M", "UTF-8", "d\":\"m"},
      // Runs that would join are kept apart.
      {"EEEEd", "UTF-8", "dddd\"\"d"},
      {"MMMM'x'M", "UTF-8", "mmmm\"x\"m"},
      // Fields without a specifier go with the literal that joins them.
      {"EEEE d MMMM G y", "UTF-8", "dddd d mmmm yyyy"},
      {"G y MMMM d, EEEE", "UTF-8", "yyyy mmmm d, dddd"},
      {"EEEEE, QQQ d MMMMM y 'r'", "UTF-8", "d yyyy \"r\""},
      // Text that is not ASCII is never read as a specifier: copied as it is.
      {"y\u5e74M\u6708d\u65e5EEEE", "UTF-8", "yyyy\u5e74m\u6708d\u65e5dddd"},
      {"EEEE, d MMMM y\u202f'\u0433'.", "UTF-8", "dddd, d mmmm yyyy\u202f\u0433."},
      // In other codesets, as the C library converts it. A two-byte
      // character whose trail byte is a letter (Big5 \xA4W) is quoted.
      {"y\u5e74M\u6708d\u65e5EEEE", "GBK",
       "yyyy\xC4\xEAm\xD4\xC2"
       "d\xC8\xD5"
       "dddd"},
      {"y\u5e74M\u6708d\u65e5 EEEE", "BIG5",
       "yyyy\xA6~m\xA4\xEB"
       "d\xA4\xE9 dddd"},
      {"EEEE\u4e0ad", "BIG5", "dddd\"\xA4W\"d"},
      {"y\u5e74M\u6708", "EUC-JP", "yyyy\xC7\xAFm\xB7\xEE"},
      {"EEEE, d MMMM y\u202f'\u0433'.", "KOI8-R", "dddd, d mmmm yyyy \xC7."},
      {"EEEE, d 'ta'\u2019 MMMM", "ISO-8859-3", nullptr},
      {"y\u5e74", "ISO-8859-1", nullptr},
  };
  for (const auto& row : rows) {
    const std::optional<std::string> format = TranslateDatePattern(row.pattern, row.codeset);
    if (row.format == nullptr) {
      EXPECT_FALSE(format) << row.pattern << " in " << row.codeset << ": " << *format;
    } else {
      EXPECT_EQ(format.value_or("(none)"), row.format) << row.pattern << " in " << row.codeset;
    }
  }
}

}  // namespace
}  // namespace clockcast::tools
