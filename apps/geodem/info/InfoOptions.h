#pragma once
// What `geodem info` was asked to do, as the command line gave it. The path is UTF-8 as typed.
#include <optional>
#include <string>

struct InfoOptions {
  std::string path;
  std::optional<std::string> noData;  // --nodata, as typed; none: the header's, else -99999
  bool json = false;
  bool quiet = false;  // no description in text: only warnings, errors and what else was asked
  std::optional<std::string> quicklook;  // --quicklook FILE.png
};
