// The buffered standard output channel: when bytes reach the system, for each
// kind of device, and how failures are kept until the check after a line.
// The fake platform records every write, so the timing is visible write by
// write.

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "platform/platform.h"
#include "runtime/failures.h"
#include "runtime/output.h"

namespace clockcast::runtime {
namespace {

using platform::DeviceType;
using platform::kLineBreak;
using testing::Fake;
using testing::ResetFake;

constexpr std::size_t kBuffer = 128;
const std::size_t kBreak = kLineBreak.size();

class Output : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFake();
    InitOutput();
    PendingIoError = 0;
  }
  void TearDown() override {
    RemoveFailureLayer();
    InitOutput();
    PendingIoError = 0;
  }

  static std::vector<std::size_t> WriteSizes() {
    std::vector<std::size_t> sizes;
    for (const std::string& w : Fake().writes) sizes.push_back(w.size());
    return sizes;
  }
};

using Sizes = std::vector<std::size_t>;

TEST_F(Output, LongLineToConsoleIsWrittenWhenFullThenAtTheLineEnd) {
  Fake().deviceType = DeviceType::Character;
  const std::string line(200, 'a');
  WriteLine(line);
  EXPECT_EQ(WriteSizes(), (Sizes{kBuffer, 200 - kBuffer + kBreak}));
  EXPECT_EQ(Fake().Written(), line + std::string(kLineBreak));
  EXPECT_EQ(PendingIoError, 0);
}

TEST_F(Output, LineThatFillsTheBufferExactlyIsOneWrite) {
  Fake().deviceType = DeviceType::Character;
  const std::string line(kBuffer - kBreak, 'b');
  WriteLine(line);
  // The terminator fills the buffer, which is handed over at once; the line
  // end then finds it empty and makes no further call.
  EXPECT_EQ(WriteSizes(), (Sizes{kBuffer}));
  EXPECT_EQ(Fake().Written(), line + std::string(kLineBreak));
  EXPECT_EQ(StandardOutput.Used, 0);
}

TEST_F(Output, TextThatFillsTheBufferExactlyIsHandedOverAtOnce) {
  Fake().deviceType = DeviceType::Disk;
  WriteText(StandardOutput, std::string(kBuffer, 'c'));
  EXPECT_EQ(WriteSizes(), (Sizes{kBuffer}));
  EXPECT_EQ(StandardOutput.Used, 0);
}

TEST_F(Output, ShortLinesToConsoleAreWrittenLineByLine) {
  Fake().deviceType = DeviceType::Character;
  WriteLine("one");
  WriteLine("");
  WriteLine("three");
  const std::string br(kLineBreak);
  EXPECT_EQ(Fake().writes, (std::vector<std::string>{"one" + br, br, "three" + br}));
}

TEST_F(Output, LinesToFileAreWrittenOnlyWhenTheBufferFills) {
  Fake().deviceType = DeviceType::Disk;
  const std::string line(50, 'd');
  WriteLine(line);
  WriteLine(line);
  EXPECT_TRUE(Fake().writes.empty());
  WriteLine(line);
  EXPECT_EQ(WriteSizes(), (Sizes{kBuffer}));
  EXPECT_TRUE(CloseOutput());
  EXPECT_EQ(WriteSizes(), (Sizes{kBuffer, 3 * (50 + kBreak) - kBuffer}));
  const std::string br(kLineBreak);
  EXPECT_EQ(Fake().Written(), line + br + line + br + line + br);
}

TEST_F(Output, PipeIsBufferedLikeAFile) {
  Fake().deviceType = DeviceType::Pipe;
  WriteLine("short");
  EXPECT_TRUE(Fake().writes.empty());
  EXPECT_TRUE(CloseOutput());
  EXPECT_EQ(Fake().Written(), "short" + std::string(kLineBreak));
}

