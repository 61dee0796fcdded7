#pragma once
// The sheets of one scale that a set of sources covers, each with its window and whether that
// holds any data cell, and the plan of their conversion on disk: a VRT per sheet with data and a
// manifest that geodem batch (and the Slurm array script) take as they are:
//   OUTDIR/sheets-plan/<number>.vrt
//   OUTDIR/sheets-plan/sheets-<scale>.txt    <number>.vrt<TAB>../<number>.dem, one a line
// Sheets without data are listed there as comments and never converted.
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/mapsheet/SheetNumber.h"
#include "apps/geodem/sheets/SheetGrid.h"

struct PlannedSheet {
  SheetNumber number;
  SheetWindow window;
  bool holdsData = false;
};

class SheetPlan {
 public:
  // Finds the sheets of `grid` (kept for Write) and cuts them; false with `error` set when the
  // sources cannot be cut.
  bool Build(SheetGrid grid, const SheetScale& scale, long buffer, std::string& error);
  // Writes the plan into `outDir`, cutting each sheet again (a province's VRTs are not kept in
  // memory); the manifest's path, or none with `error` set.
  std::optional<std::string> Write(const std::string& outDir, std::string& error) const;

  const std::vector<PlannedSheet>& sheets() const { return sheets_; }
  std::size_t withData() const;
  // What Build left out of sources that reach beyond the sheet grid, as a warning; empty when
  // nothing was.
  const std::string& leftOut() const { return leftOut_; }

  static std::string FolderIn(const std::string& outDir);

 private:
  std::optional<SheetGrid> grid_;
  std::optional<SheetScale> scale_;
  std::vector<PlannedSheet> sheets_;
  std::string leftOut_;
};
