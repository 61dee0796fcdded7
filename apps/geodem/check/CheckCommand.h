#pragma once
// `geodem check FILE.dem...`: checks every file completely (GridFileCheck), several at once, and
// prints the findings as a table per file or as JSON; on request also a quick-look picture per
// file and one HTML page of them all. Exit status 0 when no file has an error, 1 when any has or
// a picture or the page could not be written. With edges asked for, the shared edges of the
// files' sheets are matched from the same reading of each file, and a set that fails fails too.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "apps/geodem/Console.h"
#include "apps/geodem/check/CheckOptions.h"
#include "apps/geodem/edgematch/EdgeMatch.h"
#include "apps/geodem/gridcheck/GridCheckResult.h"

class CheckCommand {
 public:
  CheckCommand(const CheckOptions& options, std::ostream& out, Console& console)
      : m_options(options), m_out(out), m_console(console) {}

  int Run();

  // DIR/<file name without .dem>.png.
  static std::string QuickLookPath(const std::string& dir, const std::string& file);

 private:
  // Checks file i, then makes what pictures were asked for.
  void CheckOne(std::size_t i);
  // The findings on stdout, as text or JSON.
  void WriteFindings();

  const CheckOptions& m_options;
  std::ostream& m_out;
  Console& m_console;
  std::vector<GridCheckResult> m_results;
  std::vector<std::vector<unsigned char>> m_thumbnails;  // for the HTML page
  std::vector<std::string> m_failures;                   // pictures not made, per file
  std::unique_ptr<EdgeMatch> m_edges;                    // with --edges
};
