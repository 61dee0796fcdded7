#pragma once
// A longitude/latitude rectangle in degrees: a sheet's corners, or the area a source covers.
struct SheetExtent {
  double west = 0, south = 0, east = 0, north = 0;
};
