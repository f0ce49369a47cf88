// The strftime formats of a locale read in Win32 terms: the composite
// conversions expanded, the separators and the clock flags that a time
// format shows, and a date format translated into the date-time format
// language. Pure text work on the formats that nl_langinfo gives.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix_locale_table.h"

namespace clockcast::platform::posix {

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

// The conversion that a separator follows: in a date format the first
// conversion of all, in a time format the first hour.
enum class SeparatorAfter { kFirstConversion, kFirstHour };

// The literal text of an expanded format after the first conversion that
// `after` names, up to the next conversion (possibly empty); nullopt without
// such a conversion or with nothing converted after it.
std::optional<std::string> SeparatorOf(std::string_view format, SeparatorAfter after,
                                       const LeadByteRanges& lead);

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
