#pragma once
// How much of GDAL's block cache reading a source needs so that no block of it is decoded twice.
// Blocks are handed over in rows from the top, left to right; a row of windows touches a band
// of the source's blocks, and the next row of windows starts on the last blocks of that band.
// While the cache holds that band (of every band the read touches: the heights and a mask of
// their own), each block is decoded once, whether the source is tiled, in strips or in one strip.
#include "rastersource/RasterSource.h"

class SourceBlockCache {
 public:
  // Bytes of the source's blocks that one row of windows `windowRows` tall reaches at the most.
  static double RowBytes(const RasterSource& source, int windowRows);
  // The most a conversion lets GDAL cache: a quarter of the memory this process may use (the
  // machine's, or less under a cgroup or address-space limit), so that a raster stored in huge
  // blocks is refused rather than pushing the machine into swapping.
  static double Ceiling();
};
