// Failure objects and how they are raised.
//
// A failure is an object of a named class derived from Exception, carrying a
// message text and the code location where it was raised. The class names
// are visible output: the failure report prints them. Nothing in the program
// catches a failure; every one travels to the outermost handler in
// shutdown.cpp, which reports it and ends the program with exit code 1.
//
// Runtime failures are numbered by a reason (0 to 24). While the failure
// layer is installed, a reason becomes an object of the class that
// RuntimeFailureMap names; without it, the base layer ends the program with
// the runtime-error line and the reason's error code.
#pragma once

#include <cstdint>
#include <source_location>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "runtime/messages.h"

namespace clockcast::runtime {

// An opaque code location, printed as eight hexadecimal digits. It is derived
// from the raising site, so the same site always prints the same value.
using CodeLocation = std::uint32_t;
CodeLocation LocationOf(const std::source_location& where);

// A message text that lasts as long as the process: the table of message
// texts, or a fixed buffer filled once on the way out.
struct LastingText {
  std::string_view text;
};

class Exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  // A lasting message is held by reference: making such a failure, or copying
  // it, allocates nothing.
  explicit Exception(LastingText text) : fixedMessage_(text.text) {}
  explicit Exception(MessageId id) : Exception(LastingText{MessageText(id)}) {}
  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;
  virtual ~Exception() = default;

  virtual std::string_view ClassName() const { return "Exception"; }
  // Throws a copy of the failure as its own class.
  [[noreturn]] virtual void Raise() const { throw *this; }
  std::string_view Message() const {
    return fixedMessage_.data() != nullptr ? fixedMessage_ : std::string_view(message_);
  }
  CodeLocation Location() const { return location_; }
  void SetLocation(CodeLocation where) { location_ = where; }

 private:
  std::string message_;
  std::string_view fixedMessage_;
  CodeLocation location_ = 0;
};

