#pragma once
// The type and no-data value that the cells of one output travel in, for one source or for the
// pieces of a mosaic:
//  - the type is the narrowest that holds every piece's heights exactly (Int16 and Float32 pieces
//    travel as Float32, UInt16 and Int16 ones as Int32, Int32 and Float32 ones as Float64);
//  - the no-data value (the marker) is the pieces' common no-data value when they all have the
//    same one and store raw heights; otherwise the lowest value of the type, the type widened
//    until no piece can hold that value as a height (a Byte piece without no-data is written as
//    Int16 with -32768). For floats that is the lowest Float32 (-3.4028234663852886e38), which
//    counts as no height, as GDAL's tools take it.
//  - a lone integer source without no-data value, mask or alpha has no no-data cells: no marker.
// For raw heights of one source the type is the source's own, so outputs stay as they were.
#include <gdal.h>

#include <optional>
#include <string>
#include <vector>

#include "rastersource/RasterSource.h"

struct CellPlan {
  GDALDataType type = GDT_Unknown;
  std::optional<double> marker;
  // The marker is none of the pieces' own no-data values (worth saying for a mosaic).
  bool markerChosen = false;

  static CellPlan For(const std::vector<const RasterSource*>& pieces, bool mosaic);
  // The marker as text that reads back as the very same double; empty without one.
  std::string MarkerText() const;
};
