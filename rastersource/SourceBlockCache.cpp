#include "rastersource/SourceBlockCache.h"

#include <cpl_conv.h>

#include <algorithm>

double SourceBlockCache::RowBytes(const RasterSource& source, int windowRows) {
  double bytes = 0;
  for (const RasterSource::BlockShape& b : source.blockShapes()) {
    if (b.columns < 1 || b.rows < 1) continue;
    const double across = (source.width() + b.columns - 1) / b.columns;
    const int down = (source.height() + b.rows - 1) / b.rows;
    // A window row that does not start on a block's edge reaches one block row further.
    const int reached = std::min(down, (std::max(windowRows, 1) + b.rows - 2) / b.rows + 1);
    bytes += across * reached * static_cast<double>(b.columns) * b.rows * b.cellBytes;
  }
  return bytes;
}

double SourceBlockCache::Ceiling() { return static_cast<double>(CPLGetUsablePhysicalRAM()) / 4; }
