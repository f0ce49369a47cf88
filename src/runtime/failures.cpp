#include "runtime/failures.h"

#include <cstdlib>
#include <new>
#include <optional>

#include "runtime/lasting.h"
#include "runtime/message_format.h"
#include "runtime/output.h"
#include "runtime/report.h"

namespace clockcast::runtime {

RuntimeFailureHookFn RuntimeFailureHook = nullptr;
UncaughtFailureHookFn UncaughtFailureHook = nullptr;
PlatformFailureHookFn PlatformFailureHook = nullptr;

namespace {

// The two failures made in advance. They exist while the failure layer is
// installed; their texts stay in the table of message texts, so making them
// allocates nothing.
Lasting<std::optional<EOutOfMemory>> outOfMemoryStore;
Lasting<std::optional<EInvalidPointer>> invalidPointerStore;
std::optional<EOutOfMemory>& outOfMemory = *outOfMemoryStore;
std::optional<EInvalidPointer>& invalidPointer = *invalidPointerStore;

// Memory given back just before a failure is thrown; see HoldFailureReserve.
// Larger than the blocks the C library keeps apart by size, so that once
// freed it can serve an allocation of any small size.
constexpr std::size_t kFailureReserveSize = 4096;
void* failureReserve = nullptr;

// Room for one failure object of any class of RuntimeFailureMap.
struct FailureSlot {
  alignas(EExternal) unsigned char bytes[sizeof(EExternal)];
};

constexpr bool FitsSlot(std::size_t size, std::size_t alignment) {
  return size <= sizeof(FailureSlot) && alignment <= alignof(FailureSlot);
}

using MakeFn = Exception& (*)(FailureSlot& slot, LastingText text);

// Makes a failure of the class in the slot. An object the slot held before is
// overwritten, not destroyed: made from a lasting text, it holds nothing.
template <class Failure>
Exception& MakeAs(FailureSlot& slot, LastingText text) {
  static_assert(FitsSlot(sizeof(Failure), alignof(Failure)));
  return *::new (static_cast<void*>(slot.bytes)) Failure(text);
}

// The class and text of each runtime failure, by reason (3 to 24).
struct TExceptRec {
  MakeFn FailureClass;
  MessageId Text;
};
constexpr TExceptRec RuntimeFailureMap[] = {
    {MakeAs<EDivByZero>, MessageId::kDivByZero},                  // 3
    {MakeAs<ERangeError>, MessageId::kRangeError},                // 4
    {MakeAs<EIntOverflow>, MessageId::kIntOverflow},              // 5
    {MakeAs<EInvalidOp>, MessageId::kInvalidOp},                  // 6
    {MakeAs<EZeroDivide>, MessageId::kZeroDivide},                // 7
    {MakeAs<EOverflow>, MessageId::kOverflow},                    // 8
    {MakeAs<EUnderflow>, MessageId::kUnderflow},                  // 9
    {MakeAs<EInvalidCast>, MessageId::kInvalidCast},              // 10
    {MakeAs<EAccessViolation>, MessageId::kAccessViolation},      // 11
    {MakeAs<EPrivilege>, MessageId::kPrivilege},                  // 12
    {MakeAs<EControlC>, MessageId::kControlC},                    // 13
    {MakeAs<EStackOverflow>, MessageId::kStackOverflow},          // 14
    {MakeAs<EVariantError>, MessageId::kInvalidVarCast},          // 15
    {MakeAs<EVariantError>, MessageId::kInvalidVarOp},            // 16
    {MakeAs<EVariantError>, MessageId::kDispatchError},           // 17
    {MakeAs<EVariantError>, MessageId::kVarArrayCreate},          // 18
    {MakeAs<EVariantError>, MessageId::kVarNotArray},             // 19
    {MakeAs<EVariantError>, MessageId::kVarArrayBounds},          // 20
    {MakeAs<EAssertionFailed>, MessageId::kAssertionFailed},      // 21
    {MakeAs<EExternalException>, MessageId::kExternalException},  // 22
    {MakeAs<EIntfCastError>, MessageId::kIntfCastError},          // 23
    {MakeAs<ESafecallException>, MessageId::kSafecallException},  // 24
};

Exception& MakeFromMap(int reason, FailureSlot& slot) {
  const TExceptRec& rec = RuntimeFailureMap[reason - 3];
  return rec.FailureClass(slot, LastingText{MessageText(rec.Text)});
}

// The failure made from a platform exception and its text. They last until
// the process ends, which follows at once.
FailureSlot platformFailure;
// The longest text is the access violation's with a module name of 260
// characters.
char platformText[400];

// The base layer's exit code by reason, 1 to 24.
constexpr std::uint8_t RuntimeErrorCodes[] = {
    203, 204, 200, 201, 215, 207, 200, 205, 206, 219, 216, 218,
    217, 202, 220, 221, 222, 255, 255, 255, 227, 255, 228, 229,
};

struct TErrorRec {
  std::int32_t IoCode;
  MessageId Text;
};
constexpr TErrorRec IoFailureTexts[] = {
    {2, MessageId::kFileNotFound},     {3, MessageId::kInvalidFilename},
    {4, MessageId::kTooManyOpenFiles}, {5, MessageId::kFileAccessDenied},
    {100, MessageId::kEndOfFile},      {101, MessageId::kDiskFull},
    {106, MessageId::kInvalidInput},
};

struct PlatformExceptionRec {
  std::uint32_t code;
  std::uint8_t reason;
  std::uint8_t exitCode;
};
constexpr PlatformExceptionRec PlatformExceptions[] = {
    {0xC0000005, 11, 216},  // STATUS_ACCESS_VIOLATION
    {0xC000008C, 4, 201},   // STATUS_ARRAY_BOUNDS_EXCEEDED
    {0xC000008D, 9, 206},   // STATUS_FLOAT_DENORMAL_OPERAND
    {0xC000008E, 7, 200},   // STATUS_FLOAT_DIVIDE_BY_ZERO
    {0xC000008F, 6, 207},   // STATUS_FLOAT_INEXACT_RESULT
    {0xC0000090, 6, 207},   // STATUS_FLOAT_INVALID_OPERATION
    {0xC0000091, 8, 205},   // STATUS_FLOAT_OVERFLOW
    {0xC0000092, 6, 207},   // STATUS_FLOAT_STACK_CHECK
    {0xC0000093, 9, 206},   // STATUS_FLOAT_UNDERFLOW
    {0xC0000094, 3, 200},   // STATUS_INTEGER_DIVIDE_BY_ZERO
    {0xC0000095, 5, 215},   // STATUS_INTEGER_OVERFLOW
    {0xC0000096, 12, 218},  // STATUS_PRIVILEGED_INSTRUCTION
    {0xC00000FD, 14, 202},  // STATUS_STACK_OVERFLOW
    {0xC000013A, 13, 217},  // STATUS_CONTROL_C_EXIT
};

void RaiseMadeFailure(int reason, CodeLocation where) {
  MakeRuntimeFailure(reason, where);
}

}  // namespace

CodeLocation LocationOf(const std::source_location& where) {
  // FNV-1a over the function name and the line: stable for a site across
  // runs and builds, and spread over the whole 32-bit range.
  std::uint32_t hash = 2166136261u;
  for (const char* p = where.function_name(); *p != '\0'; ++p) {
    hash = (hash ^ static_cast<unsigned char>(*p)) * 16777619u;
  }
  return (hash ^ where.line()) * 16777619u;
}

void RaiseConvertError(MessageId id, std::string_view argument, std::source_location where) {
  RaiseFailure(EConvertError(FormatText(MessageText(id), {argument})), LocationOf(where));
}

void RaiseConvertError(MessageId id, std::source_location where) {
  RaiseFailure(EConvertError(id), LocationOf(where));
}

int RuntimeErrorCode(int reason) {
  reason &= 127;
  if (reason == 0) return PendingIoError & 0xFF;
  if (reason <= 24) return RuntimeErrorCodes[reason - 1];
  return reason;
}

void RaiseRuntimeFailure(int reason, CodeLocation where) {
  reason &= 127;
  if (RuntimeFailureHook != nullptr) RuntimeFailureHook(reason, where);
  const RuntimeErrorEnd end{RuntimeErrorCode(reason), where};
  ReleaseFailureReserve();
  throw end;
}

void RangeCheckFailed(std::source_location where) {
  RaiseRuntimeFailure(static_cast<int>(Reason::kRangeError), LocationOf(where));
}

void OverflowCheckFailed(std::source_location where) {
  RaiseRuntimeFailure(static_cast<int>(Reason::kIntOverflow), LocationOf(where));
}

void CheckIo(std::source_location where) {
  if (PendingIoError != 0) RaiseRuntimeFailure(static_cast<int>(Reason::kInOut), LocationOf(where));
}

EInOutError MakeIoFailure() {
  const std::int32_t code = TakeIoError();
  for (const TErrorRec& row : IoFailureTexts) {
    if (row.IoCode == code) return EInOutError(row.Text, code);
  }
  return EInOutError(FormatText(MessageText(MessageId::kInOutError), {code}), code);
}

void MakeRuntimeFailure(int reason, CodeLocation where) {
  // Exhausted memory is raised as the allocator raises it; the outermost
  // handler answers it with the EOutOfMemory made in advance.
  if (reason == 1) OutOfMemory();
  if (reason == 2 && invalidPointer) RaiseFailure(*invalidPointer, where);
  if (reason >= 3 && reason <= 24) {
    FailureSlot slot;
    Exception& failure = MakeFromMap(reason, slot);
    failure.SetLocation(where);
    ReleaseFailureReserve();
    failure.Raise();
  }
  RaiseFailure(MakeIoFailure(), where);
}

int PlatformReason(std::uint32_t exceptionCode) {
  for (const PlatformExceptionRec& row : PlatformExceptions) {
    if (row.code == exceptionCode) return row.reason;
  }
  return 22;
}

int PlatformExitCode(std::uint32_t exceptionCode) {
  for (const PlatformExceptionRec& row : PlatformExceptions) {
    if (row.code == exceptionCode) return row.exitCode;
  }
  return 255;
}

const Exception& MakePlatformFailure(const platform::ExceptionRecord& record) {
  const int reason = PlatformReason(record.code);
  if (reason == 11) return MakeAccessViolation(record);
  Exception* failure = nullptr;
  if (reason >= 3 && reason <= 21) {
    failure = &MakeFromMap(reason, platformFailure);
  } else {
    const std::size_t length =
        FormatInto(platformText, sizeof platformText, MessageText(MessageId::kExternalException),
                   {static_cast<std::int32_t>(record.code)});
    failure = &MakeAs<EExternalException>(platformFailure,
                                          LastingText{std::string_view(platformText, length)});
  }
  if (auto* external = dynamic_cast<EExternal*>(failure)) external->PlatformRecord = &record;
  return *failure;
}

const EAccessViolation& MakeAccessViolation(const platform::ExceptionRecord& record) {
  const std::string_view access =
      MessageText(record.information[0] == 0 ? MessageId::kReadAccess : MessageId::kWriteAccess);
  const FormatArg fault = FormatArg::Address(static_cast<std::uint32_t>(record.address));
  const FormatArg target = FormatArg::Address(static_cast<std::uint32_t>(record.information[1]));
  char path[kModulePathSize];
  const int pathLength = platform::ModuleFileNameAt(record.address, path, kModulePathSize);
  std::size_t length = 0;
  if (pathLength > 0) {
    // The module's file name ends its path after the last backslash or
    // colon; a colon is never the trail byte of a two-byte character.
    std::string_view file = FileNameOf(path, pathLength);
    file.remove_prefix(file.rfind(':') + 1);
    length =
        FormatInto(platformText, sizeof platformText,
                   MessageText(MessageId::kModuleAccessViolation), {fault, file, access, target});
  } else {
    length = FormatInto(platformText, sizeof platformText, MessageText(MessageId::kAccessViolation),
                        {fault, access, target});
  }
  auto& failure = static_cast<EAccessViolation&>(MakeAs<EAccessViolation>(
      platformFailure, LastingText{std::string_view(platformText, length)}));
  failure.PlatformRecord = &record;
  return failure;
}

void InstallFailureLayer() {
  outOfMemory.emplace(MessageId::kOutOfMemory);
  invalidPointer.emplace(MessageId::kInvalidPointer);
  RuntimeFailureHook = RaiseMadeFailure;
  UncaughtFailureHook = HandleUncaughtFailure;
  PlatformFailureHook = MakePlatformFailure;
}

void RemoveFailureLayer() {
  RuntimeFailureHook = nullptr;
  UncaughtFailureHook = nullptr;
  PlatformFailureHook = nullptr;
  outOfMemory.reset();
  invalidPointer.reset();
}

const EOutOfMemory& OutOfMemoryFailure() {
  if (!outOfMemory) outOfMemory.emplace(MessageId::kOutOfMemory);
  return *outOfMemory;
}

void OutOfMemory() {
  // Raised as the allocator raises it, which is all a new handler may
  // throw; the outermost handler answers it with the EOutOfMemory made in
  // advance, or with the runtime-error line for 203 without the layer.
  ReleaseFailureReserve();
  throw std::bad_alloc();
}

bool HoldFailureReserve() {
  if (failureReserve == nullptr) failureReserve = std::malloc(kFailureReserveSize);
  return failureReserve != nullptr;
}

void ReleaseFailureReserve() {
  std::free(failureReserve);
  failureReserve = nullptr;
}

}  // namespace clockcast::runtime
