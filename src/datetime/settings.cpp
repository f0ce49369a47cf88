#include "datetime/settings.h"

#include <bit>
#include <utility>

#include "platform/platform.h"
#include "runtime/bytes.h"
#include "runtime/integer.h"
#include "runtime/lasting.h"

namespace clockcast::datetime {

namespace {
runtime::Lasting<FormatSettings> settingsStore;
}  // namespace

FormatSettings& Settings = *settingsStore;
LocaleProfile Profile;
LeadByteSet LeadBytes;
std::uint32_t PlatformFamily = 0;

namespace {

// The built-in English names, used wherever the locale leaves a name empty.
// They are kept in place, not as pointers, so that loading the program has
// no addresses to fix up in them.
constexpr char kShortMonthNames[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr char kLongMonthNames[12][10] = {"January",   "February", "March",    "April",
                                          "May",       "June",     "July",     "August",
                                          "September", "October",  "November", "December"};
constexpr char kShortDayNames[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr char kLongDayNames[7][10] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                       "Thursday", "Friday", "Saturday"};

constexpr char kDefaultShortDate[] = "m/d/yy";
constexpr char kDefaultLongDate[] = "mmmm d, yyyy";

constexpr std::uint32_t kPlatformNt = 2;

constexpr std::uint32_t kLangChinese = 0x04;
constexpr std::uint32_t kLangJapanese = 0x11;
constexpr std::uint32_t kLangKorean = 0x12;

// GetLocaleInfoA's answer for LOCALE_IDEFAULTANSICODEPAGE: six digits and
// the terminator.
constexpr int kCodePageBufferSize = 7;
constexpr int kLocaleTextBufferSize = 256;

// The text of a locale item, at most 255 bytes of it, in `buffer`; the
// fallback when the item is unknown.
std::string_view LocaleText(std::uint32_t locale, std::uint32_t item, std::string_view fallback,
                            char (&buffer)[kLocaleTextBufferSize]) {
  const int count = platform::LocaleInfo(locale, item, buffer, kLocaleTextBufferSize);
  if (count <= 0) return fallback;
  const int length = count <= kLocaleTextBufferSize ? count - 1 : kLocaleTextBufferSize - 1;
  return std::string_view(buffer, static_cast<std::size_t>(length));
}

// Reads the text of a locale item into `out`, which the caller keeps: no
// string is made and copied on the way.
void ReadLocaleTextInto(std::string& out, std::uint32_t locale, std::uint32_t item,
                        std::string_view fallback) {
  char buffer[kLocaleTextBufferSize];
  out.assign(LocaleText(locale, item, fallback, buffer));
}

// A name of the locale, or the built-in one where the locale's is empty.
void ReadLocaleName(std::string& out, std::uint32_t locale, std::uint32_t item,
                    const char* builtIn) {
  char buffer[kLocaleTextBufferSize];
  const std::string_view name = LocaleText(locale, item, {}, buffer);
  out.assign(name.empty() ? std::string_view(builtIn) : name);
}

std::int32_t ReadLocaleInt(std::uint32_t locale, std::uint32_t item, std::string_view fallback,
                           std::int32_t fallbackValue) {
  char buffer[kLocaleTextBufferSize];
  return runtime::TextToIntDefault(LocaleText(locale, item, fallback, buffer), fallbackValue);
}

// True when `text` holds `word` (lower case) at `at`, folding only A to Z.
bool HasWordAt(std::string_view text, std::size_t at, std::string_view word) {
  return text.size() - at >= word.size() &&
         runtime::SameBytesIgnoringCase(text.substr(at, word.size()), word);
}

// Copies the two-byte character that starts at `at` whole and returns its
// length; 0 when the byte there starts no such character. On a multi-byte
// locale a lead byte takes the next byte with it unless it ends the text.
std::size_t CopyLeadChar(std::string_view text, std::size_t at, std::string& out) {
  if (!IsLeadByte(text[at])) return 0;
  const std::size_t n = Profile.IsMultiByte && at + 1 < text.size() ? 2 : 1;
  out.append(text.substr(at, n));
  return n;
}

// Era calendars: the year specifiers become era-year specifiers and a run
// of two g becomes the full era name. Quotes are not tracked.
std::string RewriteForEras(std::string_view format) {
  std::string out;
  out.reserve(format.size() + 8);
  std::size_t i = 0;
  while (i < format.size()) {
    if (const std::size_t n = CopyLeadChar(format, i, out); n != 0) {
      i += n;
    } else if (HasWordAt(format, i, "gg")) {
      out += "ggg";
      i += 2;
    } else if (HasWordAt(format, i, "yyyy")) {
      out += "eeee";
      i += 4;
    } else if (HasWordAt(format, i, "yy")) {
      out += "ee";
      i += 2;
    } else if (format[i] == 'y' || format[i] == 'Y') {
      out += 'e';
      i += 1;
    } else {
      out += format[i];
      i += 1;
    }
  }
  return out;
}

// Chinese, Japanese and Korean without an era calendar: the era specifiers
// are dropped. Two-byte characters are passed whole, so that a trail byte
// that happens to be a g stays in its character; quotes are not tracked.
std::string RemoveEraLetters(std::string_view format) {
  std::string out;
  out.reserve(format.size());
  std::size_t i = 0;
  while (i < format.size()) {
    if (const std::size_t n = CopyLeadChar(format, i, out); n != 0) {
      i += n;
    } else {
      if (format[i] != 'g' && format[i] != 'G') out += format[i];
      i += 1;
    }
  }
  return out;
}

}  // namespace

void IdentifyPlatform() {
  PlatformFamily = platform::PlatformId();
}

char ReadLocaleChar(std::uint32_t locale, std::uint32_t item, char fallback) {
  char buffer[2];
  return platform::LocaleInfo(locale, item, buffer, 2) > 0 ? buffer[0] : fallback;
}

std::uint32_t CodePageOfLocale(std::uint32_t locale) {
  char buffer[kCodePageBufferSize];
  const int count =
      platform::LocaleInfo(locale, LOCALE_IDEFAULTANSICODEPAGE, buffer, kCodePageBufferSize);
  const std::string_view text = count > 0 && count <= kCodePageBufferSize
                                    ? std::string_view(buffer, static_cast<std::size_t>(count - 1))
                                    : std::string_view();
  return static_cast<std::uint32_t>(
      runtime::TextToIntDefault(text, static_cast<std::int32_t>(platform::AnsiCodePage())));
}

bool IsWesternLanguage() {
  switch (Profile.PrimaryLanguageId) {
    case 0x00:  // neutral
    case 0x06:  // Danish
    case 0x07:  // German
    case 0x09:  // English
    case 0x0A:  // Spanish
    case 0x0B:  // Finnish
    case 0x0C:  // French
    case 0x10:  // Italian
    case 0x13:  // Dutch
    case 0x14:  // Norwegian
    case 0x16:  // Portuguese
    case 0x1D:  // Swedish
      return true;
    default: return false;
  }
}

void LoadLeadBytes() {
  const std::uint32_t codePage = CodePageOfLocale(Profile.LocaleId);
  std::uint8_t ranges[12] = {};
  // A code page whose ranges cannot be had adds nothing.
  if (!platform::CodePageLeadBytes(codePage, ranges)) return;
  for (std::size_t pair = 0; pair < 6; ++pair) {
    const unsigned first = ranges[2 * pair];
    const unsigned last = ranges[2 * pair + 1];
    if (first == 0 && last == 0) break;
    for (unsigned b = first; b <= last; ++b) LeadBytes.set(b);
  }
}

void InitLocaleProfile() {
  Profile.LocaleId = 0x0409;
  Profile.PrimaryLanguageId = 9;
  Profile.SubLanguageId = 1;
  const std::uint32_t id = platform::ThreadLocale();
  if (id != 0) Profile.LocaleId = id;
  const std::uint32_t language = id & 0xFFFF;
  if (language != 0) {
    Profile.PrimaryLanguageId = language & 0x3FF;
    Profile.SubLanguageId = language >> 10;
  }
  LeadBytes.reset();
  if (PlatformFamily == kPlatformNt) {
    if (IsWesternLanguage()) {
      Profile.IsMultiByte = false;
    } else {
      LoadLeadBytes();
      Profile.IsMultiByte = LeadBytes.any();
    }
  } else {
    Profile.IsMultiByte = platform::DbcsEnabled() != 0;
    if (Profile.IsMultiByte) LoadLeadBytes();
  }
}

namespace {

// The table and index of a bit of PendingNames.
std::pair<NameTable, int> NameOfBit(int bit) {
  int table = 3;
  while (bit < kFirstNameBit[table]) --table;
  return {static_cast<NameTable>(table), bit - kFirstNameBit[table]};
}

const char* BuiltInName(NameTable table, int index) {
  switch (table) {
    case NameTable::kShortMonths: return kShortMonthNames[index];
    case NameTable::kLongMonths: return kLongMonthNames[index];
    case NameTable::kShortDays: return kShortDayNames[index];
    case NameTable::kLongDays: break;
  }
  return kLongDayNames[index];
}

}  // namespace

std::uint64_t PendingNames = 0;

// Reads name `index` (from 0: January, Sunday) of a table from the locale,
// or takes the built-in one where the locale's is empty. The locale numbers
// its day names from 0 = Monday, so Sunday is its seventh.
void ReadName(NameTable table, int index) {
  constexpr std::uint32_t kFirstItem[] = {LOCALE_SABBREVMONTHNAME1, LOCALE_SMONTHNAME1,
                                          LOCALE_SABBREVDAYNAME1, LOCALE_SDAYNAME1};
  const bool months = table == NameTable::kShortMonths || table == NameTable::kLongMonths;
  const auto item = kFirstItem[static_cast<int>(table)] +
                    static_cast<std::uint32_t>(months ? index : (index + 6) % 7);
  ReadLocaleName(NamesOf(table)[index], platform::ThreadLocale(), item, BuiltInName(table, index));
  PendingNames &= ~NameBit(table, index);
}

namespace {

std::int32_t CalendarType() {
  return ReadLocaleInt(platform::ThreadLocale(), LOCALE_ICALENDARTYPE, "1", 1);
}

// Adapts a date format, in place, to the calendar and the language; most
// locales leave it as it is.
void AdaptDateFormatIn(std::string& format, std::int32_t calendar) {
  // 3, 4, 5: the Japanese era, Taiwan and Korean era calendars.
  if (calendar >= 3 && calendar <= 5) {
    format = RewriteForEras(format);
    return;
  }
  switch (Profile.PrimaryLanguageId) {
    case kLangChinese:
    case kLangJapanese:
    case kLangKorean: format = RemoveEraLetters(format); return;
    default: return;
  }
}

// Empties a text and gives back its storage.
void Release(std::string& text) {
  text.clear();
  text.shrink_to_fit();
}

}  // namespace

namespace {

// The two time formats, built from the locale's clock flags.
void BuildTimeFormats(std::uint32_t locale) {
  const std::string_view hour = ReadLocaleInt(locale, LOCALE_ITLZERO, "0", 0) != 0 ? "hh" : "h";
  std::string_view prefix;
  std::string_view suffix;
  if (ReadLocaleInt(locale, LOCALE_ITIME, "0", 0) == 0) {
    if (ReadLocaleInt(locale, LOCALE_ITIMEMARKPOSN, "0", 0) == 0) {
      suffix = " AMPM";
    } else {
      prefix = "AMPM ";
    }
  }
  Settings.ShortTimeFormat.assign(prefix).append(hour).append(":mm").append(suffix);
  Settings.LongTimeFormat.assign(prefix).append(hour).append(":mm:ss").append(suffix);
}

// Both date formats, read straight into the settings and adapted there.
void ReadDateFormats(std::uint32_t locale) {
  const std::int32_t calendar = CalendarType();
  ReadLocaleTextInto(Settings.ShortDateFormat, locale, LOCALE_SSHORTDATE, kDefaultShortDate);
  AdaptDateFormatIn(Settings.ShortDateFormat, calendar);
  ReadLocaleTextInto(Settings.LongDateFormat, locale, LOCALE_SLONGDATE, kDefaultLongDate);
  AdaptDateFormatIn(Settings.LongDateFormat, calendar);
}

}  // namespace

std::uint16_t PendingSettingsParts = 0;

void LoadSettingsParts(std::uint16_t parts) {
  // The date formats are adapted by the profile's language and lead bytes.
  if ((parts & kDateFormatsPart) != 0) parts |= kLocaleProfilePart;
  parts &= PendingSettingsParts;
  if (parts == 0) return;
  if ((parts & kLocaleProfilePart) != 0) InitLocaleProfile();
  const std::uint32_t locale = platform::ThreadLocale();
  if ((parts & kDateSeparatorPart) != 0) {
    Settings.DateSeparator = ReadLocaleChar(locale, LOCALE_SDATE, '/');
  }
  if ((parts & kDateFormatsPart) != 0) ReadDateFormats(locale);
  if ((parts & kTimeSeparatorPart) != 0) {
    Settings.TimeSeparator = ReadLocaleChar(locale, LOCALE_STIME, ':');
  }
  if ((parts & kDesignatorsPart) != 0) {
    // A designator that the locale defines as empty stays empty.
    ReadLocaleTextInto(Settings.TimeAMString, locale, LOCALE_S1159, "am");
    ReadLocaleTextInto(Settings.TimePMString, locale, LOCALE_S2359, "pm");
  }
  if ((parts & kTimeFormatsPart) != 0) BuildTimeFormats(locale);
  PendingSettingsParts = static_cast<std::uint16_t>(PendingSettingsParts & ~parts);
}

void LoadFormatSettings() {
  IdentifyPlatform();
  PendingSettingsParts = kAllSettingsParts;
  PendingNames = kAllNames;
}

void CompleteFormatSettings() {
  LoadSettingsParts(kAllSettingsParts);
  for (std::uint64_t pending = PendingNames; pending != 0; pending &= pending - 1) {
    const auto [table, index] = NameOfBit(std::countr_zero(pending));
    ReadName(table, index);
  }
}

void ReleaseFormatSettings() {
  // A part never read holds nothing to give back.
  const auto read = [](std::uint16_t part) { return (PendingSettingsParts & part) == 0; };
  if (read(kDateFormatsPart)) {
    Release(Settings.ShortDateFormat);
    Release(Settings.LongDateFormat);
  }
  if (read(kTimeFormatsPart)) {
    Release(Settings.ShortTimeFormat);
    Release(Settings.LongTimeFormat);
  }
  if (read(kDesignatorsPart)) {
    Release(Settings.TimeAMString);
    Release(Settings.TimePMString);
  }
  // Only the names read: a run reads a few of them, if any.
  for (std::uint64_t read = ~PendingNames & kAllNames; read != 0; read &= read - 1) {
    const auto [table, index] = NameOfBit(std::countr_zero(read));
    Release(NamesOf(table)[index]);
  }
  Settings.DateSeparator = '/';
  Settings.TimeSeparator = ':';
  Profile = LocaleProfile{};
  LeadBytes.reset();
  PlatformFamily = 0;
  PendingSettingsParts = 0;
  PendingNames = 0;
}

}  // namespace clockcast::datetime
