// The LC_TIME locale of the process and the facts worked out from it: its
// identifier and long date from the locale table, its code page, and the
// separators, clock flags and short date read from its strftime formats.
//
// The C and POSIX locales have no locale data: their identifier is 0.

#include "platform/posix_time_locale.h"

#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>

#include <cstddef>

#include "platform/posix.h"
#include "runtime/bytes.h"
#include "runtime/lasting.h"

namespace clockcast::platform::posix {

namespace {

// The code page of the LC_TIME locale's codeset, 0 when it has none. The
// GNU C library keeps the codeset with the time data of the locale, which
// spares loading the locale's character classes only to ask for it.
std::uint32_t CodePageOfTimeLocale() {
#ifdef __GLIBC__
  return CodePageOfCodeset(nl_langinfo(_NL_TIME_CODESET));
#else
  const char* name = setlocale(LC_TIME, nullptr);
  if (name == nullptr) return 0;
  MakeRoomForCLibrary(0);  // as for setlocale
  const locale_t locale = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return 0;
  const std::uint32_t codePage = CodePageOfCodeset(nl_langinfo_l(CODESET, locale));
  freelocale(locale);
  return codePage;
#endif
}

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
  const StrftimeFormats formats{nl_langinfo(D_FMT), nl_langinfo(T_FMT), nl_langinfo(T_FMT_AMPM),
                                nl_langinfo(D_T_FMT)};
  // The formats that %x and %X stand for.
  const std::string date = ExpandComposites("%x", formats, facts.lead);
  const std::string time = ExpandComposites("%X", formats, facts.lead);
  facts.dateSeparator = SeparatorOf(date, SeparatorAfter::kFirstConversion, facts.lead);
  facts.timeSeparator = SeparatorOf(time, SeparatorAfter::kFirstHour, facts.lead);
  facts.clock = ClockFlagsOf(time, facts.lead);
  facts.shortDate = TranslateDateFormat(date, SeparatorByteOf(facts.dateSeparator, '/'),
                                        SeparatorByteOf(facts.timeSeparator, ':'), facts.lead);
#ifdef __GLIBC__
  const std::string_view codeset = nl_langinfo(_NL_TIME_CODESET);
#else
  const std::string_view codeset = facts.codePage == 65001 ? "UTF-8" : "";
#endif
  facts.longDate = LongDateOf(facts.entry, codeset);
}

// The value of the variable `name` in the environment `env`; nullptr when
// it is not set.
const char* EnvironmentValue(char** env, std::string_view name) {
  for (; *env != nullptr; ++env) {
    const char* entry = *env;
    if (runtime::StartsWithBytes(entry, name) && entry[name.size()] == '=') {
      return entry + name.size() + 1;
    }
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
    char** const env = StartEnvironment();
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
  return !runtime::SameBytes(text, "C") && !runtime::SameBytes(text, "POSIX");
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

bool SelectTimeLocale(const char* name) {
  // Short of memory, the C library would not load the locale and answer
  // as for a missing one; the room it needs is made sure of first. The
  // answer is the name of the locale now selected for LC_TIME.
  if (LoadsLocaleData(name)) MakeRoomForCLibrary(LocaleArchiveSize());
  const char* selected = setlocale(LC_TIME, name);
  if (selected == nullptr) return false;
  // Everything worked out for the previous locale goes with it.
  const LocaleTableMatch match = FindLocale(selected);
  timeLocale = TimeLocaleFacts{};
  timeLocale.selected = true;
  timeLocale.id = match.id;
  timeLocale.entry = match.entry;
  return true;
}

const TimeLocaleFacts& TimeLocale() {
  // A locale the environment names but the system lacks leaves the C
  // locale in force, and is not looked for again.
  if (!timeLocale.selected && !SelectTimeLocale("")) timeLocale.selected = true;
  return timeLocale;
}

const TimeLocaleFacts& TimeLocaleWithCodePage() {
  TimeLocale();
  TimeLocaleFacts& facts = timeLocale;
  if (!facts.codePageWorkedOut) {
    facts.codePage = CodePageOfTimeLocale();
    facts.lead.fill(0);
    LeadByteRangesOf(facts.codePage, facts.lead);
    WriteDecimal(facts.codePage, facts.codePageText);
    facts.codePageWorkedOut = true;
  }
  return facts;
}

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

void MakeRoomForEraTable() {
  if (timeLocale.erasLoaded) return;
  MakeRoomForCLibrary(0);
  timeLocale.erasLoaded = true;
}

}  // namespace clockcast::platform::posix
