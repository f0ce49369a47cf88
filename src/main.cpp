// Clockcast: prints the current date and time as text shaped by its
// parameters, for scripts that name folders and files after the date.

#include "cli/interpreter.h"
#include "cli/parameters.h"
#include "datetime/settings.h"
#include "platform/platform.h"
#include "runtime/failures.h"
#include "runtime/shutdown.h"

#include <cstdlib>
#include <exception>

// Every failure the program raises is caught and reported by RunProgram, so
// nothing reaches std::terminate but a fault in the program itself. It then
// aborts at once. Installing the handler here, in place of the C++ runtime's
// default one, keeps that default out of the executable: it would print the
// escaping exception's type through a name demangler whose tables alone cost
// the dynamic linker some 200 relocations on every run.
namespace {
[[noreturn]] void AbortProcess() noexcept {
  std::abort();
}
}  // namespace

namespace __cxxabiv1 {
std::terminate_handler __terminate_handler = AbortProcess;
}  // namespace __cxxabiv1

int main(int argc, char** argv) {
  using namespace clockcast;
  platform::StartUp(argc, argv);
  // Initialised in this order and finalised in reverse; standard output is
  // opened by its first write and written out last of all.
  static constexpr runtime::Module kModules[] = {
      {runtime::InstallFailureLayer, runtime::RemoveFailureLayer},
      {datetime::LoadFormatSettings, datetime::ReleaseFormatSettings},
      {cli::CreateLineStore, cli::ReleaseLineStore},
  };
  return runtime::RunProgram(kModules, cli::SelectMode);
}
