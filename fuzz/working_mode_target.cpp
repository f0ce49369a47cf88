// The whole working mode over arbitrary parameter lists: start-up with the
// failure layer and the format settings, the argument interpreter, the
// output channel, the failure report and the shutdown, on the fuzz platform.
//
// Input: fields separated by zero bytes, each one parameter, except that the
// leading fields that begin with "#" are the set-up: words separated by
// blanks,
//   w<N>  the N-th write to standard output and every later one fail
//   o<N>  only the N-th write fails
//   e<N>  the error number of a failed write (default 28)
//   t<N>  the device type of standard output, 0 to 3 (default 1, a disk file)
//   i     no standard output handle at all
//   y<N> m<N> d<N> h<N> n<N> s<N> z<N>  the clock's fields, as 16-bit values
//   L<hex>  the thread locale (default 0: none known, the English defaults)
//   C<N>  the ANSI code page, whose lead bytes are those of B
//   B<hex>-<hex>  the lead bytes of the code page, a range from 0x81 up
// Further fields that begin with "#" before the parameters set the locale's
// answers: "#I<hex item>=<text>" the text of a locale item (of the thread
// locale), "#G<picture>=<text>" the alternate-calendar formatter's answer for
// the picture "gg", "yy" or "yyyy".
//
// Every input runs twice: once with a sound standard output and once with
// the set-up's faults. Properties:
//  - the run ends with exit code 0 or 1, nothing else;
//  - with sound output, the bytes written are exactly those a reference
//    interpreter written here from the command rules predicts: the addtime
//    messages as they come, then every line, or, when a failure is due, the
//    messages so far and then the failure report, whose class and message the
//    reference names too;
//  - every failure report holds at most 1,023 bytes and is followed by the
//    line break in a write of its own;
//  - the writes to a file or a pipe carry 128 bytes each, the last one of
//    the regular output excepted; no write carries more;
//  - with faults, the writes that succeed before the first failed one are
//    the same writes as with sound output (nothing lost before the fault,
//    nothing written twice), and the exit code is 1; when a single write
//    fails inside a line, nothing but the report and its line break follows
//    it, and the report names EInOutError with the text of its error number.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/interpreter.h"
#include "datetime/format.h"
#include "datetime/settings.h"
#include "fake_platform.h"
#include "fuzz_check.h"
#include "platform/platform.h"
#include "reference_integer.h"
#include "runtime/failures.h"
#include "runtime/output.h"
#include "runtime/shutdown.h"

using namespace clockcast;
using platform::kLineBreak;

