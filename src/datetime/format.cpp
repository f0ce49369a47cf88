// The format interpreter.
//
// A format is a sequence of elements: specifier letters, most of them in runs
// of the same byte whose length picks the variant (d, dd, ddd, ...), the two
// separator characters, quoted literals, and everything else, which is
// copied. A format ends at its first zero byte. One call renders into the
// caller's 256 bytes; what does not fit is dropped, so the result is always
// the first 256 bytes of the whole text. Some specifiers expand one of the
// settings' own formats, which is rendered by a nested pass over the same
// buffer; passes nest one level deep only, so a settings format that names
// another settings format renders nothing for it.
//
// The value is split into its day number and milliseconds once per call, and
// the date and the time are decoded from them lazily, at most once per call,
// when an element first needs them. An m that follows an h, with no other
// element that begins with an ASCII letter between them, is the minute
// rather than the month. The 12-hour flag of a pass is set by an hour whose
// look-ahead finds an AM/PM form, or by any rendered AM/PM form, and stays
// set for the rest of the pass.
//
// What a byte of a format starts is found by one look-up in a table of all
// 256 bytes, and a stretch of bytes that start no element is copied in one
// piece. A pass keeps its position and the end of the text so far in local
// variables, which the helpers take and return. The scan exists in two
// versions: where the locale has lead bytes, each byte is tested for one
// first; elsewhere, which is nearly everywhere, no byte is.

#include "datetime/format.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "datetime/format_quoting.h"
#include "datetime/settings.h"
#include "platform/platform.h"
#include "runtime/bytes.h"