TEST_F(Output, LongTextIsWrittenInPiecesOfAtMostOneBuffer) {
  Fake().deviceType = DeviceType::Disk;
  WriteText(StandardOutput, std::string(5, 'x'));
  WriteText(StandardOutput, std::string(300, 'y'));
  // 5 + 300 = 305 bytes: two full buffers, 49 bytes kept.
  EXPECT_EQ(WriteSizes(), (Sizes{kBuffer, kBuffer}));
  EXPECT_EQ(StandardOutput.Used, 305 - 2 * static_cast<int>(kBuffer));
  EXPECT_TRUE(CloseOutput());
  EXPECT_EQ(WriteSizes(), (Sizes{kBuffer, kBuffer, 49}));
  EXPECT_EQ(Fake().Written(), std::string(5, 'x') + std::string(300, 'y'));
}

TEST_F(Output, EmptyLineIsOnlyTheTerminator) {
  Fake().deviceType = DeviceType::Character;
  WriteLine("");
  EXPECT_EQ(Fake().writes, (std::vector<std::string>{std::string(kLineBreak)}));
}

TEST_F(Output, ZeroAndHighBytesAreWrittenUnchanged) {
  Fake().deviceType = DeviceType::Character;
  const std::string text("a\0b\x80\xFF\r\n", 7);
  WriteLine(text);
  EXPECT_EQ(Fake().Written(), text + std::string(kLineBreak));
}

TEST_F(Output, NothingWrittenNeverOpensTheChannel) {
  Fake().stdOutput = platform::kInvalidHandle;  // an open attempt would fail
  FlushOutput();
  EXPECT_TRUE(CloseOutput());
  EXPECT_EQ(PendingIoError, 0);
  EXPECT_TRUE(Fake().writes.empty());
  EXPECT_EQ(StandardOutput.Mode, ChannelMode::Closed);
}

TEST_F(Output, InvalidHandleStoresCode105AndDropsTheText) {
  Fake().stdOutput = platform::kInvalidHandle;
  WriteText(StandardOutput, "lost");
  EXPECT_EQ(PendingIoError, 105);
  EXPECT_EQ(StandardOutput.Mode, ChannelMode::Closed);
  EXPECT_TRUE(Fake().writes.empty());
}

TEST_F(Output, UnknownDeviceIsClosedAndStoresCode105) {
  Fake().deviceType = DeviceType::Unknown;
  WriteText(StandardOutput, "lost");
  EXPECT_EQ(PendingIoError, 105);
  EXPECT_EQ(StandardOutput.Mode, ChannelMode::Closed);
  EXPECT_EQ(Fake().closedHandles, 1);
  EXPECT_TRUE(Fake().writes.empty());
}

TEST_F(Output, FailedOpenIsTriedAgainOnTheNextWrite) {
  Fake().deviceType = DeviceType::Unknown;
  WriteText(StandardOutput, "lost");
  EXPECT_EQ(TakeIoError(), 105);
  Fake().deviceType = DeviceType::Character;
  WriteLine("kept");
  EXPECT_EQ(PendingIoError, 0);
  EXPECT_EQ(Fake().Written(), "kept" + std::string(kLineBreak));
}

TEST_F(Output, UnusableOutputRaisesIoError105AtTheLineCheck) {
  InstallFailureLayer();
  Fake().stdOutput = platform::kInvalidHandle;
  try {
    WriteLine("x");
    ADD_FAILURE() << "WriteLine returned";
  } catch (const EInOutError& failure) {
    EXPECT_EQ(failure.ClassName(), "EInOutError");
    EXPECT_EQ(failure.IoCode, 105);
    EXPECT_EQ(failure.Message(), "I/O error 105");
  }
  // Taking the code for the failure resets it.
  EXPECT_EQ(PendingIoError, 0);
  EXPECT_TRUE(Fake().writes.empty());
}

TEST_F(Output, WithoutTheFailureLayerTheCheckEndsWithTheCodeAsRuntimeError) {
  Fake().stdOutput = platform::kInvalidHandle;
  try {
    WriteLine("x");
    ADD_FAILURE() << "WriteLine returned";
  } catch (const RuntimeErrorEnd& end) {
    EXPECT_EQ(end.exitCode, 105);
  }
}

