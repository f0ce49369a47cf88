#include "runtime/shutdown.h"

#include <new>
#include <optional>

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

}  // namespace

int RunProgram(std::span<const Module> modules, void (*program)()) {
  InitOutput();
  // From here on an allocation that fails raises the out-of-memory failure.
  // When not even the reserve for raising it can be had, nothing has run
  // yet: the base layer ends the run at once.
  std::set_new_handler(OutOfMemory);
  if (!HoldFailureReserve()) {
    ProcessExitCode = RuntimeErrorCode(static_cast<int>(Reason::kOutOfMemory));
    WriteRuntimeErrorLine(ProcessExitCode, LocationOf(std::source_location::current()));
    return ProcessExitCode;
  }
  std::size_t initialised = 0;
  std::optional<PendingRuntimeError> runtimeError;

  // Finalises the initialised modules in reverse order. A failure raised by a
  // finalisation goes on with the rest and then to the outermost handler.
  auto finalize = [&] {
    while (initialised > 0) {
      try {
        --initialised;
        if (modules[initialised].finalize != nullptr) modules[initialised].finalize();
      } catch (...) {
        if (auto end = OutermostHandler(); end && !runtimeError) runtimeError = end;
      }
    }
  };

  try {
    for (const Module& module : modules) {
      ++initialised;
      if (module.initialize != nullptr) module.initialize();
    }
  } catch (...) {
    // A failure during start-up takes the failure layer down with the other
    // modules before it reaches the outermost handler.
    finalize();
    runtimeError = OutermostHandler();
  }

  if (initialised == modules.size()) {
    try {
      program();
    } catch (...) {
      runtimeError = OutermostHandler();
    }
  }

  finalize();
  ReleaseFailureReserve();
  if (runtimeError) {
    ProcessExitCode = runtimeError->exitCode;
    WriteRuntimeErrorLine(runtimeError->exitCode, runtimeError->location);
  }
  if (!CloseOutput() && ProcessExitCode == 0) ProcessExitCode = 1;
  return ProcessExitCode;
}

}  // namespace clockcast::runtime