namespace clockcast::datetime {

namespace {

// The two digits of every number below 100, "00" to "99", so that a number
// is written two digits to a division.
constexpr auto kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// What a byte of a format starts, unless it is a lead byte. Letters count
// in either case.
enum Element : std::uint8_t {
  kEnd,     // the zero byte: the format ends before it
  kText,    // copied as it stands
  kLetter,  // a letter that names nothing: copied, and it ends the minute rule
  kYear,
  kEra,
  kEraYear,
  kMonth,
  kDay,
  kHour,
  kMinute,
  kSecond,
  kMillisecond,
  kTimeFormat,
  kDateTime,
  kAForm,
  kDateSeparator,
  kTimeSeparator,
  kQuote,
};

constexpr auto kElements = [] {
  std::array<Element, 256> elements{};
  for (Element& element : elements) element = kText;
  const auto letter = [&](char upper, Element element) {
    elements[static_cast<unsigned char>(upper)] = element;
    elements[static_cast<unsigned char>(upper + 32)] = element;
  };
  for (char c = 'A'; c <= 'Z'; ++c) letter(c, kLetter);
  letter('Y', kYear);
  letter('G', kEra);
  letter('E', kEraYear);
  letter('M', kMonth);
  letter('D', kDay);
  letter('H', kHour);
  letter('N', kMinute);
  letter('S', kSecond);
  letter('Z', kMillisecond);
  letter('T', kTimeFormat);
  letter('C', kDateTime);
  letter('A', kAForm);
  elements['\0'] = kEnd;
  elements['/'] = kDateSeparator;
  elements[':'] = kTimeSeparator;
  for (int b = 0; b < 256; ++b) {
    if (IsFormatQuote(static_cast<char>(b))) elements[b] = kQuote;
  }
  return elements;
}();

// What the writers of formats quote is exactly what this table reads as
// something other than text.
static_assert([] {
  for (int b = 1; b < 256; ++b) {
    if (IsFormatSpecial(static_cast<char>(b)) != (kElements[b] != kText)) return false;
  }
  return true;
}());

Element ElementOf(char c) {
  return kElements[static_cast<unsigned char>(c)];
}

// The bytes at which the look-ahead of an hour stops to decide: the quotes,
// the hour letters, the A that may start an AM/PM form, and the zero byte.
constexpr auto kLookAheadStops = [] {
  std::array<bool, 256> stops{};
  for (const char c : {'\0', '\'', '"', 'H', 'h', 'A', 'a'}) {
    stops[static_cast<unsigned char>(c)] = true;
  }
  return stops;
}();

// Moves N bytes through a register: a copy of fixed size, which the compiler
// makes one load and one store.
template <std::size_t N>
void MoveBytes(char* to, const char* from) {
  char bytes[N];
  std::memcpy(bytes, from, N);
  std::memcpy(to, bytes, N);
}

// Copies `count` bytes. The pieces of a result are short (numbers, names,
// the text between specifiers), and for them two overlapping moves of the
// widest size that fits cost less than a call to memcpy.
void CopyBytes(char* to, const char* from, std::size_t count) {
  if (count >= 8) {
    if (count > 16) {
      std::memcpy(to, from, count);
    } else {
      MoveBytes<8>(to, from);
      MoveBytes<8>(to + count - 8, from + count - 8);
    }
  } else if (count >= 4) {
    MoveBytes<4>(to, from);
    MoveBytes<4>(to + count - 4, from + count - 4);
  } else if (count >= 2) {
    MoveBytes<2>(to, from);
    MoveBytes<2>(to + count - 2, from + count - 2);
  } else if (count == 1) {
    *to = *from;
  }
}

// Appends what fits of the bytes at `next`, before `end`, and returns where
// the text goes on.
char* Append(char* next, char* end, const char* bytes, std::size_t count) {
  const auto room = static_cast<std::size_t>(end - next);
  if (count > room) count = room;
  CopyBytes(next, bytes, count);
  return next + count;
}

// The decimal digits of the number, zero-padded to at least `width` (at
// most 10), appended as Append does: where only the leading digits fit, only
// they are kept.
char* AppendNumber(char* next, char* end, unsigned number, int width) {
  char digits[10];
  char* const last = digits + sizeof digits;
  char* p = last;
  for (; number >= 100; number /= 100) {
    p -= 2;
    MoveBytes<2>(p, &kDigitPairs[2 * (number % 100)]);
  }
  if (number >= 10) {
    p -= 2;
    MoveBytes<2>(p, &kDigitPairs[2 * number]);
  } else {
    *--p = static_cast<char>('0' + number);
  }
  while (last - p < width) *--p = '0';
  return Append(next, end, p, static_cast<std::size_t>(last - p));
}

// The render state of one call, shared by all its passes.
struct RenderState {
  explicit RenderState(char (&result)[kRenderCapacity])
      : next(result), end(result + kRenderCapacity) {}

  // Where the text goes on. A pass keeps its own copy, which it hands back
  // before a nested pass and when it ends.
  char* next;
  char* const end;
  int nestingLevel = 0;
  // Whether the locale has lead bytes at all; most have none, and then no
  // byte need be looked up.
  bool anyLeadBytes = false;
  bool dateDecoded = false;
  bool timeDecoded = false;
  DayMillis value;    // the value to render, split once for all passes
  CalendarDate date;  // once dateDecoded
  ClockTime time;     // once timeDecoded

