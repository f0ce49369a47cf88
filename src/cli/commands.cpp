#include "cli/commands.h"

#include "cli/interpreter.h"
#include "cli/parameters.h"
#include "datetime/format.h"
#include "runtime/checked.h"
#include "runtime/integer.h"
#include "runtime/output.h"

namespace clockcast::cli {

using runtime::CharAt;
using runtime::CheckedAdd;
using runtime::CheckedSub;
using runtime::LengthOf;

namespace {

// The format string of a date: or time: parameter: everything after the
// five-character prefix, unchanged.
std::string_view FormatPart(std::string_view parameter) {
  return CopyRange(parameter, 6, CheckedSub(LengthOf(parameter), 5));
}

constexpr char kNoPlus[] = "Formating Error in ADDTIME: Command. No + Found";
constexpr char kNoNumbers[] = "Formating Error in ADDTIME: Command. Need More Numbers.";
constexpr char kColonCount[] = "Formating Error in ADDTIME: Command. Need More Or Less Numbers.";
constexpr char kNotNumbers[] =
    "Formating Error in ADDTIME: Command. Items other then numbers do not add well..";

// Renders the value and appends the text to the current line. The text is
// made in a fixed buffer here, not in a string: a result longer than a
// string keeps inline would cost an allocation and a free.
void AppendRendered(std::string_view format, datetime::DateTimeValue value) {
  char text[datetime::kRenderCapacity];
  AppendToCurrentLine(std::string_view(text, datetime::RenderDateTime(format, value, text)));
}

// The suffix of a day as "d" renders it: st for 1, 21 and 31, nd for 2 and
// 22, rd for 3 and 23, th for any other text. The text is tested by its
// length and bytes: comparing strings would call memcmp, one more import to
// bind at every start (see runtime/bytes.h).
std::string_view DaySuffix(std::string_view day) {
  // The units digit of a text that is one of those seven days.
  char units = '\0';
  if (day.size() == 1) {
    units = day[0];
  } else if (day.size() == 2 && (day[0] == '2' || (day[0] == '3' && day[1] == '1'))) {
    units = day[1];
  }
  switch (units) {
    case '1': return "st";
    case '2': return "nd";
    case '3': return "rd";
    default: return "th";
  }
}

}  // namespace

void RunDateCommand(std::string_view parameter) {
  const datetime::DateTimeValue today = datetime::CurrentDate();
  AppendRendered(FormatPart(parameter), today);
}

void RunTimeCommand(std::string_view parameter) {
  const datetime::DateTimeValue now = datetime::CurrentTimeOfDay();
  AppendRendered(FormatPart(parameter), now);
}

void RunDaySuffixCommand() {
  char text[datetime::kRenderCapacity];
  const std::size_t length = datetime::RenderDateTime("d", datetime::CurrentDate(), text);
  AppendToCurrentLine(DaySuffix(std::string_view(text, length)));
}

void RunTimeOffsetCommand(std::string_view parameter) {
  // The text after "addtime:"; positions in it count from 1.
  const std::string_view body = CopyRange(parameter, 9, CheckedSub(LengthOf(parameter), 8));
  const std::int32_t length = LengthOf(body);

  std::int32_t firstPlus = 0;
  for (std::int32_t i = 1; i <= length && firstPlus == 0; i = CheckedAdd(i, 1)) {
    if (CharAt(body, i) == '+') firstPlus = i;
  }
  if (firstPlus == 0) {
    runtime::WriteLine(kNoPlus);
    return;
  }
  if (firstPlus == length) {
    runtime::WriteLine(kNoNumbers);
    return;
  }
  // Only the colons from the plus sign on count; those of the format do not.
  std::int32_t colons = 0;
  for (std::int32_t i = firstPlus; i <= length; i = CheckedAdd(i, 1)) {
    if (CharAt(body, i) == ':') colons = CheckedAdd(colons, 1);
  }
  if (colons != 2) {
    runtime::WriteLine(kColonCount);
    return;
  }
  for (std::int32_t i = CheckedAdd(firstPlus, 1); i <= length; i = CheckedAdd(i, 1)) {
    const char c = CharAt(body, i);
    if (c != ':' && c != '-' && (c < '0' || c > '9')) {
      runtime::WriteLine(kNotNumbers);
      return;
    }
  }

  // Split at the last plus sign (after the checks above, the first one).
  std::int32_t plus = 0;
  for (std::int32_t i = length; i >= 1 && plus == 0; i = CheckedSub(i, 1)) {
    if (CharAt(body, i) == '+') plus = i;
  }
  std::int32_t colon1 = CheckedAdd(plus, 1);
  while (CharAt(body, colon1) != ':') colon1 = CheckedAdd(colon1, 1);
  std::int32_t colon2 = CheckedAdd(colon1, 1);
  while (CharAt(body, colon2) != ':') colon2 = CheckedAdd(colon2, 1);

  const std::string_view format = CopyRange(body, 1, CheckedSub(plus, 1));
  const std::string_view hoursText =
      CopyRange(body, CheckedAdd(plus, 1), CheckedSub(CheckedSub(colon1, plus), 1));
  const std::string_view minutesText =
      CopyRange(body, CheckedAdd(colon1, 1), CheckedSub(CheckedSub(colon2, colon1), 1));
  const std::string_view secondsText =
      CopyRange(body, CheckedAdd(colon2, 1), CheckedSub(length, colon2));

  const std::int32_t hours = runtime::TextToInt(hoursText);
  const std::int32_t minutes = runtime::TextToInt(minutesText);
  const std::int32_t seconds = runtime::TextToInt(secondsText);
  AppendRendered(format, OffsetTimeOfDay(hours, minutes, seconds));
}

datetime::DateTimeValue OffsetTimeOfDay(std::int32_t hours, std::int32_t minutes,
                                        std::int32_t seconds) {
  // Each part is rounded to a double before the sum, and the sum once more.
  constexpr long double kOneHour = 1.0L / 24;
  constexpr long double kOneMinute = 1.0L / 1440;
  const auto hourPart = static_cast<double>(static_cast<long double>(hours) / 24);
  const auto minutePart = static_cast<double>((minutes * kOneHour) / 60);
  const auto secondPart = static_cast<double>((seconds * kOneMinute) / 60);
  const long double now = datetime::CurrentTimeOfDay();
  return static_cast<double>(((now + hourPart) + minutePart) + secondPart);
}

}  // namespace clockcast::cli
