// The user locale on POSIX: the LC_TIME locale that StartUp selected from
// the environment, read through nl_langinfo and answered in Win32 terms.
// The names, designators and the short date and time come from the C
// library; the locale identifier and the long date, which the C library
// does not have, from a table generated from ICU's CLDR data.
//
// The C and POSIX locales have no locale data: ThreadLocale is 0 and every
// locale item is unknown, so the settings loader takes its defaults.

#include "platform/posix_locale.h"

#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/platform.h"
#include "platform/posix.h"
#include "runtime/lasting.h"

namespace clockcast::platform {

namespace posix {

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

// True when the zero-terminated `a` and `b` are the same text but for the
// case of A to Z.
bool EqualIgnoringCase(const char* a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  for (const char c : b) {
    if (*a == '\0' || lower(*a) != lower(c)) return false;
    ++a;
  }
  return *a == '\0';
}

// True when `a` and `b` hold the same bytes. Compared byte by byte, not with
// ==, which calls memcmp: one more symbol for the dynamic linker to look up
// at every start, for a comparison of a few bytes.
bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// The position of the first byte of `text` from `from` on that is one of
// `bytes`; the size of the text when there is none.
std::size_t FindAnyOf(std::string_view text, std::size_t from, std::string_view bytes) {
  for (std::size_t i = from; i < text.size(); ++i) {
    for (const char b : bytes) {
      if (text[i] == b) return i;
    }
  }
  return text.size();
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
        if (!Append(token.text == "%" ? std::string_view("%%") : token.text)) return false;
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

// The locale table: names, identifiers and long dates from ICU's CLDR data,
// generated by tools/locale_table.cpp. It holds offsets into one block of
// text, not pointers, so that loading the program has no addresses to fix
// up in it.
struct LocaleTableEntry {
  std::uint16_t name;      // the locale name without its codeset
  std::uint16_t longDate;  // in UTF-8; 0 (the empty text) when CLDR has none
  std::uint16_t id;        // the Windows locale identifier, 0x1000 for none
};

// A long date in a codeset other than UTF-8, for the locales whose long
// date has text that is not ASCII.
struct LocaleTableVariant {
  std::uint16_t entry;  // index in kLocaleTable
  std::uint16_t codeset;
  std::uint16_t longDate;  // 0 when the codeset cannot write it
};

// An alias of the C library's alias file, in lower case, and the locale it
// stands for.
struct LocaleTableAlias {
  std::uint16_t name;
  std::uint16_t entry;  // index in kLocaleTable
};

#include "platform/posix_locale_table.inc"

constexpr std::uint32_t kLocaleCustomUnspecified = 0x1000;

std::string_view TextAt(std::uint16_t offset) {
  return std::string_view(kLocaleText + offset);
}

// The order of the table's name at `offset` and the name `base` followed by
// `modifier`: below 0, 0 or above 0, byte by byte as the table is sorted.
// Written out, as the lookup runs in every run that reads the locale.
int CompareName(std::uint16_t offset, std::string_view base, std::string_view modifier) {
  const char* entry = kLocaleText + offset;
  for (const std::string_view part : {base, modifier}) {
    for (const char c : part) {
      if (*entry != c) {
        return static_cast<unsigned char>(*entry) < static_cast<unsigned char>(c) ? -1 : 1;
      }
      ++entry;
    }
  }
  return *entry == '\0' ? 0 : 1;
}

// The order of the table's alias at `offset` (in lower case) and `name`
// with A to Z in lower case, as the C library matches aliases.
int CompareAlias(std::uint16_t offset, std::string_view name) {
  const char* entry = kLocaleText + offset;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (*entry != c) {
      return static_cast<unsigned char>(*entry) < static_cast<unsigned char>(c) ? -1 : 1;
    }
    ++entry;
  }
  return *entry == '\0' ? 0 : 1;
}

// The index of the row of a sorted table for which `order` gives 0, -1 when
// there is none; `order` is below 0 for a row that sorts before the one
// sought.
template <class Row, std::size_t N, class Order>
int FindRow(const Row (&rows)[N], Order order) {
  std::size_t low = 0;
  std::size_t high = N;
  while (low < high) {
    const std::size_t middle = (low + high) / 2;
    const int result = order(rows[middle]);
    if (result == 0) return static_cast<int>(middle);
    if (result < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return -1;
}

struct CodesetEntry {
  char name[12];  // zero-terminated
  std::uint32_t codePage;
};

constexpr CodesetEntry kCodesets[] = {
    {"UTF-8", 65001},      {"ISO-8859-1", 28591}, {"ISO-8859-2", 28592},  {"ISO-8859-3", 28593},
    {"ISO-8859-4", 28594}, {"ISO-8859-5", 28595}, {"ISO-8859-6", 28596},  {"ISO-8859-7", 28597},
    {"ISO-8859-8", 28598}, {"ISO-8859-9", 28599}, {"ISO-8859-13", 28603}, {"ISO-8859-15", 28605},
    {"KOI8-R", 20866},     {"KOI8-U", 21866},     {"CP1250", 1250},       {"CP1251", 1251},
    {"CP1252", 1252},      {"CP1253", 1253},      {"CP1254", 1254},       {"CP1255", 1255},
    {"CP1256", 1256},      {"CP1257", 1257},      {"CP1258", 1258},       {"TIS-620", 874},
    {"GBK", 936},          {"GB2312", 936},       {"GB18030", 54936},     {"BIG5", 950},
    {"BIG5-HKSCS", 950},   {"EUC-KR", 949},       {"EUC-JP", 20932},      {"SHIFT_JIS", 932},
    {"SJIS", 932},
};

}  // namespace

bool IsLeadByteIn(const LeadByteRanges& ranges, unsigned char byte) {
  for (std::size_t i = 0; i + 1 < ranges.size(); i += 2) {
    if (ranges[i] == 0 && ranges[i + 1] == 0) break;
    if (byte >= ranges[i] && byte <= ranges[i + 1]) return true;
  }
  return false;
}

std::uint32_t CodePageOfCodeset(std::string_view codeset) {
  for (const CodesetEntry& entry : kCodesets) {
    if (EqualIgnoringCase(entry.name, codeset)) return entry.codePage;
  }
  return 0;
}

bool LeadByteRangesOf(std::uint32_t codePage, LeadByteRanges& ranges) {
  ranges.fill(0);
  switch (codePage) {
    case 932: ranges = {0x81, 0x9F, 0xE0, 0xFC}; return true;
    case 936:
    case 949:
    case 950: ranges = {0x81, 0xFE}; return true;
    case 54936:  // four-byte sequences: no two-byte lead bytes to give
    case 20932: return false;
    default:
      // The single-byte pages and UTF-8 of the codeset table.
      for (const CodesetEntry& entry : kCodesets) {
        if (entry.codePage == codePage) return true;
      }
      return false;
  }
}

LocaleTableMatch FindLocale(std::string_view name) {
  // The name without its codeset: language_TERRITORY.codeset@modifier
  // becomes language_TERRITORY@modifier.
  const std::size_t dot = FindAnyOf(name, 0, ".@");
  const std::size_t at = FindAnyOf(name, dot, "@");
  const std::string_view base = name.substr(0, dot);
  const std::string_view modifier = name.substr(at);
  // The C library's own locales keep the built-in defaults.
  if (base == "C" || base == "POSIX") return {-1, 0};
  // setlocale answers with the name it was given, not with the locale it
  // loaded: an alias of the C library's alias file (deutsch, korean.euc)
  // stands for the locale the alias names.
  const int alias = FindRow(
      kLocaleAliases, [&](const LocaleTableAlias& row) { return CompareAlias(row.name, name); });
  if (alias >= 0) {
    const std::uint16_t entry = kLocaleAliases[alias].entry;
    return {entry, kLocaleTable[entry].id};
  }
  // The C library passes over a modifier, then a territory, that it has no
  // locale for (de_DE.UTF-8@bogus loads de_DE.UTF-8, eo_XX loads eo): the
  // first of these names in the table is the locale it loaded.
  const std::string_view language = base.substr(0, FindAnyOf(base, 0, "_"));
  const std::pair<std::string_view, std::string_view> candidates[] = {
      {base, modifier}, {language, modifier}, {base, {}}, {language, {}}};
  for (const auto& [key, keyModifier] : candidates) {
    const int entry = FindRow(kLocaleTable, [&](const LocaleTableEntry& row) {
      return CompareName(row.name, key, keyModifier);
    });
    if (entry >= 0) return {entry, kLocaleTable[entry].id};
  }
  // Any other locale is one Windows would have no identifier for.
  return {-1, kLocaleCustomUnspecified};
}

std::string_view LongDateOf(int entry, std::string_view codeset) {
  if (entry < 0 || static_cast<std::size_t>(entry) >= std::size(kLocaleTable)) return {};
  const std::string_view utf8 = TextAt(kLocaleTable[entry].longDate);
  const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || EqualIgnoringCase("UTF-8", codeset)) return utf8;
  for (const LocaleTableVariant& variant : kLocaleTableVariants) {
    if (variant.entry == entry && SameBytes(TextAt(variant.codeset), codeset)) {
      return TextAt(variant.longDate);
    }
  }
  return {};  // a codeset the table does not know: the text cannot be given
}

std::string ExpandComposites(std::string_view format, const StrftimeFormats& formats,
                             const LeadByteRanges& lead) {
  Expander expander(formats, lead);
  expander.Expand(format);
  return expander.Take();
}

std::optional<std::string> DateSeparatorOf(std::string_view format, const LeadByteRanges& lead) {
  std::size_t at = 0;
  bool inField = false;
  std::string separator;
  while (at < format.size()) {
    const Token token = NextToken(format, at, lead);
    if (token.conversion) {
      if (inField) return separator;
      inField = true;
    } else if (inField) {
      separator += token.text;
    }
  }
  return std::nullopt;
}

std::optional<std::string> TimeSeparatorOf(std::string_view format, const LeadByteRanges& lead) {
  std::size_t at = 0;
  bool afterHour = false;
  std::string separator;
  while (at < format.size()) {
    const Token token = NextToken(format, at, lead);
    if (token.conversion) {
      if (afterHour) return separator;
      afterHour = IsHourLetter(token.letter);
    } else if (afterHour) {
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
  std::string out;
  char quote = 0;  // the quote of the literal being written, 0 outside one
  auto closeQuote = [&] {
    if (quote != 0) out += quote;
    quote = 0;
  };
  auto appendSpecifier = [&](std::string_view specifier) {
    closeQuote();
    // One letter written twice in a row would be read as one longer run.
    if (!out.empty() && out.back() == specifier.front()) out += "\"\"";
    out += specifier;
  };

  std::size_t at = 0;
  while (at < format.size()) {
    const Token token = NextToken(format, at, lead);
    if (!token.conversion) {
      const char c = token.text.front();
      const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
      const bool needsQuotes = token.text.size() == 1 && (letter || c == '"' || c == '\'' ||
                                                          (c == '/' && dateSeparator != '/') ||
                                                          (c == ':' && timeSeparator != ':'));
      if (!needsQuotes) {
        closeQuote();
      } else {
        if (quote == c) closeQuote();
        if (quote == 0) {
          quote = c == '"' ? '\'' : '"';
          out += quote;
        }
      }
      out += token.text;
      continue;
    }
    const bool unpadded = token.pad == '-' || token.pad == '_';
    switch (token.letter) {
      case 'd': appendSpecifier(unpadded ? "d" : "dd"); break;
      case 'e': appendSpecifier(token.pad == '0' ? "dd" : "d"); break;
      case 'm': appendSpecifier(unpadded ? "m" : "mm"); break;
      case 'y': appendSpecifier("yy"); break;
      case 'Y': appendSpecifier("yyyy"); break;
      case 'b':
      case 'h': appendSpecifier("mmm"); break;
      case 'B': appendSpecifier("mmmm"); break;
      case 'a': appendSpecifier("ddd"); break;
      case 'A': appendSpecifier("dddd"); break;
      case 'C': {
        // The century and the year of the century make the full year.
        std::size_t next = at;
        if (next < format.size()) {
          const Token year = NextToken(format, next, lead);
          if (year.conversion && year.letter == 'y') {
            appendSpecifier("yyyy");
            at = next;
          }
        }
        break;
      }
      default: break;  // nothing in the format language stands for it
    }
  }
  closeQuote();
  return out;
}

}  // namespace posix

namespace {

using posix::LeadByteRanges;

// Win32 locale item numbers answered here.
constexpr std::uint32_t kSDayName1 = 0x2A;
constexpr std::uint32_t kSAbbrevDayName1 = 0x31;
constexpr std::uint32_t kSMonthName1 = 0x38;
constexpr std::uint32_t kSAbbrevMonthName1 = 0x44;
constexpr std::uint32_t kSDate = 0x1D;
constexpr std::uint32_t kSTime = 0x1E;
constexpr std::uint32_t kSShortDate = 0x1F;
constexpr std::uint32_t kSLongDate = 0x20;
constexpr std::uint32_t kITime = 0x23;
constexpr std::uint32_t kITLZero = 0x25;
constexpr std::uint32_t kS1159 = 0x28;
constexpr std::uint32_t kS2359 = 0x29;
constexpr std::uint32_t kIDefaultAnsiCodePage = 0x1004;
constexpr std::uint32_t kITimeMarkPosn = 0x1005;

constexpr std::uint32_t kFallbackCodePage = 1252;

// The code page of the LC_TIME locale's codeset, 0 when it has none. The
// GNU C library keeps the codeset with the time data of the locale, which
// spares loading the locale's character classes only to ask for it.
std::uint32_t CodePageOfTimeLocale() {
#ifdef __GLIBC__
  return posix::CodePageOfCodeset(nl_langinfo(_NL_TIME_CODESET));
#else
  const char* name = setlocale(LC_TIME, nullptr);
  if (name == nullptr) return 0;
  posix::MakeRoomForCLibrary(0);  // as for setlocale
  const locale_t locale = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return 0;
  const std::uint32_t codePage = posix::CodePageOfCodeset(nl_langinfo_l(CODESET, locale));
  freelocale(locale);
  return codePage;
#endif
}

// What the LC_TIME locale answers besides its names and designators. The
// locale is selected from the environment when it is first asked about (the
// help screens never ask), and its identity is worked out then. The
// separators, the clock flags and the short date all come from the same two
// expanded formats, worked out together when the first of them is asked.
struct TimeLocaleFacts {
  bool selected = false;
  bool codePageWorkedOut = false;
  bool formatsWorkedOut = false;
  bool erasLoaded = false;  // the C library has read the era table
  std::uint32_t id = 0;
  int entry = -1;  // in the locale table, -1 when it is not there
  std::uint32_t codePage = 0;
  LeadByteRanges lead{};
  char codePageText[11] = {};  // the code page in decimal digits
  std::optional<std::string> dateSeparator;
  std::optional<std::string> timeSeparator;
  std::optional<posix::ClockFlags> clock;
  std::string shortDate;
  std::string_view longDate;  // the table's, in the codeset; empty for none
};
// Held until the process ends, like the C library's own locale data that
// its answers point into.
runtime::Lasting<TimeLocaleFacts> timeLocaleStore;
TimeLocaleFacts& timeLocale = *timeLocaleStore;

void WriteDecimal(std::uint32_t number, char (&out)[11]) {
  char digits[10];
  std::size_t n = 0;
  do {
    digits[n++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  for (std::size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
  out[n] = '\0';
}

// The answers drawn from the locale's date and time formats, with the
// composite conversions expanded.
void WorkOutFormatAnswers(TimeLocaleFacts& facts) {
  const posix::StrftimeFormats formats{nl_langinfo(D_FMT), nl_langinfo(T_FMT),
                                       nl_langinfo(T_FMT_AMPM), nl_langinfo(D_T_FMT)};
  // The formats that %x and %X stand for.
  const std::string date = posix::ExpandComposites("%x", formats, facts.lead);
  const std::string time = posix::ExpandComposites("%X", formats, facts.lead);
  facts.dateSeparator = posix::DateSeparatorOf(date, facts.lead);
  facts.timeSeparator = posix::TimeSeparatorOf(time, facts.lead);
  facts.clock = posix::ClockFlagsOf(time, facts.lead);
  facts.shortDate =
      posix::TranslateDateFormat(date, posix::SeparatorByteOf(facts.dateSeparator, '/'),
                                 posix::SeparatorByteOf(facts.timeSeparator, ':'), facts.lead);
#ifdef __GLIBC__
  const std::string_view codeset = nl_langinfo(_NL_TIME_CODESET);
#else
  const std::string_view codeset = facts.codePage == 65001 ? "UTF-8" : "";
#endif
  facts.longDate = posix::LongDateOf(facts.entry, codeset);
}

// The facts of the LC_TIME locale, selected from the environment if nothing
// has selected one yet.
const TimeLocaleFacts& TimeLocale() {
  // A locale the environment names but the system lacks leaves the C
  // locale in force, and is not looked for again.
  if (!timeLocale.selected && !posix::SelectTimeLocale("")) timeLocale.selected = true;
  return timeLocale;
}

// The facts with the code page of the locale's codeset and its lead bytes,
// worked out when first asked: most runs never ask.
const TimeLocaleFacts& TimeLocaleWithCodePage() {
  TimeLocale();
  TimeLocaleFacts& facts = timeLocale;
  if (!facts.codePageWorkedOut) {
    facts.codePage = CodePageOfTimeLocale();
    facts.lead.fill(0);
    posix::LeadByteRangesOf(facts.codePage, facts.lead);
    WriteDecimal(facts.codePage, facts.codePageText);
    facts.codePageWorkedOut = true;
  }
  return facts;
}

// The facts with the answers drawn from the date and time formats, which
// are read with the code page's lead bytes.
const TimeLocaleFacts& TimeLocaleWithFormats() {
  TimeLocaleFacts& facts = timeLocale;
  TimeLocaleWithCodePage();
  if (!facts.formatsWorkedOut) {
    // Without an identifier the locale answers no item at all.
    if (facts.id != 0) WorkOutFormatAnswers(facts);
    facts.formatsWorkedOut = true;
  }
  return facts;
}

const char* MonthName(std::uint32_t index, bool abbreviated) {
#ifdef ALTMON_1
  // The nominative forms, as a month is named on its own.
  const char* nominative =
      nl_langinfo(static_cast<nl_item>((abbreviated ? _NL_ABALTMON_1 : ALTMON_1) + index));
  if (*nominative != '\0') return nominative;
#endif
  return nl_langinfo(static_cast<nl_item>((abbreviated ? ABMON_1 : MON_1) + index));
}

// Win32 numbers day names from Monday (0), nl_langinfo from Sunday (DAY_1).
const char* DayName(std::uint32_t mondayFirst, bool abbreviated) {
  const auto sundayFirst = static_cast<nl_item>((mondayFirst + 1) % 7);
  return nl_langinfo((abbreviated ? ABDAY_1 : DAY_1) + sundayFirst);
}

std::optional<std::string_view> TextOf(const std::optional<std::string>& answer) {
  if (!answer) return std::nullopt;
  return std::string_view(*answer);
}

// The text of a locale item in the LC_TIME locale, nullopt when unknown. The
// names and designators come straight from the C library.
std::optional<std::string_view> LocaleItem(std::uint32_t item) {
  if (item >= kSDayName1 && item < kSDayName1 + 7) return DayName(item - kSDayName1, false);
  if (item >= kSAbbrevDayName1 && item < kSAbbrevDayName1 + 7) {
    return DayName(item - kSAbbrevDayName1, true);
  }
  if (item >= kSMonthName1 && item < kSMonthName1 + 12) {
    return MonthName(item - kSMonthName1, false);
  }
  if (item >= kSAbbrevMonthName1 && item < kSAbbrevMonthName1 + 12) {
    return MonthName(item - kSAbbrevMonthName1, true);
  }
  const TimeLocaleFacts& facts =
      item == kIDefaultAnsiCodePage ? TimeLocaleWithCodePage() : TimeLocaleWithFormats();
  switch (item) {
    case kSDate: return TextOf(facts.dateSeparator);
    case kSTime: return TextOf(facts.timeSeparator);
    case kSShortDate: return std::string_view(facts.shortDate);
    case kSLongDate:
      if (facts.longDate.empty()) return std::nullopt;
      return facts.longDate;
    case kS1159: return nl_langinfo(AM_STR);
    case kS2359: return nl_langinfo(PM_STR);
    case kITime:
    case kITLZero:
    case kITimeMarkPosn: {
      if (!facts.clock) return std::nullopt;
      const bool set = item == kITime     ? facts.clock->hour24
                       : item == kITLZero ? facts.clock->leadingZero
                                          : facts.clock->markerFirst;
      return set ? "1" : "0";
    }
    case kIDefaultAnsiCodePage:
      if (facts.codePage == 0) return std::nullopt;
      return facts.codePageText;
    default: return std::nullopt;  // the calendar type among them
  }
}

int CopyAnswer(std::string_view text, char* out, int size) {
  const auto needed = static_cast<long>(text.size()) + 1;
  if (out == nullptr || size <= 0 || needed > size) return 0;
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return static_cast<int>(needed);
}

// The era year as the picture asks: at least two or four digits.
std::string PaddedYear(std::string_view digits, std::size_t width) {
  // Tested with a plain loop: find_first_not_of with a set of bytes calls
  // memchr, an import for nothing else.
  if (digits.empty() ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::string(digits);  // not decimal digits: as the C library gives it
  }
  const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size() - 1);
  std::string year(digits.substr(first));
  if (year.size() < width) year.insert(0, width - year.size(), '0');
  return year;
}

// The value of the variable `name` in the environment `env`; nullptr when
// it is not set.
const char* EnvironmentValue(char** env, std::string_view name) {
  for (; *env != nullptr; ++env) {
    const char* entry = *env;
    std::size_t i = 0;
    while (i < name.size() && entry[i] == name[i]) ++i;
    if (i == name.size() && entry[i] == '=') return entry + i + 1;
  }
  return nullptr;
}

// Whether setlocale(LC_TIME, name) loads locale data: for every name but C
// and POSIX, which the C library has built in. The empty name stands for
// the one the environment gives, as setlocale reads it: LC_ALL, LC_TIME or
// LANG, the first that is set and not empty, else C. Without the
// environment (StartUp not run), a locale is taken to be loaded.
bool LoadsLocaleData(const char* name) {
  if (*name == '\0') {
    char** const env = posix::StartEnvironment();
    if (env == nullptr) return true;
    name = "C";
    for (const std::string_view variable : {"LC_ALL", "LC_TIME", "LANG"}) {
      const char* const value = EnvironmentValue(env, variable);
      if (value != nullptr && *value != '\0') {
        name = value;
        break;
      }
    }
  }
  const std::string_view text(name);
  return text != "C" && text != "POSIX";
}

// The address space that loading a locale takes beyond the common room:
// the GNU C library maps its locale archive whole before it looks for any
// name in it, and when the mapping fails it goes on without the archive.
// Other layouts (a directory for each locale, LOCPATH) map only a few small
// files, which the common room holds.
std::size_t LocaleArchiveSize() {
#ifdef __GLIBC__
  struct stat archive {};
  if (stat("/usr/lib/locale/locale-archive", &archive) == 0 && archive.st_size > 0) {
    return static_cast<std::size_t>(archive.st_size);
  }
#endif
  return 0;
}

}  // namespace

bool posix::SelectTimeLocale(const char* name) {
  // Short of memory, the C library would not load the locale and answer
  // as for a missing one; the room it needs is made sure of first. The
  // answer is the name of the locale now selected for LC_TIME.
  if (LoadsLocaleData(name)) posix::MakeRoomForCLibrary(LocaleArchiveSize());
  const char* selected = setlocale(LC_TIME, name);
  if (selected == nullptr) return false;
  TimeLocaleFacts& facts = timeLocale;
  facts.selected = true;
  const posix::LocaleTableMatch match = posix::FindLocale(selected);
  facts.id = match.id;
  facts.entry = match.entry;
  facts.codePageWorkedOut = false;
  facts.formatsWorkedOut = false;
  facts.erasLoaded = false;
  facts.dateSeparator.reset();
  facts.timeSeparator.reset();
  facts.clock.reset();
  facts.shortDate.clear();
  facts.longDate = {};
  return true;
}

std::uint32_t ThreadLocale() {
  return TimeLocale().id;
}

int LocaleInfo(std::uint32_t locale, std::uint32_t item, char* buffer, int size) {
  // Only the LC_TIME locale has data, and only when it has an identifier.
  const std::uint32_t current = ThreadLocale();
  if (current == 0 || locale != current) return 0;
  const std::optional<std::string_view> text = LocaleItem(item);
  return text ? CopyAnswer(*text, buffer, size) : 0;
}

std::uint32_t AnsiCodePage() {
  const std::uint32_t codePage = TimeLocaleWithCodePage().codePage;
  return codePage != 0 ? codePage : kFallbackCodePage;
}

bool CodePageLeadBytes(std::uint32_t codePage, std::uint8_t (&ranges)[12]) {
  LeadByteRanges found{};
  const bool known = posix::LeadByteRangesOf(codePage, found);
  std::copy(found.begin(), found.end(), ranges);
  return known;
}

std::uint32_t PlatformId() {
  return 2;
}

int DbcsEnabled() {
  return 0;
}

// The LC_TIME locale's alternate calendar. With eras (Japanese, Taiwanese
// locales) the C library names the era and counts its years; without, the
// calendar is the Gregorian one, "A.D.". The locale argument is not
// consulted: the process has the one LC_TIME locale.
int AltCalendarDate(std::uint32_t, std::uint16_t year, std::uint16_t month, std::uint16_t day,
                    const char* picture, char* out, int size) {
  if (picture == nullptr || year == 0 || month < 1 || month > 12 || day < 1 || day > 31) return 0;
  const std::string_view pictureText(picture);
  std::size_t width = 0;
  if (pictureText == "yy") {
    width = 2;
  } else if (pictureText == "yyyy") {
    width = 4;
  } else if (pictureText != "gg") {
    return 0;
  }

  TimeLocale();  // strftime below formats in the LC_TIME locale
  const char* eras = nl_langinfo(ERA);
  if (eras != nullptr && *eras != '\0') {
    // The C library reads the era table at its first use and, short of
    // memory there, goes on without eras for the rest of the process.
    if (!timeLocale.erasLoaded) {
      posix::MakeRoomForCLibrary(0);
      timeLocale.erasLoaded = true;
    }
    std::tm date{};
    date.tm_year = year - 1900;
    date.tm_mon = month - 1;
    date.tm_mday = day;
    char text[256];
    const std::size_t length = std::strftime(text, sizeof text, width == 0 ? "%EC" : "%Ey", &date);
    if (length == 0) return 0;
    const std::string_view result(text, length);
    return width == 0 ? CopyAnswer(result, out, size)
                      : CopyAnswer(PaddedYear(result, width), out, size);
  }
  if (width == 0) return CopyAnswer("A.D.", out, size);
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", static_cast<int>(width),
                width == 2 ? year % 100u : static_cast<unsigned>(year));
  return CopyAnswer(text, out, size);
}

}  // namespace clockcast::platform