namespace {

struct SetUp {
  int failFromWrite = 0;
  bool singleFailure = false;
  int failError = 28;
  platform::DeviceType device = platform::DeviceType::Disk;
  bool noHandle = false;
  platform::LocalTime clock{1978, 2, 10, 14, 5, 9, 7};
  std::uint32_t threadLocale = 0;
  std::uint32_t codePage = 1252;
  unsigned leadFirst = 0, leadLast = 0;
  std::map<std::uint32_t, std::string> items;
  std::map<std::string, std::string> altCalendar;
};

void ReadSetUpWords(SetUp& s, std::string_view text) {
  while (!text.empty()) {
    const std::size_t blank = text.find(' ');
    const std::string word(text.substr(0, blank));
    text = blank == std::string_view::npos ? std::string_view() : text.substr(blank + 1);
    if (word.empty()) continue;
    const long n = std::strtol(word.c_str() + 1, nullptr, 10);
    const auto u16 = static_cast<std::uint16_t>(n);
    switch (word[0]) {
      case 'w': s.failFromWrite = static_cast<int>(n % 100000); break;
      case 'o':
        s.failFromWrite = static_cast<int>(n % 100000);
        s.singleFailure = true;
        break;
      case 'e': s.failError = static_cast<int>(n); break;
      case 't': s.device = static_cast<platform::DeviceType>(((n % 4) + 4) % 4); break;
      case 'i': s.noHandle = true; break;
      case 'y': s.clock.year = u16; break;
      case 'm': s.clock.month = u16; break;
      case 'd': s.clock.day = u16; break;
      case 'h': s.clock.hour = u16; break;
      case 'n': s.clock.minute = u16; break;
      case 's': s.clock.second = u16; break;
      case 'z': s.clock.millisecond = u16; break;
      case 'L':
        s.threadLocale = static_cast<std::uint32_t>(std::strtoul(word.c_str() + 1, nullptr, 16));
        break;
      case 'C': s.codePage = static_cast<std::uint32_t>(n); break;
      case 'B': {
        char* end = nullptr;
        const unsigned long first = std::strtoul(word.c_str() + 1, &end, 16);
        const unsigned long last = *end == '-' ? std::strtoul(end + 1, nullptr, 16) : first;
        // Real code pages have lead bytes from 0x81 up only.
        if (first >= 0x81 && first <= 0xFF && last >= first && last <= 0xFF) {
          s.leadFirst = static_cast<unsigned>(first);
          s.leadLast = static_cast<unsigned>(last);
        }
        break;
      }
      default: break;
    }
  }
  if (s.failFromWrite < 0) s.failFromWrite = 0;
  if (s.failError == 0) s.failError = 28;  // 0 would be a successful write
}

// One "#" field: a locale item, an alternate-calendar answer, or words.
void ReadSetUpField(SetUp& s, std::string_view field) {
  const std::size_t equals = field.find('=');
  if (field.size() > 1 && field[1] == 'I' && equals != std::string_view::npos) {
    const std::string number(field.substr(2, equals - 2));
    const auto item = static_cast<std::uint32_t>(std::strtoul(number.c_str(), nullptr, 16));
    s.items[item] = std::string(field.substr(equals + 1));
  } else if (field.size() > 1 && field[1] == 'G' && equals != std::string_view::npos) {
    s.altCalendar[std::string(field.substr(2, equals - 2))] = std::string(field.substr(equals + 1));
  } else {
    ReadSetUpWords(s, field.substr(1));
  }
}

void ApplyLocale(testing::FakePlatform& p, const SetUp& s) {
  p.threadLocale = s.threadLocale;
  p.ansiCodePage = s.codePage;
  for (unsigned b = s.leadFirst; b != 0 && b <= s.leadLast; ++b) p.leadBytes.set(b);
  if (s.leadFirst != 0) {
    p.leadByteRanges[s.codePage] = {static_cast<std::uint8_t>(s.leadFirst),
                                    static_cast<std::uint8_t>(s.leadLast)};
  }
  p.dbcsEnabled = p.leadBytes.any() ? 1 : 0;
  for (const auto& [item, text] : s.items) p.localeItems[{s.threadLocale, item}] = text;
  p.altCalendar = fuzzing::AnswerByPicture(s.altCalendar);
}

// --- The reference interpreter ----------------------------------------------

struct Expected {
  std::string regular;  // every byte WriteLine hands on, in order
  bool fails = false;
  std::string failureClass;
  std::string failureMessage;
};

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return result;
}

bool StartsWithWord(std::string_view p, std::string_view word) {
  return p.size() >= word.size() && Lower(p.substr(0, word.size())) == word;
}

std::optional<datetime::DateTimeValue> ClockDate(const platform::LocalTime& c) {
  namespace chr = std::chrono;
  // std::chrono keeps the month and the day in a byte: range them first.
  if (c.year < 1 || c.year > 9999 || c.month > 12 || c.day > 31) return std::nullopt;
  const chr::year_month_day ymd{chr::year{c.year}, chr::month{c.month}, chr::day{c.day}};
  if (!ymd.ok()) return std::nullopt;
  const chr::sys_days epoch = chr::year{1899} / 12 / 30;
  return static_cast<double>((chr::sys_days{ymd} - epoch).count());
}

std::optional<datetime::DateTimeValue> ClockTime(const platform::LocalTime& c) {
  if (c.hour > 23 || c.minute > 59 || c.second > 59 || c.millisecond > 999) return std::nullopt;
  const int millis = c.hour * 3'600'000 + c.minute * 60'000 + c.second * 1'000 + c.millisecond;
  return static_cast<double>(millis) / 86'400'000;
}

