#include "cli/help.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "runtime/output.h"

namespace clockcast::cli {

namespace {

// The screens are written here line by line, but only as constants for the
// compiler: each is joined into one block of text with the offset where each
// line ends, so the program holds no table of pointers to its lines, which a
// position-independent executable would have to fix up at every start.

// The usage screen is framed by rows of 72 asterisks, the advanced screen by
// rows of 75.
constexpr std::string_view kStars =
    "***************************************************************************";
static_assert(kStars.size() == 75);
constexpr std::string_view kRule72 = kStars.substr(0, 72);
constexpr std::string_view kRule75 = kStars;

constexpr std::string_view kUsageLines[] = {
    kRule72,
    "System Time & Date Output",
    "By: Varnholt",
    kRule72,
    "Usage: Clockcast \"/Parms\"",
    "Accepted Param Strings:",
    "date:     Follow with date format string",
    "time:     Follow with time format string",
    "line:     Enters a hard return",
    "th        If 1st day of month, outputs \"st\". If 2nd, outputs \"nd\", ect",
    "'        A single quote will output a double quote (\")",
    "addtime:  Works like time, but +h:m:s after the string",
    "All other text will be echoed as-is.",
    "",
    "Example: Clockcast \"Date:dd\" \"th\" \" of\" \"date: mmmm, yyyy\"",
    "Results: 10th of Febuary, 1978",
    "For best results, all commands should be inside quotes.",
    "For a list of all time/date format commands, use the switch /formats.",
    "It's recomended that you redirect format output to a text file",
    "like this: Clockcast /formats > timeformat.txt",
    "",
    "Use /Advanced for more advanced usage",
    "Created January 30th, 2004 using Corvane 6 Personal Edition.",
    "Updated to 1.02 on November 20th, 2004",
    kRule72,
};
static_assert(std::size(kUsageLines) == 25);

// Specifier, a tab, then its description; the dddddd row alone has a blank
// where the others have the tab.
constexpr std::string_view kFormatReferenceLines[] = {
    "Specifier\tDisplays",
    "c\t Displays the date using the format given by the ShortDateFormat global variable, "
    "followed by the time using the format given by the LongTimeFormat global variable. The "
    "time is not displayed if the date-time value indicates midnight precisely.",
    "d\t Displays the day as a number without a leading zero (1-31).",
    "dd\t Displays the day as a number with a leading zero (01-31).",
    "ddd\t Displays the day as an abbreviation (Sun-Sat) using the strings given by the "
    "ShortDayNames global variable.",
    "dddd\t Displays the day as a full name (Sunday-Saturday) using the strings given by the "
    "LongDayNames global variable.",
    "ddddd\t Displays the date using the format given by the ShortDateFormat global variable.",
    "dddddd Displays the date using the format given by the LongDateFormat global variable.",
    "e\t Displays the year in the current period/era as a number without a leading zero "
    "(Japanese, Korean and Taiwanese locales only).",
    "ee\t Displays the year in the current period/era as a number with a leading zero "
    "(Japanese, Korean and Taiwanese locales only).",
    "g\t Displays the period/era as an abbreviation (Japanese and Taiwanese locales only).",
    "gg\t Displays the period/era as a full name. (Japanese and Taiwanese locales only).",
    "m\t Displays the month as a number without a leading zero (1-12). If the m specifier "
    "immediately follows an h or hh specifier, the minute rather than the month is displayed.",
    "mm\t Displays the month as a number with a leading zero (01-12). If the mm specifier "
    "immediately follows an h or hh specifier, the minute rather than the month is displayed.",
    "mmm\t Displays the month as an abbreviation (Jan-Dec) using the strings given by the "
    "ShortMonthNames global variable.",
    "mmmm\t Displays the month as a full name (January-December) using the strings given by the "
    "LongMonthNames global variable.",
    "yy\t Displays the year as a two-digit number (00-99).",
    "yyyy\t Displays the year as a four-digit number (0000-9999).",
    "h\t Displays the hour without a leading zero (0-23).",
    "hh\t Displays the hour with a leading zero (00-23).",
    "n\t Displays the minute without a leading zero (0-59).",
    "nn\t Displays the minute with a leading zero (00-59).",
    "s\t Displays the second without a leading zero (0-59).",
    "ss\t Displays the second with a leading zero (00-59).",
    "z\t Displays the millisecond without a leading zero (0-999).",
    "zzz\t Displays the millisecond with a leading zero (000-999).",
    "t\t Displays the time using the format given by the ShortTimeFormat global variable.",
    "tt\t Displays the time using the format given by the LongTimeFormat global variable.",
    "am/pm\t Uses the 12-hour clock for the preceding h or hh specifier, and displays \"am\" for "
    "any hour before noon, and \"p\" for any hour after noon. The am/pm specifier can use lower, "
    "upper, or mixed case, and the result is displayed accordingly.",
    "a/p\t Uses the 12-hour clock for the preceding h or hh specifier, and displays \"a\" for any "
    "hour before noon, and \"p\" for any hour after noon. The a/p specifier can use lower, upper, "
    "or mixed case, and the result is displayed accordingly.",
    "ampm\t Uses the 12-hour clock for the preceding h or hh specifier, and displays the contents "
    "of the TimeAMString global variable for any hour before noon, and the contents of the "
    "TimePMString global variable for any hour after noon.",
    "/\t Displays the date separator character given by the DateSeparator global variable.",
    ":\t Displays the time separator character given by the TimeSeparator global variable.",
};
static_assert(std::size(kFormatReferenceLines) == 33);

constexpr std::string_view kAdvancedUsageLines[] = {
    "Advanced Usage",
    kRule75,
    "Clockcast was orginaly meant for use inside of fairly complex",
    "batch files. It's main function was to be used to rename folders",
    "and files with the current date and/or time. The way this is done",
    "is to redirect it's output to create a batch file, then call the",
    "batch file. Like this:",
    "",
    "Clockcast \"Rename '%1' '\" \"date:d\" \" of \" \"date:mmmm\" \"'\" > Temp.bat && temp",
    "",
    "If you wish, you can place that line inside batch file to make a ",
    "rename to date command. If not, then place the name of the file/folder",
    "you wish to rename at the end of the line, following temp.",
    "",
    "All system variables should work with Clockcast. For Example:",
    "",
    "Clockcast \"%username% ran this program @ \" \"time:h:mma/p\"",
    "",
    kRule75,
};
static_assert(std::size(kAdvancedUsageLines) == 19);

template <std::size_t N>
constexpr std::size_t ScreenSize(const std::string_view (&lines)[N]) {
  std::size_t size = 0;
  for (const std::string_view line : lines) size += line.size();
  return size;
}

template <std::size_t Size, std::size_t Lines>
struct Screen {
  std::array<char, Size> text;
  std::array<std::uint16_t, Lines> ends;
};

template <std::size_t Size, std::size_t Lines>
consteval Screen<Size, Lines> JoinLines(const std::string_view (&lines)[Lines]) {
  static_assert(Size <= UINT16_MAX);
  Screen<Size, Lines> screen{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < Lines; ++i) {
    for (const char c : lines[i]) screen.text[at++] = c;
    screen.ends[i] = static_cast<std::uint16_t>(at);
  }
  return screen;
}

constexpr auto kUsage = JoinLines<ScreenSize(kUsageLines)>(kUsageLines);
constexpr auto kFormatReference =
    JoinLines<ScreenSize(kFormatReferenceLines)>(kFormatReferenceLines);
constexpr auto kAdvancedUsage = JoinLines<ScreenSize(kAdvancedUsageLines)>(kAdvancedUsageLines);

void WriteLines(const char* text, const std::uint16_t* ends, std::size_t count) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < count; ++i) {
    runtime::WriteLine(std::string_view(text + start, ends[i] - start));
    start = ends[i];
  }
}

template <std::size_t Size, std::size_t Lines>
void WriteScreen(const Screen<Size, Lines>& screen) {
  WriteLines(screen.text.data(), screen.ends.data(), Lines);
}

}  // namespace

void ShowUsage() {
  WriteScreen(kUsage);
}
void ShowFormatReference() {
  WriteScreen(kFormatReference);
}
void ShowAdvancedUsage() {
  WriteScreen(kAdvancedUsage);
}

}  // namespace clockcast::cli
