// The standard output channel: when bytes reach the system on each kind of
// device, and how a failure is kept until the check after the line.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "runtime/failures.h"
#include "runtime/output.h"

namespace clockcast::runtime {
namespace {

using platform::DeviceType;
using testing::Fake;

constexpr DeviceType kConsole = DeviceType::Character, kFile = DeviceType::Disk;
constexpr platform::Handle kNoHandle = platform::kInvalidHandle;

TEST(Output, WritesStepByStep) {
  // Steps: n > 0 a line of n bytes with its terminator, 0 FlushOutput, -1
  // CloseOutput, -2 a full buffer of text and then a line end. Per step: the size of each write,
  // "!" and the message of a raised failure, "x" for a failed close, ";"; at the end "p" and the
  // code left pending, if any.
  const struct {
    DeviceType device;
    int failWith;
    std::vector<int> steps;
    std::string trace;
    platform::Handle handle = 1;
    bool onlyTheFirstFails = false;  // else every write fails
  } rows[] = {
      {kConsole, 0, {200, -1}, "128,72;;"},  // when full, then at the line end
      {kConsole, 0, {128, -1}, "128;;"},     // a full buffer is handed over at once
      {kFile, 0, {128, 1, -1}, "128;;1;"},
      {kConsole, 0, {4, 1, 6}, "4;1;6;"},
      {kFile, 0, {50, 50, 50, -1}, ";;128;22;"},  // only when full and at close
      {DeviceType::Pipe, 0, {6, -1}, ";6;"},
      {kFile, 0, {300, -1}, "128,128;44;"},
      {kFile, 0, {8, 0, 0}, ";8;;"},  // flushed whatever the device
      // Unusable: code 105, the text dropped, the open tried again next time.
      {DeviceType::Unknown, 0, {5, 5}, "!I/O error 105;!I/O error 105;"},
      {kConsole, 0, {5, 0, -1}, "!I/O error 105;;;", kNoHandle},
      {kConsole, 0, {0, -1}, ";;", kNoHandle},  // never written, never opened
      // A failed write empties the buffer and drops the rest of the text,
      // and nothing of the line follows it, not even its line break.
      {kFile, 28, {300, -1}, "128!I/O error 28;;"},
      {kConsole, 28, {200, 4}, "128!I/O error 28;4;", 1, true},
      // The line break itself fills the buffer and is refused; the after-line
      // step then finds nothing to write, and the code is kept.
      {kConsole, 28, {128, -1}, "128!I/O error 28;;", 1, true},
      // On a console a line end written after a refused full buffer keeps
      // the refused write's code for the check.
      {kConsole, 28, {-2}, "128,1;p28", 1, true},
      {kConsole, 5, {1, 1}, "1!File access denied;1!File access denied;"},
      {kFile, 32, {8, 0}, ";8;p32"},
      {kFile, 28, {5, -1}, ";5x;p28"},
  };
  InstallFailureLayer();
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.steps));
    testing::ResetFake();
    Fake().deviceType = row.device;
    Fake().failWritesWith = row.failWith;
    Fake().onlyOneWriteFails = row.onlyTheFirstFails;
    Fake().stdOutput = row.handle;
    InitOutput();
    PendingIoError = 0;
    std::string trace;
    std::size_t seen = 0;
    for (const int step : row.steps) {
      std::string note;
      try {
        if (step > 0) WriteLine(std::string(step - platform::kLineBreak.size(), 'a'));
        if (step == 0) FlushOutput();
        if (step == -1 && !CloseOutput()) note += 'x';
        if (step == -2) {
          WriteText(StandardOutput, std::string(TextChannel::kCapacity, 'a'));
          WriteLineEnd(StandardOutput);
        }
      } catch (const EInOutError& failure) {
        note = "!";
        note += failure.Message();
      }
      for (const char* comma = ""; seen < Fake().writes.size(); ++seen, comma = ",") {
        trace.append(comma).append(std::to_string(Fake().writes[seen].size()));
      }
      trace += note + ";";
    }
    if (PendingIoError != 0) trace.append("p").append(std::to_string(TakeIoError()));
    EXPECT_EQ(trace, row.trace);
    EXPECT_EQ(Fake().closedHandles > 0, row.device == DeviceType::Unknown);
  }
  RemoveFailureLayer();
  // The bytes themselves pass unchanged.
  testing::ResetFake();
  InitOutput();
  WriteText(StandardOutput, std::string("a\0\x80\xFF\r\n", 6));
  EXPECT_TRUE(CloseOutput());
  EXPECT_EQ(Fake().Written(), std::string("a\0\x80\xFF\r\n", 6));
}

}  // namespace
}  // namespace clockcast::runtime
