// Clockcast: prints the current date and time as text shaped by its
// parameters, for scripts that name folders and files after the date.

#include "cli/interpreter.h"
#include "cli/parameters.h"
#include "datetime/settings.h"
#include "platform/platform.h"
#include "runtime/failures.h"
#include "runtime/shutdown.h"

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
