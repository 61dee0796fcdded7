#pragma once
// The cells of a block looked at one by one, for the rare blocks whose range of heights shows that
// some cell must be named: one that no zoom turns into a 32-bit integer of the grid, or ones that
// the zoom turns into the grid's no-data integer, which every reader would take for no data.
#include <gdal.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "rastersource/SourceReader.h"

class ZoomedCellScan {
 public:
  // Cells of `type` in rows of `stride` values; the part [x, x + columns) x [y, y + rows) is
  // looked at. Cells equal to `marker`, and non-finite ones, are no heights.
  struct Area {
    const void* cells = nullptr;
    GDALDataType type = GDT_Unknown;
    std::optional<double> marker;
    int stride = 0;
    int x = 0, y = 0, columns = 0, rows = 0;
  };
  struct Cell {
    int column = 0;  // in the block, from 0
    int row = 0;
    double height = 0;
  };
  struct Collisions {
    std::int64_t count = 0;
    Cell first;  // the first in row order, when count > 0
  };

  // The first cell whose height even zoom 1 pushes past the grid's integers.
  static std::optional<Cell> FirstUnfit(const Area& area);
  // Whether heights in the range may meet `noData` at `zoom`; then Colliding counts them.
  static bool MayCollide(const SourceReader::HeightRange& heights, double zoom, double noData);
  // The cells whose height the zoom turns into `noData`.
  static Collisions Colliding(const Area& area, double zoom, double noData);
};
