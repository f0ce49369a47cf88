// Format settings: the locale-derived names, formats, separators and AM/PM
// texts that shape date and time text, taken from the locale the program
// starts in and read-only afterwards.
//
// Every item is asked of the platform by its Win32 LOCALE_* number and has a
// default, and every name has a built-in English fallback, so loading never
// fails: a platform without locale data yields the defaults throughout.
//
// The start-up names the locale the settings come from; each part of the
// record is read from it the first time a reader needs that part, and kept.
// A run that prints one month name reads that one name, not fifty items,
// and the help screens read none. The locale cannot change during a run, so a
// part reads the same whenever it is read.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace clockcast::datetime {

struct FormatSettings {
  std::string ShortDateFormat;
  std::string LongDateFormat;
  std::string ShortTimeFormat;
  std::string LongTimeFormat;
  std::string ShortMonthNames[12];  // January first
  std::string LongMonthNames[12];
  std::string ShortDayNames[7];  // Sunday first
  std::string LongDayNames[7];
  std::string TimeAMString;
  std::string TimePMString;
  char DateSeparator = '/';
  char TimeSeparator = ':';
};

struct LocaleProfile {
  std::uint32_t LocaleId = 0x0409;
  std::uint32_t PrimaryLanguageId = 9;
  std::uint32_t SubLanguageId = 1;
  bool IsMultiByte = false;
};

// The first bytes of two-byte characters in the locale's ANSI code page.
using LeadByteSet = std::bitset<256>;

extern FormatSettings& Settings;
extern LocaleProfile Profile;
extern LeadByteSet LeadBytes;
extern std::uint32_t PlatformFamily;  // 2 is the NT family; 0 when unknown

inline bool IsLeadByte(char c) {
  return LeadBytes.test(static_cast<unsigned char>(c));
}

// The locale items, by their Win32 names.
using enum platform::LocaleInfoItem;

// The parts of the settings that are read together; the names are read one
// by one (below).
enum SettingsPart : std::uint16_t {
  kLocaleProfilePart = 1U << 0,  // Profile and LeadBytes
  kDateFormatsPart = 1U << 1,    // ShortDateFormat and LongDateFormat
  kTimeFormatsPart = 1U << 2,    // ShortTimeFormat and LongTimeFormat
  kDesignatorsPart = 1U << 3,    // TimeAMString and TimePMString
  kDateSeparatorPart = 1U << 4,
  kTimeSeparatorPart = 1U << 5,
  kAllSettingsParts = (1U << 6) - 1,
};

// The parts not yet read from the start-up locale. Only the loader sets it;
// a record filled by other means (a test) leaves it 0 and is read as it is.
extern std::uint16_t PendingSettingsParts;
void LoadSettingsParts(std::uint16_t parts);

// The settings with the given parts read.
inline const FormatSettings& SettingsWith(std::uint16_t parts) {
  if ((PendingSettingsParts & parts) != 0) LoadSettingsParts(parts);
  return Settings;
}

// The four tables of names. Their names are read one by one, each the first
// time it is needed: a run that prints one month name reads that one.
enum class NameTable : std::uint8_t { kShortMonths, kLongMonths, kShortDays, kLongDays };

// A bit for each name not yet read: the short month names from bit 0, the
// long ones from bit 12, the short day names from bit 24, the long ones
// from bit 31. The loader sets them; a record filled by other means leaves
// them 0.
extern std::uint64_t PendingNames;
inline constexpr std::uint64_t kAllNames = (std::uint64_t{1} << 38) - 1;

inline constexpr int kFirstNameBit[] = {0, 12, 24, 31};
inline constexpr int kNameCount[] = {12, 12, 7, 7};

// The bit of PendingNames for name `index` (from 0) of a table.
inline std::uint64_t NameBit(NameTable table, int index) {
  return std::uint64_t{1} << (kFirstNameBit[static_cast<int>(table)] + index);
}

// Where the names of a table are kept.
inline std::string* NamesOf(NameTable table) {
  switch (table) {
    case NameTable::kShortMonths: return Settings.ShortMonthNames;
    case NameTable::kLongMonths: return Settings.LongMonthNames;
    case NameTable::kShortDays: return Settings.ShortDayNames;
    case NameTable::kLongDays: break;
  }
  return Settings.LongDayNames;
}

// Reads name `index` (from 0) of a table from the locale.
void ReadName(NameTable table, int index);

// Name `index` of a table, counted from 1 (January, Sunday), read on first
// use; null outside the table. Inline, as the formatter asks for a name on
// every render that shows one.
inline const std::string* NameAt(NameTable table, int index) {
  if (index < 1 || index > kNameCount[static_cast<int>(table)]) return nullptr;
  if ((PendingNames & NameBit(table, index - 1)) != 0) ReadName(table, index - 1);
  return &NamesOf(table)[index - 1];
}

// Start-up: identifies the platform and makes every part of the settings
// pending, to be read from the locale on first use.
void LoadFormatSettings();
// Reads every part still pending, for a reader that wants the whole record.
void CompleteFormatSettings();
void ReleaseFormatSettings();

// The steps of the loading.
void IdentifyPlatform();
void InitLocaleProfile();
bool IsWesternLanguage();
void LoadLeadBytes();
std::uint32_t CodePageOfLocale(std::uint32_t locale);
char ReadLocaleChar(std::uint32_t locale, std::uint32_t item, char fallback);

}  // namespace clockcast::datetime
