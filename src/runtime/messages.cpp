#include "runtime/messages.h"

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace clockcast::runtime {

namespace {

// The texts are listed here for the compiler only: kMessages below keeps them
// in one block of bytes with offsets into it, so the program holds no table
// of pointers, which a position-independent executable would have to fix up
// at every start.
struct MessageSource {
  MessageId id;
  std::string_view text;
};

constexpr MessageSource kMessageSources[] = {
    {MessageId::kInvalidInteger, "'%s' is not a valid integer value"},
    {MessageId::kInvalidTimeEncode, "Invalid argument to time encode"},
    {MessageId::kInvalidDateEncode, "Invalid argument to date encode"},
    {MessageId::kOutOfMemory, "Out of memory"},
    {MessageId::kInOutError, "I/O error %d"},
    {MessageId::kFileNotFound, "File not found"},
    {MessageId::kInvalidFilename, "Invalid filename"},
    {MessageId::kTooManyOpenFiles, "Too many open files"},
    {MessageId::kFileAccessDenied, "File access denied"},
    {MessageId::kEndOfFile, "Read beyond end of file"},
    {MessageId::kDiskFull, "Disk full"},
    {MessageId::kInvalidInput, "Invalid numeric input"},
    {MessageId::kDivByZero, "Division by zero"},
    {MessageId::kRangeError, "Range check error"},
    {MessageId::kIntOverflow, "Integer overflow"},
    {MessageId::kInvalidOp, "Invalid floating point operation"},
    {MessageId::kZeroDivide, "Floating point division by zero"},
    {MessageId::kOverflow, "Floating point overflow"},
    {MessageId::kUnderflow, "Floating point underflow"},
    {MessageId::kInvalidPointer, "Invalid pointer operation"},
    {MessageId::kInvalidCast, "Invalid class typecast"},
    {MessageId::kAccessViolation, "Access violation at address %p. %s of address %p"},
    {MessageId::kStackOverflow, "Stack overflow"},
    {MessageId::kControlC, "Control-C hit"},
    {MessageId::kPrivilege, "Privileged instruction"},
    {MessageId::kExceptionReport, "Exception %s in module %s at %p.\n%s%s"},
    {MessageId::kExceptTitle, "Application Error"},
    {MessageId::kReadAccess, "Read"},
    {MessageId::kWriteAccess, "Write"},
    {MessageId::kVarArrayCreate, "Error creating variant array"},
    {MessageId::kVarNotArray, "Variant is not an array"},
    {MessageId::kVarArrayBounds, "Variant array index out of bounds"},
    {MessageId::kExternalException, "External exception %x"},
    {MessageId::kAssertionFailed, "Assertion failed"},
    {MessageId::kIntfCastError, "Interface not supported"},
    {MessageId::kSafecallException, "Exception in safecall method"},
    {MessageId::kAssertError, "%s (%s, line %d)"},
    {MessageId::kAbstractError, "Abstract Error"},
    {MessageId::kModuleAccessViolation,
     "Access violation at address %p in module '%s'. %s of address %p"},
    {MessageId::kInvalidVarCast, "Invalid variant type conversion"},
    {MessageId::kInvalidVarOp, "Invalid variant operation"},
    {MessageId::kDispatchError, "Variant method calls not supported"},
};

constexpr std::size_t kMessageCount = std::size(kMessageSources);

constexpr std::size_t kMessageBytes = [] {
  std::size_t size = 0;
  for (const MessageSource& source : kMessageSources) size += source.text.size();
  return size;
}();
static_assert(kMessageBytes <= UINT16_MAX);

struct MessageEntry {
  MessageId id;
  std::uint16_t offset;
  std::uint16_t size;
};

struct MessageTable {
  MessageEntry entries[kMessageCount];
  char text[kMessageBytes];
};

constexpr MessageTable kMessages = [] {
  MessageTable table{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < kMessageCount; ++i) {
    const MessageSource& source = kMessageSources[i];
    table.entries[i] = {source.id, static_cast<std::uint16_t>(at),
                        static_cast<std::uint16_t>(source.text.size())};
    for (const char c : source.text) table.text[at++] = c;
  }
  return table;
}();

}  // namespace

std::string_view MessageText(MessageId id) {
  for (const MessageEntry& entry : kMessages.entries) {
    if (entry.id == id) return {kMessages.text + entry.offset, entry.size};
  }
  return {};
}

}  // namespace clockcast::runtime
