#include "cli/interpreter.h"

#include "cli/commands.h"
#include "cli/parameters.h"
#include "runtime/checked.h"
#include "runtime/lasting.h"
#include "runtime/output.h"

namespace clockcast::cli {

namespace {
runtime::Lasting<std::vector<std::string>> lineStore;
}  // namespace

std::vector<std::string>& OutputLines = *lineStore;
std::int32_t LineCount = 0;

namespace {

// True when the first characters of the parameter, lower-cased, are the
// command word. A parameter shorter than the word never matches.
bool HasCommandPrefix(std::string_view parameter, std::string_view word) {
  return AsciiLowerEquals(CopyRange(parameter, 1, runtime::LengthOf(word)), word);
}

std::string& CurrentLine() {
  const std::int32_t index = runtime::CheckedSub(LineCount, 1);
  if (index < 0 || static_cast<std::size_t>(index) >= OutputLines.size()) {
    runtime::RangeCheckFailed();
  }
  return OutputLines[static_cast<std::size_t>(index)];
}

void StartNewLine(std::string_view parameter) {
  LineCount = runtime::CheckedAdd(LineCount, 1);
  OutputLines.emplace_back();
  // The rest of the parameter is literal text, never a format.
  AppendToCurrentLine(
      CopyRange(parameter, 6, runtime::CheckedSub(runtime::LengthOf(parameter), 5)));
}

}  // namespace

void CreateLineStore() {
  OutputLines.assign(1, std::string());
  LineCount = 1;
}

void ReleaseLineStore() {
  OutputLines.clear();
  OutputLines.shrink_to_fit();
  LineCount = 0;
}

void AppendToCurrentLine(std::string_view text) {
  CurrentLine().append(text);
}

namespace {

// The command a parameter invokes, tried in a fixed order: the first match
// decides. Each command word starts with its own letter (time: and th share
// theirs, in that order), so the first byte, lower-cased, picks the only
// candidates worth comparing.
enum class Command { kLiteral, kDate, kTime, kTimeOffset, kQuote, kDaySuffix, kNewLine };

Command CommandOf(std::string_view parameter) {
  if (parameter.empty()) return Command::kLiteral;
  switch (parameter[0]) {
    case 'D':
    case 'd':
      if (HasCommandPrefix(parameter, "date:")) return Command::kDate;
      break;
    case 'T':
    case 't':
      if (HasCommandPrefix(parameter, "time:")) return Command::kTime;
      if (parameter.size() == 2 && AsciiLowerEquals(parameter, "th")) return Command::kDaySuffix;
      break;
    case 'A':
    case 'a':
      if (HasCommandPrefix(parameter, "addtime:")) return Command::kTimeOffset;
      break;
    case '\'':
      if (TextsEqual(parameter, "'")) return Command::kQuote;
      break;
    case 'L':
    case 'l':
      if (HasCommandPrefix(parameter, "line:")) return Command::kNewLine;
      break;
    default: break;
  }
  return Command::kLiteral;
}

}  // namespace

void ProcessArguments() {
  const std::int32_t count = ParameterCount();
  for (std::int32_t i = 1; i <= count; i = runtime::CheckedAdd(i, 1)) {
    const std::string_view parameter = ParameterAt(i);
    switch (CommandOf(parameter)) {
      case Command::kDate: RunDateCommand(parameter); break;
      case Command::kTime: RunTimeCommand(parameter); break;
      case Command::kTimeOffset: RunTimeOffsetCommand(parameter); break;
      case Command::kQuote: AppendToCurrentLine("\""); break;
      case Command::kDaySuffix: RunDaySuffixCommand(); break;
      case Command::kNewLine: StartNewLine(parameter); break;
      case Command::kLiteral: AppendToCurrentLine(parameter); break;
    }
  }
  for (const std::string& line : OutputLines) runtime::WriteLine(line);
}

}  // namespace clockcast::cli
