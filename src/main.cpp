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
// aborts at once, without the C++ runtime's note on standard error: standard
// output may be redirected into a script, and the process ends abnormally
// either way.
namespace {
[[noreturn]] void AbortProcess() noexcept {
  std::abort();
}
}  // namespace

int main(int argc, char** argv) {
  using namespace clockcast;
  std::set_terminate(AbortProcess);
  platform::StartUp(argc, argv);
  // Initialised in this order and finalised in reverse; standard output is
  // opened by its first write and written out last of all.
  static constexpr runtime::Module kModules[] = {
#ifdef CLOCKCAST_TEST_CLOCK
      // Test builds only: a platform exception before the failure layer is
      // installed, or after it is removed.
      {[] { platform::TestFault("start"); }, [] { platform::TestFault("end"); }},
#endif
      {runtime::InstallFailureLayer, runtime::RemoveFailureLayer},
      {datetime::LoadFormatSettings, datetime::ReleaseFormatSettings},
      {cli::CreateLineStore, cli::ReleaseLineStore},
  };
  return runtime::RunProgram(kModules, cli::SelectMode);
}
