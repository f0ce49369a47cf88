#include "runtime/output.h"

#include <cstring>

#include "runtime/failures.h"

namespace clockcast::runtime {

TextChannel StandardOutput;
std::int32_t PendingIoError = 0;

namespace {

// Hands the buffered bytes to the system and empties the buffer, whether the
// write succeeded or not: after a failed write the bytes are lost.
int WriteOut(TextChannel& channel) {
  if (channel.Used == 0) return 0;
  const int error =
      platform::WriteFile(channel.Handle, channel.Buffer, static_cast<std::size_t>(channel.Used));
  channel.Used = 0;
  return error;
}

// Opens the channel on the process's standard output. On failure the channel
// stays closed, the text of this write is dropped and the code is 105.
bool OpenChannel(TextChannel& channel) {
  channel.Mode = ChannelMode::Output;
  channel.Used = 0;
  channel.Handle = platform::StdOutput();
  if (channel.Handle == platform::kInvalidHandle) {
    channel.Mode = ChannelMode::Closed;
  } else {
    channel.Device = platform::FileType(channel.Handle);
    if (channel.Device == platform::DeviceType::Unknown) {
      platform::CloseHandle(channel.Handle);
      channel.Mode = ChannelMode::Closed;
    }
  }
  if (channel.Mode == ChannelMode::Output) return true;
  PendingIoError = 105;
  return false;
}

// On POSIX, hands over the lines buffered so far when a line of `size`
// bytes would not fit after them, so that no line is split between two
// writes that another process's write could come between. False when that
// write was refused.
bool MakeRoomForLine(TextChannel& channel, std::size_t size) {
  if (!platform::kWholeLineWrites) return true;
  const auto room = static_cast<std::size_t>(TextChannel::kCapacity - channel.Used);
  if (channel.Used == 0 || size <= room) return true;  // bytes buffered: the channel is open
  if (const int error = WriteOut(channel); error != 0) {
    PendingIoError = error;
    return false;
  }
  return true;
}

}  // namespace

void InitOutput() {
  // The first write opens the channel and sets the rest. The buffer's bytes
  // count only below Used: clearing its 4,096 bytes took 1,000 instructions,
  // 0.5% of a whole run.
  StandardOutput.Mode = ChannelMode::Closed;
  StandardOutput.Used = 0;
}

void WriteText(TextChannel& channel, std::string_view text) {
  if (channel.Mode != ChannelMode::Output && !OpenChannel(channel)) return;
  const char* bytes = text.data();
  std::size_t n = text.size();
  for (;;) {
    const auto room = static_cast<std::size_t>(TextChannel::kCapacity - channel.Used);
    if (n < room) {
      if (n != 0) std::memcpy(channel.Buffer + channel.Used, bytes, n);
      channel.Used += static_cast<int>(n);
      return;
    }
    // Fill the buffer exactly and hand it over: the buffer is never left full.
    std::memcpy(channel.Buffer + channel.Used, bytes, room);
    channel.Used = TextChannel::kCapacity;
    bytes += room;
    n -= room;
    if (const int error = WriteOut(channel); error != 0) {
      PendingIoError = error;
      return;
    }
  }
}

void WriteLineEnd(TextChannel& channel) {
  WriteText(channel, platform::kLineBreak);
  if (channel.Mode == ChannelMode::Output && channel.Device == platform::DeviceType::Character) {
    if (const int error = WriteOut(channel); error != 0) PendingIoError = error;
  }
}

void WriteLine(std::string_view text) {
  // After a refused write nothing more goes out before the report: a line
  // break written after the cut would make the line look whole.
  if (MakeRoomForLine(StandardOutput, text.size() + platform::kLineBreak.size())) {
    WriteText(StandardOutput, text);
    if (PendingIoError == 0) WriteLineEnd(StandardOutput);
  }
  CheckIo();
}

std::int32_t TakeIoError() {
  const std::int32_t code = PendingIoError;
  PendingIoError = 0;
  return code;
}

void FlushOutput() {
  if (StandardOutput.Mode != ChannelMode::Output) return;
  if (const int error = WriteOut(StandardOutput); error != 0) PendingIoError = error;
}

bool CloseOutput() {
  if (StandardOutput.Mode != ChannelMode::Output) return true;
  const int error = WriteOut(StandardOutput);
  if (error != 0) PendingIoError = error;
  // The handle belongs to the process and stays open.
  return error == 0;
}

}  // namespace clockcast::runtime
