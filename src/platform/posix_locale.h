// The pure half of the POSIX locale answers: the translation of C-library
// locale facts (locale names, codeset names, strftime formats) into the
// Win32 terms that the locale items are asked in. Only SelectTimeLocale
// touches the process locale; posix_locale.cpp feeds the rest from
// nl_langinfo.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace clockcast::platform::posix {

// A code page's lead-byte ranges as GetCPInfo gives them: up to six
// (first, last) pairs, ended by a (0, 0) pair.
using LeadByteRanges = std::array<std::uint8_t, 12>;

// Selects the LC_TIME locale (setlocale) and works out, for every later
// locale answer, its identifier and its code page; the answers drawn from
// its date and time formats follow when first asked. False when the locale
// is not available; the previous one then stays. Without a call, the first
// locale answer selects the locale the environment names.
bool SelectTimeLocale(const char* name);

bool IsLeadByteIn(const LeadByteRanges& ranges, unsigned char byte);

// The Windows code page that stands for a C-library codeset name such as
// "UTF-8" or "BIG5"; 0 when none does. Case is ignored.
std::uint32_t CodePageOfCodeset(std::string_view codeset);

// The lead-byte ranges of the code pages that CodePageOfCodeset gives, and
// of 1252; false for any other code page.
bool LeadByteRangesOf(std::uint32_t codePage, LeadByteRanges& ranges);

// A locale name such as "de_DE.UTF-8" or "sr_RS.UTF-8@latin", as setlocale
// answers it, looked up in the locale table: the entry of the locale the C
// library loaded for it (-1 when the table lacks it) and the locale
// identifier (LCID), (sub-language << 10) | primary language, as ICU gives
// it. The table is keyed by the name without its codeset; an alias of the C
// library's alias file ("deutsch", "korean.euc", any case) finds the locale
// it names, and a modifier or a territory that the C library passes over
// ("de_DE.UTF-8@bogus", "eo_XX") is passed over here too. "C" and "POSIX"
// (in any codeset) have 0, so that the built-in defaults hold; a locale the
// table lacks has 0x1000, the identifier Windows gives a custom locale.
struct LocaleTableMatch {
  int entry;
  std::uint32_t id;
};
LocaleTableMatch FindLocale(std::string_view name);

// The long date format of a table entry, translated from CLDR, in the
// locale's codeset (a C-library codeset name); empty when CLDR has none or
// the table has none in that codeset.
std::string_view LongDateOf(int entry, std::string_view codeset);

// The formats that the composite strftime conversions %x, %X, %r and %c
// stand for in the locale at hand.
struct StrftimeFormats {
  std::string_view date;      // D_FMT
  std::string_view time;      // T_FMT
  std::string_view timeAmPm;  // T_FMT_AMPM
  std::string_view dateTime;  // D_T_FMT
};

// The longest expansion of ExpandComposites, in bytes: beyond it the format
// could not be a locale answer anyway (those have less than 256 bytes).
inline constexpr std::size_t kMaxExpandedFormat = 1024;

// Replaces the composite conversions %c %D %F %x %R %T %r %X (with any flags
// or E and O modifiers) by the conversions they stand for, nested ones too.
// A composite whose format is empty, or whose format leads back to itself
// through composites (a D_FMT of "%x%x"), stands for its format in the C
// locale: "%m/%d/%y", "%H:%M:%S", "%I:%M:%S %p", "%a %b %e %H:%M:%S %Y".
// The expansion ends before the first piece that would take it past
// kMaxExpandedFormat bytes. Lead bytes of `lead` start two-byte characters,
// which are copied whole.
std::string ExpandComposites(std::string_view format, const StrftimeFormats& formats,
                             const LeadByteRanges& lead);

// The literal text between the first two conversions of an expanded date
// format (possibly empty); nullopt when the format has fewer than two.
std::optional<std::string> DateSeparatorOf(std::string_view format, const LeadByteRanges& lead);

// The literal text after the first hour conversion of an expanded time
// format, up to the next conversion; nullopt without an hour or with nothing
// converted after it.
std::optional<std::string> TimeSeparatorOf(std::string_view format, const LeadByteRanges& lead);

// The clock flags of an expanded time format, read from its first hour
// conversion; nullopt when it converts no hour.
struct ClockFlags {
  bool hour24 = false;       // %H or %k
  bool leadingZero = false;  // zero-padded: %H or %I, or the 0 flag
  bool markerFirst = false;  // %p or %P stands before the hour
};
std::optional<ClockFlags> ClockFlagsOf(std::string_view format, const LeadByteRanges& lead);

// The separator byte that a locale answer becomes once read into a 2-byte
// buffer: the byte of a one-byte answer, 0 for an empty one, `fallback` for
// a longer answer or none.
char SeparatorByteOf(const std::optional<std::string>& answer, char fallback);

// Translates an expanded strftime date format into the date-time format
// language: %d dd, %e d, %m mm, %y yy, %Y yyyy, %b and %h mmm, %B mmmm,
// %a ddd, %A dddd; %C directly followed by %y also yyyy. Other conversions
// are dropped. Literal text is kept; where the format language would read
// it as a specifier (ASCII letters, quotes, and a "/" or ":" that would not
// render itself, given the two separator bytes in force) it is quoted.
// Adjacent specifiers of one letter are kept apart by an empty literal.
std::string TranslateDateFormat(std::string_view format, char dateSeparator, char timeSeparator,
                                const LeadByteRanges& lead);

}  // namespace clockcast::platform::posix
