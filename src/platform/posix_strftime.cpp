// Reading strftime formats: one tokeniser, and on it the expansion of the
// composite conversions, the separator and clock-flag scans and the
// translation into the date-time format language.

#include "platform/posix_strftime.h"

#include <utility>

#include "datetime/format_quoting.h"
#include "runtime/bytes.h"

namespace clockcast::platform::posix {

namespace {

struct Token {
  bool conversion = false;
  std::string_view text;  // the literal's bytes, or the whole conversion
  char pad = 0;           // the last of the padding flags - _ 0, or 0
  char letter = 0;        // the conversion character
};

// Reads the strftime token at `at` and moves past it. "%%", "%n" and "%t"
// are literal text; so is a "%" that ends the format.
Token NextToken(std::string_view format, std::size_t& at, const LeadByteRanges& lead) {
  const std::size_t start = at;
  if (format[at] != '%') {
    const bool twoBytes =
        IsLeadByteIn(lead, static_cast<unsigned char>(format[at])) && at + 1 < format.size();
    at += twoBytes ? 2 : 1;
    return {false, format.substr(start, at - start)};
  }
  std::size_t i = at + 1;
  char pad = 0;
  for (; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '-' || c == '_' || c == '0') {
      pad = c;
    } else if (c != '^' && c != '#') {
      break;
    }
  }
  while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i;
  if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) ++i;
  if (i >= format.size()) {
    at += 1;
    return {false, "%"};
  }
  at = i + 1;
  switch (format[i]) {
    case '%': return {false, "%"};
    case 'n': return {false, "\n"};
    case 't': return {false, "\t"};
    default: return {true, format.substr(start, at - start), pad, format[i]};
  }
}

bool IsHourLetter(char letter) {
  return letter == 'H' || letter == 'I' || letter == 'k' || letter == 'l';
}

// The composite conversions whose formats the locale gives, and the formats
// they have in the C locale.
enum Composite { kDateFormat, kTimeFormat, kAmPmFormat, kDateTimeFormat, kCompositeCount };
constexpr std::string_view kCFormats[kCompositeCount] = {"%m/%d/%y", "%H:%M:%S", "%I:%M:%S %p",
                                                         "%a %b %e %H:%M:%S %Y"};

int CompositeOf(char letter) {
  switch (letter) {
    case 'x': return kDateFormat;
    case 'X': return kTimeFormat;
    case 'r': return kAmPmFormat;
    case 'c': return kDateTimeFormat;
    default: return -1;
  }
}

// The expansion of composite conversions. Each composite stands for a
// format in which no composite leads back to it (see ExpandComposites), so
// the nesting is at most five deep, every conversion expanded gives at
// least one byte, and the work stops with the output at its cap: the time
// is linear in the size of the result.
class Expander {
 public:
  Expander(const StrftimeFormats& formats, const LeadByteRanges& lead) : lead_(lead) {
    const std::string_view given[kCompositeCount] = {formats.date, formats.time, formats.timeAmPm,
                                                     formats.dateTime};
    // The composites each format names, then all it leads to.
    unsigned reaches[kCompositeCount] = {};
    for (int k = 0; k < kCompositeCount; ++k) {
      for (std::size_t at = 0; at < given[k].size();) {
        const Token token = NextToken(given[k], at, lead);
        if (const int named = token.conversion ? CompositeOf(token.letter) : -1; named >= 0) {
          reaches[k] |= 1u << named;
        }
      }
    }
    for (int round = 0; round < kCompositeCount; ++round) {
      for (unsigned& reach : reaches) {
        for (int k = 0; k < kCompositeCount; ++k) {
          if ((reach & (1u << k)) != 0) reach |= reaches[k];
        }
      }
    }
    // A format that is empty or leads back to itself is taken as none.
    for (int k = 0; k < kCompositeCount; ++k) {
      const bool none = given[k].empty() || (reaches[k] & (1u << k)) != 0;
      formats_[k] = none ? kCFormats[k] : given[k];
    }
  }