Expected Reference(const std::vector<std::string>& parameters, const platform::LocalTime& clock) {
  Expected e;
  std::vector<std::string> lines(1);
  auto fail = [&](std::string cls, std::string message) {
    e.fails = true;
    e.failureClass = std::move(cls);
    e.failureMessage = std::move(message);
  };
  auto message = [&](std::string_view text) {
    e.regular += text;
    e.regular += kLineBreak;
  };
  const auto date = ClockDate(clock);
  const auto time = ClockTime(clock);
  for (const std::string& p : parameters) {
    if (p.empty()) continue;
    if (StartsWithWord(p, "date:") || StartsWithWord(p, "time:")) {
      const bool isDate = p[0] == 'd' || p[0] == 'D';
      const auto value = isDate ? date : time;
      if (!value) {
        fail("EConvertError",
             isDate ? "Invalid argument to date encode" : "Invalid argument to time encode");
        return e;
      }
      lines.back() += datetime::RenderDateTime(std::string_view(p).substr(5), *value);
    } else if (StartsWithWord(p, "addtime:")) {
      const std::string body = p.substr(8);
      const std::size_t plus = body.find('+');
      if (plus == std::string::npos) {
        message("Formating Error in ADDTIME: Command. No + Found");
        continue;
      }
      if (plus + 1 == body.size()) {
        message("Formating Error in ADDTIME: Command. Need More Numbers.");
        continue;
      }
      std::size_t colons = 0;
      for (std::size_t i = plus; i < body.size(); ++i) colons += body[i] == ':' ? 1 : 0;
      if (colons != 2) {
        message("Formating Error in ADDTIME: Command. Need More Or Less Numbers.");
        continue;
      }
      if (body.find_first_not_of(":-0123456789", plus + 1) != std::string::npos) {
        message("Formating Error in ADDTIME: Command. Items other then numbers do not add well..");
        continue;
      }
      const std::size_t c1 = body.find(':', plus + 1);
      const std::size_t c2 = body.find(':', c1 + 1);
      const std::string texts[] = {body.substr(plus + 1, c1 - plus - 1),
                                   body.substr(c1 + 1, c2 - c1 - 1), body.substr(c2 + 1)};
      std::int32_t values[3];
      for (int k = 0; k < 3; ++k) {
        const auto v = fuzzing::ReferenceParse(texts[k]);
        if (!v) {
          fail("EConvertError", "'" + texts[k] + "' is not a valid integer value");
          return e;
        }
        values[k] = *v;
      }
      if (!time) {
        fail("EConvertError", "Invalid argument to time encode");
        return e;
      }
      lines.back() += datetime::RenderDateTime(
          body.substr(0, plus), cli::OffsetTimeOfDay(values[0], values[1], values[2]));
    } else if (p == "'") {
      lines.back() += '"';
    } else if (p.size() == 2 && Lower(p) == "th") {
      if (!date) {
        fail("EConvertError", "Invalid argument to date encode");
        return e;
      }
      const int day = clock.day;
      lines.back() += day == 1 || day == 21 || day == 31 ? "st"
                      : day == 2 || day == 22            ? "nd"
                      : day == 3 || day == 23            ? "rd"
                                                         : "th";
    } else if (StartsWithWord(p, "line:")) {
      lines.push_back(p.substr(5));
    } else {
      lines.back() += p;
    }
  }
  for (const std::string& line : lines) message(line);
  return e;
}

// --- Runs ----------------------------------------------------------------------

struct Run {
  int exitCode;
  std::vector<std::string> writes;
  int writeCalls;
};

