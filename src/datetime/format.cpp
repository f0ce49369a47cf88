// The format interpreter.
//
// A format is a sequence of elements: specifier letters, most of them in runs
// of the same byte whose length picks the variant (d, dd, ddd, ...), the two
// separator characters, quoted literals, and everything else, which is
// copied. One call renders into a fixed 256-byte buffer; what does not fit is
// dropped. Some specifiers expand one of the settings' own formats, which is
// rendered by a nested pass over the same buffer; passes nest one level deep
// only, so a settings format that names another settings format renders
// nothing for it.
//
// The value is split into its day number and milliseconds once per call.
// Each pass decodes the date and the time from them lazily, at most once,
// when an element first needs them. The previous letter of a pass (the last
// element that began with an ASCII letter, upper-cased) makes an m that
// follows an h the minute rather than the month. The 12-hour flag of a pass
// is set by an hour whose look-ahead finds an AM/PM form, or by any rendered
// AM/PM form, and stays set for the rest of the pass.

#include "datetime/format.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "datetime/settings.h"
#include "platform/platform.h"

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

// The render state of one call, shared by all its passes.
struct RenderState {
  explicit RenderState(char (&text)[kRenderCapacity]) : RenderBuffer(text) {}

  char* RenderBuffer;  // the caller's kRenderCapacity bytes
  std::size_t RenderLength = 0;
  int NestingLevel = 0;
  DayMillis value{};  // the value to render, split once for all passes
  // Whether the locale has lead bytes at all; most have none, and then no
  // byte need be looked up.
  bool anyLeadBytes = false;

  bool IsLead(char c) const { return anyLeadBytes && IsLeadByte(c); }

  void EmitBytes(const char* bytes, std::size_t count) {
    const std::size_t room = kRenderCapacity - RenderLength;
    const std::size_t n = count < room ? count : room;
    if (n == 1) {
      // Most pieces are single bytes, separators and copied characters: a
      // store, not a call.
      RenderBuffer[RenderLength++] = *bytes;
    } else if (n != 0) {  // an empty text may have no storage at all
      std::memcpy(RenderBuffer + RenderLength, bytes, n);
      RenderLength += n;
    }
  }
  void EmitText(std::string_view text) { EmitBytes(text.data(), text.size()); }

  // The decimal digits of the number, zero-padded to at least `digits`.
  void EmitNumber(unsigned number, int digits) {
    if (number < 100 && digits <= 2 && kRenderCapacity - RenderLength >= 2) {
      // Days, months, hours, minutes and seconds: one or two digits.
      const char* pair = &kDigitPairs[2 * number];
      if (number >= 10 || digits == 2) RenderBuffer[RenderLength++] = pair[0];
      RenderBuffer[RenderLength++] = pair[1];
      return;
    }
    if (number >= 1000 && number < 10000 && digits <= 4 && kRenderCapacity - RenderLength >= 4) {
      // A four-digit year.
      const char* high = &kDigitPairs[2 * (number / 100)];
      const char* low = &kDigitPairs[2 * (number % 100)];
      char* out = RenderBuffer + RenderLength;
      out[0] = high[0];
      out[1] = high[1];
      out[2] = low[0];
      out[3] = low[1];
      RenderLength += 4;
      return;
    }
    std::size_t length = 1;
    for (unsigned limit = 10; length < 10 && number >= limit; limit *= 10) ++length;
    if (length < static_cast<std::size_t>(digits)) length = static_cast<std::size_t>(digits);
    char scratch[16];
    const bool fits = length <= kRenderCapacity - RenderLength;
    // Written in place, last digits first, zeros padding on the left; where
    // only the leading digits fit, written aside and cut by EmitBytes.
    char* const end = fits ? RenderBuffer + RenderLength + length : scratch + length;
    char* const begin = end - length;
    char* p = end;
    for (; p - begin >= 2; number /= 100) {
      const unsigned pair = 2 * (number % 100);
      p -= 2;
      p[0] = kDigitPairs[pair];
      p[1] = kDigitPairs[pair + 1];
    }
    if (p != begin) *--p = static_cast<char>('0' + number % 10);
    if (fits) {
      RenderLength += length;
    } else {
      EmitBytes(scratch, length);
    }
  }
};

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// Case-insensitive test that `text` starts with the upper-case `form`.
bool StartsWithForm(std::string_view text, std::string_view form) {
  if (text.size() < form.size()) return false;
  for (std::size_t i = 0; i < form.size(); ++i) {
    if (Upper(text[i]) != form[i]) return false;
  }
  return true;
}

// The next-character step: a lead byte followed by another byte is passed
// with it; every other byte alone.
std::size_t NextChar(std::string_view format, std::size_t pos) {
  return IsLeadByte(format[pos]) && pos + 1 < format.size() ? pos + 2 : pos + 1;
}

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

// The state of one scan of one format text.
class Pass {
 public:
  Pass(RenderState& state, std::string_view format) : st_(state), f_(format) {}
  void Run();

