#pragma once
// What `geodem check` was asked to do, as the command line gave it. Paths are UTF-8 as typed.
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/edgematch/EdgeMatchOptions.h"
#include "apps/geodem/gridcheck/GridCheckOptions.h"

struct CheckOptions {
  std::vector<std::string> files;
  GridCheckOptions check;
  bool json = false;
  bool quiet = false;    // the table of the files with findings only, the summary only if any has
  bool verbose = false;  // and each file's figures
  int jobs = 0;  // files checked at once; 0: the cores
  std::optional<std::string> quicklookDir;  // DIR/<name>.png per file
  std::optional<std::string> html;          // the report page
  std::optional<EdgeMatchOptions> edges;    // match the shared edges of the files' sheets
};
