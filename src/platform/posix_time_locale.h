// The LC_TIME locale of the process: selected with setlocale, with room made
// first for what the C library loads, and what the Win32 locale calls answer
// from it beyond the C library's names and designators, worked out when
// first asked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix_locale_table.h"
#include "platform/posix_strftime.h"

namespace clockcast::platform::posix {

// Selects the LC_TIME locale (setlocale) and works out, for every later
// locale answer, its identifier and its code page; the answers drawn from
// its date and time formats follow when first asked. False when the locale
// is not available; the previous one then stays. Without a call, the first
// locale answer selects the locale the environment names.
bool SelectTimeLocale(const char* name);

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
  std::optional<ClockFlags> clock;
  std::string shortDate;
  std::string_view longDate;  // the table's, in the codeset; empty for none
};

// The facts of the LC_TIME locale, selected from the environment if nothing
// has selected one yet.
const TimeLocaleFacts& TimeLocale();

// The facts with the code page of the locale's codeset and its lead bytes,
// worked out when first asked: most runs never ask.
const TimeLocaleFacts& TimeLocaleWithCodePage();

// The facts with the answers drawn from the date and time formats, which
// are read with the code page's lead bytes.
const TimeLocaleFacts& TimeLocaleWithFormats();

// Makes room for the C library's first read of the LC_TIME locale's era
// table, at the first strftime with an era conversion: short of memory
// there, it goes on without eras for the rest of the process. Once a
// locale is selected, later calls do nothing.
void MakeRoomForEraTable();

}  // namespace clockcast::platform::posix