 private:
  const CalendarDate& Date() {
    if (!dateDecoded_) {
      date_ = DateOfDay(st_.value.DayNumber);
      dateDecoded_ = true;
    }
    return date_;
  }
  const ClockTime& Time() {
    if (!timeDecoded_) {
      time_ = TimeOfDay(st_.value.MillisOfDay);
      timeDecoded_ = true;
    }
    return time_;
  }
  // The run of bytes equal to the element's first byte, as written.
  int CountRun(char s) {
    int run = 1;
    while (pos_ < f_.size() && f_[pos_] == s) {
      ++pos_;
      ++run;
    }
    return run;
  }
  void Nested(std::string_view format);
  void EmitName(const std::string* names, int count, int index) {
    if (index >= 1 && index <= count) st_.EmitText(names[index - 1]);
  }
  void ShortDayName() {
    EmitName(SettingsWith(kShortDayNamesPart).ShortDayNames, 7, WeekdayOfDay(st_.value.DayNumber));
  }
  void LongDayName() {
    EmitName(SettingsWith(kLongDayNamesPart).LongDayNames, 7, WeekdayOfDay(st_.value.DayNumber));
  }
  // A separator of the settings; one set to the zero byte renders nothing.
  void Separator(char c) {
    if (c != '\0') st_.EmitBytes(&c, 1);
  }
  void Hour(int run);
  bool LookAheadFindsAmPm() const;
  void AForms(std::size_t at);
  void QuotedLiteral(char quote);
  void EraText(int run);
  void EraYearText(int run);

  RenderState& st_;
  std::string_view f_;
  std::size_t pos_ = 0;
  char previousLetter_ = ' ';
  bool dateDecoded_ = false;
  bool timeDecoded_ = false;
  bool twelveHour_ = false;
  CalendarDate date_{};
  ClockTime time_{};
};

// The length of the text before its first zero byte. Eight bytes are tested
// at a time; formats are short, and a call to memchr would cost more.
std::size_t LengthBeforeZero(std::string_view text) {
  constexpr std::uint64_t kLow = 0x0101010101010101;
  constexpr std::uint64_t kHigh = 0x8080808080808080;
  std::size_t i = 0;
  for (; text.size() - i >= 8; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (((word - kLow) & ~word & kHigh) != 0) break;  // a zero byte among the eight
  }
  while (i < text.size() && text[i] != '\0') ++i;
  return i;
}

void RenderPass(RenderState& state, std::string_view format) {
  // A format is read up to its end or its first zero byte.
  format = format.substr(0, LengthBeforeZero(format));
  if (format.empty() || state.NestingLevel >= 2) return;
  ++state.NestingLevel;
  Pass(state, format).Run();
  --state.NestingLevel;
}

void Pass::Nested(std::string_view format) {
  RenderPass(st_, format);
}

void Pass::Run() {
  while (pos_ < f_.size()) {
    const std::size_t start = pos_;
    const char s = f_[pos_];
    if (st_.IsLead(s)) {
      // A two-byte character is text the user wrote: copy it whole. It is
      // no letter, so it breaks the minute rule.
      pos_ = NextChar(f_, pos_);
      st_.EmitBytes(f_.data() + start, pos_ - start);
      previousLetter_ = ' ';
      continue;
    }
    ++pos_;
    char t = Upper(s);
    if (t >= 'A' && t <= 'Z') {
      if (t == 'M' && previousLetter_ == 'H') t = 'N';
      previousLetter_ = t;
    }
    switch (t) {
      case 'Y': {
        const int run = CountRun(s);
        if (run <= 2) {
          st_.EmitNumber(Date().year % 100, 2);
        } else {
          st_.EmitNumber(Date().year, 4);
        }
        break;
      }
      case 'G': EraText(CountRun(s)); break;
      case 'E': EraYearText(CountRun(s)); break;
      case 'M': {
        const int run = CountRun(s);
        const CalendarDate& d = Date();
        if (run <= 2) {
          st_.EmitNumber(d.month, run);
        } else {
          if (run == 3) {
            EmitName(SettingsWith(kShortMonthNamesPart).ShortMonthNames, 12, d.month);
          } else {
            EmitName(SettingsWith(kLongMonthNamesPart).LongMonthNames, 12, d.month);
          }
        }
        break;
      }
      case 'D': {
        const int run = CountRun(s);
        switch (run) {
          case 1:
          case 2: st_.EmitNumber(Date().day, run); break;
          case 3: ShortDayName(); break;
          case 4: LongDayName(); break;
          case 5: Nested(SettingsWith(kDateFormatsPart).ShortDateFormat); break;
          default: Nested(SettingsWith(kDateFormatsPart).LongDateFormat); break;
        }
        break;
      }
      case 'H': Hour(CountRun(s)); break;
      case 'N': st_.EmitNumber(Time().minute, CountRun(s) < 2 ? 1 : 2); break;
      case 'S': st_.EmitNumber(Time().second, CountRun(s) < 2 ? 1 : 2); break;
      case 'Z': {
        const int run = CountRun(s);
        st_.EmitNumber(Time().millisecond, run < 3 ? run : 3);
        break;
      }
      case 'T': {
        const FormatSettings& fs = SettingsWith(kTimeFormatsPart);
        Nested(CountRun(s) == 1 ? fs.ShortTimeFormat : fs.LongTimeFormat);
        break;
      }
      case 'C': {
        CountRun(s);
        Nested(SettingsWith(kDateFormatsPart).ShortDateFormat);
        // Midnight is judged without the milliseconds.
        const ClockTime& time = Time();
        if (time.hour != 0 || time.minute != 0 || time.second != 0) {
          st_.EmitText(" ");
          Nested(SettingsWith(kTimeFormatsPart).LongTimeFormat);
        }
        break;
      }
      case 'A': AForms(start); break;
      case '/': Separator(SettingsWith(kDateSeparatorPart).DateSeparator); break;
      case ':': Separator(SettingsWith(kTimeSeparatorPart).TimeSeparator); break;
      case '\'':
      case '"': QuotedLiteral(s); break;
      default: st_.EmitBytes(&s, 1); break;
    }
  }
}

