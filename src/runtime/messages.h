// The program's table of message texts, by message number.
#pragma once

#include <cstdint>
#include <string_view>

namespace clockcast::runtime {

enum class MessageId : std::uint16_t {
  kInvalidInteger = 65520,  // "'%s' is not a valid integer value"
  kInvalidTimeEncode = 65521,
  kInvalidDateEncode = 65522,
  kOutOfMemory = 65523,
  kInOutError = 65524,  // "I/O error %d"
  kFileNotFound = 65525,
  kInvalidFilename = 65526,
  kTooManyOpenFiles = 65527,
  kFileAccessDenied = 65528,
  kEndOfFile = 65529,
  kDiskFull = 65530,
  kInvalidInput = 65531,
  kDivByZero = 65532,
  kRangeError = 65533,
  kIntOverflow = 65534,
  kInvalidOp = 65535,
  kZeroDivide = 65504,
  kOverflow = 65505,
  kUnderflow = 65506,
  kInvalidPointer = 65507,
  kInvalidCast = 65508,
  kAccessViolation = 65509,  // "Access violation at address %p. %s of address %p"
  kStackOverflow = 65510,
  kControlC = 65511,
  kPrivilege = 65512,
  kExceptionReport = 65513,  // "Exception %s in module %s at %p.\n%s%s"
  kExceptTitle = 65514,      // never shown: a console program has no message box
  kReadAccess = 65488,
  kWriteAccess = 65489,
  kVarArrayCreate = 65490,
  kVarNotArray = 65491,
  kVarArrayBounds = 65492,
  kExternalException = 65493,  // "External exception %x"
  kAssertionFailed = 65494,
  kIntfCastError = 65495,
  kSafecallException = 65496,
  kAssertError = 65497,    // never shown: nothing asserts
  kAbstractError = 65498,  // never shown: nothing is abstract
  kModuleAccessViolation = 65499,
  kInvalidVarCast = 65517,
  kInvalidVarOp = 65518,
  kDispatchError = 65519,
};

std::string_view MessageText(MessageId id);

}  // namespace clockcast::runtime
