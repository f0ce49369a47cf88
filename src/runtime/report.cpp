#include "runtime/report.h"

#include <cstring>

#include "platform/platform.h"
#include "runtime/message_format.h"
#include "runtime/output.h"
#include "runtime/shutdown.h"

namespace clockcast::runtime {

namespace {

// The executable's file name without its directory.
std::string_view ModuleName(char (&path)[kModulePathSize]) {
  return FileNameOf(path, platform::ModuleFileName(path, kModulePathSize));
}

void WriteToHandle(std::string_view bytes) {
  const platform::Handle handle = platform::StdOutput();
  if (handle == platform::kInvalidHandle) return;
  static_cast<void>(platform::WriteFile(handle, bytes.data(), bytes.size()));
}

}  // namespace

std::string_view FileNameOf(const char* path, int length) {
  if (length <= 0) return {};
  const char* end = path + (length < kModulePathSize ? length : kModulePathSize - 1);
  const char* name = path;
  for (const char* p = path; p < end; p = platform::CharNext(p)) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  return std::string_view(name, static_cast<std::size_t>(end - name));
}

std::size_t BuildFailureReport(const Exception& failure, CodeLocation where, char* out,
                               std::size_t capacity) {
  if (capacity == 0) return 0;
  char path[kModulePathSize];
  const std::string_view message = failure.Message();
  const std::string_view endMark = !message.empty() && message.back() != '.' ? "." : "";
  return FormatInto(
      out, capacity - 1, MessageText(MessageId::kExceptionReport),
      {failure.ClassName(), ModuleName(path), FormatArg::Address(where), message, endMark});
}

void ShowFailure(const Exception& failure, CodeLocation where) {
  char report[1024];
  const std::size_t length = BuildFailureReport(failure, where, report, sizeof report);
  FlushOutput();
  WriteToHandle(std::string_view(report, length));
  WriteToHandle(platform::kLineBreak);
}

void HandleUncaughtFailure(const Exception& failure, CodeLocation where) {
  // The exit code first: a fault while the report is written ends the
  // process with it.
  ProcessExitCode = 1;
  ShowFailure(failure, where);
}

void FormatRuntimeErrorLine(int exitCode, CodeLocation where,
                            char (&line)[kRuntimeErrorLineLength]) {
  std::memcpy(line, "Runtime error     at 00000000", kRuntimeErrorLineLength);
  // The code's last digit stands in column 17, the location's in column 29.
  auto code = static_cast<unsigned>(exitCode);
  int column = 16;
  do {
    line[column--] = static_cast<char>('0' + code % 10);
    code /= 10;
  } while (code != 0 && column >= 0);
  column = 28;
  for (std::uint32_t location = where; location != 0; location >>= 4) {
    line[column--] = "0123456789ABCDEF"[location & 15];
  }
}

void WriteRuntimeErrorLine(int exitCode, CodeLocation where) {
  char line[kRuntimeErrorLineLength];
  FormatRuntimeErrorLine(exitCode, where, line);
  FlushOutput();
  WriteToHandle(std::string_view(line, kRuntimeErrorLineLength));
  WriteToHandle(platform::kLineBreak);
}

}  // namespace clockcast::runtime
