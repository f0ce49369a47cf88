// Format settings: the locale-derived names, formats, separators and AM/PM
// texts that shape date and time text, loaded once at start-up and read-only
// afterwards.
//
// Every item is asked of the platform by its Win32 LOCALE_* number and has a
// default, and every name has a built-in English fallback, so loading never
// fails: a platform without locale data yields the defaults throughout.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

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

extern FormatSettings Settings;
extern LocaleProfile Profile;
extern LeadByteSet LeadBytes;
extern std::uint32_t PlatformFamily;  // 2 is the NT family; 0 when unknown

inline bool IsLeadByte(char c) {
  return LeadBytes.test(static_cast<unsigned char>(c));
}

// Win32 locale item numbers.
inline constexpr std::uint32_t LOCALE_SDAYNAME1 = 0x2A;
inline constexpr std::uint32_t LOCALE_SABBREVDAYNAME1 = 0x31;
inline constexpr std::uint32_t LOCALE_SMONTHNAME1 = 0x38;
inline constexpr std::uint32_t LOCALE_SABBREVMONTHNAME1 = 0x44;
inline constexpr std::uint32_t LOCALE_SDATE = 0x1D;
inline constexpr std::uint32_t LOCALE_STIME = 0x1E;
inline constexpr std::uint32_t LOCALE_SSHORTDATE = 0x1F;
inline constexpr std::uint32_t LOCALE_SLONGDATE = 0x20;
inline constexpr std::uint32_t LOCALE_ITIME = 0x23;
inline constexpr std::uint32_t LOCALE_ITLZERO = 0x25;
inline constexpr std::uint32_t LOCALE_S1159 = 0x28;
inline constexpr std::uint32_t LOCALE_S2359 = 0x29;
inline constexpr std::uint32_t LOCALE_IDEFAULTANSICODEPAGE = 0x1004;
inline constexpr std::uint32_t LOCALE_ITIMEMARKPOSN = 0x1005;
inline constexpr std::uint32_t LOCALE_ICALENDARTYPE = 0x1009;

// Start-up: identifies the platform, then fills Profile, LeadBytes and
// every field of Settings.
void LoadFormatSettings();
void ReleaseFormatSettings();

// The steps of the loading, exposed for testing.
void IdentifyPlatform();
void InitLocaleProfile();
bool IsWesternLanguage();
void LoadLeadBytes();
std::uint32_t CodePageOfLocale(std::uint32_t locale);
void LoadMonthDayNames();
std::string ReadLocaleText(std::uint32_t locale, std::uint32_t item, std::string_view fallback);
char ReadLocaleChar(std::uint32_t locale, std::uint32_t item, char fallback);
std::string AdaptDateFormat(std::string_view format);

}  // namespace clockcast::datetime
