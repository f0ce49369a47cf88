// Buffered console text output.
//
// Every byte of the regular output goes through one channel, StandardOutput,
// which holds up to platform::kOutputCapacity bytes (4,096 on POSIX, 128 on
// Windows) and opens itself on the first write. The device type found at
// open decides when bytes reach the system: a character device (a console)
// gets them at every line end and whenever the buffer fills; a file or a
// pipe only when the buffer fills and when the channel is flushed or closed.
// On POSIX a line that does not fit in what the buffer has left first sends
// the lines before it on their way, so that every write carries whole lines
// (but for a line longer than the buffer). Output failures are not raised
// where they happen: the failing step stores a code in PendingIoError, and
// CheckIo after each line raises it.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace clockcast::runtime {

enum class ChannelMode : std::uint16_t {
  Closed = 0xD7B0,
  Input = 0xD7B1,
  Output = 0xD7B2,
  Append = 0xD7B3,
};

struct TextChannel {
  static constexpr int kCapacity = platform::kOutputCapacity;

  platform::Handle Handle = platform::kInvalidHandle;
  ChannelMode Mode = ChannelMode::Closed;
  // The device type chosen at open stands in for the after-line action: only
  // a character device writes out at the end of every line.
  platform::DeviceType Device = platform::DeviceType::Unknown;
  int Used = 0;
  char Buffer[kCapacity] = {};
};

extern TextChannel StandardOutput;
extern std::int32_t PendingIoError;

// Marks the channel closed until its first write (start-up).
void InitOutput();

void WriteText(TextChannel& channel, std::string_view text);
void WriteLineEnd(TextChannel& channel);
// The program's one output operation: the text, the line terminator, then
// CheckIo. When a write is refused, nothing more of the line is written.
void WriteLine(std::string_view text);

std::int32_t TakeIoError();
// Writes out what the channel buffers, whatever the device (before a failure
// report). A closed channel is left alone.
void FlushOutput();
// The final write-out at shutdown. Returns false when it failed, so that lost
// output never ends the program with success.
bool CloseOutput();

}  // namespace clockcast::runtime