Run RunOnce(const std::vector<std::string>& parameters, const SetUp& s, bool faults) {
  testing::ResetFake();
  auto& p = testing::Fake();
  p.arguments = parameters;
  p.clock = s.clock;
  ApplyLocale(p, s);
  p.deviceType = s.device;
  if (!faults && s.device == platform::DeviceType::Unknown)
    p.deviceType = platform::DeviceType::Disk;
  if (faults && s.noHandle) p.stdOutput = platform::kInvalidHandle;
  // A channel that cannot open is its own fault; failed writes are tried on
  // a channel that opens.
  if (faults && !s.noHandle && s.device != platform::DeviceType::Unknown) {
    if (s.failFromWrite > 0) p.failWritesWith = s.failError;
    p.firstFailingWrite = s.failFromWrite;
    p.onlyOneWriteFails = s.singleFailure;
  }
  runtime::ProcessExitCode = 0;
  runtime::PendingIoError = 0;
  static constexpr runtime::Module kModules[] = {
      {runtime::InstallFailureLayer, runtime::RemoveFailureLayer},
      {datetime::LoadFormatSettings, datetime::ReleaseFormatSettings},
      {cli::CreateLineStore, cli::ReleaseLineStore},
  };
  Run run{};
  run.exitCode = runtime::RunProgram(kModules, cli::ProcessArguments);
  // The writes that went through.
  for (std::size_t i = 0; i < p.writes.size(); ++i) {
    if (!p.WriteFails(static_cast<int>(i) + 1)) run.writes.push_back(p.writes[i]);
  }
  run.writeCalls = static_cast<int>(p.writes.size());
  return run;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The report, checked against the class and message it must name. The
// location is free, but must be eight hexadecimal digits.
void CheckReport(const std::string& report, const std::string& cls, const std::string& message) {
  FUZZ_CHECK(report.size() <= 1023);
  const std::string head = "Exception " + cls + " in module clockcast.exe at ";
  std::string full = head + "00000000.\n" + message;
  if (!message.empty() && message.back() != '.') full += ".";
  if (full.size() > 1023) full.resize(1023);
  FUZZ_CHECK(report.size() == full.size());
  for (std::size_t i = 0; i < full.size(); ++i) {
    if (i >= head.size() && i < head.size() + 8) {
      FUZZ_CHECK(IsHexDigit(report[i]));
    } else {
      FUZZ_CHECK(report[i] == full[i]);
    }
  }
}

std::string IoText(int code) {
  switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 101: return "Disk full";
    case 106: return "Invalid numeric input";
    default: return "I/O error " + std::to_string(code);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto fields = fuzzing::SplitFields(data, size);
  SetUp setUp;
  std::size_t first = 0;
  while (first < fields.size() && !fields[first].empty() && fields[first][0] == '#') {
    ReadSetUpField(setUp, fields[first]);
    ++first;
  }
  std::vector<std::string> parameters;
  for (std::size_t i = first; i < fields.size(); ++i) parameters.emplace_back(fields[i]);

  // The reference needs the settings the program will load.
  testing::ResetFake();
  testing::Fake().clock = setUp.clock;
  ApplyLocale(testing::Fake(), setUp);
  datetime::LoadFormatSettings();
  datetime::CompleteFormatSettings();
  const Expected expected = Reference(parameters, setUp.clock);
  datetime::ReleaseFormatSettings();

  // Sound output.
  const Run sound = RunOnce(parameters, setUp, false);
  FUZZ_CHECK(sound.exitCode == (expected.fails ? 1 : 0));
  std::string regular;
  std::size_t regularWrites = sound.writes.size();
  if (expected.fails) {
    FUZZ_CHECK(sound.writes.size() >= 2);
    FUZZ_CHECK(sound.writes.back() == kLineBreak);
    CheckReport(sound.writes[sound.writes.size() - 2], expected.failureClass,
                expected.failureMessage);
    regularWrites -= 2;
  }
  for (std::size_t i = 0; i < regularWrites; ++i) {
    const std::string& w = sound.writes[i];
    FUZZ_CHECK(!w.empty() && w.size() <= 128);
    if (setUp.device != platform::DeviceType::Character && i + 1 < regularWrites) {
      FUZZ_CHECK(w.size() == 128);
    }
    regular += w;
  }
  FUZZ_CHECK(regular == expected.regular);

  const bool faulty = setUp.noHandle || setUp.device == platform::DeviceType::Unknown ||
                      (setUp.failFromWrite > 0 && setUp.failFromWrite <= sound.writeCalls);
  if (!faulty) return 0;

  // Faulty output.
  const Run broken = RunOnce(parameters, setUp, true);
  FUZZ_CHECK(broken.exitCode == 1);
  if (setUp.noHandle || setUp.device == platform::DeviceType::Unknown) {
    // The channel cannot open: nothing of the regular output is written; the
    // report goes straight to the handle when there is one. It names the
    // failed open (105), unless another failure came before the first line.
    if (setUp.noHandle) {
      FUZZ_CHECK(broken.writes.empty());
    } else {
      FUZZ_CHECK(broken.writes.size() == 2);
      if (expected.fails && expected.regular.empty()) {
        CheckReport(broken.writes[0], expected.failureClass, expected.failureMessage);
      } else {
        CheckReport(broken.writes[0], "EInOutError", "I/O error 105");
      }
      FUZZ_CHECK(broken.writes[1] == kLineBreak);
    }
    return 0;
  }
  const auto before = static_cast<std::size_t>(setUp.failFromWrite - 1);
  FUZZ_CHECK(broken.writes.size() >= before);
  for (std::size_t i = 0; i < before; ++i) FUZZ_CHECK(broken.writes[i] == sound.writes[i]);
  const std::size_t after = broken.writes.size() - before;
  if (!setUp.singleFailure) {
    FUZZ_CHECK(after == 0);
    return 0;
  }
  // After a single failed write: a failed regular write inside a line is
  // reported as EInOutError with the text of its error number; one in the
  // write-out before a report leaves that report as it was; one at the final
  // close leaves no report. A failed report write leaves its line break.
  if (before < regularWrites) {
    if (after == 0) {
      FUZZ_CHECK(before + 1 == regularWrites && !expected.fails);
      return 0;
    }
    // Nothing of the line, not even its line break, follows the refused
    // write: only the report and its line break.
    FUZZ_CHECK(after == 2 && broken.writes.back() == kLineBreak);
    const std::string& report = broken.writes[broken.writes.size() - 2];
    if (report.rfind("Exception EInOutError ", 0) == 0) {
      CheckReport(report, "EInOutError", IoText(setUp.failError));
    } else {
      FUZZ_CHECK(expected.fails);
      CheckReport(report, expected.failureClass, expected.failureMessage);
    }
  } else if (before == regularWrites) {
    FUZZ_CHECK(after == 1 && broken.writes.back() == kLineBreak);
  } else {
    FUZZ_CHECK(after == 0);
  }
  return 0;
}
