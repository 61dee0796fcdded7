#pragma once
// `geodem sheets`: the sheet arithmetic on the command line, the list of the sheets sources
// cover, and the conversion of a sheet set: the plan (a VRT per sheet with data and a manifest)
// written beside the outputs, then run by geodem batch's machinery, so that resuming,
// journalling, -j, --shard and Slurm arrays work as they do there. Exit status 0 on success, 1
// when a source or a conversion failed, 2 for a command line or numbers that cannot work.
#include <ostream>

#include "apps/geodem/Console.h"
#include "apps/geodem/sheets/SheetPlan.h"
#include "apps/geodem/sheets/SheetsOptions.h"

class SheetsCommand {
 public:
  SheetsCommand(const SheetsOptions& options, Console& console, std::ostream& out)
      : options_(options), console_(console), out_(out) {}

  int Run();

 private:
  int NumberOf();
  int Extent();
  int List();
  int Convert();
  // Cuts the sources into the plan; false when it cannot (the reason is on the console).
  bool Plan(SheetPlan& plan);

  const SheetsOptions& options_;
  Console& console_;
  std::ostream& out_;
};