// Looks ahead from the end of an hour run, without moving: the next hour
// letter ends the search, and so does an A outside quotes, which sets the
// 12-hour flag when it starts an AM/PM form.
bool Pass::LookAheadFindsAmPm() const {
  bool inQuotes = false;
  for (std::size_t j = pos_; j < f_.size(); ++j) {
    const char c = f_[j];
    if (st_.IsLead(c)) {
      if (j + 1 < f_.size()) ++j;  // the trail byte goes with it
      continue;
    }
    if (c == '\'' || c == '"') {
      inQuotes = !inQuotes;
    } else if (c == 'H' || c == 'h') {
      return false;
    } else if (!inQuotes && (c == 'A' || c == 'a')) {
      const std::string_view rest = f_.substr(j);
      return StartsWithForm(rest, "AM/PM") || StartsWithForm(rest, "A/P") ||
             StartsWithForm(rest, "AMPM");
    }
  }
  return false;
}

void Pass::Hour(int run) {
  if (LookAheadFindsAmPm()) twelveHour_ = true;
  unsigned h = Time().hour;
  if (twelveHour_) {
    if (h == 0) {
      h = 12;
    } else if (h > 12) {
      h -= 12;
    }
  }
  st_.EmitNumber(h, run < 2 ? 1 : 2);
}

// The forms that begin with an A, at position `at` of the format: AM/PM and
// A/P render the letters as written, AMPM the locale's texts, AAAA and AAA
// the day names; an A that starts no form is copied.
void Pass::AForms(std::size_t at) {
  const std::string_view rest = f_.substr(at);
  const bool morning = Time().hour < 12;
  if (StartsWithForm(rest, "AM/PM")) {
    st_.EmitBytes(rest.data() + (morning ? 0 : 3), 2);
    pos_ = at + 5;
    twelveHour_ = true;
  } else if (StartsWithForm(rest, "A/P")) {
    st_.EmitBytes(rest.data() + (morning ? 0 : 2), 1);
    pos_ = at + 3;
    twelveHour_ = true;
  } else if (StartsWithForm(rest, "AMPM")) {
    const FormatSettings& fs = SettingsWith(kDesignatorsPart);
    st_.EmitText(morning ? fs.TimeAMString : fs.TimePMString);
    pos_ = at + 4;
    twelveHour_ = true;
  } else if (StartsWithForm(rest, "AAAA")) {
    LongDayName();
    pos_ = at + 4;
  } else if (StartsWithForm(rest, "AAA")) {
    ShortDayName();
    pos_ = at + 3;
  } else {
    st_.EmitBytes(rest.data(), 1);
  }
}

// Text between a quote and the next quote of the same kind, copied as it
// stands. A trail byte equal to the quote does not end it; an unclosed
// literal runs to the end of the format.
void Pass::QuotedLiteral(char quote) {
  const std::size_t from = pos_;
  while (pos_ < f_.size() && f_[pos_] != quote) pos_ = NextChar(f_, pos_);
  st_.EmitBytes(f_.data() + from, pos_ - from);
  if (pos_ < f_.size()) ++pos_;
}

void Pass::EraText(int run) {
  char out[kRenderCapacity];
  std::string_view text = AltCalendarText(Date(), "gg", out);
  if (run == 1) {
    if (Profile.PrimaryLanguageId == 0x11) {
      text = Characters(text, 0, 1);
    } else if (Profile.PrimaryLanguageId == 0x04 && Profile.SubLanguageId == 0x01 &&
               CharacterCount(text) == 4) {
      text = Characters(text, 2, 2);
    }
  }
  st_.EmitText(text);
}

void Pass::EraYearText(int run) {
  char out[kRenderCapacity];
  std::string_view text = AltCalendarText(Date(), run <= 2 ? "yy" : "yyyy", out);
  if (run == 1 && !text.empty() && text.front() == '0') text.remove_prefix(1);
  st_.EmitText(text);
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
  return state.RenderLength;
}

std::string RenderDateTime(std::string_view format, DateTimeValue value) {
  char text[kRenderCapacity];
  return std::string(text, RenderDateTime(format, value, text));
}

}  // namespace clockcast::datetime
