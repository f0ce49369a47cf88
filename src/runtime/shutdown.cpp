#include "runtime/shutdown.h"

#include <new>
#include <optional>

#include "platform/platform.h"
#include "runtime/failures.h"
#include "runtime/output.h"
#include "runtime/report.h"

namespace clockcast::runtime {

std::int32_t ProcessExitCode = 0;

namespace {

struct PendingRuntimeError {
  int exitCode;
  CodeLocation location;
};

// The run in progress: its modules, how many of them are initialised, the
// runtime-error line still to write, and whether a platform exception is
// already being answered.
std::span<const Module> programModules;
std::size_t initialised = 0;
std::optional<PendingRuntimeError> runtimeError;
bool answeringPlatformException = false;

// Turns whatever escaped into its report or its runtime-error line. Called
// from inside a catch block, so the escaped object can be rethrown.
std::optional<PendingRuntimeError> OutermostHandler() {
  try {
    throw;
  } catch (const Exception& failure) {
    if (UncaughtFailureHook == nullptr) return PendingRuntimeError{217, failure.Location()};
    UncaughtFailureHook(failure, failure.Location());
  } catch (const std::bad_alloc&) {
    // Location 0: memory ran out inside the allocator, called from anywhere;
    // which of the program's calls asked would take a walk of the stack.
    if (UncaughtFailureHook == nullptr) return PendingRuntimeError{RuntimeErrorCode(1), 0};
    UncaughtFailureHook(OutOfMemoryFailure(), 0);
  } catch (const RuntimeErrorEnd& end) {
    return PendingRuntimeError{end.exitCode, end.location};
  } catch (...) {
    // Nothing but the designed failures is ever raised; anything else has
    // no class to report and ends like a failure without the layer.
    return PendingRuntimeError{217, 0};
  }
  return std::nullopt;
}

void KeepFirst(std::optional<PendingRuntimeError> end) {
  if (end && !runtimeError) runtimeError = end;
}

// Finalises the initialised modules in reverse order, each at most once: the
// count goes down before a finalisation runs. A failure raised by one goes
// to the outermost handler, and the rest are finalised all the same.
void FinalizeModules() {
  while (initialised > 0) {
    try {
      --initialised;
      if (programModules[initialised].finalize != nullptr) programModules[initialised].finalize();
    } catch (...) {
      KeepFirst(OutermostHandler());
    }
  }
}

// The end of every run: the modules still initialised are finalised, the
// runtime-error line is written if one is pending, standard output is
// written out, and the outermost handler is removed. Returns the exit code.
int ShutDown() {
  FinalizeModules();
  ReleaseFailureReserve();
  if (runtimeError) {
    ProcessExitCode = runtimeError->exitCode;
    WriteRuntimeErrorLine(runtimeError->exitCode, runtimeError->location);
    runtimeError.reset();
  }
  if (!CloseOutput() && ProcessExitCode == 0) ProcessExitCode = 1;
  platform::ReleaseExceptions();
  return ProcessExitCode;
}

// The outermost handler's answer to a platform exception. It runs where the
// exception happened, inside the platform's exception dispatch, and cannot
// unwind to RunProgram; so it reports and shuts down in place, and the
// platform ends the process with the code it returns. The clean-up scopes it
// passes over only release memory, which the process gives back as it ends.
int AnswerPlatformException(const platform::ExceptionRecord& record) {
  // A fault while the answer is under way ends the process at once.
  if (answeringPlatformException) return ProcessExitCode;
  answeringPlatformException = true;
  // The location is the address of the instruction that failed.
  const auto where = static_cast<CodeLocation>(record.address);
  if (PlatformFailureHook != nullptr && UncaughtFailureHook != nullptr) {
    UncaughtFailureHook(PlatformFailureHook(record), where);
  } else {
    // The runtime-error line: the exception's own code without the failure
    // layer. The exit code is set now, for a fault in the shutdown below.
    const int code = PlatformFailureHook == nullptr ? PlatformExitCode(record.code) : 217;
    KeepFirst(PendingRuntimeError{code, where});
    ProcessExitCode = runtimeError->exitCode;
  }
  return ShutDown();
}

}  // namespace

int RunProgram(std::span<const Module> modules, void (*program)()) {
  programModules = modules;
  initialised = 0;
  runtimeError.reset();
  answeringPlatformException = false;
  platform::CatchExceptions(AnswerPlatformException);
  InitOutput();
  // From here on an allocation that fails raises the out-of-memory failure.
  // When not even the reserve for raising it can be had, nothing has run
  // yet: the base layer ends the run at once.
  std::set_new_handler(OutOfMemory);
  if (!HoldFailureReserve()) {
    runtimeError = PendingRuntimeError{RuntimeErrorCode(static_cast<int>(Reason::kOutOfMemory)),
                                       LocationOf(std::source_location::current())};
    return ShutDown();
  }

  try {
    for (const Module& module : modules) {
      ++initialised;
      if (module.initialize != nullptr) module.initialize();
    }
  } catch (...) {
    // A failure during start-up takes the failure layer down with the other
    // modules before it reaches the outermost handler.
    FinalizeModules();
    runtimeError = OutermostHandler();
  }

  if (initialised == modules.size()) {
    try {
      program();
    } catch (...) {
      runtimeError = OutermostHandler();
    }
  }
  return ShutDown();
}

}  // namespace clockcast::runtime
