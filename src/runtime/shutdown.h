// Start-up and shutdown: the one path by which every run ends.
//
// Modules are initialised in order, each counted before its initialisation
// runs, and finalised in reverse order, each at most once. The program body
// runs inside the outermost handler: a failure that nothing handles is
// reported (exit code 1) while the failure layer is installed, and ends with
// the runtime-error line otherwise. Standard output is written out last; if
// that final write-out fails, the run cannot have succeeded and the exit code
// becomes 1.
#pragma once

#include <cstdint>
#include <span>

namespace clockcast::runtime {

struct Module {
  void (*initialize)();
  void (*finalize)();
};

extern std::int32_t ProcessExitCode;

// Runs the start-up, the program and the shutdown; returns the exit code.
int RunProgram(std::span<const Module> modules, void (*program)());

}  // namespace clockcast::runtime
