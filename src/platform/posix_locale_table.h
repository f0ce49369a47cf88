// What the C library does not say about a locale, as data: the Windows code
// page of a codeset name and its lead bytes, and the locale table generated
// from ICU's CLDR data (tools/locale_table.cpp) with each locale's
// identifier and long date. Pure lookups; nothing here asks the C library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace clockcast::platform::posix {

// A code page's lead-byte ranges as GetCPInfo gives them: up to six
// (first, last) pairs, ended by a (0, 0) pair.
using LeadByteRanges = std::array<std::uint8_t, 12>;

// Whether `byte` lies in one of the ranges, that is, starts a two-byte
// character.
inline bool IsLeadByteIn(const LeadByteRanges& ranges, unsigned char byte) {
  for (std::size_t i = 0; i + 1 < ranges.size(); i += 2) {
    if (ranges[i] == 0 && ranges[i + 1] == 0) break;
    if (byte >= ranges[i] && byte <= ranges[i + 1]) return true;
  }
  return false;
}

// The Windows code page that stands for a C-library codeset name such as
// "UTF-8" or "BIG5"; 0 when none does. Case is ignored.
std::uint32_t CodePageOfCodeset(std::string_view codeset);

// The lead-byte ranges of the code pages that CodePageOfCodeset gives, and
// of 1252; false for any other code page.
bool LeadByteRangesOf(std::uint32_t codePage, LeadByteRanges& ranges);

// The identifier Windows gives a custom locale, and the table a locale that
// ICU has no Windows identifier for.
inline constexpr std::uint32_t kLocaleCustomUnspecified = 0x1000;

// A locale name such as "de_DE.UTF-8" or "sr_RS.UTF-8@latin", as setlocale
// answers it, looked up in the locale table: the entry of the locale the C
// library loaded for it (-1 when the table lacks it) and the locale
// identifier (LCID), (sub-language << 10) | primary language, as ICU gives
// it. The table is keyed by the name without its codeset; an alias of the C
// library's alias file ("deutsch", "korean.euc", any case) finds the locale
// it names, and a modifier or a territory that the C library passes over
// ("de_DE.UTF-8@bogus", "eo_XX") is passed over here too. "C" and "POSIX"
// (in any codeset) have 0, so that the built-in defaults hold; a locale the
// table lacks has kLocaleCustomUnspecified.
struct LocaleTableMatch {
  int entry;
  std::uint32_t id;
};
LocaleTableMatch FindLocale(std::string_view name);

// The long date format of a table entry, translated from CLDR, in the
// locale's codeset (a C-library codeset name); empty when CLDR has none or
// the table has none in that codeset.
std::string_view LongDateOf(int entry, std::string_view codeset);

}  // namespace clockcast::platform::posix
