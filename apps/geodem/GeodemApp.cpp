#include "apps/geodem/GeodemApp.h"

#include "apps/geodem/CommandLine.h"
#include "apps/geodem/Console.h"
#include "apps/geodem/convert/ConvertCommand.h"
#include "apps/geodem/info/InfoCommand.h"
#include "apps/geodem/registration/ModuleRegistration.h"
#include "apps/geodem/batch/BatchCommand.h"
#include "apps/geodem/check/CheckCommand.h"
#include "apps/geodem/sheets/SheetsCommand.h"

int GeodemApp::Run(int argc, const char* const* argv) {
  CommandLine line;
  line.Parse(argc, argv, out_, err_);
  switch (line.action()) {
    case CommandLine::Action::kConvert: {
      Console console(err_, line.options().quiet);
      return ConvertCommand(line.options(), console).Run();
    }
    case CommandLine::Action::kBatch: {
      Console console(err_);
      return BatchCommand(line.batchOptions(), console, out_).Run();
    }
    case CommandLine::Action::kSheets: {
      Console console(err_, line.sheetsOptions().batch.quiet);
      return SheetsCommand(line.sheetsOptions(), console, out_).Run();
    }
    case CommandLine::Action::kInfo: {
      Console console(err_);
      return InfoCommand(line.infoOptions(), out_, console).Run();
    }
    case CommandLine::Action::kCheck: {
      Console console(err_);
      return CheckCommand(line.checkOptions(), out_, console).Run();
    }
    case CommandLine::Action::kRegister:
      return Register(false, line.systemRegistry(), line.registrationQuiet());
    case CommandLine::Action::kUnregister:
      return Register(true, line.systemRegistry(), line.registrationQuiet());
    case CommandLine::Action::kExit:
      break;
  }
  return line.exitCode();
}

int GeodemApp::Register(bool unregister, bool system, bool quiet) {
  Console console(err_, quiet);
  std::string done, error;
  if (!ModuleRegistration::Run(unregister, system, done, error)) {
    console.Error(error);
    return 1;
  }
  console.Info(done);
  return 0;
}