TEST_F(Output, CheckIoDoesNothingWithoutAPendingCode) {
  InstallFailureLayer();
  EXPECT_NO_THROW(CheckIo());
}

TEST_F(Output, TakeIoErrorReturnsAndClearsTheCode) {
  PendingIoError = 32;
  EXPECT_EQ(TakeIoError(), 32);
  EXPECT_EQ(PendingIoError, 0);
  EXPECT_EQ(TakeIoError(), 0);
}

TEST_F(Output, FailedWriteStoresTheCodeEmptiesTheBufferAndDropsTheRest) {
  Fake().deviceType = DeviceType::Disk;
  Fake().failWritesWith = 28;
  WriteText(StandardOutput, std::string(300, 'e'));
  // One attempt with the first full buffer; the rest of the text is dropped.
  EXPECT_EQ(WriteSizes(), (Sizes{kBuffer}));
  EXPECT_EQ(PendingIoError, 28);
  EXPECT_EQ(StandardOutput.Used, 0);
  EXPECT_EQ(StandardOutput.Mode, ChannelMode::Output);
}

TEST_F(Output, FailedWriteAtTheLineEndOfAConsoleIsRaisedAfterTheLine) {
  InstallFailureLayer();
  Fake().deviceType = DeviceType::Character;
  Fake().failWritesWith = 5;
  try {
    WriteLine("x");
    ADD_FAILURE() << "WriteLine returned";
  } catch (const EInOutError& failure) {
    EXPECT_EQ(failure.IoCode, 5);
    EXPECT_EQ(failure.Message(), "File access denied");
  }
  EXPECT_EQ(StandardOutput.Used, 0);
  // The channel stays open; the next line is tried again.
  Fake().failWritesWith = 0;
  WriteLine("y");
  EXPECT_EQ(Fake().writes.back(), "y" + std::string(kLineBreak));
}

TEST_F(Output, FlushWritesOutWhateverTheDevice) {
  Fake().deviceType = DeviceType::Disk;
  WriteLine("pending");
  EXPECT_TRUE(Fake().writes.empty());
  FlushOutput();
  EXPECT_EQ(Fake().Written(), "pending" + std::string(kLineBreak));
  // An empty buffer makes no call.
  FlushOutput();
  EXPECT_EQ(Fake().writes.size(), 1u);
}

TEST_F(Output, FlushStoresAFailure) {
  Fake().deviceType = DeviceType::Disk;
  WriteLine("pending");
  Fake().failWritesWith = 32;
  FlushOutput();
  EXPECT_EQ(PendingIoError, 32);
  EXPECT_EQ(StandardOutput.Used, 0);
}

TEST_F(Output, CloseWritesTheRestAndKeepsTheHandleOpen) {
  Fake().deviceType = DeviceType::Disk;
  WriteLine("rest");
  EXPECT_TRUE(CloseOutput());
  EXPECT_EQ(Fake().Written(), "rest" + std::string(kLineBreak));
  EXPECT_EQ(Fake().closedHandles, 0);
  EXPECT_EQ(PendingIoError, 0);
}

TEST_F(Output, CloseWithEmptyBufferMakesNoCall) {
  Fake().deviceType = DeviceType::Character;
  WriteLine("gone");
  ASSERT_EQ(Fake().writes.size(), 1u);
  EXPECT_TRUE(CloseOutput());
  EXPECT_EQ(Fake().writes.size(), 1u);
}

TEST_F(Output, FailingCloseReturnsFalse) {
  Fake().deviceType = DeviceType::Disk;
  WriteLine("rest");
  Fake().failWritesWith = 28;
  EXPECT_FALSE(CloseOutput());
  EXPECT_EQ(PendingIoError, 28);
  EXPECT_EQ(Fake().writes.size(), 1u);
}

}  // namespace
}  // namespace clockcast::runtime