  // Appends the expansion of `format`; false once the output is full.
  bool Expand(std::string_view format) {
    std::size_t at = 0;
    while (at < format.size()) {
      const Token token = NextToken(format, at, lead_);
      std::string_view expansion;
      if (!token.conversion) {
        if (!Append(runtime::SameBytes(token.text, "%") ? std::string_view("%%") : token.text))
          return false;
        continue;
      }
      switch (token.letter) {
        case 'D': expansion = "%m/%d/%y"; break;
        case 'F': expansion = "%Y-%m-%d"; break;
        case 'R': expansion = "%H:%M"; break;
        case 'T': expansion = "%H:%M:%S"; break;
        default: {
          const int composite = CompositeOf(token.letter);
          if (composite < 0) {
            if (!Append(token.text)) return false;
            continue;
          }
          expansion = formats_[composite];
        }
      }
      if (!Expand(expansion)) return false;
    }
    return true;
  }

  std::string Take() { return std::move(out_); }

 private:
  bool Append(std::string_view text) {
    if (out_.size() + text.size() > kMaxExpandedFormat) return false;
    out_ += text;
    return true;
  }

  LeadByteRanges lead_;
  std::string_view formats_[kCompositeCount];
  std::string out_;
};

}  // namespace

std::string ExpandComposites(std::string_view format, const StrftimeFormats& formats,
                             const LeadByteRanges& lead) {
  Expander expander(formats, lead);
  expander.Expand(format);
  return expander.Take();
}

std::optional<std::string> SeparatorOf(std::string_view format, SeparatorAfter after,
                                       const LeadByteRanges& lead) {
  std::size_t at = 0;
  bool inSeparator = false;
  std::string separator;
  while (at < format.size()) {
    const Token token = NextToken(format, at, lead);
    if (token.conversion) {
      if (inSeparator) return separator;
      inSeparator = after == SeparatorAfter::kFirstConversion || IsHourLetter(token.letter);
    } else if (inSeparator) {
      separator += token.text;
    }
  }
  return std::nullopt;
}

std::optional<ClockFlags> ClockFlagsOf(std::string_view format, const LeadByteRanges& lead) {
  std::size_t at = 0;
  ClockFlags flags;
  while (at < format.size()) {
    const Token token = NextToken(format, at, lead);
    if (!token.conversion) continue;
    if (token.letter == 'p' || token.letter == 'P') flags.markerFirst = true;
    if (!IsHourLetter(token.letter)) continue;
    flags.hour24 = token.letter == 'H' || token.letter == 'k';
    if (token.pad == 0) {
      flags.leadingZero = token.letter == 'H' || token.letter == 'I';
    } else {
      flags.leadingZero = token.pad == '0';
    }
    return flags;
  }
  return std::nullopt;
}

char SeparatorByteOf(const std::optional<std::string>& answer, char fallback) {
  if (!answer || answer->size() > 1) return fallback;
  return answer->empty() ? '\0' : answer->front();
}

std::string TranslateDateFormat(std::string_view format, char dateSeparator, char timeSeparator,
                                const LeadByteRanges& lead) {
  datetime::FormatText out;
  std::size_t at = 0;
  while (at < format.size()) {
    const Token token = NextToken(format, at, lead);
    if (!token.conversion) {
      // A "/" or ":" stands bare where the separator in force renders it.
      const char c = token.text.front();
      const bool rendersItself =
          (c == '/' && dateSeparator == '/') || (c == ':' && timeSeparator == ':');
      datetime::AppendLiteral(
          out, token.text,
          token.text.size() == 1 && datetime::IsFormatSpecial(c) && !rendersItself);
      continue;
    }
    const bool unpadded = token.pad == '-' || token.pad == '_';
    std::string_view specifier;  // none for a conversion the format language lacks
    switch (token.letter) {
      case 'd': specifier = unpadded ? "d" : "dd"; break;
      case 'e': specifier = token.pad == '0' ? "dd" : "d"; break;
      case 'm': specifier = unpadded ? "m" : "mm"; break;
      case 'y': specifier = "yy"; break;
      case 'Y': specifier = "yyyy"; break;
      case 'b':
      case 'h': specifier = "mmm"; break;
      case 'B': specifier = "mmmm"; break;
      case 'a': specifier = "ddd"; break;
      case 'A': specifier = "dddd"; break;
      case 'C': {
        // The century and the year of the century make the full year.
        std::size_t next = at;
        if (next < format.size()) {
          const Token year = NextToken(format, next, lead);
          if (year.conversion && year.letter == 'y') {
            specifier = "yyyy";
            at = next;
          }
        }
        break;
      }
      default: break;
    }
    if (!specifier.empty()) datetime::AppendSpecifier(out, specifier);
  }
  datetime::CloseLiteral(out);
  return std::move(out.text);
}

}  // namespace clockcast::platform::posix
