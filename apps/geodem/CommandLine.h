#pragma once
// The command line of geodem:
//   geodem convert [options] SRC... DST
//   geodem batch [options] --out-dir DIR SRC... | --manifest FILE   (or --report DIR)
//   geodem sheets --scale N [options] --out-dir DIR SRC...   (or --number-of, --extent, --list)
//   geodem info [--nodata V] [--json] [-q] [--quicklook FILE.png] FILE.dem
//   geodem check [options] FILE.dem...
//   geodem register | unregister [--system]
//   geodem --help | --version
// Parsing prints help, version and usage errors itself; the caller acts on what remains.
#include <ostream>
#include <string>
#include <vector>

#include "apps/geodem/convert/ConvertOptions.h"
#include "apps/geodem/info/InfoOptions.h"
#include "apps/geodem/check/CheckOptions.h"
#include "apps/geodem/batch/BatchOptions.h"
#include "apps/geodem/sheets/SheetsOptions.h"

namespace CLI {
class App;
}

class CommandLine {
 public:
  enum class Action { kConvert, kBatch, kSheets, kInfo, kCheck, kRegister, kUnregister, kExit };

  // Exit status of a command-line mistake, as GDAL's utilities and most Unix tools use it.
  static constexpr int kUsageError = 2;

  // Parses argv; on kExit, exitCode says how the program ends (0 after --help or --version).
  void Parse(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

  Action action() const { return action_; }
  int exitCode() const { return exitCode_; }
  const ConvertOptions& options() const { return options_; }
  const BatchOptions& batchOptions() const { return batchOptions_; }
  const SheetsOptions& sheetsOptions() const { return sheetsOptions_; }
  const InfoOptions& infoOptions() const { return infoOptions_; }
  const CheckOptions& checkOptions() const { return checkOptions_; }
  // register and unregister: the system-wide registry instead of the user's.
  bool systemRegistry() const { return systemRegistry_; }
  // register / unregister -q: only failures are said.
  bool registrationQuiet() const { return registrationQuiet_; }

  static std::string VersionText();

 private:
  // Reports a command line that cannot work, with the subcommand whose help shows its usage, and
  // ends with kUsageError.
  void UsageError(const std::string& problem, const CLI::App& command, std::ostream& err);
  static std::vector<std::string> Words(int argc, const char* const* argv);
  static void WarnOfUnknownParameters(const ConvertOptions& options, std::ostream& err);

  Action action_ = Action::kExit;
  int exitCode_ = 0;
  ConvertOptions options_;
  BatchOptions batchOptions_;
  SheetsOptions sheetsOptions_;
  InfoOptions infoOptions_;
  CheckOptions checkOptions_;
  bool systemRegistry_ = false;
  bool registrationQuiet_ = false;
};
