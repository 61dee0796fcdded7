#pragma once
// Everything a check learned of one grid file: its findings, and the figures a report shows.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/gridcheck/GridFinding.h"
#include "apps/geodem/gridcheck/SheetPlacement.h"
#include "gridfile/GridHeader.h"

struct GridCheckResult {
  std::string path;
  std::vector<GridFinding> findings;
  std::uint64_t bytes = 0;
  std::optional<GridHeader> header;  // none when the header could not be read
  std::int64_t cells = 0;            // cells read
  std::int64_t noData = 0;           // the cell value taken for no data
  std::int64_t noDataCells = 0;
  std::optional<double> lowest, highest;  // heights in metres (stored value / Hzoom)
  double seconds = 0;
  // The sheet the file's name gives, if it is a sheet number (margins only with the sheet check).
  std::optional<SheetPlacement> sheet;

  int Count(GridFinding::Level level) const {
    int n = 0;
    for (const GridFinding& f : findings) n += f.level == level;
    return n;
  }
  int errors() const { return Count(GridFinding::Level::kError); }
  int warnings() const { return Count(GridFinding::Level::kWarning); }
  // "errors", "warnings" or "ok".
  const char* Status() const { return errors() ? "errors" : warnings() ? "warnings" : "ok"; }
  double NoDataShare() const {
    return cells > 0 ? static_cast<double>(noDataCells) / static_cast<double>(cells) : 0;
  }
};