#define CLOCKCAST_FAILURE_CLASS(Name, Parent)                     \
  class Name : public Parent {                                    \
   public:                                                        \
    using Parent::Parent;                                         \
    std::string_view ClassName() const override { return #Name; } \
    [[noreturn]] void Raise() const override { throw *this; }     \
  }

// The whole class tree. The classes marked "never raised here" keep it
// complete; nothing in this program raises them.
CLOCKCAST_FAILURE_CLASS(EHeapException, Exception);
CLOCKCAST_FAILURE_CLASS(EOutOfMemory, EHeapException);
CLOCKCAST_FAILURE_CLASS(EInvalidPointer, EHeapException);  // made, never raised here

class EInOutError : public Exception {
 public:
  EInOutError(std::string message, std::int32_t code)
      : Exception(std::move(message)), IoCode(code) {}
  EInOutError(MessageId id, std::int32_t code) : Exception(id), IoCode(code) {}
  std::string_view ClassName() const override { return "EInOutError"; }
  [[noreturn]] void Raise() const override { throw *this; }
  std::int32_t IoCode;
};

class EExternal : public Exception {
 public:
  using Exception::Exception;
  std::string_view ClassName() const override { return "EExternal"; }
  [[noreturn]] void Raise() const override { throw *this; }
  // The platform exception the failure was made from, if any.
  const platform::ExceptionRecord* PlatformRecord = nullptr;
};
CLOCKCAST_FAILURE_CLASS(EExternalException, EExternal);
CLOCKCAST_FAILURE_CLASS(EIntError, EExternal);
CLOCKCAST_FAILURE_CLASS(EDivByZero, EIntError);
CLOCKCAST_FAILURE_CLASS(ERangeError, EIntError);
CLOCKCAST_FAILURE_CLASS(EIntOverflow, EIntError);
CLOCKCAST_FAILURE_CLASS(EMathError, EExternal);
CLOCKCAST_FAILURE_CLASS(EInvalidOp, EMathError);
CLOCKCAST_FAILURE_CLASS(EZeroDivide, EMathError);
CLOCKCAST_FAILURE_CLASS(EOverflow, EMathError);
CLOCKCAST_FAILURE_CLASS(EUnderflow, EMathError);
CLOCKCAST_FAILURE_CLASS(EInvalidCast, Exception);  // never raised here
CLOCKCAST_FAILURE_CLASS(EAccessViolation, EExternal);
CLOCKCAST_FAILURE_CLASS(EPrivilege, EExternal);
CLOCKCAST_FAILURE_CLASS(EControlC, EExternal);
CLOCKCAST_FAILURE_CLASS(EStackOverflow, EExternal);
CLOCKCAST_FAILURE_CLASS(EVariantError, Exception);       // never raised here
CLOCKCAST_FAILURE_CLASS(EAssertionFailed, Exception);    // never raised here
CLOCKCAST_FAILURE_CLASS(EIntfCastError, Exception);      // never raised here
CLOCKCAST_FAILURE_CLASS(ESafecallException, Exception);  // never raised here
CLOCKCAST_FAILURE_CLASS(EConvertError, Exception);
CLOCKCAST_FAILURE_CLASS(EAbstractError, Exception);  // never raised here

#undef CLOCKCAST_FAILURE_CLASS

// Memory held back from the start of the run so that a failure can still be
// raised when the heap is exhausted. Raising needs memory of its own (the C++
// runtime allocates every thrown object, and its emergency pool may be empty
// when the process started short of memory), and a failure always ends the
// program, so the reserve is given back just before the throw. False when
// the reserve itself cannot be had.
bool HoldFailureReserve();
void ReleaseFailureReserve();

// Raises a failure object at the given location.
template <class Failure>
[[noreturn]] void RaiseFailure(Failure failure, CodeLocation where) {
  failure.SetLocation(where);
  ReleaseFailureReserve();
  throw failure;
}

// Raises EConvertError with the message text of the given number, its %s
// replaced by the argument, verbatim.
[[noreturn]] void RaiseConvertError(MessageId id, std::string_view argument,
                                    std::source_location where = std::source_location::current());
[[noreturn]] void RaiseConvertError(MessageId id,
                                    std::source_location where = std::source_location::current());

// The numbered runtime failures behind the checks of the program's own logic.
enum class Reason : std::uint8_t {
  kInOut = 0,
  kOutOfMemory = 1,
  kInvalidPointer = 2,
  kRangeError = 4,
  kIntOverflow = 5,
};
[[noreturn]] void RaiseRuntimeFailure(int reason, CodeLocation where);
[[noreturn]] void RangeCheckFailed(std::source_location where = std::source_location::current());
[[noreturn]] void OverflowCheckFailed(std::source_location where = std::source_location::current());
// Raises the pending output failure, if there is one (reason 0).
void CheckIo(std::source_location where = std::source_location::current());

// The runtime failure for a reason, as the failure layer makes it: reasons 3
// to 24 from RuntimeFailureMap, 0 and anything above 24 as an EInOutError
// built from the pending I/O code. Raises it; never returns.
[[noreturn]] void MakeRuntimeFailure(int reason, CodeLocation where);
// Takes the pending I/O code and builds its EInOutError.
EInOutError MakeIoFailure();
// The base layer's exit code for a reason when no failure layer is installed.
int RuntimeErrorCode(int reason);
// The reason for a platform exception code (22 for any code not listed), and
// the exit code the base layer uses for it.
int PlatformReason(std::uint32_t exceptionCode);
int PlatformExitCode(std::uint32_t exceptionCode);
// The failure for a platform exception: the class and text of its reason, an
// EAccessViolation from MakeAccessViolation, or an EExternalException with
// the code. It is made in storage that lasts until the process ends, and
// making it allocates nothing: it is made on the way out of a process whose
// heap may be what failed.
const Exception& MakePlatformFailure(const platform::ExceptionRecord& record);
// "Access violation at address <fault> in module '<file>'. Read|Write of
// address <target>", without the module part when the fault address lies in
// no module.
const EAccessViolation& MakeAccessViolation(const platform::ExceptionRecord& record);

// The failure layer: installed during start-up, removed during shutdown.
using RuntimeFailureHookFn = void (*)(int reason, CodeLocation where);
extern RuntimeFailureHookFn RuntimeFailureHook;
using UncaughtFailureHookFn = void (*)(const Exception& failure, CodeLocation where);
extern UncaughtFailureHookFn UncaughtFailureHook;
using PlatformFailureHookFn = const Exception& (*)(const platform::ExceptionRecord& record);
extern PlatformFailureHookFn PlatformFailureHook;
void InstallFailureLayer();
void RemoveFailureLayer();
// The EOutOfMemory made in advance, so that reporting memory exhaustion needs
// no memory.
const EOutOfMemory& OutOfMemoryFailure();
// The handler of a failed allocation (std::set_new_handler): raises the
// out-of-memory failure, reason 1. Anything else that runs out of memory
// calls it too.
[[noreturn]] void OutOfMemory();

// Thrown to end the program through the base layer: the runtime-error line
// with this exit code. Not a failure object.
struct RuntimeErrorEnd {
  int exitCode;
  CodeLocation location;
};

}  // namespace clockcast::runtime