  const CalendarDate& Date() {
    if (!dateDecoded) {
      date = DateOfDay(value.DayNumber);
      dateDecoded = true;
    }
    return date;
  }
  const ClockTime& Time() {
    if (!timeDecoded) {
      time = TimeOfDay(value.MillisOfDay);
      timeDecoded = true;
    }
    return time;
  }
};

// The position after the era-text character at `pos`. Where the locale has
// two-byte characters, a lead byte takes the next byte with it. Elsewhere a
// character is one byte, except that a UTF-8 sequence is kept whole: an era
// name such as a Japanese one in a UTF-8 locale must not be cut inside a
// character, which would leave bytes that are no text at all.
std::size_t NextEraChar(std::string_view text, std::size_t pos) {
  if (Profile.IsMultiByte)
    return IsLeadByte(text[pos]) && pos + 1 < text.size() ? pos + 2 : pos + 1;
  if (static_cast<unsigned char>(text[pos]) < 0xC0) return pos + 1;
  ++pos;
  while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  return pos;
}

// Characters `first` to `first + count - 1` of an era text, counted from 0;
// never past its end.
std::string_view Characters(std::string_view text, std::size_t first, std::size_t count) {
  std::size_t pos = 0;
  for (std::size_t i = 0; i < first && pos < text.size(); ++i) pos = NextEraChar(text, pos);
  const std::size_t start = pos;
  for (std::size_t i = 0; i < count && pos < text.size(); ++i) pos = NextEraChar(text, pos);
  return text.substr(start, pos - start);
}

std::size_t CharacterCount(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < text.size(); ++n) pos = NextEraChar(text, pos);
  return n;
}

// Asks the platform's alternate-calendar formatter for one picture of the
// date; empty when it fails.
std::string_view AltCalendarText(const CalendarDate& date, const char* picture,
                                 char (&out)[kRenderCapacity]) {
  const int n = platform::AltCalendarDate(platform::ThreadLocale(), date.year, date.month, date.day,
                                          picture, out, sizeof out);
  if (n <= 0) return {};
  out[kRenderCapacity - 1] = '\0';
  return std::string_view(out, std::strlen(out));
}

// Whether `c` is a lead byte. The scans below are made in two versions:
// one for the locales that have lead bytes and one, which tests no byte,
// for the many that have none. The zero byte ends the format even in a
// locale that calls it a lead byte.
template <bool kLeadBytes>
bool IsLead(char c) {
  return kLeadBytes && c != '\0' && IsLeadByte(c);
}

// The scans below read the format from `p` to `e`, and return where they
// stop.

// The end of the run of bytes equal to `s` from `p` on.
const char* RunEnd(const char* p, const char* e, char s) {
  while (p != e && *p == s) ++p;
  return p;
}

// The end of the stretch of bytes that start no element and are no letter.
template <bool kLeadBytes>
const char* TextEnd(const char* p, const char* e) {
  while (p != e && ElementOf(*p) == kText && !IsLead<kLeadBytes>(*p)) ++p;
  return p;
}

// The end of a quoted literal's text: the closing quote, or the end of the
// format. A trail byte equal to the quote does not end it.
template <bool kLeadBytes>
const char* QuoteEnd(const char* p, const char* e, char quote) {
  while (p != e && *p != quote && *p != '\0') {
    p += IsLead<kLeadBytes>(*p) && e - p > 1 && p[1] != '\0' ? 2 : 1;
  }
  return p;
}

// Whether `c` is the letter `lower` in either case.
bool IsLetter(char c, char lower) {
  return runtime::AsciiLowerByte(c) == lower;
}

// The forms that begin with an A: AM/PM and A/P render the letters as
// written, AMPM the locale's texts, AAAA and AAA the day names. Letters
// match in either case.
enum class AForm { kNone, kAmPmLetters, kAPLetter, kAmPmText, kLongDayName, kShortDayName };

// The form that begins with the A at `p`. The byte after the A tells the
// forms apart; where two could match, the longer wins.
AForm MatchAForm(const char* p, const char* e) {
  const std::ptrdiff_t n = e - p;
  if (n >= 3 && p[1] == '/' && IsLetter(p[2], 'p')) return AForm::kAPLetter;
  if (n >= 4 && IsLetter(p[1], 'm')) {
    if (n >= 5 && p[2] == '/' && IsLetter(p[3], 'p') && IsLetter(p[4], 'm')) {
      return AForm::kAmPmLetters;
    }
    if (IsLetter(p[2], 'p') && IsLetter(p[3], 'm')) return AForm::kAmPmText;
  }
  if (n >= 3 && IsLetter(p[1], 'a') && IsLetter(p[2], 'a')) {
    return n >= 4 && IsLetter(p[3], 'a') ? AForm::kLongDayName : AForm::kShortDayName;
  }
  return AForm::kNone;
}

// Looks ahead from the end of an hour run: the next hour letter ends the
// search, and so does an A outside quotes, which sets the 12-hour flag when
// it starts an AM/PM form.
template <bool kLeadBytes>
bool LookAheadFindsAmPm(const char* p, const char* e) {
  bool inQuotes = false;
  for (; p != e; ++p) {
    const char c = *p;
    if (IsLead<kLeadBytes>(c)) {
      if (e - p > 1 && p[1] != '\0') ++p;  // the trail byte goes with it
      continue;
    }
    if (!kLookAheadStops[static_cast<unsigned char>(c)]) continue;
    if (c == '\0') return false;
    if (IsFormatQuote(c)) {
      inQuotes = !inQuotes;
    } else if (c == 'H' || c == 'h') {
      return false;
    } else if (!inQuotes) {  // an A
      const AForm form = MatchAForm(p, e);
      return form == AForm::kAmPmLetters || form == AForm::kAPLetter || form == AForm::kAmPmText;
    }
  }
  return false;
}

// The helpers below append at `next`, drop what does not fit before `end`,
// and return where the text goes on.

char* AppendByte(char* next, char* end, char c) {
  if (next != end) *next++ = c;
  return next;
}

char* AppendText(char* next, char* end, std::string_view text) {
  return Append(next, end, text.data(), text.size());
}

// Two bytes, moved whole where they fit, which is nearly always.
char* AppendPair(char* next, char* end, const char* pair) {
  if (end - next < 2) return Append(next, end, pair, 2);
  MoveBytes<2>(next, pair);
  return next + 2;
}

// A number below 100 in two digits, or in one where it is below ten and
// `width` is 1: days, months, hours, minutes and seconds.
char* AppendSmallNumber(char* next, char* end, unsigned number, int width) {
  const char* pair = &kDigitPairs[2 * number];
  if (number < 10 && width < 2) return AppendByte(next, end, pair[1]);
  return AppendPair(next, end, pair);
}

// A year in at least four digits.
char* AppendYear(char* next, char* end, unsigned year) {
  if (year >= 10'000 || end - next < 4) return AppendNumber(next, end, year, 4);
  MoveBytes<2>(next, &kDigitPairs[2 * (year / 100)]);
  MoveBytes<2>(next + 2, &kDigitPairs[2 * (year % 100)]);
  return next + 4;
}

// Entry `index` of a name table, counted from 1; nothing where there is none.
char* AppendName(char* next, char* end, NameTable table, int index) {
  const std::string* name = NameAt(table, index);
  return name != nullptr ? AppendText(next, end, *name) : next;
}

char* AppendDayName(char* next, char* end, bool longName, std::int32_t dayNumber) {
  return AppendName(next, end, longName ? NameTable::kLongDays : NameTable::kShortDays,
                    WeekdayOfDay(dayNumber));
}

// A separator of the settings; one set to the zero byte renders nothing.
char* AppendSeparator(char* next, char* end, char c) {
  return c != '\0' ? AppendByte(next, end, c) : next;
}

// The era name of g (one g: abbreviated where the language abbreviates it)
// and of the longer runs.
char* AppendEraText(char* next, char* end, const CalendarDate& date, int run) {
  char text[kRenderCapacity];
  std::string_view era = AltCalendarText(date, "gg", text);
  if (run == 1) {
    if (Profile.PrimaryLanguageId == 0x11) {
      era = Characters(era, 0, 1);
    } else if (Profile.PrimaryLanguageId == 0x04 && Profile.SubLanguageId == 0x01 &&
               CharacterCount(era) == 4) {
      era = Characters(era, 2, 2);
    }
  }
  return AppendText(next, end, era);
}

// The year of the era, for e and the longer runs.
char* AppendEraYearText(char* next, char* end, const CalendarDate& date, int run) {
  char text[kRenderCapacity];
  std::string_view year = AltCalendarText(date, run <= 2 ? "yy" : "yyyy", text);
  if (run == 1 && !year.empty() && year.front() == '0') year.remove_prefix(1);
  return AppendText(next, end, year);
}

void RenderPass(RenderState& state, std::string_view format);

// A settings format rendered by a nested pass, from `next` on.
char* AppendNested(RenderState& state, char* next, std::string_view format) {
  state.next = next;
  RenderPass(state, format);
  return state.next;
}

// One scan of one format text. Its state is kept in local variables, and
// the helpers take and return what they need, so that the compiler can keep
// all of it in registers.
template <bool kLeadBytes>
void Scan(RenderState& state, std::string_view format) {
  const char* p = format.data();
  const char* const e = p + format.size();
  char* next = state.next;
  char* const end = state.end;
  // Whether the last element that began with a letter was an hour, which
  // makes an m the minute. Each letter element sets it for the next one.
  bool afterHour = false;
  bool twelveHour = false;
  while (p != e) {
    const char* const start = p;
    const char s = *p++;
    if (IsLead<kLeadBytes>(s)) {
      // A two-byte character is text the user wrote: copy it whole. It is
      // no letter, so it ends the minute rule.
      if (p != e && *p != '\0') ++p;
      next = Append(next, end, start, static_cast<std::size_t>(p - start));
      afterHour = false;
      continue;
    }
    const Element element = ElementOf(s);
    // The length of a specifier's run: how many bytes equal to its first.
    int run = 1;
    if (element >= kYear && element <= kDateTime) {
      p = RunEnd(p, e, s);
      run = static_cast<int>(p - start);
    }
    switch (element) {
      case kEnd: p = e; break;
      case kText:
        // A stretch of plain text, copied in one piece.
        p = TextEnd<kLeadBytes>(p, e);
        if (p - start == 1) {
          next = AppendByte(next, end, s);
        } else {
          next = Append(next, end, start, static_cast<std::size_t>(p - start));
        }
        break;
      case kLetter:
        afterHour = false;
        next = AppendByte(next, end, s);
        break;
      case kYear:
        afterHour = false;
        if (run <= 2) {
          next = AppendSmallNumber(next, end, state.Date().year % 100, 2);
        } else {
          next = AppendYear(next, end, state.Date().year);
        }
        break;
      case kEra:
        afterHour = false;
        next = AppendEraText(next, end, state.Date(), run);
        break;
      case kEraYear:
        afterHour = false;
        next = AppendEraYearText(next, end, state.Date(), run);
        break;
      case kMonth:
        if (afterHour) {
          afterHour = false;
          next = AppendSmallNumber(next, end, state.Time().minute, run);
        } else if (run <= 2) {
          next = AppendSmallNumber(next, end, state.Date().month, run);
        } else {
          next = AppendName(next, end, run == 3 ? NameTable::kShortMonths : NameTable::kLongMonths,
                            state.Date().month);
        }
        break;
      case kDay:
        afterHour = false;
        if (run <= 2) {
          next = AppendSmallNumber(next, end, state.Date().day, run);
        } else if (run <= 4) {
          next = AppendDayName(next, end, run == 4, state.value.DayNumber);
        } else if (run == 5) {
          next = AppendNested(state, next, SettingsWith(kDateFormatsPart).ShortDateFormat);
        } else {
          next = AppendNested(state, next, SettingsWith(kDateFormatsPart).LongDateFormat);
        }
        break;
      case kHour: {
        afterHour = true;
        // Once set, the 12-hour flag stays: the look-ahead can add nothing.
        if (!twelveHour && LookAheadFindsAmPm<kLeadBytes>(p, e)) twelveHour = true;
        unsigned h = state.Time().hour;
        if (twelveHour) {
          if (h == 0) {
            h = 12;
          } else if (h > 12) {
            h -= 12;
          }
        }
        next = AppendSmallNumber(next, end, h, run);
        break;
      }
      case kMinute:
        afterHour = false;
        next = AppendSmallNumber(next, end, state.Time().minute, run);
        break;
      case kSecond:
        afterHour = false;
        next = AppendSmallNumber(next, end, state.Time().second, run);
        break;
      case kMillisecond:
        afterHour = false;
        next = AppendNumber(next, end, state.Time().millisecond, run < 3 ? run : 3);
        break;
      case kTimeFormat: {
        afterHour = false;
        const FormatSettings& fs = SettingsWith(kTimeFormatsPart);
        next = AppendNested(state, next, run == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat);
        break;
      }
      case kDateTime: {
        afterHour = false;
        next = AppendNested(state, next, SettingsWith(kDateFormatsPart).ShortDateFormat);
        // Midnight is judged without the milliseconds.
        const ClockTime& time = state.Time();
        if (time.hour != 0 || time.minute != 0 || time.second != 0) {
          next = AppendByte(next, end, ' ');
          next = AppendNested(state, next, SettingsWith(kTimeFormatsPart).LongTimeFormat);
        }
        break;
      }
      case kAForm:
        afterHour = false;
        // The form that begins with this A; an A that starts no form is
        // copied.
        switch (MatchAForm(start, e)) {
          case AForm::kAmPmLetters:
            next = AppendPair(next, end, start + (state.Time().hour < 12 ? 0 : 3));
            p = start + 5;
            twelveHour = true;
            break;
          case AForm::kAPLetter:
            next = AppendByte(next, end, start[state.Time().hour < 12 ? 0 : 2]);
            p = start + 3;
            twelveHour = true;
            break;
          case AForm::kAmPmText: {
            const FormatSettings& fs = SettingsWith(kDesignatorsPart);
            next =
                AppendText(next, end, state.Time().hour < 12 ? fs.TimeAMString : fs.TimePMString);
            p = start + 4;
            twelveHour = true;
            break;
          }
          case AForm::kLongDayName:
            next = AppendDayName(next, end, true, state.value.DayNumber);
            p = start + 4;
            break;
          case AForm::kShortDayName:
            next = AppendDayName(next, end, false, state.value.DayNumber);
            p = start + 3;
            break;
          case AForm::kNone: next = AppendByte(next, end, s); break;
        }
        break;
      case kDateSeparator:
        next = AppendSeparator(next, end, SettingsWith(kDateSeparatorPart).DateSeparator);
        break;
      case kTimeSeparator:
        next = AppendSeparator(next, end, SettingsWith(kTimeSeparatorPart).TimeSeparator);
        break;
      case kQuote:
        // Text between a quote and the next quote of the same kind, copied
        // as it stands; an unclosed literal runs to the end of the format.
        p = QuoteEnd<kLeadBytes>(p, e, s);
        next = Append(next, end, start + 1, static_cast<std::size_t>(p - start - 1));
        if (p != e && *p == s) ++p;  // the closing quote, not a zero byte
        break;
    }
  }
  state.next = next;
}

void RenderPass(RenderState& state, std::string_view format) {
  if (format.empty() || state.nestingLevel >= 2) return;
  ++state.nestingLevel;
  if (state.anyLeadBytes) {
    Scan<true>(state, format);
  } else {
    Scan<false>(state, format);
  }
  --state.nestingLevel;
}

}  // namespace

std::size_t RenderDateTime(std::string_view format, DateTimeValue value,
                           char (&text)[kRenderCapacity]) {
  RenderState state(text);
  state.value = SplitDayMillis(value);
  SettingsWith(kLocaleProfilePart);
  state.anyLeadBytes = LeadBytes.any();
  // The empty format renders as "c": the short date, and the long time
  // unless it is midnight.
  RenderPass(state, format.empty() ? std::string_view("C") : format);
  return static_cast<std::size_t>(state.next - text);
}

}  // namespace clockcast::datetime
