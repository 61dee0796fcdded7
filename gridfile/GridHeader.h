#pragma once
// What the header of a CNSDTF-DEM grid says, whichever of the three layouts carried it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gridfile/GridLayout.h"

struct GridHeader {
  // The no-data value of grids whose header names none: what the writer writes by default.
  static constexpr double kDefaultNoData = -99999.0;
  // The metadata item in which the GDAL driver gives the unit letter, whichever layout held it
  // (XYUnit, or Unit in the older layouts): geodem and the driver keep a grid in degrees in
  // degrees when no .prj names its system.
  static constexpr const char* kUnitItem = "CNSDTF_XYUNIT";

  GridLayout layout = GridLayout::kPositional;
  std::string version;    // "GB/T17798-2007", "1.0", ... as written
  char unit = 'M';        // plane units: 'M' metres, 'D' degrees, 'F' feet
  double alpha = 0;       // rotation; the writer always writes 0
  double x0 = 0, y0 = 0;  // outer corner of the top-left cell
  double dx = 0, dy = 0;  // cell size, both positive
  int rows = 0, cols = 0;
  std::int32_t zoom = 1;  // Hzoom: a cell holds the elevation times zoom
  // A no-data key that some writers add ("NoData", "NODATA_value", ...); ours writes none.
  std::optional<double> noData;
  // Every header value in file order, keyed files with their keys as written, the positional
  // layout under the keys the keyed layouts use; extra keys (Min, Max, ...) included.
  std::vector<std::pair<std::string, std::string>> entries;
  // What the file says that it may not mean (a zoom below 1, a negative cell size), in English.
  std::vector<std::string> warnings;

  // The last value given for a key, compared ignoring case; null when the header has none.
  const std::string* Value(std::string_view key) const;
  // North-up: {x0, dx, 0, y0, 0, -dy}.
  void GeoTransform(double transform[6]) const;
  // Not the header's: the no-data value of the grid's .aux.xml (GridAuxFile), where the writer
  // records a value other than its default.
  std::optional<double> auxNoData;
  // The no-data value named in the header, else in the .aux.xml, else the writer's default.
  double NoDataOrDefault() const { return noData.value_or(auxNoData.value_or(kDefaultNoData)); }
};
