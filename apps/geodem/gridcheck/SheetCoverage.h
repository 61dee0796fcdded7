#pragma once
// Whether a grid file named by a national map sheet number ("J50E001010.dem") covers that sheet:
// the sheet's edges, densified and taken into the file's coordinate system (its .prj, as GDAL's
// GEODEM driver reads it; else degrees when its unit is D), must lie within the grid's extent.
// The margin on each side is reported either way. A grid short of an edge by more than the header
// can state (half a unit of the last decimal of X0 or Y0, plus Col or Row times that of DX or DY)
// and more than a thousandth of a cell is an error: the header rounds its cell size, and a grid cut
// exactly at a sheet's edge may fall that much short of it on paper.
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/gridcheck/GridFinding.h"
#include "apps/geodem/gridcheck/SheetPlacement.h"
#include "gridfile/GridHeader.h"

class SheetCoverage {
 public:
  // The least shortfall, in cells, that is taken for one.
  static constexpr double kCellFraction = 1e-3;

  // The sheet the file's name gives; none when the name is no sheet number (why in error).
  static std::optional<SheetPlacement> Named(const std::string& path, std::string& error);

  // Checks the sheet of the name, of scale 1:`scale` when given, against the grid; GDAL's GEODEM
  // driver must be registered. Findings go to findings, the margins to the placement.
  static std::optional<SheetPlacement> Check(const std::string& path, const GridHeader& header,
                                             std::optional<long> scale,
                                             std::vector<GridFinding>& findings);
};
